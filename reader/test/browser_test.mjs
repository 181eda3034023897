// The reader page in a real browser against results of the real program.
//   node browser_test.mjs PAGE PLAN.json
// PLAN names the source tree, a folder for downloads and the cases: result
// files (some damaged or hostile on purpose), the password to type and what
// must come of it. Every case runs through the page's interface and through
// its own controls, in Japanese and in English; the whole results also go
// through the zip button and the single-file button, and their downloads
// are compared with the source tree by Python's zipfile. The page must make
// no request but loading itself. Prints one line per check and
// "N passed, N failed".
import { readFileSync, readdirSync, statSync, existsSync, rmSync } from 'node:fs';
import { createHash } from 'node:crypto';
import { execFileSync } from 'node:child_process';
import { join, basename } from 'node:path';
import { launch, readerPage, pick } from './browser.mjs';

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
  return out.sort((a, b) => (a.path < b.path ? -1 : 1));
}
const tree = walk(plan.tree);
const expectedListing = tree.map((e) => ({ path: e.path, folder: e.folder, size: e.size ?? 0, sha256: e.sha256 ?? null,
  mtime: e.folder ? null : Number((e.filetime - EPOCH_100NS) / 10000n) }));

// Through the interface: the listing with each file's digest, or the failure.
async function openThroughApi(page, c) {
  await pick(page, c.file);
  return page.evaluate(async (password) => {
    try {
      const { entries } = await KyvoReader.open(document.getElementById('file').files[0], password);
      const listing = [];
      for (const e of entries) {
        const blob = await e.data();
        const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', await blob.arrayBuffer()));
        listing.push({ path: e.path, folder: e.folder, size: e.size, blobSize: blob.size,
          sha256: e.folder ? null : Array.from(digest, (b) => b.toString(16).padStart(2, '0')).join(''),
          mtime: e.mtime ? e.mtime.getTime() : null });
      }
      return { listing };
    } catch (e) {
      return { code: e.code, message: e.message };
    }
  }, c.password);
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
    saveButtons: [...document.querySelectorAll('button.save-file, #save-zip')].filter((b) => b.offsetParent !== null).length,
  }));
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

// Python's zipfile reads the zip: CRCs, UTF-8 flag, sizes, digests and the
// times of the NTFS extra field.
const ZIP_READER = `
import sys, json, zipfile, hashlib, struct
z = zipfile.ZipFile(sys.argv[1])
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
print(json.dumps(out))
`;

function checkZip(label, zipPath) {
  const got = JSON.parse(execFileSync('python3', ['-c', ZIP_READER, zipPath], { encoding: 'utf8' }));
  check(`${label}: zip CRCs`, got.bad === null, String(got.bad));
  const entries = got.entries.sort((a, b) => (a.path < b.path ? -1 : 1));
  check(`${label}: zip holds the tree`, same(entries.map((e) => [e.path, e.folder, e.size, e.sha256]),
    tree.map((e) => [e.path, e.folder, e.size ?? 0, e.sha256 ?? null])), JSON.stringify(entries.map((e) => e.path)));
  check(`${label}: zip entries stored with UTF-8 names`, entries.every((e) => e.utf8 && e.stored));
  const files = tree.filter((e) => !e.folder);
  const byPath = new Map(entries.map((e) => [e.path, e]));
  check(`${label}: zip keeps the times (100 ns, and the local DOS time)`, files.every((f) => {
    const z = byPath.get(f.path);
    if (!z || z.filetime !== String(f.filetime)) return false;
    const d = new Date(Number((f.filetime - EPOCH_100NS) / 10000n));
    const dos = new Date(z.date_time[0], z.date_time[1] - 1, z.date_time[2], z.date_time[3], z.date_time[4], z.date_time[5]);
    return Math.abs(d - dos) < 2000;
  }), JSON.stringify(files.map((f) => [f.path, String(f.filetime), byPath.get(f.path)?.filetime])));
}

const browser = await launch();
try {
  for (const locale of ['ja-JP', 'en-US']) {
    const { page, requests, url } = await readerPage(browser, pagePath, locale);
    const lang = locale.slice(0, 2);
    const messages = new Map();
    for (const c of plan.cases) {
      const label = `${c.name} [${lang}]`;
      const api = await openThroughApi(page, c);
      if (c.expect === 'tree') {
        const listing = (api.listing ?? []).sort((a, b) => (a.path < b.path ? -1 : 1));
        check(`${label}: the interface gives the tree`, same(listing.map(({ blobSize, ...e }) => e), expectedListing),
          api.code ? `${api.code}: ${api.message}` : JSON.stringify(listing));
        check(`${label}: data() gives each file's size`, listing.every((e) => e.size === e.blobSize));
      } else {
        check(`${label}: the interface refuses with ${c.expect}`, api.code === c.expect && !!api.message,
          JSON.stringify(api).slice(0, 300));
      }
      const shown = await openThroughControls(page, c);
      if (c.expect === 'tree') {
        check(`${label}: the page lists the tree`, shown.rows === tree.length && !shown.message, JSON.stringify(shown));
      } else {
        check(`${label}: the page shows the interface's message and nothing to save`,
          shown.message === api.message && shown.rows === 0 && shown.saveButtons === 0, JSON.stringify(shown));
        if (!messages.has(c.expect)) messages.set(c.expect, api.message);
      }
      if (c.expect === 'tree' && lang === 'ja') {
        const zipPath = await download(browser, page, '#save-zip', c.zipName);
        check(`${label}: the zip button saves ${c.zipName}`, zipPath !== null);
        if (zipPath) checkZip(label, zipPath);
        const single = plan.singleFile;
        const row = `#tree tbody tr[data-path="${single}"] button.save-file`;
        const saved = await download(browser, page, row, basename(single));
        const source = tree.find((e) => e.path === single);
        check(`${label}: a file's own button saves it`, saved !== null && sha256(readFileSync(saved)) === source.sha256);
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
    const others = requests.filter((r) => r !== url && !r.startsWith('blob:file'));
    const ownRequests = requests.filter((r) => r === 'http://127.0.0.1:9/');
    check(`[${lang}] no request but the page itself`, others.length === ownRequests.length, JSON.stringify(others));
    await page.close();
  }
} finally {
  await browser.close();
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
