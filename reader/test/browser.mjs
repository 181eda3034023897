// Debian's Chromium, headless, with the reader page served from 127.0.0.1
// (a secure context, where the origin-private file system is there), and
// every request the page makes recorded.
import puppeteer from 'puppeteer-core';
import { createServer } from 'node:http';
import { readFileSync } from 'node:fs';
import { basename } from 'node:path';

export async function launch() {
  return puppeteer.launch({
    executablePath: process.env.KYVO_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--no-default-browser-check'],
  });
}

// Serves the page alone on a free port of 127.0.0.1; { url, close() }.
export async function servePage(pagePath) {
  const page = readFileSync(pagePath);
  const path = `/${basename(pagePath)}`;
  const server = createServer((req, res) => {
    if (req.url !== path) {
      res.writeHead(404).end();
      return;
    }
    res.writeHead(200, { 'content-type': 'text/html; charset=utf-8' }).end(page);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return { url: `http://127.0.0.1:${server.address().port}${path}`, close: () => new Promise((r) => server.close(r)) };
}

// Stand-ins for the user's answer to the browser's pickers: a folder or a
// file of the origin-private file system under "picked" (real handles,
// which a headless browser has no dialog to give).
function pickersInOpfs() {
  const picked = async () => (await navigator.storage.getDirectory()).getDirectoryHandle('picked', { create: true });
  window.showDirectoryPicker = async () => picked();
  window.showSaveFilePicker = async ({ suggestedName }) => (await picked()).getFileHandle(suggestedName, { create: true });
}
// A browser without them, as Firefox and Safari are.
function noPickers() {
  for (const name of ['showDirectoryPicker', 'showSaveFilePicker'])
    Object.defineProperty(window, name, { value: undefined, configurable: true });
}

// A fresh page in the given language (navigator.language), with the reader
// loaded; requests lists every request it made. pickers: 'opfs' or 'none'
// to replace the browser's own (left as they are without).
export async function readerPage(browser, url, locale, pickers) {
  const page = await browser.newPage();
  const requests = [];
  page.on('request', (r) => requests.push(r.url()));
  const cdp = await page.createCDPSession();
  await cdp.send('Emulation.setLocaleOverride', { locale });
  await page.evaluateOnNewDocument((l) => {
    Object.defineProperty(navigator, 'languages', { get: () => [l] });
    Object.defineProperty(navigator, 'language', { get: () => l });
  }, locale);
  if (pickers === 'opfs') await page.evaluateOnNewDocument(pickersInOpfs);
  if (pickers === 'none') await page.evaluateOnNewDocument(noPickers);
  await page.goto(url, { waitUntil: 'load' });
  return { page, requests };
}

// Hands a file to the page's own file control.
export async function pick(page, file) {
  const input = await page.$('#file');
  await input.uploadFile(file);
}
