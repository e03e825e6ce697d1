// Front-end figures for bench/run.mjs, in the real program's engine: the check of every label
// before printing (first with every barcode value new, then again); rendering 1,000 merged labels
// and rendering plus sending them to a private print queue through the print pipeline (batches,
// submitPrintJob), for a thermal printer (203 dpi, 1-bit pages) and an office printer (300 dpi,
// colour), each next to its floor, sending the same pages rendered beforehand; the longest time
// one batch's submitPrintJob call takes; and the work of each frame while dragging one object on
// a label with 50 objects, from the page's own `quillmark-frame` measures; and 1,000 merged
// 60 × 40 mm labels sent in TSPL and in ZPL to queues without a driver, next to the same labels
// through a driver, with the host's peak memory.
// Run alone with `node bench/frontend.mjs` (same environment as run.mjs); `node bench/frontend.mjs
// languages` takes only the printer-language figures.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';
import { fileURLToPath } from 'node:url';
import { startHost } from '../tests/e2e/harness.mjs';
import { openOwnProject, peakResidentMiB, residentMiB, summary } from './host.mjs';
import { figure } from './results.mjs';
import { benchmarkData } from './data.mjs';

const labels = Number(process.env.BENCH_MERGE_LABELS ?? 1000);
const runs = Number(process.env.BENCH_MERGE_RUNS ?? 3);
const dragRuns = Number(process.env.BENCH_DRAG_RUNS ?? 3);
const dragMoves = 120;

/** The two outputs of the goals; `look` is how the print pipeline is asked for thermal dots. */
const OUTPUTS = [
  { name: 'thermal', dpi: 203, look: { kind: 'mono', dither: 'diffusion', offsetXMm: 0, offsetYMm: 0, rotate180: false } },
  { name: 'colour', dpi: 300, look: { kind: 'colour', dither: 'diffusion', offsetXMm: 0, offsetYMm: 0, rotate180: false } },
];

const ms = (value) => `${value.toFixed(value < 10 ? 2 : 0)} ms`;
const spread = (s, format) => `${format(s.median)} (${format(s.min)} to ${format(s.max)}, n=${s.n})`;


function startPrintServer(folder) {
  const binary = path.join(process.env.QUILLMARK_BUILD_DIR, 'tests/print-server');
  const child = spawn(binary, [folder, 'bench', 'tspl=none', 'zpl=none'], { stdio: ['ignore', 'pipe', 'inherit'] });
  return new Promise((resolve, reject) => {
    readline.createInterface({ input: child.stdout }).once('line', (socket) => resolve({ child, socket }));
    child.once('exit', (code) => reject(new Error(`print-server exited with ${code}`)));
  });
}

const base = { rotation: 0, locked: false };

function writeProject(file, project) {
  fs.writeFileSync(file, JSON.stringify({ format: 'quillmark-label', version: 1, ...project }));
  return file;
}

/**
 * A merged label with a name and a price, a Code 128 of the SKU and serial, and a QR code of the
 * SKU; each box as [x, y, width, height] in millimetres.
 */
function fieldProject(folder, name, [widthMm, heightMm], fontSizePt, [text, code, qr]) {
  const box = ([xMm, yMm, w, h]) => ({ xMm, yMm, widthMm: w, heightMm: h });
  return writeProject(path.join(folder, `${name}.cwrt`), {
    label: { name, widthMm, heightMm },
    objects: [
      { ...base, id: 't', type: 'text', ...box(text), text: '{{品名}}  ¥{{价格}}', fontSizePt },
      { ...base, id: 'b', type: 'barcode', ...box(code), symbology: 'code128', data: '{{SKU}}-{{$counter}}', showText: true },
      { ...base, id: 'q', type: 'barcode', ...box(qr), symbology: 'qrcode', data: '{{SKU}}', showText: false },
    ],
    merge: mergeSource(folder),
  });
}

const mergeProject = (folder) => fieldProject(folder, 'bench', [50, 30], 11, [[2, 1, 30, 7], [2, 10, 32, 18], [35, 10, 13, 13]]);
/** The same fields on a 60 x 40 mm label, for the printer-language figures. */
const languageProject = (folder) => fieldProject(folder, 'language', [60, 40], 12, [[2, 1, 40, 8], [2, 12, 38, 24], [43, 12, 15, 15]]);

/** A sheet of `labels` products, and the merge settings that read it. */
function mergeSource(folder) {
  const rows = ['品名,SKU,价格', ...Array.from({ length: labels }, (_, i) => `产品 ${i + 1},SKU-${String(i + 1).padStart(6, '0')},${(i % 97) + 0.5}`)];
  const sheet = path.join(folder, 'bench.csv');
  fs.writeFileSync(sheet, rows.join('\n'));
  return { source: { path: sheet, name: 'bench.csv', sheet: '', headerRow: true }, counter: { start: 1, step: 1, padding: 5, per: 'label' } };
}

/** A 100 x 60 mm label with 50 objects: texts, Code 128 and QR codes, frames and lines. */
function busyProject(folder) {
  const objects = Array.from({ length: 50 }, (_, i) => {
    const at = { ...base, id: `o${i}`, xMm: 2 + (i % 5) * 19, yMm: 2 + Math.floor(i / 5) * 5.6 };
    switch (i % 5) {
      case 0: return { ...at, type: 'text', widthMm: 17, heightMm: 5, text: `货号 ${i} Item`, fontSizePt: 8 };
      case 1: return { ...at, type: 'barcode', widthMm: 17, heightMm: 5, symbology: 'code128', data: `SKU-${1000 + i}`, showText: false };
      case 2: return { ...at, type: 'barcode', widthMm: 5, heightMm: 5, symbology: 'qrcode', data: `https://example.com/${i}`, showText: false };
      case 3: return { ...at, type: 'rect', widthMm: 17, heightMm: 5, strokeMm: 0.3, strokeColor: '#000000', fillColor: '', cornerRadiusMm: 1 };
      default: return { ...at, type: 'line', widthMm: 17, heightMm: 1, strokeMm: 0.3, strokeColor: '#000000' };
    }
  });
  return writeProject(path.join(folder, 'busy.cwrt'), { label: { name: 'busy', widthMm: 100, heightMm: 60 }, objects });
}

/** Whether a PNG data URL holds a 1-bit page: bit depth and colour type from its header. */
function oneBitPng(dataUrl) {
  const header = Buffer.from(dataUrl.slice(dataUrl.indexOf(',') + 1, dataUrl.indexOf(',') + 45), 'base64');
  return header[24] === 1 && (header[25] === 0 || header[25] === 3);
}

// Every submitPrintJob call's round trip, timed in the page at the channel: the host answers a
// call only when it has checked and drawn the whole batch on its GUI thread, so this is the time
// the window is held (plus the message's way through the channel, which holds it as well).
function timeBatchCalls(page) {
  return page.evaluate(() => {
    const bridge = window.quillmarkBridge;
    const submit = bridge.submitPrintJob;
    window.benchBatchCalls = [];
    bridge.submitPrintJob = function (payload, callback) {
      const started = performance.now();
      return submit.call(this, payload, (reply) => {
        window.benchBatchCalls.push(performance.now() - started);
        callback(reply);
      });
    };
  });
}

async function mergeFigures(host) {
  const projectPath = mergeProject(host.root);
  await openOwnProject(host.page, projectPath);
  await host.page.waitForFunction((n) => window.quillmark.merge.table?.records.length === n, labels, { timeout: 60_000 });
  await timeBatchCalls(host.page);
  // Before any rendering, so the first check meets every barcode value for the first time.
  const checkOptions = { dpi: 300, from: 1, to: labels, perRecord: 1, sheet: null };
  const firstCheck = await host.page.evaluate((o) => window.quillmark.checkJob(o), checkOptions);
  if (firstCheck.problems.length > 0 || firstCheck.labels !== labels) throw new Error(`check: ${JSON.stringify(firstCheck.problems.slice(0, 3))}`);
  const againCheck = await host.page.evaluate((o) => window.quillmark.checkJob(o), checkOptions);
  const rows = [[`Check ${labels} merged labels before printing (Code 128 and QR, every value new)`, ms(firstCheck.ms), `${ms(againCheck.ms)} (the same job again)`, '']];
  const once = (value) => ({ median: value, min: value, max: value, n: 1 });
  const figures = [figure(`check-${labels}-first`, 'ms', once(firstCheck.ms)), figure(`check-${labels}-again`, 'ms', once(againCheck.ms))];
  const holds = [];
  for (const output of OUTPUTS) {
    const options = { dpi: output.dpi, from: 1, to: labels, perRecord: 1, sheet: null, look: output.look };
    const render = [];
    const printed = [];
    const sendOnly = [];
    let chars = 0;
    let oneBit = false;
    for (let i = 0; i < runs; i++) {
      const r = await host.page.evaluate((o) => window.quillmark.renderPages(o, true), options);
      render.push(r.ms);
      chars = r.chars;
      oneBit = oneBitPng(r.firstPage);
      const floor = await host.page.evaluate((o) => window.quillmark.printMerge(o, 'bench', 1, true), options);
      if (floor.status !== 'done' || floor.labelsSent !== labels) throw new Error(`send-only job: ${floor.status} ${floor.error}`);
      sendOnly.push(floor.ms);
      await host.page.evaluate(() => (window.benchBatchCalls = []));
      const job = await host.page.evaluate((o) => window.quillmark.printMerge(o, 'bench', 1), options);
      if (job.status !== 'done' || job.labelsSent !== labels) throw new Error(`print job: ${job.status} ${job.error}`);
      printed.push(job.ms);
      holds.push(Math.max(...(await host.page.evaluate(() => window.benchBatchCalls))));
    }
    // Until the pipeline makes 1-bit pages, the thermal figures are colour pages at 203 dpi.
    const note = output.name === 'thermal' && !oneBit ? 'colour pages: this build makes no 1-bit thermal pages yet' : '';
    const what = `${labels} merged labels 50 × 30 mm at ${output.dpi} dpi, ${oneBit ? '1-bit' : 'colour'} PNG`;
    const renderS = summary(render);
    const printedS = summary(printed);
    const sendS = summary(sendOnly);
    const kib = (chars / labels / 1024).toFixed(1);
    rows.push([`Render ${what} (${kib} KiB Base64 each)${note ? ` [${note}]` : ''}`, spread(renderS, ms), '', '']);
    rows.push([`Render and send ${what} to a private queue`, spread(printedS, ms), `${spread(sendS, ms)} (sending pre-rendered pages)`, `${(printedS.median / sendS.median).toFixed(1)}×`]);
    const id = `labels-${labels}-${output.dpi}-${output.name}`;
    figures.push(figure(`${id}-render`, 'ms', renderS, null, note));
    figures.push(figure(`${id}-send`, 'ms', printedS, sendS, note));
  }
  const holdS = summary(holds);
  rows.push(['Longest submitPrintJob call of one batch in those jobs (window held)', spread(holdS, ms), '', '']);
  figures.push(figure('print-batch-hold', 'ms', holdS));
  return { rows, figures };
}

/**
 * 1,000 merged 60 × 40 mm labels at 203 dpi from Print until the last call has queued its job: in
 * TSPL and in ZPL on queues without a driver, next to the same 1-bit pages through the driver
 * path (the `bench` queue), with the host's peak resident memory during each job.
 */
async function languageFigures(host) {
  await openOwnProject(host.page, languageProject(host.root));
  await host.page.waitForFunction((n) => window.quillmark.editor.state.doc.widthMm === 60 && window.quillmark.merge.table?.records.length === n, labels, { timeout: 60_000 });
  const options = { dpi: 203, from: 1, to: labels, perRecord: 1, sheet: null, look: OUTPUTS[0].look };
  const paths = [
    { id: 'driver', queue: 'bench', settings: undefined },
    { id: 'tspl', queue: 'tspl', settings: { printerLanguage: 'tspl', resolution: 203 } },
    { id: 'zpl', queue: 'zpl', settings: { printerLanguage: 'zpl', resolution: 203 } },
  ];
  const results = {};
  for (const { id, queue, settings } of paths) {
    const times = [];
    const peaks = [];
    const before = [];
    for (let i = 0; i < runs; i++) {
      // The peak is the job's own: the kernel starts VmHWM again from the resident size now.
      fs.writeFileSync(`/proc/${host.child.pid}/clear_refs`, '5');
      before.push(residentMiB(host.child.pid));
      const job = await host.page.evaluate(([o, q, s]) => window.quillmark.printMerge(o, q, 1, false, Infinity, s), [options, queue, settings]);
      if (job.status !== 'done' || job.labelsSent !== labels) throw new Error(`${id} job: ${job.status} ${job.error}`);
      times.push(job.ms);
      peaks.push(peakResidentMiB(host.child.pid));
    }
    results[id] = { time: summary(times), peak: summary(peaks), before: summary(before) };
  }
  const rows = [];
  const figures = [];
  const mib = (v) => `${v.toFixed(0)} MiB`;
  const driver = results.driver;
  rows.push([`Print ${labels} merged labels 60 × 40 mm at 203 dpi through the driver path (1-bit pages, PDF)`, spread(driver.time, ms), '', '']);
  const memoryRow = (r) => ['  peak memory of the host during that job', spread(r.peak, mib), `${mib(r.before.median)} before the job`, ''];
  rows.push(memoryRow(driver));
  figures.push(figure(`labels-${labels}-203-driver6040-send`, 'ms', driver.time), figure(`memory-peak-host-driver6040-send`, 'MiB', driver.peak));
  for (const id of ['tspl', 'zpl']) {
    const { time, peak } = results[id];
    rows.push([`Print the same labels in ${id.toUpperCase()} to a queue without a driver, until the last byte is queued`, spread(time, ms),
      `${spread(driver.time, ms)} (through the driver)`, `${(time.median / driver.time.median).toFixed(2)}×`]);
    rows.push(memoryRow(results[id]));
    figures.push(figure(`labels-${labels}-203-${id}-send`, 'ms', time, driver.time), figure(`memory-peak-host-${id}-send`, 'MiB', peak));
  }
  return { rows, figures };
}

const percentile = (values, q) => [...values].sort((a, b) => a - b)[Math.min(values.length - 1, Math.floor(q * values.length))];

/** Drags a QR code in the middle of the busy label across the canvas (an unfilled frame is taken by its outline only), one mouse move every 16 ms. */
async function dragFigures(host) {
  const projectPath = busyProject(host.root);
  await openOwnProject(host.page, projectPath);
  await host.page.waitForFunction(() => window.quillmark.editor.state.doc.objects.length === 50);
  await host.page.evaluate(() => window.quillmark.stage().zoomFit());
  const work = [];
  let frames = 0;
  // The engine's own input events; the automation library's mouse needs a newer engine.
  const cdp = await host.page.context().newCDPSession(host.page);
  const mouse = (type, x, y, buttons) => cdp.send('Input.dispatchMouseEvent', { type, x, y, button: 'left', buttons, clickCount: 1 });
  const objectX = () => host.page.evaluate(() => window.quillmark.editor.state.doc.objects[22].xMm);
  for (let run = 0; run < dragRuns; run++) {
    const before = await objectX();
    const start = await host.page.evaluate(() => {
      const stage = window.quillmark.stage();
      const object = window.quillmark.editor.state.doc.objects[22];
      const box = document.querySelector('.konvajs-content').getBoundingClientRect();
      const at = stage.toScreen(object.xMm + 2.5, object.yMm + 2.5);
      performance.clearMeasures('quillmark-frame');
      return { x: box.left + at.x, y: box.top + at.y };
    });
    await mouse('mouseMoved', start.x, start.y, 0);
    await mouse('mousePressed', start.x, start.y, 1);
    let at = start;
    for (let i = 1; i <= dragMoves; i++) {
      at = { x: start.x + i * 1.5, y: start.y + Math.sin(i / 10) * 20 };
      await mouse('mouseMoved', at.x, at.y, 1);
      await new Promise((resolve) => setTimeout(resolve, 16));
    }
    await mouse('mouseReleased', at.x, at.y, 1);
    await new Promise((resolve) => setTimeout(resolve, 200));
    if (Math.abs((await objectX()) - before) < 1) throw new Error('the drag did not move the object');
    // Back where it was, so that every drag starts from the same place.
    await host.page.evaluate(() => window.quillmark.editor.undo());
    const measures = await host.page.evaluate(() => performance.getEntriesByName('quillmark-frame').map((m) => m.duration));
    if (measures.length === 0) throw new Error('the page measured no frame while dragging');
    frames += measures.length;
    work.push(percentile(measures, 0.95));
  }
  const workS = summary(work);
  const each = `${dragRuns} drags of ${dragMoves} moves, ${frames} frames`;
  return {
    rows: [
      [`Dragging one of 50 objects: each frame from its input event to the end of its redraw, p95 (${each})`, spread(workS, ms), '', ''],
    ],
    figures: [figure('drag-frame-p95', 'ms', workS)],
  };
}

export async function benchmarkFrontend(only = '') {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'quillmark-bench-merge-'));
  const server = await startPrintServer(path.join(folder, 'cups'));
  const host = await startHost({ env: { CUPS_SERVER: server.socket } });
  try {
    if (only === 'languages') return await languageFigures(host);
    const drag = await dragFigures(host);
    const merge = await mergeFigures(host);
    const languages = await languageFigures(host);
    const data = await benchmarkData();
    return {
      rows: [...merge.rows, ...languages.rows, ...drag.rows, ...data.rows],
      figures: [...merge.figures, ...languages.figures, ...drag.figures, ...data.figures],
    };
  } finally {
    await host.stop();
    server.child.kill('SIGTERM');
    await new Promise((resolve) => server.child.once('exit', resolve));
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const { rows, figures } = await benchmarkFrontend(process.argv[2] ?? '');
  for (const row of rows) console.log(row.join(' | '));
  console.log(JSON.stringify(figures, null, 1));
}
