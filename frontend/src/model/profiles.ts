// What each printer prints with: resolution, black and white or colour, the driver's settings,
// and the corrections a printer needs (offset, upside-down feed), or the printer language the host
// writes for it. Remembered per printer in the page's storage; the print dialog opens with the
// profile of the printer it last used.

import { fitLanguageSettings, isPrinterLanguage, LanguageJob, languageJob, LanguageSettings, QueueKind, readSendAs, SendAs } from './languages';

export type OutputKind = 'mono' | 'colour';
export type DitherKind = 'ordered' | 'diffusion';

export interface PrinterProfile {
  /** Dots per inch the pages are rendered at (and asked of the driver when it lists it). */
  dpi: number;
  /** 'mono': every pixel a dot at the printer's resolution; 'colour' for office printers and PDF. */
  kind: OutputKind;
  /** How pictures become dots in black and white; text, shapes and bars are always thresholded. */
  dither: DitherKind;
  /** Moves the printed content right and down, in millimetres (0.1 mm steps). */
  offsetXMm: number;
  offsetYMm: number;
  /** For printers that feed the labels upside down. */
  rotate180: boolean;
  /** Driver option name to choice name, as the driver lists them. */
  options: Record<string, string>;
  /** Through the driver or as PDF, or in the printer's own language (then always black and white). */
  sendAs: SendAs;
  /** Darkness, speed and media in the chosen language's ranges. */
  languageSettings: LanguageSettings;
}

/** The widest common thermal print head: narrower pages are proposed in black and white. */
export const THERMAL_MAX_WIDTH_MM = 118;
export const STANDARD_RESOLUTIONS: readonly number[] = [203, 300, 600];
/** Corrections larger than this are a wrong label size, not an offset. */
export const MAX_OFFSET_MM = 20;
export const OFFSET_STEP_MM = 0.1;

/** What a driver says it offers (the host's printerOptions reply). */
export interface DriverOption {
  name: string;
  label: string;
  defaultChoice: string;
  choices: { name: string; label: string }[];
}

export interface DriverSettings {
  /** 'raw' when the queue has no driver and hands every byte to the printer unchanged. */
  queue: QueueKind;
  options: DriverOption[];
  resolutions: number[];
  defaultResolution: number;
}

export function proposedKind(pageWidthMm: number): OutputKind {
  return pageWidthMm <= THERMAL_MAX_WIDTH_MM ? 'mono' : 'colour';
}

/** A printer's first profile: its driver's resolution, the kind of output that suits the page. */
export function proposedProfile(pageWidthMm: number, driver?: DriverSettings | null): PrinterProfile {
  return {
    dpi: driver?.defaultResolution || 203,
    kind: proposedKind(pageWidthMm),
    dither: 'diffusion',
    offsetXMm: 0,
    offsetYMm: 0,
    rotate180: false,
    options: {},
    sendAs: '',
    languageSettings: {},
  };
}

/** A new way of sending: a printer language prints the printer's dots, in that language's ranges. */
export function chooseSendAs(profile: PrinterProfile, sendAs: SendAs): PrinterProfile {
  const language = isPrinterLanguage(sendAs);
  return {
    ...profile, sendAs, kind: language ? 'mono' : profile.kind,
    dpi: language && !STANDARD_RESOLUTIONS.includes(profile.dpi) ? STANDARD_RESOLUTIONS[0] : profile.dpi,
    languageSettings: fitLanguageSettings(profile.languageSettings, sendAs),
  };
}

/**
 * The profile a job on this printer prints with: the remembered one (or a first proposal for
 * the page) fitted to what the driver offers today. The print dialog and printing from the
 * command line both take it from here.
 */
export function profileFor(remembered: PrinterProfile | undefined, pageWidthMm: number, driver?: DriverSettings | null): PrinterProfile {
  return fitToDriver(remembered ?? proposedProfile(pageWidthMm, driver), driver);
}

/** Offsets move in 0.1 mm steps within ±MAX_OFFSET_MM. */
export function clampOffset(mm: number): number {
  if (!Number.isFinite(mm)) return 0;
  const stepped = Math.round(mm * 10) / 10;
  return Math.max(-MAX_OFFSET_MM, Math.min(MAX_OFFSET_MM, stepped)) || 0;
}

/**
 * The resolutions a printer can be asked for: the driver's own list, else the common ones; a
 * printer sent its own language prints at its print head's, one of the common ones.
 */
export function resolutionChoices(driver?: DriverSettings | null, sendAs: SendAs = ''): number[] {
  return driver && driver.resolutions.length > 0 && !isPrinterLanguage(sendAs) ? driver.resolutions : [...STANDARD_RESOLUTIONS];
}

/**
 * Fits a remembered profile to what the driver offers today: settings the driver no longer
 * lists are dropped (they would refuse the whole job), a resolution it lacks becomes its default.
 */
export function fitToDriver(profile: PrinterProfile, driver?: DriverSettings | null): PrinterProfile {
  const dpis = resolutionChoices(driver, profile.sendAs);
  const dpi = dpis.includes(profile.dpi) ? profile.dpi : dpis.includes(driver?.defaultResolution ?? 0) ? driver!.defaultResolution : dpis[0];
  if (!driver) return { ...profile, dpi };
  const options: Record<string, string> = {};
  for (const option of driver.options) {
    const choice = profile.options[option.name];
    if (choice !== undefined && option.choices.some((c) => c.name === choice)) options[option.name] = choice;
  }
  return { ...profile, dpi, options };
}

/**
 * The settings a job asks of the driver: only those the user moved away from the driver's
 * default, so an untouched setting stays whatever the printer itself is set to (its front panel,
 * its own calibration), and a job for a printer nobody configured is the job it always was. The
 * resolution goes whenever the driver lists it: the pages are drawn at it, and a driver set to
 * another would resample every dot.
 */
export interface JobSettings extends Partial<LanguageJob> {
  options?: Record<string, string>;
  resolution?: number;
}

export function jobSettings(profile: PrinterProfile, driver?: DriverSettings | null): JobSettings {
  // In the printer's language no driver takes part: its settings would mean nothing.
  if (isPrinterLanguage(profile.sendAs)) return languageJob(profile.sendAs, profile.dpi, profile.languageSettings);
  if (!driver) return {};
  const options: Record<string, string> = {};
  for (const option of driver.options) {
    const choice = profile.options[option.name];
    if (choice !== undefined && choice !== option.defaultChoice && option.choices.some((c) => c.name === choice)) options[option.name] = choice;
  }
  const settings: { options?: Record<string, string>; resolution?: number } = {};
  if (Object.keys(options).length > 0) settings.options = options;
  if (driver.resolutions.includes(profile.dpi)) settings.resolution = profile.dpi;
  return settings;
}

/** Reads a profile from storage or a project file; undefined when it is not one. */
export function readProfile(raw: unknown): PrinterProfile | undefined {
  if (typeof raw !== 'object' || raw === null) return undefined;
  const value = raw as Record<string, unknown>;
  const dpi = value.dpi;
  if (typeof dpi !== 'number' || !Number.isInteger(dpi) || dpi < 72 || dpi > 2400) return undefined;
  const options: Record<string, string> = {};
  if (typeof value.options === 'object' && value.options !== null) {
    for (const [name, choice] of Object.entries(value.options)) if (typeof choice === 'string') options[name] = choice;
  }
  const sendAs = readSendAs(value.sendAs);
  return {
    dpi,
    kind: value.kind === 'colour' && !isPrinterLanguage(sendAs) ? 'colour' : 'mono',
    dither: value.dither === 'ordered' ? 'ordered' : 'diffusion',
    offsetXMm: clampOffset(Number(value.offsetXMm ?? 0)),
    offsetYMm: clampOffset(Number(value.offsetYMm ?? 0)),
    rotate180: value.rotate180 === true,
    options,
    sendAs,
    languageSettings: fitLanguageSettings(value.languageSettings, sendAs),
  };
}

/** Every printer's profile and the printer used last. */
export interface ProfileStore {
  lastPrinter: string;
  printers: Record<string, PrinterProfile>;
}

export function readProfileStore(raw: unknown): ProfileStore {
  const store: ProfileStore = { lastPrinter: '', printers: {} };
  if (typeof raw !== 'object' || raw === null) return store;
  const value = raw as Record<string, unknown>;
  if (typeof value.lastPrinter === 'string') store.lastPrinter = value.lastPrinter;
  if (typeof value.printers === 'object' && value.printers !== null) {
    for (const [name, entry] of Object.entries(value.printers)) {
      const profile = readProfile(entry);
      if (profile) store.printers[name] = profile;
    }
  }
  return store;
}

/**
 * The printer a job starts on: the one an older project names, else the one used last, else the
 * system's default. A remembered printer that is gone is named in `missing` and none is chosen: the
 * labels must not go to another printer unasked.
 */
export function initialPrinter(
  list: readonly { name: string; isDefault: boolean }[], projectPrinter: string | undefined, store: ProfileStore,
): { name: string; missing: string } {
  const named = (name: string | undefined) => (name ? list.find((p) => p.name === name) : undefined);
  const remembered = projectPrinter || store.lastPrinter;
  if (remembered && !named(remembered)) return { name: '', missing: remembered };
  return { name: (named(remembered) ?? list.find((p) => p.isDefault) ?? list[0])?.name ?? '', missing: '' };
}

export function rememberProfile(store: ProfileStore, printerName: string, profile: PrinterProfile): ProfileStore {
  return { lastPrinter: printerName, printers: { ...store.printers, [printerName]: profile } };
}

/** What the page's storage offers; `window.localStorage` is one. */
export type ProfileStorage = Pick<Storage, 'getItem' | 'setItem'>;

export const PROFILES_KEY = 'quillmark.printers';

export function loadProfiles(storage: ProfileStorage): ProfileStore {
  try {
    return readProfileStore(JSON.parse(storage.getItem(PROFILES_KEY) ?? 'null'));
  } catch {
    return readProfileStore(null);
  }
}

export function saveProfiles(storage: ProfileStorage, store: ProfileStore): void {
  try {
    storage.setItem(PROFILES_KEY, JSON.stringify(store));
  } catch {
    // A full storage loses the memory of settings, never the print job.
  }
}
