// The result file, read in slices: nothing of it is held whole.
import { fail } from './errors.js';

export async function readSlice(blob, start, end) {
  try {
    return new Uint8Array(await blob.slice(start, end).arrayBuffer());
  } catch (e) {
    fail('unreadable', e && e.message ? e.message : String(e));
  }
}

// The payload trailer: the last 12 bytes are the container's length (64
// bits) and the marker 0xFF00AA55; the container lies just before them.
export async function findContainer(blob) {
  if (blob.size < 12) fail('not-a-result');
  const t = await readSlice(blob, blob.size - 12, blob.size);
  const view = new DataView(t.buffer);
  if (view.getUint32(8, true) !== 0xff00aa55) fail('not-a-result');
  const length = view.getUint32(0, true) + view.getUint32(4, true) * 2 ** 32;
  if (length > blob.size - 12) fail('not-a-result');
  const start = blob.size - 12 - length;
  return { blob, start, length, read: (from, to) => readSlice(blob, start + from, start + to) };
}
