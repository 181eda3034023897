// The extractor's view of the archive, read ahead.
//
// Design. Extracting many small files spends most of its time creating
// them, and a large one inflating it; a reading thread does the second while
// the worker does the first. The reader reads the archive strictly forward,
// as the extractor would: a header, and unless it ends the archive, the data
// area it announces, block by block, each block inflated and counted in the
// data checksum. Every step becomes an event in a ring of slots; the worker
// takes the events in order and does everything else (checks, folders,
// files, progress, the stop request) exactly as if it had read the archive
// itself.
//
//   reader thread: header / block / failure -> [slot] -> ring
//   worker thread: ring -> checks, create, write, set times, close
//
// The reader cannot know which entries the worker will pass over (a name it
// refuses, a target it may not replace), so it decodes every data area; the
// worker then drops its events. A data area that fails is passed over by its
// stored length, where a worker reading for itself would have landed too.
// The reader stops after the last event of the archive (a short or failing
// header, a failed read of one, a data area whose rest cannot be passed
// over), so it never reads where the worker would not.
//
// Memory is fixed: EVENT_SLOTS static slots of one chunk each, the read-ahead
// buffer of the archive and one block's read and inflate buffers. One
// critical section guards the ring; two condition variables carry the
// wake-ups (an event made, a slot free).
#include "manager/archive/entry_stream.h"

#include <windows.h>
#include <string.h>

#include "manager/archive/block_codec.h"

namespace {

enum { EVENT_SLOTS = 16, THREAD_STACK = 64 * 1024 };

EntryEvent slots[EVENT_SLOTS];
unsigned char readBuffer[ARCHIVE_BLOCK_BUFFER];
unsigned char inflateBuffer[ARCHIVE_BLOCK_BUFFER];
unsigned char archiveBuffer[256 * 1024];  // the archive is read in pieces this large

// The archive, read forward through one buffer: many entries take a few
// hundred bytes each, so the source is read in large pieces.
class BufferedSource final : public ByteSource {
 public:
  void reset(ArchiveSource* archive) {
    archive_ = archive;
    begin_ = end_ = 0;
    failed_ = false;
  }
  bool read(void* buffer, size_t size, size_t* got) override {
    unsigned char* out = static_cast<unsigned char*>(buffer);
    *got = 0;
    while (*got < size) {
      if (begin_ == end_ && !fill()) return *got > 0 || !failed_;
      size_t n = end_ - begin_ < size - *got ? end_ - begin_ : size - *got;
      memcpy(out + *got, archiveBuffer + begin_, n);
      begin_ += n;
      *got += n;
    }
    return true;
  }
  // Moves forward over count bytes, or to the end of the archive when fewer
  // remain. false when that fails.
  bool skip(uint64_t count) {
    size_t buffered = end_ - begin_;
    if (count <= buffered) {
      begin_ += static_cast<size_t>(count);
      return true;
    }
    begin_ = end_ = 0;
    return archive_->skip(count - buffered);
  }

 private:
  // false at the end of the archive or on a failed read (failed_ set).
  bool fill() {
    size_t n = 0;
    if (!archive_->read(archiveBuffer, sizeof archiveBuffer, &n)) failed_ = true;
    begin_ = 0;
    end_ = failed_ ? 0 : n;
    return end_ > 0;
  }
  ArchiveSource* archive_ = nullptr;
  size_t begin_ = 0, end_ = 0;
  bool failed_ = false;
};

// Where the reader is in the archive.
BufferedSource source;
EntryDataReader area;  // the data area being decoded
bool inArea = false;
bool finished = false;  // the last event is made

// Makes the next event.
void makeEvent(EntryEvent* event) {
  event->code = 0;
  event->skipFailed = false;
  event->size = 0;
  if (finished) {  // asked past the end: nothing more can be read
    event->type = EVENT_HEADER_FAILED;
    return;
  }
  if (!inArea) {
    event->type = EVENT_HEADER;
    size_t got = 0;
    while (got < ARCHIVE_HEADER_SIZE) {
      size_t n = 0;
      if (!source.read(event->bytes + got, ARCHIVE_HEADER_SIZE - got, &n)) {
        event->type = EVENT_HEADER_FAILED;
        finished = true;
        return;
      }
      if (n == 0) break;
      got += n;
    }
    event->size = got;
    if (got < ARCHIVE_HEADER_SIZE || !isValidArchiveHeader(event->bytes)) {
      finished = true;
      return;
    }
    ArchiveEntryHeader header;
    decodeArchiveHeader(event->bytes, &header);
    // A folder entry has no data area, whatever its stored length says.
    if (header.folderFlag != 1 && header.storedLength > 0) {
      startEntryData(&area, header.storedLength, header.compressedFlag != 0);
      inArea = true;
    }
    return;
  }
  const unsigned char* data = nullptr;
  int result = readEntryData(&source, &area, readBuffer, inflateBuffer, &data, &event->size);
  if (result != BLOCK_OK) {
    event->type = EVENT_DATA_FAILED;
    event->code = result;
    event->size = 0;
    event->skipFailed = !source.skip(area.remaining);
    finished = event->skipFailed;
    inArea = false;
    return;
  }
  event->type = EVENT_BLOCK;
  memcpy(event->bytes, data, event->size);
  event->remaining = area.remaining;
  event->checksum = area.checksum;
  inArea = area.remaining > 0;
}

// The reading thread and the ring it shares with the worker; the lock
// guards everything below it.
HANDLE reader = nullptr;
CRITICAL_SECTION lock;
CONDITION_VARIABLE eventMade = CONDITION_VARIABLE_INIT;
CONDITION_VARIABLE slotFreed = CONDITION_VARIABLE_INIT;
unsigned head = 0, made = 0;  // the oldest event not yet given back, and how many are made
bool holding = false;         // the worker holds the event at head
bool readerDone = false;      // the reader made its last event
bool quitting = false;

DWORD WINAPI readAhead(void*) {
  EnterCriticalSection(&lock);
  while (!quitting && !finished) {
    if (made == EVENT_SLOTS) {
      SleepConditionVariableCS(&slotFreed, &lock, INFINITE);
      continue;
    }
    EntryEvent* event = &slots[(head + made) % EVENT_SLOTS];
    LeaveCriticalSection(&lock);
    makeEvent(event);
    EnterCriticalSection(&lock);
    ++made;
    WakeConditionVariable(&eventMade);
  }
  readerDone = true;
  WakeConditionVariable(&eventMade);
  LeaveCriticalSection(&lock);
  return 0;
}

}  // namespace

bool ArchiveSource::skip(uint64_t count) {
  unsigned char dropped[4096];
  while (count > 0) {
    size_t want = count < sizeof dropped ? static_cast<size_t>(count) : sizeof dropped, got = 0;
    if (!read(dropped, want, &got)) return false;
    if (got < want) break;
    count -= got;
  }
  SecureZeroMemory(dropped, sizeof dropped);
  return true;
}

void openEntryStream(ArchiveSource* archive) {
  source.reset(archive);
  inArea = finished = false;
  head = made = 0;
  holding = readerDone = quitting = false;
  InitializeCriticalSection(&lock);
  reader = CreateThread(nullptr, THREAD_STACK, readAhead, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (!reader) DeleteCriticalSection(&lock);
}

const EntryEvent* nextEntryEvent() {
  if (!reader) {
    makeEvent(&slots[0]);
    return &slots[0];
  }
  EnterCriticalSection(&lock);
  if (holding) {
    head = (head + 1) % EVENT_SLOTS;
    --made;
    holding = false;
    WakeConditionVariable(&slotFreed);
  }
  while (made == 0 && !readerDone) SleepConditionVariableCS(&eventMade, &lock, INFINITE);
  EntryEvent* event = &slots[head];
  if (made == 0) {  // asked past the last event
    event->type = EVENT_HEADER_FAILED;
    event->size = 0;
  } else {
    holding = true;
  }
  LeaveCriticalSection(&lock);
  return event;
}

void closeEntryStream() {
  if (reader) {
    EnterCriticalSection(&lock);
    quitting = true;
    WakeConditionVariable(&slotFreed);
    LeaveCriticalSection(&lock);
    WaitForSingleObject(reader, INFINITE);
    CloseHandle(reader);
    reader = nullptr;
    DeleteCriticalSection(&lock);
  }
  SecureZeroMemory(slots, sizeof slots);
  SecureZeroMemory(readBuffer, sizeof readBuffer);
  SecureZeroMemory(inflateBuffer, sizeof inflateBuffer);
  SecureZeroMemory(archiveBuffer, sizeof archiveBuffer);
  SecureZeroMemory(&area, sizeof area);
  source.reset(nullptr);
}
