// From the print dialog's choices to pages: which labels, on which pages, drawn how. Printing,
// PDF export and the dialog's preview all start here.

import type { LabelDocument } from '../model/document';
import type { ImageStore } from '../render/images';
import type { SheetTable } from '../data/table';
import { labelSequence, parseRecordRange, sheetFits } from '../model/labels';
import type { MergeSettings, SheetLayout } from '../model/merge';
import { buildPdf, PdfProgress } from '../pdf/export';
import { PagePlan, pagePixelSize, pageRenderer, planPages } from './pages';

export const RESOLUTIONS = [203, 300, 600] as const;
export const DEFAULT_DPI = 300;
/** More labels than this in one job is almost surely a typing mistake. */
export const MAX_JOB_LABELS = 100000;
/** The host decodes no page image above 100 million pixels, and a canvas side ends at 32767. */
export const MAX_PAGE_PIXELS = 100 * 1000 * 1000;
export const MAX_PAGE_SIDE_PX = 32767;

export interface OutputOptions {
  dpi: number;
  /** 1-based, inclusive; ignored without a data source. */
  from: number;
  to: number;
  perRecord: number;
  sheet: SheetLayout | null;
}

export type PlanResult = { ok: true; plan: PagePlan } | { ok: false; reason: 'range' | 'sheet' | 'count' | 'pageTooLarge' };

export function planOutput(doc: LabelDocument, table: SheetTable | null, settings: MergeSettings, options: OutputOptions): PlanResult {
  const range = table ? parseRecordRange(options.from, options.to, table.records.length) : null;
  if (table && !range) return { ok: false, reason: 'range' };
  if (options.sheet && !sheetFits(options.sheet, doc.widthMm, doc.heightMm)) return { ok: false, reason: 'sheet' };
  const perRecord = Math.max(1, Math.floor(options.perRecord));
  const records = range ? range.last - range.first + 1 : 1;
  if (records * perRecord > MAX_JOB_LABELS) return { ok: false, reason: 'count' };
  const labels = labelSequence(range, perRecord, settings.counter);
  const plan = planPages(doc, labels, options.sheet);
  const page = pagePixelSize(plan, options.dpi);
  if (page.width * page.height > MAX_PAGE_PIXELS || Math.max(page.width, page.height) > MAX_PAGE_SIDE_PX) return { ok: false, reason: 'pageTooLarge' };
  return { ok: true, plan };
}

/** Draws pages as PNG data URLs; pictures must have loaded first (ImageStore.ready). */
export function pageDrawer(doc: LabelDocument, plan: PagePlan, dpi: number, table: SheetTable | null, images: ImageStore, now = new Date()): (index: number) => string {
  const renderer = pageRenderer(doc, plan, dpi, table, images, now);
  return (index) => renderer.draw(index).toDataURL('image/png');
}

/** The whole job as a PDF file; null when stopped. Throws for choices planOutput refuses. */
export async function renderPdf(
  doc: LabelDocument, table: SheetTable | null, settings: MergeSettings, options: OutputOptions, images: ImageStore,
  onProgress?: (p: PdfProgress) => void, stopRequested?: () => boolean,
): Promise<Uint8Array | null> {
  const planned = planOutput(doc, table, settings, options);
  if (!planned.ok) throw new Error(planned.reason);
  await images.ready(doc);
  const { plan } = planned;
  return buildPdf({ pageWidthMm: plan.pageWidthMm, pageHeightMm: plan.pageHeightMm, count: plan.pages.length }, pageDrawer(doc, plan, options.dpi, table, images), doc.name || 'Quillmark', onProgress, stopRequested);
}
