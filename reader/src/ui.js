// The page's controls: pick or drop a result, type its password, open it,
// then save everything into a folder (where the browser can write one), as
// one zip, or each file alone. Nothing leaves the browser: where the browser
// lets the page write files, they are written where the user picks; else a
// Blob of this page goes to the browser's downloads.
import { open, zip, saveTo, saveFile } from './reader.js';
import { text, pageLanguage } from './messages.js';

const $ = (id) => document.getElementById(id);
let opened = null; // { name, entries } of the result on show
const canPickFolder = typeof window.showDirectoryPicker === 'function';
const canPickFile = typeof window.showSaveFilePicker === 'function';

function show(kind, message) {
  const box = $('message');
  box.textContent = message;
  box.className = kind;
  box.hidden = !message;
}

function download(blob, name) {
  const url = URL.createObjectURL(blob);
  const a = document.createElement('a');
  a.href = url;
  a.download = name;
  document.body.appendChild(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

const baseName = (fileName) => fileName.replace(/(\.crpt)?\.(exe|ex_|kyvo)$/i, '') || 'kyvomar';

const formatSize = (n) => new Intl.NumberFormat(pageLanguage()).format(n);
const formatMB = (n) => new Intl.NumberFormat(pageLanguage(), { minimumFractionDigits: 1, maximumFractionDigits: 1 }).format(n / 1e6);

function listTree(entries) {
  const body = $('tree').tBodies[0];
  body.replaceChildren();
  for (const e of entries) {
    const row = body.insertRow();
    row.className = e.folder ? 'folder' : 'file';
    row.dataset.path = e.path;
    const parts = e.path.split('/');
    const name = row.insertCell();
    name.textContent = parts[parts.length - 1];
    name.style.paddingInlineStart = `${0.4 + 1.4 * (parts.length - 1)}em`;
    name.title = e.path;
    row.insertCell().textContent = e.folder ? '' : formatSize(e.size);
    row.insertCell().textContent = e.mtime ? e.mtime.toLocaleString(pageLanguage()) : '';
    const action = row.insertCell();
    if (!e.folder) {
      const button = document.createElement('button');
      button.type = 'button';
      button.className = 'save-file';
      button.textContent = text('save');
      button.addEventListener('click', () => run((options) => saveOne(e, parts[parts.length - 1], options), false));
      action.appendChild(button);
    }
  }
  const files = entries.filter((e) => !e.folder).length;
  $('summary').textContent = text('summary', files, entries.length - files);
}

function clearTree() {
  opened = null;
  $('contents').hidden = true;
  $('tree').tBodies[0].replaceChildren();
}

// Progress of the running work, and its Cancel button.
function onProgress({ done, total, name }) {
  $('progress').value = total ? done / total : 0;
  $('progress-text').textContent = text('progress', name, formatMB(done), formatMB(total));
}

let busy = false;
// Runs one piece of work with the controls held; a failure of an opening
// clears the tree, a failure of a save leaves it for another try. A picker
// the user closed is no failure.
async function run(work, opening) {
  if (busy) return;
  busy = true;
  const controller = new AbortController();
  document.body.classList.add('busy');
  for (const b of document.querySelectorAll('button')) b.disabled = true;
  $('cancel').disabled = false;
  $('cancel').onclick = () => controller.abort();
  $('progress').value = 0;
  $('progress-text').textContent = text(opening ? 'opening' : 'saving');
  show('', '');
  const working = setTimeout(() => ($('working').hidden = false), 150);
  try {
    const done = await work({ onProgress, signal: controller.signal });
    if (done) show('status', done);
  } catch (e) {
    if (e && e.name === 'AbortError') return;
    if (e && e.code === 'cancelled') {
      show('status', text('cancelled'));
      return;
    }
    if (opening) clearTree();
    show('error', e && e.message ? e.message : String(e));
  } finally {
    clearTimeout(working);
    $('working').hidden = true;
    for (const b of document.querySelectorAll('button')) b.disabled = false;
    document.body.classList.remove('busy');
    busy = false;
  }
}

async function openChosen() {
  clearTree();
  const file = $('file').files[0];
  if (!file) return show('error', text('no-file'));
  const password = $('password').value;
  await run(async (options) => {
    const result = await open(file, password, options);
    opened = { name: baseName(file.name), entries: result.entries };
    listTree(result.entries);
    $('contents').hidden = false;
  }, true);
}

async function saveFolder(options) {
  const folder = await window.showDirectoryPicker({ id: 'kyvomar', mode: 'readwrite' });
  await saveTo(opened.entries, folder, options);
  return text('saved');
}

async function saveZip(options) {
  const name = `${opened.name}.zip`;
  if (!canPickFile) return download(await zip(opened.entries, options), name);
  const to = await window.showSaveFilePicker({ suggestedName: name, types: [{ accept: { 'application/zip': ['.zip'] } }] });
  await zip(opened.entries, { ...options, to });
  return text('saved');
}

async function saveOne(entry, name, options) {
  if (!canPickFile) return download(await entry.data(), name);
  const handle = await window.showSaveFilePicker({ suggestedName: name });
  await saveFile(entry, handle, options);
  return text('saved');
}

export function startPage() {
  document.documentElement.lang = pageLanguage();
  document.title = text('title');
  for (const el of document.querySelectorAll('[data-text]')) el.textContent = text(el.dataset.text);
  if (!window.crypto || !crypto.subtle) {
    show('error', text('unsupported'));
    $('open').disabled = true;
    return;
  }
  $('save-folder').hidden = !canPickFolder;
  $('save-zip').classList.toggle('secondary', canPickFolder); // the folder is the first choice
  $('times-note').hidden = !canPickFolder && !canPickFile;
  $('form').addEventListener('submit', (ev) => {
    ev.preventDefault();
    openChosen();
  });
  $('file').addEventListener('change', () => {
    clearTree();
    show('', '');
  });
  $('save-folder').addEventListener('click', () => run(saveFolder, false));
  $('save-zip').addEventListener('click', () => run(saveZip, false));
  // A file dropped anywhere on the page is taken as if it was picked.
  document.addEventListener('dragover', (ev) => {
    ev.preventDefault();
    document.body.classList.add('dropping');
  });
  document.addEventListener('dragleave', () => document.body.classList.remove('dropping'));
  document.addEventListener('drop', (ev) => {
    ev.preventDefault();
    document.body.classList.remove('dropping');
    if (ev.dataTransfer && ev.dataTransfer.files.length) {
      $('file').files = ev.dataTransfer.files;
      clearTree();
      show('', '');
      $('password').focus();
    }
  });
}
