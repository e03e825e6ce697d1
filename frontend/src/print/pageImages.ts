// A job's pages as the printer gets them, PNG data URLs, asked for in order. They are drawn in
// workers, as many as the machine has cores, while the page's thread sends what is ready; small
// jobs, and engines without workers or OffscreenCanvas, draw on the page's thread. Both draw
// through the same pageRenderer, so the dots do not depend on where a page was drawn. Pages that
// show the same thing (a label without fields, copies of a record) are drawn once.

import type { SheetTable } from '../data/table';
import type { LabelDocument } from '../model/document';
import { bytesToBase64 } from '../model/project';
import type { ImageStore } from '../render/images';
import { encodeMonoPng } from '../render/mono';
import { workerUrl } from '../util/bundles';
import { PageLook, pageContentKey, PagePlan, PageRenderer, pageRenderer, recordPictureKeys, usesRecordPictures } from './pages';

/** Everything a job's pages depend on besides its pictures; all of it crosses to a worker as is. */
export interface PageJob {
  doc: LabelDocument;
  plan: PagePlan;
  dpi: number;
  table: SheetTable | null;
  look: PageLook;
  /** When the job started: date fields read the same on every page. */
  now: Date;
}

export interface PageImages {
  /** Page `index` as a PNG data URL. Asked in order, pages ahead of it are drawn meanwhile. */
  page(index: number): Promise<string>;
  /** Starts drawing the first pages before any is asked for (while the job is being checked). */
  prefetch(): void;
  /** Lets the workers go; pages drawn ahead and not asked for are dropped. */
  close(): void;
}

/** Below this many pages, starting workers (each loads the renderer) costs more than it saves. */
export const WORKER_MIN_PAGES = 8;
/** Consecutive pages go to one worker: copies of a record share its barcodes' encodings there. */
const RUN_PAGES = 4;
/** Pages drawn ahead per worker: enough to keep it busy, few enough to keep memory flat. */
const AHEAD_PER_WORKER = 12;
/** Contents remembered to draw equal pages once; a job of all different pages gains nothing more. */
const KEYS_KEPT = 64;

/** How many workers draw a job of this many pages: 0 draws on the page's thread. */
export function workerCount(pages: number): number {
  if (pages < WORKER_MIN_PAGES || typeof Worker === 'undefined' || typeof OffscreenCanvas === 'undefined') return 0;
  return Math.max(1, Math.min(navigator.hardwareConcurrency || 1, Math.ceil(pages / RUN_PAGES)));
}

const pngDataUrl = (bytes: Uint8Array): string => `data:image/png;base64,${bytesToBase64(bytes)}`;

/** Dots as a 1-bit PNG data URL: black, white palette, which the host keeps as a 1-bit image. */
function monoPage(renderer: PageRenderer, index: number): string {
  return pngDataUrl(encodeMonoPng(renderer.dots(index)));
}

/** Page `index` drawn and encoded on this thread (the page's). */
export function encodePage(renderer: PageRenderer, look: PageLook, index: number): string {
  if (look.kind === 'mono') return monoPage(renderer, index);
  return (renderer.draw(index) as HTMLCanvasElement).toDataURL('image/png');
}

/** Page `index` drawn and encoded in a worker: its canvas is an OffscreenCanvas. */
export async function encodePageOffscreen(renderer: PageRenderer, look: PageLook, index: number): Promise<string> {
  if (look.kind === 'mono') return monoPage(renderer, index);
  const blob = await (renderer.draw(index) as OffscreenCanvas).convertToBlob({ type: 'image/png' });
  return pngDataUrl(new Uint8Array(await blob.arrayBuffer()));
}

interface Drawer {
  /** How many pages to ask for ahead of the one awaited. */
  readonly ahead: number;
  draw(index: number): Promise<string>;
  close(): void;
}

function pageThreadDrawer(job: PageJob, images: ImageStore): Drawer {
  // Made on the first page: a job that its check stops draws nothing.
  let renderer: PageRenderer | null = null;
  const draw = async (index: number): Promise<string> => {
    await images.recordPicturesReady(recordPictureKeys(job.doc, job.plan, job.table, job.now, index));
    renderer ??= pageRenderer(job.doc, job.plan, job.dpi, job.table, images, job.now, job.look);
    return encodePage(renderer, job.look, index);
  };
  return { ahead: 0, draw, close: () => {} };
}

/** What the page tells a worker, and what it answers; `id` tells one job from the next. */
export type ToWorker =
  | { type: 'job'; id: number; job: PageJob; pictures: [string, ImageBitmap][] }
  | { type: 'page'; id: number; index: number }
  | { type: 'end'; id: number };
export type FromWorker = { id: number; index: number; page: string } | { id: number; index: number; error: string };

/**
 * Workers stay for the next job a while: a fresh one loads the renderer and warms up its code,
 * which makes its first hundred pages markedly slower than the next.
 */
const IDLE_WORKERS_MS = 60000;
let idle: { workers: Worker[]; timer: number } | null = null;
let lastJobId = 0;

/** Workers being started ahead of their job (startWorkers); a job waits for them. */
let starting: Promise<void> | null = null;

/**
 * Starts the workers a job of this many pages will draw with, before the job is planned: each
 * loads and compiles the renderer on its own thread while the page's thread is still reading the
 * project and its data. They wait idle for the job as after one.
 */
export function startWorkers(pages: number): void {
  const count = workerCount(pages);
  if (count === 0 || idle || starting) return;
  starting = hireWorkers(count).then(releaseWorkers, (e) => console.warn(`Workers cannot draw pages here (${String(e)}).`));
  void starting.finally(() => (starting = null));
}

/** `count` workers for a job: the idle ones when they fit, else new ones. */
async function hireWorkers(count: number): Promise<Worker[]> {
  if (starting) await starting;
  if (idle) {
    const { workers, timer } = idle;
    idle = null;
    clearTimeout(timer);
    if (workers.length === count) return workers;
    workers.forEach((w) => w.terminate());
  }
  const url = await workerUrl('render-worker');
  return Array.from({ length: count }, () => new Worker(url));
}

function releaseWorkers(workers: Worker[]): void {
  if (idle) {
    // Another job's workers are idle already: one set is kept.
    workers.forEach((w) => w.terminate());
    return;
  }
  const timer = window.setTimeout(() => {
    if (idle?.workers === workers) idle = null;
    workers.forEach((w) => w.terminate());
  }, IDLE_WORKERS_MS);
  idle = { workers, timer };
}

async function picturesFor(doc: LabelDocument, images: ImageStore): Promise<[string, ImageBitmap][]> {
  const pictures: [string, ImageBitmap][] = [];
  for (const o of doc.objects) {
    if (o.type !== 'image' || !o.src || pictures.some(([src]) => src === o.src)) continue;
    const image = images.get(o.src);
    // A picture that failed to load is left out: drawn as missing, as on the page.
    if (image) pictures.push([o.src, await createImageBitmap(image)]);
  }
  return pictures;
}

/**
 * Workers drawing the job; a worker that fails hands its pages, and every later one, to the
 * page's thread, so a job never fails for the way it is drawn.
 */
async function workerDrawer(job: PageJob, images: ImageStore, count: number): Promise<Drawer> {
  const id = (lastJobId += 1);
  const waiting = new Map<number, { resolve: (page: string) => void; reject: (e: unknown) => void; worker: number }>();
  const load = new Array<number>(count).fill(0);
  let fallback: Drawer | null = null;
  let lastWorker = 0;
  let lastIndex = -2;

  const workers = await hireWorkers(count);
  await Promise.all(workers.map(async (worker, n) => {
    const pictures = await picturesFor(job.doc, images);
    const message: ToWorker = { type: 'job', id, job, pictures };
    worker.postMessage(message, pictures.map(([, bitmap]) => bitmap));
    worker.onmessage = (event: MessageEvent<FromWorker>) => {
      const reply = event.data;
      // A page of an earlier job that was drawn before the worker heard of this one.
      if (reply.id !== id) return;
      const entry = waiting.get(reply.index);
      if (!entry) return;
      waiting.delete(reply.index);
      load[n] -= 1;
      if ('page' in reply) {
        entry.resolve(reply.page);
      } else {
        fail(reply.error);
        redraw(reply.index, entry);
      }
    };
    worker.onerror = (event) => {
      event.preventDefault();
      fail(event.message);
    };
  }));

  const stopWorkers = (): void => workers.forEach((w) => w.terminate());
  const redraw = (index: number, entry: { resolve: (page: string) => void; reject: (e: unknown) => void }): void => {
    fallback ??= pageThreadDrawer(job, images);
    fallback.draw(index).then(entry.resolve, entry.reject);
  };
  const fail = (detail: string): void => {
    if (fallback) return;
    console.warn(`Drawing pages in workers failed (${detail}); drawing them on the page instead.`);
    stopWorkers();
    const orphans = [...waiting];
    waiting.clear();
    for (const [index, entry] of orphans) redraw(index, entry);
  };

  return {
    ahead: count * AHEAD_PER_WORKER,
    draw(index) {
      if (fallback) return fallback.draw(index);
      return new Promise<string>((resolve, reject) => {
        // A run of consecutive pages stays with one worker; a new run goes to the least busy one.
        const continues = index === lastIndex + 1 && (index % RUN_PAGES) !== 0;
        const worker = continues ? lastWorker : load.indexOf(Math.min(...load));
        lastWorker = worker;
        lastIndex = index;
        load[worker] += 1;
        waiting.set(index, { resolve, reject, worker });
        const message: ToWorker = { type: 'page', id, index };
        workers[worker].postMessage(message);
      });
    },
    close() {
      if (fallback) return;
      // Pages asked for ahead and not drawn yet are dropped; the workers wait for the next job.
      const message: ToWorker = { type: 'end', id };
      workers.forEach((w) => w.postMessage(message));
      waiting.clear();
      releaseWorkers(workers);
    },
  };
}

/**
 * The pages of a job, pictures loaded (ImageStore.ready). `workers` overrides how many workers
 * draw them (0: the page's thread), for tests and measurements.
 */
export async function pageImages(job: PageJob, images: ImageStore, workers = workerCount(job.plan.pages.length)): Promise<PageImages> {
  // The host reads record pictures for the page; workers have no way to ask for them.
  if (usesRecordPictures(job.doc)) workers = 0;
  let drawer: Drawer;
  try {
    drawer = workers > 0 ? await workerDrawer(job, images, workers) : pageThreadDrawer(job, images);
  } catch (e) {
    console.warn(`Workers cannot draw pages here (${String(e)}); drawing them on the page.`);
    drawer = pageThreadDrawer(job, images);
  }
  const contentKey = pageContentKey(job.doc, job.plan, job.table, job.now);
  const asked = new Map<number, Promise<string>>();
  const byContent = new Map<string, Promise<string>>();
  let next = 0;

  const start = (index: number): void => {
    if (asked.has(index)) return;
    const key = contentKey(index);
    let page = byContent.get(key);
    if (!page) {
      page = drawer.draw(index);
      // Remembered whatever happens to it: a failed page fails the job where it is awaited.
      page.catch(() => {});
      if (byContent.size >= KEYS_KEPT) byContent.delete(byContent.keys().next().value as string);
      byContent.set(key, page);
    }
    asked.set(index, page);
  };

  const startAhead = (index: number): void => {
    const last = Math.min(job.plan.pages.length - 1, index + drawer.ahead);
    for (next = Math.max(next, index + 1); next <= last; next++) start(next);
  };

  return {
    page(index) {
      start(index);
      startAhead(index);
      const page = asked.get(index)!;
      asked.delete(index);
      return page;
    },
    prefetch: () => {
      if (drawer.ahead === 0) return;
      start(0);
      startAhead(0);
    },
    close: () => drawer.close(),
  };
}
