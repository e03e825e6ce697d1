// What the designer's canvas shows for fields: the values of the record being previewed.
// The stage asks previewText for every text and barcode it draws and redraws on a change.

import type { LabelObject } from '../model/document';

type Resolver = (stored: string, object: LabelObject) => string;

let resolver: Resolver | null = null;
const listeners = new Set<() => void>();

export function previewText(stored: string, object: LabelObject): string {
  return resolver ? resolver(stored, object) : stored;
}

export function setPreviewResolver(next: Resolver | null): void {
  resolver = next;
  listeners.forEach((l) => l());
}

export function onPreviewChange(listener: () => void): () => void {
  listeners.add(listener);
  return () => listeners.delete(listener);
}
