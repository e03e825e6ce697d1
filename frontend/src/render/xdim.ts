// Barcode size by its narrow-bar width (the X-dimension). A printer can only make whole dots, so
// what prints is the asked width rounded to whole dots; the warning judges that printed width, not
// the asked one, against the range published for the symbology.

import { MM_PER_INCH } from '../model/units';

/** The symbologies whose sizes are judged here; bwip-js names for the GS1 ones. */
export type XdimSymbology =
  | 'ean13' | 'ean8' | 'upca' | 'upce' | 'itf14' | 'gs1-128' | 'code128' | 'code39'
  | 'qrcode' | 'datamatrix' | 'gs1datamatrix' | 'pdf417'
  | 'code93' | 'rationalizedCodabar' | 'azteccode' | 'databaromni' | 'databarlimited' | 'databarexpanded';

export interface XdimRange {
  minMm: number;
  /** Absent where the standard sets no upper bound worth a warning. */
  maxMm?: number;
  /** The nominal (100 %) width, where the standard has one. */
  nominalMm?: number;
}

/** EAN/UPC: 80 % to 200 % of 0.330 mm (0.264 to 0.660 mm) in general retail. */
const RETAIL: XdimRange = { minMm: 0.264, maxMm: 0.66, nominalMm: 0.33 };
/** ITF-14 and GS1-128 on trade items in general distribution: 0.495 to 1.016 mm. */
const DISTRIBUTION: XdimRange = { minMm: 0.495, maxMm: 1.016, nominalMm: 0.495 };

/** Published ranges; symbologies without one are judged by the dot minimum only. */
const RANGES: Partial<Record<XdimSymbology, XdimRange>> = {
  ean13: RETAIL,
  ean8: RETAIL,
  upca: RETAIL,
  upce: RETAIL,
  itf14: DISTRIBUTION,
  'gs1-128': DISTRIBUTION,
  // GS1 DataBar scanned at the point of sale takes the retail range of EAN/UPC.
  databaromni: RETAIL,
  databarlimited: RETAIL,
  databarexpanded: RETAIL,
};

/** Quiet zones in modules (left, right); 2D codes need theirs on every side. */
const QUIET_ZONES: Record<XdimSymbology, { left: number; right: number }> = {
  ean13: { left: 11, right: 7 },
  ean8: { left: 7, right: 7 },
  upca: { left: 9, right: 9 },
  upce: { left: 9, right: 7 },
  itf14: { left: 10, right: 10 },
  'gs1-128': { left: 10, right: 10 },
  code128: { left: 10, right: 10 },
  code39: { left: 10, right: 10 },
  qrcode: { left: 4, right: 4 },
  datamatrix: { left: 1, right: 1 },
  gs1datamatrix: { left: 1, right: 1 },
  pdf417: { left: 2, right: 2 },
  code93: { left: 10, right: 10 },
  rationalizedCodabar: { left: 10, right: 10 },
  // Aztec's finder is at its centre: it needs no quiet zone. DataBar's guard patterns need one module.
  azteccode: { left: 0, right: 0 },
  databaromni: { left: 1, right: 1 },
  databarlimited: { left: 1, right: 1 },
  databarexpanded: { left: 1, right: 1 },
};

/** Below two dots a bar's width is at the mercy of one burnt or missing dot. */
export const MIN_DOTS = 2;

export function xdimRange(symbology: XdimSymbology): XdimRange | undefined {
  return RANGES[symbology];
}

export function quietZoneModules(symbology: XdimSymbology): { left: number; right: number } {
  return QUIET_ZONES[symbology];
}

export type XdimRequest = { mm: number } | { dots: number };

export interface PrintedXdim {
  /** Whole dots per module at the printer's resolution, at least 1. */
  dots: number;
  /** The width those dots make on the label. */
  mm: number;
  /** Printed width as a share of the nominal width (1 = 100 %), where there is a nominal. */
  magnification?: number;
}

/** What a requested narrow-bar width becomes at a resolution: whole dots, never fewer than one. */
export function printedXdim(symbology: XdimSymbology, request: XdimRequest, dpi: number): PrintedXdim {
  const asked = 'dots' in request ? request.dots : (request.mm * dpi) / MM_PER_INCH;
  const dots = Math.max(1, Math.round(Number.isFinite(asked) ? asked : 1));
  const mm = (dots * MM_PER_INCH) / dpi;
  const nominal = RANGES[symbology]?.nominalMm;
  return nominal ? { dots, mm, magnification: mm / nominal } : { dots, mm };
}

export type XdimWarning =
  | { code: 'belowRange'; printedMm: number; minMm: number }
  | { code: 'aboveRange'; printedMm: number; maxMm: number }
  | { code: 'tooFewDots'; dots: number; minDots: number };

/** Why the printed width may not scan or may be refused, or null when it is within bounds. */
export function xdimWarning(symbology: XdimSymbology, printed: PrintedXdim): XdimWarning | null {
  const range = RANGES[symbology];
  // Rounded to a micrometre, so that float noise (0.26399…) never turns a width on a limit into a warning.
  const mm = Math.round(printed.mm * 1000) / 1000;
  if (range && mm < range.minMm) return { code: 'belowRange', printedMm: printed.mm, minMm: range.minMm };
  if (range?.maxMm !== undefined && mm > range.maxMm) return { code: 'aboveRange', printedMm: printed.mm, maxMm: range.maxMm };
  if (printed.dots < MIN_DOTS) return { code: 'tooFewDots', dots: printed.dots, minDots: MIN_DOTS };
  return null;
}

/** Quiet zones of a symbol printed at that width, in millimetres. */
export function quietZoneMm(symbology: XdimSymbology, printed: PrintedXdim): { left: number; right: number } {
  const q = QUIET_ZONES[symbology];
  return { left: q.left * printed.mm, right: q.right * printed.mm };
}
