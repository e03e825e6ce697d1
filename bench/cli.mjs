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

/**
 * CPU time of a process and all its descendants (the web engine's zygotes, renderer and their
 * threads), sampled from /proc until stopped: on a shared, loaded machine the wall time says more
 * about the others' work than about this program's.
 */
function treeCpu(rootPid) {
  const ticks = 100; // USER_HZ, which /proc/PID/stat counts in on Linux
  const seen = new Map();
  const stat = (pid) => {
    try {
      const text = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      const fields = text.slice(text.lastIndexOf(')') + 2).split(' ');
      return { parent: Number(fields[1]), cpuMs: ((Number(fields[11]) + Number(fields[12])) * 1000) / ticks };
    } catch {
      return null; // gone between listing and reading
    }
  };
  const sample = () => {
    const all = new Map();
    for (const name of fs.readdirSync('/proc')) if (/^\d+$/.test(name)) all.set(Number(name), stat(name));
    for (const [pid, s] of all) {
      if (!s) continue;
      let p = pid;
      while (p > 1 && p !== rootPid) p = all.get(p)?.parent ?? 0;
      if (p === rootPid) seen.set(pid, s.cpuMs);
    }
  };
  const timer = setInterval(sample, 50);
  return () => {
    sample();
    clearInterval(timer);
    return [...seen.values()].reduce((sum, ms) => sum + ms, 0);
  };
}

export async function benchmarkCli() {
  process.env.QUILLMARK_PRINT_SERVER ??= path.join(process.env.QUILLMARK_BUILD_DIR, 'tests/print-server');
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'quillmark-bench-cli-'));
  const server = await startPrintServer('bench=zpl');
  try {
    const project = writeProject(folder);
    const times = [];
    const cpu = [];
    for (let i = 0; i < runs; i++) {
      const started = performance.now();
      let cpuUsed = () => 0;
      const run = await runQuillmark(['--print', project, '--printer', 'bench'], { root: folder, cupsServer: server.socket, onSpawn: (child) => (cpuUsed = treeCpu(child.pid)) });
      times.push(performance.now() - started);
      cpu.push(cpuUsed());
      if (run.status !== 0) throw new Error(`quillmark --print ended with ${run.status}: ${run.stderr}`);
    }
    const spool = path.join(server.folder, 'spool');
    const queued = fs.readdirSync(spool).filter((n) => /^d\d+-001$/.test(n)).reduce((sum, n) => sum + pdfPages(path.join(spool, n)).pages, 0);
    if (queued !== runs * labels) throw new Error(`the queue received ${queued} pages, not ${runs * labels}`);
    const s = summary(times);
    const c = summary(cpu);
    const seconds = (v) => `${(v / 1000).toFixed(2)} s`;
    const spread = (x) => `${seconds(x.median)} (${seconds(x.min)} to ${seconds(x.max)}, n=${x.n})`;
    return {
      rows: [
        [`quillmark --print: process start to the last of ${labels} merged 60 × 40 mm thermal labels queued, 203 dpi`, spread(s), '', ''],
        [`  CPU time of the process and its web engine's processes (sampled from /proc, load ${os.loadavg()[0].toFixed(1)})`, spread(c), '', ''],
      ],
      figures: [figure(`cli-print-${labels}`, 'ms', s), figure(`cli-print-${labels}-cpu`, 'ms', c)],
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
