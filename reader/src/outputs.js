// Where saved bytes go: a file being written through the browser
// (FileSystemWritableFileStream) or, where there is none, a Blob being
// built. Both gather the small pieces that come (a block, a zip header)
// into larger writes; add() copies what it is given, so the caller may
// reuse its buffer at once, and returns a promise to wait for when too much
// is on its way.
const WRITE = 16 << 20; // bytes per write: the browser takes long over each
const IN_FLIGHT = 16 << 20; // bytes given to the browser and not yet written
// Write buffers whose writes are done, for the next ones: fresh memory is
// slow to come by.
const spare = [];
const bufferOf = (size) => (size === WRITE && spare.length ? spare.pop() : new Uint8Array(size));

export class FileOut {
  // expected: the bytes to come, when known (a file's size), so that a
  // small file gets a small buffer.
  constructor(writable, expected = Infinity) {
    this.writer = writable.getWriter();
    this.left = expected;
    this.buf = null;
    this.used = 0;
    this.pending = []; // [promise, bytes] of the writes on their way
    this.pendingBytes = 0;
    this.settling = null;
  }
  add(bytes) {
    for (let at = 0; at < bytes.length; ) {
      if (!this.buf) this.buf = bufferOf(this.left > 0 ? Math.min(WRITE, this.left) : WRITE);
      const n = Math.min(bytes.length - at, this.buf.length - this.used);
      this.buf.set(bytes.subarray(at, at + n), this.used);
      this.used += n;
      at += n;
      if (this.used === this.buf.length) this.ship();
    }
    if (this.pendingBytes > IN_FLIGHT && !this.settling)
      this.settling = this.settle(IN_FLIGHT / 2).finally(() => (this.settling = null));
    return this.settling;
  }
  ship() {
    if (!this.used) return;
    const chunk = this.used === this.buf.length ? this.buf : this.buf.subarray(0, this.used);
    const p = this.writer.write(chunk);
    const full = this.buf;
    p.then(() => full.length === WRITE && spare.length < 2 && spare.push(full), () => {}); // failures are seen when waited for
    this.pending.push([p, chunk.length]);
    this.pendingBytes += chunk.length;
    this.left -= chunk.length;
    this.buf = null;
    this.used = 0;
  }
  async settle(limit) {
    while (this.pendingBytes > limit) {
      const [p, n] = this.pending.shift();
      await p;
      this.pendingBytes -= n;
    }
  }
  // Everything written and the file closed: only now does it take the
  // place of what was there.
  async finish() {
    this.ship();
    await this.settling;
    await this.settle(0);
    await this.writer.close();
  }
  // The file is left as it was before (the browser drops what was written).
  async abort() {
    await this.writer.abort().catch(() => {});
  }
}

const PART = 8 << 20;

export class BlobOut {
  constructor(type) {
    this.type = type;
    this.parts = [];
    this.buf = new Uint8Array(PART);
    this.used = 0;
  }
  add(bytes) {
    for (let at = 0; at < bytes.length; ) {
      if (this.used === PART) this.ship();
      const n = Math.min(bytes.length - at, PART - this.used);
      this.buf.set(bytes.subarray(at, at + n), this.used);
      this.used += n;
      at += n;
    }
  }
  ship() {
    if (this.used) this.parts.push(new Blob([this.buf.subarray(0, this.used)]));
    this.used = 0;
  }
  // One Blob of the parts: the browser joins them without copying.
  async finish() {
    this.ship();
    this.buf = null;
    return new Blob(this.parts, { type: this.type });
  }
  async abort() {
    this.parts = [];
  }
}

// What walkData pours into, for a consumer of byte views: each block is
// inflated into scratch (at least ROOM bytes) and handed on (a view valid
// only during the call) to onBytes, which may return a promise to wait for.
export function bytesTo(onBytes, scratch) {
  return { room: () => scratch, wait: async () => scratch, commit: (n) => onBytes(scratch.subarray(0, n)) };
}
