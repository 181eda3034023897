#include "manager/cipher/container_policy_win.h"

#include <windows.h>

#include "common/unique_handle.h"

int readContainerFormatPolicy() {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Kyvomar", 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put()) !=
      ERROR_SUCCESS)
    return 1;
  DWORD type = 0, value = 0, size = sizeof value;
  if (RegQueryValueExW(key.get(), L"ContainerFormat", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
      ERROR_SUCCESS)
    return 1;
  return type == REG_DWORD && size == sizeof value && value == 2 ? 2 : 1;
}
