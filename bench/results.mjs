// bench/results.json: every figure of a bench/run as one object, {"id", "unit", "median", "min",
// "max", "n", "floor"}, the floor (the median of what the figure is compared with, measured in
// the same run) where there is one, and a "note" where the figure was measured differently from
// what its id names.
import fs from 'node:fs';
import { summary } from './host.mjs';

/** A figure from a summary ({median, min, max, n}), with the floor's summary when there is one. */
export function figure(id, unit, s, floor = null, note = '') {
  return { id, unit, median: s.median, min: s.min, max: s.max, n: s.n, ...(floor ? { floor: floor.median } : {}), ...(note ? { note } : {}) };
}

/** A single value (a percentile over many calls, a peak) as a figure of one measurement. */
const single = (id, unit, value, n = 1) => figure(id, unit, { median: value, min: value, max: value, n });

export function hostFigures({ startup, calls, transfers, huge, memory }) {
  const figures = [
    figure('startup', 'ms', startup.real, startup.floor),
    single('bridge-call-p50', 'ms', calls.p50, calls.calls),
    single('bridge-call-p99', 'ms', calls.p99, calls.calls),
  ];
  for (const [size, kinds] of Object.entries(transfers)) {
    const id = size.replace(/\s+/g, '').toLowerCase();
    figures.push(figure(`open-project-${id}`, 'ms', kinds.open, kinds.xhr), figure(`save-project-${id}`, 'ms', kinds.save, kinds.xhr));
  }
  figures.push(figure('huge-project-refused', 'ms', huge.refused), figure('huge-project-longest-frame', 'ms', huge.longestFrame));
  figures.push(single('memory-peak-host', 'MiB', memory.hostPeakMiB), single('memory-peak-renderer', 'MiB', memory.rendererPeakMiB));
  return figures;
}

/**
 * print_bench's jobs, keyed by what each job was: pages per second and the host's peak memory;
 * and the largest batch of each kind of page that keeps one call within its share of the budget.
 */
export function printFigures({ jobs, batches }) {
  const figures = [];
  for (const [what, results] of Object.entries(jobs)) {
    const id = `print-bench-${String(what).toLowerCase().replace(/[^a-z0-9]+/g, '-').replace(/^-|-$/g, '')}`;
    const stat = (key) => summary(results.map((r) => r[key]));
    figures.push(figure(`${id}-pages-per-second`, 'pages/s', stat('pagesPerSecond')), figure(`${id}-peak-memory`, 'MiB', stat('peak')));
  }
  for (const [kind, pages] of Object.entries(batches)) figures.push(single(`print-bench-largest-${kind}-batch`, 'pages', pages));
  return figures;
}

export function writeResults(file, figures) {
  const ids = new Set();
  for (const f of figures) {
    if (ids.has(f.id)) throw new Error(`two figures named ${f.id}`);
    ids.add(f.id);
  }
  fs.writeFileSync(file, `${JSON.stringify(figures, null, 2)}\n`);
}
