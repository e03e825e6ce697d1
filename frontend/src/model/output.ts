// How a project is printed: the printer it was last printed on and the settings used there.
// The project keeps it so the print dialog opens as it was left, and the designer judges
// barcode sizes in whole dots of that printer.

import type { LabelDocument } from './document';
import { PrinterProfile, readProfile } from './profiles';

export interface OutputSettings extends PrinterProfile {
  /** System name of the printer, as the host lists it; empty for none chosen yet. */
  printerName: string;
}

/** The resolution of most thermal label printers, assumed until the user picks a printer. */
export const DEFAULT_PRINTER_DPI = 203;

export function printerDpi(doc: LabelDocument): number {
  return doc.output?.dpi ?? DEFAULT_PRINTER_DPI;
}

/** Files written before profiles held only the printer and its resolution; the rest defaults. */
export function readOutputSettings(raw: unknown): OutputSettings | undefined {
  const profile = readProfile(raw);
  if (!profile) return undefined;
  const printerName = (raw as Record<string, unknown>).printerName;
  return { ...profile, printerName: typeof printerName === 'string' ? printerName : '' };
}
