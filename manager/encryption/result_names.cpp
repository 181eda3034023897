#include "manager/encryption/result_names.h"

#include <string.h>

#include "common/command_line.h"
#include "common/text_util.h"

namespace {

// A token of the path list is copied whole when it is at most this long; a
// longer one is cut, which only shortens a path that could not be kept anyway.
enum { TOKEN_BUFFER = 2051, SOURCE_PATH_CAP = 2048 };

}  // namespace

int lastSourcePath(const wchar_t* pathList, wchar_t* target, size_t cap) {
  if (pathList == nullptr || cap == 0) return 0;
  if (cap > SOURCE_PATH_CAP) cap = SOURCE_PATH_CAP;
  const wchar_t* p = pathList;
  while (*p != 0) {
    while (*p == ' ') ++p;
    const wchar_t* start = p;
    bool quoted = false;
    while (*p != 0 && (quoted || *p != ' ')) {
      if (*p == '"') quoted = !quoted;
      ++p;
    }
    size_t length = static_cast<size_t>(p - start);
    if (length == 0 || start[0] == '/' || start[0] == '-') continue;
    wchar_t token[TOKEN_BUFFER];
    copyTextN(token, TOKEN_BUFFER, start, length);
    trimCommandLinePath(target, cap, token);
  }
  return 0;
}

void proposedResultPath(const wchar_t* moduleDir, const wchar_t* pathList, wchar_t* out, size_t cap) {
  wchar_t source[SOURCE_PATH_CAP + 1];
  formatText(source, countOf(source), L"%ls暗号化ファイル.exe", moduleDir);
  lastSourcePath(pathList, source, countOf(source));
  WidePathParts parts;
  splitPath(source, &parts);
  formatText(out, cap, L"%ls%ls%ls.exe", parts.drive, parts.dir, parts.name);
}

void proposedFileName(const wchar_t* proposedPath, wchar_t* out, size_t cap) {
  WidePathParts parts;
  splitPath(proposedPath, &parts);
  if (textLength(parts.name) > 230)
    copyText(out, cap, parts.name);
  else
    formatText(out, cap, L"%ls.crpt", parts.name);
}

bool hasResultExtension(const wchar_t* path) {
  WidePathParts parts;
  splitPath(path, &parts);
  return equalsIgnoreAsciiCase(parts.ext, L".exe") || equalsIgnoreAsciiCase(parts.ext, L".ex_") ||
         equalsIgnoreAsciiCase(parts.ext, L".kyvo");
}

bool withResultExtension(const wchar_t* path, wchar_t* out, size_t cap, const wchar_t* extension) {
  bool whole = copyText(out, cap, path) && (hasResultExtension(path) || appendText(out, cap, extension));
  if (!whole && cap > 0) out[0] = 0;  // a cut path would name another file
  return whole;
}
