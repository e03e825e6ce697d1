// Decoded pictures by their data URL. The editor redraws when one arrives; printing waits
// for all of a document's pictures before it draws.

import type { LabelDocument } from '../model/document';

type Entry = { image: HTMLImageElement; loaded: boolean; failed: boolean; promise: Promise<void> };

export class ImageStore {
  private entries = new Map<string, Entry>();
  private listeners = new Set<() => void>();

  onLoad(listener: () => void): () => void {
    this.listeners.add(listener);
    return () => this.listeners.delete(listener);
  }

  /** The decoded image, or null while it loads (loading starts on the first request). */
  get(src: string): HTMLImageElement | null {
    const entry = this.entry(src);
    return entry.loaded ? entry.image : null;
  }

  failed(src: string): boolean {
    return this.entry(src).failed;
  }

  /** Resolves once every picture the document uses has loaded or failed. */
  async ready(doc: LabelDocument): Promise<void> {
    const sources = doc.objects.flatMap((o) => (o.type === 'image' && o.src ? [o.src] : []));
    await Promise.all(sources.map((src) => this.entry(src).promise));
  }

  private entry(src: string): Entry {
    let entry = this.entries.get(src);
    if (entry) return entry;
    const image = new Image();
    const created: Entry = { image, loaded: false, failed: false, promise: Promise.resolve() };
    created.promise = new Promise<void>((resolve) => {
      image.onload = () => {
        created.loaded = true;
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
