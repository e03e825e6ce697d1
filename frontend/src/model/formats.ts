// How a field prints a date or a number from a cell. Both work on the cell's text as written:
// a price of 2.675 is the decimal 2.675, not the nearest binary fraction (2.67499…), so it
// rounds to 2.68 as a shop expects; a use-by date counts calendar days, weeks, months and years.

export type DateUnit = 'd' | 'w' | 'm' | 'y';

export interface DateOffset {
  amount: number;
  unit: DateUnit;
}

function daysInMonth(year: number, month: number): number {
  // setFullYear, unlike the constructor, takes years before 100 as they are.
  const last = new Date(2000, 0, 1);
  last.setFullYear(year, month + 1, 0);
  return last.getDate();
}

/**
 * The date moved by whole calendar units, keeping the time of day. A month or year later falls
 * on the same day of the month, or on the month's last day where that month is shorter
 * (31 January + 1 month is 28 or 29 February; 29 February + 1 year is 28 February).
 */
export function addOffset(date: Date, offset: DateOffset): Date {
  const moved = new Date(date.getTime());
  if (offset.unit === 'd' || offset.unit === 'w') {
    // Calendar days, not 24-hour steps: a change to summer time keeps the date right.
    moved.setDate(moved.getDate() + offset.amount * (offset.unit === 'w' ? 7 : 1));
    return moved;
  }
  const months = date.getFullYear() * 12 + date.getMonth() + offset.amount * (offset.unit === 'y' ? 12 : 1);
  const year = Math.floor(months / 12);
  const month = months - year * 12;
  moved.setDate(1);
  moved.setFullYear(year, month, Math.min(date.getDate(), daysInMonth(year, month)));
  return moved;
}

const YEAR_FIRST = /^(\d{4})\s*[-/.年]\s*(\d{1,2})\s*[-/.月]\s*(\d{1,2})\s*日?(?:[ T]+(\d{1,2})[:：](\d{2})(?:[:：](\d{2}))?)?$/;
const COMPACT = /^(\d{4})(\d{2})(\d{2})$/;

/**
 * A date written year first, as spreadsheets and date columns hold them: 2026-03-05,
 * 2026/3/5, 2026.03.05, 2026年3月5日, 20260305, optionally with a time (2026-03-05 14:30).
 * Null for anything else, an empty cell, or a day the calendar does not have.
 */
export function parseDateCell(text: string): Date | null {
  const cell = text.trim();
  const m = YEAR_FIRST.exec(cell) ?? COMPACT.exec(cell);
  if (!m) return null;
  const [year, month, day, hour, minute, second] = [1, 2, 3, 4, 5, 6].map((i) => Number(m[i] ?? 0));
  if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month - 1)) return null;
  if (hour > 23 || minute > 59 || second > 59) return null;
  const date = new Date(2000, 0, 1, hour, minute, second);
  date.setFullYear(year, month - 1, day);
  return date;
}

export interface NumberFormat {
  prefix: string;
  suffix: string;
  /** Digits before the point, padded with zeros ("000000"). */
  minInteger: number;
  grouping: boolean;
  minFraction: number;
  maxFraction: number;
}

const NUMBER_FORMAT = /^([^0#]*?)([#0,]*[#0][#0,]*)(?:\.([#0]*))?([^#0]*)$/;

/**
 * A number format: fixed text, then digits ("0" always shown, "#" only when needed, "," groups
 * thousands), an optional point with decimals, then fixed text: "0.00", "¥#,##0.00", "000000",
 * "0.0 kg". Null when the text is no number format (it holds no 0 or #).
 */
export function parseNumberFormat(format: string): NumberFormat | null {
  const m = NUMBER_FORMAT.exec(format);
  if (!m) return null;
  const integer = m[2];
  const fraction = m[3] ?? '';
  return {
    prefix: m[1],
    suffix: m[4],
    minInteger: (integer.match(/0/g) ?? []).length,
    grouping: integer.includes(','),
    minFraction: (fraction.match(/0/g) ?? []).length,
    maxFraction: fraction.length,
  };
}

const DECIMAL = /^([+-]?)(\d{1,3}(?:,\d{3})+|\d*)(?:\.(\d*))?(?:[eE]([+-]?\d{1,4}))?$/;

/** A cell's number as sign and decimal digits, read from its text without going through binary floating point. */
function readDecimal(text: string): { negative: boolean; integer: string; fraction: string } | null {
  const m = DECIMAL.exec(text.trim());
  if (!m || (m[2] === '' && !m[3])) return null;
  let integer = m[2].replace(/,/g, '');
  let fraction = m[3] ?? '';
  const exponent = Number(m[4] ?? 0);
  if (exponent > 0) {
    fraction = fraction.padEnd(exponent, '0');
    integer += fraction.slice(0, exponent);
    fraction = fraction.slice(exponent);
  } else if (exponent < 0) {
    integer = integer.padStart(-exponent, '0');
    fraction = integer.slice(integer.length + exponent) + fraction;
    integer = integer.slice(0, integer.length + exponent);
  }
  return { negative: m[1] === '-', integer: integer.replace(/^0+/, ''), fraction };
}

/** Adds one to a string of decimal digits. */
function increment(digits: string): string {
  const out = digits.split('');
  for (let i = out.length - 1; i >= 0; i--) {
    if (out[i] !== '9') {
      out[i] = String(Number(out[i]) + 1);
      return out.join('');
    }
    out[i] = '0';
  }
  return `1${out.join('')}`;
}

/**
 * The cell's number in the format, rounded half away from zero in decimal (2.675 with two
 * decimals is 2.68, -2.5 with none is -3); null when the cell holds no number.
 */
export function formatNumber(cell: string, format: NumberFormat): string | null {
  const value = readDecimal(cell);
  if (!value) return null;
  let { integer, fraction } = value;
  if (fraction.length > format.maxFraction) {
    const roundUp = fraction.charCodeAt(format.maxFraction) >= 53; // '5'
    fraction = fraction.slice(0, format.maxFraction);
    if (roundUp) {
      const bumped = increment(integer + fraction);
      integer = bumped.slice(0, bumped.length - fraction.length);
      fraction = bumped.slice(bumped.length - fraction.length);
    }
  }
  while (fraction.length > format.minFraction && fraction.endsWith('0')) fraction = fraction.slice(0, -1);
  fraction = fraction.padEnd(format.minFraction, '0');
  integer = integer.replace(/^0+/, '').padStart(format.minInteger, '0');
  if (format.grouping) integer = integer.replace(/\B(?=(\d{3})+$)/g, ',');
  if (integer === '' && fraction === '') integer = '0';
  const zero = !/[1-9]/.test(integer + fraction);
  const number = fraction ? `${integer}.${fraction}` : integer;
  return `${value.negative && !zero ? '-' : ''}${format.prefix}${number}${format.suffix}`;
}
