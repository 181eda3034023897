#include "drop_data_object.h"

#include <shlobj.h>
#include <string.h>

// Owns one medium: ReleaseStgMedium calls its Release instead of freeing the
// memory, so the data object learns that (and whether the memory was still
// locked) before the memory goes.
class DropDataObject::MediumOwner final : public IUnknown {
 public:
  MediumOwner(DropDataObject* data, HGLOBAL memory) : data_(data), memory_(memory) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
    if (!result) return E_POINTER;
    *result = IsEqualIID(iid, IID_IUnknown) ? static_cast<IUnknown*>(this) : nullptr;
    if (!*result) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --refs_;
    if (left == 0) {
      ++data_->mediaReleased;
      if (memory_ && (GlobalFlags(memory_) & GMEM_LOCKCOUNT) != 0) ++data_->lockedAtRelease;
      if (memory_) GlobalFree(memory_);
      delete this;
    }
    return left;
  }

 private:
  DropDataObject* data_;
  HGLOBAL memory_;
  ULONG refs_ = 1;
};

namespace {

void appendWide(std::string* list, const std::wstring& name) {
  list->append(reinterpret_cast<const char*>(name.c_str()), (name.size() + 1) * sizeof(wchar_t));
}

}  // namespace

DropDataObject::DropDataObject(const std::vector<std::string>& names, Mode mode, Charset charset)
    : wide_(charset == UTF16), mode_(mode) {
  for (const std::string& n : names) {
    if (!wide_) {
      list_.append(n.c_str(), n.size() + 1);
      continue;
    }
    std::wstring wide(n.size() + 1, L'\0');
    int length = MultiByteToWideChar(CP_ACP, 0, n.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
    wide.resize(length > 0 ? static_cast<size_t>(length - 1) : 0);
    appendWide(&list_, wide);
  }
  if (wide_) appendWide(&list_, std::wstring()); else list_.push_back('\0');
}

DropDataObject::DropDataObject(const std::vector<std::wstring>& names) : wide_(true), mode_(SERVE) {
  for (const std::wstring& n : names) appendWide(&list_, n);
  appendWide(&list_, std::wstring());
}

DropDataObject::~DropDataObject() {}

STDMETHODIMP DropDataObject::QueryInterface(REFIID iid, void** result) {
  if (!result) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
    *result = static_cast<IDataObject*>(this);
    AddRef();
    return S_OK;
  }
  *result = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP DropDataObject::QueryGetData(FORMATETC* format) {
  return format && format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_FORMATETC;
}

STDMETHODIMP DropDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
  if (out) out->ptd = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP DropDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
  ++getDataCalls;
  if (!format || !medium) return E_INVALIDARG;
  if (mode_ == FAIL_GET_DATA) return DV_E_FORMATETC;
  if (format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL) || format->dwAspect != DVASPECT_CONTENT ||
      format->lindex != -1)
    return DV_E_FORMATETC;
  HGLOBAL memory = nullptr;
  if (mode_ == SERVE) {
    memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + list_.size());
    if (!memory) return E_OUTOFMEMORY;
    char* p = static_cast<char*>(GlobalLock(memory));
    DROPFILES* drop = reinterpret_cast<DROPFILES*>(p);
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = wide_;
    memcpy(p + sizeof(DROPFILES), list_.data(), list_.size());
    GlobalUnlock(memory);
  }
  // UNLOCKABLE_MEMORY: a medium whose memory can't be locked.
  medium->tymed = TYMED_HGLOBAL;
  medium->hGlobal = memory;
  medium->pUnkForRelease = new MediumOwner(this, memory);
  return S_OK;
}
