// Reading a spreadsheet file into sheets of text cells. This runs inside a Web Worker (see
// worker.ts): spreadsheet files are untrusted input and the parsers have had advisories for
// crafted files, so nothing they do may happen in the page that holds the desktop bridge.

import Papa from 'papaparse';
import * as XLSX from 'xlsx/xlsx.mjs';
import * as cptable from 'xlsx/dist/cpexcel.full.mjs';
import { sheetCells } from './cells';
import { decodeText, MixedLines, TextEncodingName } from './decode';
import { MAX_RECORDS } from './table';
import { checkInflatedSize, InflateLimitExceeded } from './zip';

XLSX.set_cptable(cptable);

export interface ParseLimits {
  maxBytes: number;
  /** Records; a sheet may have one row more, its header row. */
  maxRows: number;
  maxColumns: number;
  /** What a workbook's ZIP may unpack to. */
  maxInflatedBytes: number;
}

/** Far above any label run, far below what would make the page slow. */
export const LIMITS: ParseLimits = { maxBytes: 20 * 1024 * 1024, maxRows: MAX_RECORDS, maxColumns: 500, maxInflatedBytes: 200 * 1024 * 1024 };
export const MAX_CELL_CHARS = 10000;

export interface ParsedSheet {
  name: string;
  /** Every row as text cells: CSV as written, workbook cells as their values (see cells.ts). */
  rows: string[][];
}

/** What a file's first bytes show it to be. */
export type ContentKind = 'zip' | 'ole' | 'html' | 'text' | 'binary';

export type ParseFailure =
  | { code: 'tooLarge'; limit: number; actual: number }
  | { code: 'wrongContent'; extension: string; actual: ContentKind }
  | { code: 'inflateTooLarge'; limit: number }
  | { code: 'tooManyRows'; limit: number }
  | { code: 'tooManyColumns'; limit: number }
  | { code: 'unreadable'; detail: string }
  | { code: 'empty' };

export type ParseResult =
  | { ok: true; kind: 'csv' | 'workbook'; encoding: TextEncodingName | ''; mixed: MixedLines | null; sheets: ParsedSheet[] }
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
    const content = sniffContent(bytes);
    const extension = (/\.(xlsx|xls)$/i.exec(fileName)?.[0] ?? '').toLowerCase();
    const workbook = content === 'zip' || content === 'ole' || (extension === '.xls' && isXmlSpreadsheet(bytes));
    // A workbook's name promises a workbook: text or a web page under that name would be read
    // as something else (an HTML ".xls" loses its leading zeros), so it is refused instead.
    if (!workbook && (extension !== '' || content !== 'text')) throw new ParseError({ code: 'wrongContent', extension: extension || extensionOf(fileName), actual: content });
    if (!workbook) {
      const { text, encoding, mixed } = decodeText(bytes);
      return { ok: true, kind: 'csv', encoding, mixed, sheets: [{ name: '', rows: parseCsv(text, limits) }] };
    }
    if (content === 'zip') checkInflatedSize(bytes, limits.maxInflatedBytes);
    return { ok: true, kind: 'workbook', encoding: '', mixed: null, sheets: parseWorkbook(bytes, limits) };
  } catch (e) {
    if (e instanceof ParseError) return { ok: false, ...e.failure };
    if (e instanceof InflateLimitExceeded) return { ok: false, code: 'inflateTooLarge', limit: limits.maxInflatedBytes };
    return { ok: false, code: 'unreadable', detail: e instanceof Error ? e.message.slice(0, 200) : String(e).slice(0, 200) };
  }
}

const SNIFF_BYTES = 8192;

/**
 * Workbooks are ZIP (xlsx) or OLE (xls) files. Text has no NUL byte (unless it is UTF-16 with
 * its mark); a web page starts with a tag. The content decides, whatever the name says.
 */
export function sniffContent(bytes: Uint8Array): ContentKind {
  if (bytes[0] === 0x50 && bytes[1] === 0x4b && bytes[2] === 3 && bytes[3] === 4) return 'zip';
  if (bytes[0] === 0xd0 && bytes[1] === 0xcf && bytes[2] === 0x11 && bytes[3] === 0xe0) return 'ole';
  const head = bytes.subarray(0, SNIFF_BYTES);
  const utf16 = (head[0] === 0xff && head[1] === 0xfe) || (head[0] === 0xfe && head[1] === 0xff);
  if (!utf16 && head.includes(0)) return 'binary';
  const start = decodeText(head).text.replace(/^[\s\ufeff]+/, '').slice(0, 512).toLowerCase();
  if (/^<(!doctype html|html|head|body|table|meta|style|!--)/.test(start)) return 'html';
  return 'text';
}

/** Excel's XML Spreadsheet 2003, which older programs save as .xls. */
function isXmlSpreadsheet(bytes: Uint8Array): boolean {
  const head = decodeText(bytes.subarray(0, SNIFF_BYTES)).text;
  return /^[\s\ufeff]*<\?xml/.test(head) && head.includes('urn:schemas-microsoft-com:office:spreadsheet');
}

function extensionOf(fileName: string): string {
  return (/\.[^./\\]+$/.exec(fileName)?.[0] ?? '').toLowerCase();
}

export function parseCsv(text: string, limits: ParseLimits = LIMITS): string[][] {
  const result = Papa.parse<string[]>(text, {
    delimitersToGuess: [',', '\t', ';', '|'],
    skipEmptyLines: 'greedy',
    preview: limits.maxRows + 2,
  });
  const rows = result.data;
  checkSize(rows.length, rows.reduce((widest, r) => Math.max(widest, r.length), 0), limits);
  return rows.map(cleanRow);
}

function parseWorkbook(bytes: Uint8Array, limits: ParseLimits): ParsedSheet[] {
  const book = XLSX.read(bytes, { type: 'array', sheetRows: limits.maxRows + 2, cellFormula: false, cellHTML: false, cellStyles: false, cellNF: true, cellText: false, dense: true });
  return book.SheetNames.map((name) => {
    const sheet = book.Sheets[name];
    // sheetRows stops the reader early; a sheet that still yields more rows than the limit is too
    // long. The declared size is no guide: formatting a whole column declares a million rows.
    const rows = sheetCells(sheet);
    checkSize(rows.length, rows.reduce((widest, r) => Math.max(widest, r.length), 0), limits);
    return { name, rows: rows.map(cleanRow) };
  });
}

/** The header row is not a record: a sheet of 100,000 records has 100,001 rows. */
function checkSize(rows: number, columns: number, limits: ParseLimits): void {
  if (rows > limits.maxRows + 1) throw new ParseError({ code: 'tooManyRows', limit: limits.maxRows });
  if (columns > limits.maxColumns) throw new ParseError({ code: 'tooManyColumns', limit: limits.maxColumns });
}

function cleanRow(row: string[]): string[] {
  return row.map((cell) => (cell.length > MAX_CELL_CHARS ? cell.slice(0, MAX_CELL_CHARS) : cell));
}
