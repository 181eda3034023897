// The archive's plaintext, read forward window by window (a window is what
// the container decrypts at once). The ciphertext comes through the result's
// byte stream in pieces of several windows, read ahead of their use into a
// few buffers used again and again. A window is decrypted only when it is
// asked for: a walk over the headers leaves the data areas it skips
// undecrypted, and a save asks for the windows ahead of the one in use.
import { fail } from './errors.js';

const PIECE = 2 << 20; // ciphertext bytes read at once, about
const SPARE = 1; // piece buffers kept for the pieces to come
const SPILL = 36864; // bytes across two windows copied into one buffer: a block at most

const lastWindowBefore = (body, end) => Math.min(body.windows - 1, Math.max(0, Math.ceil(end / body.window) - 1));

// The windows of a body (its window layout, cipherRange and decrypt, and
// the container they are read from), decrypted here; nothing is read ahead
// beyond the archive offset end.
export class Windows {
  constructor(body, end = Infinity) {
    this.body = body;
    this.perPiece = Math.max(1, Math.floor(PIECE / body.window));
    this.pieceBytes = this.perPiece * (body.window + 16) + 16;
    this.lastPiece = Math.floor(lastWindowBefore(body, end) / this.perPiece);
    this.pieces = new Map(); // index -> { from, ready, refs, dropped }
    this.windows = new Map(); // index -> Promise<Uint8Array>
    this.spare = [];
  }
  piece(p) {
    let piece = this.pieces.get(p);
    if (!piece) {
      const first = p * this.perPiece;
      const last = Math.min(first + this.perPiece, this.body.windows) - 1;
      const [from] = this.body.cipherRange(first);
      const [, to] = this.body.cipherRange(last);
      const buf = this.spare.pop() ?? new Uint8Array(this.pieceBytes);
      piece = { from, refs: 0, dropped: false };
      // The read hands the buffer's memory on: the view it resolves to holds it.
      piece.ready = this.body.container.into(from, buf.subarray(0, to - from));
      piece.ready.catch(() => {});
      this.pieces.set(p, piece);
    }
    return piece;
  }
  // A piece let go gives its buffer back once its read and the decryptions
  // of its windows are done.
  recycle(piece) {
    if (!piece.dropped || piece.refs > 0) return;
    piece.ready.then((v) => this.spare.length < SPARE && this.spare.push(new Uint8Array(v.buffer)), () => {});
  }
  window(i) {
    let w = this.windows.get(i);
    if (!w) {
      const piece = this.piece(Math.floor(i / this.perPiece));
      ++piece.refs;
      w = piece.ready
        .then((bytes) => {
          const [from, to] = this.body.cipherRange(i);
          return this.body.decrypt(i, bytes.subarray(from - piece.from, to - piece.from));
        })
        .finally(() => {
          --piece.refs;
          this.recycle(piece);
        });
      w.catch(() => {});
      this.windows.set(i, w);
    }
    return w;
  }
  // Only windows first..last are wanted now: the others are let go, with
  // the pieces they lie in; the pieces of the wanted ones, and the piece
  // after the first, are read in order.
  keep(first, last) {
    for (const k of this.windows.keys()) if (k < first || k > last) this.windows.delete(k);
    const from = Math.floor(first / this.perPiece);
    const to = Math.max(Math.floor(last / this.perPiece), Math.min(from + 1, this.lastPiece));
    for (const [p, piece] of [...this.pieces]) {
      if (p >= from && p <= to) continue;
      this.pieces.delete(p);
      piece.dropped = true;
      this.recycle(piece);
    }
    for (let p = from; p <= to; ++p) this.piece(p);
  }
}

// Reads the plaintext from a source of windows (Windows, or the same in a
// worker): ahead is the number of windows asked for ahead of the one in use,
// end the archive offset nothing is read ahead beyond.
export class Plain {
  constructor(source, body, { ahead = 0, end = body.size } = {}) {
    this.source = source;
    this.body = body;
    this.ahead = ahead;
    this.lastWindow = lastWindowBefore(body, end);
    this.index = -1;
    this.buf = new Uint8Array(0);
    this.base = 0;
    this.at = 0;
    this.spill = new Uint8Array(SPILL);
  }
  get pos() {
    return this.base + this.at;
  }
  async load(i) {
    if (i >= this.body.windows) fail('damaged');
    const upTo = Math.max(i, Math.min(i + this.ahead, this.lastWindow));
    this.source.keep(i, upTo);
    const w = this.source.window(i);
    for (let k = i + 1; k <= upTo; ++k) this.source.window(k);
    this.buf = await w;
    this.index = i;
    this.base = i * this.body.window;
  }
  async seek(offset) {
    if (this.index < 0 || offset < this.base || offset > this.base + this.buf.length)
      await this.load(Math.floor(offset / this.body.window));
    this.at = offset - this.base;
  }
  // The next count bytes when the window holds them (a view, valid until
  // the next call), else null.
  takeNow(count) {
    if (this.at + count > this.buf.length) return null;
    this.at += count;
    return this.buf.subarray(this.at - count, this.at);
  }
  // The next count bytes: a view into the window or, across windows, a
  // copy; either is valid until the next call.
  async take(count) {
    const now = this.takeNow(count);
    if (now) return now;
    if (this.pos + count > this.body.size) fail('damaged');
    const out = count <= SPILL ? this.spill.subarray(0, count) : new Uint8Array(count);
    for (let got = 0; got < count; ) {
      if (this.at === this.buf.length) {
        await this.load(this.index + 1);
        this.at = 0;
      }
      const n = Math.min(count - got, this.buf.length - this.at);
      out.set(this.buf.subarray(this.at, this.at + n), got);
      this.at += n;
      got += n;
    }
    return out;
  }
}
