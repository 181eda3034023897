// A stored zip of the entries: no compression (the files come out of the
// archive as they went in), UTF-8 names (flag bit 11), and the times kept:
// the DOS time in local time as every reader takes it, the Unix time (extra
// field 0x5455) and the three Windows times to the 100 ns (extra field
// 0x000A, as NTFS-aware tools restore them). Zip64 fields where a size or an
// offset does not fit 32 bits.
const U32 = 0xffffffff;

class Out {
  constructor() {
    this.bytes = [];
  }
  u16(v) {
    this.bytes.push(v & 0xff, (v >>> 8) & 0xff);
  }
  u32(v) {
    this.u16(v & 0xffff);
    this.u16(Math.floor(v / 65536) & 0xffff);
  }
  u64(v) {
    this.u32(v % 2 ** 32);
    this.u32(Math.floor(v / 2 ** 32));
  }
  big(v) {
    this.u32(Number(v & 0xffffffffn));
    this.u32(Number(v >> 32n));
  }
  raw(b) {
    for (const x of b) this.bytes.push(x);
  }
  done() {
    return Uint8Array.from(this.bytes);
  }
}

function dosTime(date) {
  const d = date && date.getFullYear() >= 1980 ? date : new Date(1980, 0, 1);
  return {
    time: (d.getHours() << 11) | (d.getMinutes() << 5) | (d.getSeconds() >> 1),
    date: ((Math.min(d.getFullYear(), 2107) - 1980) << 9) | ((d.getMonth() + 1) << 5) | d.getDate(),
  };
}

function timeFields(entry) {
  const o = new Out();
  if (!entry.times) return o.done();
  const unix = Math.floor(entry.mtime.getTime() / 1000);
  if (unix >= 0 && unix < 2 ** 32) {
    o.u16(0x5455);
    o.u16(5);
    o.bytes.push(1);
    o.u32(unix);
  }
  o.u16(0x000a);
  o.u16(32);
  o.u32(0);
  o.u16(1);
  o.u16(24);
  o.big(entry.times.written);
  o.big(entry.times.accessed);
  o.big(entry.times.created);
  return o.done();
}

// The files' bytes are fetched a few files ahead of the one being written
// (up to AHEAD files or AHEAD_BYTES), so that many small files do not wait
// for each other; each keeps its place.
const AHEAD = 16;
const AHEAD_BYTES = 64 << 20;

function prefetch(entries, dataOf) {
  const started = new Map();
  let next = 0;
  let bytes = 0;
  const fill = (at) => {
    while (next < entries.length && (next <= at || (next - at < AHEAD && bytes < AHEAD_BYTES))) {
      const e = entries[next];
      if (!e.folder) {
        const p = dataOf(e);
        p.catch(() => {});
        started.set(next, p);
        bytes += e.size;
      }
      ++next;
    }
  };
  return async (at) => {
    fill(at);
    const p = started.get(at);
    started.delete(at);
    const blob = await p;
    bytes -= entries[at].size;
    fill(at);
    return blob;
  };
}

// The zip's bytes: small pieces are copied together into blocks of STAGE
// bytes, each made a Blob once full; Blobs are taken as they are.
const STAGE = 8 << 20;
class Parts {
  constructor() {
    this.blobs = [];
    this.stage = new Uint8Array(STAGE);
    this.used = 0;
    this.size = 0;
  }
  flush() {
    if (this.used) this.blobs.push(new Blob([this.stage.slice(0, this.used)]));
    this.used = 0;
  }
  add(part) {
    this.size += part.size ?? part.length;
    if (part instanceof Blob || part.length > STAGE / 2) {
      this.flush();
      this.blobs.push(part instanceof Blob ? part : new Blob([part]));
      return;
    }
    if (this.used + part.length > STAGE) this.flush();
    this.stage.set(part, this.used);
    this.used += part.length;
  }
}

// entries: as open() gives them (folders and files, parents before their
// contents); dataOf(entry) resolves to its bytes as parts (Uint8Arrays and
// Blobs) and sets entry.crc. Resolves to the zip as a Blob.
export async function makeZip(entries, dataOf) {
  const dataAt = prefetch(entries, dataOf);
  const encoder = new TextEncoder();
  const parts = new Parts();
  const central = [];
  let offset = 0;
  const now = new Date();
  for (const [at, e] of entries.entries()) {
    const name = encoder.encode(e.folder ? e.path + '/' : e.path);
    const data = e.folder ? [] : await dataAt(at);
    const size = data.reduce((n, p) => n + (p.size ?? p.length), 0);
    const crc = e.folder ? 0 : e.crc;
    const times = timeFields(e);
    const { time, date } = dosTime(e.folder ? now : e.mtime);
    const big = size >= U32 || offset >= U32;
    const local = new Out();
    local.u32(0x04034b50);
    local.u16(big ? 45 : 20);
    local.u16(0x0800);
    local.u16(0);
    local.u16(time);
    local.u16(date);
    local.u32(crc);
    local.u32(big ? U32 : size);
    local.u32(big ? U32 : size);
    local.u16(name.length);
    local.u16(times.length + (big ? 20 : 0));
    local.raw(name);
    if (big) {
      local.u16(1);
      local.u16(16);
      local.u64(size);
      local.u64(size);
    }
    local.raw(times);
    const head = local.done();
    parts.add(head);
    for (const p of data) parts.add(p);
    central.push({ name, crc, size, offset, time, date, times, folder: e.folder });
    offset += head.length + size;
  }
  const dir = new Out();
  for (const c of central) {
    const big = c.size >= U32 || c.offset >= U32;
    dir.u32(0x02014b50);
    dir.u16(big ? 45 : 20);
    dir.u16(big ? 45 : 20);
    dir.u16(0x0800);
    dir.u16(0);
    dir.u16(c.time);
    dir.u16(c.date);
    dir.u32(c.crc);
    dir.u32(big ? U32 : c.size);
    dir.u32(big ? U32 : c.size);
    dir.u16(c.name.length);
    dir.u16(c.times.length + (big ? 28 : 0));
    dir.u16(0);
    dir.u16(0);
    dir.u16(0);
    dir.u32(c.folder ? 0x10 : 0x20);
    dir.u32(big ? U32 : c.offset);
    dir.raw(c.name);
    if (big) {
      dir.u16(1);
      dir.u16(24);
      dir.u64(c.size);
      dir.u64(c.size);
      dir.u64(c.offset);
    }
    dir.raw(c.times);
  }
  const dirBytes = dir.done();
  const end = new Out();
  const count = central.length;
  const z64 = count >= 0xffff || offset >= U32 || dirBytes.length >= U32;
  if (z64) {
    end.u32(0x06064b50);
    end.u64(44);
    end.u16(45);
    end.u16(45);
    end.u32(0);
    end.u32(0);
    end.u64(count);
    end.u64(count);
    end.u64(dirBytes.length);
    end.u64(offset);
    end.u32(0x07064b50);
    end.u32(0);
    end.u64(offset + dirBytes.length);
    end.u32(1);
  }
  const small = !z64;
  end.u32(0x06054b50);
  end.u16(0);
  end.u16(0);
  end.u16(small ? count : 0xffff);
  end.u16(small ? count : 0xffff);
  end.u32(small ? dirBytes.length : U32);
  end.u32(small ? offset : U32);
  end.u16(0);
  parts.add(dirBytes);
  parts.add(end.done());
  parts.flush();
  return new Blob(parts.blobs, { type: 'application/zip' });
}
