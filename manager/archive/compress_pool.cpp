// Compression pool of the packer.
//
// Design. zlib is the slow part of packing, and every 32 KiB chunk of a file
// is compressed on its own, so a few threads can compress neighbouring chunks
// at once. The job's worker thread stays the only one that reads sources,
// writes the archive and touches the job record: it reads a chunk into a free
// slot, queues the slot, and takes the slots back in the order it queued them
// to write their frames. The compression threads only turn a queued slot's
// chunk into its frame in memory.
//
//   worker thread:  read -> [slot] -> queue ----> wait until slot ready -> write
//   compression threads:     take from queue -> encodeBlock -> mark ready
//
// Memory is fixed: COMPRESS_MAX_SLOTS static slots (each one chunk and one
// frame), of which a file uses two per thread; nothing is allocated per block
// here. One critical section guards the queue and the slots' ready flags; two
// condition variables carry the wake-ups (a chunk queued, the awaited chunk
// ready). The lock is held only to move a slot in or out of the queue, never
// while compressing. A condition variable rather than an event per slot: a
// hand-over then costs no trip to the kernel when nobody sleeps, which
// matters with a chunk every millisecond.
//
// The threads are started on the first file that wants them and run until
// stopCompressThreads; between files they sleep and touch nothing.
// endFileChunks, called after every file whatever its outcome, drops the
// chunks still queued and waits for those being compressed, so that no slot is
// in use once a file's entry is finished. With one processor (or the setting
// 1), when no thread can be started, and for files of a single chunk,
// submitChunk compresses in the calling thread and no thread is involved.
#include "manager/archive/compress_pool.h"

#include <windows.h>

namespace {

enum { THREAD_STACK = 64 * 1024 };

CompressSlot slots[COMPRESS_MAX_SLOTS];
int threadSetting = 0;  // 0: one thread per processor

// The compression threads and what they share with the worker thread; the
// lock guards everything below it and the slots' ready flags.
HANDLE threads[COMPRESS_MAX_THREADS];
int threadCount = 0;
CRITICAL_SECTION lock;
CONDITION_VARIABLE chunkQueued = CONDITION_VARIABLE_INIT;
CONDITION_VARIABLE chunkReady = CONDITION_VARIABLE_INIT;
CompressSlot* queue[COMPRESS_MAX_SLOTS];  // a ring: never holds more than the slots
unsigned queueHead = 0, queueLength = 0;
bool quitting = false;
const CompressSlot* awaited = nullptr;  // the slot the worker thread sleeps on

// The current file, worker thread only. Slots are used in ring order;
// submitted, taken and released count the file's chunks at each stage.
bool fileThreaded = false;
unsigned ringSize = 1;
unsigned submitted = 0, taken = 0, released = 0;

// Takes the oldest queued slot (lock held).
CompressSlot* dequeue() {
  CompressSlot* slot = queue[queueHead];
  queueHead = (queueHead + 1) % COMPRESS_MAX_SLOTS;
  --queueLength;
  return slot;
}

DWORD WINAPI compressThread(void*) {
  BlockCompressor compressor;  // this thread's own deflate state
  openBlockCompressor(&compressor);
  EnterCriticalSection(&lock);
  for (;;) {
    while (queueLength == 0 && !quitting) SleepConditionVariableCS(&chunkQueued, &lock, INFINITE);
    if (quitting) break;
    CompressSlot* slot = dequeue();
    LeaveCriticalSection(&lock);
    slot->result = encodeBlock(slot->chunk, slot->chunkSize, slot->frame, &slot->frameSize, &compressor);
    EnterCriticalSection(&lock);
    slot->ready = true;
    if (slot == awaited) WakeConditionVariable(&chunkReady);
  }
  LeaveCriticalSection(&lock);
  closeBlockCompressor(&compressor);
  return 0;
}

// Sleeps until a queued slot is compressed (lock held).
void waitReady(const CompressSlot* slot) {
  awaited = slot;
  while (!slot->ready) SleepConditionVariableCS(&chunkReady, &lock, INFINITE);
  awaited = nullptr;
}

int processorCount() {
  DWORD_PTR process = 0, system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
    int count = 0;
    for (; process != 0; process &= process - 1) ++count;
    return count;
  }
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return static_cast<int>(info.dwNumberOfProcessors);
}

// Starts the threads the setting asks for; false when it asks for none or
// none could be started (the caller then compresses by itself).
bool startThreads() {
  int wanted = packerThreadCount();
  if (wanted < 2) return false;
  if (threadCount > 0) return true;
  InitializeCriticalSection(&lock);
  queueHead = queueLength = 0;
  quitting = false;
  awaited = nullptr;
  while (threadCount < wanted) {
    HANDLE thread = CreateThread(nullptr, THREAD_STACK, compressThread, nullptr,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) break;  // fewer threads still work
    threads[threadCount++] = thread;
  }
  if (threadCount == 0) DeleteCriticalSection(&lock);
  return threadCount > 0;
}

}  // namespace

void setPackerThreads(int count) { threadSetting = count < 0 ? 0 : count; }

int packerThreadCount() {
  int count = threadSetting > 0 ? threadSetting : processorCount();
  if (count < 1) return 1;
  return count > COMPRESS_MAX_THREADS ? COMPRESS_MAX_THREADS : count;
}

void beginFileChunks(bool threaded) {
  submitted = taken = released = 0;
  fileThreaded = threaded && startThreads();
  ringSize = 1;
  if (fileThreaded) {
    int count = threadCount < packerThreadCount() ? threadCount : packerThreadCount();
    ringSize = static_cast<unsigned>(count * COMPRESS_SLOTS_PER_THREAD);
  }
}

CompressSlot* freeChunkSlot() {
  if (submitted - released >= ringSize) return nullptr;
  return &slots[submitted % ringSize];
}

void submitChunk(CompressSlot* slot, size_t size) {
  slot->chunkSize = size;
  ++submitted;
  if (!fileThreaded) {
    slot->result = encodeBlock(slot->chunk, size, slot->frame, &slot->frameSize);
    return;
  }
  EnterCriticalSection(&lock);
  slot->ready = false;
  queue[(queueHead + queueLength) % COMPRESS_MAX_SLOTS] = slot;
  ++queueLength;
  WakeConditionVariable(&chunkQueued);
  LeaveCriticalSection(&lock);
}

CompressSlot* nextCompressedChunk() {
  if (taken == submitted) return nullptr;
  CompressSlot* slot = &slots[taken % ringSize];
  ++taken;
  if (fileThreaded) {
    EnterCriticalSection(&lock);
    waitReady(slot);
    LeaveCriticalSection(&lock);
  }
  return slot;
}

void releaseChunkSlot(CompressSlot*) { ++released; }

void endFileChunks() {
  if (fileThreaded) {
    EnterCriticalSection(&lock);
    while (queueLength > 0) {  // never started: dropped
      CompressSlot* slot = dequeue();
      slot->frameSize = 0;
      slot->result = BLOCK_COMPRESS_FAILED;
      slot->ready = true;
    }
    for (; taken != submitted; ++taken) waitReady(&slots[taken % ringSize]);
    LeaveCriticalSection(&lock);
  }
  fileThreaded = false;
  ringSize = 1;
  submitted = taken = released = 0;
}

void stopCompressThreads() {
  if (threadCount == 0) return;
  endFileChunks();
  EnterCriticalSection(&lock);
  quitting = true;
  WakeAllConditionVariable(&chunkQueued);
  LeaveCriticalSection(&lock);
  WaitForMultipleObjects(static_cast<DWORD>(threadCount), threads, TRUE, INFINITE);
  for (int i = 0; i < threadCount; ++i) CloseHandle(threads[i]);
  threadCount = 0;
  DeleteCriticalSection(&lock);
}

int compressThreadsRunning() { return threadCount; }

void wipeCompressSlots() { SecureZeroMemory(slots, sizeof slots); }
