// What a project remembers about its data merge and page layout. Stored inside the project
// file so that reopening a project finds its spreadsheet, counter and sheet of labels again.

import { CounterSettings, DEFAULT_COUNTER } from './fields';
import { PaperName, PAPERS, SheetGeometry, StockEntry } from './stock';

export interface DataSourceRef {
  /** Where the spreadsheet was read from; reopened by this path. Empty in browser mode. */
  path: string;
  name: string;
  /** Workbook sheet in use; empty for CSV. */
  sheet: string;
  /** The first row names the columns. */
  headerRow: boolean;
}

/**
 * Several labels on one sheet of office paper: the stock's own geometry (pitches, not gaps) and
 * where the first label of a job goes on a partly used sheet.
 */
export interface SheetLayout extends SheetGeometry {
  /** 1-based position of the first label on the first sheet, across then down. */
  startPosition: number;
}

export interface MergeSettings {
  source: DataSourceRef | null;
  counter: CounterSettings;
  /** Null prints one label per page at the label's own size (a label printer). */
  sheet: SheetLayout | null;
}

export const DEFAULT_MERGE: MergeSettings = { source: null, counter: DEFAULT_COUNTER, sheet: null };

/** A sheet layout for a label that has no sheet stock: as many labels as fit on A4. */
export function defaultSheet(labelWidthMm: number, labelHeightMm: number): SheetLayout {
  const paper = PAPERS.A4;
  const margin = 5;
  const gap = 2;
  const columns = Math.max(1, Math.floor((paper.widthMm - 2 * margin + gap) / (labelWidthMm + gap)));
  const rows = Math.max(1, Math.floor((paper.heightMm - 2 * margin + gap) / (labelHeightMm + gap)));
  return {
    paper: 'A4', paperWidthMm: paper.widthMm, paperHeightMm: paper.heightMm, columns, rows,
    marginLeftMm: margin, marginTopMm: margin, pitchXMm: labelWidthMm + gap, pitchYMm: labelHeightMm + gap, startPosition: 1,
  };
}

/** The layout a sheet stock prints with, from its first position. */
export function sheetOfStock(stock: StockEntry | undefined): SheetLayout | null {
  return stock?.sheet ? { ...stock.sheet, startPosition: 1 } : null;
}

/** The paper a size is, so a layout typed in by hand still names A4 or Letter. */
export function paperName(widthMm: number, heightMm: number): PaperName {
  const near = (a: number, b: number): boolean => Math.abs(a - b) < 0.05;
  const found = (Object.keys(PAPERS) as ('A4' | 'Letter')[]).find((id) => near(PAPERS[id].widthMm, widthMm) && near(PAPERS[id].heightMm, heightMm));
  return found ?? 'custom';
}

/**
 * Layouts written before labels were placed by pitch kept the gaps between labels; the pitch is
 * the label's size plus that gap. Called while reading a project, which knows the label's size.
 */
export function migrateSheetGaps(rawMerge: unknown, labelWidthMm: number, labelHeightMm: number): unknown {
  if (!isRecord(rawMerge) || !isRecord(rawMerge.sheet)) return rawMerge;
  const sheet = rawMerge.sheet;
  if (sheet.pitchXMm !== undefined || sheet.pitchYMm !== undefined) return rawMerge;
  const gap = (v: unknown): number => (typeof v === 'number' && Number.isFinite(v) && v >= 0 ? v : 0);
  const { gapXMm, gapYMm, ...rest } = sheet;
  return { ...rawMerge, sheet: { ...rest, pitchXMm: labelWidthMm + gap(gapXMm), pitchYMm: labelHeightMm + gap(gapYMm) } };
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
    paper: paperName(paperWidthMm, paperHeightMm), paperWidthMm, paperHeightMm,
    columns: wholeNumber(raw.columns, 1, 1, 100),
    rows: wholeNumber(raw.rows, 1, 1, 200),
    marginLeftMm: length(raw.marginLeftMm, 0),
    marginTopMm: length(raw.marginTopMm, 0),
    pitchXMm: length(raw.pitchXMm, 0),
    pitchYMm: length(raw.pitchYMm, 0),
    ...(Array.isArray(raw.blocks) && raw.blocks.length > 0 ? { blocks: raw.blocks.filter(isRecord).slice(0, 20).map((b) => ({
      columns: wholeNumber(b.columns, 1, 1, 100), rows: wholeNumber(b.rows, 1, 1, 200),
      marginLeftMm: length(b.marginLeftMm, 0), marginTopMm: length(b.marginTopMm, 0), pitchXMm: length(b.pitchXMm, 0), pitchYMm: length(b.pitchYMm, 0),
    })) } : {}),
    startPosition: wholeNumber(raw.startPosition, 1, 1, 20000),
  };
}

function wholeNumber(v: unknown, fallback: number, min: number, max: number): number {
  return typeof v === 'number' && Number.isInteger(v) && v >= min && v <= max ? v : fallback;
}

function isRecord(value: unknown): value is Record<string, unknown> {
  return typeof value === 'object' && value !== null && !Array.isArray(value);
}
