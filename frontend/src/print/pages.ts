// The pages of a job, drawn at the printer's resolution. A page is either one label at its own
// size (label printers) or a sheet of office paper holding several labels. Printing and PDF
// export both use these pages, so the PDF shows exactly what the printer gets.

import type { LabelDocument, LabelObject } from '../model/document';
import { mmToWholePx, pxPerMm } from '../model/units';
import { labelPixelSize, renderLabel } from '../render/renderer';
import type { ImageStore } from '../render/images';
import { FieldContext, substitute } from '../model/fields';
import { LabelInstance, paginate } from '../model/labels';
import type { SheetLayout } from '../model/merge';
import type { SheetTable } from '../data/table';

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

export interface PageRenderer {
  readonly canvas: HTMLCanvasElement;
  /** Draws page `index` of the plan and returns the canvas (reused for every page). */
  draw(index: number): HTMLCanvasElement;
}

/**
 * One opaque canvas reused for every page: no alpha channel means smaller PNG pages and no
 * soft mask in the PDF, and reusing it keeps memory flat over thousands of labels.
 */
export function pageRenderer(doc: LabelDocument, plan: PagePlan, dpi: number, data: SheetTable | null, images: ImageStore, now: Date): PageRenderer {
  const size = pagePixelSize(plan, dpi);
  const canvas = document.createElement('canvas');
  canvas.width = size.width;
  canvas.height = size.height;
  const ctx = canvas.getContext('2d', { alpha: false })!;
  const scale = pxPerMm(dpi);
  const label = labelPixelSize(doc, dpi);
  return {
    canvas,
    draw(index) {
      ctx.fillStyle = '#ffffff';
      ctx.fillRect(0, 0, size.width, size.height);
      for (const placed of plan.pages[index]) {
        ctx.save();
        // Whole-pixel origins keep barcode modules on pixel boundaries on sheets too.
        ctx.translate(Math.round(placed.xMm * scale), Math.round(placed.yMm * scale));
        if (plan.pages[index].length > 1 || placed.xMm !== 0 || placed.yMm !== 0) {
          ctx.beginPath();
          ctx.rect(0, 0, label.width, label.height);
          ctx.clip();
        }
        renderLabel(ctx, doc, dpi, { images, resolveText: labelResolver(data, plan.labels[placed.label], now) });
        ctx.restore();
      }
      return canvas;
    },
  };
}
