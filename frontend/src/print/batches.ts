// Splitting a print job into calls that each fit one web-channel message. A message holds
// about 64 Mi UTF-16 characters; past that the call never completes. The payload carries the
// pages as Base64 text inside JSON inside the channel's own JSON, so every page costs its
// length plus a few quotes, commas and escapes, and the envelope a little more.

export const CHANNEL_CEILING_CHARS = 64 * 1024 * 1024;
/** A quarter of the ceiling is kept free for the envelope, the escapes and any miscount. */
export const BATCH_CHAR_LIMIT = CHANNEL_CEILING_CHARS * 0.75;
/** Small enough that progress moves, stopping is possible and the host's window does not freeze long. */
export const BATCH_PAGE_LIMIT = 200;
export const PAGE_OVERHEAD_CHARS = 8;
export const PAYLOAD_OVERHEAD_CHARS = 4096;

export interface BatchLimits {
  maxChars: number;
  maxPages: number;
}

export const DEFAULT_LIMITS: BatchLimits = { maxChars: BATCH_CHAR_LIMIT, maxPages: BATCH_PAGE_LIMIT };

export class PageTooLargeError extends Error {
  constructor(readonly chars: number) {
    super(`a page image of ${chars} characters does not fit one message`);
    this.name = 'PageTooLargeError';
  }
}

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
    if (PAYLOAD_OVERHEAD_CHARS + cost > this.limits.maxChars) throw new PageTooLargeError(pageChars);
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

/** Batch sizes for pages of the given lengths, as a job would send them. */
export function planBatches(pageLengths: readonly number[], limits: BatchLimits = DEFAULT_LIMITS): number[] {
  const builder = new BatchBuilder<number>(limits);
  const sizes: number[] = [];
  for (const length of pageLengths) {
    if (!builder.fits(length)) sizes.push(builder.take().length);
    builder.add(length, length);
  }
  if (builder.size > 0) sizes.push(builder.size);
  return sizes;
}
