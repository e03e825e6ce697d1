// Reading a spreadsheet file into sheets of text cells. This runs inside a Web Worker (see
// worker.ts): spreadsheet files are untrusted input and the parsers have had advisories for
// crafted files, so nothing they do may happen in the page that holds the desktop bridge.

import Papa from 'papaparse';
import * as XLSX from 'xlsx/xlsx.mjs';
import * as cptable from 'xlsx/dist/cpexcel.full.mjs';
import { sheetCells } from './cells';
import { decodeText, TextEncodingName } from './decode';

XLSX.set_cptable(cptable);

export interface ParseLimits {
  maxBytes: number;
  maxRows: number;
  maxColumns: number;
}

/** Far above any label run, far below what would make the page slow. */
export const LIMITS: ParseLimits = { maxBytes: 20 * 1024 * 1024, maxRows: 100000, maxColumns: 500 };
export const MAX_CELL_CHARS = 10000;

export interface ParsedSheet {
  name: string;
  /** Every row as text cells: CSV as written, workbook cells as their values (see cells.ts). */
  rows: string[][];
}

export type ParseFailure =
  | { code: 'tooLarge'; limit: number; actual: number }
  | { code: 'tooManyRows'; limit: number }
  | { code: 'tooManyColumns'; limit: number }
  | { code: 'unreadable'; detail: string }
  | { code: 'empty' };

export type ParseResult =
  | { ok: true; kind: 'csv' | 'workbook'; encoding: TextEncodingName | ''; sheets: ParsedSheet[] }
  | ({ ok: false } & ParseFailure);

export class ParseError extends Error {
  constructor(readonly failure: ParseFailure) {
    super(failure.code);
    this.name = 'ParseError';
  }
}

export function parseSpreadsheet(bytes: Uint8Array, fileName: string, limits: ParseLimits = LIMITS): ParseResult {
  try {
    if (bytes.length > limits.maxBytes) throw new ParseError({ code: 'tooLarge', limit: limits.maxBytes, actual: bytes.length });
    if (bytes.length === 0) throw new ParseError({ code: 'empty' });
    if (isCsv(bytes, fileName)) {
      const { text, encoding } = decodeText(bytes);
      return { ok: true, kind: 'csv', encoding, sheets: [{ name: '', rows: parseCsv(text, limits) }] };
    }
    return { ok: true, kind: 'workbook', encoding: '', sheets: parseWorkbook(bytes, limits) };
  } catch (e) {
    if (e instanceof ParseError) return { ok: false, ...e.failure };
    return { ok: false, code: 'unreadable', detail: e instanceof Error ? e.message.slice(0, 200) : String(e).slice(0, 200) };
  }
}

/** Workbooks are ZIP (xlsx) or OLE (xls) files; anything else named .csv, or plain text, is CSV. */
function isCsv(bytes: Uint8Array, fileName: string): boolean {
  const zip = bytes[0] === 0x50 && bytes[1] === 0x4b;
  const ole = bytes[0] === 0xd0 && bytes[1] === 0xcf && bytes[2] === 0x11 && bytes[3] === 0xe0;
  if (zip || ole) return false;
  return /\.csv$/i.test(fileName) || !/\.xlsx?$/i.test(fileName);
}

export function parseCsv(text: string, limits: ParseLimits = LIMITS): string[][] {
  const result = Papa.parse<string[]>(text, {
    delimitersToGuess: [',', '\t', ';', '|'],
    skipEmptyLines: 'greedy',
    preview: limits.maxRows + 1,
  });
  const rows = result.data;
  checkSize(rows.length, rows.reduce((widest, r) => Math.max(widest, r.length), 0), limits);
  return rows.map(cleanRow);
}

function parseWorkbook(bytes: Uint8Array, limits: ParseLimits): ParsedSheet[] {
  const book = XLSX.read(bytes, { type: 'array', sheetRows: limits.maxRows + 1, cellFormula: false, cellHTML: false, cellStyles: false, cellNF: true, dense: true });
  return book.SheetNames.map((name) => {
    const sheet = book.Sheets[name];
    // sheetRows stops the reader early; a sheet that still yields more rows than the limit is too
    // long. The declared size is no guide: formatting a whole column declares a million rows.
    const rows = sheetCells(sheet);
    checkSize(rows.length, rows.reduce((widest, r) => Math.max(widest, r.length), 0), limits);
    return { name, rows: rows.map(cleanRow) };
  });
}

function checkSize(rows: number, columns: number, limits: ParseLimits): void {
  if (rows > limits.maxRows) throw new ParseError({ code: 'tooManyRows', limit: limits.maxRows });
  if (columns > limits.maxColumns) throw new ParseError({ code: 'tooManyColumns', limit: limits.maxColumns });
}

function cleanRow(row: string[]): string[] {
  return row.map((cell) => (cell.length > MAX_CELL_CHARS ? cell.slice(0, MAX_CELL_CHARS) : cell));
}
