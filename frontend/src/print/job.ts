// Sending a job to the printer: pages are drawn and encoded one by one, collected into batches
// that fit one channel message, and each batch is one submitPrintJob call. The next batch is
// drawn while the host prints the previous one. Stopping takes effect between batches; the
// outcome always says how many labels the printer received.

import { yieldToPage } from '../util/yield';
import type { DesktopApi, PrintJobPayload, PrintReply } from '../bridge/client';
import { BatchBuilder, BatchLimits, DEFAULT_LIMITS } from './batches';
import type { PagePlan } from './pages';

export interface JobProgress {
  pagesDrawn: number;
  pagesSent: number;
  labelsSent: number;
  totalPages: number;
  totalLabels: number;
  batchesSent: number;
}

export interface JobRequest {
  api: Pick<DesktopApi, 'submitPrintJob'>;
  printerName: string;
  jobName: string;
  copies: number;
  /** Driver settings and resolution, or the printer language and its settings (see jobSettings). */
  settings?: Pick<PrintJobPayload, 'options' | 'resolution' | 'printerLanguage' | 'languageSettings'>;
  plan: PagePlan;
  /** Page `index` as a PNG data URL; asked in order. */
  drawPage: (index: number) => Promise<string>;
  limits?: BatchLimits;
  onProgress?: (progress: JobProgress) => void;
  /** Asked before every batch is sent; true stops the job there. */
  stopRequested?: () => boolean;
}

export interface JobOutcome extends JobProgress {
  status: 'done' | 'stopped' | 'failed';
  /** What made a batch fail (a BridgeError from the host), null otherwise. */
  failure: unknown;
  reply: PrintReply | null;
}

interface Batch {
  pages: string[];
  labels: number;
}

export async function runPrintJob(request: JobRequest): Promise<JobOutcome> {
  const { plan } = request;
  const progress: JobProgress = {
    pagesDrawn: 0, pagesSent: 0, labelsSent: 0, batchesSent: 0,
    totalPages: plan.pages.length, totalLabels: plan.labels.length,
  };
  const report = (): void => request.onProgress?.({ ...progress });
  const builder = new BatchBuilder<{ page: string; labels: number }>(request.limits ?? DEFAULT_LIMITS);
  let sending: Promise<void> = Promise.resolve();
  let failure: unknown = null;
  let stopped = false;
  let reply: PrintReply | null = null;
  let lastYield = Date.now();

  let batchesQueued = 0;
  const send = (batch: Batch, wholeJob: boolean): void => {
    batchesQueued += 1;
    const number = batchesQueued;
    sending = sending.then(async () => {
      if (failure !== null || stopped) return;
      if (request.stopRequested?.()) {
        stopped = true;
        return;
      }
      try {
        reply = await request.api.submitPrintJob({
          printerName: request.printerName,
          pages: batch.pages,
          pageWidthMm: plan.pageWidthMm,
          pageHeightMm: plan.pageHeightMm,
          // One call is one job in the queue; the parts of a large job are numbered.
          jobName: wholeJob ? request.jobName : `${request.jobName} (${number})`,
          copies: request.copies,
          ...request.settings,
        });
        progress.pagesSent += batch.pages.length;
        progress.labelsSent += batch.labels;
        progress.batchesSent += 1;
        report();
      } catch (e) {
        failure = e;
      }
    });
  };

  const flush = async (wholeJob: boolean): Promise<void> => {
    const items = builder.take();
    // At most one batch waits while the next is drawn, so memory holds two batches at most.
    await sending;
    send({ pages: items.map((i) => i.page), labels: items.reduce((n, i) => n + i.labels, 0) }, wholeJob);
  };

  try {
    for (let index = 0; index < plan.pages.length; index++) {
      if (failure !== null || stopped) break;
      if (request.stopRequested?.()) {
        stopped = true;
        break;
      }
      const page = await request.drawPage(index);
      if (!builder.fits(page.length)) await flush(false);
      builder.add({ page, labels: plan.pages[index].length }, page.length);
      progress.pagesDrawn += 1;
      if (Date.now() - lastYield > 50) {
        report();
        await yieldToPage();
        lastYield = Date.now();
      }
    }
    if (builder.size > 0 && failure === null && !stopped) await flush(batchesQueued === 0 && builder.size === plan.pages.length);
  } catch (e) {
    failure ??= e;
  }
  await sending;
  report();
  const status = failure !== null ? 'failed' : stopped || progress.pagesSent < plan.pages.length ? 'stopped' : 'done';
  return { ...progress, status, failure, reply };
}
