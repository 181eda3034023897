// For bench/run: one result opened and zipped by the reader page in headless
// Chromium, through its interface, best of REPEATS.
//   node bench.mjs PAGE RESULT PASSWORD [REPEATS]
// Prints "@reader_open_s", "@reader_zip_s" (the best run's) and "@zip_bytes".
import { launch, readerPage, pick } from './browser.mjs';

const [pagePath, result, password, repeats = '3'] = process.argv.slice(2);
const browser = await launch();
try {
  const { page } = await readerPage(browser, pagePath, 'en-US');
  await pick(page, result);
  let best = null;
  for (let i = 0; i < Number(repeats); ++i) {
    const run = await page.evaluate(async (pw) => {
      const t0 = performance.now();
      const { entries } = await KyvoReader.open(document.getElementById('file').files[0], pw);
      const t1 = performance.now();
      const zip = await KyvoReader.zip(entries);
      const t2 = performance.now();
      return { open: (t1 - t0) / 1000, zip: (t2 - t1) / 1000, bytes: zip.size, files: entries.length };
    }, password);
    console.log(`  run ${i + 1}: open ${run.open.toFixed(2)} s, zip ${run.zip.toFixed(2)} s (${run.files} entries, zip ${run.bytes} bytes)`);
    if (!best || run.open + run.zip < best.open + best.zip) best = run;
  }
  console.log(`@reader_open_s ${best.open}\n@reader_zip_s ${best.zip}\n@zip_bytes ${best.bytes}`);
} finally {
  await browser.close();
}
