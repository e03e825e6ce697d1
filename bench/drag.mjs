// Dragging one object on a label with 50 objects in the real program: the work of each frame,
// from the pointer move to the end of its redraw, as the page itself measures it (its
// 'quillmark-frame' performance measures). The label has fields and a data source, so the merge
// preview is live as it is while people design merged labels.
//   QUILLMARK_EXECUTABLE=build/quillmark QUILLMARK_FRONTEND_DIR=frontend node bench/drag.mjs [runs]
// Each run is one drag of BENCH_DRAG_MOVES moves; the figure is the median of the runs' p95.
// BENCH_DRAG_PROFILE=1 also prints how often each canvas layer drew and for how long in all.
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { startHost } from '../tests/e2e/harness.mjs';
import { summary } from './host.mjs';

const runs = Number(process.argv[2] ?? process.env.BENCH_DRAG_RUNS ?? 5);
const moves = Number(process.env.BENCH_DRAG_MOVES ?? 60);
const OBJECTS = 50;

/** A 100 × 70 mm label: 50 objects in a 10 × 5 grid, texts with fields, barcodes of four kinds, shapes. */
function writeProject(folder) {
  const sheet = path.join(folder, 'drag.csv');
  fs.writeFileSync(sheet, ['品名,SKU,价格', ...Array.from({ length: 20 }, (_, i) => `产品 ${i + 1},SKU-${1000 + i},${i + 0.5}`)].join('\n'));
  const kinds = [
    { type: 'text', text: '{{品名}} ¥{{价格}}', fontSizePt: 8 },
    { type: 'barcode', symbology: 'code128', data: '{{SKU}}', showText: true },
    { type: 'text', text: 'Shelf 货架 B-12', fontSizePt: 7, bold: true },
    { type: 'barcode', symbology: 'qrcode', data: 'https://example.com/{{SKU}}', showText: false },
    { type: 'rect', strokeMm: 0.3, strokeColor: '#000000', fillColor: '', cornerRadiusMm: 1 },
    { type: 'barcode', symbology: 'ean13', data: '590123412345', showText: true },
    { type: 'ellipse', strokeMm: 0.3, strokeColor: '#000000', fillColor: '#dddddd' },
    { type: 'text', text: '{{$counter}}', fontSizePt: 9 },
    { type: 'line', strokeMm: 0.4, strokeColor: '#000000' },
    { type: 'barcode', symbology: 'datamatrix', data: '{{SKU}}', showText: false },
  ];
  const objects = Array.from({ length: OBJECTS }, (_, i) => ({
    id: `o${i}`, rotation: 0, locked: false,
    xMm: 1 + (i % 10) * 9.8, yMm: 1 + Math.floor(i / 10) * 13.8, widthMm: 9, heightMm: kinds[i % 10].type === 'line' ? 0.4 : 12,
    ...kinds[i % 10],
  }));
  const projectPath = path.join(folder, 'drag.cwrt');
  fs.writeFileSync(projectPath, JSON.stringify({
    format: 'quillmark-label', version: 1, label: { name: 'drag', widthMm: 100, heightMm: 70 }, objects,
    merge: { source: { path: sheet, name: 'drag.csv', sheet: '', headerRow: true }, counter: { start: 1, step: 1, padding: 4, per: 'label' } },
  }));
  return projectPath;
}

/** The host's engine predates what Playwright's mouse asks for: its input goes through the protocol itself. */
function mouse(cdp) {
  let buttons = 0;
  const send = (type, x, y) => cdp.send('Input.dispatchMouseEvent', { type, x, y, button: 'left', buttons, clickCount: 1 });
  return {
    move: (x, y) => send('mouseMoved', x, y),
    down: (x, y) => { buttons = 1; return send('mousePressed', x, y); },
    up: (x, y) => { buttons = 0; return send('mouseReleased', x, y); },
  };
}

/** Drags the object in the middle of the label to and fro and returns the frames' durations in ms. */
async function dragOnce(page, cdp, forth) {
  await page.evaluate(() => performance.clearMeasures('quillmark-frame'));
  const at = await page.evaluate(() => {
    const object = window.quillmark.editor.state.doc.objects[24];
    const stage = window.quillmark.stage();
    const p = stage.toScreen(object.xMm + object.widthMm / 2, object.yMm + object.heightMm / 2);
    const rect = document.querySelector('[data-testid="stage"]').getBoundingClientRect();
    return { x: rect.left + p.x, y: rect.top + p.y, pxPerMm: stage.pxPerMm };
  });
  const pointer = mouse(cdp);
  await pointer.move(at.x, at.y);
  await pointer.down(at.x, at.y);
  const span = 20 * at.pxPerMm * (forth ? 1 : -1);
  let x = at.x, y = at.y;
  for (let i = 1; i <= moves; i++) {
    x = at.x + (span * i) / moves;
    y = at.y + (span * i) / (2 * moves);
    await pointer.move(x, y);
  }
  await pointer.up(x, y);
  // The last frame ends after its redraw.
  await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0))));
  return page.evaluate(() => performance.getEntriesByName('quillmark-frame').map((e) => e.duration));
}

const quantile = (values, q) => {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))];
};

export async function benchmarkDrag() {
  const host = await startHost();
  try {
    const projectPath = writeProject(host.root);
    await host.page.evaluate((p) => window.quillmark.editor.openProject(p), projectPath);
    await host.page.waitForFunction(() => window.quillmark.merge.table?.records.length === 20, null, { timeout: 60_000 });
    const objects = await host.page.evaluate(() => window.quillmark.editor.state.doc.objects.length);
    if (objects !== OBJECTS) throw new Error(`the label holds ${objects} objects`);
    const cdp = await host.page.context().newCDPSession(host.page);
    if (process.env.BENCH_DRAG_PROFILE) await host.page.evaluate(() => {
      const stage = window.quillmark.stage().stage;
      window.__prof = {};
      stage.getLayers().forEach((layer) => {
        let t0 = 0;
        layer.on('beforeDraw', () => { t0 = performance.now(); });
        layer.on('draw', () => {
          const p = (window.__prof[layer.name()] ??= { draws: 0, ms: 0 });
          p.draws++;
          p.ms += performance.now() - t0;
        });
      });
    });
    // One drag first: barcodes are encoded and fonts loaded on the first draw, not measured.
    await dragOnce(host.page, cdp, true);
    const p95 = [];
    const p50 = [];
    const all = [];
    for (let i = 0; i < runs; i++) {
      const frames = await dragOnce(host.page, cdp, i % 2 === 1);
      if (frames.length < moves / 4) throw new Error(`only ${frames.length} frames measured for ${moves} moves`);
      p95.push(quantile(frames, 0.95));
      p50.push(quantile(frames, 0.5));
      all.push(...frames);
    }
    if (process.env.BENCH_DRAG_PROFILE) console.log(await host.page.evaluate(() => window.__prof));
    const moved = await host.page.evaluate(() => window.quillmark.editor.state.doc.objects[24].xMm);
    const s = summary(p95);
    const f = (v) => `${v.toFixed(1)} ms`;
    return {
      rows: [[`Drag one of ${OBJECTS} objects: work per frame, p95 (p50 ${f(summary(p50).median)}, max ${f(Math.max(...all))}, ${all.length} frames)`,
        `${f(s.median)} (${f(s.min)} to ${f(s.max)}, n=${s.n})`, '', '']],
      figures: [{ id: 'drag-frame-p95', unit: 'ms', median: s.median, min: s.min, max: s.max, n: s.n }],
      moved,
    };
  } finally {
    await host.stop();
  }
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const result = await benchmarkDrag();
  for (const row of result.rows) console.log(row.filter(Boolean).join(' | '));
  console.log(JSON.stringify(result.figures), `object moved to x = ${result.moved} mm`);
}
