// Pictures named in a data source's cells: an image object with `srcColumn` shows, for each
// record, the picture file its cell names. Relative names are found from the data file's folder
// (where the person keeps the sheet and its photos), never from the program's working folder.
// The host reads the file (readImageFile, injected here as `read`); it is decoded, reduced as
// inserted pictures are, and kept among the most recently used. Whether a cell's picture can
// print is remembered for every cell, so the check before printing reads each file once.

import type { ImageObject } from '../model/document';
import { base64ToBytes } from '../model/project';
import { cutShort } from './wholePicture';

/** Why a record's picture cannot print. */
export type PictureProblem = 'empty' | 'missing' | 'notPicture' | 'tooLarge' | 'undecodable' | 'unavailable';

export type PictureRead = { ok: true; dataBase64: string } | { ok: false; problem: PictureProblem };

export interface PictureSize {
  src: string;
  width: number;
  height: number;
}

/** The key an image object draws for a record: a prefix and the cell, read through the image store. */
export const RECORD_PICTURE = 'record-picture:';
/** Decoded pictures kept at once; a job draws its pages in order, so a few suffice. */
const KEPT_PICTURES = 48;

const MIME: [RegExp, string][] = [
  [/^\x89PNG/, 'image/png'],
  [/^\xff\xd8\xff/, 'image/jpeg'],
  [/^GIF8[79]a/, 'image/gif'],
  [/^BM/, 'image/bmp'],
  [/^RIFF....WEBP/, 'image/webp'],
];

function dataUrlOf(dataBase64: string): string {
  const head = atob(dataBase64.slice(0, 24));
  const mime = MIME.find(([pattern]) => pattern.test(head))?.[1] ?? 'image/svg+xml';
  return `data:${mime};base64,${dataBase64}`;
}

/** The image key an object draws for a record whose cell reads `cell`; empty for no picture. */
export function recordPictureKey(object: ImageObject, resolveText: ((stored: string, o: ImageObject) => string) | undefined): string {
  const field = `{{${object.srcColumn}}}`;
  const cell = resolveText ? resolveText(field, object).trim() : '';
  return cell && cell !== field ? RECORD_PICTURE + cell : '';
}

export function pictureFileName(cell: string): string {
  return cell.split(/[\\/]/).pop() || cell;
}

type Entry = { promise: Promise<void>; image: HTMLImageElement | null };

export class RecordPictures {
  private folder = '';
  /** Why each file read so far cannot print (null: it can), kept for every file. */
  private verdicts = new Map<string, PictureProblem | null>();
  /** The most recently used pictures, oldest first. */
  private kept = new Map<string, Entry>();
  private listeners = new Set<() => void>();

  constructor(
    private readonly read: (path: string) => Promise<PictureRead>,
    private readonly reduce: (picture: PictureSize) => Promise<PictureSize> = async (p) => p,
  ) {}

  /** The folder of the data file; relative names in cells are found there. */
  setFolder(folder: string): void {
    if (folder === this.folder) return;
    this.folder = folder;
    this.forget();
  }

  /** Reads every file again when next used (the data was read again, files may have changed). */
  forget(): void {
    this.verdicts.clear();
    this.kept.clear();
  }

  onLoad(listener: () => void): () => void {
    this.listeners.add(listener);
    return () => this.listeners.delete(listener);
  }

  /** The file a cell names: an absolute path as it is, a relative one from the data file's folder. */
  pathOf(cell: string): string {
    const name = cell.trim();
    if (!name || name.startsWith('/') || !this.folder) return name;
    return `${this.folder.replace(/\/+$/, '')}/${name.replace(/^(\.\/)+/, '')}`;
  }

  /** The decoded picture for a key, or null while it loads (loading starts here) or when it cannot. */
  get(key: string): HTMLImageElement | null {
    return this.entry(this.pathOf(key.slice(RECORD_PICTURE.length))).image;
  }

  failed(key: string): boolean {
    return !!this.verdicts.get(this.pathOf(key.slice(RECORD_PICTURE.length)));
  }

  /** Resolves once the picture of each key has loaded or failed. */
  async ready(keys: readonly string[]): Promise<void> {
    await Promise.all(keys.map((k) => this.entry(this.pathOf(k.slice(RECORD_PICTURE.length))).promise));
  }

  /** Why the cell's picture cannot print, or null when it can. */
  async problem(cell: string): Promise<PictureProblem | null> {
    const path = this.pathOf(cell);
    if (!path) return 'empty';
    if (!this.verdicts.has(path)) await this.entry(path).promise;
    return this.verdicts.get(path) ?? null;
  }

  private entry(path: string): Entry {
    const known = this.kept.get(path);
    if (known) {
      this.kept.delete(path);
      this.kept.set(path, known);
      return known;
    }
    const entry: Entry = { promise: Promise.resolve(), image: null };
    entry.promise = this.load(path).then((result) => {
      this.verdicts.set(path, 'problem' in result ? result.problem : null);
      if ('image' in result) entry.image = result.image;
      this.listeners.forEach((l) => l());
    });
    this.kept.set(path, entry);
    if (this.kept.size > KEPT_PICTURES) this.kept.delete(this.kept.keys().next().value as string);
    return entry;
  }

  private async load(path: string): Promise<{ image: HTMLImageElement } | { problem: PictureProblem }> {
    if (!path) return { problem: 'empty' };
    // Never from the working folder: without the data file's folder a relative name is not found.
    if (!path.startsWith('/')) return { problem: 'missing' };
    const reply = await this.read(path);
    if (!reply.ok) return { problem: reply.problem };
    if (cutShort(base64ToBytes(reply.dataBase64))) return { problem: 'undecodable' };
    const original = await decode(dataUrlOf(reply.dataBase64));
    if (!original) return { problem: 'undecodable' };
    const reduced = await this.reduce({ src: original.src, width: original.naturalWidth, height: original.naturalHeight });
    const image = reduced.src === original.src ? original : await decode(reduced.src);
    return image ? { image } : { problem: 'undecodable' };
  }
}

function decode(src: string): Promise<HTMLImageElement | null> {
  return new Promise((resolve) => {
    const image = new Image();
    image.onload = () => resolve(image.naturalWidth > 0 ? image : null);
    image.onerror = () => resolve(null);
    image.src = src;
  });
}
