// For bench/run: one result opened by the reader page in headless Chromium
// and saved through its interface into a folder of the origin-private file
// system (what a user's folder is to the page), then, with --zip, streamed
// as a zip into a file there; while it runs, the resident memory of all of
// Chromium's processes (their proportional sets) is sampled.
//   node bench.mjs PAGE RESULT PASSWORD [--zip]
// Prints "@reader_open_s", "@reader_save_s", "@reader_zip_s" (with --zip),
// "@reader_peak_rss" and "@reader_idle_rss" (bytes), "@reader_bytes" (the
// files' bytes) and "@reader_saved_ok" (1 when the folder holds them all).
//   node bench.mjs make-large FILE BYTES
// Writes the large file of the bench, unless it is there already: the same
// bytes every time, incompressible (AES-CTR noise, as in a video or a
// compressed archive) but for 64 MiB of zeros from the middle on.
import { readFileSync, readdirSync, statSync, createWriteStream, renameSync } from 'node:fs';
import { createCipheriv } from 'node:crypto';
import { once } from 'node:events';
import { launch, servePage, readerPage, pick } from './browser.mjs';

if (process.argv[2] === 'make-large') {
  const [file, size] = [process.argv[3], Number(process.argv[4])];
  if (statSync(file, { throwIfNoEntry: false })?.size === size) process.exit(0);
  const noise = createCipheriv('aes-128-ctr', Buffer.alloc(16, 7), Buffer.alloc(16));
  const hole = [Math.floor(size / 2), Math.floor(size / 2) + (64 << 20)];
  const out = createWriteStream(`${file}.part`);
  const zeros = Buffer.alloc(1 << 20);
  for (let at = 0; at < size; ) {
    const n = Math.min(zeros.length, size - at, at < hole[0] ? hole[0] - at : at < hole[1] ? hole[1] - at : size);
    const piece = at >= hole[0] && at < hole[1] ? zeros.subarray(0, n) : noise.update(zeros.subarray(0, n));
    if (!out.write(piece)) await once(out, 'drain');
    at += n;
  }
  out.end();
  await once(out, 'finish');
  renameSync(`${file}.part`, file);
  process.exit(0);
}

const [pagePath, result, password, ...flags] = process.argv.slice(2);

// The resident memory of a process and all below it, in bytes: each one's
// proportional set (a page shared by n processes counts 1/n in each, so the
// sum counts it once), as the system would have to hold it.
function treeRss(top) {
  const children = new Map();
  for (const name of readdirSync('/proc')) {
    if (!/^\d+$/.test(name)) continue;
    try {
      const ppid = Number(/^PPid:\s+(\d+)/m.exec(readFileSync(`/proc/${name}/status`, 'utf8'))[1]);
      if (!children.has(ppid)) children.set(ppid, []);
      children.get(ppid).push(Number(name));
    } catch {
      // gone meanwhile
    }
  }
  let sum = 0;
  const visit = (pid) => {
    try {
      sum += Number(/^Pss:\s+(\d+)/m.exec(readFileSync(`/proc/${pid}/smaps_rollup`, 'utf8'))?.[1] ?? 0) * 1024;
    } catch {
      // gone meanwhile
    }
    for (const c of children.get(pid) ?? []) visit(c);
  };
  visit(top);
  return sum;
}

const browser = await launch();
const server = await servePage(pagePath);
try {
  const { page } = await readerPage(browser, server.url, 'en-US');
  await pick(page, result);
  const pid = browser.process().pid;
  const idle = treeRss(pid);
  let peak = idle;
  const sampler = setInterval(() => (peak = Math.max(peak, treeRss(pid))), 50);
  const run = await page.evaluate(async (pw, withZip) => {
    const root = await navigator.storage.getDirectory();
    const t0 = performance.now();
    const { entries } = await KyvoReader.open(document.getElementById('file').files[0], pw);
    const t1 = performance.now();
    const folder = await root.getDirectoryHandle('saved', { create: true });
    await KyvoReader.saveTo(entries, folder);
    const t2 = performance.now();
    let zip = null;
    if (withZip) {
      const to = await root.getFileHandle('saved.zip', { create: true });
      await KyvoReader.zip(entries, { to });
      zip = (performance.now() - t2) / 1000;
    }
    // What the folder holds, against the listing.
    let saved = 0;
    let count = 0;
    const walk = async (dir) => {
      for await (const h of dir.values()) {
        if (h.kind === 'directory') await walk(h);
        else {
          saved += (await h.getFile()).size;
          ++count;
        }
      }
    };
    await walk(folder);
    const files = entries.filter((e) => !e.folder);
    const bytes = files.reduce((n, e) => n + e.size, 0);
    await root.removeEntry('saved', { recursive: true });
    if (withZip) await root.removeEntry('saved.zip');
    return { open: (t1 - t0) / 1000, save: (t2 - t1) / 1000, zip, bytes, files: files.length, ok: saved === bytes && count === files.length };
  }, password, flags.includes('--zip'));
  clearInterval(sampler);
  peak = Math.max(peak, treeRss(pid));
  console.log(`open ${run.open.toFixed(2)} s, save to a folder ${run.save.toFixed(2)} s` +
    `${run.zip === null ? '' : `, zip streamed into a file ${run.zip.toFixed(2)} s`} (${run.files} files, ${run.bytes} bytes` +
    `${run.ok ? '' : ', NOT ALL SAVED'}); Chromium's resident memory (PSS) ${(idle / 2 ** 20).toFixed(0)} MiB idle, ` +
    `${(peak / 2 ** 20).toFixed(0)} MiB at the peak`);
  console.log(`@reader_open_s ${run.open}\n@reader_save_s ${run.save}`);
  if (run.zip !== null) console.log(`@reader_zip_s ${run.zip}`);
  console.log(`@reader_peak_rss ${peak}\n@reader_idle_rss ${idle}\n@reader_bytes ${run.bytes}\n@reader_saved_ok ${run.ok ? 1 : 0}`);
} finally {
  await browser.close();
  await server.close();
}
