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

  const chunkLength = (i) => (i < last ? CHUNK : size - last * CHUNK);
  const sealedAt = (i) => HEADER + i * (CHUNK + TAG);
  async function openChunk(i, sealed) {
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

  // Any range of the archive, its chunks read into a buffer of the pool
  // (the browser copies what it is to decrypt at once) and their plaintexts
  // put together in out, when it is given and large enough.
  const pool = [];
  async function read(offset, length, out) {
    if (length === 0) return new Uint8Array(0);
    const first = Math.floor(offset / CHUNK);
    const end = Math.floor((offset + length - 1) / CHUNK);
    const sealed = sealedAt(end) + chunkLength(end) + TAG - sealedAt(first);
    let buf = pool.pop();
    if (!buf || buf.length < sealed) buf = new Uint8Array(sealed);
    buf = new Uint8Array((await container.into(sealedAt(first), buf.subarray(0, sealed))).buffer);
    const plains = [];
    for (let i = first; i <= end; ++i) {
      const at = sealedAt(i) - sealedAt(first);
      plains.push(openChunk(i, buf.subarray(at, at + chunkLength(i) + TAG)));
    }
    pool.push(buf);
    const size = (end - first) * CHUNK + chunkLength(end);
    const whole = out && out.length >= size ? out : new Uint8Array(size);
    (await Promise.all(plains)).forEach((p, k) => whole.set(p, k * CHUNK));
    return whole.subarray(offset - first * CHUNK, offset - first * CHUNK + length);
  }
  // After a reading pass over the whole archive: the last chunk, empty when
  // the size is a multiple of the chunk size, is verified as well.
  async function finish() {
    if (chunkLength(last) === 0) await openChunk(last, await container.read(sealedAt(last), sealedAt(last) + TAG));
  }
  return { format: 2, size, read, piece: 64 * CHUNK, finish };
}
