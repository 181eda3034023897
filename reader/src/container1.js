// The first container format: a 1024-byte header block and the archive, each
// its own AES-256-CBC stream from a zero IV under the SHA-256 digest of the
// password, without padding (the body is the archive rounded up to 16).
//
// WebCrypto's AES-CBC always removes PKCS#7 padding when it decrypts. So
// every piece is decrypted with one extra block appended: the encryption of
// an empty message under the chain's last ciphertext block as IV, which is
// exactly a block of full padding following that ciphertext. The browser
// strips it again and the piece comes out whole.
//
// CBC deciphers any block from the block before it: the body is taken in
// windows of WINDOW bytes, each deciphered alone (its IV the last block of
// the window before), so that what is never asked for is never deciphered.
import { fail } from './errors.js';

const HEADER = 1024;
const ZERO_IV = new Uint8Array(16);
// Bytes per window: one decryption each. The browser copies what it is to
// decrypt and the result into fresh memory; parts of about this size came
// out fastest.
const WINDOW = 512 << 10;

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

  return { format: 1, size, container, ...cbcWindows(key, body), params: [1, key, body] };
}

// The windows of a body of the given length under key. Window i: the
// ciphertext from the IV block before it (none for the first) to its end;
// decrypt(i, bytes) resolves to its plaintext. The bytes must stay as they
// are until it has. The browser copies what it is to decrypt when asked, so
// one scratch buffer serves every window.
export function cbcWindows(key, body) {
  const scratch = new Uint8Array(WINDOW + 16);
  const cipherRange = (i) => [HEADER + i * WINDOW - (i > 0 ? 16 : 0), HEADER + Math.min(body, (i + 1) * WINDOW)];
  async function decrypt(i, bytes) {
    const ct = i > 0 ? bytes.subarray(16) : bytes;
    const padding = await padAfter(key, ct);
    scratch.set(ct);
    scratch.set(padding, ct.length);
    const iv = i > 0 ? bytes.subarray(0, 16) : ZERO_IV;
    return new Uint8Array(await crypto.subtle.decrypt({ name: 'AES-CBC', iv }, key, scratch.subarray(0, ct.length + 16)));
  }
  return { window: WINDOW, windows: Math.ceil(body / WINDOW), cipherRange, decrypt };
}
