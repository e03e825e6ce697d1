// The pages of a job, drawn at the printer's resolution. A page is either one label at its own
// size (label printers) or a sheet of office paper holding several labels. Printing and PDF
// export both use these pages, so the PDF shows exactly what the printer gets.

import { BarcodeObject, ImageObject, LabelDocument, LabelObject, visualBox } from '../model/document';
import { labelOutline } from '../model/shape';
import { mmToWholePx, pxPerMm } from '../model/units';
import { drawnBarcode, labelPixelSize, objectPixelBox, placeObject, renderLabel, unscaledPlacement } from '../render/renderer';
import type { Pictures } from '../render/images';
import { recordPictureKey } from '../render/recordPictures';
import { AnyCanvas, context2d, createCanvas, Ctx2D } from '../render/canvas';
import { FieldContext, hasFields, substitute } from '../model/fields';
import { LabelInstance, paginate } from '../model/labels';
import type { SheetLayout } from '../model/merge';
import type { SheetTable } from '../data/table';
import type { PrinterProfile } from '../model/profiles';
import { convertInto, convertPlaced, createMonoBitmap, isDot, MonoBitmap, PixelMatrix, RgbaPixels } from '../render/mono';

export interface PagePlan {
  pageWidthMm: number;
  pageHeightMm: number;
  /** Each page lists the labels on it with their top-left corners in millimetres. */
  pages: { label: number; xMm: number; yMm: number }[][];
  labels: LabelInstance[];
}

export function planPages(doc: LabelDocument, labels: LabelInstance[], sheet: SheetLayout | null): PagePlan {
  if (!sheet) {
    return { pageWidthMm: doc.widthMm, pageHeightMm: doc.heightMm, pages: labels.map((_, label) => [{ label, xMm: 0, yMm: 0 }]), labels };
  }
  return { pageWidthMm: sheet.paperWidthMm, pageHeightMm: sheet.paperHeightMm, pages: paginate(labels.length, sheet), labels };
}

/** Pixel size of a page at a resolution: 50 x 30 mm at 300 dpi is 591 x 354. */
export function pagePixelSize(plan: Pick<PagePlan, 'pageWidthMm' | 'pageHeightMm'>, dpi: number): { width: number; height: number } {
  return { width: mmToWholePx(plan.pageWidthMm, dpi), height: mmToWholePx(plan.pageHeightMm, dpi) };
}

/** What a text or barcode shows for one label of the job. */
export function labelResolver(data: SheetTable | null, label: LabelInstance, now: Date): (stored: string, object: LabelObject) => string {
  const ctx: FieldContext = {
    columns: data?.columns ?? [],
    record: data && label.record >= 0 ? data.records[label.record] ?? null : null,
    counter: label.counter,
    now,
  };
  return (stored) => substitute(stored, ctx);
}

/** The record pictures page `index` draws (render/recordPictures.ts), to be loaded before it is drawn. */
export function recordPictureKeys(doc: LabelDocument, plan: PagePlan, data: SheetTable | null, now: Date, index: number): string[] {
  const images = doc.objects.filter((o): o is ImageObject => o.type === 'image' && !!o.srcColumn);
  if (images.length === 0) return [];
  return plan.pages[index].flatMap((placed) => {
    const resolve = labelResolver(data, plan.labels[placed.label], now);
    return images.map((o) => recordPictureKey(o, resolve)).filter((key) => key !== '');
  });
}

/** True when the document draws a picture per record: those are read on the page, never in workers. */
export function usesRecordPictures(doc: LabelDocument): boolean {
  return doc.objects.some((o) => o.type === 'image' && !!o.srcColumn);
}

/**
 * What page `index` shows, as a string: pages with equal keys are drawn alike. Only placements
 * and the texts that fields change go into it, so a label without fields gives every one-label
 * page the same key and is drawn once.
 */
export function pageContentKey(doc: LabelDocument, plan: PagePlan, data: SheetTable | null, now: Date): (index: number) => string {
  const varying: [string, LabelObject][] = [];
  for (const o of doc.objects) {
    // A picture per record varies with its column's cell.
    const stored = o.type === 'text' ? o.text : o.type === 'barcode' ? o.data : o.type === 'image' && o.srcColumn ? `{{${o.srcColumn}}}` : '';
    if (hasFields(stored)) varying.push([stored, o]);
  }
  return (index) => JSON.stringify(plan.pages[index].map((placed) => {
    const resolve = labelResolver(data, plan.labels[placed.label], now);
    return [placed.xMm, placed.yMm, ...varying.map(([stored, o]) => resolve(stored, o))];
  }));
}

/** How pages are drawn for a printer: colour or its dots, and the corrections it needs. */
export type PageLook = Pick<PrinterProfile, 'kind' | 'dither' | 'offsetXMm' | 'offsetYMm' | 'rotate180'>;

/** Office printers and PDF files: the page as designed, in colour. */
export const COLOUR_LOOK: PageLook = { kind: 'colour', dither: 'diffusion', offsetXMm: 0, offsetYMm: 0, rotate180: false };

export interface PageRenderer {
  readonly canvas: AnyCanvas;
  /** Draws page `index` of the plan and returns the canvas (reused for every page). */
  draw(index: number): AnyCanvas;
  /** Page `index` as the printer's dots: text, shapes and bars thresholded, pictures dithered. */
  dots(index: number): MonoBitmap;
}

/**
 * One opaque canvas reused for every page: no alpha channel means smaller PNG pages and no
 * soft mask in the PDF, and reusing it keeps memory flat over thousands of labels. It draws on
 * the page or in a worker alike.
 */
export function pageRenderer(
  doc: LabelDocument, plan: PagePlan, dpi: number, data: SheetTable | null, images: Pictures, now: Date, look: PageLook = COLOUR_LOOK,
): PageRenderer {
  const size = pagePixelSize(plan, dpi);
  const canvas = createCanvas(size.width, size.height);
  const ctx = context2d(canvas, { alpha: false });
  const scale = pxPerMm(dpi);
  const label = labelPixelSize(doc, dpi);
  // Pictures alone, drawn through the same placement onto a transparent canvas, mark which dots
  // are dithered; everything else is thresholded so edges never turn into speckle.
  const pictures: LabelDocument = { ...doc, objects: doc.objects.filter((o) => o.type === 'image') };
  let maskCanvas: AnyCanvas | null = null;

  /**
   * A label's top-left corner on the page in whole pixels: barcode modules stay on pixel
   * boundaries on sheets too. Offsets are whole dots in the label's own reading direction, as the
   * user measures them.
   */
  const labelOrigin = (placed: { xMm: number; yMm: number }): { x: number; y: number } => ({
    x: Math.round(look.offsetXMm * scale) + Math.round(placed.xMm * scale),
    y: Math.round(look.offsetYMm * scale) + Math.round(placed.yMm * scale),
  });

  const paint = (target: Ctx2D, index: number, page: LabelDocument, background: string | null, turn: boolean): void => {
    for (const placed of plan.pages[index]) {
      target.save();
      const origin = labelOrigin(placed);
      target.translate(origin.x, origin.y);
      if (plan.pages[index].length > 1 || placed.xMm !== 0 || placed.yMm !== 0) {
        target.beginPath();
        target.rect(0, 0, label.width, label.height);
        target.clip();
      }
      // A job rounds each narrow bar to whole dots of its own resolution; the document keeps its X-dimension.
      renderLabel(target, page, dpi, { images, background, printerDpi: dpi, resolveText: labelResolver(data, plan.labels[placed.label], now) });
      target.restore();
    }
    // Turned as pixels, not by the canvas transform: text drawn upside down would round its
    // edges differently and print other dots than the label shows.
    if (turn) {
      const pixels = target.getImageData(0, 0, size.width, size.height);
      new Uint32Array(pixels.data.buffer).reverse();
      target.putImageData(pixels, 0, 0);
    }
  };

  /**
   * A thermal page whose barcodes take their dots straight from their own pixels, and whose other
   * objects are read back from the canvas only where they lie: reading a canvas back costs some
   * 24 ns a pixel here, a whole label more than drawing it. Null when the page is read back
   * whole: a sheet, pictures (dithered on the canvas), a code scaled into its box or turned other
   * than by quarters, or one reaching past the label or near another object.
   */
  const directPage = (index: number): DirectPage | null => {
    const placed = plan.pages[index];
    // A shaped label is clipped to its shape, which codes taken straight from their pixels would not be.
    if (placed.length !== 1 || pictures.objects.length > 0 || labelOutline(doc).shape !== 'rectangle') return null;
    const origin = labelOrigin(placed[0]);
    const within = { x: origin.x, y: origin.y, w: label.width, h: label.height };
    const resolve = labelResolver(data, plan.labels[placed[0].label], now);
    const page: DirectPage = { others: [], regions: [], codes: [] };
    for (const o of doc.objects) {
      if (o.type !== 'barcode') {
        page.others.push(o);
        const v = visualBox(o);
        // Text is clipped to its box, pictures and shapes stay inside theirs, a line's stroke
        // reaches past its box by at most its width; edges smoothed across a fraction of a pixel
        // reach at most a pixel beyond.
        const margin = 2 + ('strokeMm' in o ? Math.ceil(o.strokeMm * scale) : 0);
        const box = {
          x: origin.x + Math.floor(v.xMm * scale) - margin, y: origin.y + Math.floor(v.yMm * scale) - margin,
          w: Math.ceil(v.widthMm * scale) + 2 * margin + 1, h: Math.ceil(v.heightMm * scale) + 2 * margin + 1,
        };
        const onLabel = intersection(box, within);
        const region = onLabel && intersection(onLabel, { x: 0, y: 0, w: size.width, h: size.height });
        if (region) page.regions.push(region);
        continue;
      }
      const code = directCode(o, resolve(o.data, o), origin);
      if (code === 'none') continue;
      if (code === null || !contains(within, code.rect)) return null;
      page.codes.push(code);
    }
    const apart = page.codes.every((code, i) =>
      page.regions.every((r) => !intersection(code.rect, r)) && page.codes.every((other, j) => j === i || !intersection(code.rect, other.rect)));
    return apart ? page : null;
  };

  /** A barcode's pixels and where they land on the page; 'none' when nothing is drawn for it. */
  const directCode = (o: BarcodeObject, value: string, origin: { x: number; y: number }): DirectCode | 'none' | null => {
    if (o.rotation % 90 !== 0) return null;
    const box = objectPixelBox(o, scale);
    const result = drawnBarcode(o, value, box, scale, dpi);
    // A code that cannot be encoded prints nothing, as on the canvas.
    if (!result.ok) return 'none';
    const at = unscaledPlacement(o, result.bitmap, box);
    if (!at) return null;
    ctx.save();
    ctx.setTransform(1, 0, 0, 1, origin.x, origin.y);
    placeObject(ctx, o, scale);
    const t = ctx.getTransform();
    ctx.restore();
    const whole = (v: number): number => Math.round(v);
    const matrix = { a: whole(t.a), b: whole(t.b), c: whole(t.c), d: whole(t.d), e: 0, f: 0 };
    matrix.e = t.e + matrix.a * at.x + matrix.c * at.y;
    matrix.f = t.f + matrix.b * at.x + matrix.d * at.y;
    const { width, height } = result.bitmap;
    const xs = [matrix.e, matrix.e + matrix.a * width + matrix.c * height];
    const ys = [matrix.f, matrix.f + matrix.b * width + matrix.d * height];
    const rect = { x: Math.round(Math.min(...xs)), y: Math.round(Math.min(...ys)), w: Math.abs(xs[1] - xs[0]), h: Math.abs(ys[1] - ys[0]) };
    return { pixels: result.bitmap.pixels, matrix, rect };
  };

  const draw = (index: number): AnyCanvas => {
    ctx.fillStyle = '#ffffff';
    ctx.fillRect(0, 0, size.width, size.height);
    paint(ctx, index, doc, '#ffffff', look.rotate180);
    return canvas;
  };

  return {
    canvas,
    draw,
    dots(index) {
      const direct = directPage(index);
      ctx.fillStyle = '#ffffff';
      ctx.fillRect(0, 0, size.width, size.height);
      if (direct) {
        paint(ctx, index, { ...doc, objects: direct.others }, '#ffffff', false);
        const bitmap = createMonoBitmap(size.width, size.height);
        for (const r of direct.regions) convertInto(bitmap, r.x, r.y, ctx.getImageData(r.x, r.y, r.w, r.h), { mode: 'threshold' });
        for (const code of direct.codes) convertPlaced(bitmap, code.pixels, code.matrix);
        return look.rotate180 ? turnedBitmap(bitmap) : bitmap;
      }
      // Dots are turned as bits: cheaper than turning the canvas's pixels and reading them back.
      paint(ctx, index, doc, '#ffffff', false);
      const pixels = ctx.getImageData(0, 0, size.width, size.height);
      let mask: Uint8Array | undefined;
      if (pictures.objects.length > 0) {
        maskCanvas ??= createCanvas(size.width, size.height);
        const maskCtx = context2d(maskCanvas);
        maskCtx.clearRect(0, 0, size.width, size.height);
        paint(maskCtx, index, pictures, null, false);
        const alpha = maskCtx.getImageData(0, 0, size.width, size.height).data;
        mask = new Uint8Array(size.width * size.height);
        for (let p = 0; p < mask.length; p++) mask[p] = alpha[p * 4 + 3];
      }
      const bitmap = createMonoBitmap(size.width, size.height);
      convertInto(bitmap, 0, 0, pixels, { mode: mask ? look.dither : 'threshold', pictureMask: mask });
      return look.rotate180 ? turnedBitmap(bitmap) : bitmap;
    },
  };
}

interface Rect {
  x: number;
  y: number;
  w: number;
  h: number;
}

interface DirectCode {
  pixels: RgbaPixels;
  /** From the code's pixels to the page's. */
  matrix: PixelMatrix;
  rect: Rect;
}

interface DirectPage {
  /** Everything but the barcodes, drawn on the canvas... */
  others: LabelObject[];
  /** ...and read back only here. */
  regions: Rect[];
  codes: DirectCode[];
}

function intersection(a: Rect, b: Rect): Rect | null {
  const x = Math.max(a.x, b.x), y = Math.max(a.y, b.y);
  const w = Math.min(a.x + a.w, b.x + b.w) - x, h = Math.min(a.y + a.h, b.y + b.h) - y;
  return w > 0 && h > 0 ? { x, y, w, h } : null;
}

function contains(outer: Rect, inner: Rect): boolean {
  return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.w <= outer.x + outer.w && inner.y + inner.h <= outer.y + outer.h;
}

function turnedBitmap(bitmap: MonoBitmap): MonoBitmap {
  const turned = createMonoBitmap(bitmap.width, bitmap.height);
  const { width, height } = bitmap;
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      if (!isDot(bitmap, x, y)) continue;
      const tx = width - 1 - x;
      turned.bits[(height - 1 - y) * turned.stride + (tx >> 3)] |= 0x80 >> (tx & 7);
    }
  }
  return turned;
}
