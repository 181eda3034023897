// The archive inside a container: a flat sequence of entries, each a
// 2434-byte header (magic "PARC", signed-byte header checksum) and, for
// files, a data area of blocks (a 2-byte length and one zlib stream per
// 32 KiB chunk) covered by an unsigned-byte data checksum.
//
// Opening reads the whole archive once and checks everything the program
// checks before it restores: every header, name and block, every data
// checksum, and the archive's size; only the entries' places are kept. A
// file's bytes are read again, decrypted and inflated, when they are saved,
// and go straight on to where they are saved.
import { fail } from './errors.js';
import { le16, le32, le64, le64Big } from './bytes.js';
import { safeFolderComponents, isSafeEntryName } from './names.js';
import { decodeName } from './sjis.js';
import { inflateBlock } from './inflate.js';

const HEADER = 2434;
const BLOCK_BUFFER = 36864;
const RAW_CHUNK = 32768;
const AHEAD = 2; // pieces read and decrypted ahead of the one in use

// The decrypted archive read forward from any place, in pieces aligned on
// the container's piece size; while one piece is used, the next ones are
// already being read and decrypted. end bounds the reading ahead.
export class Forward {
  constructor(body, end = body.size) {
    this.body = body;
    this.end = end;
    this.pieces = new Map(); // index -> Promise<Uint8Array>
    this.index = -1;
    this.buf = new Uint8Array(0);
    this.base = 0;
    this.at = 0;
    this.spare = []; // buffers of pieces used up, for the pieces to come
  }
  get pos() {
    return this.base + this.at;
  }
  fetch(i) {
    let p = this.pieces.get(i);
    if (!p) {
      const piece = this.body.piece;
      p = this.body.read(i * piece, Math.min(piece, this.body.size - i * piece), this.spare.pop());
      p.catch(() => {});
      this.pieces.set(i, p);
    }
    return p;
  }
  async load(i) {
    const piece = this.body.piece;
    if (i * piece >= this.body.size) fail('damaged');
    for (const k of this.pieces.keys()) if (k < i || k > i + AHEAD) this.pieces.delete(k);
    const p = this.fetch(i);
    for (let k = i + 1; k <= i + AHEAD && k * piece < this.end; ++k) this.fetch(k);
    const used = this.buf;
    this.buf = await p;
    if (used.byteOffset === 0 && used.length === piece && this.spare.length < 2) this.spare.push(used);
    this.index = i;
    this.base = i * piece;
  }
  async seek(offset) {
    if (offset < this.base || offset > this.base + this.buf.length) await this.load(Math.floor(offset / this.body.piece));
    this.at = offset - this.base;
  }
  // The next count bytes when the piece holds them (a view, valid until the
  // next call), else null.
  takeNow(count) {
    if (this.at + count > this.buf.length) return null;
    this.at += count;
    return this.buf.subarray(this.at - count, this.at);
  }
  // The next count bytes: a view into the piece (valid until the next call)
  // or, across pieces, a copy.
  async take(count) {
    if (this.at + count <= this.buf.length) {
      this.at += count;
      return this.buf.subarray(this.at - count, this.at);
    }
    if (this.pos + count > this.body.size) fail('damaged');
    const out = new Uint8Array(count);
    for (let got = 0; got < count; ) {
      if (this.at === this.buf.length) {
        await this.load(this.index + 1);
        this.at = 0;
      }
      const n = Math.min(count - got, this.buf.length - this.at);
      out.set(this.buf.subarray(this.at, this.at + n), got);
      this.at += n;
      got += n;
    }
    return out;
  }
  // Reads (and so verifies) every piece up to the end.
  async drain() {
    const last = Math.ceil(this.body.size / this.body.piece) - 1;
    while (this.index < last) await this.load(this.index + 1);
  }
}

function headerChecksum(h) {
  let sum = 0;
  for (let i = 0; i < 2430; ++i) sum = (sum + ((h[i] << 24) >> 24)) | 0;
  return sum >>> 0;
}
const isValidHeader = (h) => le32(h, 0) === 0x43524150 && le32(h, 2430) === headerChecksum(h);

// The running data checksum with b's bytes added: four bytes a step where
// the bytes lie on a 4-byte boundary, summed in two 16-bit lanes.
function sumBytes(sum, b) {
  let s = sum;
  let i = 0;
  const head = Math.min(b.length, (4 - (b.byteOffset & 3)) & 3);
  for (; i < head; ++i) s += b[i];
  const words = new Uint32Array(b.buffer, b.byteOffset + i, (b.length - i) >> 2);
  for (let w = 0; w < words.length; ) {
    const end = Math.min(words.length, w + 128); // a 16-bit lane holds 128 steps of at most 2 * 255
    let lanes = 0;
    for (; w < end; ++w) {
      const v = words[w];
      lanes += (v & 0x00ff00ff) + ((v >>> 8) & 0x00ff00ff);
    }
    s += (lanes & 0xffff) + (lanes >>> 16);
  }
  for (i += words.length * 4; i < b.length; ++i) s += b[i];
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

// Walks a file's data area from the reader's place: each chunk's bytes go to
// onBytes in order (inflated; a view valid only during the call, which may
// return a promise to be waited for). Fails as damage when a block cannot be
// read or inflated, or, when checking, when a block's Adler-32 or the data
// checksum differs. Opening checks; a file read again from the same bytes
// (the browser refuses to read a file changed since it was picked) need not.
export async function walkData(forward, entry, onBytes, check = true) {
  let remaining = entry.stored;
  let sum = 0;
  while (remaining > 0) {
    let bytes;
    if (entry.compressed) {
      if (remaining < 2) fail('damaged');
      const prefix = forward.takeNow(2) ?? (await forward.take(2));
      const length = le16(prefix, 0);
      sum += prefix[0] + prefix[1];
      remaining -= 2;
      if (length > BLOCK_BUFFER || length > remaining) fail('damaged');
      const block = forward.takeNow(length) ?? (await forward.take(length));
      remaining -= length;
      if (check) sum = sumBytes(sum, block);
      bytes = inflateBlock(block, check);
      if (bytes === null) fail('damaged');
    } else {
      const n = Math.min(RAW_CHUNK, remaining);
      bytes = forward.takeNow(n) ?? (await forward.take(n));
      remaining -= n;
      if (check) sum = sumBytes(sum, bytes);
    }
    const wait = onBytes(bytes);
    if (wait) await wait;
  }
  if (check && sum !== entry.checksum) fail('damaged');
}

// Reads the archive through; the entries in archive order. A header that
// fails its check with a whole header's worth of archive left is damage; so
// is a data area cut short. The very first header failing means the wrong
// password in the first format, whose password check is two bytes only.
// onProgress(done, texts) hears of each header and block read.
export async function readArchive(body, onProgress = () => {}) {
  const forward = new Forward(body);
  await forward.seek(0);
  const entries = [];
  for (let first = true; body.size - forward.pos >= HEADER; first = false) {
    const h = (await forward.take(HEADER)).slice();
    if (!isValidHeader(h)) fail(first && body.format === 1 ? 'wrong-password' : 'damaged');
    const folderEntry = le32(h, 16) === 1;
    const texts = placeOf(h, folderEntry);
    onProgress(forward.pos, texts);
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
    await walkData(forward, entry, (b) => {
      entry.size += b.length;
      onProgress(forward.pos, texts);
    });
    entries.push(entry);
  }
  if (entries.length === 0) fail(body.format === 1 ? 'wrong-password' : 'damaged');
  await forward.drain();
  await body.finish();
  return entries;
}

export const filetimeToDate = (ft) => (ft === 0n ? null : new Date(Number(ft / 10000n) - 11644473600000));
