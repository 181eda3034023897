#include "shellext/shell_handler.h"

#include <shlobj.h>
#include <shellapi.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <new>

#include "common/text_util.h"
#include "common/ui_language.h"
#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "shellext/command_line.h"
#include "shellext/manager_launch.h"
#include "shellext/menu_texts.h"
#include "shellext/module.h"

namespace {

class KyvoShlExt;

// The object's own IUnknown, which owns the reference count. An aggregator
// holds this one; the interfaces' IUnknown methods go to the controlling
// unknown, which is the aggregator or this object.
class InnerUnknown final : public IUnknown {
 public:
  explicit InnerUnknown(KyvoShlExt* owner) : owner_(owner) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** result) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

 private:
  KyvoShlExt* owner_;
};

class KyvoShlExt final : public IShellExtInit, public IContextMenu {
 public:
  static KyvoShlExt* create(IUnknown* outer) { return new (std::nothrow) KyvoShlExt(outer); }

  STDMETHODIMP QueryInterface(REFIID iid, void** result) override { return controlling_->QueryInterface(iid, result); }
  STDMETHODIMP_(ULONG) AddRef() override { return controlling_->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return controlling_->Release(); }

  STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progId) override;
  STDMETHODIMP QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT flags) override;
  STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override;
  STDMETHODIMP GetCommandString(UINT_PTR idCmd, UINT type, UINT* reserved, CHAR* name, UINT cchMax) override;

  HRESULT innerQueryInterface(REFIID iid, void** result) {
    if (!result) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown))
      *result = static_cast<IUnknown*>(&inner_);
    else if (IsEqualIID(iid, IID_IShellExtInit))
      *result = static_cast<IShellExtInit*>(this);
    else if (IsEqualIID(iid, IID_IContextMenu))
      *result = static_cast<IContextMenu*>(this);
    else {
      *result = nullptr;
      return E_NOINTERFACE;
    }
    static_cast<IUnknown*>(*result)->AddRef();
    return S_OK;
  }
  ULONG innerAddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }
  ULONG innerRelease() {
    LONG count = InterlockedDecrement(&refCount_);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }

 private:
  explicit KyvoShlExt(IUnknown* outer)
      : refCount_(1),
        saveBitmap_(loadMenuBitmap(kSaveBitmapId)),
        mailBitmap_(loadMenuBitmap(kMailBitmapId)),
        selection_(nullptr),
        selectionCount_(0),
        inner_(this),
        controlling_(outer ? outer : &inner_) {
    lockModule();
  }

  ~KyvoShlExt() {
    if (saveBitmap_) DeleteObject(saveBitmap_);
    if (mailBitmap_) DeleteObject(mailBitmap_);
    releaseSelection();
    unlockModule();
  }

  // A menu bitmap at the size of this screen: drawn for 96 dots per inch,
  // scaled with the screen, never larger than the menu's check-mark box.
  static HBITMAP loadMenuBitmap(int id) {
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    int size = menuBitmapSize(dpi, GetSystemMetrics(SM_CXMENUCHECK));
    return static_cast<HBITMAP>(LoadImageW(moduleState.instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, size, size, 0));
  }

  void releaseSelection() {
    freePaths(selection_, selectionCount_);
    selection_ = nullptr;
    selectionCount_ = 0;
  }

  static void freePaths(wchar_t** paths, UINT count) {
    if (!paths) return;
    for (UINT i = 0; i < count; ++i) free(paths[i]);
    free(paths);
  }

  HRESULT readDropList(HDROP drop);

  LONG refCount_;
  HBITMAP saveBitmap_;
  HBITMAP mailBitmap_;
  wchar_t** selection_;  // selectionCount_ paths, each a heap text of its own
  UINT selectionCount_;
  InnerUnknown inner_;
  IUnknown* controlling_;
};

STDMETHODIMP InnerUnknown::QueryInterface(REFIID iid, void** result) { return owner_->innerQueryInterface(iid, result); }
STDMETHODIMP_(ULONG) InnerUnknown::AddRef() { return owner_->innerAddRef(); }
STDMETHODIMP_(ULONG) InnerUnknown::Release() { return owner_->innerRelease(); }

STDMETHODIMP KyvoShlExt::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
  releaseSelection();
  if (!data) return E_INVALIDARG;
  FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium;
  ZeroMemory(&medium, sizeof medium);
  if (FAILED(data->GetData(&format, &medium))) return E_INVALIDARG;
  if (medium.tymed != TYMED_HGLOBAL) {
    ReleaseStgMedium(&medium);
    return E_INVALIDARG;
  }
  if (!GlobalLock(medium.hGlobal)) {
    ReleaseStgMedium(&medium);
    return E_INVALIDARG;
  }
  HRESULT result = readDropList(static_cast<HDROP>(medium.hGlobal));
  GlobalUnlock(medium.hGlobal);
  ReleaseStgMedium(&medium);
  return result;
}

// Takes every name of the list as the file manager gives it, in UTF-16 and
// whatever its length. A name the list doesn't give whole refuses the whole
// selection: an empty or cut path would stand for another file.
HRESULT KyvoShlExt::readDropList(HDROP drop) {
  UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  if (count == 0) return E_INVALIDARG;
  wchar_t** paths = static_cast<wchar_t**>(calloc(count, sizeof *paths));
  if (!paths) return E_OUTOFMEMORY;
  HRESULT result = S_OK;
  for (UINT i = 0; i < count && result == S_OK; ++i) {
    UINT length = DragQueryFileW(drop, i, nullptr, 0);
    if (length == 0) {
      result = E_INVALIDARG;
      break;
    }
    // One character more than announced: a name that fills it was cut.
    UINT room = length + 2;
    paths[i] = allocateWideText(room);
    if (!paths[i]) {
      result = E_OUTOFMEMORY;
      break;
    }
    paths[i][0] = L'\0';
    DragQueryFileW(drop, i, paths[i], room);
    paths[i][room - 1] = L'\0';
    size_t got = wcslen(paths[i]);
    if (got == 0 || got > length) result = E_INVALIDARG;
  }
  if (FAILED(result)) {
    freePaths(paths, count);
    return result;
  }
  selection_ = paths;
  selectionCount_ = count;
  return S_OK;
}

STDMETHODIMP KyvoShlExt::QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT flags) {
  if (flags & (CMF_DEFAULTONLY | CMF_VERBSONLY)) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
  // All three commands or none: fewer granted identifiers add nothing.
  if (idCmdLast < idCmdFirst || idCmdLast - idCmdFirst < kCommandCount - 1) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
  // A position past the end (such as -1, "append") appends; keep the four
  // items together and in order there.
  int items = GetMenuItemCount(menu);
  if (items >= 0 && indexMenu > static_cast<UINT>(items)) indexMenu = static_cast<UINT>(items);
  InsertMenuW(menu, indexMenu, MF_SEPARATOR | MF_BYPOSITION, 0, nullptr);
  for (UINT offset = 0; offset < kCommandCount; ++offset) {
    UINT position = indexMenu + 1 + offset;
    wchar_t text[64];
    ansiToWide(commandMenuText(offset, uiLanguage()), text, countOf(text));
    InsertMenuW(menu, position, MF_STRING | MF_BYPOSITION, idCmdFirst + offset, text);
    HBITMAP bitmap = commandBitmapId(offset) == kMailBitmapId ? mailBitmap_ : saveBitmap_;
    if (bitmap) SetMenuItemBitmaps(menu, position, MF_BYPOSITION, bitmap, nullptr);
  }
  return MAKE_HRESULT(SEVERITY_SUCCESS, 0, kCommandCount);
}

// The help text for a caller that asks for it in the system's own code page
// (not 932): as much of it as fits, whole characters only, with "?" for a
// character that code page lacks.
void systemAnsiHelpText(const WCHAR* wide, CHAR* name, UINT cchMax) {
  int units = cchMax > 1 ? lstrlenW(wide) : 0;  // a size of 0 would ask for the length only
  for (;;) {
    int n = units == 0 ? 0 : WideCharToMultiByte(CP_ACP, 0, wide, units, name, static_cast<int>(cchMax) - 1, nullptr, nullptr);
    if (n > 0 || units == 0) {
      name[n] = '\0';
      return;
    }
    --units;  // too long: one character less, never half of a surrogate pair
    if (units > 0 && isLeadUnit(wide[units - 1])) --units;
  }
}

STDMETHODIMP KyvoShlExt::GetCommandString(UINT_PTR idCmd, UINT type, UINT*, CHAR* name, UINT cchMax) {
  if (!(type & GCS_HELPTEXTA)) return E_INVALIDARG;  // verbs and validation: the handler has no verbs
  const char* text = idCmd < kCommandCount ? commandHelpText(static_cast<unsigned>(idCmd), uiLanguage()) : nullptr;
  if (!text || !name) return E_INVALIDARG;
  if (cchMax == 0) return S_OK;  // no room, not even for the terminator
  WCHAR wide[128];
  if (!ansiToWide(text, wide, countOf(wide))) return E_INVALIDARG;
  if (type & GCS_UNICODE) {
    lstrcpynW(reinterpret_cast<WCHAR*>(name), wide, static_cast<int>(cchMax));
  } else if (GetACP() == kProgramCodePage) {
    copyText(name, cchMax, text);  // cut on a character boundary, never between the two bytes of one
  } else {
    systemAnsiHelpText(wide, name, cchMax);
  }
  return S_OK;
}

STDMETHODIMP KyvoShlExt::InvokeCommand(CMINVOKECOMMANDINFO* info) {
  if (!info || !IS_INTRESOURCE(info->lpVerb)) {
    releaseSelection();  // a verb named by text: the handler has none
    return E_INVALIDARG;
  }
  UINT offset = LOWORD(reinterpret_cast<UINT_PTR>(info->lpVerb));
  if (!selection_) return E_INVALIDARG;  // no selection held: nothing to start
  if (commandLineBound(selectionCount_) > kCommandLineLimit) {
    releaseSelection();
    return E_INVALIDARG;
  }
  HRESULT result = E_INVALIDARG;
  if (offset < kCommandCount) {
    UniqueWideText line(allocateWideText(kCommandLineLimit));
    if (!line) {
      result = E_OUTOFMEMORY;
    } else if (buildManagerCommandLine(offset, selection_, selectionCount_, line.get(), kCommandLineLimit) < 0) {
      // Longer than the platform takes: nothing is started, no path is cut.
      result = HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    } else {
      startManager(line.get());
      result = S_OK;
    }
  }
  releaseSelection();
  return result;
}

}  // namespace

HRESULT createKyvoShlExt(IUnknown* outer, REFIID iid, void** result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  KyvoShlExt* handler = KyvoShlExt::create(outer);
  if (!handler) return E_OUTOFMEMORY;
  HRESULT hr = handler->innerQueryInterface(iid, result);
  handler->innerRelease();
  return hr;
}
