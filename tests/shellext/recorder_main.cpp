// Stands in for Kyvomar.exe in the tests of the shell extension: writes the
// command line it was started with (as an ANSI program sees it), its current
// directory, the variable KYVO_SHELL_PROBE of its environment and the command
// line in UTF-16 (as UTF-8), one per line, to Kyvomar.rec beside itself
// (written under another name first, so that a reader never sees half of it),
// and ends. Its own folder is taken in UTF-16, so it records from a folder of
// any name.
#include <windows.h>

#include <string>

namespace {

std::string utf8(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  wchar_t self[32768];
  DWORD n = GetModuleFileNameW(nullptr, self, 32768);
  if (n == 0 || n >= 32768) return 1;
  std::wstring folder(self, n);
  folder.erase(folder.find_last_of(L'\\'));

  char directory[1024];
  DWORD d = GetCurrentDirectoryA(sizeof directory, directory);
  char probe[256];
  DWORD p = GetEnvironmentVariableA("KYVO_SHELL_PROBE", probe, sizeof probe);
  std::string text = GetCommandLineA();
  text += "\n" + std::string(directory, d < sizeof directory ? d : 0);
  text += "\n" + std::string(probe, p < sizeof probe ? p : 0);
  text += "\n" + utf8(GetCommandLineW());

  std::wstring partial = folder + L"\\Kyvomar.rec.part";
  std::wstring done = folder + L"\\Kyvomar.rec";
  HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  DWORD written = 0;
  BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  if (!ok || written != text.size()) return 3;
  return MoveFileExW(partial.c_str(), done.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}
