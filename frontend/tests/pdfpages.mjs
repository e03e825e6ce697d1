// Measuring PDF files as a person at the printer would: page count and size from pdfinfo,
// each page rasterised by pdftoppm, and a barcode on a page read back with ZXing.
import { execFileSync } from 'node:child_process';
import zxing from '@zxing/library';

const { BarcodeFormat, BinaryBitmap, DecodeHintType, HybridBinarizer, MultiFormatReader, RGBLuminanceSource } = zxing;

const POINTS_PER_MM = 72 / 25.4;

/** Page count and the size of every page in millimetres (MediaBox), rounded to 0.01 mm. */
export function pdfPages(file) {
  const info = execFileSync('pdfinfo', ['-box', '-f', '1', '-l', '100000', file], { encoding: 'utf8' });
  const pages = Number(/^Pages:\s+(\d+)/m.exec(info)[1]);
  const sizes = [...info.matchAll(/^Page\s+\d+\s+MediaBox:\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)/gm)]
    .map((m) => [(m[3] - m[1]) / POINTS_PER_MM, (m[4] - m[2]) / POINTS_PER_MM].map((v) => Math.round(v * 100) / 100));
  return { pages, sizes };
}

/** One page as 8-bit grey pixels at a resolution. */
export function pageGrey(file, page, dpi) {
  const pgm = execFileSync('pdftoppm', ['-gray', '-r', String(dpi), '-f', String(page), '-l', String(page), file], { maxBuffer: 1 << 28 });
  // Binary PGM: "P5", width, height, maxval, each followed by white space, then the pixels.
  const header = /^P5\s+(\d+)\s+(\d+)\s+(\d+)\s/.exec(pgm.subarray(0, 64).toString('latin1'));
  const width = Number(header[1]);
  const height = Number(header[2]);
  return { width, height, pixels: new Uint8ClampedArray(pgm.subarray(header[0].length)) };
}

/** The text of the Code 128 barcode on a page, or null when none reads. */
export function readCode128(file, page, dpi = 300) {
  return readBarcode(file, page, 'CODE_128', dpi);
}

/** The text of the barcode of one ZXing format ('EAN_13', 'QR_CODE' …) on a page, or null when none reads. */
export function readBarcode(file, page, format, dpi = 300) {
  return decodeBarcode(pageGrey(file, page, dpi), format);
}

/** The text of the barcode of one ZXing format in 8-bit grey pixels, or null when none reads; GS1 data with gs1. */
export function decodeBarcode({ width, height, pixels }, format, { gs1 = false } = {}) {
  const hints = new Map([[DecodeHintType.POSSIBLE_FORMATS, [BarcodeFormat[format]]], [DecodeHintType.TRY_HARDER, true], [DecodeHintType.ASSUME_GS1, gs1]]);
  try {
    // Hints go with the call: decode() without them forgets any set before and tries every format.
    const result = new MultiFormatReader().decode(new BinaryBitmap(new HybridBinarizer(new RGBLuminanceSource(pixels, width, height))), hints);
    return result.getText();
  } catch {
    return null;
  }
}
