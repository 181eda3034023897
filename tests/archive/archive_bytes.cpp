#include "archive/archive_bytes.h"

#include <libdeflate.h>
#include <string.h>
#include <zlib.h>

namespace {
void put(std::string& s, size_t at, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) s[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}
uint64_t get(const std::string& s, size_t at, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}
std::string cField(const std::string& s, size_t at, size_t size) {
  std::string field = s.substr(at, size);
  size_t nul = field.find('\0');
  return nul == std::string::npos ? field : field.substr(0, nul);
}
}  // namespace

uint32_t signedSum(const std::string& bytes, size_t count) {
  uint32_t sum = 0;
  for (size_t i = 0; i < count; ++i) sum += static_cast<uint32_t>(static_cast<int>(static_cast<signed char>(bytes[i])));
  return sum;
}

uint32_t unsignedSum(const std::string& bytes) {
  uint32_t sum = 0;
  for (unsigned char c : bytes) sum += c;
  return sum;
}

std::string rawHeader(const RawEntry& e) {
  std::string h(2434, '\0');
  put(h, 0, e.magic, 4);
  put(h, 4, e.formatTag, 4);
  put(h, 8, e.entrySpan, 8);
  put(h, 16, e.folderFlag, 4);
  put(h, 20, e.storedLength, 8);
  put(h, 28, e.creationTime, 8);
  put(h, 36, e.lastAccessTime, 8);
  put(h, 44, e.lastWriteTime, 8);
  memcpy(&h[52], e.name.data(), e.name.size() < 261 ? e.name.size() : 261);
  memcpy(&h[313], e.folderPath.data(), e.folderPath.size() < 2049 ? e.folderPath.size() : 2049);
  put(h, 2362, e.compressedFlag, 4);
  put(h, 2366, e.nameEncoding, 1);
  put(h, 2426, e.dataChecksum, 4);
  if (e.sealed) put(h, 2430, signedSum(h, 2430), 4);
  return h;
}

std::string zlibStream(const std::string& data, int level, Deflater deflater) {
  if (deflater == Deflater::LIBDEFLATE) {
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
    std::string out(libdeflate_zlib_compress_bound(compressor, data.size()), '\0');
    out.resize(libdeflate_zlib_compress(compressor, data.data(), data.size(), &out[0], out.size()));
    libdeflate_free_compressor(compressor);
    return out;
  }
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(data.data()),
            static_cast<uLong>(data.size()), level);
  out.resize(size);
  return out;
}

std::string block(const std::string& stream) {
  std::string b(2, '\0');
  put(b, 0, stream.size(), 2);
  return b + stream;
}

std::string blocksOf(const std::string& data, Deflater deflater) {
  std::string out;
  for (size_t at = 0; at < data.size(); at += 32768) out += block(zlibStream(data.substr(at, 32768), 6, deflater));
  return out;
}

std::string fileEntry(const std::string& name, const std::string& folderPath, const std::string& data,
                      EntryTimes times, uint8_t nameEncoding, Deflater deflater) {
  std::string area = blocksOf(data, deflater);
  RawEntry e;
  e.formatTag = 0x00020001;
  e.entrySpan = data.size() + 2434;
  e.storedLength = area.size();
  e.creationTime = times.creation;
  e.lastAccessTime = times.lastAccess;
  e.lastWriteTime = times.lastWrite;
  e.name = name;
  e.folderPath = folderPath;
  e.compressedFlag = 1;
  e.nameEncoding = nameEncoding;
  e.dataChecksum = unsignedSum(area);
  return rawHeader(e) + area;
}

std::string folderEntry(const std::string& name, const std::string& folderPath, uint8_t nameEncoding) {
  RawEntry e;
  e.folderFlag = 1;
  e.nameEncoding = nameEncoding;
  e.name = name;
  e.folderPath = folderPath;
  return rawHeader(e);
}

std::vector<ReadEntry> readArchiveBytes(const std::string& a) {
  std::vector<ReadEntry> out;
  size_t at = 0;
  while (at + 2434 <= a.size()) {
    std::string h = a.substr(at, 2434);
    if (get(h, 0, 4) != 0x43524150u || get(h, 2430, 4) != signedSum(h, 2430)) break;
    ReadEntry e;
    e.formatTag = static_cast<uint32_t>(get(h, 4, 4));
    e.entrySpan = get(h, 8, 8);
    e.folderFlag = static_cast<uint32_t>(get(h, 16, 4));
    e.storedLength = get(h, 20, 8);
    e.creationTime = get(h, 28, 8);
    e.lastAccessTime = get(h, 36, 8);
    e.lastWriteTime = get(h, 44, 8);
    e.name = cField(h, 52, 261);
    e.folderPath = cField(h, 313, 2049);
    e.compressedFlag = static_cast<uint32_t>(get(h, 2362, 4));
    e.nameEncoding = static_cast<uint8_t>(h[2366]);
    e.reservedZero = h.substr(2367, 59) == std::string(59, '\0');
    at += 2434;
    if (e.folderFlag == 1) {
      e.dataChecksumOk = true;
      out.push_back(e);
      continue;
    }
    std::string area = a.substr(at, e.storedLength);
    at += e.storedLength;
    e.dataChecksumOk = unsignedSum(area) == static_cast<uint32_t>(get(h, 2426, 4));
    size_t p = 0;
    while (e.compressedFlag == 1 && p + 2 <= area.size()) {
      size_t n = static_cast<size_t>(get(area, p, 2));
      e.blockSizes.push_back(n);
      std::string chunk(32768, '\0');
      uLongf size = 32768;
      if (uncompress(reinterpret_cast<Bytef*>(&chunk[0]), &size, reinterpret_cast<const Bytef*>(area.data() + p + 2),
                     static_cast<uLong>(n)) != Z_OK) {
        size = 0;
        e.data += "<a block uncompress refused>";
      }
      e.data.append(chunk.data(), size);
      p += 2 + n;
    }
    if (e.compressedFlag == 0) e.data = area;
    out.push_back(e);
  }
  return out;
}

std::vector<std::string> entrySequence(const std::vector<ReadEntry>& entries) {
  std::vector<std::string> out;
  for (const ReadEntry& e : entries) out.push_back((e.folderFlag == 1 ? "D:" : "F:") + e.folderPath + "|" + e.name);
  return out;
}
