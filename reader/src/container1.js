// The first container format: a 1024-byte header block and the archive, each
// its own AES-256-CBC stream from a zero IV under the SHA-256 digest of the
// password, without padding (the body is the archive rounded up to 16).
//
// WebCrypto's AES-CBC always removes PKCS#7 padding when it decrypts. So
// every piece is decrypted with one extra block appended: the encryption of
// an empty message under the chain's last ciphertext block as IV, which is
// exactly a block of full padding following that ciphertext. The browser
// strips it again and the piece comes out whole.
import { fail } from './errors.js';

const HEADER = 1024;
const ZERO_IV = new Uint8Array(16);

const SUB = 65536;

// The block of full padding that follows a ciphertext.
const padAfter = async (key, ct) =>
  new Uint8Array(await crypto.subtle.encrypt({ name: 'AES-CBC', iv: ct.subarray(ct.length - 16) }, key, new Uint8Array(0)));

async function decryptUnpadded(key, iv, ct) {
  const pad = await padAfter(key, ct);
  const joined = new Uint8Array(ct.length + 16);
  joined.set(ct);
  joined.set(pad, ct.length);
  return new Uint8Array(await crypto.subtle.decrypt({ name: 'AES-CBC', iv }, key, joined));
}

function statLocOf(digest) {
  const v = (digest[0] | (digest[1] << 8)) & 0x3ff;
  return v > 1018 ? 1018 : v;
}

// The check bytes over the block, with the placeholders 0xCD and 0xC9 in
// place of the two stored ones.
function checksMatch(block, at) {
  let even = 0;
  let odd = 0;
  for (let i = 0; i < HEADER; i += 2) {
    even ^= block[i];
    odd ^= block[i + 1];
  }
  const places = [at + 4, at + 5];
  const placeholders = [0xcd, 0xc9];
  for (let k = 0; k < 2; ++k) {
    const change = block[places[k]] ^ placeholders[k];
    if (places[k] % 2 === 0) even ^= change;
    else odd ^= change;
  }
  return even === block[at + 4] && odd === block[at + 5];
}

// Opens the container: checks the header's check bytes (a mismatch is a
// wrong password, or a damaged header: the two cannot be told apart) and
// finds the archive size. The header keeps bits 0..31 of it and, where they
// fit, bits 48..63; the body's length, the size rounded up to 16, gives the
// rest. A body of any other length was cut or added to.
export async function openFormat1(container, password) {
  if (container.length < HEADER + 16 || (container.length - HEADER) % 16 !== 0) {
    if (container.length < HEADER) fail('wrong-password');
    fail('damaged');
  }
  const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', password));
  const key = await crypto.subtle.importKey('raw', digest, 'AES-CBC', false, ['encrypt', 'decrypt']);
  const block = await decryptUnpadded(key, ZERO_IV, await container.read(0, HEADER));
  const at = statLocOf(digest);
  if (!checksMatch(block, at)) fail('wrong-password');
  const low = (block[at] | (block[at + 1] << 8) | (block[at + 2] << 16) | (block[at + 3] << 24)) >>> 0;
  const high = (at + 6 < HEADER ? block[at + 6] : 0) | (at + 7 < HEADER ? block[at + 7] << 8 : 0);
  if (high !== 0) fail('damaged');
  const body = container.length - HEADER;
  let size = -1;
  for (let k = Math.floor(body / 2 ** 32); k >= 0 && k >= Math.floor(body / 2 ** 32) - 1; --k) {
    const n = low + k * 2 ** 32;
    if (Math.ceil(n / 16) * 16 === body && n > 0) size = n;
  }
  if (size < 0) fail('damaged');

  // Any range of the body: whole blocks from the one before it (the IV),
  // read into a buffer of the pool, and decrypted in parts of SUB bytes
  // (small ones: the browser copies each part, and fresh large buffers
  // come slowly), their plaintexts put together in out when it is given and
  // large enough. The browser copies what it is to decrypt at once, so the
  // buffers are free again before the plaintext comes.
  const pool = [];
  const scratch = new Uint8Array(SUB + 16);
  async function read(offset, length, out) {
    if (length === 0) return new Uint8Array(0);
    const first = Math.floor(offset / 16) * 16;
    const end = Math.min(body, Math.ceil((offset + length) / 16) * 16);
    const from = first === 0 ? 0 : first - 16;
    let buf = pool.pop();
    if (!buf || buf.length < end - from) buf = new Uint8Array(end - from);
    buf = new Uint8Array((await container.into(HEADER + from, buf.subarray(0, end - from))).buffer);
    const at = first - from;
    const ct = buf.subarray(at, end - from);
    const pads = [];
    for (let s = 0; s < ct.length; s += SUB) pads.push(padAfter(key, ct.subarray(0, Math.min(ct.length, s + SUB))));
    const padBytes = await Promise.all(pads);
    const plains = [];
    for (let s = 0, k = 0; s < ct.length; s += SUB, ++k) {
      const e = Math.min(ct.length, s + SUB);
      scratch.set(ct.subarray(s, e));
      scratch.set(padBytes[k], e - s);
      const iv = s > 0 ? ct.subarray(s - 16, s) : at ? buf.subarray(0, 16) : ZERO_IV;
      plains.push(crypto.subtle.decrypt({ name: 'AES-CBC', iv }, key, scratch.subarray(0, e - s + 16)));
    }
    pool.push(buf);
    const whole = out && out.length >= ct.length ? out : new Uint8Array(ct.length);
    (await Promise.all(plains)).forEach((p, k) => whole.set(new Uint8Array(p), k * SUB));
    return whole.subarray(offset - first, offset - first + length);
  }
  return { format: 1, size, read, piece: 4 << 20, finish: async () => {} };
}
