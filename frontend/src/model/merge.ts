// What a project remembers about its data merge and page layout. Stored inside the project
// file so that reopening a project finds its spreadsheet, counter and sheet of labels again.

import { CounterSettings, DEFAULT_COUNTER } from './fields';

export interface DataSourceRef {
  /** Where the spreadsheet was read from; reopened by this path. Empty in browser mode. */
  path: string;
  name: string;
  /** Workbook sheet in use; empty for CSV. */
  sheet: string;
  /** The first row names the columns. */
  headerRow: boolean;
}

/** Several labels on one sheet of office paper. Lengths in millimetres. */
export interface SheetLayout {
  paperWidthMm: number;
  paperHeightMm: number;
  columns: number;
  rows: number;
  marginLeftMm: number;
  marginTopMm: number;
  gapXMm: number;
  gapYMm: number;
  /** 1-based position of the first label on the first sheet, so a partly used sheet can be reused. */
  startPosition: number;
}

export interface MergeSettings {
  source: DataSourceRef | null;
  counter: CounterSettings;
  /** Null prints one label per page at the label's own size (a label printer). */
  sheet: SheetLayout | null;
}

export const DEFAULT_MERGE: MergeSettings = { source: null, counter: DEFAULT_COUNTER, sheet: null };

export const PAPER_SIZES: readonly { id: string; widthMm: number; heightMm: number }[] = [
  { id: 'A4', widthMm: 210, heightMm: 297 },
  { id: 'A5', widthMm: 148, heightMm: 210 },
  { id: 'Letter', widthMm: 215.9, heightMm: 279.4 },
];

export function defaultSheet(labelWidthMm: number, labelHeightMm: number): SheetLayout {
  const paper = PAPER_SIZES[0];
  const columns = Math.max(1, Math.floor((paper.widthMm - 10) / (labelWidthMm + 2)));
  const rows = Math.max(1, Math.floor((paper.heightMm - 10) / (labelHeightMm + 2)));
  return {
    paperWidthMm: paper.widthMm, paperHeightMm: paper.heightMm, columns, rows,
    marginLeftMm: 5, marginTopMm: 5, gapXMm: 2, gapYMm: 2, startPosition: 1,
  };
}

/** Reads stored settings leniently: a damaged value falls back to its default, never failing the project. */
export function readMergeSettings(raw: unknown): MergeSettings {
  if (!isRecord(raw)) return DEFAULT_MERGE;
  return { source: readSource(raw.source), counter: readCounter(raw.counter), sheet: readSheet(raw.sheet) };
}

function readSource(raw: unknown): DataSourceRef | null {
  if (!isRecord(raw) || typeof raw.name !== 'string') return null;
  return {
    path: typeof raw.path === 'string' ? raw.path : '',
    name: raw.name,
    sheet: typeof raw.sheet === 'string' ? raw.sheet : '',
    headerRow: raw.headerRow !== false,
  };
}

function readCounter(raw: unknown): CounterSettings {
  if (!isRecord(raw)) return DEFAULT_COUNTER;
  return {
    start: wholeNumber(raw.start, DEFAULT_COUNTER.start, -1e12, 1e12),
    step: wholeNumber(raw.step, DEFAULT_COUNTER.step, -1e9, 1e9),
    padding: wholeNumber(raw.padding, DEFAULT_COUNTER.padding, 0, 20),
    per: raw.per === 'record' ? 'record' : 'label',
  };
}

function readSheet(raw: unknown): SheetLayout | null {
  if (!isRecord(raw)) return null;
  const length = (v: unknown, fallback: number): number => (typeof v === 'number' && Number.isFinite(v) && v >= 0 && v <= 2000 ? v : fallback);
  const paperWidthMm = length(raw.paperWidthMm, 0);
  const paperHeightMm = length(raw.paperHeightMm, 0);
  if (paperWidthMm <= 0 || paperHeightMm <= 0) return null;
  return {
    paperWidthMm, paperHeightMm,
    columns: wholeNumber(raw.columns, 1, 1, 100),
    rows: wholeNumber(raw.rows, 1, 1, 200),
    marginLeftMm: length(raw.marginLeftMm, 0),
    marginTopMm: length(raw.marginTopMm, 0),
    gapXMm: length(raw.gapXMm, 0),
    gapYMm: length(raw.gapYMm, 0),
    startPosition: wholeNumber(raw.startPosition, 1, 1, 20000),
  };
}

function wholeNumber(v: unknown, fallback: number, min: number, max: number): number {
  return typeof v === 'number' && Number.isInteger(v) && v >= min && v <= max ? v : fallback;
}

function isRecord(value: unknown): value is Record<string, unknown> {
  return typeof value === 'object' && value !== null && !Array.isArray(value);
}
