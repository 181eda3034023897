#include "manager/archive/program_image.h"

#include "common/le_bytes.h"

namespace {

enum {
  kNewHeaderAt = 0x3C,     // the offset of the "PE" signature, in the DOS header
  kFileHeaderSize = 20,    // after the 4-byte signature
  kSectionHeaderSize = 40,
  kSymbolSize = 18,
  kCertificateDirectory = 4,
};

void raise(uint64_t* end, uint64_t to) {
  if (to > *end) *end = to;
}

}  // namespace

bool readProgramImageLayout(const unsigned char* head, size_t headLength, ProgramImageLayout* layout) {
  if (headLength < 64 || head[0] != 'M' || head[1] != 'Z') return false;
  uint64_t pe = getLe32(head + kNewHeaderAt);
  if (pe + 4 + kFileHeaderSize > headLength || getLe32(head + pe) != 0x00004550u) return false;
  const unsigned char* file = head + pe + 4;
  unsigned sections = getLe16(file + 2);
  uint64_t symbols = getLe32(file + 8), symbolCount = getLe32(file + 12);
  unsigned optionalSize = getLe16(file + 16);
  uint64_t optional = pe + 4 + kFileHeaderSize;
  uint64_t sectionTable = optional + optionalSize;
  if (optionalSize < 64 || sectionTable + uint64_t{sections} * kSectionHeaderSize > headLength) return false;

  // PE32 and PE32+ differ in where the data directories begin.
  const unsigned char* opt = head + optional;
  unsigned magic = getLe16(opt);
  unsigned directoryCountAt = magic == 0x10b ? 92 : magic == 0x20b ? 108 : 0;
  if (directoryCountAt == 0) return false;
  uint64_t end = getLe32(opt + 60);  // SizeOfHeaders
  unsigned certificateAt = directoryCountAt + 4 + kCertificateDirectory * 8;
  if (certificateAt + 8 <= optionalSize && getLe32(opt + directoryCountAt) > kCertificateDirectory) {
    // The one directory that gives a file offset, not an address.
    uint64_t offset = getLe32(opt + certificateAt), size = getLe32(opt + certificateAt + 4);
    if (size > 0) raise(&end, offset + size);
  }
  for (unsigned i = 0; i < sections; ++i) {
    const unsigned char* s = head + sectionTable + uint64_t{i} * kSectionHeaderSize;
    uint64_t rawSize = getLe32(s + 16), rawAt = getLe32(s + 20);
    if (rawSize > 0) raise(&end, rawAt + rawSize);
  }
  layout->end = end;
  layout->stringTableAt = symbols == 0 ? 0 : symbols + symbolCount * kSymbolSize;
  return true;
}

uint64_t programImageEnd(const ProgramImageLayout& layout, const unsigned char* stringTableLength) {
  uint64_t end = layout.end;
  if (layout.stringTableAt != 0) {
    // The length counts its own 4 bytes; a table cut before them still
    // reaches past them.
    uint64_t length = stringTableLength ? getLe32(stringTableLength) : 0;
    raise(&end, layout.stringTableAt + (length < 4 ? 4 : length));
  }
  return end;
}
