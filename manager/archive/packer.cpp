// The packer: walks the selected files and folders and appends one entry per
// file and folder to the archive. The archive stays open while a packing run
// lasts (an open costs more than a small file's entry). Runs on the worker
// thread only: it alone writes the archive and reports progress, while the
// threads of the compression pool (compress_pool.h) compress the chunks of a
// larger file and load the files the walk comes to next. Its parts: the
// selection checks (selection.cpp), the folder walk (folder_walk.cpp) and the
// entry writer (entry_writer.cpp).
//
// Nothing is left out in silence: an item that does not exist, a folder that
// cannot be listed, a file that cannot be opened or read, a name the archive
// cannot hold, all stop the run, and the run's problem names the item and the
// reason.
#include "manager/archive/packer.h"

#include <windows.h>
#include <stdlib.h>

#include "common/text_util.h"
#include "manager/archive/block_codec.h"
#include "manager/archive/packing_run.h"

PackRun packRun;

PackingRun::PackingRun(const PackSetup& setup) {
  if (packRun.depth++ > 0) return;
  packRun.setup = setup;
  if (packRun.setup.progress == nullptr) packRun.setup.progress = &quietProgress;
  packRun.problem.code = PACK_OK;
  packRun.problem.item[0] = packRun.problem.otherItem[0] = 0;
}

PackingRun::~PackingRun() {
  if (--packRun.depth > 0) return;
  stopCompressThreads();
  // What the run held of the sources goes: the slots, the deflate states,
  // the last header.
  wipeCompressSlots();
  releaseBlockCodecs();
  SecureZeroMemory(packRun.headerBytes, sizeof packRun.headerBytes);
}

EntryResult noteProblem(EntryResult entryCode, PackResult packCode, const wchar_t* item) {
  notePackProblem(packCode, item);
  return entryCode;
}

PackResult notePackProblem(PackResult code, const wchar_t* item) {
  if (packRun.problem.code == PACK_OK) {
    packRun.problem.code = code;
    copyText(packRun.problem.item, countOf(packRun.problem.item), item);
  }
  return code;
}

PackResult packProblemOf(EntryResult code) {
  switch (code) {
    case ENTRY_PATH_TOO_LONG: return PACK_SOURCE_FAILED;
    case ENTRY_NOT_STORABLE: return PACK_NOT_STORABLE;
    default: return PACK_ARCHIVE_UNWRITABLE;
  }
}

PackResult sourceProblemOf(DWORD error) {
  switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return PACK_IN_USE;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return PACK_NOT_FOUND;
    default:
      return PACK_UNREADABLE;
  }
}

namespace {

// The selected items in packing order, the files a few items ahead handed to
// the compression pool to be loaded meanwhile; what was not packed is given
// back.
class SelectedItems {
 public:
  SelectedItems(SourceItem* items, size_t count) : items_(items), count_(count) {}
  ~SelectedItems() {
    for (size_t i = next_; i < count_; ++i)
      if (items_[i].task) releaseSource(items_[i].task);
  }
  SelectedItems(const SelectedItems&) = delete;
  SelectedItems& operator=(const SelectedItems&) = delete;

  // The next item, its task now the caller's; null after the last.
  SourceItem* next() {
    if (next_ == count_) return nullptr;
    for (size_t i = next_; i < count_ && i < next_ + LOOKAHEAD; ++i) {
      SourceItem& item = items_[i];
      if (item.folder || item.task) continue;
      item.task = prefetchSource(item.path);
      if (!item.task) break;
    }
    return &items_[next_++];
  }

 private:
  SourceItem* items_;
  size_t count_, next_ = 0;
};

// Looks up every selected item, then packs them in order. Nothing is packed
// unless every item exists and the top-level names are distinct.
PackResult packSources(const wchar_t* sourceText) {
  if (runProgress().stopRequested()) return PACK_STOPPED;
  size_t tokens = selectionTokenCount(sourceText);
  UniqueHeapBlock<SourceItem> items(static_cast<SourceItem*>(malloc((tokens ? tokens : 1) * sizeof(SourceItem))));
  if (!items) return PACK_NO_MEMORY;
  size_t count = 0;
  PackResult checked = lookUpSelection(sourceText, items.get(), &count);
  if (checked != PACK_OK) return checked;

  SelectedItems selected(items.get(), count);
  while (SourceItem* item = selected.next()) {
    EntryResult result = item->folder ? addFolderTree(packRun.setup, item->path, item->name)
                                      : packSourceFile(item->path, item->name, L"", item->task);
    if (result != ENTRY_OK) return packRun.problem.code != PACK_OK ? packRun.problem.code : PACK_SOURCE_FAILED;
    if (runProgress().stopRequested()) return PACK_STOPPED;
  }
  return PACK_OK;
}

}  // namespace

PackResult buildArchive(const wchar_t* selection, const PackSetup& setup, PackProblem* problem) {
  PackingRun run(setup);
  PackResult result = packSources(selection);
  if (problem) {
    *problem = packRun.problem;
    problem->code = result;
    if (result == PACK_OK || result == PACK_NO_MEMORY) problem->item[0] = problem->otherItem[0] = 0;
  }
  return result;
}
