// The pages of a job, drawn at the printer's resolution. A page is either one label at its own
// size (label printers) or a sheet of office paper holding several labels. Printing and PDF
// export both use these pages, so the PDF shows exactly what the printer gets.

import type { LabelDocument, LabelObject } from '../model/document';
import { mmToWholePx, pxPerMm } from '../model/units';
import { labelPixelSize, renderLabel } from '../render/renderer';
import type { Pictures } from '../render/images';
import { AnyCanvas, context2d, createCanvas, Ctx2D } from '../render/canvas';
import { FieldContext, hasFields, substitute } from '../model/fields';
import { LabelInstance, paginate } from '../model/labels';
import type { SheetLayout } from '../model/merge';
import type { SheetTable } from '../data/table';
import type { PrinterProfile } from '../model/profiles';
import { convertInto, createMonoBitmap, isDot, MonoBitmap } from '../render/mono';

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

/**
 * What page `index` shows, as a string: pages with equal keys are drawn alike. Only placements
 * and the texts that fields change go into it, so a label without fields gives every one-label
 * page the same key and is drawn once.
 */
export function pageContentKey(doc: LabelDocument, plan: PagePlan, data: SheetTable | null, now: Date): (index: number) => string {
  const varying: [string, LabelObject][] = [];
  for (const o of doc.objects) {
    const stored = o.type === 'text' ? o.text : o.type === 'barcode' ? o.data : '';
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

  const paint = (target: Ctx2D, index: number, page: LabelDocument, background: string | null, turn: boolean): void => {
    target.save();
    // Offsets are whole dots in the label's own reading direction, as the user measures them.
    target.translate(Math.round(look.offsetXMm * scale), Math.round(look.offsetYMm * scale));
    for (const placed of plan.pages[index]) {
      target.save();
      // Whole-pixel origins keep barcode modules on pixel boundaries on sheets too.
      target.translate(Math.round(placed.xMm * scale), Math.round(placed.yMm * scale));
      if (plan.pages[index].length > 1 || placed.xMm !== 0 || placed.yMm !== 0) {
        target.beginPath();
        target.rect(0, 0, label.width, label.height);
        target.clip();
      }
      renderLabel(target, page, dpi, { images, background, resolveText: labelResolver(data, plan.labels[placed.label], now) });
      target.restore();
    }
    target.restore();
    // Turned as pixels, not by the canvas transform: text drawn upside down would round its
    // edges differently and print other dots than the label shows.
    if (turn) {
      const pixels = target.getImageData(0, 0, size.width, size.height);
      new Uint32Array(pixels.data.buffer).reverse();
      target.putImageData(pixels, 0, 0);
    }
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
      ctx.fillStyle = '#ffffff';
      ctx.fillRect(0, 0, size.width, size.height);
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
