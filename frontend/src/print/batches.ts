// Splitting a print job into calls that each fit one web-channel message and hold the host's
// window briefly. The payload carries the pages as Base64 data URLs inside JSON, so every page
// costs its length plus its quotes and comma, and the rest of the payload a little more; the
// client refuses anything past the limit.

import { payloadTooLarge } from '../bridge/errors';
import { CHANNEL_LIMIT_CHARS } from '../bridge/limits';

export const PAGE_OVERHEAD_CHARS = 8;
export const PAYLOAD_OVERHEAD_CHARS = 4096;

export interface BatchLimits {
  maxChars: number;
  maxPages: number;
}

/**
 * How long one submitPrintJob call may keep the host's window from answering, as the host costs
 * below predict it: it checks and draws the whole batch on its GUI thread. While it does, the
 * workers draw the next batch on the same cores and the batch crosses the channel: with 250 ms
 * predicted the longest call measured 523 ms on two cores (bench/run), so the prediction is kept
 * to 200 ms for calls within the half second a user tolerates.
 */
export const BATCH_HOLD_MS = 200;
/**
 * What one call costs the host, measured by bench/print_bench (2 cores): a fixed part, and per
 * million pixels of page, 1-bit (thermal) pages 0.36 ms for 400 × 240, colour 10 ms for 591 × 354.
 */
export const HOST_CALL_MS = 15;
export const HOST_MS_PER_MEGAPIXEL = { mono: 3.75, colour: 48 } as const;

/** Batches of pages of this kind and size: as many pages as the host draws within BATCH_HOLD_MS. */
export function batchLimits(kind: keyof typeof HOST_MS_PER_MEGAPIXEL, page: { width: number; height: number }): BatchLimits {
  const pageMs = (HOST_MS_PER_MEGAPIXEL[kind] * page.width * page.height) / 1e6;
  return { maxChars: CHANNEL_LIMIT_CHARS, maxPages: Math.max(1, Math.floor((BATCH_HOLD_MS - HOST_CALL_MS) / pageMs)) };
}

/** Colour label pages of 50 × 30 mm at 300 dpi, for callers that do not say what they send. */
export const DEFAULT_LIMITS: BatchLimits = batchLimits('colour', { width: 591, height: 354 });

/**
 * Collects pages (with whatever the caller keeps alongside each) and says when the next one
 * would overflow the current batch: the caller sends `take()` whenever `fits` is false.
 */
export class BatchBuilder<T> {
  private items: T[] = [];
  private chars = PAYLOAD_OVERHEAD_CHARS;

  constructor(private readonly limits: BatchLimits = DEFAULT_LIMITS) {}

  get size(): number {
    return this.items.length;
  }

  /** Whether a page of this many characters still fits; throws for a page that fits no batch. */
  fits(pageChars: number): boolean {
    const cost = pageChars + PAGE_OVERHEAD_CHARS;
    if (PAYLOAD_OVERHEAD_CHARS + cost > this.limits.maxChars) throw payloadTooLarge('pages', PAYLOAD_OVERHEAD_CHARS + cost, this.limits.maxChars);
    return this.items.length < this.limits.maxPages && this.chars + cost <= this.limits.maxChars;
  }

  add(item: T, pageChars: number): void {
    this.items.push(item);
    this.chars += pageChars + PAGE_OVERHEAD_CHARS;
  }

  take(): T[] {
    const items = this.items;
    this.items = [];
    this.chars = PAYLOAD_OVERHEAD_CHARS;
    return items;
  }
}
