#include "common/fresh_file.h"

#include "common/fresh_name.h"
#include "common/text_util.h"

namespace {

LONG freshCounter = 0;

bool alreadyThere(DWORD error) { return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS; }

// Tries the names in turn; make creates one and says whether it did.
template <typename Make>
bool createFresh(FreshNameForm form, const void* context, wchar_t* out, size_t cap, Make make) {
  unsigned long seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
  for (int attempt = 0; attempt < FRESH_NAME_ATTEMPTS; ++attempt) {
    unsigned long value = seed + static_cast<unsigned long>(InterlockedIncrement(&freshCounter)) * 0x9E37u;
    if (!form(context, value, out, cap)) break;
    if (make(out)) return true;
    if (!alreadyThere(GetLastError())) break;
  }
  if (cap > 0) out[0] = 0;
  return false;
}

}  // namespace

bool formFreshName(const void* context, unsigned long value, wchar_t* out, size_t cap) {
  const FreshPlace* place = static_cast<const FreshPlace*>(context);
  return cap >= FRESH_PATH_SIZE && formFreshPath(place->path, place->folderPartLength, value, out);
}

FreshPlace placeBeside(const wchar_t* path) {
  FreshPlace place = {path, static_cast<size_t>(lastSeparatorIndex(path) + 1)};
  return place;
}

HANDLE createFreshFile(FreshNameForm form, const void* context, DWORD attributes, wchar_t* out, size_t cap) {
  HANDLE file = INVALID_HANDLE_VALUE;
  createFresh(form, context, out, cap, [&](const wchar_t* name) {
    file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW, attributes,
                       nullptr);
    return file != INVALID_HANDLE_VALUE;
  });
  return file;
}

bool createFreshFolder(FreshNameForm form, const void* context, wchar_t* out, size_t cap) {
  return createFresh(form, context, out, cap, [](const wchar_t* name) { return CreateDirectoryW(name, nullptr) != 0; });
}
