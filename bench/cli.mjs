// Printing from the command line for bench/run.mjs: from starting `quillmark --print` until the
// process ends, which it does once the printing system has taken the last page: 100 merged
// 60 × 40 mm thermal labels at 203 dpi to the ZPL queue of a private print server, without a
// display. Run alone with `node bench/cli.mjs` (same environment as run.mjs).
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { runQuillmark, startPrintServer } from '../tests/e2e/harness.mjs';
import { pdfPages } from '../frontend/tests/pdfpages.mjs';
import { summary } from './host.mjs';
import { figure } from './results.mjs';

const runs = Number(process.env.BENCH_CLI_RUNS ?? 5);
const labels = 100;

function writeProject(folder) {
  const rows = ['name,sku', ...Array.from({ length: labels }, (_, i) => `货品 ${i + 1},SKU-${String(i + 1).padStart(5, '0')}`)];
  fs.writeFileSync(path.join(folder, 'items.csv'), rows.join('\n'));
  const base = { rotation: 0, locked: false };
  const project = {
    format: 'quillmark-label', version: 1, label: { name: 'cli', widthMm: 60, heightMm: 40 },
    objects: [
      { ...base, id: 't', type: 'text', xMm: 2, yMm: 1, widthMm: 56, heightMm: 8, text: '{{name}}', fontSizePt: 12 },
      { ...base, id: 'b', type: 'barcode', xMm: 2, yMm: 11, widthMm: 56, heightMm: 26, symbology: 'code128', data: '{{sku}}-{{$counter}}', showText: true },
    ],
    merge: { source: { path: path.join(folder, 'items.csv'), name: 'items.csv', sheet: '', headerRow: true }, counter: { start: 1, step: 1, padding: 3, per: 'label' } },
    // Printed there before: black and white at the printer's 203 dpi.
    output: { printerName: 'bench', dpi: 203, kind: 'mono', dither: 'diffusion', offsetXMm: 0, offsetYMm: 0, rotate180: false, options: {} },
  };
  const file = path.join(folder, 'cli.cwrt');
  fs.writeFileSync(file, JSON.stringify(project));
  return file;
}

export async function benchmarkCli() {
  process.env.QUILLMARK_PRINT_SERVER ??= path.join(process.env.QUILLMARK_BUILD_DIR, 'tests/print-server');
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'quillmark-bench-cli-'));
  const server = await startPrintServer('bench=zpl');
  try {
    const project = writeProject(folder);
    const times = [];
    for (let i = 0; i < runs; i++) {
      const started = performance.now();
      const run = await runQuillmark(['--print', project, '--printer', 'bench'], { root: folder, cupsServer: server.socket });
      times.push(performance.now() - started);
      if (run.status !== 0) throw new Error(`quillmark --print ended with ${run.status}: ${run.stderr}`);
    }
    const spool = path.join(server.folder, 'spool');
    const queued = fs.readdirSync(spool).filter((n) => /^d\d+-001$/.test(n)).reduce((sum, n) => sum + pdfPages(path.join(spool, n)).pages, 0);
    if (queued !== runs * labels) throw new Error(`the queue received ${queued} pages, not ${runs * labels}`);
    const s = summary(times);
    const seconds = (v) => `${(v / 1000).toFixed(2)} s`;
    return {
      rows: [[`quillmark --print: process start to the last of ${labels} merged 60 × 40 mm thermal labels queued, 203 dpi`, `${seconds(s.median)} (${seconds(s.min)} to ${seconds(s.max)}, n=${s.n})`, '', '']],
      figures: [figure(`cli-print-${labels}`, 'ms', s)],
    };
  } finally {
    await server.stop();
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const { rows, figures } = await benchmarkCli();
  for (const row of rows) console.log(row.join(' | '));
  console.log(JSON.stringify(figures, null, 1));
}
