import { test } from 'node:test';
import assert from 'node:assert/strict';
import { BridgeError, PrintJobPayload } from '../../src/bridge/client';
import { DEFAULT_COUNTER } from '../../src/model/fields';
import { labelSequence } from '../../src/model/labels';
import { PAYLOAD_OVERHEAD_CHARS } from '../../src/print/batches';
import { runPrintJob } from '../../src/print/job';
import { outcomeMessage } from '../../src/print/output';
import { planPages } from '../../src/print/pages';
import { createDocument } from '../../src/model/document';

const doc = createDocument('货架', 50, 30);
const planOf = (labels: number, sheet = null as Parameters<typeof planPages>[2]) =>
  planPages(doc, labelSequence(null, labels, DEFAULT_COUNTER), sheet);

/** A host that records every call; `fail` answers one call (1-based) with an error. */
function host(options: { fail?: number; onCall?: (n: number) => void } = {}) {
  const calls: PrintJobPayload[] = [];
  return {
    calls,
    api: {
      async submitPrintJob(payload: PrintJobPayload) {
        calls.push(payload);
        options.onCall?.(calls.length);
        await new Promise((resolve) => setTimeout(resolve, 1));
        if (calls.length === options.fail) throw new BridgeError('打印页图像无效');
        return { printerName: payload.printerName, printerDisplayName: 'Label printer' };
      },
    },
  };
}

const pageText = (i: number): string => `data:image/png;base64,${String(i).padStart(100, '0')}`;
const page = async (i: number): Promise<string> => pageText(i);
const limits = { maxChars: PAYLOAD_OVERHEAD_CHARS + 3 * 150, maxPages: 10 };

test('a job that fits one call is one job under the project name, with copies and page size', async () => {
  const { api, calls } = host();
  const outcome = await runPrintJob({ api, printerName: 'label', jobName: '货架', copies: 2, plan: planOf(3), drawPage: page, limits });
  assert.deepEqual([outcome.status, outcome.labelsSent], ['done', 3]);
  assert.deepEqual(calls.map((c) => [c.jobName, c.pages.length, c.copies, c.pageWidthMm, c.pageHeightMm]), [['货架', 3, 2, 50, 30]]);
  assert.deepEqual(calls[0].pages, [pageText(0), pageText(1), pageText(2)]);
});

test('a large job goes out in numbered batches that keep every page in order', async () => {
  const { api, calls } = host();
  const progress: number[] = [];
  const outcome = await runPrintJob({
    api, printerName: 'label', jobName: '货架', copies: 1, plan: planOf(8), drawPage: page, limits,
    onProgress: (p) => progress.push(p.labelsSent),
  });
  assert.deepEqual([outcome.status, outcome.labelsSent, progress[progress.length - 1]], ['done', 8, 8]);
  assert.deepEqual(calls.map((c) => c.jobName), ['货架 (1)', '货架 (2)', '货架 (3)']);
  assert.deepEqual(calls.flatMap((c) => c.pages), Array.from({ length: 8 }, (_, i) => pageText(i)));
});

test('stopping takes effect between batches and the count says what reached the printer', async () => {
  let stop = false;
  const { api, calls } = host({ onCall: (n) => (stop = n === 2) });
  const outcome = await runPrintJob({
    api, printerName: 'label', jobName: 'x', copies: 1, plan: planOf(8), drawPage: page, limits, stopRequested: () => stop,
  });
  assert.deepEqual([outcome.status, calls.length, outcome.labelsSent, outcome.totalLabels], ['stopped', 2, 6, 8]);
});

test('a host error ends the job with its words and the labels sent before it', async () => {
  const { api, calls } = host({ fail: 2 });
  const outcome = await runPrintJob({ api, printerName: 'label', jobName: 'x', copies: 1, plan: planOf(8), drawPage: page, limits });
  assert.deepEqual([outcome.status, (outcome.failure as Error).message, outcome.labelsSent, calls.length], ['failed', '打印页图像无效', 3, 2]);
});

test('on sheets the count is of labels, not pages', async () => {
  const sheet = { paper: 'A4' as const, paperWidthMm: 210, paperHeightMm: 297, columns: 2, rows: 2, marginLeftMm: 0, marginTopMm: 0, pitchXMm: 50, pitchYMm: 30, startPosition: 4 };
  const { api, calls } = host();
  const outcome = await runPrintJob({ api, printerName: 'a4', jobName: 'x', copies: 1, plan: planOf(6, sheet), drawPage: page, limits });
  assert.deepEqual(calls.map((c) => [c.pages.length, c.pageWidthMm, c.pageHeightMm]), [[3, 210, 297]]);
  assert.deepEqual([outcome.labelsSent, outcome.pagesSent], [6, 3]);
  assert.deepEqual(outcomeMessage(outcome, 1, 'A4 printer').params, { labels: 6, printer: 'A4 printer', pages: 3, copies: 1 });
  const stopped = outcomeMessage({ ...outcome, status: 'stopped', labelsSent: 4, pagesSent: 2 }, 1, 'A4 printer');
  assert.deepEqual(stopped.params, { labels: 4, rest: 2 });
});
