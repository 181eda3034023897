// What the parts of the packer share while a packing run lasts: the run
// record, the notes of its first failure, and the steps one part hands to
// another. Only the packer's own files include this.
#pragma once
#include <windows.h>

#include "common/unique_handle.h"
#include "manager/archive/archive_format.h"
#include "manager/archive/compress_pool.h"
#include "manager/archive/option_parser.h"
#include "manager/archive/packer.h"

enum {
  SOURCE_PATH_LIMIT = SOURCE_TASK_PATH,  // every source path must be shorter (UTF-16 units)
  LOOKAHEAD = 16,                        // items read ahead of the walk
};

// The one packing run (the worker's). Its compression threads are started
// for its first file of more than one chunk and ended when the outermost
// call into the packer returns, so none is left running between jobs.
struct PackRun {
  int depth;                  // nesting of calls into the packer
  PackSetup setup;            // the outermost call's
  PackProblem problem;        // the first failure
  unsigned char headerBytes[ARCHIVE_HEADER_SIZE];
};
extern PackRun packRun;

// Begins (outermost) or joins the run for the life of the object; the
// outermost end ends the threads and wipes what the run held of the sources.
class PackingRun {
 public:
  explicit PackingRun(const PackSetup& setup);
  ~PackingRun();
  PackingRun(const PackingRun&) = delete;
  PackingRun& operator=(const PackingRun&) = delete;
};

inline const Progress& runProgress() { return *packRun.setup.progress; }

// Notes the first failure of the run; the step's own code is passed on.
EntryResult noteProblem(EntryResult entryCode, PackResult packCode, const wchar_t* item);
PackResult notePackProblem(PackResult code, const wchar_t* item);
// The problem a step's code stands for when it is the step's own.
PackResult packProblemOf(EntryResult code);
// What a failed open or read of a source says to the user.
PackResult sourceProblemOf(DWORD error);

// One file of the walk: its task when it was loaded ahead (null: it is
// loaded here). The caller is told of the file whatever the outcome.
EntryResult packSourceFile(const wchar_t* sourcePath, const wchar_t* name, const wchar_t* folderPath,
                           SourceTask* task);

// One selected item, looked up before anything is packed.
struct SourceItem {
  wchar_t path[SOURCE_PATH_LIMIT];
  wchar_t name[MAX_PATH];
  bool folder;
  SourceTask* task;  // a file being loaded ahead, or null
};

// Looks up every item of the source text into items (room for as many as
// the text has tokens): each must exist and may be no drive as a whole, and
// no two may share a top-level name. PACK_OK with *count items, or the
// problem, noted.
PackResult lookUpSelection(const wchar_t* sourceText, SourceItem* items, size_t* count);
// The number of tokens of the source text.
size_t selectionTokenCount(const wchar_t* sourceText);
