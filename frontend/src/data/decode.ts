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

export function decodeText(bytes: Uint8Array): { text: string; encoding: TextEncodingName } {
  const { encoding, bomLength } = detectEncoding(bytes);
  // ignoreBOM keeps the decoder from eating a second mark; the first one is skipped here.
  const text = new TextDecoder(encoding, { ignoreBOM: true }).decode(bytes.subarray(bomLength));
  return { text, encoding };
}
