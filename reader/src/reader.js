// Opening a result: the trailer, the container of either format, the archive
// inside it, all checked before anything is offered. The result is read in
// slices, so that a file of any size opens without being held in memory.
import { ReaderError, fail } from './errors.js';
import { findContainer } from './source.js';
import { openFormat1 } from './container1.js';
import { openFormat2, hasFormat2Magic } from './container2.js';
import { readArchive, entryParts, filetimeToDate } from './archive.js';
import { encodeCp932 } from './sjis.js';
import { makeZip } from './zip.js';
import { withWindows } from './windows.js';
import { Crc32 } from './crc32.js';
import { text } from './messages.js';

// The password's bytes as the program takes them: code page 932, as typed.
function passwordBytes(password) {
  if (typeof password !== 'string' || password.length === 0) fail('no-password');
  const bytes = encodeCp932(password);
  if (bytes === null) fail('bad-password-character');
  if (bytes.length > 1025) fail('wrong-password');
  return bytes;
}

// The tree in archive order. Paths use '/'; a second entry of one path
// (ignoring case, as Windows does) replaces the first, and every folder that
// holds something is listed, once, before its contents.
function treeOf(body, raw) {
  const byKey = new Map();
  const add = (entry) => {
    const key = entry.path.toLowerCase();
    if (byKey.has(key)) byKey.delete(key);
    byKey.set(key, entry);
  };
  const folder = (path) => ({ path, folder: true, size: 0, mtime: null, data: async () => new Blob([]) });
  for (const r of raw) {
    for (let i = 1; i < r.texts.length; ++i) {
      const parent = r.texts.slice(0, i).join('/');
      if (!byKey.has(parent.toLowerCase())) add(folder(parent));
    }
    const path = r.texts.join('/');
    if (r.folder) {
      if (!byKey.has(path.toLowerCase())) add(folder(path));
      continue;
    }
    const entry = {
      path,
      folder: false,
      size: r.size,
      mtime: filetimeToDate(r.times.written),
      times: r.times,
      data: async () => new Blob(await entry.parts()),
      parts: async () => {
        try {
          const parts = await entryParts(body, r);
          entry.crc = r.crc;
          return parts;
        } catch (x) {
          throw withMessage(x);
        }
      },
    };
    add(entry);
  }
  return [...byKey.values()];
}

function withMessage(e) {
  const error = e instanceof ReaderError ? e : new ReaderError('unreadable', e && e.message ? e.message : String(e));
  error.message = text(error.code, error.detail);
  return error;
}

export async function open(blob, password, options = {}) {
  try {
    if (!(blob instanceof Blob)) fail('no-file');
    const pw = passwordBytes(password);
    const container = await findContainer(blob);
    const head = await container.read(0, Math.min(16, container.length));
    const body = hasFormat2Magic(head) ? await openFormat2(container, pw) : await openFormat1(container, pw);
    const raw = await readArchive(body, options.onProgress);
    const entries = treeOf(withWindows(body), raw);
    return { format: body.format, entries };
  } catch (e) {
    throw withMessage(e);
  }
}

export async function zip(entries) {
  try {
    return await makeZip(entries, async (e) => {
      if (e.parts) return e.parts();
      // An entry made elsewhere: its checksum comes from its bytes.
      const blob = await e.data();
      const c = new Crc32();
      for (let at = 0; at < blob.size; at += 8 << 20)
        c.update(new Uint8Array(await blob.slice(at, at + (8 << 20)).arrayBuffer()));
      e.crc = c.value();
      return [blob];
    });
  } catch (e) {
    throw withMessage(e);
  }
}
