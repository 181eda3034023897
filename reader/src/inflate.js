// One block's zlib stream (RFC 1950) through the browser's own inflater.
// Resolves to the bytes, or to null when the stream is damaged or would
// inflate to more than one chunk (32768 bytes), which no packer writes.
const CHUNK = 32768;

export async function inflateBlock(bytes) {
  const ds = new DecompressionStream('deflate');
  const writer = ds.writable.getWriter();
  const reader = ds.readable.getReader();
  writer.write(bytes).catch(() => {});
  writer.close().catch(() => {});
  const parts = [];
  let total = 0;
  try {
    for (;;) {
      const { done, value } = await reader.read();
      if (done) break;
      total += value.length;
      if (total > CHUNK) {
        reader.cancel().catch(() => {});
        return null;
      }
      parts.push(value);
    }
  } catch {
    return null;
  }
  if (parts.length === 1) return parts[0];
  const out = new Uint8Array(total);
  let at = 0;
  for (const p of parts) {
    out.set(p, at);
    at += p.length;
  }
  return out;
}
