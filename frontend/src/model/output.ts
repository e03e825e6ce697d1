// How a project is printed: the printer it was last printed on and the settings used there.
// The project keeps it so the print dialog opens as it was left, and the designer judges
// barcode sizes in whole dots of that printer.

import type { LabelDocument } from './document';

export interface OutputSettings {
  /** System name of the printer, as the host lists it; empty for none chosen yet. */
  printerName: string;
  /** Dots per inch the pages are rendered at. */
  dpi: number;
}

/** The resolution of most thermal label printers, assumed until the user picks a printer. */
export const DEFAULT_PRINTER_DPI = 203;

export function printerDpi(doc: LabelDocument): number {
  return doc.output?.dpi ?? DEFAULT_PRINTER_DPI;
}

export function readOutputSettings(raw: unknown): OutputSettings | undefined {
  if (typeof raw !== 'object' || raw === null) return undefined;
  const value = raw as Record<string, unknown>;
  const dpi = value.dpi;
  if (typeof dpi !== 'number' || !Number.isFinite(dpi) || dpi < 72 || dpi > 2400) return undefined;
  return { printerName: typeof value.printerName === 'string' ? value.printerName : '', dpi };
}
