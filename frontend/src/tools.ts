// Entry points for tests and benchmarks that drive printing without the dialog (the host's
// save dialog cannot be clicked from a test, and timings need the pipeline without the UI).
// They run the same code as the print dialog.

import type { Editor } from './editor/editor';
import type { MergeSession } from './merge/session';
import { bytesToBase64 } from './model/project';
import type { ImageStore } from './render/images';
import { JobOutcome, runPrintJob } from './print/job';
import { OutputOptions, pageDrawer, planOutput, renderPdf } from './print/output';

export function printTools(editor: Editor, merge: MergeSession, images: ImageStore) {
  let kept: string[] = [];
  const prepare = async (options: OutputOptions) => {
    const doc = editor.state.doc;
    const planned = planOutput(doc, merge.table, merge.settings, options);
    if (!planned.ok) throw new Error(planned.reason);
    await images.ready(doc);
    return { plan: planned.plan, draw: pageDrawer(doc, planned.plan, options.dpi, merge.table, images) };
  };
  return {
    /** The PDF the export dialog would save, as Base64. */
    async pdfBase64(options: OutputOptions): Promise<string> {
      const bytes = await renderPdf(editor.state.doc, merge.table, merge.settings, options, images);
      return bytes ? bytesToBase64(bytes) : '';
    },
    /** Draws and encodes every page; `keep` holds them for a later printMerge with `prerendered`. */
    async renderPages(options: OutputOptions, keep = false): Promise<{ pages: number; chars: number; ms: number }> {
      const { plan, draw } = await prepare(options);
      const started = performance.now();
      let chars = 0;
      kept = [];
      for (let i = 0; i < plan.pages.length; i++) {
        const page = draw(i);
        chars += page.length;
        if (keep) kept.push(page);
      }
      return { pages: plan.pages.length, chars, ms: performance.now() - started };
    },
    /** A whole print job as the dialog runs it; with `prerendered`, the pages kept by renderPages. */
    async printMerge(options: OutputOptions, printerName: string, copies: number, prerendered = false): Promise<JobOutcome & { ms: number }> {
      const { plan, draw } = await prepare(options);
      const started = performance.now();
      const outcome = await runPrintJob({
        api: editor.api, printerName, jobName: editor.displayName, copies, plan, drawPage: prerendered ? (i) => kept[i] : draw,
      });
      return { ...outcome, ms: performance.now() - started };
    },
  };
}
