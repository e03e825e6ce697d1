// Turning the bytes of a CSV file into text. Spreadsheet programs write UTF-8 with or without a
// byte order mark, UTF-16 with a mark, and in China very often GB18030 (a superset of GBK and
// GB2312), with nothing in the file saying which. Valid UTF-8 is practically never GB18030 text
// by accident, so strict UTF-8 is tried first and GB18030 takes everything else.

export type TextEncodingName = 'utf-8' | 'utf-16le' | 'utf-16be' | 'gb18030';

export function detectEncoding(bytes: Uint8Array): { encoding: TextEncodingName; bomLength: number } {
  if (bytes[0] === 0xef && bytes[1] === 0xbb && bytes[2] === 0xbf) return { encoding: 'utf-8', bomLength: 3 };
  if (bytes[0] === 0xff && bytes[1] === 0xfe) return { encoding: 'utf-16le', bomLength: 2 };
  if (bytes[0] === 0xfe && bytes[1] === 0xff) return { encoding: 'utf-16be', bomLength: 2 };
  try {
    new TextDecoder('utf-8', { fatal: true }).decode(bytes);
    return { encoding: 'utf-8', bomLength: 0 };
  } catch {
    return { encoding: 'gb18030', bomLength: 0 };
  }
}

/** Lines (1-based, as an editor counts them) written in another encoding than the file's. */
export interface MixedLines {
  encoding: TextEncodingName;
  lines: number[];
}

export function decodeText(bytes: Uint8Array): { text: string; encoding: TextEncodingName; mixed: MixedLines | null } {
  const { encoding, bomLength } = detectEncoding(bytes);
  if (encoding === 'gb18030') return decodeByLine(bytes);
  // ignoreBOM keeps the decoder from eating a second mark; the first one is skipped here.
  const text = new TextDecoder(encoding, { ignoreBOM: true }).decode(bytes.subarray(bomLength));
  return { text, encoding, mixed: null };
}

/**
 * A file that is not UTF-8 as a whole may still be UTF-8 line by line where rows were pasted
 * together from two sources. Every line is read in its own encoding, and the lines of the
 * smaller group are named so that someone checks them.
 */
function decodeByLine(bytes: Uint8Array): { text: string; encoding: TextEncodingName; mixed: MixedLines | null } {
  const strict = new TextDecoder('utf-8', { fatal: true });
  const gb = new TextDecoder('gb18030');
  const parts: string[] = [];
  const utf8Lines: number[] = [];
  const gbLines: number[] = [];
  let line = 1;
  for (let start = 0; start < bytes.length; line++) {
    let end = bytes.indexOf(0x0a, start);
    end = end < 0 ? bytes.length : end + 1;
    const piece = bytes.subarray(start, end);
    start = end;
    if (piece.every((b) => b < 0x80)) {
      parts.push(gb.decode(piece));
      continue;
    }
    try {
      parts.push(strict.decode(piece));
      utf8Lines.push(line);
    } catch {
      parts.push(gb.decode(piece));
      gbLines.push(line);
    }
  }
  const text = parts.join('');
  if (utf8Lines.length === 0) return { text, encoding: 'gb18030', mixed: null };
  return utf8Lines.length > gbLines.length
    ? { text, encoding: 'utf-8', mixed: { encoding: 'gb18030', lines: gbLines } }
    : { text, encoding: 'gb18030', mixed: { encoding: 'utf-8', lines: utf8Lines } };
}
