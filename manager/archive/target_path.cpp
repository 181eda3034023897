#include "manager/archive/target_path.h"

#include <string.h>

#include "common/command_line.h"
#include "common/text_util.h"

namespace {
enum { PATH_SLOT_SIZE = 2049, PATH_TEXT_MAX = 2048 };

template <typename C>
bool hasDrive(const C* path) {
  return path[0] != 0 && path[1] == ':' && !isLeadUnit(path[0]);
}

template <typename C>
int buildTargetPathT(const C* outputFolder, const C* folderPath, const C* name, C target[TARGET_PATH_SIZE],
                     size_t* folderPartLength) {
  target[0] = 0;
  *folderPartLength = 0;
  // Every length is measured before anything is copied.
  size_t outputLength = textLengthUpTo(outputFolder, PATH_SLOT_SIZE);
  size_t folderLength = textLengthUpTo(folderPath, PATH_SLOT_SIZE);
  size_t nameLength = textLengthUpTo(name, PATH_SLOT_SIZE);
  bool outputSeparator = outputLength > 0 && !endsWithSeparator(outputFolder);
  size_t part = outputLength + (outputSeparator ? 1 : 0) + folderLength + (folderLength > 0 ? 1 : 0);
  if (part == 0 || part > TARGET_FOLDER_PART_MAX) return TARGET_TOO_LONG;
  if (part + nameLength >= TARGET_PATH_SIZE) return TARGET_TOO_LONG;
  size_t at = 0;
  memcpy(target + at, outputFolder, outputLength * sizeof(C));
  at += outputLength;
  if (outputSeparator) target[at++] = '\\';
  memcpy(target + at, folderPath, folderLength * sizeof(C));
  at += folderLength;
  if (folderLength > 0) target[at++] = '\\';
  memcpy(target + at, name, nameLength * sizeof(C));
  at += nameLength;
  target[at] = 0;
  *folderPartLength = part;
  return TARGET_OK;
}

template <typename C>
int makeAbsolutePathFromT(C* out, const C* path, const C* baseDir) {
  out[0] = 0;
  if (textLengthUpTo(path, PATH_TEXT_MAX + 1) > PATH_TEXT_MAX) return 1;
  C trimmed[PATH_SLOT_SIZE];
  trimCommandLinePath(trimmed, PATH_SLOT_SIZE, path);
  C result[PATH_SLOT_SIZE];
  result[0] = 0;
  bool fits;
  if (hasDrive(trimmed) || (trimmed[0] == '\\' && trimmed[1] == '\\')) {
    fits = copyText(result, PATH_SLOT_SIZE, trimmed);
  } else if (trimmed[0] == '\\') {
    C drive[3] = {0, 0, 0};
    if (hasDrive(baseDir)) {
      drive[0] = baseDir[0];
      drive[1] = ':';
    }
    fits = copyText(result, PATH_SLOT_SIZE, drive) && appendText(result, PATH_SLOT_SIZE, trimmed);
  } else {
    fits = copyText(result, PATH_SLOT_SIZE, baseDir) && appendText(result, PATH_SLOT_SIZE, trimmed);
  }
  if (!fits) return 1;
  copyText(out, PATH_SLOT_SIZE, result);
  return 0;
}

}  // namespace

int buildTargetPath(const char* outputFolder, const char* folderPath, const char* name,
                    char target[TARGET_PATH_SIZE], size_t* folderPartLength) {
  return buildTargetPathT(outputFolder, folderPath, name, target, folderPartLength);
}
int buildTargetPath(const wchar_t* outputFolder, const wchar_t* folderPath, const wchar_t* name,
                    wchar_t target[TARGET_PATH_SIZE], size_t* folderPartLength) {
  return buildTargetPathT(outputFolder, folderPath, name, target, folderPartLength);
}
int makeAbsolutePathFrom(char* out, const char* path, const char* baseDir) {
  return makeAbsolutePathFromT(out, path, baseDir);
}
int makeAbsolutePathFrom(wchar_t* out, const wchar_t* path, const wchar_t* baseDir) {
  return makeAbsolutePathFromT(out, path, baseDir);
}
