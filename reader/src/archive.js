// The archive inside a container: a flat sequence of entries, each a
// 2434-byte header (magic "PARC", signed-byte header checksum) and, for
// files, a data area of blocks (a 2-byte length and one zlib stream per
// 32 KiB chunk) covered by an unsigned-byte data checksum.
//
// Opening reads the whole archive once and checks everything the program
// checks before it restores: every header, name and block, every data
// checksum, and the archive's size; only the entries' places are kept. A
// file's bytes are read again, decrypted and inflated, when they are asked
// for, so the plaintext is never held beyond the file being saved.
import { fail } from './errors.js';
import { le16, le32, le64, le64Big } from './bytes.js';
import { safeFolderComponents, isSafeEntryName } from './names.js';
import { decodeName } from './sjis.js';
import { inflateBlock } from './inflate.js';
import { Crc32 } from './crc32.js';

const HEADER = 2434;
const BLOCK_BUFFER = 36864;
const RAW_CHUNK = 32768;
const IN_FLIGHT = 32; // blocks being inflated at once

// Reads a range of the decrypted archive forward, a large piece at a time.
class Forward {
  constructor(body, offset, end, onPiece) {
    this.body = body;
    this.onPiece = onPiece;
    this.pos = offset; // archive offset of the next byte handed out
    this.end = end;
    this.buf = new Uint8Array(0);
    this.at = 0;
  }
  async take(count) {
    if (this.at + count <= this.buf.length) {
      const out = this.buf.subarray(this.at, this.at + count);
      this.at += count;
      this.pos += count;
      return out;
    }
    const out = new Uint8Array(count);
    let got = 0;
    while (got < count) {
      if (this.at === this.buf.length) {
        const from = this.pos + got;
        const length = Math.min(this.body.piece, this.end - from);
        if (length <= 0) fail('damaged');
        if (this.onPiece) this.onPiece(from / this.end);
        this.buf = await this.body.read(from, length);
        this.at = 0;
      }
      const n = Math.min(count - got, this.buf.length - this.at);
      out.set(this.buf.subarray(this.at, this.at + n), got);
      this.at += n;
      got += n;
    }
    this.pos += count;
    return out;
  }
  // Reads (and so verifies) everything up to the end.
  async drain() {
    while (this.pos < this.end) await this.take(Math.min(this.body.piece, this.end - this.pos));
  }
}

function headerChecksum(h) {
  let sum = 0;
  for (let i = 0; i < 2430; ++i) sum = (sum + ((h[i] << 24) >> 24)) | 0;
  return sum >>> 0;
}
const isValidHeader = (h) => le32(h, 0) === 0x43524150 && le32(h, 2430) === headerChecksum(h);

function sumBytes(sum, b) {
  let s = sum;
  for (let i = 0; i < b.length; ++i) s += b[i];
  return s >>> 0;
}

// A text field up to its terminator; a field without one is no name.
function field(h, at, size) {
  const b = h.subarray(at, at + size);
  const end = b.indexOf(0);
  return end < 0 ? null : b.subarray(0, end);
}

const printable = (b, utf8) =>
  decodeName(b, utf8) ?? Array.from(b, (c) => (c >= 0x20 && c < 0x7f ? String.fromCharCode(c) : `\\x${c.toString(16).padStart(2, '0')}`)).join('');

// The entry's place: its folder components and name, checked and decoded.
function placeOf(h, folderEntry) {
  const encoding = h[2366];
  if (encoding > 1) fail('damaged');
  const utf8 = encoding === 1;
  const name = field(h, 52, 261);
  const folder = field(h, 313, 2049);
  if (name === null || folder === null) fail('damaged');
  const parts = safeFolderComponents(folder, utf8);
  const shown = () => [...(parts ?? [folder]), name].filter((p) => p.length).map((p) => printable(p, utf8)).join('\\');
  if (parts === null || !isSafeEntryName(name, folderEntry, utf8)) fail('unsafe-name', shown());
  const texts = [...parts, name].filter((p) => p.length).map((p) => decodeName(p, utf8));
  if (texts.some((t) => t === null)) fail('unsafe-name', shown());
  return texts;
}

// Blocks being inflated, in order: at most IN_FLIGHT at once, each one's
// bytes handed to its consumer as it settles. The opening pass shares one
// queue across entries, so that many small files inflate side by side.
class Inflating {
  constructor() {
    this.pending = [];
  }
  async push(block, onBytes) {
    this.pending.push({ out: inflateBlock(block), onBytes });
    if (this.pending.length >= IN_FLIGHT) await this.settleOne();
  }
  async settleOne() {
    const { out, onBytes } = this.pending.shift();
    const bytes = await out;
    if (bytes === null) fail('damaged');
    onBytes(bytes);
  }
  async settle() {
    while (this.pending.length) await this.settleOne();
  }
}

// Walks a data area: each block's bytes go to onBytes in order (inflated).
// Fails as damage when a block cannot be read or inflated, or when the data
// checksum differs (which needs no inflating: it covers the stored bytes).
async function walkData(forward, stored, compressed, checksum, onBytes, inflating) {
  let remaining = stored;
  let sum = 0;
  while (remaining > 0) {
    if (!compressed) {
      const raw = await forward.take(Math.min(RAW_CHUNK, remaining));
      remaining -= raw.length;
      sum = sumBytes(sum, raw);
      await inflating.settle();
      onBytes(raw);
      continue;
    }
    if (remaining < 2) fail('damaged');
    const prefix = await forward.take(2);
    const length = le16(prefix, 0);
    remaining -= 2;
    if (length > BLOCK_BUFFER || length > remaining) fail('damaged');
    const block = (await forward.take(length)).slice();
    remaining -= length;
    sum = sumBytes(sumBytes(sum, prefix), block);
    await inflating.push(block, onBytes);
  }
  if (sum !== checksum) fail('damaged');
}

const filetimeToDate = (ft) => (ft === 0n ? null : new Date(Number(ft / 10000n) - 11644473600000));

// Reads the archive through; the entries in archive order. A header that
// fails its check with a whole header's worth of archive left is damage; so
// is a data area cut short. The very first header failing means the wrong
// password in the first format, whose password check is two bytes only.
export async function readArchive(body, onProgress) {
  const forward = new Forward(body, 0, body.size, onProgress);
  const entries = [];
  const inflating = new Inflating();
  for (let first = true; body.size - forward.pos >= HEADER; first = false) {
    const h = (await forward.take(HEADER)).slice();
    if (!isValidHeader(h)) fail(first && body.format === 1 ? 'wrong-password' : 'damaged');
    const folderEntry = le32(h, 16) === 1;
    const texts = placeOf(h, folderEntry);
    if (folderEntry) {
      entries.push({ texts, folder: true });
      continue;
    }
    const stored = le64(h, 20);
    if (stored > body.size - forward.pos) fail('damaged');
    const entry = {
      texts,
      folder: false,
      offset: forward.pos,
      stored,
      compressed: le32(h, 2362) !== 0,
      checksum: le32(h, 2426),
      times: { created: le64Big(h, 28), accessed: le64Big(h, 36), written: le64Big(h, 44) },
      size: 0,
    };
    await walkData(forward, stored, entry.compressed, entry.checksum, (b) => {
      entry.size += b.length;
    }, inflating);
    entries.push(entry);
  }
  await inflating.settle();
  if (entries.length === 0) fail(body.format === 1 ? 'wrong-password' : 'damaged');
  await forward.drain();
  await body.finish();
  return entries;
}

// A file's bytes, read again from the result and checked again: as parts
// in order, each a Uint8Array (a file of up to GROUP bytes is one) or, for
// larger files, Blobs of GROUP bytes each, so that its plaintext is handed
// to the browser's blob store as it comes rather than held. Every Blob made
// costs a trip to the browser's process: small files stay arrays.
const GROUP = 8 << 20;

export async function entryParts(body, entry) {
  const forward = new Forward(body, entry.offset, entry.offset + entry.stored);
  const crc = new Crc32();
  const parts = [];
  let buf = new Uint8Array(Math.min(entry.size, GROUP));
  let used = 0;
  let size = 0;
  const inflating = new Inflating();
  await walkData(forward, entry.stored, entry.compressed, entry.checksum, (b) => {
    crc.update(b);
    size += b.length;
    if (size > entry.size) fail('damaged');
    for (let at = 0; at < b.length; ) {
      const n = Math.min(b.length - at, buf.length - used);
      buf.set(b.subarray(at, at + n), used);
      used += n;
      at += n;
      if (used === buf.length && size < entry.size) {
        parts.push(new Blob([buf]));
        buf = new Uint8Array(Math.min(entry.size - size, GROUP));
        used = 0;
      }
    }
  }, inflating);
  await inflating.settle();
  if (size !== entry.size) fail('damaged');
  if (buf.length) parts.push(parts.length ? new Blob([buf]) : buf);
  entry.crc = crc.value();
  return parts;
}

export { filetimeToDate };
