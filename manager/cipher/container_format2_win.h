// Containers of the second format on files: an archive file to a container
// file and back, streamed through two 64 KiB buffers, with the caller's
// progress and stop request (see container_format2.h for the layout and the codes).
// Paths are UTF-16. Every file is opened shared for reading, writing and
// deletion, so that the caller may hold its intermediate files open (for
// example with FILE_FLAG_DELETE_ON_CLOSE); a destination is created, or
// truncated when it exists.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "common/progress.h"
#include "manager/cipher/container_format2.h"

// Writes the container of the archive file. Status line "書庫を暗号化中です",
// progress over the archive's bytes, stop polled while the keys are derived
// and after every chunk.
//   0    done
//   97   the archive can't be opened or its size read (an empty archive is
//        fine: its container is the header and one empty last chunk)
//   201  reading the archive failed, or it ended before the size measured
//        when it was opened
//   203  the container can't be created
//   205  no memory for the buffers or the cipher
//   207  a write failed (a full disk too)
//   209  no password, or one longer than 1025 bytes (nothing is opened)
//   211  the system's random generator gave no salt (nothing is written)
//   299  stopped by the user
// Nothing is created before the salt is drawn; once the container was
// created, any failure cuts it back to zero bytes (the file itself stays, for
// the caller to delete as before).
Format2Result encryptArchiveFormat2(const wchar_t* archivePath, const wchar_t* containerPath, const char* password,
                          const Progress& progress);

// Writes the archive held in a container. The header's fields are checked
// first, then its MAC under the keys of the password; only then is the
// archive file created, and each chunk is written only after its tag matched.
// Status line "書庫を復号中です", progress over the archive's bytes, stop
// polled while the keys are derived and after every chunk.
//   0    done: the archive is complete and every chunk was verified
//   80   the header's MAC differs: a wrong password, or a changed salt,
//        iteration count or archive size (the two can't be told apart)
//   81   damaged: no magic, a header shorter than 84 bytes or with a field
//        no writer makes (derivation, iterations out of range, chunk size);
//        or, in the body, a chunk whose tag fails (changed, removed or
//        reordered chunks), a body that ends before its last chunk, or bytes
//        after the last chunk
//   201  the container can't be opened, or a read failed
//   203  the archive file can't be created
//   205  no memory for the buffers or the cipher
//   207  a write failed (a full disk too)
//   209  no password, or one longer than 1025 bytes (nothing is opened)
//   299  stopped by the user
// The archive file is left untouched (not even created) by a failure up to
// the MAC check (209, 201 at the header, 81 at the header, 299 while the keys
// are derived, 80, 205); after it was created, any failure cuts it back to
// zero bytes, so no unverified or partial archive is ever left for the
// extractor. The caller deletes its intermediate files as before.
Format2Result decryptArchiveFormat2(const wchar_t* containerPath, const wchar_t* archivePath, const char* password,
                          const Progress& progress);

// True when the file begins with the magic of the second format; false when
// it does not, or can't be opened or read. Anything else is read as the first
// format.
bool isFormat2Container(const wchar_t* containerPath);

// What new containers take from the system: the iteration count and the salt
// source. Only tests replace them, to get a fixed salt or a count that is
// quicker to derive (readers still refuse fewer than 100,000 iterations).
struct Format2WriterSettings {
  uint32_t iterations;
  bool (*fillSalt)(unsigned char* salt, size_t size);  // false: the generator failed
};
// Replaces the settings; null restores the defaults (600,000 iterations, the
// system's strong generator).
void setFormat2WriterSettings(const Format2WriterSettings* settings);
// The settings in force.
const Format2WriterSettings& format2WriterSettings();
