// Label printers that are sent their own language (TSPL, ZPL II, EPL2) rather than a PDF for a
// driver: which language a printer speaks, its darkness, speed and media sensing in that
// language's ranges, and what a job asks of the host for it. A queue without a driver passes
// bytes to the printer unchanged, so nothing may go there before its language is known.

export type PrinterLanguage = 'tspl' | 'zpl' | 'epl2';
export const PRINTER_LANGUAGES: readonly PrinterLanguage[] = ['tspl', 'zpl', 'epl2'];

/**
 * How a job reaches the printer: '' nobody chose (through the driver on a queue that has one,
 * nothing at all on one without), 'pdf' the page as PDF (a driver's, or a printer that reads PDF
 * itself), or a printer language written by the host.
 */
export type SendAs = '' | 'pdf' | PrinterLanguage;

export type MediaSensing = 'gap' | 'mark' | 'continuous';
export const MEDIA_SENSING: readonly MediaSensing[] = ['gap', 'mark', 'continuous'];

/** Each absent setting stays what the printer itself is set to. */
export interface LanguageSettings {
  darkness?: number;
  speed?: number;
  media?: MediaSensing;
  /** The gap between labels, or the black mark's height, in millimetres. */
  gapMm?: number;
}

/** Inclusive ranges as each language writes them (ZPL ~SD and ^PR, TSPL DENSITY and SPEED, EPL2 D and S). */
export const LANGUAGE_RANGES: Record<PrinterLanguage, { darkness: [number, number]; speed: [number, number] }> = {
  tspl: { darkness: [0, 15], speed: [1, 14] },
  zpl: { darkness: [0, 30], speed: [1, 14] },
  epl2: { darkness: [0, 15], speed: [1, 6] },
};

/** Gaps and marks longer than an inch are a wrong setting, not a label stock; the host refuses them. */
export const MAX_GAP_MM = 25.4;
/** The gap the host writes when media with gaps or marks is asked for without its length: common die-cut rolls. */
export const DEFAULT_GAP_MM = 3;

/** The kind of queue: 'ppd' with a driver, 'raw' when CUPS hands the bytes on unchanged. */
export type QueueKind = 'ppd' | 'raw';

export function isPrinterLanguage(value: unknown): value is PrinterLanguage {
  return typeof value === 'string' && (PRINTER_LANGUAGES as readonly string[]).includes(value);
}

export function readSendAs(value: unknown): SendAs {
  return value === 'pdf' || isPrinterLanguage(value) ? value : '';
}

const within = (value: unknown, [low, high]: [number, number]): value is number =>
  typeof value === 'number' && Number.isInteger(value) && value >= low && value <= high;

/**
 * The settings that hold in `language`: a darkness or speed outside its range (remembered from
 * another language, or from a damaged file) is left to the printer rather than sent and refused.
 */
export function fitLanguageSettings(raw: unknown, language: SendAs): LanguageSettings {
  if (typeof raw !== 'object' || raw === null) return {};
  const value = raw as Record<string, unknown>;
  const ranges = isPrinterLanguage(language) ? LANGUAGE_RANGES[language] : { darkness: [0, 30] as [number, number], speed: [1, 14] as [number, number] };
  const settings: LanguageSettings = {};
  if (within(value.darkness, ranges.darkness)) settings.darkness = value.darkness;
  if (within(value.speed, ranges.speed)) settings.speed = value.speed;
  if (MEDIA_SENSING.includes(value.media as MediaSensing)) settings.media = value.media as MediaSensing;
  if (typeof value.gapMm === 'number' && Number.isFinite(value.gapMm) && value.gapMm >= 0 && value.gapMm <= MAX_GAP_MM) {
    settings.gapMm = Math.round(value.gapMm * 10) / 10;
  }
  return settings;
}

/** What a printer's names say about the language it speaks: a proposal, never a choice. */
export interface PrinterIdentity {
  name: string;
  displayName?: string;
  description?: string;
  makeAndModel?: string;
}

// Makers and models as administrators and drivers name them, in Latin letters and in Chinese.
// EPL2 comes first: its desktop printers carry a maker's name that also makes ZPL printers.
const LANGUAGE_NAMES: [PrinterLanguage, RegExp][] = [
  ['epl2', /\bepl2?\b|eltron|\bt?lp[ -]?28[24]4(?![ -]?z)|\bgc420d\b/i],
  ['zpl', /\bzpl|zebra|斑马|\bz[dtm]\d{3}|\bg[kx]4\d\d|\bzq\d{3}|\bt?lp[ -]?28\d\d[ -]?z/i],
  ['tspl', /\btspl|\btsc\b|\bttp[ -]?\d|\bte[23]\d\d|\bxprinter|\bxp[ -]?\d{3}|芯烨|gprinter|佳博|\bgp[ -]?\d{4}|\bhprt|汉印|rongta|容大|\bidprt|\bmunbyn|\bbeeprt|得力|\bdeli\b|\bdl[ -]?8\d\d/i],
];

export function proposeLanguage(printer: PrinterIdentity): PrinterLanguage | null {
  // Queue names join words with underscores: "TSC_TTP-244_Pro".
  const text = [printer.makeAndModel, printer.description, printer.displayName, printer.name].filter(Boolean).join(' ').replace(/_/g, ' ');
  for (const [language, pattern] of LANGUAGE_NAMES) if (pattern.test(text)) return language;
  return null;
}

/** What a job sends with a language: the host writes the job, never a driver. */
export interface LanguageJob {
  printerLanguage: PrinterLanguage;
  resolution: number;
  languageSettings?: LanguageSettings;
}

export function languageJob(language: PrinterLanguage, dpi: number, settings: LanguageSettings): LanguageJob {
  const fitted = fitLanguageSettings(settings, language);
  // A gap means nothing to continuous media; the printer would be told of a gap it has not got.
  if (fitted.media === 'continuous') delete fitted.gapMm;
  const job: LanguageJob = { printerLanguage: language, resolution: dpi };
  if (Object.keys(fitted).length > 0) job.languageSettings = fitted;
  return job;
}

/**
 * Whether a job may go to this queue as the profile stands: a queue without a driver takes no
 * job until someone said what it speaks.
 */
export function sendReady(sendAs: SendAs, queue: QueueKind | undefined): boolean {
  return queue !== 'raw' || sendAs !== '';
}
