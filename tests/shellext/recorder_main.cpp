// Stands in for Kyvomar.exe in the tests of the shell extension: writes the
// command line it was started with, its current directory and the variable
// KYVO_SHELL_PROBE of its environment, one per line, to Kyvomar.rec beside
// itself (written under another name first, so that a reader never sees half
// of it), and ends.
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char self[1024];
  DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  if (n == 0 || n >= sizeof self) return 1;
  std::string folder(self, n);
  folder.erase(folder.find_last_of('\\'));

  char directory[1024];
  DWORD d = GetCurrentDirectoryA(sizeof directory, directory);
  char probe[256];
  DWORD p = GetEnvironmentVariableA("KYVO_SHELL_PROBE", probe, sizeof probe);
  std::string text = GetCommandLineA();
  text += "\n" + std::string(directory, d < sizeof directory ? d : 0);
  text += "\n" + std::string(probe, p < sizeof probe ? p : 0);

  std::string partial = folder + "\\Kyvomar.rec.part";
  std::string done = folder + "\\Kyvomar.rec";
  HANDLE file = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  DWORD written = 0;
  BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  if (!ok || written != text.size()) return 3;
  return MoveFileExA(partial.c_str(), done.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}
