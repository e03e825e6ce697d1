// The one print pipeline: from the print dialog's choices to pages (which labels, on which
// pages, drawn how), and from pages to the printer or to a saved PDF. The dialog, its preview
// and the tools that drive printing without the dialog all go through here.

import type { LabelDocument } from '../model/document';
import type { ImageStore } from '../render/images';
import type { RecordPictures } from '../render/recordPictures';
import type { SheetTable } from '../data/table';
import { labelSequence, parseRecordRange, sheetFits } from '../model/labels';
import type { MergeSettings, SheetLayout } from '../model/merge';
import type { DesktopApi, SavedFile } from '../bridge/client';
import { checkPayload, refusedBeforeSending } from '../bridge/errors';
import { MAX_PAGE_PIXELS } from '../bridge/limits';
import type { MessageKey } from '../i18n/messages';
import { bytesToBase64 } from '../model/project';
import { buildPdf, PdfProgress } from '../pdf/export';
import { JobOutcome, JobRequest, runPrintJob } from './job';
import { batchLimits } from './batches';
import { COLOUR_LOOK, PageLook, PagePlan, pagePixelSize, planPages } from './pages';
import { PageImages, pageImages } from './pageImages';
import { checkLabels, JobBlocked } from './preflight';

export const RESOLUTIONS = [203, 300, 600] as const;
export const DEFAULT_DPI = 300;
/** More labels than this in one job is almost surely a typing mistake. */
export const MAX_JOB_LABELS = 100000;
/** A canvas side ends here; the host's pixel cap is MAX_PAGE_PIXELS. */
export const MAX_PAGE_SIDE_PX = 32767;

/** What a job prints from: the label, the merge's data and settings, and the decoded pictures. */
export interface OutputSource {
  doc: LabelDocument;
  table: SheetTable | null;
  settings: MergeSettings;
  images: ImageStore;
  /** Where record pictures are read and checked; none: such pictures stop the job as unreadable. */
  pictures?: RecordPictures | null;
}

export interface OutputOptions {
  dpi: number;
  /** 1-based, inclusive; ignored without a data source. */
  from: number;
  to: number;
  perRecord: number;
  sheet: SheetLayout | null;
  /** Records (0-based) the user chose to leave out; the job prints as if the range lacked them. */
  skip?: readonly number[];
  /** When given and not empty, only these records (0-based) of the range print, as if the range held no others. */
  only?: readonly number[];
  /** Colour (the default) or the printer's dots, with the printer's offset and feed direction. */
  look?: PageLook;
}

export type PlanRefusal = 'range' | 'sheet' | 'count' | 'pageTooLarge' | 'empty';
export type PlanResult = { ok: true; plan: PagePlan } | { ok: false; reason: PlanRefusal };

export function planOutput(doc: LabelDocument, table: SheetTable | null, settings: MergeSettings, options: OutputOptions): PlanResult {
  const range = table ? parseRecordRange(options.from, options.to, table.records.length) : null;
  if (table && !range) return { ok: false, reason: 'range' };
  if (options.sheet && !sheetFits(options.sheet, doc.widthMm, doc.heightMm)) return { ok: false, reason: 'sheet' };
  const perRecord = Math.max(1, Math.floor(options.perRecord));
  const skip = new Set(options.skip ?? []);
  const only = options.only && options.only.length > 0 && range ? new Set(options.only.filter((r) => r >= range.first && r <= range.last)) : null;
  const records = only ? only.size : range ? range.last - range.first + 1 : 1;
  if (records * perRecord > MAX_JOB_LABELS) return { ok: false, reason: 'count' };
  const left = only ? { has: (r: number) => skip.has(r) || !only.has(r) } : skip;
  const labels = labelSequence(range, perRecord, settings.counter, left);
  if (labels.length === 0) return { ok: false, reason: 'empty' };
  const plan = planPages(doc, labels, options.sheet);
  const page = pagePixelSize(plan, options.dpi);
  if (page.width * page.height > MAX_PAGE_PIXELS || Math.max(page.width, page.height) > MAX_PAGE_SIDE_PX) return { ok: false, reason: 'pageTooLarge' };
  return { ok: true, plan };
}

export interface PreparedPages {
  plan: PagePlan;
  /**
   * The pages as PNG data URLs, in order: colour, or black and white 1-bit PNGs that the host
   * hands on as 1-bit images. Closed when the job is done with them.
   */
  pages: PageImages;
}

/**
 * Plans the job, checks every label of it and waits for its pictures; throws for choices
 * planOutput refuses, and JobBlocked for labels that must not print. `workers` says how many
 * workers draw the pages (0: the page's thread); by default as many as the job can use.
 */
export async function preparePages(source: OutputSource, options: OutputOptions, workers?: number): Promise<PreparedPages> {
  const planned = planOutput(source.doc, source.table, source.settings, options);
  if (!planned.ok) throw new Error(planned.reason);
  // Checked and drawn at the same moment, so a date field reads the same in both.
  const now = new Date();
  await source.images.ready(source.doc);
  const job = { doc: source.doc, plan: planned.plan, dpi: options.dpi, table: source.table, look: options.look ?? COLOUR_LOOK, now };
  const pages = await pageImages(job, source.images, workers);
  // The workers draw the first pages while this thread checks every label; none is sent before
  // the check has passed.
  pages.prefetch();
  try {
    const problems = await checkLabels(source.doc, source.table, planned.plan.labels, now, { pictures: source.images }, source.pictures ?? null);
    if (problems && problems.length > 0) throw new JobBlocked(problems);
  } catch (e) {
    pages.close();
    throw e;
  }
  return { plan: planned.plan, pages };
}

export type PrintRequest = Omit<JobRequest, 'plan' | 'drawPage'> & { drawPage?: JobRequest['drawPage'] };

/**
 * Sends the job to a printer in batches sized for its kind of page; `drawPage` replaces the
 * drawing (pages drawn beforehand).
 */
export async function printOutput(source: OutputSource, options: OutputOptions, request: PrintRequest): Promise<JobOutcome> {
  const prepared = await preparePages(source, options, request.drawPage ? 0 : undefined);
  const limits = request.limits ?? batchLimits(options.look?.kind ?? 'colour', pagePixelSize(prepared.plan, options.dpi));
  try {
    return await runPrintJob({ ...request, limits, plan: prepared.plan, drawPage: request.drawPage ?? prepared.pages.page });
  } finally {
    prepared.pages.close();
  }
}

/** How a finished job reads in the dialog: labels reached the printer, never pages. */
export function outcomeMessage(outcome: JobOutcome, copies: number, printer: string): { key: MessageKey; params: Record<string, string | number> } {
  switch (outcome.status) {
    case 'done':
      return { key: 'printDone', params: { labels: outcome.labelsSent, printer, pages: outcome.pagesSent, copies } };
    case 'stopped':
      return { key: 'printStopped', params: { labels: outcome.labelsSent, rest: outcome.totalLabels - outcome.labelsSent } };
    case 'failed':
      // A batch refused before it reached the printing system printed nothing of itself.
      if (refusedBeforeSending(outcome.failure)) {
        return outcome.labelsSent === 0 ? { key: 'printNothingSent', params: {} } : { key: 'printRefusedAfter', params: { labels: outcome.labelsSent } };
      }
      return { key: 'printFailedCount', params: { labels: outcome.labelsSent } };
  }
}

/** The whole job as a PDF file; null when stopped. */
export async function renderPdf(
  source: OutputSource, options: OutputOptions, onProgress?: (p: PdfProgress) => void, stopRequested?: () => boolean,
): Promise<Uint8Array | null> {
  const { plan, pages } = await preparePages(source, options);
  const size = { pageWidthMm: plan.pageWidthMm, pageHeightMm: plan.pageHeightMm, count: plan.pages.length };
  try {
    return await buildPdf(size, pages.page, source.doc.name || 'Quillmark', onProgress, stopRequested);
  } finally {
    pages.close();
  }
}

/** Builds the PDF and hands it to the host's save dialog; null when stopped or cancelled. */
export async function savePdf(
  source: OutputSource, options: OutputOptions, api: Pick<DesktopApi, 'savePrintPdf'>, suggestedName: string,
  onProgress?: (p: PdfProgress) => void, stopRequested?: () => boolean,
): Promise<SavedFile | null> {
  const bytes = await renderPdf(source, options, onProgress, stopRequested);
  if (!bytes) return null;
  const dataBase64 = bytesToBase64(bytes);
  // Said before the save dialog opens, so nobody picks a place for a file that cannot be sent.
  checkPayload('pdf', dataBase64.length + suggestedName.length + 64);
  return api.savePrintPdf({ suggestedName, dataBase64 });
}
