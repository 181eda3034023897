// A working file: written under a fresh name and deleted by the system
// unless it is committed. It is held open from its creation on, marked to
// go when its handle closes, so that a crash, a kill or a log-off leaves
// nothing of it behind. Committing takes the mark back and moves the file
// into place under the handle; anything else lets it go.
//
// While the mark is set the file is "delete pending": NTFS refuses every new
// open of it, its streams included, and so every open by name comes after
// keep(). (Wine lets such opens through: the file-system calls below are the
// seam where tests hold the code to NTFS's rules.)
#pragma once
#include <windows.h>
#include <stddef.h>

#include "common/fresh_file.h"
#include "common/fresh_name.h"

enum CommitResult {
  COMMIT_DONE = 0,
  COMMIT_CLASH,   // a file or folder of the target's name exists
  COMMIT_FAILED,  // anything else, after renames that fail for a moment were retried for about two seconds
};

class WorkingFile {
 public:
  WorkingFile() = default;
  WorkingFile(const WorkingFile&) = delete;
  WorkingFile& operator=(const WorkingFile&) = delete;
  // Whatever is not kept or committed goes with the object.
  ~WorkingFile() { reset(); }

  // Creates the file, empty and marked. false, with the error of the
  // creation kept, when none could be made.
  //  - beside a target: a fresh name in the target's folder;
  //  - in the user's temporary folder: a fresh name there (a file that
  //    never takes a name of its own);
  //  - under the first free name a form gives (the context is the form's);
  //  - at a path of its own, which must be free.
  bool createBeside(const wchar_t* target, DWORD attributes = FILE_ATTRIBUTE_NORMAL);
  bool createInTemporaryFolder();
  bool create(FreshNameForm form, const void* context);
  bool createAt(const wchar_t* path);

  HANDLE get() const { return file_; }
  const wchar_t* path() const { return path_; }
  explicit operator bool() const { return file_ != INVALID_HANDLE_VALUE; }

  // Takes the mark back: the file stays under its present name when its
  // handle closes, and may be opened by name (a stream of it among others).
  bool keep();
  // keep(), then moves the file to target under its handle, which stays
  // open. As: COMMIT_CLASH when a file of that name exists. Over: a file of
  // that name is replaced. A file not committed is marked to go again.
  CommitResult commitAs(const wchar_t* target);
  CommitResult commitOver(const wchar_t* target);
  // Closes the file: a kept or committed file stays, any other one goes.
  void reset();

 private:
  bool created(HANDLE file);
  CommitResult commit(const wchar_t* target, bool replace);

  HANDLE file_ = INVALID_HANDLE_VALUE;
  bool marked_ = false, kept_ = false;
  wchar_t path_[2049] = {};
};

// Renames a folder, retrying as commits do (COMMIT_CLASH when the name is
// taken). The folder's contents are never touched.
CommitResult renameFolder(const wchar_t* from, const wchar_t* to);

// The calls whose rules differ between file systems.
struct FileSystemCalls {
  bool (*setDeleted)(HANDLE file, const wchar_t* path, bool deleted);  // the mark
  bool (*renameFile)(HANDLE file, const wchar_t* target, bool replace);
  bool (*renameFolder)(const wchar_t* from, const wchar_t* to);
};
// Replaces them; null restores the system's.
void setFileSystemCalls(const FileSystemCalls* calls);
// The system's own, for a replacement that passes calls on.
extern const FileSystemCalls systemFileCalls;
