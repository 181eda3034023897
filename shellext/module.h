// Process-wide state of the DLL: its instance, the lock count that decides
// when it may be unloaded, and the cached class factory. The DLL's directory
// is asked of the loader when the manager is started (manager_launch.cpp).
#pragma once
#include <windows.h>
#include <objbase.h>

// {5B1E0C7A-93D4-4F2B-A6E1-0C84D2F7B319}
extern const CLSID CLSID_KyvoShlExt;
extern const char kKyvoShlExtClsidText[];

struct ModuleState {
  HINSTANCE instance;
  volatile LONG lockCount;  // live handlers + outside factory references + LockServer locks
  IClassFactory* factory;   // cached; the module's own reference does not lock it
  CRITICAL_SECTION factoryGuard;
};

extern ModuleState moduleState;

void lockModule();
void unlockModule();
