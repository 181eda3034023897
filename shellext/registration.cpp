// DllRegisterServer and DllUnregisterServer: the approval value for the file
// manager, then the registry script carried as resource "REGISTRY" 101.
//
// The script is read as UTF-8: its own text is ASCII, and the module path put
// into it is the loader's UTF-16 path in UTF-8. Keys and values go to the
// registry through the UTF-16 calls, so a DLL in a folder whose name the ANSI
// code page cannot hold registers its real path.
#include <windows.h>
#include <objbase.h>
#include <stdlib.h>

#include "common/unique_handle.h"
#include "shellext/module.h"
#include "shellext/registry_script.h"
#include "shellext/script_runner.h"

namespace {

const char kApprovedKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const char kApprovalText[] = "KyvoShlExt extension";
const int kRegistryScriptId = 101;

static_assert(kRegistryNotFound == ERROR_FILE_NOT_FOUND, "script results are system error numbers");

// A name or text of the script in UTF-16. Script tokens are shorter than
// this buffer in UTF-8, so they are never cut; text that is no UTF-8 is
// refused.
class Utf16 {
 public:
  // text: bytes UTF-8 bytes, or up to its NUL with bytes -1; null stays null.
  explicit Utf16(const char* text, int bytes = -1) {
    if (!text) return;
    length_ = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, bytes, text_, kCapacity);
    ok_ = length_ > 0;
    null_ = false;
  }
  bool ok() const { return ok_; }
  const wchar_t* get() const { return null_ ? nullptr : text_; }
  DWORD byteSize() const { return static_cast<DWORD>(length_) * sizeof(wchar_t); }  // what was converted

 private:
  static const int kCapacity = 2048;
  wchar_t text_[kCapacity];
  int length_ = 0;
  bool ok_ = true;
  bool null_ = true;
};

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
    *key = nullptr;
    Utf16 wideName(name);
    if (!wideName.ok()) return kRegistryInvalidParameter;
    HKEY opened = nullptr;
    LONG result = create ? RegCreateKeyExW(hkey(parent), wideName.get(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                           KEY_READ | KEY_WRITE, nullptr, &opened, nullptr)
                         : RegOpenKeyExW(hkey(parent), wideName.get(), 0, KEY_READ | KEY_WRITE, &opened);
    if (result == ERROR_SUCCESS) *key = opened;
    return result;
  }

  void closeKey(RegistryKey key) override { RegCloseKey(hkey(key)); }

  long deleteKeyTree(RegistryKey parent, const char* name) override {
    Utf16 wideName(name);
    if (!wideName.ok() || !wideName.get()) return kRegistryInvalidParameter;
    return deleteTree(hkey(parent), wideName.get(), 0);
  }

  bool hasSubKeys(RegistryKey key) override {
    DWORD subKeys = 0;
    if (RegQueryInfoKeyW(hkey(key), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      return true;  // unknown: keep the key
    return subKeys > 0;
  }

  long setValue(RegistryKey key, const char* name, int valueType, const void* data, size_t size) override {
    Utf16 wideName(name);
    if (!wideName.ok()) return kRegistryInvalidParameter;
    if (valueType == VALUE_DWORD || valueType == VALUE_BINARY)
      return RegSetValueExW(hkey(key), wideName.get(), 0, valueType == VALUE_DWORD ? REG_DWORD : REG_BINARY,
                            static_cast<const BYTE*>(data), static_cast<DWORD>(size));
    // A text with its terminator.
    if (size == 0 || size > 0x7FFFFFFF) return kRegistryInvalidParameter;
    Utf16 text(static_cast<const char*>(data), static_cast<int>(size));
    if (!text.ok()) return kRegistryInvalidParameter;
    return RegSetValueExW(hkey(key), wideName.get(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.get()),
                          text.byteSize());
  }

  long deleteValue(RegistryKey key, const char* name) override {
    Utf16 wideName(name);
    if (!wideName.ok()) return kRegistryInvalidParameter;
    return RegDeleteValueW(hkey(key), wideName.get());
  }

 private:
  static HKEY hkey(RegistryKey key) { return static_cast<HKEY>(key); }

  // Deletes the sub-keys depth first, then the key itself.
  static LONG deleteTree(HKEY parent, const wchar_t* name, int depth) {
    if (depth > 512) return ERROR_CANTWRITE;  // deeper than the registry allows
    UniqueRegKey key;
    LONG result = RegOpenKeyExW(parent, name, 0, KEY_READ | KEY_WRITE, key.put());
    if (result != ERROR_SUCCESS) return result;
    for (;;) {
      wchar_t child[256];
      DWORD length = sizeof child / sizeof child[0];
      result = RegEnumKeyExW(key.get(), 0, child, &length, nullptr, nullptr, nullptr, nullptr);
      if (result == ERROR_NO_MORE_ITEMS) break;
      if (result != ERROR_SUCCESS) return result;
      result = deleteTree(key.get(), child, depth + 1);
      if (result != ERROR_SUCCESS) return result;
    }
    key.reset();
    return RegDeleteKeyW(parent, name);
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
  wchar_t wide[1024];
  DWORD length = GetModuleFileNameW(moduleState.instance, wide, sizeof wide / sizeof wide[0]);
  if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
  if (length >= sizeof wide / sizeof wide[0]) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
  wide[length] = L'\0';
  // A path that UTF-8 cannot carry exactly (a lone surrogate) is refused, not
  // registered as some other path.
  char modulePath[1024];
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, modulePath, sizeof modulePath, nullptr,
                          nullptr) == 0)
    return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
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
