// Small file and volume helpers shared by the packer and the operation log.
#pragma once
#include <windows.h>
#include <stddef.h>

// Share mode of every open of a job's working files (the archive, the
// container, the source list in the temporary folder): the job holds each of
// them open with FILE_FLAG_DELETE_ON_CLOSE, and an open that does not share
// delete access would be refused while it does.
enum : DWORD { WORKING_FILE_SHARE = FILE_SHARE_READ | FILE_SHARE_DELETE };

// A working file of a job, created empty (or emptied) and held open from its
// creation to the end of the job with FILE_FLAG_DELETE_ON_CLOSE, so that the
// system deletes it when the process ends for any reason: a crash, a kill, a
// log-off. release() (or the end of the object) closes the handle, which
// deletes the file, and deletes what a failed creation left to the steps.
class WorkingFile {
 public:
  explicit WorkingFile(const wchar_t* path);
  ~WorkingFile() { release(); }
  WorkingFile(const WorkingFile&) = delete;
  WorkingFile& operator=(const WorkingFile&) = delete;
  void release();

 private:
  const wchar_t* path_;
  HANDLE keeper_;
};

// Marks an open file (opened with DELETE access) to go when its last handle
// closes, or takes the mark back: a file that a killed process was writing
// never stays behind.
bool setDeletedOnClose(HANDLE file, bool deleted);

// Writes every byte or fails: a write that takes fewer bytes is continued, and
// one that takes none counts as a full disk (GetLastError() is then
// ERROR_DISK_FULL), so that callers can tell a full disk from other failures.
bool writeAll(HANDLE file, const void* data, size_t size);

// Reads until size bytes are in or the file ends (*got tells how many came).
// false when a read failed.
bool readUpTo(HANDLE file, void* buffer, size_t size, size_t* got);

// Opens path for writing (shared for reading, created if missing), appends the
// text without its terminator and closes the file. 0 on success, 1 on failure.
int appendToFile(const wchar_t* path, const char* text);

// Drive type of the volume that holds path, as GetDriveType reports it for the
// root of the path's drive; a path that begins with two backslashes (a network
// path) gives 4 without asking. When driveName is given it receives the drive
// as "X:" (empty for a network path or a path without a drive).
int driveTypeOfPath(const wchar_t* path, char* driveName, size_t driveNameCap);

// Loads a library of the system folder by its full path (never one of that
// name elsewhere); null when it cannot be loaded. It stays loaded unless the
// caller frees it.
HMODULE loadSystemLibrary(const wchar_t* name);

// Whether something (a file or a folder) of that name exists.
bool pathExists(const wchar_t* path);
