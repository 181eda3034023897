// The result file, read in slices: nothing of it is held whole.
import { fail } from './errors.js';
import { le32 } from './bytes.js';

export async function readSlice(blob, start, end) {
  try {
    return new Uint8Array(await blob.slice(start, end).arrayBuffer());
  } catch (e) {
    fail('unreadable', e && e.message ? e.message : String(e));
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
  return { blob, start, length, read: (from, to) => readSlice(blob, start + from, start + to) };
}
