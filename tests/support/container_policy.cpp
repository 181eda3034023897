#include "support/container_policy.h"

namespace {

const wchar_t kKey[] = L"Software\\Kyvomar";
const wchar_t kValue[] = L"ContainerFormat";

}  // namespace

ContainerPolicyValue::ContainerPolicyValue() {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return;
  keyExisted_ = true;
  size_ = sizeof value_;
  valueExisted_ = RegQueryValueExW(key, kValue, nullptr, &type_, value_, &size_) == ERROR_SUCCESS;
  RegCloseKey(key);
}

ContainerPolicyValue::~ContainerPolicyValue() {
  if (!keyExisted_) {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_64KEY, 0);
    return;
  }
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return;
  if (valueExisted_)
    RegSetValueExW(key, kValue, 0, type_, value_, size_);
  else
    RegDeleteValueW(key, kValue);
  RegCloseKey(key);
}

bool ContainerPolicyValue::set(DWORD format) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  bool ok = RegSetValueExW(key, kValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&format), sizeof format) ==
            ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

bool ContainerPolicyValue::remove() {
  HKEY key;
  LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key);
  if (opened == ERROR_FILE_NOT_FOUND) return true;
  if (opened != ERROR_SUCCESS) return false;
  LONG deleted = RegDeleteValueW(key, kValue);
  RegCloseKey(key);
  return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}
