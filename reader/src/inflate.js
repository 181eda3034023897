// One block's zlib stream (RFC 1950), inflated by fflate into one buffer that
// every block shares. fflate does not check the stream's Adler-32, which zlib
// (and so the program) does; that check is made here.
import { unzlibSync } from 'fflate';

const CHUNK = 32768;
// One byte more than a block may give: a stream that fills it is too long.
const out = new Uint8Array(CHUNK + 1);

function adler32(b) {
  let a = 1;
  let s = 0;
  for (let i = 0; i < b.length; ) {
    const end = Math.min(b.length, i + 5552); // no overflow of s before the modulo
    for (; i < end; ++i) {
      a += b[i];
      s += a;
    }
    a %= 65521;
    s %= 65521;
  }
  return ((s << 16) | a) >>> 0;
}

// The block's bytes (a view of the shared buffer, valid until the next
// call), or null when the stream is damaged or would inflate to more than
// one chunk (32768 bytes), which no packer writes; with check, also when
// its Adler-32 differs.
export function inflateBlock(bytes, check = true) {
  let plain;
  try {
    plain = unzlibSync(bytes, { out });
  } catch {
    return null;
  }
  if (plain.length > CHUNK || bytes.length < 6) return null;
  const n = bytes.length;
  const stored = ((bytes[n - 4] << 24) | (bytes[n - 3] << 16) | (bytes[n - 2] << 8) | bytes[n - 1]) >>> 0;
  return !check || adler32(plain) === stored ? plain : null;
}
