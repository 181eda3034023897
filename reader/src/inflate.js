// One block's zlib stream (RFC 1950), inflated by fflate into the room the
// caller gives. fflate does not check the stream's Adler-32, which zlib (and
// so the program) does; that check is made here.
import { unzlibSync } from 'fflate';

const CHUNK = 32768;
// The room a block is inflated into: one byte more than a block may give,
// so that a stream that fills it is known to be too long.
export const ROOM = CHUNK + 1;

// Sixteen bytes a step: the sum of sums grows by sixteen times the running
// sum and by each byte as often as it is counted in the sums that follow.
function adler32(b) {
  let a = 1;
  let s = 0;
  const n = b.length;
  for (let i = 0; i < n; ) {
    const end = Math.min(n, i + 5552); // no overflow of s before the modulo
    for (const steps = i + ((end - i) & ~15); i < steps; i += 16) {
      s += a * 16 + 16 * b[i] + 15 * b[i + 1] + 14 * b[i + 2] + 13 * b[i + 3] + 12 * b[i + 4] + 11 * b[i + 5] +
        10 * b[i + 6] + 9 * b[i + 7] + 8 * b[i + 8] + 7 * b[i + 9] + 6 * b[i + 10] + 5 * b[i + 11] + 4 * b[i + 12] +
        3 * b[i + 13] + 2 * b[i + 14] + b[i + 15];
      a += b[i] + b[i + 1] + b[i + 2] + b[i + 3] + b[i + 4] + b[i + 5] + b[i + 6] + b[i + 7] + b[i + 8] + b[i + 9] +
        b[i + 10] + b[i + 11] + b[i + 12] + b[i + 13] + b[i + 14] + b[i + 15];
    }
    for (; i < end; ++i) {
      a += b[i];
      s += a;
    }
    a %= 65521;
    s %= 65521;
  }
  return ((s << 16) | a) >>> 0;
}

// Inflates the block into room (at least ROOM bytes); the number of bytes,
// or -1 when the stream is damaged, would inflate to more than one chunk
// (32768 bytes, which no packer writes), or its Adler-32 differs.
export function inflateBlock(bytes, room) {
  let plain;
  try {
    plain = unzlibSync(bytes, { out: room.subarray(0, ROOM) });
  } catch {
    return -1;
  }
  if (plain.length > CHUNK || bytes.length < 6) return -1;
  const n = bytes.length;
  const stored = ((bytes[n - 4] << 24) | (bytes[n - 3] << 16) | (bytes[n - 2] << 8) | bytes[n - 1]) >>> 0;
  return adler32(plain) === stored ? plain.length : -1;
}
