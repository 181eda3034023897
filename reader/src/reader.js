// Opening a result: the trailer, the container of either format and the
// archive's headers inside it, all checked before anything is offered.
// Saving reads the result again, straight through, and hands each file's
// bytes on as they are decrypted, inflated and checked. The result is read
// forward in pieces, so that a file of any size is never held in memory.
import { ReaderError, fail } from './errors.js';
import { findContainer } from './source.js';
import { openFormat1 } from './container1.js';
import { openFormat2, hasFormat2Magic } from './container2.js';
import { readArchive, walkData, filetimeToDate } from './archive.js';
import { Plain } from './plain.js';
import { ROOM } from './inflate.js';
import { windowsFor } from './remote.js';
import { buildTree } from './tree.js';
import { encodeCp932 } from './sjis.js';
import { writeZip } from './zip.js';
import { writeFolder } from './folder.js';
import { FileOut, BlobOut, bytesTo } from './outputs.js';
import { text } from './messages.js';

// What each file entry was read from: { body, raw }.
const sources = new WeakMap();

// The password's bytes as the program takes them: code page 932, as typed.
function passwordBytes(password) {
  if (typeof password !== 'string' || password.length === 0) fail('no-password');
  const bytes = encodeCp932(password);
  if (bytes === null) fail('bad-password-character');
  if (bytes.length > 1025) fail('wrong-password');
  return bytes;
}

function withMessage(e) {
  const error = e instanceof ReaderError ? e : new ReaderError('unreadable', e && e.message ? e.message : String(e));
  // Damage found while saving names the file it was found in.
  error.message = text(error.code === 'damaged' && error.detail ? 'damaged-file' : error.code, error.detail);
  return error;
}

// Progress as { done, total, name }, told at most every 50 ms.
function progressOf(onProgress, total) {
  let last = 0;
  return (done, name, force) => {
    if (!onProgress) return;
    const now = performance.now();
    if (!force && now - last < 50) return;
    last = now;
    onProgress({ done, total, name });
  };
}

// options: { onProgress({ done, total, name }), signal }
export async function open(blob, password, { onProgress, signal } = {}) {
  try {
    if (!(blob instanceof Blob)) fail('no-file');
    const pw = passwordBytes(password);
    const container = await findContainer(blob);
    const head = await container.read(0, Math.min(16, container.length));
    const body = hasFormat2Magic(head) ? await openFormat2(container, pw) : await openFormat1(container, pw);
    const tell = progressOf(onProgress, body.size);
    const raw = await readArchive(body, (done, texts) => {
      if (signal && signal.aborted) fail('cancelled');
      tell(done, texts.join('/'));
    });
    tell(body.size, '', true);
    const entries = buildTree(raw, (r, path) => {
      const entry = { path, folder: false, size: r.size, mtime: filetimeToDate(r.times.written), times: r.times };
      entry.data = () => fileBlob(entry);
      sources.set(entry, { body, raw: r });
      return entry;
    });
    return { format: body.format, entries };
  } catch (e) {
    throw withMessage(e);
  }
}

// Bytes of the archive decrypted ahead of the place being read while saving.
const AHEAD = 1 << 20;

// Pours the files' bytes (pour(entry, out): see walkData; a function takes
// byte views), reading the archive forward once when the entries come in
// archive order (as open gives them).
function pourer(entries, onProgress, signal) {
  const files = entries.filter((e) => !e.folder);
  for (const e of files) if (!sources.has(e)) fail('unreadable', `${e.path}: not an entry of an opened result`);
  const total = files.reduce((n, e) => n + e.size, 0);
  const end = files.reduce((n, e) => Math.max(n, sources.get(e).raw.offset + sources.get(e).raw.stored), 0);
  const tell = progressOf(onProgress, total);
  let done = 0;
  let plain = null;
  const scratch = new Uint8Array(ROOM);
  const pour = async (entry, into) => {
    const { body, raw } = sources.get(entry);
    if (raw.stored === 0) return; // which may lie at the very end of the archive
    if (!plain || plain.body !== body) {
      if (plain) plain.source.close();
      plain = new Plain(await windowsFor(body, end), body, { ahead: Math.ceil(AHEAD / body.window), end });
    }
    await plain.seek(raw.offset);
    const out = typeof into === 'function' ? bytesTo(into, scratch) : into;
    let first = true; // each file's first block is told, the others every 50 ms
    const counted = {
      room: () => out.room(),
      wait: () => out.wait(),
      commit: (n) => {
        if (signal && signal.aborted) fail('cancelled');
        done += n;
        tell(done, entry.path, first);
        first = false;
        return out.commit(n);
      },
    };
    try {
      await walkData(plain, raw, counted);
    } catch (e) {
      if (e instanceof ReaderError && e.code === 'damaged') e.detail = entry.path.replaceAll('/', '\\');
      throw e;
    }
  };
  pour.isEmpty = (entry) => sources.get(entry).raw.stored === 0;
  pour.finish = () => tell(total, '', true);
  pour.close = () => plain && plain.source.close();
  return pour;
}

// Runs work(pour) with a pourer over the entries, let go of at the end;
// failures come with their message.
async function pouring(entries, { onProgress, signal } = {}, work) {
  try {
    const pour = pourer(entries, onProgress, signal);
    try {
      const result = await work(pour);
      pour.finish();
      return result;
    } finally {
      pour.close();
    }
  } catch (e) {
    throw withMessage(e);
  }
}

function fileBlob(entry) {
  return pouring([entry], {}, async (pour) => {
    const out = new BlobOut('application/octet-stream');
    await pour(entry, (bytes) => out.add(bytes));
    return out.finish();
  });
}

// Writes into a file handle the user picked: on failure the handle keeps
// what it held, and a file the picker left empty is removed.
async function intoHandle(handle, work) {
  const out = new FileOut(await handle.createWritable());
  try {
    await work(out);
    await out.finish();
  } catch (e) {
    await out.abort();
    const left = await handle.getFile().then((f) => f.size, () => -1);
    if (left === 0 && typeof handle.remove === 'function') await handle.remove().catch(() => {});
    throw e;
  }
}

// The zip of the entries. options: { to: a FileSystemFileHandle to stream it
// into (then nothing is returned), onProgress, signal }; without `to` it
// resolves to a Blob.
export function zip(entries, { to, ...options } = {}) {
  return pouring(entries, options, async (pour) => {
    if (to) return void (await intoHandle(to, (out) => writeZip(entries, out, pour)));
    const out = new BlobOut('application/zip');
    await writeZip(entries, out, pour);
    return out.finish();
  });
}

// Saves the entries into a folder (FileSystemDirectoryHandle).
export function saveTo(entries, directoryHandle, options) {
  return pouring(entries, options, (pour) => writeFolder(entries, directoryHandle, pour));
}

// One file into a file handle the user picked.
export function saveFile(entry, handle, options) {
  return pouring([entry], options, (pour) => intoHandle(handle, (out) => pour(entry, (bytes) => out.add(bytes))));
}
