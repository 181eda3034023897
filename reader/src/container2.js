// The second container format: an 84-byte header sealed with HMAC-SHA256,
// keys from PBKDF2-HMAC-SHA256 over the password with the header's salt, and
// the archive in 64 KiB chunks, each AES-256-GCM with its own tag and a nonce
// of its index and a last-chunk flag. Every chunk that is read is verified;
// nothing unverified is ever handed on.
import { fail } from './errors.js';
import { ascii, le32, le64 } from './bytes.js';

export const MAGIC = ascii('KYVOMAR CRYPT 2\n');
const HEADER = 84;
const CHUNK = 65536;
const TAG = 16;

export const hasFormat2Magic = (head) => head.length >= 16 && MAGIC.every((b, i) => head[i] === b);

async function hmacKey(raw, usages) {
  return crypto.subtle.importKey('raw', raw, { name: 'HMAC', hash: 'SHA-256' }, false, usages);
}

export async function openFormat2(container, password) {
  if (container.length < HEADER) fail('damaged');
  const header = await container.read(0, HEADER);
  if (!hasFormat2Magic(header)) fail('damaged');
  const iterations = le32(header, 20);
  if (le32(header, 16) !== 1 || iterations < 100000 || iterations > 10000000 || le32(header, 40) !== CHUNK)
    fail('damaged');
  const salt = header.slice(24, 40);
  const pbkdf2 = await crypto.subtle.importKey('raw', password, 'PBKDF2', false, ['deriveBits']);
  const master = new Uint8Array(
    await crypto.subtle.deriveBits({ name: 'PBKDF2', hash: 'SHA-256', salt, iterations }, pbkdf2, 256),
  );
  const masterKey = await hmacKey(master, ['sign']);
  master.fill(0);
  const encRaw = new Uint8Array(await crypto.subtle.sign('HMAC', masterKey, ascii('kyvomar enc')));
  const macRaw = new Uint8Array(await crypto.subtle.sign('HMAC', masterKey, ascii('kyvomar mac')));
  const macKey = await hmacKey(macRaw, ['verify']);
  const key = await crypto.subtle.importKey('raw', encRaw, 'AES-GCM', false, ['decrypt']);
  encRaw.fill(0);
  macRaw.fill(0);
  // A wrong password and a changed header give the same answer.
  if (!(await crypto.subtle.verify('HMAC', macKey, header.subarray(52, 84), header.subarray(0, 52))))
    fail('wrong-password');

  // Only now is the size trusted. The body must be exactly its chunks: one
  // more or less (a cut or an addition) is damage.
  const size = le64(header, 44);
  const last = Math.floor(size / CHUNK);
  if (size > 2 ** 52 || container.length !== HEADER + size + TAG * (last + 1)) fail('damaged');

  return { format: 2, size, container, ...gcmWindows(key, size), params: [2, key, size] };
}

// The chunks of an archive of the given size under key, each a window: its
// sealed bytes and their tag, opened (and so verified) alone. The bytes must
// stay as they are until decrypt resolves.
export function gcmWindows(key, size) {
  const last = Math.floor(size / CHUNK);
  const chunkLength = (i) => (i < last ? CHUNK : size - last * CHUNK);
  const sealedAt = (i) => HEADER + i * (CHUNK + TAG);
  async function decrypt(i, sealed) {
    const iv = new Uint8Array(12);
    new DataView(iv.buffer).setUint32(0, i % 2 ** 32, true);
    new DataView(iv.buffer).setUint32(4, Math.floor(i / 2 ** 32), true);
    iv[8] = i === last ? 1 : 0;
    try {
      return new Uint8Array(await crypto.subtle.decrypt({ name: 'AES-GCM', iv, tagLength: 128 }, key, sealed));
    } catch {
      fail('damaged');
    }
  }
  const cipherRange = (i) => [sealedAt(i), sealedAt(i) + chunkLength(i) + TAG];
  return { window: CHUNK, windows: last + 1, cipherRange, decrypt };
}
