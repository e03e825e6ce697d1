// Splitting a print job into calls that each fit one web-channel message. The payload carries
// the pages as Base64 data URLs inside JSON, so every page costs its length plus its quotes and
// comma, and the rest of the payload a little more; the client refuses anything past the limit.

import { payloadTooLarge } from '../bridge/errors';
import { CHANNEL_LIMIT_CHARS } from '../bridge/limits';

/** Small enough that progress moves, stopping is possible and the host's window does not freeze long. */
export const BATCH_PAGE_LIMIT = 200;
export const PAGE_OVERHEAD_CHARS = 8;
export const PAYLOAD_OVERHEAD_CHARS = 4096;

export interface BatchLimits {
  maxChars: number;
  maxPages: number;
}

export const DEFAULT_LIMITS: BatchLimits = { maxChars: CHANNEL_LIMIT_CHARS, maxPages: BATCH_PAGE_LIMIT };

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
