// Data-source figures for bench/frontend.mjs, in the real program's engine: a 100,000-record
// workbook from asking for it to the records shown in the data panel (time and the renderer's
// peak memory, a fresh program each run), and the records table scrolled through those records.
// Run alone with `node bench/data.mjs` (same environment as run.mjs).
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import XLSX from 'xlsx';
import { startHost } from '../tests/e2e/harness.mjs';
import { openOwnProject, peakResidentMiB, rendererPids, summary } from './host.mjs';
import { figure } from './results.mjs';

const records = Number(process.env.BENCH_SHEET_RECORDS ?? 100000);
const runs = Number(process.env.BENCH_SHEET_RUNS ?? 3);
const scrollSteps = 300;
const id = `sheet-${records / 1000}k-open`;

const ms = (value) => `${value.toFixed(value < 10 ? 2 : 0)} ms`;
const spread = (s, format) => `${format(s.median)} (${format(s.min)} to ${format(s.max)}, n=${s.n})`;

/** A workbook of `records` rows of five columns (text, code, number, date, text) and its project. */
function writeSheet(folder) {
  const rows = [['品名', 'SKU', '价格', '生产日期', '产地']];
  for (let i = 0; i < records; i++) rows.push([`产品 ${i + 1}`, `SKU-${String(i + 1).padStart(6, '0')}`, (i % 997) / 10 + 0.05, `2026-${String((i % 12) + 1).padStart(2, '0')}-15`, ['杭州', '苏州', '成都'][i % 3]]);
  const book = XLSX.utils.book_new();
  XLSX.utils.book_append_sheet(book, XLSX.utils.aoa_to_sheet(rows), '库存');
  const sheet = path.join(folder, 'big.xlsx');
  XLSX.writeFile(book, sheet, { compression: true });
  const project = path.join(folder, 'big.cwrt');
  fs.writeFileSync(project, JSON.stringify({
    format: 'quillmark-label', version: 1, label: { name: 'big', widthMm: 50, heightMm: 30 },
    objects: [{ id: 't', type: 'text', rotation: 0, locked: false, xMm: 2, yMm: 2, widthMm: 46, heightMm: 8, text: '{{品名}} {{价格:0.00}}' }],
    merge: { source: { path: sheet, name: 'big.xlsx', sheet: '库存', headerRow: true } },
  }));
  return { sheet, project, bytes: fs.statSync(sheet).size };
}

/** Each step scrolls the table by ten rows: the scroll handler, the new rows and their layout, timed in the page. */
function scrollWork(page) {
  return page.evaluate(async (steps) => {
    const view = document.querySelector('.records-view');
    const frame = () => new Promise((resolve) => requestAnimationFrame(resolve));
    const times = [];
    for (let i = 0; i < steps; i++) {
      await frame();
      const started = performance.now();
      view.scrollTop += 240 + (i % 7) * 24;
      view.dispatchEvent(new Event('scroll'));
      for (let k = 0; k < 3; k++) await Promise.resolve();
      void document.body.offsetHeight;
      times.push(performance.now() - started);
    }
    return times;
  }, scrollSteps);
}

const percentile = (values, q) => [...values].sort((a, b) => a - b)[Math.min(values.length - 1, Math.floor(q * values.length))];

export async function benchmarkData() {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'quillmark-bench-data-'));
  const { project, bytes } = writeSheet(folder);
  const open = [];
  const peaks = [];
  const scroll = [];
  try {
    for (let run = 0; run < runs; run++) {
      const host = await startHost();
      try {
        await host.page.evaluate(() => window.quillmark.merge.setPanelOpen(true));
        const started = Date.now();
        await openOwnProject(host.page, project);
        await host.page.waitForFunction((n) => window.quillmark.merge.table?.records.length === n && document.querySelector('[data-testid="data-summary"]'), records, { timeout: 120_000, polling: 20 }).catch(async (e) => {
          console.error(await host.page.evaluate(() => [window.quillmark.merge.panelOpen, window.quillmark.merge.table?.records.length, document.querySelector('[data-testid="data-panel"]')?.innerText.slice(0, 300), document.querySelector('[data-testid="dialog"]')?.innerText]));
          throw e;
        });
        open.push(Date.now() - started);
        peaks.push(Math.max(...rendererPids(host.child.pid).map(peakResidentMiB)));
        await host.page.evaluate(() => document.querySelector('[data-testid="records-open"]').click());
        await host.page.waitForFunction(() => document.querySelector('[data-testid="records-row"]'));
        scroll.push(percentile(await scrollWork(host.page), 0.95));
      } finally {
        await host.stop();
      }
    }
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
  const openS = summary(open);
  const peakS = summary(peaks);
  const scrollS = summary(scroll);
  const what = `${records.toLocaleString('en')} × 5 .xlsx (${(bytes / 1048576).toFixed(1)} MB)`;
  return {
    rows: [
      [`Open a ${what}: from asking for it to the records shown`, spread(openS, ms), '', ''],
      [`Renderer peak memory after opening it (fresh program)`, spread(peakS, (v) => `${v.toFixed(0)} MiB`), '', ''],
      [`Scrolling its records table ten rows a frame: scroll handler, rows and layout, p95 of ${scrollSteps} frames`, spread(scrollS, ms), '', ''],
    ],
    figures: [figure(id, 'ms', openS), figure(`${id}-renderer-peak`, 'MiB', peakS), figure('table-scroll-p95', 'ms', scrollS)],
  };
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const { rows, figures } = await benchmarkData();
  for (const row of rows) console.log(row.join(' | '));
  console.log(JSON.stringify(figures, null, 1));
}
