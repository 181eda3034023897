// The decrypted archive in aligned windows of one piece each, the last few
// kept: the files of an archive lie side by side, so saving them one after
// another (or a few at once) reads and decrypts each window of the result
// once, not once per file.
const KEPT = 4;

export function withWindows(body) {
  const size = body.piece;
  const kept = new Map(); // window index -> Promise<Uint8Array>
  const windowAt = (i) => {
    let w = kept.get(i);
    if (w) {
      kept.delete(i);
    } else {
      w = body.read(i * size, Math.min(size, body.size - i * size));
      w.catch(() => kept.delete(i));
    }
    kept.set(i, w);
    if (kept.size > KEPT) kept.delete(kept.keys().next().value);
    return w;
  };
  async function read(offset, length) {
    if (length === 0) return new Uint8Array(0);
    const first = Math.floor(offset / size);
    const last = Math.floor((offset + length - 1) / size);
    if (first === last) return (await windowAt(first)).subarray(offset - first * size, offset - first * size + length);
    const out = new Uint8Array(length);
    for (let i = first; i <= last; ++i) {
      const w = await windowAt(i);
      const from = Math.max(offset, i * size);
      const to = Math.min(offset + length, i * size + w.length);
      out.set(w.subarray(from - i * size, to - i * size), from - offset);
    }
    return out;
  }
  return { ...body, read };
}
