// The tree of an archive's entries as it is restored: paths use '/', each
// folder is listed once, before its contents, and files keep the archive's
// order. Windows takes names that differ only in case, or in trailing dots
// and blanks (which it strips), for one name; two entries that would so land
// on one place, or a file and a folder of one name, make the result refused
// like a hostile name: no entry may silently replace or merge with another.
// Each path is walked once, one component at a time: the tree is built in
// time linear in the archive's names.
import { fail } from './errors.js';

// A name as Windows compares it: trailing dots and blanks dropped, each
// character in upper case where that is a single character.
function keyOf(name) {
  let key = '';
  for (const ch of name.replace(/[. ]+$/, '')) {
    const upper = ch.toUpperCase();
    key += upper.length === ch.length ? upper : ch;
  }
  return key;
}

// raw: the archive's entries ({ texts, folder }); fileEntry(raw, path)
// makes a file's entry. Folder entries are { path, folder: true, size: 0,
// mtime: null }.
export function buildTree(raw, fileEntry) {
  const root = new Map(); // key -> { name, children (null for a file) }
  const out = [];
  const clash = (texts, n) => fail('unsafe-name', texts.slice(0, n).join('\\'));
  for (const r of raw) {
    let children = root;
    let path = '';
    const folders = r.folder ? r.texts.length : r.texts.length - 1;
    for (let i = 0; i < folders; ++i) {
      const name = r.texts[i];
      path = i ? `${path}/${name}` : name;
      const key = keyOf(name);
      let node = children.get(key);
      if (!node) {
        node = { name, children: new Map() };
        children.set(key, node);
        out.push({ path, folder: true, size: 0, mtime: null });
      } else if (!node.children || node.name !== name) {
        clash(r.texts, i + 1);
      }
      children = node.children;
    }
    if (r.folder) continue;
    const name = r.texts[folders];
    const key = keyOf(name);
    if (children.has(key)) clash(r.texts, folders + 1);
    children.set(key, { name, children: null });
    out.push(fileEntry(r, folders ? `${path}/${name}` : name));
  }
  return out;
}
