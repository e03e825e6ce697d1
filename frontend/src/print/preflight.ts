// The check before anything is printed or exported: every label of the job, resolved from the
// current data and document exactly as it will be drawn. A barcode that cannot be encoded would
// print as an empty box and a field that names no column would print as typed, so either stops
// the job until its records are mended or skipped, and so does a picture that does not decode,
// which would print as nothing on every label. Nothing here is remembered between checks
// except which barcode values encode (render/barcode.ts), which depends on the value alone.

import { yieldToPage } from '../util/yield';
import type { BarcodeObject, ImageObject, LabelDocument } from '../model/document';
import { pictureFileName, PictureProblem, RecordPictures } from '../render/recordPictures';
import { FieldContext, FieldFault, hasFields, substitute, unknownColumns } from '../model/fields';
import type { LabelInstance } from '../model/labels';
import type { SheetTable } from '../data/table';
import { barcodeEncoderLoaded, barcodeError } from '../render/barcode';
import type { BarcodeFault } from '../render/barcodeFault';

export type LabelFault =
  | { kind: 'field'; name: string }
  | FieldFault
  | { kind: 'picture'; column: string; name: string; problem: PictureProblem }
  | { kind: 'brokenPicture'; id: string }
  | { kind: 'barcode'; value: string; fault: BarcodeFault };

/** Where the check learns which inserted pictures decode (the page's ImageStore). */
export interface PictureCheck {
  ready(doc: LabelDocument): Promise<void>;
  failed(src: string): boolean;
}

export interface RecordProblem {
  /** 0-based record index; -1 for a job without a data source. */
  record: number;
  faults: LabelFault[];
}

export interface CheckProgress {
  done: number;
  total: number;
}

/** Thrown by the print pipeline for a job with labels that must not print. */
export class JobBlocked extends Error {
  constructor(readonly problems: RecordProblem[]) {
    super(`${problems.length} records cannot be printed`);
    this.name = 'JobBlocked';
  }
}

/** Field names in texts and barcodes that are no column; the built-in fields always exist. */
export function missingFields(doc: LabelDocument, table: SheetTable | null): string[] {
  const names = new Set<string>();
  for (const o of doc.objects) {
    const content = o.type === 'text' ? o.text : o.type === 'barcode' ? o.data : '';
    unknownColumns(content, table?.columns ?? []).forEach((n) => names.add(n));
    if (o.type === 'image' && o.srcColumn && !table?.columns.includes(o.srcColumn)) names.add(o.srcColumn);
  }
  return [...names];
}

/**
 * Every record whose labels cannot print as designed, in print order; null when `superseded`
 * says a newer check replaced this one. Each distinct barcode value is encoded once.
 */
export async function checkLabels(
  doc: LabelDocument,
  table: SheetTable | null,
  labels: readonly LabelInstance[],
  now: Date,
  watch: { onProgress?: (p: CheckProgress) => void; superseded?: () => boolean; pictures?: PictureCheck } = {},
  pictures: RecordPictures | null = null,
): Promise<RecordProblem[] | null> {
  const fieldFaults: LabelFault[] = missingFields(doc, table).map((name) => ({ kind: 'field', name }));
  if (watch.pictures) {
    await watch.pictures.ready(doc);
    for (const o of doc.objects) if (o.type === 'image' && o.src && watch.pictures.failed(o.src)) fieldFaults.push({ kind: 'brokenPicture', id: o.id });
  }
  const barcodes = doc.objects.filter((o): o is BarcodeObject => o.type === 'barcode');
  const texts = doc.objects.flatMap((o) => (o.type === 'text' && hasFields(o.text) ? [o.text] : []));
  const recordImages = doc.objects.filter((o): o is ImageObject => o.type === 'image' && !!o.srcColumn && !!table?.columns.includes(o.srcColumn));
  const pictureVerdicts = new Map<string, PictureProblem | null>();
  if (barcodes.length > 0) await barcodeEncoderLoaded();
  const verdicts = new Map<string, BarcodeFault | null>();
  const byRecord = new Map<number, { problem: RecordProblem; seen: Set<string> }>();
  let sliceStart = Date.now();
  for (let i = 0; i < labels.length; i++) {
    const label = labels[i];
    const ctx: FieldContext = { columns: table?.columns ?? [], record: table && label.record >= 0 ? table.records[label.record] ?? null : null, counter: label.counter, now };
    const faults: LabelFault[] = [...fieldFaults];
    for (const text of texts) substitute(text, ctx, faults);
    for (const b of barcodes) {
      const value = substitute(b.data, ctx, faults);
      const key = `${b.symbology}\u0000${value}`;
      let fault = verdicts.get(key);
      if (fault === undefined) {
        fault = barcodeError({ symbology: b.symbology, data: value });
        verdicts.set(key, fault);
      }
      if (fault) faults.push({ kind: 'barcode', value, fault });
    }
    for (const image of recordImages) {
      const cell = substitute(`{{${image.srcColumn}}}`, ctx).trim();
      let problem = pictureVerdicts.get(cell);
      if (problem === undefined) {
        problem = !cell ? 'empty' : pictures ? await pictures.problem(cell) : 'unavailable';
        pictureVerdicts.set(cell, problem);
      }
      if (problem) faults.push({ kind: 'picture', column: image.srcColumn ?? '', name: pictureFileName(cell), problem });
    }
    if (faults.length > 0) addFaults(byRecord, label.record, faults);
    if (Date.now() - sliceStart > 30) {
      watch.onProgress?.({ done: i + 1, total: labels.length });
      await yieldToPage();
      if (watch.superseded?.()) return null;
      sliceStart = Date.now();
    }
  }
  watch.onProgress?.({ done: labels.length, total: labels.length });
  return [...byRecord.values()].map((r) => r.problem);
}

/** A record's labels may differ (a serial number in a barcode); each fault is listed once. */
function addFaults(byRecord: Map<number, { problem: RecordProblem; seen: Set<string> }>, record: number, faults: LabelFault[]): void {
  let entry = byRecord.get(record);
  if (!entry) {
    entry = { problem: { record, faults: [] }, seen: new Set() };
    byRecord.set(record, entry);
  }
  for (const fault of faults) {
    const key = JSON.stringify(fault);
    if (entry.seen.has(key)) continue;
    entry.seen.add(key);
    entry.problem.faults.push(fault);
  }
}
