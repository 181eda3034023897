// Compression of a file's chunks on a few threads while the packer reads the
// source and writes the blocks, and the loading of the files the packer comes
// to next (see compress_pool.cpp for the design).
//
// The packer's loop, on the job's worker thread:
//   beginFileChunks(threaded);
//   while a slot is free and the source has more: read into it, submitChunk;
//   take the oldest with nextCompressedChunk, write its frame, releaseChunkSlot;
//   endFileChunks();
// Chunks come back from nextCompressedChunk in the order they were submitted,
// whichever thread compressed them.
#pragma once
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "manager/archive/archive_format.h"
#include "manager/archive/block_codec.h"

enum {
  COMPRESS_MAX_THREADS = 4,
  COMPRESS_SLOTS_PER_THREAD = 2,  // one being compressed, one read ahead
  COMPRESS_MAX_SLOTS = COMPRESS_MAX_THREADS * COMPRESS_SLOTS_PER_THREAD,
  SOURCE_TASKS_PER_THREAD = 4,  // files loaded ahead of the packer, per thread
  SOURCE_MAX_TASKS = COMPRESS_MAX_THREADS * SOURCE_TASKS_PER_THREAD,
  SOURCE_TASK_PATH = 260,       // a source path is shorter (UTF-16 units)
};

// One chunk on its way through compression. The caller fills chunk between
// freeChunkSlot and submitChunk; frame, frameSize and result are valid once
// nextCompressedChunk has returned the slot.
struct CompressSlot {
  unsigned char chunk[ARCHIVE_CHUNK_SIZE];
  unsigned char frame[BLOCK_FRAME_SIZE];
  size_t chunkSize;
  size_t frameSize;
  int result;  // a BlockResult of encodeBlock
  bool ready;  // compressed (guarded by the pool's lock while threads run)
};

// A source file loaded for the packer: opened, asked for its times and size,
// and its first chunk read and compressed. Everything a file of one chunk
// needs is then at hand; a longer one goes on from the open file.
struct SourceTask {
  wchar_t path[SOURCE_TASK_PATH];
  HANDLE file;     // the open source (INVALID_HANDLE_VALUE once taken or when not opened)
  DWORD openError; // why it did not open or tell its times and size; 0 when it did
  FILETIME created, accessed, written;
  uint64_t size;
  bool readFailed; // reading the first chunk failed, for readError
  DWORD readError;
  bool ended;      // the source ended within the first chunk
  CompressSlot first;  // the first chunk (chunkSize 0: the source was empty) and its frame
  int state;       // the pool's
};

// Fills a chunk unless the source ends first; false on a failed read (the
// error is the thread's last).
bool readSourceChunk(HANDLE source, unsigned char* chunk, DWORD* got);

// Process-wide number of compression threads a packing run may use: 0 (the
// default) takes the number of processors the process may run on; 1 makes
// every file compress in the calling thread; more is capped at
// COMPRESS_MAX_THREADS.
void setPackerThreads(int count);
// The number of threads the setting gives on this machine (1: none).
int packerThreadCount();

// Starts a file. With threaded true the chunks go to the compression threads,
// which are started on first use and kept until stopCompressThreads; when the
// setting allows no threads or none can be started, and with threaded false,
// every chunk is compressed in the calling thread inside submitChunk.
void beginFileChunks(bool threaded);
// The slot to read the next chunk into, or null while every slot is in use.
CompressSlot* freeChunkSlot();
// Hands the slot just returned by freeChunkSlot, holding size bytes (1 to
// 32768), to compression.
void submitChunk(CompressSlot* slot, size_t size);
// Waits until the oldest chunk not yet taken is compressed and returns its
// slot, or null when every submitted chunk has been taken.
CompressSlot* nextCompressedChunk();
// Gives back the slot taken last, once its frame is written.
void releaseChunkSlot(CompressSlot* slot);
// Ends the file: chunks not yet started are skipped, those being compressed
// are waited for, and every slot is free again. Afterwards no thread touches
// a slot until the next submitChunk.
void endFileChunks();

// Hands a source (path shorter than SOURCE_TASK_PATH) to the compression
// threads to be loaded ahead; null when the setting allows no threads, none
// can be started, or the tasks are all in use: the caller then loads it
// itself when it comes to it. A chunk of the file being packed is always
// compressed before any source is loaded.
SourceTask* prefetchSource(const wchar_t* path);
// Loads a source in the calling thread (into a task of the worker's own).
SourceTask* loadSource(const wchar_t* path);
// Waits until a task is loaded.
void awaitSource(SourceTask* task);
// Gives a task back: a queued one is dropped, one being loaded is waited
// for, and its source is closed unless taken.
void releaseSource(SourceTask* task);

// Ends the compression threads and waits for them; nothing when none run.
void stopCompressThreads();
// Wipes every slot and task (their chunks and frames held plaintext); call
// when no file is being packed.
void wipeCompressSlots();
// Threads running now (0 once stopped).
int compressThreadsRunning();
