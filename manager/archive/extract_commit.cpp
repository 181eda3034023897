// A restored file takes its name: written under a working name, whole and
// verified, then marked with the zone of its archive, given its times and
// moved into place; where a file of its name exists, only when the caller's
// question says so. A file kept is no failure.
#include <windows.h>

#include "common/file_util.h"
#include "manager/archive/extraction.h"
#include "manager/archive/zone_mark.h"

namespace {

uint64_t toValue(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

FILETIME toFileTime(uint64_t value) {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(value);
  t.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return t;
}

bool setEntryTimes(HANDLE output, const ArchiveEntryHeader& header) {
  FILETIME created = toFileTime(header.creationTime), accessed = toFileTime(header.lastAccessTime),
           written = toFileTime(header.lastWriteTime);
  return SetFileTime(output, &created, &accessed, &written) != FALSE;
}

// Whether a restored file replaces the existing one: the caller's answer, or
// its standing answer for all.
ReplaceAnswer decideReplace(Extraction* x, const ReplaceFacts& facts) {
  if (!x->setup->askReplace) return ANSWER_REPLACE;
  if (x->standing) return x->standingAnswer;
  ReplaceAnswer answer = x->setup->askReplace(x->setup->context, facts);
  if (answer == ANSWER_REPLACE_ALL || answer == ANSWER_KEEP_ALL) {
    x->standing = true;
    x->standingAnswer = answer == ANSWER_REPLACE_ALL ? ANSWER_REPLACE : ANSWER_KEEP;
    return x->standingAnswer;
  }
  return answer;
}

// Asks about the file at target that the restored one would replace.
ReplaceAnswer askAbout(Extraction* x, const ArchiveEntryHeader& header, const wchar_t* target,
                       const WIN32_FILE_ATTRIBUTE_DATA& existing, HANDLE output) {
  LARGE_INTEGER size = {};
  GetFileSizeEx(output, &size);
  ReplaceFacts facts = {target, toValue(existing.nFileSizeHigh, existing.nFileSizeLow),
                        static_cast<uint64_t>(size.QuadPart),
                        toValue(existing.ftLastWriteTime.dwHighDateTime, existing.ftLastWriteTime.dwLowDateTime),
                        header.lastWriteTime};
  return decideReplace(x, facts);
}

// A file that cannot be replaced: a read-only one, or a folder.
bool cannotReplace(const WIN32_FILE_ATTRIBUTE_DATA& existing) {
  return (existing.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0;
}

// The restored file, whole, stays when its handle closes; then it takes the
// mark of the zone its archive came from (a stream of the file, which NTFS
// does not let anyone open while the file is marked to go), then its times,
// which writing the stream would change. A drive that keeps no marks takes
// the file without one, as it would take it from the file manager. -1 when
// the file cannot be kept.
int finishRestoredFile(const Extraction* x, WorkingFile& output, const ArchiveEntryHeader& header) {
  if (!output.keep()) return -1;
  if (zonePassesOn(x->setup->zone)) markFileZone(output.path(), x->setup->zone);
  return setEntryTimes(output.get(), header) ? EXTRACT_OK : EXTRACT_FILE_TIMES;
}

int answered(ReplaceAnswer answer) {
  return answer == ANSWER_STOP ? static_cast<int>(EXTRACT_STOPPED) : static_cast<int>(EXTRACT_OK);
}

}  // namespace

// A file that goes in place: written beside its target, and moved over it
// only when whole and verified. Where a file of its name exists (one this
// extraction did not make itself), the caller is asked first; where one
// appears while the entry is written, the commit finds it and the caller is
// asked then.
int extractFile(Extraction* x, const ArchiveEntryHeader& header, const wchar_t* target, bool ownFile) {
  WIN32_FILE_ATTRIBUTE_DATA existing;
  bool existed = GetFileAttributesExW(target, GetFileExInfoStandard, &existing) != FALSE;
  if (existed && cannotReplace(existing)) return failEntry(x, UNPACK_FAILED, true, header.storedLength);
  // An existing hidden file stays hidden: the new one is created so.
  DWORD attributes = (existed && (existing.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN)) ? FILE_ATTRIBUTE_HIDDEN
                                                                                     : FILE_ATTRIBUTE_NORMAL;
  WorkingFile output;
  if (!output.createBeside(target, attributes)) return failEntry(x, failureOf(GetLastError()), true, header.storedLength);
  int result = writeEntryData(x, header, output.get());
  if (result != EXTRACT_OK) return result;  // not whole: it goes, and an old file stays as it was
  bool replacing = ownFile;
  if (existed && !ownFile) {
    ReplaceAnswer answer = askAbout(x, header, target, existing, output.get());
    if (answer == ANSWER_KEEP || answer == ANSWER_STOP) return answered(answer);
    replacing = true;
  }
  int finished = finishRestoredFile(x, output, header);
  if (finished < 0) return failEntry(x, UNPACK_FAILED, false, 0);
  CommitResult commit = replacing ? output.commitOver(target) : output.commitAs(target);
  if (commit == COMMIT_CLASH) {
    // Something took the name while the entry was written.
    if (!GetFileAttributesExW(target, GetFileExInfoStandard, &existing) || cannotReplace(existing))
      return failEntry(x, UNPACK_FAILED, false, 0);
    ReplaceAnswer answer = askAbout(x, header, target, existing, output.get());
    if (answer == ANSWER_KEEP || answer == ANSWER_STOP) return answered(answer);
    commit = output.commitOver(target);
  }
  if (commit != COMMIT_DONE) return failEntry(x, UNPACK_FAILED, false, 0);
  return finished;
}

// A file of a staged folder: nothing of its name can be there, so it is made
// under its own name, and goes with its handle until it is whole.
int extractStagedFile(Extraction* x, const ArchiveEntryHeader& header, const wchar_t* path) {
  WorkingFile output;
  if (!output.createAt(path)) {
    DWORD error = GetLastError();
    // A second entry of one name: it replaces the first, as anywhere else.
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return extractFile(x, header, path, true);
    return failEntry(x, failureOf(error), true, header.storedLength);
  }
  int result = writeEntryData(x, header, output.get());
  if (result != EXTRACT_OK) return result;
  int finished = finishRestoredFile(x, output, header);
  if (finished < 0) return failEntry(x, UNPACK_FAILED, false, 0);
  ++x->staging.completeFiles;
  return finished;
}
