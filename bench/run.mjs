// Runs every benchmark against the release build, prints one table and writes it to
// bench/RESULTS.md with the date, the machine's core count and the commit, and every figure to
// bench/results.json (see results.mjs).
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { benchmarkHost, summary } from './host.mjs';
import { hostFigures, printFigures, writeResults } from './results.mjs';

const benchDir = path.dirname(fileURLToPath(import.meta.url));
const buildDir = process.env.QUILLMARK_BUILD_DIR;
const printRuns = Number(process.env.BENCH_PRINT_RUNS ?? 3);

const ms = (value) => `${value.toFixed(value < 10 ? 2 : 0)} ms`;
const spread = (s, format) => `${format(s.median)} (${format(s.min)} to ${format(s.max)}, n=${s.n})`;
const ratio = (value, floor) => `${(value / floor).toFixed(1)}×`;

// Jobs keyed "colour 100 pages at 300 dpi", and the recommended batch sizes of the last run.
function printJobs() {
  const jobs = {};
  const batches = {};
  const job = /^((\w+) (\d+) pages at (\d+) dpi): [\d.]+ s, ([\d.]+) pages\/s; payload [\d.]+ MiB, (\d+) bytes\/page; VmRSS before ([\d.]+) MiB, VmHWM during ([\d.]+) MiB; document [\d.]+ MiB, (\d+) bytes\/page/;
  const batch = /^(\w+) batches: .*at most (\d+) pages per batch/;
  for (let i = 0; i < printRuns; i++) {
    const output = execFileSync(path.join(buildDir, 'bench/print_bench'), ['100', '1000'], { encoding: 'utf8' });
    for (const line of output.split('\n')) {
      const match = job.exec(line);
      if (match) {
        (jobs[match[1]] ??= []).push({ pagesPerSecond: Number(match[5]), payloadPerPage: Number(match[6]),
          before: Number(match[7]), peak: Number(match[8]), pdfPerPage: Number(match[9]) });
      }
      const recommended = batch.exec(line);
      if (recommended) batches[recommended[1]] = Number(recommended[2]);
    }
  }
  return { jobs, batches };
}

async function cliFigures() {
  return (await import(path.join(benchDir, 'cli.mjs'))).benchmarkCli();
}

async function frontendFigures() {
  const module = path.join(benchDir, 'frontend.mjs');
  if (!fs.existsSync(module)) return { rows: [], figures: [] };
  return (await import(module)).benchmarkFrontend();
}

function table(host, { jobs, batches }, frontend) {
  const rows = [['What', 'Median (spread)', 'Floor (spread)', 'Ratio']];
  const { startup, calls, transfers, huge, memory } = host;
  rows.push(['Start-up until the designer is painted and takes input', spread(startup.real, ms), spread(startup.floor, ms) + ' (empty page)', ratio(startup.real.median, startup.floor.median)]);
  rows.push(['Bridge call round trip, p50 / p99', `${ms(calls.p50)} / ${ms(calls.p99)} (${calls.calls} calls)`, '', '']);
  for (const [size, kinds] of Object.entries(transfers)) {
    rows.push([`openProject ${size}, until the page holds the bytes`, spread(kinds.open, ms), spread(kinds.xhr, ms) + ' (openFileLink and XHR)', ratio(kinds.open.median, kinds.xhr.median)]);
    rows.push([`saveProject ${size}, Base64 in the page until the reply`, spread(kinds.save, ms), spread(kinds.xhr, ms) + ' (openFileLink and XHR)', ratio(kinds.save.median, kinds.xhr.median)]);
  }
  rows.push(['A project of a million objects (46 MB) opened until it is refused', spread(huge.refused, ms), '', '']);
  rows.push(['  the longest frame meanwhile (the window standing still)', spread(huge.longestFrame, ms), '', '']);
  rows.push(['Peak resident memory: host / renderer', `${memory.hostPeakMiB.toFixed(0)} MiB / ${memory.rendererPeakMiB.toFixed(0)} MiB`, '', '']);
  const kiB = (v) => `${(v / 1024).toFixed(1)} KiB`;
  for (const [what, results] of Object.entries(jobs)) {
    const rate = summary(results.map((r) => r.pagesPerSecond));
    const peak = summary(results.map((r) => r.peak));
    const before = summary(results.map((r) => r.before));
    rows.push([`submitPrintJob ${what}, 50 × 30 mm`, spread(rate, (v) => `${v.toFixed(1)} pages/s`), '', '']);
    rows.push([`  payload / PDF per page`, `${kiB(results[0].payloadPerPage)} / ${kiB(results[0].pdfPerPage)}`, '', '']);
    rows.push([`  peak memory of the host during that job`, spread(peak, (v) => `${v.toFixed(0)} MiB`), `${before.median.toFixed(0)} MiB before the call`, '']);
  }
  for (const [kind, pages] of Object.entries(batches)) {
    rows.push([`Largest ${kind} print batch within 0.25 s on the GUI thread`, `${pages} pages`, '', '']);
  }
  for (const row of frontend.rows) rows.push(row);
  const widths = rows[0].map((_, column) => Math.max(...rows.map((row) => String(row[column]).length)));
  const line = (row) => `| ${row.map((cell, column) => String(cell).padEnd(widths[column])).join(' | ')} |`;
  return [line(rows[0]), line(widths.map((w) => '-'.repeat(w))), ...rows.slice(1).map(line)].join('\n');
}

const host = await benchmarkHost();
const printing = printJobs();
const frontend = await frontendFigures();
const cli = await cliFigures();
frontend.rows.push(...cli.rows);
frontend.figures.push(...cli.figures);
const commit = execFileSync('git', ['rev-parse', '--short', 'HEAD'], { cwd: benchDir, encoding: 'utf8' }).trim();
const heading = `Measured ${new Date().toISOString().slice(0, 16).replace('T', ' ')} UTC on ${os.cpus().length} cores, commit ${commit}, release build.`;
const text = table(host, printing, frontend);
console.log(`${heading}\n\n${text}`);
fs.writeFileSync(path.join(benchDir, 'RESULTS.md'), `# Benchmark results\n\n${heading}\n\n${text}\n`);
writeResults(path.join(benchDir, 'results.json'), [...hostFigures(host), ...printFigures(printing), ...frontend.figures]);
