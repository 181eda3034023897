// The archive as the extractor takes it in: each entry's header, then the
// decoded blocks of its data area, read and inflated ahead on a thread of
// their own while the extractor creates and writes files (see
// entry_stream.cpp).
#pragma once
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "manager/archive/archive_format.h"
#include "manager/archive/block_codec.h"

enum EntryEventType {
  // The next header's bytes; size is below ARCHIVE_HEADER_SIZE where the
  // archive ends. After a header that is short or fails its check nothing
  // follows.
  EVENT_HEADER,
  EVENT_HEADER_FAILED,  // reading the next header failed; nothing follows
  // The next size decoded bytes of a file entry's data area (the first event
  // after its header when its stored length is above 0); remaining and
  // checksum are those of the data area after them.
  EVENT_BLOCK,
  // The data area could not be read or decoded (code: a BlockResult); the
  // rest of it has been passed over, unless skipFailed (then nothing
  // follows).
  EVENT_DATA_FAILED,
};

struct EntryEvent {
  int type;
  int code;
  bool skipFailed;
  size_t size;
  uint64_t remaining;
  uint32_t checksum;
  unsigned char bytes[ARCHIVE_CHUNK_SIZE];
};

// Where the archive comes from, read strictly forward: the reader of the
// container that holds it. Used by the reading thread alone
// while the stream is open.
class ArchiveSource : public ByteSource {
 public:
  // Moves forward over count bytes, or to the end when fewer remain; false
  // when that fails. Reads and drops them unless the source can do better.
  virtual bool skip(uint64_t count);

 protected:
  ~ArchiveSource() = default;
};

// Starts taking the archive apart (the source stays the caller's, in use
// until closeEntryStream). Without a thread to spare, the events are made
// one at a time in the calling thread.
void openEntryStream(ArchiveSource* archive);
// The next event, valid until the next call; waits while it is being made.
// Call it again only while the last event says more follows.
const EntryEvent* nextEntryEvent();
// Ends the reading thread and wipes every buffer (they held plaintext).
void closeEntryStream();
