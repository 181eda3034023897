// The archive inside a container: a flat sequence of entries, each a
// 2434-byte header (magic "PARC", signed-byte header checksum) and, for
// files, a data area of blocks (a 2-byte length and one zlib stream per
// 32 KiB chunk) covered by an unsigned-byte data checksum.
//
// Opening reads the headers alone and checks them as the program does
// before it restores: each header's checksum, names and sizes, and the
// archive's size; the data areas between them are skipped, undecrypted.
// A file's data is decrypted, inflated and checked (every block's Adler-32,
// the data checksum) once, while it is saved, and a file that fails is
// never handed out whole: the save stops with damage, and what was written
// of that file is dropped.
import { fail } from './errors.js';
import { le16, le32, le64, le64Big } from './bytes.js';
import { safeFolderComponents, isSafeEntryName } from './names.js';
import { decodeName } from './sjis.js';
import { inflateBlock } from './inflate.js';
import { Plain, Windows } from './plain.js';

const HEADER = 2434;
const BLOCK_BUFFER = 36864;
const RAW_CHUNK = 32768;

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

// Walks a file's data area from the reader's place into out, which gives
// room (a view of at least ROOM bytes, or null when out.wait() must be
// waited for first) and takes the bytes put there with commit(n) (which may
// return a promise to wait for). Each block is inflated straight into the
// room. Fails as damage when a block cannot be read or inflated, when a
// block's Adler-32 differs, or when the data checksum does.
export async function walkData(plain, entry, out) {
  let remaining = entry.stored;
  let sum = 0;
  while (remaining > 0) {
    const room = out.room() ?? (await out.wait());
    let n;
    if (entry.compressed) {
      if (remaining < 2) fail('damaged');
      const prefix = plain.takeNow(2) ?? (await plain.take(2));
      const length = le16(prefix, 0);
      sum += prefix[0] + prefix[1];
      remaining -= 2;
      if (length > BLOCK_BUFFER || length > remaining) fail('damaged');
      const block = plain.takeNow(length) ?? (await plain.take(length));
      remaining -= length;
      sum = sumBytes(sum, block);
      n = inflateBlock(block, room);
      if (n < 0) fail('damaged');
    } else {
      n = Math.min(RAW_CHUNK, remaining);
      const bytes = plain.takeNow(n) ?? (await plain.take(n));
      remaining -= n;
      sum = sumBytes(sum, bytes);
      room.set(bytes);
    }
    const wait = out.commit(n);
    if (wait) await wait;
  }
  if (sum !== entry.checksum) fail('damaged');
}

// Reads the headers through, skipping the data areas; the entries in
// archive order. A header that fails its check with a whole header's worth
// of archive left is damage; so is a data area that runs past the end. The
// very first header failing means the wrong password in the first format,
// whose password check is two bytes only. onProgress(done, texts) hears of
// each header.
export async function readArchive(body, onProgress = () => {}) {
  const windows = new Windows(body);
  const plain = new Plain(windows, body);
  const entries = [];
  const h = new Uint8Array(HEADER);
  let pos = 0;
  for (let first = true; body.size - pos >= HEADER; first = false) {
    await plain.seek(pos);
    h.set(await plain.take(HEADER));
    pos += HEADER;
    if (!isValidHeader(h)) fail(first && body.format === 1 ? 'wrong-password' : 'damaged');
    const folderEntry = le32(h, 16) === 1;
    const texts = placeOf(h, folderEntry);
    onProgress(pos, texts);
    if (folderEntry) {
      entries.push({ texts, folder: true });
      continue;
    }
    const stored = le64(h, 20);
    if (stored > body.size - pos) fail('damaged');
    const compressed = le32(h, 2362) !== 0;
    // The size the packer found before packing: the listing's and the
    // progress's; what is saved is what the data gives.
    const span = le64(h, 8);
    entries.push({
      texts,
      folder: false,
      offset: pos,
      stored,
      compressed,
      checksum: le32(h, 2426),
      times: { created: le64Big(h, 28), accessed: le64Big(h, 36), written: le64Big(h, 44) },
      size: compressed ? Math.max(0, span - HEADER) : stored,
    });
    pos += stored;
  }
  if (entries.length === 0) fail(body.format === 1 ? 'wrong-password' : 'damaged');
  // The last chunk of the second format carries the flag that marks the
  // end: it is verified even where no header lies in it.
  if (body.format === 2) await windows.window(body.windows - 1);
  return entries;
}

export const filetimeToDate = (ft) => (ft === 0n ? null : new Date(Number(ft / 10000n) - 11644473600000));
