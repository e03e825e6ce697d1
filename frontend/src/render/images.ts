// Decoded pictures by their data URL. The editor redraws when one arrives; printing waits
// for all of a document's pictures before it draws.

import type { LabelDocument } from '../model/document';
import { base64ToBytes } from '../model/project';
import { RECORD_PICTURE, RecordPictures } from './recordPictures';
import { cutShort } from './wholePicture';

/**
 * Where the renderer finds decoded pictures: the page's ImageStore, or in a worker the same
 * pictures handed over as ImageBitmaps.
 */
export interface Pictures {
  get(src: string): HTMLImageElement | ImageBitmap | null;
  failed(src: string): boolean;
}

type Entry = { image: HTMLImageElement; loaded: boolean; failed: boolean; promise: Promise<void>; settle: () => void };

export class ImageStore implements Pictures {
  private entries = new Map<string, Entry>();
  private listeners = new Set<() => void>();
  /** Where keys of record pictures are looked up (render/recordPictures.ts). */
  private recordPictures: RecordPictures | null = null;

  /** Serves record pictures through this store, so every drawing of a label finds them. */
  attachRecordPictures(pictures: RecordPictures): void {
    this.recordPictures = pictures;
    pictures.onLoad(() => this.listeners.forEach((l) => l()));
  }

  onLoad(listener: () => void): () => void {
    this.listeners.add(listener);
    return () => this.listeners.delete(listener);
  }

  /** The decoded image, or null while it loads (loading starts on the first request). */
  get(src: string): HTMLImageElement | null {
    if (src.startsWith(RECORD_PICTURE)) return this.recordPictures?.get(src) ?? null;
    const entry = this.entry(src);
    return entry.loaded ? entry.image : null;
  }

  failed(src: string): boolean {
    if (src.startsWith(RECORD_PICTURE)) return this.recordPictures?.failed(src) ?? true;
    return this.entry(src).failed;
  }

  /** Resolves once each of these record pictures has loaded or failed. */
  async recordPicturesReady(keys: readonly string[]): Promise<void> {
    await this.recordPictures?.ready(keys);
  }

  /** Resolves once every picture the document uses has loaded or failed. */
  async ready(doc: LabelDocument): Promise<void> {
    const sources = doc.objects.flatMap((o) => (o.type === 'image' && o.src ? [o.src] : []));
    await Promise.all(sources.map((src) => this.entry(src).promise));
  }

  /**
   * Lets go of every decoded picture the document no longer uses: a few large photos inserted
   * and deleted would otherwise stay in memory for the whole session. Undo decodes them again.
   */
  releaseUnused(doc: LabelDocument): void {
    const used = new Set(doc.objects.flatMap((o) => (o.type === 'image' ? [o.src] : [])));
    for (const [src, entry] of this.entries) {
      if (used.has(src)) continue;
      entry.image.onload = entry.image.onerror = null;
      entry.image.removeAttribute('src');
      entry.settle();
      this.entries.delete(src);
    }
  }

  private entry(src: string): Entry {
    let entry = this.entries.get(src);
    if (entry) return entry;
    const image = new Image();
    const created: Entry = { image, loaded: false, failed: false, promise: Promise.resolve(), settle: () => {} };
    created.promise = new Promise<void>((resolve) => {
      // Whoever waits for a picture let go before it decoded is not left waiting.
      created.settle = resolve;
      image.onload = () => {
        created.loaded = true;
        // Shown as far as it goes, but it would print damaged: the check before printing says so.
        created.failed = isCutShortDataUrl(src);
        resolve();
        this.listeners.forEach((l) => l());
      };
      image.onerror = () => {
        created.failed = true;
        resolve();
        this.listeners.forEach((l) => l());
      };
    });
    image.src = src;
    this.entries.set(src, created);
    return created;
  }
}

function isCutShortDataUrl(src: string): boolean {
  const comma = src.indexOf(',');
  return src.startsWith('data:') && src.slice(0, comma).endsWith(';base64') && cutShort(base64ToBytes(src.slice(comma + 1)));
}
