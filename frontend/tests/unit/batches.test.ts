import { test } from 'node:test';
import assert from 'node:assert/strict';
import {
  BATCH_CHAR_LIMIT, CHANNEL_CEILING_CHARS, PAGE_OVERHEAD_CHARS, PAYLOAD_OVERHEAD_CHARS, PageTooLargeError, planBatches,
} from '../../src/print/batches';

test('batches stay under the channel ceiling with a margin, and under the page limit', () => {
  assert.ok(BATCH_CHAR_LIMIT <= CHANNEL_CEILING_CHARS * 0.8);
  const limits = { maxChars: 1000, maxPages: 4 };
  const per = 100 - PAGE_OVERHEAD_CHARS;
  // Payload overhead alone exceeds 1000 here, so use limits that leave room for it.
  const roomy = { maxChars: PAYLOAD_OVERHEAD_CHARS + 300, maxPages: 4 };
  assert.deepEqual(planBatches(Array(7).fill(per), roomy), [3, 3, 1]);
  assert.deepEqual(planBatches(Array(9).fill(1), roomy), [4, 4, 1]);
  assert.deepEqual(planBatches([], roomy), []);
  assert.throws(() => planBatches([2000], limits), PageTooLargeError);
  // 1,000 labels of 50 x 30 mm at 300 dpi are about 20 KiB of Base64 each: five batches of 200.
  assert.deepEqual(planBatches(Array(1000).fill(20000)), [200, 200, 200, 200, 200]);
  // 600 dpi sheets of about 2 MiB each: the character limit, not the page count, decides.
  const sizes = planBatches(Array(60).fill(2 * 1024 * 1024));
  assert.ok(sizes.every((n) => n * (2 * 1024 * 1024 + PAGE_OVERHEAD_CHARS) + PAYLOAD_OVERHEAD_CHARS <= BATCH_CHAR_LIMIT));
  assert.equal(sizes.reduce((a, b) => a + b, 0), 60);
  assert.equal(sizes[0], 23);
});
