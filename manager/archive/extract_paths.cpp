// Where an entry may go: below the output folder and through no link, into
// folders that exist or can be made; and an entry's texts, for the file
// system and for a message.
#include <windows.h>
#include <string.h>
#include <wchar.h>

#include "common/text_util.h"
#include "common/wide_text.h"
#include "manager/archive/extraction.h"
#include "manager/archive/utf8_text.h"

void resolveOutputRoot(Extraction* x) {
  x->outputRoot[0] = 0;
  // Resolved with its separator, as target paths are formed: "C:" alone
  // would name the current folder of drive C:, not its root.
  wchar_t folder[MAX_PATH];
  const wchar_t* given = x->outputFolder[0] != 0 ? x->outputFolder : L".";
  if (!copyText(folder, countOf(folder) - 1, given)) return;
  if (!endsWithSeparator(folder)) appendText(folder, countOf(folder), L"\\");
  DWORD n = GetFullPathNameW(folder, countOf(x->outputRoot), x->outputRoot, nullptr);
  if (n == 0 || n >= countOf(x->outputRoot)) {
    x->outputRoot[0] = 0;
    return;
  }
  removeTrailingBackslash(x->outputRoot);
}

// Second line of defence behind the name checks: the file system's own
// reading of the target must lie below the output folder.
bool liesBelowOutput(const Extraction* x, const wchar_t* target) {
  if (x->outputRoot[0] == 0) return false;
  wchar_t full[MAX_PATH];
  DWORD n = GetFullPathNameW(target, countOf(full), full, nullptr);
  if (n == 0 || n >= countOf(full)) return false;
  size_t rootLength = textLength(x->outputRoot);
  return wcsncmp(full, x->outputRoot, rootLength) == 0 && full[rootLength] == L'\\';
}

// Where the levels below the output folder begin in a target path.
static size_t firstLevelOf(const Extraction* x, const wchar_t* target) {
  size_t at = textLength(x->outputFolder);
  while (target[at] == L'\\') ++at;  // the separator the target path put after it
  return at;
}

// Each folder on the way from the output folder to the target that exists
// already must be a plain folder: a junction or a symbolic link would carry
// the entry to another place on the disk, whatever its names say. Folders the
// extraction made itself are plain, and entries come folder by folder, so the
// folder part checked last is remembered.
bool passesThroughLink(Extraction* x, const wchar_t* target, size_t folderPartLength, bool folderEntry) {
  size_t at = firstLevelOf(x, target);
  // A file's folders end at the separator before its name; a folder entry's
  // own folder counts too.
  size_t end = folderEntry ? textLength(target) : (folderPartLength > 0 ? folderPartLength - 1 : 0);
  bool folderKnown = wcsncmp(x->checkedFolder, target, folderPartLength) == 0 &&
                     x->checkedFolder[folderPartLength] == 0;
  if (folderKnown) at = folderPartLength;
  static wchar_t prefix[TARGET_PATH_SIZE];
  for (size_t i = at; i <= end && i < TARGET_PATH_SIZE; ++i) {
    if (i < end && target[i] != L'\\') continue;
    if (i == at) continue;  // an empty component: nothing to look at
    copyTextN(prefix, countOf(prefix), target, i);
    DWORD attributes = GetFileAttributesW(prefix);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
  }
  copyTextN(x->checkedFolder, countOf(x->checkedFolder), target, folderPartLength);
  return false;
}

FoldersResult ensureFolders(Extraction* x, const wchar_t* path, size_t folderPartLength,
                            wchar_t blocked[TARGET_PATH_SIZE]) {
  x->levelsMadeFrom = 0;
  if (wcsncmp(x->madeFolder, path, folderPartLength) == 0 && x->madeFolder[folderPartLength] == 0) return FOLDERS_OK;
  // The levels that exist must be folders; the first missing one and all
  // below it are this entry's.
  size_t madeFrom = 0;
  for (size_t i = firstLevelOf(x, path); i < folderPartLength; ++i) {
    if (path[i] != L'\\') continue;
    copyTextN(blocked, TARGET_PATH_SIZE, path, i);
    DWORD attributes = GetFileAttributesW(blocked);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      madeFrom = i;
      break;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return FOLDERS_BLOCKED;
  }
  blocked[0] = 0;
  if (makeDirectoryPath(path, 0) != 0) return FOLDERS_FAILED;
  x->levelsMadeFrom = madeFrom;
  copyTextN(x->madeFolder, countOf(x->madeFolder), path, folderPartLength);
  return FOLDERS_OK;
}

void removeLevelsMade(Extraction* x, const wchar_t* path, size_t folderPartLength) {
  if (x->levelsMadeFrom == 0) return;
  wchar_t level[TARGET_PATH_SIZE];
  copyTextN(level, countOf(level), path, folderPartLength);
  for (size_t length = folderPartLength; length > x->levelsMadeFrom;) {
    level[--length] = 0;  // the separator after the level
    if (!RemoveDirectoryW(level)) break;
    while (length > 0 && level[length - 1] != L'\\') --length;
  }
  x->levelsMadeFrom = 0;
  x->madeFolder[0] = 0;
}

// An entry's text as UTF-16: UTF-8 in a Unicode entry, else code page 932,
// which every ordinary entry holds whatever system made it. false when its
// bytes are no text of that encoding.
bool entryTextAsWide(const char* text, bool utf8, wchar_t* out, size_t cap) {
  out[0] = 0;
  if (text[0] == '\0') return true;
  if (utf8) return wideFromUtf8(text, out, cap);
  int n = MultiByteToWideChar(kProgramCodePage, MB_ERR_INVALID_CHARS, text, -1, out, static_cast<int>(cap));
  return n > 0;
}

namespace {

// The length of the character at text (its bytes all there) in the entry's
// encoding, or 0 when the bytes there are no character.
size_t characterLength(const unsigned char* text, bool utf8) {
  unsigned char c = text[0];
  if (!utf8) {
    if (c < 0x80 || (c >= 0xA1 && c <= 0xDF)) return 1;
    return isLeadByte(c) && isTrailByte(text[1]) ? 2 : 0;
  }
  size_t length = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
  for (size_t i = 1; i < length; ++i)
    if (text[i] == 0) return 0;
  return length > 0 && isValidUtf8(reinterpret_cast<const char*>(text), length) ? length : 0;
}

void appendVisible(const char* stored, bool utf8, wchar_t* out, size_t cap) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(stored);
  while (*p) {
    size_t length = characterLength(p, utf8);
    wchar_t shown[8] = L"";
    char piece[5] = {};
    if (length > 0) memcpy(piece, p, length);
    bool control = length == 1 ? (p[0] < 0x20 || p[0] == 0x7F) : (utf8 && length == 2 && p[0] == 0xC2 && p[1] < 0xA0);
    if (length == 0 || control || !entryTextAsWide(piece, utf8, shown, countOf(shown))) {
      formatText(shown, countOf(shown), L"\\x%02X", static_cast<unsigned>(p[0]));
      length = 1;
    }
    if (!appendText(out, cap, shown)) return;
    p += length;
  }
}

}  // namespace

void visibleEntryPath(const ArchiveEntryHeader& header, wchar_t* out, size_t cap) {
  if (cap == 0) return;
  out[0] = 0;
  bool utf8 = header.nameEncoding == ARCHIVE_NAMES_UTF8;
  appendVisible(header.folderPath, utf8, out, cap);
  if (header.folderPath[0] && header.name[0]) appendText(out, cap, L"\\");
  appendVisible(header.name, utf8, out, cap);
}
