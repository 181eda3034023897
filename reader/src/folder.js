// Saving into a folder the user picked (a FileSystemDirectoryHandle): the
// folders are made as they come, each file is written as it is inflated and
// takes its place when it is closed. A file that fails or is cancelled on
// the way is dropped: a file this save made is removed again, a file that
// was there before keeps what it held.
import { ReaderError } from './errors.js';
import { FileOut } from './outputs.js';

// Files made ahead of the one being written, and files being closed behind
// it: each step waits for the browser, so several go at once.
const FILES_AHEAD = 8;

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

// entries: folders and files, parents first; pour(entry, onBytes) hands a
// file's bytes to onBytes in order.
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
  // created it.
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
      return { e, folder, name, made, out: new FileOut(await handle.createWritable(), e.size) };
    } catch (x) {
      if (made) await removeMade(folder.handle, name);
      throw writeFailed(x, e.path);
    }
  };
  // Drops a file on its way: what was written goes, a file made goes too.
  const drop = async (t) => {
    await t.out.abort();
    if (t.made) await removeMade(t.folder.handle, t.name);
  };

  let failure = null;
  const inFlight = []; // files being closed
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
      try {
        await pour(e, (bytes) => t.out.add(bytes));
      } catch (x) {
        await drop(t);
        throw writeFailed(x, e.path);
      }
      inFlight.push(
        t.out.finish().catch(async (x) => {
          await drop(t);
          failure = failure || writeFailed(x, e.path);
        }),
      );
      if (inFlight.length >= FILES_AHEAD) await inFlight.shift();
    }
  } catch (x) {
    await Promise.allSettled(inFlight);
    await Promise.allSettled(ahead.map((p) => p.then(drop)));
    throw x;
  }
  await Promise.all(inFlight);
  if (failure) throw failure;
}
