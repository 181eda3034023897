// Compression pool of the packer.
//
// Design. zlib is the slow part of packing, and every 32 KiB chunk of a file
// is compressed on its own, so a few threads can compress neighbouring chunks
// at once. The job's worker thread stays the only one that writes the
// archive and reports progress: it reads a chunk into a free slot,
// queues the slot, and takes the slots back in the order it queued them to
// write their frames. The compression threads only turn a queued slot's
// chunk into its frame in memory.
//
//   worker thread:  read -> [slot] -> queue ----> wait until slot ready -> write
//   compression threads:     take from queue -> encodeBlock -> mark ready
//
// Most files of a folder are smaller than one chunk, and for them the pool
// does more: the worker hands it the files it is about to come to (source
// tasks), and a thread opens each, takes its times and size, reads its first
// chunk and compresses it. When the worker comes to the file it waits for
// the task and writes the entry from it, applying whatever went wrong (a file
// that did not open, a failed read) at that point, as if it had done the
// work itself; a longer file goes on from the open handle. A queued chunk
// always comes before a queued source task, as the worker waits for chunks.
//
// Memory is fixed: COMPRESS_MAX_SLOTS static slots (each one chunk and one
// frame), of which a file uses two per thread, and SOURCE_MAX_TASKS tasks of
// the same size, of which a run uses four per thread; nothing is allocated
// here. One critical section guards the queues, the slots' ready flags and
// the tasks' states; two condition variables carry the wake-ups (work
// queued, awaited work done). The lock is held only to move work in or out
// of a queue, never while reading or compressing. A condition variable rather
// than an event per slot: a hand-over then costs no trip to the kernel when
// nobody sleeps, which matters with a chunk every millisecond.
//
// The threads are started on the first file or task that wants them and run
// until stopCompressThreads; in between they sleep and touch nothing.
// endFileChunks, called after every file whatever its outcome, drops the
// chunks still queued and waits for those being compressed, so that no slot is
// in use once a file's entry is finished; releaseSource does the same for a
// task. With one processor (or the setting 1), and when no thread can be
// started, submitChunk compresses in the calling thread, no source is loaded
// ahead, and no thread is involved.
#include "manager/archive/compress_pool.h"

#include <windows.h>
#include <string.h>
#include <wchar.h>

namespace {

enum { THREAD_STACK = 64 * 1024 };

CompressSlot slots[COMPRESS_MAX_SLOTS];
int threadSetting = 0;  // 0: one thread per processor

// Source tasks: the last one is the worker's own (loadSource).
enum TaskState { TASK_FREE, TASK_QUEUED, TASK_LOADING, TASK_LOADED };
SourceTask tasks[SOURCE_MAX_TASKS + 1];
SourceTask& workerTask = tasks[SOURCE_MAX_TASKS];

// The compression threads and what they share with the worker thread; the
// lock guards everything below it and the slots' ready flags.
HANDLE threads[COMPRESS_MAX_THREADS];
int threadCount = 0;
CRITICAL_SECTION lock;
CONDITION_VARIABLE chunkQueued = CONDITION_VARIABLE_INIT;
CONDITION_VARIABLE chunkReady = CONDITION_VARIABLE_INIT;
CompressSlot* queue[COMPRESS_MAX_SLOTS];  // a ring: never holds more than the slots
unsigned queueHead = 0, queueLength = 0;
SourceTask* taskQueue[SOURCE_MAX_TASKS];  // in the order handed over
unsigned taskQueueLength = 0;
bool quitting = false;
const CompressSlot* awaited = nullptr;  // the slot the worker thread sleeps on
const SourceTask* awaitedTask = nullptr;  // or the task

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

// Opens a task's source, takes its times and size, reads and compresses its
// first chunk.
void load(SourceTask* task, BlockCompressor* compressor) {
  task->openError = task->readError = 0;
  task->readFailed = task->ended = false;
  task->size = 0;
  task->first.chunkSize = task->first.frameSize = 0;
  task->first.result = BLOCK_OK;
  task->file = CreateFileW(task->path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
  LARGE_INTEGER length;
  if (task->file == INVALID_HANDLE_VALUE ||
      !GetFileTime(task->file, &task->created, &task->accessed, &task->written) ||
      !GetFileSizeEx(task->file, &length)) {
    DWORD error = GetLastError();
    task->openError = error != 0 ? error : ERROR_OPEN_FAILED;
    if (task->file != INVALID_HANDLE_VALUE) CloseHandle(task->file);
    task->file = INVALID_HANDLE_VALUE;
    return;
  }
  task->size = static_cast<uint64_t>(length.QuadPart);
  DWORD got = 0;
  if (!readSourceChunk(task->file, task->first.chunk, &got)) {
    task->readFailed = true;
    task->readError = GetLastError();
    return;
  }
  task->ended = got < ARCHIVE_CHUNK_SIZE;
  task->first.chunkSize = got;
  if (got > 0)
    task->first.result = encodeBlock(task->first.chunk, got, task->first.frame, &task->first.frameSize, compressor);
}

// Takes a task out of the queue (lock held).
void unqueueTask(SourceTask* task) {
  unsigned kept = 0;
  for (unsigned i = 0; i < taskQueueLength; ++i)
    if (taskQueue[i] != task) taskQueue[kept++] = taskQueue[i];
  taskQueueLength = kept;
}

DWORD WINAPI compressThread(void*) {
  BlockCompressor compressor;  // this thread's own deflate state
  openBlockCompressor(&compressor);
  EnterCriticalSection(&lock);
  for (;;) {
    while (queueLength == 0 && taskQueueLength == 0 && !quitting)
      SleepConditionVariableCS(&chunkQueued, &lock, INFINITE);
    if (quitting) break;
    if (queueLength > 0) {
      CompressSlot* slot = dequeue();
      LeaveCriticalSection(&lock);
      slot->result = encodeBlock(slot->chunk, slot->chunkSize, slot->frame, &slot->frameSize, &compressor);
      EnterCriticalSection(&lock);
      slot->ready = true;
      if (slot == awaited) WakeConditionVariable(&chunkReady);
    } else {
      SourceTask* task = taskQueue[0];
      unqueueTask(task);
      task->state = TASK_LOADING;
      LeaveCriticalSection(&lock);
      load(task, &compressor);
      EnterCriticalSection(&lock);
      task->state = TASK_LOADED;
      if (task == awaitedTask) WakeConditionVariable(&chunkReady);
    }
  }
  LeaveCriticalSection(&lock);
  closeBlockCompressor(&compressor);
  return 0;
}

// Sleeps until a task is loaded (lock held).
void waitLoaded(const SourceTask* task) {
  awaitedTask = task;
  while (task->state != TASK_LOADED) SleepConditionVariableCS(&chunkReady, &lock, INFINITE);
  awaitedTask = nullptr;
}

// Sleeps until a queued slot is compressed (lock held).
void waitReady(const CompressSlot* slot) {
  awaited = slot;
  while (!slot->ready) SleepConditionVariableCS(&chunkReady, &lock, INFINITE);
  awaited = nullptr;
}

int askProcessorCount() {
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

// Asked once: the pool asks for every file it could load ahead.
int processorCount() {
  static int known = 0;
  if (known == 0) known = askProcessorCount();
  return known;
}

// Starts the threads the setting asks for; false when it asks for none or
// none could be started (the caller then compresses by itself).
bool startThreads() {
  if (threadCount > 0) return true;
  int wanted = packerThreadCount();
  if (wanted < 2) return false;
  InitializeCriticalSection(&lock);
  queueHead = queueLength = taskQueueLength = 0;
  quitting = false;
  awaited = nullptr;
  awaitedTask = nullptr;
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

bool readSourceChunk(HANDLE source, unsigned char* chunk, DWORD* got) {
  *got = 0;
  while (*got < ARCHIVE_CHUNK_SIZE) {
    DWORD n = 0;
    if (!ReadFile(source, chunk + *got, ARCHIVE_CHUNK_SIZE - *got, &n, nullptr)) return false;
    if (n == 0) break;
    *got += n;
  }
  return true;
}

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

SourceTask* prefetchSource(const wchar_t* path) {
  if (!startThreads()) return nullptr;
  int count = threadCount < packerThreadCount() ? threadCount : packerThreadCount();
  int window = count * SOURCE_TASKS_PER_THREAD;
  SourceTask* task = nullptr;
  EnterCriticalSection(&lock);
  for (int i = 0; i < window && !task; ++i)
    if (tasks[i].state == TASK_FREE) task = &tasks[i];
  if (task) {
    size_t length = wcslen(path);
    if (length >= SOURCE_TASK_PATH) {
      task = nullptr;
    } else {
      memcpy(task->path, path, (length + 1) * sizeof(wchar_t));
      task->file = INVALID_HANDLE_VALUE;
      task->state = TASK_QUEUED;
      taskQueue[taskQueueLength++] = task;
      WakeConditionVariable(&chunkQueued);
    }
  }
  LeaveCriticalSection(&lock);
  return task;
}

SourceTask* loadSource(const wchar_t* path) {
  size_t length = wcslen(path);
  if (length >= SOURCE_TASK_PATH) length = SOURCE_TASK_PATH - 1;  // the caller checked; never overrun
  memcpy(workerTask.path, path, length * sizeof(wchar_t));
  workerTask.path[length] = 0;
  load(&workerTask, nullptr);
  workerTask.state = TASK_LOADED;
  return &workerTask;
}

void awaitSource(SourceTask* task) {
  if (task == &workerTask) return;
  EnterCriticalSection(&lock);
  waitLoaded(task);
  LeaveCriticalSection(&lock);
}

void releaseSource(SourceTask* task) {
  if (task != &workerTask) {
    EnterCriticalSection(&lock);
    if (task->state == TASK_QUEUED) unqueueTask(task);
    else if (task->state == TASK_LOADING) waitLoaded(task);
    LeaveCriticalSection(&lock);
  }
  if (task->file != INVALID_HANDLE_VALUE) CloseHandle(task->file);
  task->file = INVALID_HANDLE_VALUE;
  task->state = TASK_FREE;
}

void stopCompressThreads() {
  if (threadCount == 0) return;
  endFileChunks();
  for (int i = 0; i < SOURCE_MAX_TASKS; ++i)
    if (tasks[i].state != TASK_FREE) releaseSource(&tasks[i]);
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

void wipeCompressSlots() {
  SecureZeroMemory(slots, sizeof slots);
  for (SourceTask& task : tasks) SecureZeroMemory(&task.first, sizeof task.first);
}
