// Checks of the names and folder paths an archive brings along, the same the
// program makes before it restores anything: an entry may only name a place
// below the folder it is restored into. A component is refused when it is
// empty once Windows strips its trailing dots and blanks ("." and ".."
// among them); when it holds '/', '\', ':', a control character or one of
// < > " | ? *; and when its part before the first dot (trailing blanks
// stripped) is a device name. In ANSI names the second byte of a double-byte
// character belongs to its character and never counts as any of these; in
// Unicode entries the bytes must be well-formed UTF-8.
import { isLeadByte, isTrailByte, decodeName } from './sjis.js';

const DEVICES = new Set(['con', 'prn', 'aux', 'nul', 'conin$', 'conout$']);
for (let i = 1; i <= 9; ++i) DEVICES.add('com' + i).add('lpt' + i);

const REFUSED = new Set([...'/:<>"|?*\\'].map((c) => c.charCodeAt(0)));

const isPairAt = (b, i, utf8) => !utf8 && i + 1 < b.length && isLeadByte(b[i]) && isTrailByte(b[i + 1]);

function isSafeComponent(b, utf8) {
  let kept = b.length;
  while (kept > 0 && (b[kept - 1] === 0x2e || b[kept - 1] === 0x20)) --kept;
  if (kept === 0) return false;
  if (utf8 && decodeName(b, true) === null) return false;
  let firstDot = kept;
  for (let i = 0; i < b.length; ++i) {
    if (isPairAt(b, i, utf8)) {
      ++i;
      continue;
    }
    const c = b[i];
    if (c < 0x20 || c === 0x7f || REFUSED.has(c)) return false;
    if (c === 0x2e && firstDot === kept && i < kept) firstDot = i;
  }
  let base = firstDot;
  while (base > 0 && b[base - 1] === 0x20) --base;
  if (base > 7) return true;
  const word = String.fromCharCode(...b.subarray(0, base)).toLowerCase();
  return !DEVICES.has(word);
}

// The components of a folder path (split at single backslashes, Shift-JIS
// rule in ANSI entries), or null when one of them is unsafe. An empty path is
// the top level.
export function safeFolderComponents(b, utf8) {
  if (b.length === 0) return [];
  const parts = [];
  let start = 0;
  for (let i = 0; i <= b.length; ++i) {
    if (i < b.length && isPairAt(b, i, utf8)) {
      ++i;
      continue;
    }
    if (i === b.length || b[i] === 0x5c) {
      const part = b.subarray(start, i);
      if (!isSafeComponent(part, utf8)) return null;
      parts.push(part);
      start = i + 1;
    }
  }
  return parts;
}

// An entry's own name: one safe component; empty only in a folder entry.
export function isSafeEntryName(b, folderEntry, utf8) {
  if (b.length === 0) return folderEntry;
  return isSafeComponent(b, utf8);
}
