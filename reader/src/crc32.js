// CRC-32 (the zip polynomial 0xEDB88320), eight bytes a step.
const T = (() => {
  const t = new Int32Array(256 * 8);
  for (let n = 0; n < 256; ++n) {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    t[n] = c;
  }
  for (let n = 0; n < 256; ++n) for (let k = 1; k < 8; ++k) t[k * 256 + n] = t[(k - 1) * 256 + n] >>> 8 ^ t[t[(k - 1) * 256 + n] & 0xff];
  return t;
})();

export class Crc32 {
  constructor() {
    this.c = -1;
  }
  update(b) {
    let c = this.c;
    let i = 0;
    const n = b.length;
    for (; i + 8 <= n; i += 8) {
      const lo = c ^ (b[i] | (b[i + 1] << 8) | (b[i + 2] << 16) | (b[i + 3] << 24));
      c =
        T[1792 + (lo & 0xff)] ^ T[1536 + ((lo >>> 8) & 0xff)] ^ T[1280 + ((lo >>> 16) & 0xff)] ^ T[1024 + (lo >>> 24)] ^
        T[768 + b[i + 4]] ^ T[512 + b[i + 5]] ^ T[256 + b[i + 6]] ^ T[b[i + 7]];
    }
    for (; i < n; ++i) c = T[(c ^ b[i]) & 0xff] ^ (c >>> 8);
    this.c = c;
  }
  value() {
    return (this.c ^ -1) >>> 0;
  }
}
