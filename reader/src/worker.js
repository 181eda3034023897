// The worker that reads and decrypts the windows of a result while the page
// saves: what it is asked for comes back as each window's plaintext, its
// memory handed over. It runs the page's own code, built into the page.
import { ReaderError } from './errors.js';
import { Windows } from './plain.js';
import { cbcWindows } from './container1.js';
import { gcmWindows } from './container2.js';
import { containerAt } from './source.js';

let windows = null;
self.onmessage = ({ data }) => {
  if (data.open) {
    const { params, blob, start, length, end } = data.open;
    const [format, key, n] = params;
    const body = format === 1 ? cbcWindows(key, n) : gcmWindows(key, n);
    windows = new Windows({ ...body, container: containerAt(blob, start, length) }, end);
  } else if (data.keep) {
    windows.keep(...data.keep);
  } else {
    const i = data.window;
    const w = windows.window(i);
    windows.windows.delete(i); // its memory goes to the page
    w.then(
      (bytes) => self.postMessage({ i, bytes }, [bytes.buffer]),
      (e) => {
        const known = e instanceof ReaderError;
        self.postMessage({ i, error: { code: known ? e.code : 'unreadable', detail: known ? e.detail : String(e && e.message ? e.message : e) } });
      },
    );
  }
};
self.postMessage({ ready: true });
