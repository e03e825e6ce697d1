// Pages for thermal printers: every pixel a dot or no dot. A print head has no grey, and a grey
// edge left to the driver is dithered into speckle, so text, lines and bars are thresholded here
// and only pictures are dithered, by the method the user picked.

import { encode } from 'fast-png';

/** Dots in rows of whole bytes, most significant bit first; a set bit is a black dot. */
export interface MonoBitmap {
  width: number;
  height: number;
  /** Bytes per row: ceil(width / 8). */
  stride: number;
  bits: Uint8Array;
}

/** What an ImageData is, without needing the DOM's class (tests and workers build their own). */
export interface RgbaPixels {
  width: number;
  height: number;
  data: Uint8ClampedArray;
}

export type MonoMode = 'threshold' | 'ordered' | 'diffusion';

export interface MonoOptions {
  /** 'threshold' for the whole page; a dithering mode dithers the pictures (or all, without a mask). */
  mode: MonoMode;
  /** Grey level (0 black to 255 white) below which a thresholded pixel prints; 128 by default. */
  threshold?: number;
  /**
   * One byte per pixel of the source, non-zero where a picture lies: those pixels are dithered,
   * the rest thresholded. Without a mask a dithering mode dithers everything.
   */
  pictureMask?: Uint8Array;
}

export function createMonoBitmap(width: number, height: number): MonoBitmap {
  const stride = Math.ceil(width / 8);
  return { width, height, stride, bits: new Uint8Array(stride * height) };
}

export function isDot(bitmap: MonoBitmap, x: number, y: number): boolean {
  return (bitmap.bits[y * bitmap.stride + (x >> 3)] & (0x80 >> (x & 7))) !== 0;
}

/** The grey level of the pixel at byte `i` as it would look on white paper (transparent is paper). */
function greyAt(data: Uint8ClampedArray, i: number): number {
  // Rec. 601 weights in 1/256ths.
  const luma = (data[i] * 77 + data[i + 1] * 150 + data[i + 2] * 29) >> 8;
  const alpha = data[i + 3];
  return alpha === 255 ? luma : 255 - ((((255 - luma) * alpha + 127) / 255) | 0);
}

function greyOnWhite(image: RgbaPixels): Uint8Array {
  const grey = new Uint8Array(image.width * image.height);
  for (let p = 0; p < grey.length; p++) grey[p] = greyAt(image.data, p * 4);
  return grey;
}

/** A page without pictures, every pixel thresholded: one pass, no grey copy of the page. */
function thresholdInto(target: MonoBitmap, left: number, top: number, image: RgbaPixels, threshold: number): void {
  const x0 = Math.max(0, -left), x1 = Math.min(image.width, target.width - left);
  const y0 = Math.max(0, -top), y1 = Math.min(image.height, target.height - top);
  for (let y = y0; y < y1; y++) {
    const row = (top + y) * target.stride;
    for (let x = x0, i = (y * image.width + x0) * 4; x < x1; x++, i += 4) {
      if (greyAt(image.data, i) < threshold) target.bits[row + ((left + x) >> 3)] |= 0x80 >> ((left + x) & 7);
    }
  }
}

/** The 8 × 8 Bayer matrix: each level of grey lights its share of the cell's dots, evenly spread. */
const BAYER8 = (() => {
  const m = new Uint8Array(64);
  for (let y = 0; y < 8; y++) {
    for (let x = 0; x < 8; x++) {
      // The lowest bits of x xor y and of y become the highest of the rank.
      let v = 0;
      for (let i = 0; i < 3; i++) v |= ((((x ^ y) >> i) & 1) << (5 - 2 * i)) | (((y >> i) & 1) << (4 - 2 * i));
      m[y * 8 + x] = v;
    }
  }
  return m;
})();
/** Grey levels below which each cell of the matrix prints. */
const ORDERED_LEVELS = Float32Array.from(BAYER8, (rank) => ((rank + 0.5) * 255) / 64);

/**
 * Turns the pixels into dots, placed at (left, top) of the target; the Bayer pattern follows the
 * target's own coordinates, so regions converted one after another join without seams. Dots are
 * added, never cleared: regions converted into one target should not overlap.
 */
export function convertInto(target: MonoBitmap, left: number, top: number, image: RgbaPixels, options: MonoOptions): void {
  const threshold = options.threshold ?? 128;
  if (options.mode === 'threshold') return thresholdInto(target, left, top, image, threshold);
  const { width, height } = image;
  const grey = greyOnWhite(image);
  const mask = options.pictureMask ?? null;
  const ditherAll = !options.pictureMask;
  // Floyd–Steinberg error of this row and the next, one spare cell at each side.
  const diffusion = options.mode === 'diffusion';
  let errors = diffusion ? new Float32Array(width + 2) : null;
  let nextErrors = diffusion ? new Float32Array(width + 2) : null;
  for (let y = 0; y < height; y++) {
    const ty = top + y;
    const inside = ty >= 0 && ty < target.height;
    // Serpentine order keeps diffusion from drawing diagonal worms.
    const reverse = diffusion && (y & 1) === 1;
    for (let k = 0; k < width; k++) {
      const x = reverse ? width - 1 - k : k;
      const p = y * width + x;
      const tx = left + x;
      let ink: boolean;
      if (!ditherAll && (mask === null || mask[p] === 0)) {
        ink = grey[p] < threshold;
      } else if (options.mode === 'ordered') {
        ink = grey[p] < ORDERED_LEVELS[(ty & 7) * 8 + (tx & 7)];
      } else {
        const level = grey[p] + errors![x + 1];
        ink = level < 128;
        const error = level - (ink ? 0 : 255);
        const ahead = reverse ? -1 : 1;
        errors![x + 1 + ahead] += (error * 7) / 16;
        nextErrors![x + 1 - ahead] += (error * 3) / 16;
        nextErrors![x + 1] += (error * 5) / 16;
        nextErrors![x + 1 + ahead] += error / 16;
      }
      if (ink && inside && tx >= 0 && tx < target.width) target.bits[ty * target.stride + (tx >> 3)] |= 0x80 >> (tx & 7);
    }
    if (errors && nextErrors) {
      [errors, nextErrors] = [nextErrors, errors];
      nextErrors.fill(0);
    }
  }
}

/** An affine map of whole pixels turned by quarters (a canvas transform's a to f). */
export interface PixelMatrix {
  a: number;
  b: number;
  c: number;
  d: number;
  e: number;
  f: number;
}

/**
 * Thresholds an image (a barcode's own pixels) into the target, each pixel landing where `m`
 * puts its centre: the dots the canvas would give for it drawn on white paper and read back.
 */
export function convertPlaced(target: MonoBitmap, image: RgbaPixels, m: PixelMatrix, threshold = 128): void {
  for (let y = 0; y < image.height; y++) {
    // Quarter turns move a pixel a whole step per step along the row: only its start is worked out.
    let tx = Math.floor(m.a * 0.5 + m.c * (y + 0.5) + m.e);
    let ty = Math.floor(m.b * 0.5 + m.d * (y + 0.5) + m.f);
    for (let i = y * image.width * 4, end = i + image.width * 4; i < end; i += 4, tx += m.a, ty += m.b) {
      if (image.data[i + 3] === 0 || greyAt(image.data, i) >= threshold) continue;
      if (tx >= 0 && ty >= 0 && tx < target.width && ty < target.height) target.bits[ty * target.stride + (tx >> 3)] |= 0x80 >> (tx & 7);
    }
  }
}

export function toMonoBitmap(image: RgbaPixels, options: MonoOptions): MonoBitmap {
  const bitmap = createMonoBitmap(image.width, image.height);
  convertInto(bitmap, 0, 0, image, options);
  return bitmap;
}

/** Marks rectangles of whole pixels (rounded outwards, clipped) as pictures in a mask. */
export function pictureMask(width: number, height: number, boxes: { x: number; y: number; width: number; height: number }[]): Uint8Array {
  const mask = new Uint8Array(width * height);
  for (const box of boxes) {
    const x0 = Math.max(0, Math.floor(box.x));
    const x1 = Math.min(width, Math.ceil(box.x + box.width));
    const y0 = Math.max(0, Math.floor(box.y));
    const y1 = Math.min(height, Math.ceil(box.y + box.height));
    for (let y = y0; y < y1; y++) mask.fill(1, y * width + x0, y * width + Math.max(x0, x1));
  }
  return mask;
}

/** Black and white pixels for showing the dots (e.g. a preview scaled without smoothing). */
export function monoToRgba(bitmap: MonoBitmap): RgbaPixels {
  const data = new Uint8ClampedArray(bitmap.width * bitmap.height * 4).fill(255);
  for (let y = 0; y < bitmap.height; y++) {
    for (let x = 0; x < bitmap.width; x++) {
      if (isDot(bitmap, x, y)) data.fill(0, (y * bitmap.width + x) * 4, (y * bitmap.width + x) * 4 + 3);
    }
  }
  return { width: bitmap.width, height: bitmap.height, data };
}

/**
 * A 1-bit PNG with the palette black, white in that order: Qt decodes it to a 1-bit image with
 * exactly that colour table, which its PDF writer keeps as a 1-bit image.
 */
export function encodeMonoPng(bitmap: MonoBitmap): Uint8Array {
  // Palette index 0 is black, so a dot is a cleared bit in the file.
  const indices = new Uint8Array(bitmap.bits.length);
  for (let i = 0; i < indices.length; i++) indices[i] = ~bitmap.bits[i];
  return encode({
    width: bitmap.width,
    height: bitmap.height,
    data: indices,
    depth: 1,
    channels: 1,
    palette: [[0, 0, 0], [255, 255, 255]],
  });
}
