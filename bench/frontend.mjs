// Front-end figures for bench/run.mjs: the check of every label before printing (first with
// every barcode value new, then again), rendering merged labels at 300 dpi in the real program's
// engine, and rendering plus sending them to a private print queue through the print pipeline
// (batches, submitPrintJob). Run alone with `node bench/frontend.mjs` (same environment as run.mjs).
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';
import { fileURLToPath } from 'node:url';
import { startHost } from '../tests/e2e/harness.mjs';
import { summary } from './host.mjs';

const labels = Number(process.env.BENCH_MERGE_LABELS ?? 1000);
const runs = Number(process.env.BENCH_MERGE_RUNS ?? 3);
const options = { dpi: 300, from: 1, to: labels, perRecord: 1, sheet: null };

const ms = (value) => `${value.toFixed(0)} ms`;
const spread = (s, format) => `${format(s.median)} (${format(s.min)} to ${format(s.max)}, n=${s.n})`;

function startPrintServer(folder) {
  const binary = path.join(process.env.QUILLMARK_BUILD_DIR, 'tests/print-server');
  const child = spawn(binary, [folder, 'bench'], { stdio: ['ignore', 'pipe', 'inherit'] });
  return new Promise((resolve, reject) => {
    readline.createInterface({ input: child.stdout }).once('line', (socket) => resolve({ child, socket }));
    child.once('exit', (code) => reject(new Error(`print-server exited with ${code}`)));
  });
}

/** A 50 x 30 mm label with a name, a price, a Code 128 of the SKU and serial, and a QR code. */
function writeProject(folder) {
  const rows = ['品名,SKU,价格', ...Array.from({ length: labels }, (_, i) => `产品 ${i + 1},SKU-${String(i + 1).padStart(6, '0')},${(i % 97) + 0.5}`)];
  const sheet = path.join(folder, 'bench.csv');
  fs.writeFileSync(sheet, rows.join('\n'));
  const base = { rotation: 0, locked: false };
  const projectPath = path.join(folder, 'bench.cwrt');
  fs.writeFileSync(projectPath, JSON.stringify({
    format: 'quillmark-label', version: 1, label: { name: 'bench', widthMm: 50, heightMm: 30 },
    objects: [
      { ...base, id: 't', type: 'text', xMm: 2, yMm: 1, widthMm: 30, heightMm: 7, text: '{{品名}}  ¥{{价格}}', fontSizePt: 11 },
      { ...base, id: 'b', type: 'barcode', xMm: 2, yMm: 10, widthMm: 32, heightMm: 18, symbology: 'code128', data: '{{SKU}}-{{$counter}}', showText: true },
      { ...base, id: 'q', type: 'barcode', xMm: 35, yMm: 10, widthMm: 13, heightMm: 13, symbology: 'qrcode', data: '{{SKU}}', showText: false },
    ],
    merge: { source: { path: sheet, name: 'bench.csv', sheet: '', headerRow: true }, counter: { start: 1, step: 1, padding: 5, per: 'label' } },
  }));
  return projectPath;
}

export async function benchmarkFrontend() {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'quillmark-bench-merge-'));
  const server = await startPrintServer(path.join(folder, 'cups'));
  const host = await startHost({ env: { CUPS_SERVER: server.socket } });
  try {
    const projectPath = writeProject(host.root);
    await host.page.evaluate((p) => window.quillmark.editor.openProject(p), projectPath);
    await host.page.waitForFunction((n) => window.quillmark.merge.table?.records.length === n, labels, { timeout: 60_000 });
    // Before any rendering, so the first check meets every barcode value for the first time.
    const firstCheck = await host.page.evaluate((o) => window.quillmark.checkJob(o), options);
    if (firstCheck.problems.length > 0 || firstCheck.labels !== labels) throw new Error(`check: ${JSON.stringify(firstCheck.problems.slice(0, 3))}`);
    const againCheck = await host.page.evaluate((o) => window.quillmark.checkJob(o), options);
    const render = [];
    const printed = [];
    const sendOnly = [];
    let chars = 0;
    for (let i = 0; i < runs; i++) {
      const r = await host.page.evaluate((o) => window.quillmark.renderPages(o, true), options);
      render.push(r.ms);
      chars = r.chars;
      const floor = await host.page.evaluate((o) => window.quillmark.printMerge(o, 'bench', 1, true), options);
      if (floor.status !== 'done' || floor.labelsSent !== labels) throw new Error(`send-only job: ${floor.status} ${floor.error}`);
      sendOnly.push(floor.ms);
      const job = await host.page.evaluate((o) => window.quillmark.printMerge(o, 'bench', 1), options);
      if (job.status !== 'done' || job.labelsSent !== labels) throw new Error(`print job: ${job.status} ${job.error}`);
      printed.push(job.ms);
    }
    const renderS = summary(render);
    const printedS = summary(printed);
    const sendS = summary(sendOnly);
    const kib = (chars / labels / 1024).toFixed(1);
    return [
      [`Check ${labels} merged labels before printing (Code 128 and QR, every value new)`, ms(firstCheck.ms), `${ms(againCheck.ms)} (the same job again)`, ''],
      [`Render ${labels} merged labels 50 × 30 mm at 300 dpi to PNG (${kib} KiB Base64 each)`, spread(renderS, ms), '', ''],
      [`Render and print ${labels} merged labels at 300 dpi to a private queue`, spread(printedS, ms), `${spread(sendS, ms)} (sending pre-rendered pages)`, `${(printedS.median / sendS.median).toFixed(1)}×`],
    ];
  } finally {
    await host.stop();
    server.child.kill('SIGTERM');
    await new Promise((resolve) => server.child.once('exit', resolve));
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  for (const row of await benchmarkFrontend()) console.log(row.join(' | '));
}
