// The project file (".cwrt"): a JSON document with a format marker and a version, so that a
// later release can read what this one wrote and refuse what it cannot understand.

import {
  BARCODE_FONTS, BarcodeFont, createDocument, createObject, DEFAULT_FONT, LabelDocument, LabelObject, MAX_LABEL_MM, newId,
  normaliseRotation, ObjectType, OBJECT_TYPES, Symbology, SYMBOLOGIES, turnsFreely, XdimSetting,
} from './document';
import { MergeSettings, migrateSheetGaps, readMergeSettings } from './merge';
import { OutputSettings, readOutputSettings } from './output';
import { findStock, readCustomStock, StockEntry } from './stock';

export const PROJECT_FORMAT = 'quillmark-label';
export const PROJECT_VERSION = 1;
export const PROJECT_EXTENSION = '.cwrt';

export interface ProjectFile {
  format: typeof PROJECT_FORMAT;
  version: number;
  label: { name: string; widthMm: number; heightMm: number };
  objects: LabelObject[];
  merge?: MergeSettings;
  stock?: StockEntry;
  output?: OutputSettings;
}

/** Why a file could not be read; the message table turns each into words. */
export const PROJECT_ERROR_CODES = ['notJson', 'notProject', 'newerVersion', 'badLabel', 'projectTooLarge', 'tooManyObjects', 'textTooLong'] as const;
export type ProjectErrorCode = (typeof PROJECT_ERROR_CODES)[number];

// What one project may hold. No label needs more, and a file past them (made by a program, or to
// harm) would hold the designer for seconds at a time while it is read, drawn and checked.
export const MAX_OBJECTS = 2000;
export const MAX_TEXT_CHARS = 10_000;
export const MAX_PROJECT_MB = 48;

export class ProjectError extends Error {
  constructor(readonly code: ProjectErrorCode, readonly detail = '', readonly limit = 0) {
    super(`${code}${detail ? `: ${detail}` : ''}`);
    this.name = 'ProjectError';
  }
}

export interface ReadResult {
  doc: LabelDocument;
  /** Objects of types this version does not know, left out rather than failing the whole file. */
  skippedObjects: number;
}

/** A picture that takes no column is written as before pictures could come from data. */
function withoutEmptyPictureColumn(o: LabelObject): LabelObject {
  if (o.type !== 'image' || o.srcColumn) return o;
  const { srcColumn: _unused, ...rest } = o;
  return rest as LabelObject;
}

export function serializeProject(doc: LabelDocument): string {
  const file: ProjectFile = {
    format: PROJECT_FORMAT,
    version: PROJECT_VERSION,
    label: { name: doc.name, widthMm: doc.widthMm, heightMm: doc.heightMm },
    objects: doc.objects.map(withoutEmptyPictureColumn),
  };
  if (doc.merge) file.merge = doc.merge;
  if (doc.stock) file.stock = doc.stock;
  if (doc.output) file.output = doc.output;
  return JSON.stringify(file, null, 2);
}

/**
 * Reads a project file's text. Anything that is not a project of a version this program
 * understands throws a ProjectError; missing or malformed object properties take their
 * defaults so that one damaged value does not cost the whole label.
 */
export function parseProject(text: string): ReadResult {
  if (text.length > MAX_PROJECT_MB * 1024 * 1024) throw new ProjectError('projectTooLarge', (text.length / 1048576).toFixed(1), MAX_PROJECT_MB);
  let raw: unknown;
  try {
    raw = JSON.parse(stripBom(text));
  } catch (e) {
    throw new ProjectError('notJson', e instanceof Error ? e.message : '');
  }
  if (!isRecord(raw) || raw.format !== PROJECT_FORMAT) throw new ProjectError('notProject');
  const version = raw.version;
  if (typeof version !== 'number' || !Number.isInteger(version) || version < 1) throw new ProjectError('notProject');
  if (version > PROJECT_VERSION) throw new ProjectError('newerVersion', String(version));
  const migrated = migrate(raw, version);
  const label = migrated.label;
  if (!isRecord(label)) throw new ProjectError('badLabel');
  const widthMm = positiveLength(label.widthMm);
  const heightMm = positiveLength(label.heightMm);
  if (widthMm === null || heightMm === null) throw new ProjectError('badLabel');
  const doc = createDocument(typeof label.name === 'string' ? label.name : '', widthMm, heightMm);
  const objects: LabelObject[] = [];
  let skippedObjects = 0;
  const seen = new Set<string>();
  const stored: unknown[] = Array.isArray(migrated.objects) ? migrated.objects : [];
  // Counted before any is read: reading a million would be the freeze the limit prevents.
  if (stored.length > MAX_OBJECTS) throw new ProjectError('tooManyObjects', String(stored.length), MAX_OBJECTS);
  for (const item of stored) {
    const object = readObject(item);
    if (!object) {
      skippedObjects += 1;
      continue;
    }
    if (seen.has(object.id)) object.id = newId();
    seen.add(object.id);
    objects.push(object);
  }
  const exceeded = limitExceeded(objects);
  if (exceeded) throw exceeded;
  const merge = 'merge' in migrated ? { merge: readMergeSettings(migrateSheetGaps(migrated.merge, widthMm, heightMm)) } : {};
  const stock = readStock(migrated.stock);
  const output = readOutputSettings(migrated.output);
  return { doc: { ...doc, objects, ...merge, ...(stock ? { stock } : {}), ...(output ? { output } : {}) }, skippedObjects };
}

/** The first limit that objects go past, as the error that says so; null within them all. */
export function limitExceeded(objects: readonly LabelObject[]): ProjectError | null {
  if (objects.length > MAX_OBJECTS) return new ProjectError('tooManyObjects', String(objects.length), MAX_OBJECTS);
  for (const o of objects) {
    const chars = o.type === 'text' ? o.text.length : o.type === 'barcode' ? o.data.length : 0;
    if (chars > MAX_TEXT_CHARS) return new ProjectError('textTooLong', String(chars), MAX_TEXT_CHARS);
  }
  return null;
}

/**
 * Bundled stock comes back as the library's entry of that id (so a corrected figure reaches old
 * projects); the user's own stock is stored whole and checked like any stock a user enters.
 */
function readStock(raw: unknown): StockEntry | undefined {
  const bundled = isRecord(raw) && typeof raw.id === 'string' ? findStock(raw.id) : undefined;
  return bundled ?? readCustomStock([raw])[0];
}

/**
 * Upgrades an older file to the current layout, one version step at a time. Version 1 is the
 * first; a later format adds its step here so that old files keep opening.
 */
const MIGRATIONS: Record<number, (file: Record<string, unknown>) => Record<string, unknown>> = {};

function migrate(file: Record<string, unknown>, version: number): Record<string, unknown> {
  let current = file;
  for (let v = version; v < PROJECT_VERSION; v++) current = MIGRATIONS[v](current);
  return current;
}

/** Builds an object from stored values on top of the type's defaults; null for an unknown type. */
function readObject(raw: unknown): LabelObject | null {
  if (!isRecord(raw) || typeof raw.type !== 'string' || !OBJECT_TYPES.includes(raw.type as ObjectType)) return null;
  const base = createObject(raw.type as ObjectType) as unknown as Record<string, unknown>;
  const result: Record<string, unknown> = { ...base };
  for (const key of Object.keys(base)) {
    if (key === 'type' || !(key in raw)) continue;
    const value = raw[key];
    if (typeof value === typeof base[key] && (typeof value !== 'number' || Number.isFinite(value))) result[key] = value;
  }
  if (typeof raw.id !== 'string' || raw.id === '') result.id = newId();
  result.rotation = normaliseRotation(Number(result.rotation), !turnsFreely(result as { type: ObjectType }));
  for (const key of ['widthMm', 'heightMm'] as const) {
    if (!((result[key] as number) > 0)) result[key] = base[key];
  }
  if (result.type === 'text' && !result.fontFamily) result.fontFamily = DEFAULT_FONT;
  if (result.type === 'text' && raw.vertical === true) result.vertical = true;
  if (result.type === 'barcode') readBarcodeSize(raw, result);
  if (result.type === 'image' && !isImageDataUrl(result.src as string)) result.src = '';
  if (result.type === 'image' && typeof raw.srcColumn === 'string' && raw.srcColumn) result.srcColumn = raw.srcColumn;
  return result as unknown as LabelObject;
}

/**
 * A barcode without an X-dimension was made when the box set its size; it keeps that meaning
 * (and prints as it did) until someone sets an X-dimension, so none is invented here.
 */
function readBarcodeSize(raw: Record<string, unknown>, result: Record<string, unknown>): void {
  if (!SYMBOLOGIES.includes(result.symbology as Symbology)) result.symbology = 'code128';
  if (!BARCODE_FONTS.includes(result.textFont as BarcodeFont)) result.textFont = 'OCR-B';
  const xdim = readXdim(raw.xdim);
  if (xdim) result.xdim = xdim;
  const size = raw.textSizePt;
  if (typeof size === 'number' && Number.isFinite(size) && size > 0 && size <= 200) result.textSizePt = size;
}

export function readXdim(raw: unknown): XdimSetting | null {
  if (!isRecord(raw)) return null;
  if (typeof raw.mm === 'number' && Number.isFinite(raw.mm) && raw.mm > 0 && raw.mm <= 10) return { mm: raw.mm };
  if (typeof raw.dots === 'number' && Number.isInteger(raw.dots) && raw.dots >= 1 && raw.dots <= 100) return { dots: raw.dots };
  return null;
}

/** Only embedded pictures are kept: a project must never make the page fetch something by itself. */
export function isImageDataUrl(src: string): boolean {
  return /^data:image\/(png|jpeg|gif|webp|svg\+xml);base64,[A-Za-z0-9+/=\s]*$/.test(src);
}

/** A file name for a document, used as the save dialog's suggestion. */
export function suggestedFileName(doc: LabelDocument, fallback: string): string {
  const base = (doc.name.trim() || fallback).replace(/[\\/:*?"<>|\u0000-\u001f]/g, '_');
  return base.toLowerCase().endsWith(PROJECT_EXTENSION) ? base : base + PROJECT_EXTENSION;
}

/** The last part of a path, whichever separator it uses. */
export function baseName(path: string): string {
  return path.split(/[\\/]/).pop() || path;
}

/** The folder of a file's path; relative picture names in a data file are found there. */
export function folderOf(path: string): string {
  const slash = path.lastIndexOf('/');
  return slash > 0 ? path.slice(0, slash) : slash === 0 ? '/' : '';
}

/** The project's name as taken from a file name: "shelf.cwrt" names the project "shelf". */
export function nameFromFileName(fileName: string): string {
  return fileName.replace(/\.(cwrt|json)$/i, '');
}

function positiveLength(value: unknown): number | null {
  return typeof value === 'number' && Number.isFinite(value) && value > 0 && value <= MAX_LABEL_MM ? value : null;
}

function isRecord(value: unknown): value is Record<string, unknown> {
  return typeof value === 'object' && value !== null && !Array.isArray(value);
}

function stripBom(text: string): string {
  return text.charCodeAt(0) === 0xfeff ? text.slice(1) : text;
}

// Base64 of UTF-8 text, both directions, without the spread-argument limits of String.fromCharCode.
export function utf8ToBase64(text: string): string {
  return bytesToBase64(new TextEncoder().encode(text));
}

export function utf8Text(bytes: Uint8Array): string {
  return new TextDecoder('utf-8').decode(bytes);
}

export function bytesToBase64(bytes: Uint8Array): string {
  let binary = '';
  const chunk = 0x8000;
  for (let i = 0; i < bytes.length; i += chunk) {
    binary += String.fromCharCode.apply(null, Array.from(bytes.subarray(i, i + chunk)));
  }
  return btoa(binary);
}

export function base64ToBytes(base64: string): Uint8Array {
  // Lenient like the host: characters outside the alphabet are skipped, a lone trailing one dropped.
  const clean = base64.replace(/[^A-Za-z0-9+/]/g, '');
  const usable = clean.length % 4 === 1 ? clean.slice(0, -1) : clean;
  const binary = atob(usable + '='.repeat((4 - (usable.length % 4)) % 4));
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
  return bytes;
}
