// The page-drawing worker: receives a job (the label, its pages, its data and its pictures as
// ImageBitmaps), then draws and encodes the pages it is asked for, one after another, answering
// each with its PNG data URL. It stays for the next job, which replaces this one. Installed
// fonts are found by family name here as on the page.

import bwipjs from 'bwip-js';
import { installBarcodeEncoder } from '../render/barcode';
import type { Pictures } from '../render/images';
import { encodePageOffscreen, FromWorker, PageJob, ToWorker } from './pageImages';
import { PageRenderer, pageRenderer } from './pages';

declare const self: { onmessage: ((e: MessageEvent<ToWorker>) => void) | null; postMessage(message: FromWorker): void };

installBarcodeEncoder(bwipjs);

let job: PageJob | null = null;
let jobId = 0;
let renderer: PageRenderer | null = null;
// One page at a time: the renderer's canvas is reused for every page.
let queue: Promise<void> = Promise.resolve();

function picturesOf(list: [string, ImageBitmap][]): Pictures {
  const bitmaps = new Map(list);
  return { get: (src) => bitmaps.get(src) ?? null, failed: (src) => !bitmaps.has(src) };
}

self.onmessage = (event) => {
  const message = event.data;
  if (message.type === 'job') {
    jobId = message.id;
    job = message.job;
    renderer = pageRenderer(job.doc, job.plan, job.dpi, job.table, picturesOf(message.pictures), job.now, job.look);
    return;
  }
  if (message.type === 'end') {
    if (message.id === jobId) job = renderer = null;
    return;
  }
  const { id, index } = message;
  queue = queue.then(async () => {
    // Pages of a job that has ended (stopped, or done with pages asked ahead) are not drawn.
    if (id !== jobId || !job || !renderer) return;
    try {
      self.postMessage({ id, index, page: await encodePageOffscreen(renderer, job.look, index) });
    } catch (e) {
      self.postMessage({ id, index, error: e instanceof Error ? e.message : String(e) });
    }
  });
};
