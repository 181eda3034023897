// Debian's Chromium, headless, with the reader page opened from the disk, and
// every request the page makes recorded.
import puppeteer from 'puppeteer-core';
import { pathToFileURL } from 'node:url';

export async function launch() {
  return puppeteer.launch({
    executablePath: process.env.KYVO_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--no-default-browser-check'],
  });
}

// A fresh page in the given language (navigator.language), with the reader
// loaded; requests lists every request it made.
export async function readerPage(browser, pagePath, locale) {
  const page = await browser.newPage();
  const requests = [];
  page.on('request', (r) => requests.push(r.url()));
  const cdp = await page.createCDPSession();
  await cdp.send('Emulation.setLocaleOverride', { locale });
  await page.evaluateOnNewDocument((l) => {
    Object.defineProperty(navigator, 'languages', { get: () => [l] });
    Object.defineProperty(navigator, 'language', { get: () => l });
  }, locale);
  const url = pathToFileURL(pagePath).href;
  await page.goto(url, { waitUntil: 'load' });
  return { page, requests, url };
}

// Hands a file to the page's own file control.
export async function pick(page, file) {
  const input = await page.$('#file');
  await input.uploadFile(file);
}
