// Entry of the DLL and the two COM exports that serve the class: the object
// map holds one class, KyvoShlExt, whose factory is created on first request
// and cached until the DLL is detached.
#include "shellext/module.h"

#include "shellext/class_factory.h"

const CLSID CLSID_KyvoShlExt = {0x5B1E0C7A, 0x93D4, 0x4F2B, {0xA6, 0xE1, 0x0C, 0x84, 0xD2, 0xF7, 0xB3, 0x19}};
const char kKyvoShlExtClsidText[] = "{5B1E0C7A-93D4-4F2B-A6E1-0C84D2F7B319}";

ModuleState moduleState;

void lockModule() { InterlockedIncrement(&moduleState.lockCount); }
void unlockModule() { InterlockedDecrement(&moduleState.lockCount); }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    moduleState.instance = instance;
    moduleState.lockCount = 0;
    moduleState.factory = nullptr;
    InitializeCriticalSection(&moduleState.factoryGuard);
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    if (moduleState.factory) {
      moduleState.factory->Release();
      moduleState.factory = nullptr;
    }
    DeleteCriticalSection(&moduleState.factoryGuard);
  }
  return TRUE;
}

STDAPI DllCanUnloadNow() { return moduleState.lockCount == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_KyvoShlExt)) return CLASS_E_CLASSNOTAVAILABLE;
  if (!moduleState.factory) {
    EnterCriticalSection(&moduleState.factoryGuard);
    if (!moduleState.factory) moduleState.factory = createKyvoClassFactory();
    LeaveCriticalSection(&moduleState.factoryGuard);
    if (!moduleState.factory) return E_OUTOFMEMORY;
  }
  return moduleState.factory->QueryInterface(iid, result);
}
