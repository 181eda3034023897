// Files and folders for tests: a temporary folder that removes itself, and
// small readers and writers.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// Texts of the tests are ANSI (code page 932) unless they are wide; the
// program's paths are wide. A converts a wide text as the log does ("?" for a
// character the code page lacks), W an ANSI text.
std::wstring W(const std::string& ansi);
std::string A(const std::wstring& wide);

// A fresh folder under the temporary folder (or under a given parent), removed
// with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  explicit TempDir(const std::string& parent);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }  // no trailing backslash
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }
  std::wstring operator/(const std::wstring& name) const { return W(path_) + L"\\" + name; }

 private:
  std::string path_;
};

// Paths in ANSI or UTF-16 (names code page 932 lacks).
bool writeFile(const std::string& path, const std::string& data);
bool writeFile(const std::wstring& path, const std::string& data);
bool writeFile(const std::string& path, const void* data, size_t size);
bool writeFile(const std::wstring& path, const void* data, size_t size);
std::string readFile(const std::string& path);
std::string readFile(const std::wstring& path);
bool fileExists(const std::string& path);     // a file, not a folder
bool fileExists(const std::wstring& path);
bool folderExists(const std::string& path);
bool folderExists(const std::wstring& path);
bool makeFolder(const std::string& path);     // with every missing level
bool makeFolder(const std::wstring& path);
long long fileSizeOf(const std::string& path);  // -1 if missing
void removeTree(const std::string& path);  // a link to a folder goes, not what it names
void removeTree(const std::wstring& path);
// Names found in a folder (without "." and ".."), sorted.
std::vector<std::string> listFolder(const std::string& path);
std::vector<std::wstring> listFolder(const std::wstring& path);
// Relative paths of every file and folder below root (folders end with '\'),
// sorted; with contents, each file is followed by ':' and its size.
std::vector<std::string> listTree(const std::string& root);
std::vector<std::wstring> listTree(const std::wstring& root);
// Describes the first difference between two trees (names, sizes and
// contents), or returns an empty text when they are the same.
std::string compareTrees(const std::string& a, const std::string& b);
std::string compareTrees(const std::wstring& a, const std::wstring& b);
// Pseudo-random bytes of a repeatable pattern.
std::string patternBytes(size_t size, unsigned seed);
// The temporary folder of the process, with its trailing backslash.
std::string tempFolder();
// Files in the temporary folder whose names begin with prefix.
std::vector<std::string> tempFilesWithPrefix(const std::string& prefix);
// Folder of the running test program, with a trailing backslash.
std::string programFolder();
