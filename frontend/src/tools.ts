// Entry points for tests and benchmarks that drive printing without the dialog (the host's
// save dialog cannot be clicked from a test, and timings need the pipeline without the UI).
// They call the same pipeline as the print dialog.

import type { Editor } from './editor/editor';
import type { MergeSession } from './merge/session';
import { bytesToBase64 } from './model/project';
import type { ImageStore } from './render/images';
import type { JobOutcome } from './print/job';
import type { JobSettings } from './model/profiles';
import { OutputOptions, OutputSource, planOutput, preparePages, printOutput, renderPdf } from './print/output';
import { checkLabels, RecordProblem } from './print/preflight';

export function printTools(editor: Editor, merge: MergeSession, images: ImageStore) {
  let kept: string[] = [];
  const source = (): OutputSource => ({ doc: editor.state.doc, table: merge.table, settings: merge.settings, images, pictures: merge.pictures });
  /** Pages of a job as the printer gets them, as PNG data URLs; `workers` 0 draws them on the page. */
  const pageImages = async (options: OutputOptions, indices: number[], workers?: number): Promise<string[]> => {
    const { pages } = await preparePages(source(), options, workers);
    try {
      const images = [];
      for (const index of indices) images.push(await pages.page(index));
      return images;
    } finally {
      pages.close();
    }
  };
  return {
    /** The check a job gets before it prints, timed. */
    async checkJob(options: OutputOptions): Promise<{ labels: number; problems: RecordProblem[]; ms: number }> {
      const planned = planOutput(editor.state.doc, merge.table, merge.settings, options);
      if (!planned.ok) throw new Error(planned.reason);
      const started = performance.now();
      const problems = await checkLabels(editor.state.doc, merge.table, planned.plan.labels, new Date(), { pictures: images }, merge.pictures);
      return { labels: planned.plan.labels.length, problems: problems ?? [], ms: performance.now() - started };
    },
    /** The PDF the export dialog would save, as Base64. */
    async pdfBase64(options: OutputOptions): Promise<string> {
      const bytes = await renderPdf(source(), options);
      return bytes ? bytesToBase64(bytes) : '';
    },
    /** Draws and encodes every page; `keep` holds them for a later printMerge with `prerendered`. */
    async renderPages(options: OutputOptions, keep = false, workers?: number): Promise<{ pages: number; chars: number; ms: number; firstPage: string }> {
      const started = performance.now();
      const { plan, pages } = await preparePages(source(), options, workers);
      let chars = 0;
      let firstPage = '';
      kept = [];
      try {
        for (let i = 0; i < plan.pages.length; i++) {
          const page = await pages.page(i);
          chars += page.length;
          if (i === 0) firstPage = page;
          if (keep) kept.push(page);
        }
      } finally {
        pages.close();
      }
      // The first page tells the caller what kind of PNG the pipeline made (1-bit or colour).
      return { pages: plan.pages.length, chars, ms: performance.now() - started, firstPage };
    },
    pageImages,
    /** One page of a job as the printer gets it, as a PNG data URL. */
    async pageImage(options: OutputOptions, index: number): Promise<string> {
      return (await pageImages(options, [index], 0))[0];
    },
    /**
     * A whole print job as the dialog runs it; with `prerendered`, the pages kept by renderPages;
     * with `stopAfterBatches`, Stop pressed once that many batches have reached the printer; with
     * `settings`, what the dialog's jobSettings would send (a printer language, say).
     */
    async printMerge(
      options: OutputOptions, printerName: string, copies: number, prerendered = false, stopAfterBatches = Infinity, settings?: JobSettings,
    ): Promise<JobOutcome & { error: string; ms: number }> {
      const started = performance.now();
      let batches = 0;
      const outcome = await printOutput(source(), options, {
        api: editor.api, printerName, jobName: editor.displayName, copies, settings, drawPage: prerendered ? async (i) => kept[i] : undefined,
        onProgress: (p) => (batches = p.batchesSent),
        stopRequested: () => batches >= stopAfterBatches,
      });
      // The caller gets the failure as text: an Error does not cross page.evaluate.
      const error = outcome.failure === null ? '' : outcome.failure instanceof Error ? outcome.failure.message : String(outcome.failure);
      return { ...outcome, failure: null, error, ms: performance.now() - started };
    },
  };
}
