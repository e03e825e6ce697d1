// Spreadsheet cells as the values they hold. A cell's display text depends on its column width
// and number format: a 13-digit article number in a narrow column shows as "6.92E+12", and a
// barcode made from that text is wrong for every record. Labels need the value itself.

import * as XLSX from 'xlsx/xlsx.mjs';

/** Excel keeps fifteen significant digits; beyond them a number's digits are binary noise. */
const SIGNIFICANT_DIGITS = 15;

/** Built-in formats that Excel shows in the reader's own locale, so the file has no order of its own. */
const LOCALE_DATE = XLSX.SSF.get_table()[14];
const LOCALE_DATE_TIME = XLSX.SSF.get_table()[22];

/** A number without exponent or grouping, to fifteen significant digits (0.1 + 0.2 is "0.3"). */
export function plainNumber(value: number): string {
  if (!Number.isFinite(value)) return String(value);
  const rounded = Number(value.toPrecision(SIGNIFICANT_DIGITS));
  const text = String(rounded);
  if (!/e/i.test(text)) return text;
  return rounded.toLocaleString('en-US', { useGrouping: false, maximumFractionDigits: 20 });
}

/** Excel's error values by their codes, as a cell shows them. */
const ERRORS: Record<number, string> = { 0: '#NULL!', 7: '#DIV/0!', 15: '#VALUE!', 23: '#REF!', 29: '#NAME?', 36: '#NUM!', 42: '#N/A', 43: '#GETTING_DATA' };

/**
 * The cell as its format shows it. Workbooks are read without formatting every cell (most are
 * text or plain numbers, and formatting 500,000 of them takes longer than reading the file), so
 * the few cells that need it are formatted here.
 */
function shownText(cell: XLSX.CellObject, format: string): string {
  if (cell.w != null) return cell.w;
  try {
    return XLSX.SSF.format(format, cell.v as number);
  } catch {
    return plainNumber(cell.v as number);
  }
}

/** The cell's text for a label: its value, in its own date format, and text as typed. */
export function cellText(cell: XLSX.CellObject | undefined): string {
  if (!cell || cell.v == null) return '';
  if (cell.t === 's') return String(cell.v);
  if (cell.t === 'b') return cell.w ?? (cell.v ? 'TRUE' : 'FALSE');
  if (cell.t === 'e') return cell.w ?? ERRORS[cell.v as number] ?? '#VALUE!';
  if (cell.t !== 'n') return cell.w ?? String(cell.v);
  const value = cell.v as number;
  const format = typeof cell.z === 'string' ? cell.z : 'General';
  const plain = plainNumber(value);
  if (format === 'General') return plain;
  if (format === '@') return shownText(cell, format);
  if (XLSX.SSF.is_date(format)) {
    if (format === LOCALE_DATE) return XLSX.SSF.format('yyyy-mm-dd', value);
    if (format === LOCALE_DATE_TIME) return XLSX.SSF.format('yyyy-mm-dd hh:mm', value);
    return shownText(cell, format);
  }
  // A format that shows exactly the value keeps its form: leading zeros of a code, a price's cents.
  const shown = shownText(cell, format);
  return /^-?\d+(\.\d+)?$/.test(shown) && Number(shown) === Number(plain) ? shown : plain;
}

/**
 * The rows of a sheet read with `dense: true`, every row as wide as the sheet's range, blank rows
 * left out (as a label run has no use for them).
 */
export function sheetCells(sheet: XLSX.WorkSheet): string[][] {
  const ref = sheet['!ref'];
  if (!ref) return [];
  const range = XLSX.utils.decode_range(ref);
  const dense = sheet as unknown as (XLSX.CellObject[] | undefined)[];
  const rows: string[][] = [];
  for (let r = range.s.r; r <= range.e.r; r++) {
    const source = dense[r];
    if (!source) continue;
    const row: string[] = [];
    for (let c = range.s.c; c <= range.e.c; c++) row.push(cellText(source[c]));
    if (row.some((cell) => cell !== '')) rows.push(row);
  }
  return rows;
}
