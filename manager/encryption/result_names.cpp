#include "manager/encryption/result_names.h"

#include <string.h>

#include "manager/startup/command_line.h"
#include "manager/startup/text_util.h"

namespace {

// A token of the path list is copied whole when it is at most this long; a
// longer one is cut, which only shortens a path that could not be kept anyway.
enum { TOKEN_BUFFER = 2051, SOURCE_PATH_CAP = 2048 };

}  // namespace

int lastSourcePath(const char* pathList, char* target, size_t cap) {
  if (pathList == nullptr || cap == 0) return 0;
  if (cap > SOURCE_PATH_CAP) cap = SOURCE_PATH_CAP;
  const char* p = pathList;
  while (*p != '\0') {
    while (*p == ' ') ++p;
    const char* start = p;
    bool quoted = false;
    while (*p != '\0' && (quoted || *p != ' ')) {
      if (*p == '"') quoted = !quoted;
      ++p;
    }
    size_t length = static_cast<size_t>(p - start);
    if (length == 0 || start[0] == '/' || start[0] == '-') continue;
    char token[TOKEN_BUFFER];
    copyTextN(token, sizeof token, start, length);
    trimCommandLinePath(target, cap, token);
  }
  return 0;
}

void proposedResultPath(const char* moduleDir, const char* pathList, char* out, size_t cap) {
  char source[SOURCE_PATH_CAP + 1];
  formatText(source, sizeof source, "%s暗号化ファイル.exe", moduleDir);
  lastSourcePath(pathList, source, sizeof source);
  PathParts parts;
  splitPath(source, &parts);
  formatText(out, cap, "%s%s%s.exe", parts.drive, parts.dir, parts.name);
}

void proposedFileName(const char* proposedPath, char* out, size_t cap) {
  PathParts parts;
  splitPath(proposedPath, &parts);
  if (strlen(parts.name) > 230)
    copyText(out, cap, parts.name);
  else
    formatText(out, cap, "%s.crpt", parts.name);
}

bool hasResultExtension(const char* path) {
  PathParts parts;
  splitPath(path, &parts);
  return equalsIgnoreAsciiCase(parts.ext, ".exe") || equalsIgnoreAsciiCase(parts.ext, ".ex_");
}

bool withResultExtension(const char* path, char* out, size_t cap) {
  bool whole = copyText(out, cap, path) && (hasResultExtension(path) || appendText(out, cap, ".exe"));
  if (!whole && cap > 0) out[0] = '\0';  // a cut path would name another file
  return whole;
}
