// Code page 932 (Shift-JIS as Windows has it), the encoding of passwords and
// of the names of ANSI archive entries. The browser decodes it (WHATWG's
// Shift_JIS is Windows' table); encoding a typed password needs the reverse
// table, built from the decoder once. Where a character has two codes, the
// first one counts, except that the NEC-selected rows (lead bytes 0xED and
// 0xEE) give way to the IBM rows, as Windows encodes them.
export const isLeadByte = (c) => (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc);
export const isTrailByte = (c) => c >= 0x40 && c <= 0xfc;

let reverse = null;

function reverseTable() {
  if (reverse) return reverse;
  reverse = new Map();
  const decoder = new TextDecoder('shift_jis');
  const leads = [];
  for (let l = 0x81; l <= 0xfc; ++l) if (isLeadByte(l) && l !== 0xed && l !== 0xee) leads.push(l);
  leads.push(0xed, 0xee);
  for (const l of leads) {
    for (let t = 0x40; t <= 0xfc; ++t) {
      if (t === 0x7f) continue;
      const s = decoder.decode(Uint8Array.of(l, t));
      if (s.length === 0 || s.includes('\ufffd') || [...s].length !== 1) continue;
      if (!reverse.has(s)) reverse.set(s, (l << 8) | t);
    }
  }
  for (let b = 0xa1; b <= 0xdf; ++b) reverse.set(String.fromCharCode(0xff61 + b - 0xa1), b);
  return reverse;
}

// The bytes of a text in code page 932, or null when a character has no code.
export function encodeCp932(textValue) {
  const out = [];
  for (const ch of textValue) {
    const u = ch.codePointAt(0);
    if (u < 0x80) {
      out.push(u);
      continue;
    }
    const code = reverseTable().get(ch);
    if (code === undefined) return null;
    if (code > 0xff) out.push(code >> 8, code & 0xff);
    else out.push(code);
  }
  return Uint8Array.from(out);
}

const strictSjis = new TextDecoder('shift_jis', { fatal: true });
const strictUtf8 = new TextDecoder('utf-8', { fatal: true, ignoreBOM: true });

// A name's bytes as text: UTF-8 in a Unicode entry, else code page 932. null
// when the bytes are no text of that encoding.
export function decodeName(bytes, utf8) {
  try {
    return (utf8 ? strictUtf8 : strictSjis).decode(bytes);
  } catch {
    return null;
  }
}
