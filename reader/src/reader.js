// Opening a result: the trailer, the container of either format, the archive
// inside it, all checked before anything is offered. The result is read in
// slices, so that a file of any size opens without being held in memory;
// saving reads it again, straight through, and hands each file's bytes on
// as they are inflated.
import { ReaderError, fail } from './errors.js';
import { findContainer } from './source.js';
import { openFormat1 } from './container1.js';
import { openFormat2, hasFormat2Magic } from './container2.js';
import { readArchive, walkData, filetimeToDate, Forward } from './archive.js';
import { buildTree } from './tree.js';
import { encodeCp932 } from './sjis.js';
import { writeZip } from './zip.js';
import { writeFolder } from './folder.js';
import { FileOut, BlobOut } from './outputs.js';
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
  error.message = text(error.code, error.detail);
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

// Hands the files' bytes on, reading the archive forward once when the
// entries come in archive order (as open gives them).
function pourer(entries, onProgress, signal) {
  const files = entries.filter((e) => !e.folder);
  for (const e of files) if (!sources.has(e)) fail('unreadable', `${e.path}: not an entry of an opened result`);
  const total = files.reduce((n, e) => n + e.size, 0);
  const end = files.reduce((n, e) => Math.max(n, sources.get(e).raw.offset + sources.get(e).raw.stored), 0);
  const tell = progressOf(onProgress, total);
  let done = 0;
  let forward = null;
  const pour = async (entry, onBytes) => {
    const { body, raw } = sources.get(entry);
    if (raw.stored === 0) return; // which may lie at the very end of the archive
    if (!forward || forward.body !== body) forward = new Forward(body, end);
    await forward.seek(raw.offset);
    let first = true; // each file's first block is told, the others every 50 ms
    await walkData(forward, raw, (bytes) => {
      if (signal && signal.aborted) fail('cancelled');
      done += bytes.length;
      tell(done, entry.path, first);
      first = false;
      return onBytes(bytes);
    }, false);
  };
  pour.finish = () => tell(total, '', true);
  return pour;
}

async function fileBlob(entry) {
  const out = new BlobOut('application/octet-stream');
  await pourer([entry])(entry, (bytes) => out.add(bytes));
  return out.finish();
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
export async function zip(entries, { to, onProgress, signal } = {}) {
  try {
    const pour = pourer(entries, onProgress, signal);
    let blob;
    if (to) {
      await intoHandle(to, (out) => writeZip(entries, out, pour));
    } else {
      const out = new BlobOut('application/zip');
      await writeZip(entries, out, pour);
      blob = await out.finish();
    }
    pour.finish();
    return blob;
  } catch (e) {
    throw withMessage(e);
  }
}

// Saves the entries into a folder (FileSystemDirectoryHandle).
export async function saveTo(entries, directoryHandle, { onProgress, signal } = {}) {
  try {
    const pour = pourer(entries, onProgress, signal);
    await writeFolder(entries, directoryHandle, pour);
    pour.finish();
  } catch (e) {
    throw withMessage(e);
  }
}

// One file into a file handle the user picked.
export async function saveFile(entry, handle, { onProgress, signal } = {}) {
  try {
    const pour = pourer([entry], onProgress, signal);
    await intoHandle(handle, (out) => pour(entry, (bytes) => out.add(bytes)));
  } catch (e) {
    throw withMessage(e);
  }
}
