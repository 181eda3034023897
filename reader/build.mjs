// Builds the reader into one self-contained page: the bundled script and the
// style sheet inline, under a Content-Security-Policy that admits exactly
// those two (by their digests) and the page's own worker (made from a blob:
// URL, which takes the page's policy), and forbids every request.
//   node build.mjs OUTPUT.html
import { build } from 'esbuild';
import { createHash } from 'node:crypto';
import { readFileSync, writeFileSync, mkdirSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const out = process.argv[2];
if (!out) {
  console.error('usage: node build.mjs OUTPUT.html');
  process.exit(2);
}
const options = {
  bundle: true,
  format: 'iife',
  minify: true,
  legalComments: 'none',
  target: ['chrome105', 'firefox113', 'safari16.4'],
  charset: 'utf8',
  write: false,
};
// The worker that decrypts while the page saves goes into the page as a
// text, started from a blob: URL.
const worker = await build({ ...options, entryPoints: [join(here, 'src/worker.js')] });
const bundle = await build({
  ...options,
  entryPoints: [join(here, 'src/main.js')],
  define: { KYVO_WORKER: JSON.stringify(worker.outputFiles[0].text) },
});
// "</script" cannot stand inside the element; in the bundle it can only be
// part of a string, where "<\/" means the same.
const script = bundle.outputFiles[0].text.replace(/<\/(script)/gi, '<\\/$1').trimEnd();
const style = readFileSync(join(here, 'src/style.css'), 'utf8').trim();
const digest = (s) => `'sha256-${createHash('sha256').update(s, 'utf8').digest('base64')}'`;
const csp = [
  "default-src 'none'",
  `script-src ${digest(script)}`,
  `style-src ${digest(style)}`,
  "connect-src 'none'",
  "img-src 'none'",
  "font-src 'none'",
  "media-src 'none'",
  "object-src 'none'",
  "frame-src 'none'",
  'worker-src blob:',
  "manifest-src 'none'",
  "form-action 'none'",
  "base-uri 'none'",
].join('; ');
const page = readFileSync(join(here, 'src/page.html'), 'utf8')
  .replace('@CSP@', csp)
  .replace('@STYLE@', () => style)
  .replace('@SCRIPT@', () => script);
mkdirSync(dirname(out), { recursive: true });
writeFileSync(out, page);
console.log(`${out}: ${page.length} bytes`);
