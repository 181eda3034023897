// The reader page in a real browser against results of the real program.
//   node browser_test.mjs PAGE PLAN.json
// PLAN names the source tree, a folder for downloads and the cases: result
// files (some damaged or hostile on purpose), the password to type and what
// must come of it. Every case runs through the page's interface and through
// its own controls, in Japanese (with the browser's pickers answered by
// folders and files of the origin-private file system) and in English (in a
// browser without pickers). The whole results are saved into a folder, as a
// zip streamed into a file and as a downloaded zip, and file by file; what
// is saved is read back and compared with the source tree, the zips by
// Python's zipfile. The page must make no request but loading itself.
// Prints one line per check and "N passed, N failed".
import { readFileSync, readdirSync, statSync, existsSync, rmSync, writeFileSync } from 'node:fs';
import { createHash } from 'node:crypto';
import { execFileSync } from 'node:child_process';
import { join, basename } from 'node:path';
import { launch, servePage, readerPage, pick } from './browser.mjs';

const [pagePath, planPath] = process.argv.slice(2);
const plan = JSON.parse(readFileSync(planPath, 'utf8'));
let passed = 0;
let failed = 0;
function check(name, ok, detail = '') {
  if (ok) ++passed;
  else ++failed;
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${name}${ok || !detail ? '' : `\n     ${detail}`}`);
}
const same = (a, b) => JSON.stringify(a) === JSON.stringify(b);
const sha256 = (b) => createHash('sha256').update(b).digest('hex');
const byPath = (a, b) => (a.path < b.path ? -1 : 1);
const EPOCH_100NS = 116444736000000000n; // 1601-01-01 to 1970-01-01

// The source tree as the reader lists it: paths below the selection's
// parent, folders before their contents, times to the 100 ns.
function walk(root) {
  const out = [];
  const visit = (dir, rel) => {
    for (const name of readdirSync(dir).sort()) {
      const p = join(dir, name);
      const path = rel ? `${rel}/${name}` : name;
      const s = statSync(p, { bigint: true });
      if (s.isDirectory()) {
        out.push({ path, folder: true });
        visit(p, path);
      } else {
        const data = readFileSync(p);
        out.push({ path, folder: false, size: data.length, sha256: sha256(data), filetime: s.mtimeNs / 100n + EPOCH_100NS });
      }
    }
  };
  const top = basename(root);
  out.push({ path: top, folder: true });
  visit(root, top);
  return out.sort(byPath);
}
const tree = walk(plan.tree);
// What a case's listing must be: a file whose write time was taken away has none.
const listingOf = (c) => tree.map((e) => ({ path: e.path, folder: e.folder, size: e.size ?? 0,
  mtime: e.folder || e.path === c.zeroTime ? null : Number((e.filetime - EPOCH_100NS) / 10000n) }));
const contents = tree.map((e) => ({ path: e.path, folder: e.folder, size: e.size ?? 0, sha256: e.sha256 ?? null }));

// In the page: the origin-private file system emptied, and a folder of it
// read back (paths, sizes, digests).
const PAGE_HELPERS = () => {
  window.kyvoTest = {
    async clear() {
      const root = await navigator.storage.getDirectory();
      const names = [];
      for await (const name of root.keys()) names.push(name);
      for (const name of names) await root.removeEntry(name, { recursive: true });
    },
    async folder(...names) {
      let dir = await navigator.storage.getDirectory();
      for (const n of names) dir = await dir.getDirectoryHandle(n, { create: true });
      return dir;
    },
    async read(dir, prefix = '', out = []) {
      for await (const [name, h] of dir.entries()) {
        const path = prefix ? `${prefix}/${name}` : name;
        if (h.kind === 'directory') {
          out.push({ path, folder: true, size: 0, sha256: null });
          await this.read(h, path, out);
          continue;
        }
        const bytes = await (await h.getFile()).arrayBuffer();
        const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', bytes));
        out.push({ path, folder: false, size: bytes.byteLength, sha256: Array.from(digest, (b) => b.toString(16).padStart(2, '0')).join('') });
      }
      return out;
    },
    async base64(handle) {
      const bytes = new Uint8Array(await (await handle.getFile()).arrayBuffer());
      let s = '';
      for (let i = 0; i < bytes.length; i += 32768) s += String.fromCharCode(...bytes.subarray(i, i + 32768));
      return btoa(s);
    },
  };
};

// Through the interface: the listing, or the failure.
async function openThroughApi(page, c) {
  await pick(page, c.file);
  return page.evaluate(async (password) => {
    try {
      const { entries } = await KyvoReader.open(document.getElementById('file').files[0], password);
      window.opened = entries;
      return { listing: entries.map((e) => ({ path: e.path, folder: e.folder, size: e.size, mtime: e.mtime ? e.mtime.getTime() : null })) };
    } catch (e) {
      return { code: e.code, message: e.message };
    }
  }, c.password);
}

// Through the interface, after openThroughApi: the entries saved into a
// folder and read back, and the zip streamed into a file, saved here.
async function saveThroughApi(page, zipPath) {
  const got = await page.evaluate(async () => {
    await kyvoTest.clear();
    const folder = await kyvoTest.folder('api');
    await KyvoReader.saveTo(window.opened, folder);
    const to = await (await kyvoTest.folder('zip')).getFileHandle('a.zip', { create: true });
    await KyvoReader.zip(window.opened, { to });
    return { saved: await kyvoTest.read(folder), zip: await kyvoTest.base64(to) };
  });
  writeFileSync(zipPath, Buffer.from(got.zip, 'base64'));
  return got.saved.sort(byPath);
}

// Through the controls: pick, type, press Open; what the page then shows.
async function openThroughControls(page, c) {
  await pick(page, c.file);
  await page.$eval('#password', (el) => (el.value = ''));
  await page.type('#password', c.password);
  await page.click('#open');
  await page.waitForFunction(() => !document.body.classList.contains('busy') &&
    (!document.getElementById('contents').hidden || document.querySelector('#message.error')), { timeout: 120000 });
  return page.evaluate(() => ({
    message: document.querySelector('#message.error')?.textContent ?? '',
    rows: document.querySelectorAll('#tree tbody tr').length,
    saveButtons: [...document.querySelectorAll('button.save-file, #save-zip, #save-folder')].filter((b) => b.offsetParent !== null).length,
  }));
}

// Presses a button of the page and waits for the work to end; the page's message.
async function press(page, selector) {
  await page.click(selector);
  await page.waitForFunction(() => !document.body.classList.contains('busy') && !document.getElementById('message').hidden,
    { timeout: 120000 });
  return page.$eval('#message', (m) => `${m.className}: ${m.textContent}`);
}

// The next download of the page, waited for in the downloads folder.
async function download(browser, page, selector, name) {
  const target = join(plan.downloads, name);
  rmSync(target, { force: true });
  const cdp = await browser.target().createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: plan.downloads, eventsEnabled: true });
  const done = new Promise((resolve) => cdp.on('Browser.downloadProgress', (e) => e.state !== 'inProgress' && resolve(e.state)));
  await page.click(selector);
  const state = await Promise.race([done, new Promise((r) => setTimeout(() => r('timeout'), 120000))]);
  await cdp.detach();
  return state === 'completed' && existsSync(target) ? target : null;
}

// Python's zipfile reads the zip: CRCs, UTF-8 flag, sizes, digests, the DOS
// time and the times of the NTFS extra field.
const ZIP_READER = `
import sys, json, zipfile, hashlib, struct
def read(path):
  z = zipfile.ZipFile(path)
  out = {"bad": z.testzip(), "entries": []}
  def digest(i):
    try:
      return hashlib.sha256(z.read(i)).hexdigest()
    except zipfile.BadZipFile as e:
      return str(e)
  for i in z.infolist():
    ft = None
    x = i.extra
    while len(x) >= 4:
      tag, size = struct.unpack("<HH", x[:4])
      if tag == 10: ft = struct.unpack("<Q", x[12:20])[0]
      x = x[4 + size:]
    out["entries"].append({"path": i.filename.rstrip("/"), "folder": i.is_dir(), "size": i.file_size,
      "utf8": bool(i.flag_bits & 0x800), "stored": i.compress_type == 0, "date_time": list(i.date_time),
      "sha256": None if i.is_dir() else digest(i), "filetime": str(ft) if ft else None})
  return out
print(json.dumps([read(p) for p in sys.argv[1:]]))
`;

// The zips are read at the end, all by one Python.
const zips = [];
const checkZip = (label, zipPath, c) => zips.push({ label, zipPath, c });
function checkZips() {
  const all = JSON.parse(execFileSync('python3', ['-c', ZIP_READER, ...zips.map((z) => z.zipPath)], { encoding: 'utf8' }));
  zips.forEach(({ label, c }, i) => checkOneZip(label, all[i], c));
}

function checkOneZip(label, got, c) {
  check(`${label}: zip CRCs`, got.bad === null, String(got.bad));
  const entries = got.entries.sort(byPath);
  check(`${label}: zip holds the tree`, same(entries.map((e) => [e.path, e.folder, e.size, e.sha256]),
    contents.map((e) => [e.path, e.folder, e.size, e.sha256])), JSON.stringify(entries.map((e) => e.path)));
  check(`${label}: zip entries stored, non-ASCII names flagged UTF-8`,
    entries.every((e) => e.stored && (e.utf8 || /^[\x20-\x7e]*$/.test(e.path))));
  const zipped = new Map(entries.map((e) => [e.path, e]));
  const files = tree.filter((e) => !e.folder);
  check(`${label}: zip keeps the times (100 ns, and the local DOS time)`, files.every((f) => {
    const z = zipped.get(f.path);
    if (f.path === c.zeroTime) return !!z && z.filetime === null && same(z.date_time, [1980, 1, 1, 0, 0, 0]);
    if (!z || z.filetime !== String(f.filetime)) return false;
    const d = new Date(Number((f.filetime - EPOCH_100NS) / 10000n));
    const dos = new Date(z.date_time[0], z.date_time[1] - 1, z.date_time[2], z.date_time[3], z.date_time[4], z.date_time[5]);
    return Math.abs(d - dos) < 2000;
  }), JSON.stringify(files.map((f) => [f.path, String(f.filetime), zipped.get(f.path)?.filetime, zipped.get(f.path)?.date_time])));
}

// The Japanese page's controls save through the pickers' stand-ins; the
// English page's, without pickers, through downloads.
async function saveThroughControls(browser, page, c, label, lang) {
  const single = plan.singleFile;
  const source = tree.find((e) => e.path === single);
  const row = `#tree tbody tr[data-path="${single}"] button.save-file`;
  if (lang === 'en') {
    const zipPath = await download(browser, page, '#save-zip', c.zipName);
    check(`${label}: the zip button downloads ${c.zipName}`, zipPath !== null);
    if (zipPath) checkZip(`${label} (downloaded)`, zipPath, c);
    const saved = await download(browser, page, row, basename(single));
    check(`${label}: a file's own button downloads it`, saved !== null && sha256(readFileSync(saved)) === source.sha256);
    return;
  }
  await page.evaluate(() => kyvoTest.clear());
  const folder = await press(page, '#save-folder');
  const inFolder = (await page.evaluate(async () => kyvoTest.read(await kyvoTest.folder('picked')))).sort(byPath);
  check(`${label}: the folder button saves the tree into the picked folder`, folder.startsWith('status') && same(inFolder, contents),
    `${folder} ${JSON.stringify(inFolder)}`);
  await page.evaluate(() => kyvoTest.clear());
  const zipped = await press(page, '#save-zip');
  const zip = await page.evaluate(async (name) => kyvoTest.base64(await (await kyvoTest.folder('picked')).getFileHandle(name)),
    c.zipName).catch(() => null);
  check(`${label}: the zip button streams the zip into the picked file`, zipped.startsWith('status') && zip !== null, zipped);
  if (zip) {
    const zipPath = join(plan.downloads, `picked-${c.zipName}`);
    writeFileSync(zipPath, Buffer.from(zip, 'base64'));
    checkZip(`${label} (streamed)`, zipPath, c);
  }
  const one = await press(page, row);
  const got = await page.evaluate(async (name) => (await kyvoTest.read(await kyvoTest.folder('picked'))).find((e) => e.path === name),
    basename(single));
  check(`${label}: a file's own button saves it into the picked file`, one.startsWith('status') && got?.sha256 === source.sha256, one);
}

// Cancelled in the middle of a file, a save leaves that file as it was
// before: gone when it is new, its old contents when it was there; the
// files saved before it are whole.
async function checkCancel(page, c) {
  const target = plan.cancelAt;
  for (const before of [null, 'old contents']) {
    const got = await page.evaluate(async (target, before) => {
      await kyvoTest.clear();
      const root = await kyvoTest.folder('cancel');
      if (before) {
        const parts = target.split('/');
        const dir = await kyvoTest.folder('cancel', ...parts.slice(0, -1));
        const w = await (await dir.getFileHandle(parts.at(-1), { create: true })).createWritable();
        await w.write(before);
        await w.close();
      }
      const controller = new AbortController();
      let code = null;
      try {
        await KyvoReader.saveTo(window.opened, root, {
          signal: controller.signal,
          onProgress: ({ name }) => name === target && controller.abort(),
        });
      } catch (e) {
        code = e.code;
      }
      return { code, saved: await kyvoTest.read(root) };
    }, target, before);
    const left = got.saved.find((e) => e.path === target);
    const whole = got.saved.filter((e) => !e.folder && e.path !== target)
      .every((e) => same(e, contents.find((s) => s.path === e.path)));
    const kept = before ? left?.sha256 === sha256(Buffer.from(before)) : left === undefined;
    check(`${c.name}: a save cancelled in ${target} ${before ? 'keeps the file there before' : 'leaves no part of it'}`,
      got.code === 'cancelled' && kept && whole, JSON.stringify(got).slice(0, 600));
  }
}

// Damage in a file's data is found while that file is saved: the save and
// the zip stop with damage naming it, the folder holds no part of it and
// only whole files, and no zip is left.
async function checkDamagedSave(page, c) {
  const got = await page.evaluate(async () => {
    await kyvoTest.clear();
    const folder = await kyvoTest.folder('api');
    const zipFolder = await kyvoTest.folder('zip');
    const failure = (e) => ({ code: e.code, message: e.message });
    const saved = await KyvoReader.saveTo(window.opened, folder).then(() => null, failure);
    const to = await zipFolder.getFileHandle('a.zip', { create: true });
    const zipped = await KyvoReader.zip(window.opened, { to }).then(() => null, failure);
    return { saved, zipped, inFolder: await kyvoTest.read(folder), inZipFolder: await kyvoTest.read(zipFolder) };
  });
  const shown = c.damagedFile.replaceAll('/', '\\');
  const whole = got.inFolder.every((e) => same(e, contents.find((s) => s.path === e.path)));
  check(`${c.name}: saving stops with damage naming the file, keeping only whole files`,
    got.saved?.code === 'damaged' && got.saved.message.includes(shown) && whole &&
      !got.inFolder.some((e) => e.path === c.damagedFile), JSON.stringify(got).slice(0, 600));
  check(`${c.name}: the zip stops with damage and leaves no file`,
    got.zipped?.code === 'damaged' && got.inZipFolder.length === 0, JSON.stringify(got.zipped));
}

const browser = await launch();
const server = await servePage(pagePath);
try {
  for (const locale of ['ja-JP', 'en-US']) {
    const lang = locale.slice(0, 2);
    const { page, requests } = await readerPage(browser, server.url, locale, lang === 'ja' ? 'opfs' : 'none');
    await page.evaluate(PAGE_HELPERS);
    const messages = new Map();
    for (const c of plan.cases) {
      const label = `${c.name} [${lang}]`;
      const api = await openThroughApi(page, c);
      const opens = c.expect === 'tree' || c.expect === 'damaged-data';
      if (opens) {
        const listing = (api.listing ?? []).sort(byPath);
        check(`${label}: the interface gives the tree`, same(listing, listingOf(c)),
          api.code ? `${api.code}: ${api.message}` : JSON.stringify(listing));
        if (lang === 'ja' && api.listing && c.expect === 'damaged-data') await checkDamagedSave(page, c);
        else if (lang === 'ja' && api.listing) {
          const zipPath = join(plan.downloads, `api-${c.zipName}`);
          const saved = await saveThroughApi(page, zipPath);
          check(`${label}: saveTo writes the tree into a folder`, same(saved, contents), JSON.stringify(saved));
          checkZip(`${label} (interface, streamed)`, zipPath, c);
          if (c.cancel) await checkCancel(page, c);
        }
      } else {
        check(`${label}: the interface refuses with ${c.expect}`, api.code === c.expect && !!api.message,
          JSON.stringify(api).slice(0, 300));
      }
      const shown = await openThroughControls(page, c);
      if (opens) {
        check(`${label}: the page lists the tree`, shown.rows === tree.length && !shown.message, JSON.stringify(shown));
        if (c.controls) await saveThroughControls(browser, page, c, label, lang);
      } else {
        check(`${label}: the page shows the interface's message and nothing to save`,
          shown.message === api.message && shown.rows === 0 && shown.saveButtons === 0, JSON.stringify(shown));
        if (!messages.has(c.expect)) messages.set(c.expect, api.message);
      }
    }
    // Each kind of failure has its own message, in the page's language.
    const texts = [...messages.values()];
    check(`[${lang}] each failure has a message of its own`, new Set(texts).size === texts.length, JSON.stringify(texts));
    const japanese = /[\u3040-\u30ff\u4e00-\u9fff]/;
    check(`[${lang}] messages in the browser's language`, texts.every((t) => (lang === 'ja') === japanese.test(t.replace(/\n[^\n]*\\[^\n]*\n/, '\n'))),
      JSON.stringify(texts));
    if (lang === 'ja')
      check('[ja] a wrong password gets the program\'s own message',
        messages.get('wrong-password') === '復号出来ませんでした。\nパスワードを確認してください');
    // The page's policy stops any request, and the page made none.
    const blocked = await page.evaluate(async () => {
      const seen = new Promise((r) => document.addEventListener('securitypolicyviolation', (e) => r(e.effectiveDirective), { once: true }));
      const fetched = await fetch('http://127.0.0.1:9/').then(() => 'fetched', () => 'refused');
      return [fetched, await Promise.race([seen, new Promise((r) => setTimeout(() => r('no report'), 2000))])];
    });
    check(`[${lang}] the page's policy refuses a request`, same(blocked, ['refused', 'connect-src']), JSON.stringify(blocked));
    // The page's worker starts from a blob: URL and takes the page's policy.
    const fromWorker = await page.evaluate(() => new Promise((resolve) => {
      const code = "addEventListener('securitypolicyviolation', (e) => postMessage(e.effectiveDirective)); fetch('http://127.0.0.1:9/').catch(() => {})";
      new Worker(URL.createObjectURL(new Blob([code], { type: 'text/javascript' }))).onmessage = (e) => resolve(e.data);
      setTimeout(() => resolve('no report'), 2000);
    }));
    check(`[${lang}] a worker of the page cannot make a request either`, fromWorker === 'connect-src', fromWorker);
    const others = requests.filter((r) => r !== server.url && !r.startsWith('blob:'));
    const ownRequests = requests.filter((r) => r === 'http://127.0.0.1:9/');
    check(`[${lang}] no request but the page itself`, others.length === ownRequests.length, JSON.stringify(others));
    await page.close();
  }
  checkZips();
} finally {
  await browser.close();
  await server.close();
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
