// Saving into a folder the user picked (a FileSystemDirectoryHandle): the
// folders are made as they come, each file is written as it is inflated and
// takes its place when it is closed. A file that fails or is cancelled on
// the way is dropped: a file this save made is removed again, a file that
// was there before keeps what it held. While one file is closed the next
// one is already being written; a few at most are on their way at once.
import { ReaderError } from './errors.js';
import { FileOut } from './outputs.js';

const FILES_IN_FLIGHT = 8;

const isNotFound = (e) => e && e.name === 'NotFoundError';

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

  let failure = null;
  const inFlight = [];
  for (const e of entries) {
    if (failure) break;
    if (e.folder) {
      await folderOf(e.path);
      continue;
    }
    const cut = e.path.lastIndexOf('/');
    const folder = await folderOf(cut < 0 ? '' : e.path.slice(0, cut));
    const name = e.path.slice(cut + 1);
    let made = folder.made;
    let out;
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
      out = new FileOut(await handle.createWritable(), e.size);
    } catch (x) {
      if (made) await folder.handle.removeEntry(name).catch(() => {});
      throw writeFailed(x, e.path);
    }
    const drop = async (x) => {
      await out.abort();
      if (made) await folder.handle.removeEntry(name).catch(() => {});
      throw writeFailed(x, e.path);
    };
    try {
      await pour(e, (bytes) => out.add(bytes));
    } catch (x) {
      await Promise.allSettled(inFlight);
      await drop(x);
    }
    inFlight.push(out.finish().catch(drop).catch((x) => {
      failure = failure || x;
    }));
    if (inFlight.length >= FILES_IN_FLIGHT) await inFlight.shift();
  }
  await Promise.all(inFlight);
  if (failure) throw failure;
}
