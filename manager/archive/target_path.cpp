#include "manager/archive/target_path.h"

#include <string.h>

#include "manager/startup/command_line.h"
#include "manager/startup/text_util.h"

namespace {
enum { PATH_SLOT_SIZE = 2049, PATH_TEXT_MAX = 2048 };

bool hasDrive(const char* path) {
  return path[0] != '\0' && path[1] == ':' && !isLeadByte(static_cast<unsigned char>(path[0]));
}
}  // namespace

int buildTargetPath(const char* outputFolder, const char* folderPath, const char* name,
                    char target[TARGET_PATH_SIZE], size_t* folderPartLength) {
  target[0] = '\0';
  *folderPartLength = 0;
  // Every length is measured before anything is copied.
  size_t outputLength = strnlen(outputFolder, PATH_SLOT_SIZE);
  size_t folderLength = strnlen(folderPath, PATH_SLOT_SIZE);
  size_t nameLength = strnlen(name, PATH_SLOT_SIZE);
  bool outputSeparator = outputLength > 0 && !endsWithSeparator(outputFolder);
  size_t part = outputLength + (outputSeparator ? 1 : 0) + folderLength + (folderLength > 0 ? 1 : 0);
  if (part == 0 || part > TARGET_FOLDER_PART_MAX) return TARGET_TOO_LONG;
  if (part + nameLength >= TARGET_PATH_SIZE) return TARGET_TOO_LONG;
  size_t at = 0;
  memcpy(target + at, outputFolder, outputLength);
  at += outputLength;
  if (outputSeparator) target[at++] = '\\';
  memcpy(target + at, folderPath, folderLength);
  at += folderLength;
  if (folderLength > 0) target[at++] = '\\';
  memcpy(target + at, name, nameLength);
  at += nameLength;
  target[at] = '\0';
  *folderPartLength = part;
  return TARGET_OK;
}

bool formTemporaryPath(const char* target, size_t folderPartLength, unsigned long seed,
                       char out[TARGET_PATH_SIZE]) {
  out[0] = '\0';
  if (folderPartLength >= TARGET_PATH_SIZE - 1) return false;
  size_t room = TARGET_PATH_SIZE - 1 - folderPartLength;  // bytes left for the name
  char digits[9];
  formatText(digits, sizeof digits, "%08lx", seed & 0xFFFFFFFFul);
  char name[20];
  if (room >= 16) {
    formatText(name, sizeof name, "~kyv%s.tmp", digits);
  } else if (room >= 2) {
    size_t keep = room - 1 > 8 ? 8 : room - 1;  // the last, fastest-changing digits
    formatText(name, sizeof name, "~%s", digits + 8 - keep);
  } else {
    formatText(name, sizeof name, "%s", digits + 7);
  }
  memcpy(out, target, folderPartLength);
  strcpy(out + folderPartLength, name);
  return true;
}

int makeAbsolutePathFrom(char* out, const char* path, const char* baseDir) {
  out[0] = '\0';
  if (strnlen(path, PATH_TEXT_MAX + 1) > PATH_TEXT_MAX) return 1;
  char trimmed[PATH_SLOT_SIZE];
  trimCommandLinePath(trimmed, sizeof trimmed, path);
  char result[PATH_SLOT_SIZE];
  bool fits;
  if (hasDrive(trimmed) || (trimmed[0] == '\\' && trimmed[1] == '\\')) {
    fits = copyText(result, sizeof result, trimmed);
  } else if (trimmed[0] == '\\') {
    char drive[3] = "";
    if (hasDrive(baseDir)) {
      drive[0] = baseDir[0];
      drive[1] = ':';
      drive[2] = '\0';
    }
    fits = formatText(result, sizeof result, "%s%s", drive, trimmed);
  } else {
    fits = formatText(result, sizeof result, "%s%s", baseDir, trimmed);
  }
  if (!fits) return 1;
  copyText(out, PATH_SLOT_SIZE, result);
  return 0;
}
