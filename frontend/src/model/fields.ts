// Fields in text and barcode content. The syntax, as the data panel explains it:
//   {{Column}}              the current record's value in that column (names as in the header row,
//                           or A, B, C ... when the sheet has no header row)
//   {{$counter}}            the serial number (start, step, zero padding set in the data panel)
//   {{$date}} {{$time}}     when the job started; a format may follow a colon:
//   {{$date:YYYY年MM月DD日}} {{$time:HH:mm}}  (YYYY MM DD HH mm ss)
// Anything else between double braces that names no column stays as typed, so a mistyped
// name shows on the canvas; the check before printing (print/preflight.ts) stops a job on it.

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

export type FieldToken =
  | { kind: 'text'; text: string }
  | { kind: 'column'; name: string; raw: string }
  | { kind: 'counter'; raw: string }
  | { kind: 'date' | 'time' | 'datetime'; format: string; raw: string };

const FIELD = /\{\{([^{}]*)\}\}/g;
const DEFAULT_FORMATS = { date: 'YYYY-MM-DD', time: 'HH:mm', datetime: 'YYYY-MM-DD HH:mm' };

export function tokenize(text: string): FieldToken[] {
  const tokens: FieldToken[] = [];
  let last = 0;
  for (const match of text.matchAll(FIELD)) {
    const index = match.index ?? 0;
    if (index > last) tokens.push({ kind: 'text', text: text.slice(last, index) });
    tokens.push(readField(match[1], match[0]));
    last = index + match[0].length;
  }
  if (last < text.length) tokens.push({ kind: 'text', text: text.slice(last) });
  return tokens;
}

function readField(inner: string, raw: string): FieldToken {
  const body = inner.trim();
  if (!body.startsWith('$')) return { kind: 'column', name: body, raw };
  const colon = body.indexOf(':');
  const name = (colon < 0 ? body.slice(1) : body.slice(1, colon)).trim().toLowerCase();
  const format = colon < 0 ? '' : body.slice(colon + 1);
  if (name === 'counter') return { kind: 'counter', raw };
  if (name === 'date' || name === 'time' || name === 'datetime') return { kind: name, format: format || DEFAULT_FORMATS[name], raw };
  return { kind: 'column', name: body, raw };
}

/** True when the text holds anything that changes from label to label. */
export function hasFields(text: string): boolean {
  return tokenize(text).some((t) => t.kind !== 'text');
}

/** Column names a text refers to that the data source does not have. */
export function unknownColumns(text: string, columns: readonly string[]): string[] {
  const known = new Set(columns);
  return tokenize(text).flatMap((t) => (t.kind === 'column' && !known.has(t.name) ? [t.name] : []));
}

export function substitute(text: string, ctx: FieldContext): string {
  if (text.indexOf('{{') < 0) return text;
  return tokenize(text).map((t) => {
    switch (t.kind) {
      case 'text':
        return t.text;
      case 'column': {
        const index = ctx.columns.indexOf(t.name);
        if (index < 0) return t.raw;
        return ctx.record ? ctx.record[index] ?? '' : t.raw;
      }
      case 'counter':
        return ctx.counter;
      default:
        return formatDate(ctx.now, t.format);
    }
  }).join('');
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
