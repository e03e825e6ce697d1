// Whether a picture file runs to its end. The engine draws a PNG, JPEG or GIF cut short as far as
// its bytes go and leaves the rest grey or empty, without an error: printed, such a label looks
// damaged. Each format is walked by its own structure to its end marker; bytes after it (as some
// cameras append) do not matter. Other formats are left to the decoder.

const u16 = (b: Uint8Array, at: number): number => (b[at] << 8) | b[at + 1];
const u32 = (b: Uint8Array, at: number): number => ((b[at] << 24) >>> 0) + ((b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3]);

/** True when the bytes are a PNG, JPEG or GIF that stops before its end marker. */
export function cutShort(bytes: Uint8Array): boolean {
  if (bytes[0] === 0x89 && bytes[1] === 0x50 && bytes[2] === 0x4e && bytes[3] === 0x47) return !pngEnds(bytes);
  if (bytes[0] === 0xff && bytes[1] === 0xd8) return !jpegEnds(bytes);
  if (bytes[0] === 0x47 && bytes[1] === 0x49 && bytes[2] === 0x46) return !gifEnds(bytes);
  return false;
}

/** Chunks (length, type, data, CRC) from the signature to IEND. */
function pngEnds(b: Uint8Array): boolean {
  for (let at = 8; at + 12 <= b.length; at += 12 + u32(b, at)) {
    if (b[at + 4] === 0x49 && b[at + 5] === 0x45 && b[at + 6] === 0x4e && b[at + 7] === 0x44) return true;
  }
  return false;
}

/** Segments to the end-of-image marker; a scan's coded data runs to the next marker. */
function jpegEnds(b: Uint8Array): boolean {
  let at = 2;
  while (at + 1 < b.length) {
    if (b[at] !== 0xff) return false;
    const marker = b[at + 1];
    if (marker === 0xd9) return true;
    if (marker === 0xff) {
      at += 1; // fill byte
      continue;
    }
    if (marker === 0x01 || (marker >= 0xd0 && marker <= 0xd7)) {
      at += 2;
      continue;
    }
    if (at + 3 >= b.length) return false;
    at += 2 + u16(b, at + 2);
    if (marker !== 0xda) continue;
    // Coded data: 0xFF is followed by 0x00 (a stuffed byte) or a restart marker inside it.
    while (at + 1 < b.length && !(b[at] === 0xff && b[at + 1] !== 0x00 && (b[at + 1] < 0xd0 || b[at + 1] > 0xd7))) at++;
  }
  return false;
}

/** Header, colour table, then blocks (images, extensions) to the trailer. */
function gifEnds(b: Uint8Array): boolean {
  const colourTable = (flags: number): number => ((flags & 0x80) !== 0 ? 3 << ((flags & 7) + 1) : 0);
  let at = 13 + colourTable(b[10]);
  const skipSubBlocks = (): void => {
    while (at < b.length && b[at] !== 0) at += b[at] + 1;
    at += 1;
  };
  while (at < b.length) {
    const block = b[at];
    if (block === 0x3b) return true;
    if (block === 0x21) {
      at += 2;
      skipSubBlocks();
    } else if (block === 0x2c) {
      if (at + 10 > b.length) return false;
      at += 10 + colourTable(b[at + 9]) + 1; // descriptor, local colours, LZW code size
      skipSubBlocks();
    } else {
      return false;
    }
  }
  return false;
}
