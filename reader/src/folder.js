// Saving into a folder the user picked (a FileSystemDirectoryHandle): the
// folders are made as they come, each file is written as it is inflated and
// takes its place when it is closed. A file that fails or is cancelled on
// the way is dropped: a file this save made is removed again, a file that
// was there before keeps what it held.
import { ReaderError } from './errors.js';
import { ROOM } from './inflate.js';

// Files made ahead of the one being written, and files being closed behind
// it: each step waits for the browser, so several go at once.
const FILES_AHEAD = 16;
const CLOSING = 16;
// The buffers the files' bytes go through (see Arena): writes of 16 MiB came
// out fastest, and two let one be written while the other fills, in little
// memory.
const BUFFERS = 2;
const BUFFER = 16 << 20;

// A few large buffers used in turn: each file's bytes are put together in
// one of them and written from there, in one write when the file ends or
// the buffer is full (the browser takes long over each write, and fresh
// memory is slow to come by). A buffer is used again once every write from
// it is done.
class Arena {
  constructor() {
    this.slots = Array.from({ length: BUFFERS }, () => ({ buf: null, writes: [] }));
    this.slot = 0;
    this.used = 0;
  }
  get buf() {
    const s = this.slots[this.slot];
    if (!s.buf) s.buf = new Uint8Array(BUFFER);
    return s.buf;
  }
  room() {
    return BUFFER - this.used >= ROOM ? this.buf.subarray(this.used) : null;
  }
  async next() {
    this.slot = (this.slot + 1) % BUFFERS;
    const s = this.slots[this.slot];
    const writes = s.writes;
    s.writes = [];
    await Promise.allSettled(writes);
    this.used = 0;
  }
  // Writes the buffer's bytes from `from` to where it is filled.
  write(writer, from) {
    const s = this.slots[this.slot];
    const p = writer.write(this.buf.subarray(from, this.used));
    p.catch(() => {}); // seen by the file's close
    s.writes.push(p);
  }
}

// One file on its way through the arena (what walkData pours into).
class Target {
  constructor(arena, writer) {
    this.arena = arena;
    this.writer = writer;
    this.from = arena.used;
  }
  room() {
    return this.arena.room();
  }
  // The buffer is full: what the file has in it goes, and the next one is taken.
  async wait() {
    this.flush();
    await this.arena.next();
    this.from = 0;
    return this.arena.room();
  }
  commit(n) {
    this.arena.used += n;
  }
  flush() {
    if (this.arena.used > this.from) this.arena.write(this.writer, this.from);
    this.from = this.arena.used;
  }
  // Closing waits for the writes; it fails when one of them failed.
  finish() {
    this.flush();
    return this.writer ? this.writer.close() : Promise.resolve();
  }
}

const isNotFound = (e) => e && e.name === 'NotFoundError';

// Removes a file this save made. The browser lets go of a file it was
// writing a moment after the writing was given up, and refuses to remove it
// until then: so a refusal is tried again, for a second at most.
async function removeMade(folder, name) {
  for (let tries = 0; ; ++tries) {
    try {
      await folder.removeEntry(name);
      return;
    } catch (e) {
      if (isNotFound(e) || e.name !== 'NoModificationAllowedError' || tries === 50) return;
      await new Promise((r) => setTimeout(r, 20));
    }
  }
}

function writeFailed(e, path) {
  if (e instanceof ReaderError) return e;
  return new ReaderError('write-failed', `${path.replaceAll('/', '\\')}\n${e && e.message ? e.message : String(e)}`);
}

// entries: folders and files, parents first; pour(entry, out) pours a
// file's bytes into out (see Target), and pour.isEmpty(entry) tells a file
// without bytes.
export async function writeFolder(entries, root, pour) {
  // path -> Promise<{ handle, made }>: made when this save created it, so
  // nothing in it can have been there before.
  const folders = new Map([['', Promise.resolve({ handle: root, made: false })]]);
  const folderOf = (path) => {
    let p = folders.get(path);
    if (!p) {
      const cut = path.lastIndexOf('/');
      const name = path.slice(cut + 1);
      p = folderOf(cut < 0 ? '' : path.slice(0, cut)).then(async (parent) => {
        try {
          if (!parent.made) return { handle: await parent.handle.getDirectoryHandle(name), made: false };
        } catch (e) {
          if (!isNotFound(e)) throw writeFailed(e, path);
        }
        try {
          return { handle: await parent.handle.getDirectoryHandle(name, { create: true }), made: true };
        } catch (e) {
          throw writeFailed(e, path);
        }
      });
      folders.set(path, p);
    }
    return p;
  };

  // A file made (or found) and opened for writing; made when this save
  // created it. A file this save made that stays empty needs no writing.
  const openTarget = async (e) => {
    const cut = e.path.lastIndexOf('/');
    const folder = await folderOf(cut < 0 ? '' : e.path.slice(0, cut));
    const name = e.path.slice(cut + 1);
    let made = folder.made;
    try {
      let handle = null;
      if (!made) {
        try {
          handle = await folder.handle.getFileHandle(name);
        } catch (x) {
          if (!isNotFound(x)) throw x;
        }
      }
      if (!handle) {
        handle = await folder.handle.getFileHandle(name, { create: true });
        made = true;
      }
      const writer = made && pour.isEmpty(e) ? null : (await handle.createWritable()).getWriter();
      return { e, folder, name, made, writer };
    } catch (x) {
      if (made) await removeMade(folder.handle, name);
      throw writeFailed(x, e.path);
    }
  };
  // Drops a file on its way: what was written goes, a file made goes too.
  const drop = async (t) => {
    if (t.writer) await t.writer.abort().catch(() => {});
    if (t.made) await removeMade(t.folder.handle, t.name);
  };

  const arena = new Arena();
  let failure = null;
  const closing = []; // files being closed
  const ahead = []; // files being made, in the order of the entries
  let next = 0; // the next entry to make a file for
  try {
    for (const e of entries) {
      if (failure) throw failure;
      if (e.folder) {
        await folderOf(e.path);
        continue;
      }
      for (; ahead.length < FILES_AHEAD && next < entries.length; ++next) {
        if (entries[next].folder) continue;
        const p = openTarget(entries[next]);
        p.catch(() => {});
        ahead.push(p);
      }
      const t = await ahead.shift();
      const out = new Target(arena, t.writer);
      try {
        await pour(e, out);
      } catch (x) {
        await drop(t);
        throw writeFailed(x, e.path);
      }
      closing.push(
        out.finish().catch(async (x) => {
          await drop(t);
          failure = failure || writeFailed(x, e.path);
        }),
      );
      if (closing.length >= CLOSING) await closing.shift();
    }
  } catch (x) {
    await Promise.allSettled(closing);
    await Promise.allSettled(ahead.map((p) => p.then(drop)));
    throw x;
  }
  await Promise.all(closing);
  if (failure) throw failure;
}
