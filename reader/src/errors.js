// Failures the reader reports: a code for callers and tests, and the
// message in the page's language (filled in by the caller's messages).
export class ReaderError extends Error {
  constructor(code, detail = '') {
    super(code);
    this.code = code;
    this.detail = detail;
  }
}

export const fail = (code, detail) => {
  throw new ReaderError(code, detail);
};
