// A data object as the file manager hands it to a context-menu handler: it
// serves a CF_HDROP list (DROPFILES with UTF-16 names, as the file manager
// gives them, or with ANSI names, as older programs do) in global memory and
// notes how the handler treats the medium.
#pragma once
#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

class DropDataObject final : public IDataObject {
 public:
  enum Mode { SERVE, FAIL_GET_DATA, UNLOCKABLE_MEMORY };
  enum Charset { UTF16, ANSI };
  // Names in the ANSI code page, served in charset.
  explicit DropDataObject(const std::vector<std::string>& names, Mode mode = SERVE, Charset charset = UTF16);
  // Names of any script, served in UTF-16.
  explicit DropDataObject(const std::vector<std::wstring>& names);
  ~DropDataObject();

  // What the handler did with the media it got.
  int getDataCalls = 0;
  int mediaReleased = 0;      // ReleaseStgMedium reached the medium's owner
  int lockedAtRelease = 0;    // media still locked when they were released

  STDMETHODIMP QueryInterface(REFIID iid, void** result) override;
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return --refs_; }  // lives on the test's stack
  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryGetData(FORMATETC* format) override;
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override;
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
  STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

 private:
  class MediumOwner;
  std::string list_;  // the names, each with its terminator, and the closing terminator
  bool wide_ = true;
  Mode mode_;
  ULONG refs_ = 1;
};
