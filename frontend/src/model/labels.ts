// Which labels a job prints: records in a range, each repeated a number of times, each with
// its counter value; and how those labels land on pages (one per page, or several per sheet).

import { counterValue, CounterSettings, formatCounter } from './fields';
import type { SheetLayout } from './merge';
import { placeLabels, sheetProblems } from './stock';

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

const NONE: { has(record: number): boolean } = new Set();

/**
 * Every label of a job in print order. Without a data source there is one implicit record,
 * so a plain serial run of `perRecord` labels still counts up. Skipped records are left out as
 * if the range did not hold them: counters count the labels that print.
 */
export function labelSequence(
  range: { first: number; last: number } | null,
  perRecord: number,
  counter: CounterSettings,
  skip: { has(record: number): boolean } = NONE,
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

/** True when every label of the layout lies on its paper and no two overlap. */
export function sheetFits(layout: SheetLayout, labelWidthMm: number, labelHeightMm: number): boolean {
  return sheetProblems(layout, labelWidthMm, labelHeightMm).length === 0;
}

export interface PlacedLabel {
  /** Index into the job's label sequence. */
  label: number;
  xMm: number;
  yMm: number;
}

/** Distributes labels over sheets where the layout puts them; the first sheet starts at its start position. */
export function paginate(labelCount: number, layout: SheetLayout): PlacedLabel[][] {
  const pages: PlacedLabel[][] = [];
  placeLabels(layout, labelCount, layout.startPosition).forEach((p, label) => {
    (pages[p.sheetIndex] ??= []).push({ label, xMm: p.xMm, yMm: p.yMm });
  });
  return pages;
}
