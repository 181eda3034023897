// Little-endian fields and small byte helpers.
export const le16 = (b, at) => b[at] | (b[at + 1] << 8);
export const le32 = (b, at) => (b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (b[at + 3] << 24)) >>> 0;
// A 64-bit field as a Number; callers compare it against sizes far below 2^53
// first, so larger values only need to be recognised as too large.
export const le64 = (b, at) => le32(b, at) + le32(b, at + 4) * 2 ** 32;
export const le64Big = (b, at) => BigInt(le32(b, at)) | (BigInt(le32(b, at + 4)) << 32n);

export const ascii = (s) => Uint8Array.from(s, (c) => c.charCodeAt(0));
