// Reading printed labels back: the dots of a 1-bit page, dots that differ between two pages, and
// the barcodes a scanner finds in them; and the label the printing tests print.
import assert from 'node:assert/strict';
import { decode } from 'fast-png';
import fs from 'node:fs';
import path from 'node:path';
import { before } from 'node:test';
import { jobAttributes, labelProject, printingHost, waitFor } from './harness.mjs';
import { decodeBarcode } from '../../frontend/tests/pdfpages.mjs';

/** A 50 × 30 mm shelf label: Chinese text, Code 128, EAN-13 with its digits, and a QR code. */
export const shelfLabel = labelProject('货架标签', [
  { id: 't', type: 'text', xMm: 2, yMm: 1, widthMm: 30, heightMm: 6, text: '有机绿茶 250克', fontFamily: 'Noto Sans CJK SC', fontSizePt: 11 },
  { id: 'c', type: 'barcode', xMm: 3, yMm: 8, widthMm: 30, heightMm: 9, symbology: 'code128', data: 'SKU-4711', showText: false },
  { id: 'e', type: 'barcode', xMm: 3, yMm: 19, widthMm: 30, heightMm: 10, symbology: 'ean13', data: '6901234567892', showText: true },
  { id: 'q', type: 'barcode', xMm: 36, yMm: 3, widthMm: 12, heightMm: 12, symbology: 'qrcode', data: 'https://example.com/p/4711', showText: false },
]);

/** The dots of a 1-bit PNG (a page sent, or dots decoded): 1 where the printer burns a dot. */
export function dotsOf(png) {
  const { width, height, depth, data, palette } = decode(png);
  assert.equal(depth, 1);
  const dots = new Uint8Array(width * height);
  const rowBytes = Math.ceil(width / 8);
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      const bit = (data[y * rowBytes + (x >> 3)] >> (7 - (x & 7))) & 1;
      dots[y * width + x] = (palette ? palette[bit][0] : bit * 255) < 128 ? 1 : 0;
    }
  }
  return { width, height, dots };
}

/** Dots that differ where both images have pixels, `a` read at (x + dx, y + dy). */
export function differences(a, b, dx = 0, dy = 0, at = (x, y) => [x + dx, y + dy]) {
  let count = 0;
  for (let y = 0; y < b.height; y++) {
    for (let x = 0; x < b.width; x++) {
      const [ax, ay] = at(x, y);
      if (ax < 0 || ay < 0 || ax >= a.width || ay >= a.height) continue;
      if (a.dots[ay * a.width + ax] !== b.dots[y * b.width + x]) count++;
    }
  }
  return count;
}

export function readBarcode(image, format) {
  // A white margin stands in for the quiet zone the label's edge may cut.
  const margin = 20;
  const width = image.width + 2 * margin;
  const height = image.height + 2 * margin;
  const grey = new Uint8ClampedArray(width * height).fill(255);
  for (let y = 0; y < image.height; y++) {
    for (let x = 0; x < image.width; x++) if (image.dots[y * image.width + x]) grey[(y + margin) * width + x + margin] = 0;
  }
  return decodeBarcode({ width, height, pixels: grey }, format);
}

/** The program with a private print server of `queues`, the shelf label open once the tests run. */
export function shelfLabelPrinting(...queues) {
  const context = printingHost(...queues);
  before(async () => {
    const projectPath = path.join(context.host.root, 'shelf.cwrt');
    fs.writeFileSync(projectPath, JSON.stringify(shelfLabel));
    assert.equal(await context.host.page.evaluate((p) => window.quillmark.editor.openProject(p), projectPath), true);
  });
  return context;
}

/** Waits until job `id` has completed on the print server; fails when it ends otherwise. */
export async function jobCompleted(server, id) {
  const done = await waitFor(() => {
    const state = jobAttributes(server.socket, id)['job-state'];
    assert.ok(state < 7 || state === 9, `job ${id} ended in state ${state}`);
    return state === 9;
  }, 60_000);
  assert.ok(done, `job ${id} did not finish`);
}

export const MONO_LOOK = { kind: 'mono', dither: 'diffusion', offsetXMm: 0, offsetYMm: 0, rotate180: false };

/** The front end's own first page at `dpi` in `look`, as the print job sends it. */
export async function pageDots(page, dpi, look = MONO_LOOK) {
  const url = await page.evaluate(([d, l]) => window.quillmark.pageImage({ dpi: d, from: 1, to: 1, perRecord: 1, sheet: null, look: l }, 0), [dpi, look]);
  return dotsOf(Buffer.from(url.slice(url.indexOf(',') + 1), 'base64'));
}

/** The three codes of the shelf label as a scanner reads them from `dots`. */
export const shelfCodes = (dots) => [readBarcode(dots, 'CODE_128'), readBarcode(dots, 'EAN_13'), readBarcode(dots, 'QR_CODE')];
export const SHELF_CODES = ['SKU-4711', '6901234567892', 'https://example.com/p/4711'];
