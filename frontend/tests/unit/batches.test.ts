import { test } from 'node:test';
import assert from 'node:assert/strict';
import { BridgeError } from '../../src/bridge/errors';
import { CHANNEL_LIMIT_CHARS } from '../../src/bridge/limits';
import { BatchBuilder, batchLimits, PAGE_OVERHEAD_CHARS, PAYLOAD_OVERHEAD_CHARS } from '../../src/print/batches';

/** Batch sizes for pages of the given lengths, as a job sends them. */
function batchSizes(pageLengths: number[], limits?: { maxChars: number; maxPages: number }): number[] {
  const builder = new BatchBuilder<number>(limits);
  const sizes: number[] = [];
  for (const length of pageLengths) {
    if (!builder.fits(length)) sizes.push(builder.take().length);
    builder.add(length, length);
  }
  if (builder.size > 0) sizes.push(builder.size);
  return sizes;
}

test('batches stay under the channel limit and the page limit', () => {
  const roomy = { maxChars: PAYLOAD_OVERHEAD_CHARS + 300, maxPages: 4 };
  assert.deepEqual(batchSizes(Array(7).fill(100 - PAGE_OVERHEAD_CHARS), roomy), [3, 3, 1]);
  assert.deepEqual(batchSizes(Array(9).fill(1), roomy), [4, 4, 1]);
  // 1,000 thermal labels of 50 x 30 mm at 203 dpi, about 3 KiB of Base64 each: the host draws
  // about 500 of them in a fifth of a second; colour labels at 300 dpi, 18; a colour A4 sheet, one.
  const thermal = batchLimits('mono', { width: 400, height: 240 });
  assert.deepEqual(batchSizes(Array(1000).fill(3000), thermal), [513, 487]);
  assert.deepEqual([[591, 354], [2480, 3508]].map(([width, height]) => batchLimits('colour', { width, height }).maxPages), [18, 1]);
  // 600 dpi sheets of about 2 MiB each: the character limit, not the page count, decides.
  const page = 2 * 1024 * 1024;
  const sizes = batchSizes(Array(60).fill(page), thermal);
  assert.ok(sizes.every((n) => n * (page + PAGE_OVERHEAD_CHARS) + PAYLOAD_OVERHEAD_CHARS <= CHANNEL_LIMIT_CHARS));
  assert.equal(sizes[0], Math.floor((CHANNEL_LIMIT_CHARS - PAYLOAD_OVERHEAD_CHARS) / (page + PAGE_OVERHEAD_CHARS)));
  assert.throws(() => batchSizes([CHANNEL_LIMIT_CHARS]), (e: BridgeError) => e.code === 'tooLarge' && e.params.kind === 'pages');
});
