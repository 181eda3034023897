import { open, zip } from './reader.js';
import { startPage } from './ui.js';

// The page's own interface, for scripts and tests: open(blob, password)
// resolves to { entries: [{ path, folder, size, mtime, data() }] } or
// rejects with { code, message }; zip(entries) resolves to a Blob.
window.KyvoReader = Object.freeze({ open, zip });

if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', startPage);
else startPage();
