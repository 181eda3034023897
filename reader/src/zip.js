// The entries as one stored zip, written by fflate as it goes: no
// compression (the files come out of the archive as they went in), UTF-8
// names, Zip64 where a size or an offset needs it. What fflate is told here
// is what the archive knows of each file: the DOS time (local time, as every
// reader takes it), the Unix time (extra field 0x5455) and the three Windows
// times to the 100 ns (extra field 0x000A, as NTFS-aware tools restore them).
// A file without a write time gets the DOS time's first day and no other.
import { Zip, ZipPassThrough } from 'fflate';

const EARLIEST = new Date(1980, 0, 1);
const LATEST = new Date(2099, 11, 31, 23, 59, 58); // the last DOS time fflate writes
const dosTime = (d) => (!d || d < EARLIEST ? EARLIEST : d > LATEST ? LATEST : d);

function timeFields(e) {
  if (!e.mtime) return undefined;
  const { written, accessed, created } = e.times;
  const ntfs = new Uint8Array(32);
  const v = new DataView(ntfs.buffer);
  v.setUint16(4, 1, true);
  v.setUint16(6, 24, true);
  // A time the archive does not know is given the write time rather than 1601.
  v.setBigUint64(8, written, true);
  v.setBigUint64(16, accessed || written, true);
  v.setBigUint64(24, created || written, true);
  const fields = { 0x000a: ntfs };
  const unix = Math.floor(e.mtime.getTime() / 1000);
  if (unix >= 0 && unix < 2 ** 32) {
    const u = new Uint8Array(5);
    u[0] = 1;
    new DataView(u.buffer).setUint32(1, unix, true);
    fields[0x5455] = u;
  }
  return fields;
}

// entries: folders and files, parents first; pour(entry, onBytes) hands a
// file's bytes to onBytes in order; out takes the zip's bytes (add, a
// promise when it must be waited for).
export async function writeZip(entries, out, pour) {
  let failure = null;
  let wait = null;
  const zip = new Zip((err, chunk) => {
    if (err) failure = err;
    else wait = out.add(chunk) || wait;
  });
  const settle = async () => {
    if (failure) throw failure;
    const w = wait;
    wait = null;
    if (w) await w;
  };
  const now = new Date();
  for (const e of entries) {
    const file = new ZipPassThrough(e.folder ? `${e.path}/` : e.path);
    file.mtime = dosTime(e.folder ? now : e.mtime);
    file.os = 0;
    file.attrs = e.folder ? 0x10 : 0x20;
    file.extra = e.folder ? undefined : timeFields(e);
    zip.add(file);
    if (!e.folder)
      await pour(e, (bytes) => {
        file.push(bytes);
        return wait ? settle() : failure ? Promise.reject(failure) : undefined;
      });
    file.push(new Uint8Array(0), true);
    await settle();
  }
  zip.end();
  await settle();
}
