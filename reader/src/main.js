import { open, zip, saveTo } from './reader.js';
import { startPage } from './ui.js';

// The page's own interface, for scripts and tests:
// - open(blob, password, { onProgress, signal }) resolves to { format,
//   entries: [{ path, folder, size, mtime, data() }] } or rejects with
//   { code, message };
// - zip(entries, { to, onProgress, signal }) streams the zip into the file
//   handle `to`, or resolves to a Blob without one;
// - saveTo(entries, directoryHandle, { onProgress, signal }) writes the
//   entries into the folder.
// onProgress hears { done, total, name }; a signal that aborts stops the
// work with the code "cancelled".
window.KyvoReader = Object.freeze({ open, zip, saveTo });

if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', startPage);
else startPage();
