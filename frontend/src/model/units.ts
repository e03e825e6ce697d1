// Millimetres are the document's only unit; everything else is derived at the edges.

export const MM_PER_INCH = 25.4;
export const PT_PER_INCH = 72;
/** CSS pixels per inch: "100 %" on screen means a millimetre on the label is a millimetre there. */
export const CSS_DPI = 96;

/** Pixels per millimetre at a given resolution in dots per inch. */
export function pxPerMm(dpi: number): number {
  return dpi / MM_PER_INCH;
}

export function mmToPx(mm: number, dpi: number): number {
  return (mm * dpi) / MM_PER_INCH;
}

export function ptToMm(pt: number): number {
  return (pt * MM_PER_INCH) / PT_PER_INCH;
}

/** Whole pixels a label of this length covers at a print resolution (50 mm at 300 dpi is 591 px). */
export function mmToWholePx(mm: number, dpi: number): number {
  return Math.max(1, Math.round(mmToPx(mm, dpi)));
}

/** Rounds to the designer's precision of a tenth of a millimetre, without float noise like 12.300000001. */
export function roundMm(mm: number): number {
  return Math.round(mm * 10) / 10;
}

/** Formats a length for fields and rulers: at most one decimal, no trailing ".0". */
export function formatMm(mm: number): string {
  const rounded = roundMm(mm);
  return Number.isInteger(rounded) ? String(rounded) : rounded.toFixed(1);
}

/** The unit lengths are shown and typed in; documents stay in millimetres whatever is chosen. */
export type LengthUnit = 'mm' | 'in';
export const LENGTH_UNITS: readonly LengthUnit[] = ['mm', 'in'];

/** Decimals a length is shown with: a tenth of a millimetre, a hundredth of an inch. */
export function unitDecimals(unit: LengthUnit): number {
  return unit === 'in' ? 2 : 1;
}

export function mmToUnit(mm: number, unit: LengthUnit): number {
  return unit === 'in' ? mm / MM_PER_INCH : mm;
}

export function unitToMm(value: number, unit: LengthUnit): number {
  return unit === 'in' ? value * MM_PER_INCH : value;
}

/** A number with at most `decimals` decimals and no trailing zeros: 2.50 → "2.5". */
export function formatNumber(value: number, decimals: number): string {
  return String(Number(value.toFixed(decimals)));
}

/** A length in millimetres as shown in a unit: 101.6 mm is "4" in inches. */
export function formatLength(mm: number, unit: LengthUnit): string {
  return unit === 'mm' ? formatMm(mm) : formatNumber(mmToUnit(mm, unit), unitDecimals(unit));
}

/**
 * Parses a length typed in a field of that unit, into millimetres; a unit typed with the
 * number wins ("2 in" in a millimetre field is 50.8 mm, "12 mm" in an inch field 12 mm).
 */
export function parseLength(text: string, unit: LengthUnit): number | null {
  const m = /^\s*(-?(?:\d+(?:[.,]\d*)?|[.,]\d+))\s*(mm|in|inch|inches|")?\s*$/i.exec(text);
  if (!m) return null;
  const value = Number(m[1].replace(',', '.'));
  if (!Number.isFinite(value)) return null;
  const typed = m[2] ? (m[2].toLowerCase() === 'mm' ? 'mm' : 'in') : unit;
  return unitToMm(value, typed);
}

/** Parses what a person types into a millimetre field: "12,5" and " 12.5 mm" are both 12.5. */
export function parseMm(text: string): number | null {
  return parseDecimal(text, 1);
}

/** A typed number (comma or point, an "mm" after it allowed) rounded to `decimals` decimals. */
export function parseDecimal(text: string, decimals: number): number | null {
  const cleaned = text.trim().replace(/\s*mm$/i, '').replace(',', '.');
  if (!/^-?\d+(\.\d*)?$|^-?\.\d+$/.test(cleaned)) return null;
  const value = Number(cleaned);
  return Number.isFinite(value) ? Number(value.toFixed(decimals)) : null;
}
