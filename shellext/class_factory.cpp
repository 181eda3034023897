#include "shellext/class_factory.h"

#include <new>

#include "shellext/module.h"
#include "shellext/shell_handler.h"

namespace {

// The reference held by the object map does not keep the DLL loaded: the
// module is locked while a second reference exists (1 -> 2 locks, 2 -> 1
// unlocks). The count is guarded by the factory's own critical section.
class KyvoClassFactory final : public IClassFactory {
 public:
  KyvoClassFactory() : refCount_(1) { InitializeCriticalSection(&guard_); }

  STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
    if (!result) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *result = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *result = nullptr;
    return E_NOINTERFACE;
  }

  STDMETHODIMP_(ULONG) AddRef() override {
    EnterCriticalSection(&guard_);
    ULONG count = ++refCount_;
    if (count == 2) lockModule();
    LeaveCriticalSection(&guard_);
    return count;
  }

  STDMETHODIMP_(ULONG) Release() override {
    EnterCriticalSection(&guard_);
    ULONG count = --refCount_;
    if (count == 1) unlockModule();
    LeaveCriticalSection(&guard_);
    if (count == 0) delete this;
    return count;
  }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** result) override {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return createKyvoShlExt(outer, iid, result);
  }

  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) lockModule(); else unlockModule();
    return S_OK;
  }

 private:
  ~KyvoClassFactory() { DeleteCriticalSection(&guard_); }

  ULONG refCount_;
  CRITICAL_SECTION guard_;
};

}  // namespace

IClassFactory* createKyvoClassFactory() { return new (std::nothrow) KyvoClassFactory(); }
