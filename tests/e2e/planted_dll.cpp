// A DLL planted beside a result file under the name of a system library that
// the dialogs load on demand: if it is ever loaded, it leaves a mark beside
// itself and fails its loading, so the process goes on with the real one.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH + 32];
  DWORD n = GetModuleFileNameW(instance, path, MAX_PATH);
  path[n] = 0;
  lstrcatW(path, L".was-loaded");
  HANDLE mark = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
  return FALSE;
}
