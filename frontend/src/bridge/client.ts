// The one way the page talks to the desktop host. Every channel call becomes a promise of its
// parsed reply; "cancelled" resolves to null (the user changed their mind, nothing to say) and
// every other failure rejects with a BridgeError whose message is the host's own words.
// Without a host (a normal browser) the same interface uses file inputs and downloads.

import { base64ToBytes, baseName } from '../model/project';
import { chooseFile } from './chooseFile';
import type { DriverOption, DriverSettings } from '../model/profiles';
import type { LanguageSettings, PrinterLanguage } from '../model/languages';
import { BridgeError, checkPayload, PayloadKind } from './errors';

export interface FileReply {
  path: string;
  name: string;
  dataBase64: string;
}

/** A project or spreadsheet file as the page reads it. */
export interface FileBytes {
  path: string;
  name: string;
  bytes: Uint8Array;
}

export interface SavedFile {
  path: string;
  name: string;
}

export interface FontEntry {
  name: string;
  value: string;
}

export interface PrinterEntry {
  name: string;
  displayName: string;
  description: string;
  location: string;
  isDefault: boolean;
  /** The printer's make and model as the printing system knows it, where the host tells it. */
  makeAndModel?: string;
}

export interface SaveProjectPayload {
  suggestedName: string;
  currentPath: string;
  saveAs: boolean;
  dataBase64: string;
}

export interface SavePdfPayload {
  suggestedName: string;
  dataBase64: string;
}

export interface PrintJobPayload {
  printerName: string;
  pages: string[];
  pageWidthMm: number;
  pageHeightMm: number;
  jobName: string;
  copies: number;
  /** Driver option name to choice name; only what the job asks to differ from the printer's own. */
  options?: Record<string, string>;
  /** Dots per inch, one of the printer's resolutions; with a language, the pages' own. */
  resolution?: number;
  /** The host writes the job in this language and sends it to the queue unfiltered. */
  printerLanguage?: PrinterLanguage;
  languageSettings?: LanguageSettings;
}

export interface PrintReply {
  printerName: string;
  printerDisplayName: string;
}

export { BridgeError };

export interface DesktopApi {
  readonly mode: 'host' | 'browser';
  windowMinimize(): Promise<void>;
  windowMaximize(): Promise<void>;
  windowClose(): Promise<void>;
  /** With a path, opens that file; without, shows the host's open dialog. Null when cancelled. */
  openProject(path?: string): Promise<FileBytes | null>;
  saveProject(payload: SaveProjectPayload): Promise<SavedFile | null>;
  savePrintPdf(payload: SavePdfPayload): Promise<SavedFile | null>;
  pickSpreadsheet(): Promise<FileBytes | null>;
  readSpreadsheet(path: string): Promise<FileBytes | null>;
  listLocalFonts(): Promise<FontEntry[]>;
  listPrinters(): Promise<PrinterEntry[]>;
  submitPrintJob(payload: PrintJobPayload): Promise<PrintReply>;
  /** What the printer's driver offers; null where nothing can be asked (browser mode). */
  printerOptions(printerName: string): Promise<DriverSettings | null>;
  /** The oldest project the desktop asked to open (command line, file manager), '' when none waits. */
  takeLaunchFile(): Promise<string>;
  /** Calls `listener` whenever the desktop has a project waiting to be opened. */
  onLaunchFile(listener: () => void): void;
  /** A picture file by its path (a picture per record): PNG, JPEG, GIF, BMP, WebP or SVG, at most 20 MB. */
  readImageFile(path: string): Promise<FileReply | null>;
  /** The system's label-template database as the host reads it (`model/templates` makes stock of it); empty without a host. */
  listLabelTemplates(): Promise<unknown[]>;
}

export const CANCELLED = 'cancelled';

/** The web channel object's methods take their arguments and then a callback for the reply text. */
type ChannelMethod = (...args: unknown[]) => void;
export type ChannelObject = Record<string, ChannelMethod | unknown>;

/** Reads a reply envelope: the result object on success, null for "cancelled", a BridgeError otherwise. */
export function parseEnvelope(text: unknown): Record<string, unknown> | null {
  let reply: unknown;
  try {
    reply = typeof text === 'string' ? JSON.parse(text) : text;
  } catch {
    throw unreadable(text);
  }
  if (typeof reply !== 'object' || reply === null || typeof (reply as { ok?: unknown }).ok !== 'boolean') {
    throw unreadable(text);
  }
  const record = reply as Record<string, unknown>;
  if (record.ok) return record;
  const error = typeof record.error === 'string' ? record.error : '';
  if (error === CANCELLED) return null;
  const refusal = new BridgeError(error);
  if (typeof record.path === 'string') refusal.path = record.path;
  throw refusal;
}

function unreadable(text: unknown): BridgeError {
  const detail = String(text).slice(0, 80);
  return new BridgeError(`unreadable reply: ${detail}`, 'protocol', { key: 'hostUnreadableReply', params: { detail } });
}

export class HostApi implements DesktopApi {
  readonly mode = 'host' as const;

  constructor(private readonly bridge: ChannelObject) {}

  private call(method: string, ...args: unknown[]): Promise<Record<string, unknown> | null> {
    return callHost(this.bridge, method, ...args);
  }

  async windowMinimize(): Promise<void> {
    await this.call('windowMinimize');
  }

  async windowMaximize(): Promise<void> {
    await this.call('windowMaximize');
  }

  async windowClose(): Promise<void> {
    await this.call('windowClose');
  }

  async openProject(path = ''): Promise<FileBytes | null> {
    return this.fileByAddress('project', path);
  }

  async saveProject(payload: SaveProjectPayload): Promise<SavedFile | null> {
    return asSavedFile(await this.call('saveProject', measured('project', payload)));
  }

  async savePrintPdf(payload: SavePdfPayload): Promise<SavedFile | null> {
    return asSavedFile(await this.call('savePrintPdf', measured('pdf', payload)));
  }

  async pickSpreadsheet(): Promise<FileBytes | null> {
    return this.fileByAddress('spreadsheet', '');
  }

  async readSpreadsheet(path: string): Promise<FileBytes | null> {
    return this.fileByAddress('spreadsheet', path);
  }

  /**
   * A project or spreadsheet (by its path, or chosen in the host's dialog) read from the address
   * the host gives it: the channel takes seconds to carry a large file and holds the window
   * meanwhile, the engine reads it in milliseconds. Where the address cannot be read, the same
   * file comes through the channel.
   */
  private async fileByAddress(kind: 'project' | 'spreadsheet', path: string): Promise<FileBytes | null> {
    const reply = await this.call('openFileLink', kind, path);
    if (!reply) return null;
    const file = { path: String(reply.path ?? ''), name: String(reply.name ?? '') };
    try {
      return { ...file, bytes: await readAddress(String(reply.url ?? '')) };
    } catch (e) {
      console.warn(`Reading ${file.name} through the channel (${String(e)}).`);
      const sent = asFileReply(await this.call(kind === 'project' ? 'openProject' : 'readSpreadsheet', file.path));
      return sent && { path: sent.path, name: sent.name, bytes: base64ToBytes(sent.dataBase64) };
    }
  }

  async listLocalFonts(): Promise<FontEntry[]> {
    const reply = await this.call('listLocalFonts');
    const fonts = Array.isArray(reply?.fonts) ? (reply!.fonts as FontEntry[]) : [];
    return fonts.filter((f) => typeof f?.name === 'string' && f.name !== '');
  }

  async listPrinters(): Promise<PrinterEntry[]> {
    const reply = await this.call('listPrinters');
    return Array.isArray(reply?.printers) ? (reply!.printers as PrinterEntry[]) : [];
  }

  async submitPrintJob(payload: PrintJobPayload): Promise<PrintReply> {
    const reply = await this.call('submitPrintJob', measured('pages', payload));
    if (!reply) throw new BridgeError(CANCELLED);
    return { printerName: String(reply.printerName ?? ''), printerDisplayName: String(reply.printerDisplayName ?? '') };
  }

  async printerOptions(printerName: string): Promise<DriverSettings | null> {
    return asDriverSettings(await this.call('printerOptions', printerName));
  }

  async takeLaunchFile(): Promise<string> {
    const reply = await this.call('takeLaunchFile');
    return typeof reply?.path === 'string' ? reply.path : '';
  }

  onLaunchFile(listener: () => void): void {
    const signal = this.bridge.launchFileWaiting as { connect?: (f: () => void) => void } | undefined;
    signal?.connect?.(listener);
  }

  async readImageFile(path: string): Promise<FileReply | null> {
    return asFileReply(await this.call('readImageFile', path));
  }

  async listLabelTemplates(): Promise<unknown[]> {
    const reply = await this.call('listLabelTemplates');
    return Array.isArray(reply?.templates) ? (reply!.templates as unknown[]) : [];
  }
}

/** Keeps what is well formed: a driver's list is shown and sent back as it came. */
export function asDriverSettings(reply: Record<string, unknown> | null): DriverSettings | null {
  if (!reply) return null;
  const text = (v: unknown): string => (typeof v === 'string' ? v : '');
  const isNamed = (v: unknown): v is Record<string, unknown> => typeof v === 'object' && v !== null && typeof (v as { name?: unknown }).name === 'string';
  const options: DriverOption[] = (Array.isArray(reply.options) ? reply.options : [])
    .filter((o): o is Record<string, unknown> => isNamed(o) && Array.isArray(o.choices))
    .map((o) => ({
      name: o.name as string,
      label: text(o.label) || (o.name as string),
      defaultChoice: text(o.defaultChoice),
      choices: (o.choices as unknown[])
        .filter(isNamed)
        .map((c) => ({ name: c.name as string, label: text(c.label) || (c.name as string) })),
    }));
  const resolutions = (Array.isArray(reply.resolutions) ? reply.resolutions : []).filter((r): r is number => Number.isInteger(r) && r > 0);
  const defaultResolution = typeof reply.defaultResolution === 'number' && resolutions.includes(reply.defaultResolution) ? reply.defaultResolution : resolutions[0] ?? 0;
  // A host that does not tell the kind of queue knows only queues it prints to through drivers.
  return { queue: reply.driver === 'raw' ? 'raw' : 'ppd', options, resolutions, defaultResolution };
}

/** The payload as the channel carries it, refused here when the channel would drop it. */
function measured(kind: PayloadKind, payload: object): string {
  const text = JSON.stringify(payload);
  checkPayload(kind, text.length);
  return text;
}

function asFileReply(reply: Record<string, unknown> | null): FileReply | null {
  if (!reply) return null;
  return { path: String(reply.path ?? ''), name: String(reply.name ?? ''), dataBase64: String(reply.dataBase64 ?? '') };
}

function asSavedFile(reply: Record<string, unknown> | null): SavedFile | null {
  if (!reply) return null;
  return { path: String(reply.path ?? ''), name: String(reply.name ?? '') };
}


export class BrowserApi implements DesktopApi {
  readonly mode = 'browser' as const;

  async windowMinimize(): Promise<void> {}

  async windowMaximize(): Promise<void> {}

  async windowClose(): Promise<void> {
    window.close();
  }

  async openProject(path = ''): Promise<FileBytes | null> {
    if (path) throw new BridgeError('browser mode cannot open a file by its path', 'unavailable');
    return pickFile('.cwrt,.json');
  }

  async saveProject(payload: SaveProjectPayload): Promise<SavedFile | null> {
    // A browser cannot write where a file came from: every save is a download under the project's name.
    const name = !payload.saveAs && payload.currentPath ? baseName(payload.currentPath) : payload.suggestedName;
    const finalName = /\.cwrt$/i.test(name) ? name : `${name}.cwrt`;
    download(finalName, payload.dataBase64, 'application/json');
    return { path: finalName, name: finalName };
  }

  async savePrintPdf(payload: SavePdfPayload): Promise<SavedFile | null> {
    const name = /\.pdf$/i.test(payload.suggestedName) ? payload.suggestedName : `${payload.suggestedName}.pdf`;
    download(name, payload.dataBase64, 'application/pdf');
    return { path: name, name };
  }

  async pickSpreadsheet(): Promise<FileBytes | null> {
    return pickFile('.xlsx,.xls,.csv');
  }

  async readSpreadsheet(): Promise<FileBytes | null> {
    throw new BridgeError('browser mode cannot open a file by its path', 'unavailable');
  }

  async listLocalFonts(): Promise<FontEntry[]> {
    // A page cannot list installed fonts; an empty list lets the editor offer its common families.
    return [];
  }

  async listPrinters(): Promise<PrinterEntry[]> {
    return [];
  }

  async submitPrintJob(): Promise<PrintReply> {
    throw new BridgeError('browser mode cannot print', 'unavailable');
  }

  async printerOptions(): Promise<DriverSettings | null> {
    return null;
  }

  async listLabelTemplates(): Promise<unknown[]> {
    return [];
  }

  async readImageFile(): Promise<FileReply | null> {
    throw new BridgeError('browser mode cannot open a file by its path', 'unavailable');
  }

  async takeLaunchFile(): Promise<string> {
    return '';
  }

  onLaunchFile(): void {}
}

function download(name: string, dataBase64: string, type: string): void {
  const url = URL.createObjectURL(new Blob([base64ToBytes(dataBase64) as BlobPart], { type }));
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  document.body.appendChild(link);
  link.click();
  link.remove();
  window.setTimeout(() => URL.revokeObjectURL(url), 60000);
}

/** A file chosen through a file input. Null when the picker closes without a file. */
async function pickFile(accept: string): Promise<FileBytes | null> {
  const file = await chooseFile(accept);
  if (!file) return null;
  try {
    return { path: file.name, name: file.name, bytes: new Uint8Array(await file.arrayBuffer()) };
  } catch (e) {
    throw new BridgeError(e instanceof Error ? e.message : String(e));
  }
}

/** A file's bytes by the address the host granted (once); an error when the engine will not load it. */
function readAddress(url: string): Promise<Uint8Array> {
  return new Promise((resolve, reject) => {
    const request = new XMLHttpRequest();
    request.open('GET', url);
    request.responseType = 'arraybuffer';
    request.onload = () => {
      const body = request.response as ArrayBuffer | null;
      // A file: address answers with status 0; a refused one with no body at all.
      if (body && body.byteLength > 0) resolve(new Uint8Array(body));
      else reject(new Error(`${url} gave nothing`));
    };
    request.onerror = () => reject(new Error(`${url} could not be read`));
    request.send();
  });
}

declare global {
  interface Window {
    qt?: { webChannelTransport?: unknown };
    QWebChannel?: new (transport: unknown, ready: (channel: { objects: Record<string, ChannelObject> }) => void) => unknown;
    quillmarkBridge?: ChannelObject;
    quillmarkReady?: boolean;
  }
}

let channelObjects: Record<string, ChannelObject> = {};

/** Another object the host published beside the bridge (after connectDesktop), if it did. */
export function hostObject(name: string): ChannelObject | undefined {
  return channelObjects[name];
}

/** Calls a method of a channel object and reads its reply envelope. */
export function callHost(object: ChannelObject, method: string, ...args: unknown[]): Promise<Record<string, unknown> | null> {
  const fn = object[method];
  if (typeof fn !== 'function') return Promise.reject(new BridgeError(`missing host method ${method}`, 'protocol'));
  return new Promise((resolve, reject) => {
    (fn as ChannelMethod).call(object, ...args, (text: unknown) => {
      try {
        resolve(parseEnvelope(text));
      } catch (e) {
        reject(e);
      }
    });
  });
}

/**
 * Connects to the host when the page runs inside it. Sets window.quillmarkBridge to the channel
 * object (tests and tools use it); the caller sets quillmarkReady once the designer is up.
 */
export function connectDesktop(): Promise<DesktopApi> {
  const transport = window.qt?.webChannelTransport;
  const Channel = window.QWebChannel;
  if (!transport || typeof Channel !== 'function') return Promise.resolve(new BrowserApi());
  return new Promise((resolve) => {
    new Channel(transport, (channel) => {
      const bridge = channel.objects.desktopBridge;
      window.quillmarkBridge = bridge;
      channelObjects = channel.objects;
      resolve(bridge ? new HostApi(bridge) : new BrowserApi());
    });
  });
}
