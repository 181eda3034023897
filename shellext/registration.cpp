// DllRegisterServer and DllUnregisterServer: the approval value for the file
// manager, then the registry script carried as resource "REGISTRY" 101.
#include <windows.h>
#include <objbase.h>
#include <stdlib.h>

#include "manager/startup/unique_handle.h"
#include "shellext/module.h"
#include "shellext/registry_script.h"
#include "shellext/script_runner.h"

namespace {

const char kApprovedKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const char kApprovalText[] = "KyvoShlExt extension";
const int kRegistryScriptId = 101;

static_assert(kRegistryNotFound == ERROR_FILE_NOT_FOUND, "script results are system error numbers");

// The real registry behind the script runner.
class SystemRegistry final : public RegistryAccess {
 public:
  RegistryKey rootKey(int root) override {
    switch (root) {
      case ROOT_CLASSES_ROOT: return HKEY_CLASSES_ROOT;
      case ROOT_CURRENT_USER: return HKEY_CURRENT_USER;
      case ROOT_LOCAL_MACHINE: return HKEY_LOCAL_MACHINE;
      case ROOT_USERS: return HKEY_USERS;
      case ROOT_PERFORMANCE_DATA: return HKEY_PERFORMANCE_DATA;
      case ROOT_DYN_DATA: return HKEY_DYN_DATA;
      case ROOT_CURRENT_CONFIG: return HKEY_CURRENT_CONFIG;
      default: return nullptr;
    }
  }

  long openKey(RegistryKey parent, const char* name, bool create, RegistryKey* key) override {
    HKEY opened = nullptr;
    LONG result = create ? RegCreateKeyExA(hkey(parent), name, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                           KEY_READ | KEY_WRITE, nullptr, &opened, nullptr)
                         : RegOpenKeyExA(hkey(parent), name, 0, KEY_READ | KEY_WRITE, &opened);
    *key = result == ERROR_SUCCESS ? opened : nullptr;
    return result;
  }

  void closeKey(RegistryKey key) override { RegCloseKey(hkey(key)); }

  long deleteKeyTree(RegistryKey parent, const char* name) override { return deleteTree(hkey(parent), name, 0); }

  bool hasSubKeys(RegistryKey key) override {
    DWORD subKeys = 0;
    if (RegQueryInfoKeyA(hkey(key), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      return true;  // unknown: keep the key
    return subKeys > 0;
  }

  long setValue(RegistryKey key, const char* name, int valueType, const void* data, size_t size) override {
    DWORD type = valueType == VALUE_DWORD ? REG_DWORD : valueType == VALUE_BINARY ? REG_BINARY : REG_SZ;
    return RegSetValueExA(hkey(key), name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size));
  }

  long deleteValue(RegistryKey key, const char* name) override { return RegDeleteValueA(hkey(key), name); }

 private:
  static HKEY hkey(RegistryKey key) { return static_cast<HKEY>(key); }

  // Deletes the sub-keys depth first, then the key itself.
  static LONG deleteTree(HKEY parent, const char* name, int depth) {
    if (depth > 512) return ERROR_CANTWRITE;  // deeper than the registry allows
    UniqueRegKey key;
    LONG result = RegOpenKeyExA(parent, name, 0, KEY_READ | KEY_WRITE, key.put());
    if (result != ERROR_SUCCESS) return result;
    for (;;) {
      char child[256];
      DWORD length = sizeof child;
      result = RegEnumKeyExA(key.get(), 0, child, &length, nullptr, nullptr, nullptr, nullptr);
      if (result == ERROR_NO_MORE_ITEMS) break;
      if (result != ERROR_SUCCESS) return result;
      result = deleteTree(key.get(), child, depth + 1);
      if (result != ERROR_SUCCESS) return result;
    }
    key.reset();
    return RegDeleteKeyA(parent, name);
  }
};

bool isNtFamily() { return (GetVersion() & 0x80000000u) == 0; }

// The script as the DLL runs it: the resource text with the module path in
// place, and its tree. Held on the heap; registration runs rarely.
struct PreparedScript {
  char expanded[8192];
  ScriptTree tree;
};

struct PreparedScriptTraits {
  using Type = PreparedScript*;
  static Type empty() { return nullptr; }
  static void close(Type p) { free(p); }
};

// Loads the script, puts the module path (single quotation marks doubled)
// in place of %MODULE% and parses it.
HRESULT prepareScript(PreparedScript* prepared) {
  char modulePath[1024];
  DWORD length = GetModuleFileNameA(moduleState.instance, modulePath, sizeof modulePath);
  if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
  if (length >= sizeof modulePath) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
  modulePath[length] = '\0';
  char quoted[2 * sizeof modulePath];
  if (!doubleSingleQuotes(modulePath, quoted, sizeof quoted)) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);

  HRSRC found = FindResourceA(moduleState.instance, MAKEINTRESOURCEA(kRegistryScriptId), "REGISTRY");
  HGLOBAL loaded = found ? LoadResource(moduleState.instance, found) : nullptr;
  const char* script = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (!script) return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
  DWORD scriptLength = SizeofResource(moduleState.instance, found);

  size_t expandedLength = 0;
  if (expandScriptMacro(script, scriptLength, "MODULE", quoted, prepared->expanded, sizeof prepared->expanded,
                        &expandedLength) != SCRIPT_OK)
    return E_UNEXPECTED;
  if (parseRegistryScript(prepared->expanded, expandedLength, &prepared->tree) != SCRIPT_OK) return E_UNEXPECTED;
  return S_OK;
}

HRESULT writeApproval() {
  UniqueRegKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kApprovedKey, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS)
    return E_ACCESSDENIED;
  if (RegSetValueExA(key.get(), kKyvoShlExtClsidText, 0, REG_SZ, reinterpret_cast<const BYTE*>(kApprovalText),
                     sizeof kApprovalText) != ERROR_SUCCESS)
    return E_ACCESSDENIED;
  return S_OK;
}

void deleteApproval() {
  UniqueRegKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kApprovedKey, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
  RegDeleteValueA(key.get(), kKyvoShlExtClsidText);
}

}  // namespace

STDAPI DllRegisterServer() {
  UniqueHandle<PreparedScriptTraits> prepared(static_cast<PreparedScript*>(malloc(sizeof(PreparedScript))));
  if (!prepared) return E_OUTOFMEMORY;
  HRESULT hr = prepareScript(prepared.get());
  if (FAILED(hr)) return hr;
  // The file manager uses only approved handlers: that value comes first, and
  // without it nothing is written under HKEY_CLASSES_ROOT.
  if (isNtFamily()) {
    hr = writeApproval();
    if (FAILED(hr)) return hr;
  }
  SystemRegistry registry;
  long result = runRegistryScript(prepared.get()->tree, SCRIPT_REGISTER, &registry);
  return result == 0 ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(result));
}

STDAPI DllUnregisterServer() {
  if (isNtFamily()) deleteApproval();
  UniqueHandle<PreparedScriptTraits> prepared(static_cast<PreparedScript*>(malloc(sizeof(PreparedScript))));
  if (prepared && SUCCEEDED(prepareScript(prepared.get()))) {
    SystemRegistry registry;
    runRegistryScript(prepared.get()->tree, SCRIPT_UNREGISTER, &registry);
  }
  return S_OK;
}
