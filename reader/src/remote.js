// The windows of a result decrypted in a worker while the page saves: the
// page's thread then only inflates, checks and writes. The worker is built
// into the page (no request is made for it); where it cannot start, the
// windows are decrypted here instead.
/* global KYVO_WORKER */
import { ReaderError } from './errors.js';
import { Windows } from './plain.js';

// A worker that has said it runs, or null.
function startWorker() {
  return new Promise((resolve) => {
    let worker;
    let url;
    try {
      url = URL.createObjectURL(new Blob([KYVO_WORKER], { type: 'text/javascript' }));
      worker = new Worker(url);
    } catch {
      if (url) URL.revokeObjectURL(url);
      resolve(null);
      return;
    }
    worker.onmessage = () => {
      URL.revokeObjectURL(url);
      resolve(worker);
    };
    worker.onerror = (e) => {
      e.preventDefault();
      URL.revokeObjectURL(url);
      worker.terminate();
      resolve(null);
    };
  });
}

class Remote {
  constructor(worker, body, end) {
    this.worker = worker;
    this.pending = new Map(); // index -> { resolve, reject }
    this.windows = new Map(); // index -> Promise<Uint8Array>
    const { blob, start, length } = body.container;
    worker.postMessage({ open: { params: body.params, blob, start, length, end } });
    worker.onmessage = ({ data }) => {
      const p = this.pending.get(data.i);
      if (!p) return; // a window asked for twice: the first answer served the later request
      this.pending.delete(data.i);
      if (data.error) p.reject(new ReaderError(data.error.code, data.error.detail));
      else p.resolve(data.bytes);
    };
    worker.onerror = (e) => {
      e.preventDefault();
      for (const p of this.pending.values()) p.reject(new ReaderError('unreadable', e.message));
      this.pending.clear();
    };
  }
  window(i) {
    let w = this.windows.get(i);
    if (!w) {
      w = new Promise((resolve, reject) => this.pending.set(i, { resolve, reject }));
      w.catch(() => {});
      this.windows.set(i, w);
      this.worker.postMessage({ window: i });
    }
    return w;
  }
  keep(first, last) {
    for (const k of this.windows.keys()) if (k < first || k > last) this.windows.delete(k);
    this.worker.postMessage({ keep: [first, last] });
  }
  close() {
    this.worker.terminate();
  }
}

// A source of the body's windows for a save reading up to end.
export async function windowsFor(body, end) {
  const worker = await startWorker();
  if (!worker) return Object.assign(new Windows(body, end), { close() {} });
  return new Remote(worker, body, end);
}
