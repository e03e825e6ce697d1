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

/** Parses what a person types into a millimetre field: "12,5" and " 12.5 mm" are both 12.5. */
export function parseMm(text: string): number | null {
  const cleaned = text.trim().replace(/\s*mm$/i, '').replace(',', '.');
  if (!/^-?\d+(\.\d*)?$|^-?\.\d+$/.test(cleaned)) return null;
  const value = Number(cleaned);
  return Number.isFinite(value) ? roundMm(value) : null;
}
