// Which labels a job prints: records in a range, each repeated a number of times, each with
// its counter value; and how those labels land on pages (one per page, or several per sheet).

import { counterValue, CounterSettings, formatCounter } from './fields';
import type { SheetLayout } from './merge';

export interface LabelInstance {
  /** Index into the data source's records; -1 when no data source is used. */
  record: number;
  counter: string;
}

/** Records from..to (1-based, inclusive) out of count; null when the range makes no sense. */
export function parseRecordRange(from: number, to: number, count: number): { first: number; last: number } | null {
  if (!Number.isInteger(from) || !Number.isInteger(to) || from < 1 || to < from || to > count) return null;
  return { first: from - 1, last: to - 1 };
}

const NONE: ReadonlySet<number> = new Set();

/**
 * Every label of a job in print order. Without a data source there is one implicit record,
 * so a plain serial run of `perRecord` labels still counts up. Skipped records are left out as
 * if the range did not hold them: counters count the labels that print.
 */
export function labelSequence(
  range: { first: number; last: number } | null,
  perRecord: number,
  counter: CounterSettings,
  skip: ReadonlySet<number> = NONE,
): LabelInstance[] {
  const records = range ? range.last - range.first + 1 : 1;
  const labels: LabelInstance[] = [];
  let printed = 0;
  for (let r = 0; r < records; r++) {
    const record = range ? range.first + r : -1;
    if (skip.has(record)) continue;
    for (let k = 0; k < perRecord; k++) {
      const value = counterValue(counter, labels.length, printed);
      labels.push({ record, counter: formatCounter(value, counter.padding) });
    }
    printed += 1;
  }
  return labels;
}

export interface Slot {
  xMm: number;
  yMm: number;
}

/** Label positions on a sheet in filling order: left to right, then top to bottom. */
export function sheetSlots(layout: SheetLayout, labelWidthMm: number, labelHeightMm: number): Slot[] {
  const slots: Slot[] = [];
  for (let row = 0; row < layout.rows; row++) {
    for (let column = 0; column < layout.columns; column++) {
      slots.push({
        xMm: layout.marginLeftMm + column * (labelWidthMm + layout.gapXMm),
        yMm: layout.marginTopMm + row * (labelHeightMm + layout.gapYMm),
      });
    }
  }
  return slots;
}

/** True when every slot lies on the paper. */
export function sheetFits(layout: SheetLayout, labelWidthMm: number, labelHeightMm: number): boolean {
  const right = layout.marginLeftMm + layout.columns * labelWidthMm + (layout.columns - 1) * layout.gapXMm;
  const bottom = layout.marginTopMm + layout.rows * labelHeightMm + (layout.rows - 1) * layout.gapYMm;
  return right <= layout.paperWidthMm + 1e-6 && bottom <= layout.paperHeightMm + 1e-6;
}

export interface PlacedLabel {
  /** Index into the job's label sequence. */
  label: number;
  xMm: number;
  yMm: number;
}

/** Distributes labels over sheets; the first sheet starts at the layout's start position. */
export function paginate(labelCount: number, layout: SheetLayout, labelWidthMm: number, labelHeightMm: number): PlacedLabel[][] {
  const slots = sheetSlots(layout, labelWidthMm, labelHeightMm);
  const pages: PlacedLabel[][] = [];
  let slot = Math.min(Math.max(1, layout.startPosition), slots.length) - 1;
  let page: PlacedLabel[] = [];
  for (let label = 0; label < labelCount; label++) {
    page.push({ label, ...slots[slot] });
    slot += 1;
    if (slot === slots.length) {
      pages.push(page);
      page = [];
      slot = 0;
    }
  }
  if (page.length > 0) pages.push(page);
  return pages;
}
