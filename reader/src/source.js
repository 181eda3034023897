// The result file, read in slices: nothing of it is held whole.
import { ReaderError, fail } from './errors.js';
import { le32 } from './bytes.js';

export async function readSlice(blob, start, end) {
  try {
    return new Uint8Array(await blob.slice(start, end).arrayBuffer());
  } catch (e) {
    fail('unreadable', e && e.message ? e.message : String(e));
  }
}

// A way forward up to this long is read through rather than started anew.
const READ_THROUGH = 16 << 20;

// Ranges of the result read in order through the file's byte stream, each
// into a buffer of the caller's: no new buffer per read, where fresh memory
// can cost more than the reading itself. A read that does not follow the one
// before starts the stream anew at its place. Where the browser gives no
// byte stream, slices are read instead.
class Stream {
  constructor(blob) {
    this.blob = blob;
    this.reader = null;
    this.pos = -1;
    this.byob = true;
    this.queue = Promise.resolve();
    this.tail = new Uint8Array(16); // the last bytes read, for a read that goes back over them
  }
  // Fills target with the bytes from start; its memory is handed over and
  // comes back as the view this resolves to. Reads run one after another.
  into(start, target) {
    const p = this.queue.then(() => this.fill(start, target));
    this.queue = p.catch(() => {});
    return p;
  }
  async fill(start, target) {
    if (!this.byob) {
      target.set(await readSlice(this.blob, start, start + target.length));
      return target;
    }
    const back = this.pos - start;
    if (this.reader && back > 0 && back <= this.tail.length && target.length > back) {
      target.set(this.tail.subarray(this.tail.length - back));
      const rest = await this.fill(this.pos, target.subarray(back));
      return new Uint8Array(rest.buffer, rest.byteOffset - back, rest.length + back);
    }
    // A short way forward is read through (into the target, whose bytes
    // are then overwritten): cheaper than starting the stream anew.
    if (this.reader && start > this.pos && start - this.pos <= READ_THROUGH) {
      const size = target.length; // the reads detach target: its views carry on
      for (let skip = start - this.pos; skip > 0; ) {
        const n = Math.min(skip, size);
        const got = await this.fill(this.pos, target.subarray(0, n));
        target = new Uint8Array(got.buffer, got.byteOffset, size);
        skip -= n;
      }
    }
    if (!this.reader || this.pos !== start) {
      if (this.reader) this.reader.cancel().catch(() => {});
      try {
        this.reader = this.blob.slice(start).stream().getReader({ mode: 'byob' });
      } catch {
        this.byob = false;
        return this.fill(start, target);
      }
      this.pos = start;
    }
    // The reads hand the memory on (target is left empty): only its place counts.
    let buffer = target.buffer;
    const at = target.byteOffset;
    const length = target.length;
    try {
      for (let got = 0; got < length; ) {
        const { done, value } = await this.reader.read(new Uint8Array(buffer, at + got, length - got));
        if (done) fail('unreadable', 'the file ends early');
        buffer = value.buffer;
        got += value.length;
      }
    } catch (e) {
      this.reader = null;
      if (e instanceof ReaderError) throw e;
      fail('unreadable', e && e.message ? e.message : String(e));
    }
    this.pos += length;
    const read = new Uint8Array(buffer, at, length);
    if (length >= this.tail.length) this.tail.set(read.subarray(length - this.tail.length));
    else this.tail = Uint8Array.from([...this.tail.subarray(length), ...read]);
    return read;
  }
}

// The data form: a 16-byte header (a signature, the form's version 1, four
// zero bytes) in front of the container and the trailer, in place of the
// program image that a result carries.
const SIGNATURE = [0x89, 0x4b, 0x59, 0x56, 0x0d, 0x0a, 0x1a, 0x0a];
const FORM_HEADER = 16;

function checkDataForm(head, start, named) {
  const signed = head.length >= 8 && SIGNATURE.every((b, i) => head[i] === b);
  // No program image is 16 bytes long: a container there is the data form's.
  if (!signed && start !== FORM_HEADER && !named) return;
  if (!signed || start !== FORM_HEADER || le32(head, 8) !== 1 || le32(head, 12) !== 0) fail('damaged');
}

// The payload trailer: the last 12 bytes are the container's length (64
// bits) and the marker 0xFF00AA55; the container lies just before them.
export async function findContainer(blob) {
  if (blob.size < 12) fail('not-a-result');
  const t = await readSlice(blob, blob.size - 12, blob.size);
  if (le32(t, 8) !== 0xff00aa55) fail('not-a-result');
  const length = le32(t, 0) + le32(t, 4) * 2 ** 32;
  if (length > blob.size - 12) fail('not-a-result');
  const start = blob.size - 12 - length;
  const named = typeof blob.name === 'string' && /\.kyvo$/i.test(blob.name);
  checkDataForm(await readSlice(blob, 0, Math.min(FORM_HEADER, blob.size)), start, named);
  return containerAt(blob, start, length);
}

// The container at start in blob, length bytes long: read(from, to) gives a
// slice of it, into(from, target) fills target from its place (see Stream).
export function containerAt(blob, start, length) {
  const stream = new Stream(blob);
  return {
    blob,
    start,
    length,
    read: (from, to) => readSlice(blob, start + from, start + to),
    into: (from, target) => stream.into(start + from, target),
  };
}
