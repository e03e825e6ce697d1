// Fields in text and barcode content. The syntax, as the data panel explains it:
//   {{Column}}              the current record's value in that column (names as in the header row,
//                           or A, B, C ... when the sheet has no header row)
//   {{$counter}}            the serial number (start, step, zero padding set in the data panel)
//   {{$date}} {{$time}}     when the job started; a format may follow a colon:
//   {{$date:YYYY年MM月DD日}} {{$time:HH:mm}}  (YYYY MM DD HH mm ss)
//   {{$date+30d}}           an offset in days, weeks, months or years (d w m y; + or -)
//   {{生产日期+180d:YYYY年MM月DD日}}  a date column, moved and formatted the same way
//   {{价格:¥#,##0.00}}      a number column in a number format (model/formats.ts)
// Anything else between double braces that names no column stays as typed, so a mistyped
// name shows on the canvas; the check before printing (print/preflight.ts) stops a job on it,
// and on a record whose cell is no date or no number where the field wants one.

import { addOffset, DateOffset, DateUnit, formatNumber, NumberFormat, parseDateCell, parseNumberFormat } from './formats';

export interface CounterSettings {
  start: number;
  step: number;
  /** Minimum digits; shorter numbers get leading zeros. */
  padding: number;
  /** 'label': every printed label gets the next number; 'record': all labels of one record share it. */
  per: 'label' | 'record';
}

export const DEFAULT_COUNTER: CounterSettings = { start: 1, step: 1, padding: 0, per: 'label' };

export interface FieldContext {
  columns: readonly string[];
  /** The record's cells, in column order; null when no data source is loaded. */
  record: readonly string[] | null;
  /** The serial number as printed, padding applied. */
  counter: string;
  now: Date;
}

/** A column field with an offset or a format: the column it reads and what it makes of the cell. */
export interface CellFormat {
  column: string;
  offset: DateOffset | null;
  format: string;
  /** Set for a number format; otherwise the cell is read as a date. */
  number: NumberFormat | null;
}

export type FieldToken =
  | { kind: 'text'; text: string }
  /** `name` is everything between the braces: a column of that very name wins over `cellFormat`. */
  | { kind: 'column'; name: string; raw: string; cellFormat: CellFormat | null }
  | { kind: 'counter'; raw: string }
  | { kind: 'date' | 'time' | 'datetime'; format: string; offset: DateOffset | null; raw: string };

/** A record whose cell a field cannot print: no date, or no number. */
export interface FieldFault {
  kind: 'date' | 'number';
  column: string;
  value: string;
}

const FIELD = /\{\{([^{}]*)\}\}/g;
const OFFSET = /^(.*?)\s*([+-])\s*(\d{1,5})\s*([dwmy])$/i;
const DEFAULT_FORMATS = { date: 'YYYY-MM-DD', time: 'HH:mm', datetime: 'YYYY-MM-DD HH:mm' };

/** Texts are tokenized once and drawn for every record. */
const tokenCache = new Map<string, FieldToken[]>();
const TOKEN_CACHE_SIZE = 2000;

export function tokenize(text: string): FieldToken[] {
  const cached = tokenCache.get(text);
  if (cached) return cached;
  if (tokenCache.size >= TOKEN_CACHE_SIZE) tokenCache.clear();
  const tokens: FieldToken[] = [];
  let last = 0;
  for (const match of text.matchAll(FIELD)) {
    const index = match.index ?? 0;
    if (index > last) tokens.push({ kind: 'text', text: text.slice(last, index) });
    tokens.push(readField(match[1], match[0]));
    last = index + match[0].length;
  }
  if (last < text.length) tokens.push({ kind: 'text', text: text.slice(last) });
  tokenCache.set(text, tokens);
  return tokens;
}

function readField(inner: string, raw: string): FieldToken {
  const body = inner.trim();
  const colon = body.indexOf(':');
  let head = (colon < 0 ? body : body.slice(0, colon)).trim();
  const format = colon < 0 ? '' : body.slice(colon + 1);
  let offset: DateOffset | null = null;
  const m = OFFSET.exec(head);
  if (m) {
    head = m[1].trim();
    offset = { amount: (m[2] === '-' ? -1 : 1) * Number(m[3]), unit: m[4].toLowerCase() as DateUnit };
  }
  if (head.startsWith('$')) {
    const name = head.slice(1).trim().toLowerCase();
    if (name === 'counter' && !offset && !format) return { kind: 'counter', raw };
    if (name === 'date' || name === 'time' || name === 'datetime') return { kind: name, format: format || DEFAULT_FORMATS[name], offset, raw };
  }
  if (!offset && !format) return { kind: 'column', name: body, raw, cellFormat: null };
  const number = offset ? null : parseNumberFormat(format);
  return { kind: 'column', name: body, raw, cellFormat: { column: head, offset, format: format || DEFAULT_FORMATS.date, number } };
}

/** The column a field reads, or null when it names none of these columns. */
function columnOf(token: { name: string; cellFormat: CellFormat | null }, columns: readonly string[]): { index: number; cellFormat: CellFormat | null } | null {
  const index = columns.indexOf(token.name);
  if (index >= 0 || !token.cellFormat) return index >= 0 ? { index, cellFormat: null } : null;
  const formatIndex = columns.indexOf(token.cellFormat.column);
  return formatIndex >= 0 ? { index: formatIndex, cellFormat: token.cellFormat } : null;
}

/** True when the text holds anything that changes from label to label. */
export function hasFields(text: string): boolean {
  return tokenize(text).some((t) => t.kind !== 'text');
}

/** Column names a text refers to that the data source does not have. */
export function unknownColumns(text: string, columns: readonly string[]): string[] {
  const known = new Set(columns);
  return tokenize(text).flatMap((t) => (t.kind === 'column' && !known.has(t.name) && !(t.cellFormat && known.has(t.cellFormat.column)) ? [t.name] : []));
}

/**
 * The text as printed for this record. A cell that its field cannot print (no date, no number)
 * shows as it is and is added to `faults`, for the check before printing to stop the record.
 */
export function substitute(text: string, ctx: FieldContext, faults?: { push(fault: FieldFault): unknown }): string {
  if (text.indexOf('{{') < 0) return text;
  return tokenize(text).map((t) => {
    switch (t.kind) {
      case 'text':
        return t.text;
      case 'column': {
        const column = columnOf(t, ctx.columns);
        if (!column || !ctx.record) return t.raw;
        const cell = ctx.record[column.index] ?? '';
        return column.cellFormat ? formatCell(cell, column.cellFormat, faults) : cell;
      }
      case 'counter':
        return ctx.counter;
      default:
        return formatDate(t.offset ? addOffset(ctx.now, t.offset) : ctx.now, t.format);
    }
  }).join('');
}

function formatCell(cell: string, cellFormat: CellFormat, faults: { push(fault: FieldFault): unknown } | undefined): string {
  if (cellFormat.number) {
    const shown = formatNumber(cell, cellFormat.number);
    if (shown !== null) return shown;
    faults?.push({ kind: 'number', column: cellFormat.column, value: cell });
    return cell;
  }
  const date = parseDateCell(cell);
  if (date) return formatDate(cellFormat.offset ? addOffset(date, cellFormat.offset) : date, cellFormat.format);
  faults?.push({ kind: 'date', column: cellFormat.column, value: cell });
  return cell;
}

export function formatCounter(value: number, padding: number): string {
  const digits = String(Math.abs(value));
  const padded = digits.length < padding ? '0'.repeat(padding - digits.length) + digits : digits;
  return value < 0 ? `-${padded}` : padded;
}

/** The counter's value for a label: labelOrdinal and recordOrdinal count from 0 within the job. */
export function counterValue(settings: CounterSettings, labelOrdinal: number, recordOrdinal: number): number {
  const n = settings.per === 'record' ? recordOrdinal : labelOrdinal;
  return settings.start + settings.step * n;
}

/** YYYY, MM, DD, HH, mm, ss; every other character is kept. */
export function formatDate(date: Date, format: string): string {
  const two = (n: number): string => String(n).padStart(2, '0');
  const parts: Record<string, string> = {
    YYYY: String(date.getFullYear()), MM: two(date.getMonth() + 1), DD: two(date.getDate()),
    HH: two(date.getHours()), mm: two(date.getMinutes()), ss: two(date.getSeconds()),
  };
  return format.replace(/YYYY|MM|DD|HH|mm|ss/g, (k) => parts[k]);
}
