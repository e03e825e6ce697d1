// PDF export: the job's pages, one PDF page each at the exact page size in millimetres (the
// label's own size, or the paper's for sheets), with the page images the printer would get.

import { yieldToPage } from '../util/yield';
import { loadBundle } from '../util/bundles';

export interface PdfProgress {
  pagesDone: number;
  totalPages: number;
}

/** The size every page of the document has, in millimetres, and how many pages there are. */
export interface PdfPages {
  pageWidthMm: number;
  pageHeightMm: number;
  count: number;
}

export async function buildPdf(
  plan: PdfPages,
  drawPage: (index: number) => Promise<string>,
  title: string,
  onProgress?: (p: PdfProgress) => void,
  stopRequested?: () => boolean,
): Promise<Uint8Array | null> {
  const { jsPDF } = await loadBundle<typeof import('./writer')>('pdf-writer');
  const { pageWidthMm: w, pageHeightMm: h } = plan;
  // jsPDF swaps a format's sides to match the orientation, so the orientation must agree with them.
  const orientation = w > h ? 'landscape' : 'portrait';
  const pdf = new jsPDF({ unit: 'mm', format: [w, h], orientation, compress: true });
  pdf.setProperties({ title, creator: `Quillmark ${QUILLMARK_VERSION}` });
  let lastYield = Date.now();
  for (let i = 0; i < plan.count; i++) {
    if (stopRequested?.()) return null;
    if (i > 0) pdf.addPage([w, h], orientation);
    // Each page its own alias: equal pictures must not be merged into one by a guessed key.
    pdf.addImage(await drawPage(i), 'PNG', 0, 0, w, h, `page${i}`, 'FAST');
    if (Date.now() - lastYield > 50) {
      onProgress?.({ pagesDone: i + 1, totalPages: plan.count });
      await yieldToPage();
      lastYield = Date.now();
    }
  }
  onProgress?.({ pagesDone: plan.count, totalPages: plan.count });
  return new Uint8Array(pdf.output('arraybuffer'));
}
