// The page's controls: pick or drop a result, type its password, open it,
// then save everything as one zip or each file alone. Nothing leaves the
// browser: saving hands a Blob of this page to the browser's downloads.
import { open, zip } from './reader.js';
import { text, pageLanguage } from './messages.js';

const $ = (id) => document.getElementById(id);
let opened = null; // { name, entries } of the result on show

function show(kind, message) {
  const box = $('message');
  box.textContent = message;
  box.className = kind;
  box.hidden = !message;
}

function save(blob, name) {
  const url = URL.createObjectURL(blob);
  const a = document.createElement('a');
  a.href = url;
  a.download = name;
  document.body.appendChild(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

const baseName = (fileName) => fileName.replace(/(\.crpt)?\.(exe|ex_)$/i, '') || 'kyvomar';

function formatSize(n) {
  return new Intl.NumberFormat(pageLanguage()).format(n);
}

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
      button.addEventListener('click', () => run(async () => save(await e.data(), parts[parts.length - 1])));
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

let busy = false;
async function run(work, busyText) {
  if (busy) return;
  busy = true;
  document.body.classList.add('busy');
  for (const b of document.querySelectorAll('button')) b.disabled = true;
  if (busyText) show('status', busyText);
  try {
    await work();
    if (busyText) show('', '');
  } catch (e) {
    clearTree();
    show('error', e && e.message ? e.message : String(e));
  } finally {
    for (const b of document.querySelectorAll('button')) b.disabled = false;
    document.body.classList.remove('busy');
    $('progress').hidden = true;
    busy = false;
  }
}

async function openChosen() {
  clearTree();
  const file = $('file').files[0];
  if (!file) return show('error', text('no-file'));
  const password = $('password').value;
  await run(async () => {
    const progress = $('progress');
    progress.value = 0;
    progress.hidden = false;
    const result = await open(file, password, { onProgress: (f) => (progress.value = f) });
    opened = { name: baseName(file.name), entries: result.entries };
    listTree(result.entries);
    $('contents').hidden = false;
  }, text('opening'));
}

export function startPage() {
  document.documentElement.lang = pageLanguage();
  document.title = text('title');
  for (const el of document.querySelectorAll('[data-text]')) el.textContent = text(el.dataset.text);
  if (!window.crypto || !crypto.subtle || typeof DecompressionStream === 'undefined') {
    show('error', text('unsupported'));
    $('open').disabled = true;
    return;
  }
  $('form').addEventListener('submit', (ev) => {
    ev.preventDefault();
    openChosen();
  });
  $('file').addEventListener('change', () => {
    clearTree();
    show('', '');
  });
  $('save-zip').addEventListener('click', () =>
    run(async () => save(await zip(opened.entries), opened.name + '.zip'), text('saving')),
  );
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
