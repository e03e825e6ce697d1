// Black-and-white thermal pages against colour pages: time to turn a rendered 50 × 30 mm label
// into dots and a 1-bit PNG, and the PNG's size, next to the browser's own colour PNG of the same
// label. Runs in the real program's engine when QUILLMARK_EXECUTABLE and QUILLMARK_FRONTEND_DIR
// are set (as for tests/e2e), else in Debian's Chromium, headless: `node bench/mono.mjs [runs]`.
import { build } from 'esbuild';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { launch, openDesigner } from '../frontend/tests/browser/support.mjs';
import { startHost } from '../tests/e2e/harness.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const runs = Number(process.argv[2] ?? 50);

const bundle = await build({
  stdin: { contents: "export * from './render/mono';", resolveDir: path.join(here, '../frontend/src'), loader: 'ts' },
  bundle: true, write: false, format: 'iife', globalName: 'QuillmarkMono', target: 'chrome87', conditions: ['browser'],
});

const base = { rotation: 0, locked: false };
const label = {
  name: 'bench', widthMm: 50, heightMm: 30,
  objects: [
    { ...base, id: 't', type: 'text', xMm: 2, yMm: 1, widthMm: 30, heightMm: 7, text: '产品名称 Item 12345 ¥19.90', fontFamily: 'sans-serif', fontSizePt: 10, bold: false, italic: false, align: 'left', verticalAlign: 'top', wrap: true, shrinkToFit: false, color: '#000000' },
    { ...base, id: 'b', type: 'barcode', xMm: 2, yMm: 9, widthMm: 30, heightMm: 10, symbology: 'code128', data: 'SKU-000123-00001', showText: true, color: '#000000' },
    { ...base, id: 'e', type: 'barcode', xMm: 2, yMm: 20, widthMm: 30, heightMm: 9, symbology: 'ean13', data: '6920000000001', showText: true, color: '#000000' },
    { ...base, id: 'q', type: 'barcode', xMm: 35, yMm: 2, widthMm: 13, heightMm: 13, symbology: 'qrcode', data: 'https://example.com/p/000123', showText: false, color: '#000000' },
  ],
};

const inHost = Boolean(process.env.QUILLMARK_EXECUTABLE || process.env.QUILLMARK_INSTALL_PREFIX);
const host = inHost ? await startHost() : null;
const browser = inHost ? null : await launch();
try {
  const { page } = host ?? (await openDesigner(browser));
  console.log(`Engine: ${await page.evaluate(() => navigator.userAgent.match(/Chrome\/[0-9.]+/)[0])}`);
  await page.addScriptTag({ content: bundle.outputFiles[0].text });
  console.log(`50 × 30 mm label (text, Code 128, EAN-13, QR; a 12 × 12 mm photo at bottom right), median of ${runs} runs`);
  for (const dpi of [203, 300]) {
    const r = await page.evaluate(async ([doc, dpi, runs]) => {
      const M = window.QuillmarkMono;
      const canvas = await window.quillmark.renderLabel(doc, dpi);
      const ctx = canvas.getContext('2d');
      // A photo stands in for a picture object: a smooth gradient in colour.
      const px = dpi / 25.4, photo = { x: 36 * px, y: 17 * px, width: 12 * px, height: 12 * px };
      const g = ctx.createLinearGradient(photo.x, photo.y, photo.x + photo.width, photo.y + photo.height);
      g.addColorStop(0, '#203060'); g.addColorStop(0.5, '#e0a040'); g.addColorStop(1, '#f0f0f0');
      ctx.fillStyle = g; ctx.fillRect(photo.x, photo.y, photo.width, photo.height);
      const median = (xs) => xs.sort((a, b) => a - b)[Math.floor(xs.length / 2)];
      const out = { width: canvas.width, height: canvas.height };
      const mask = M.pictureMask(canvas.width, canvas.height, [photo]);
      for (const mode of ['threshold', 'ordered', 'diffusion']) {
        const read = [], convert = [], encode = [];
        let bytes = 0;
        for (let i = 0; i < runs; i++) {
          const t0 = performance.now();
          const pixels = ctx.getImageData(0, 0, canvas.width, canvas.height);
          const t1 = performance.now();
          const bitmap = M.toMonoBitmap(pixels, { mode, pictureMask: mask });
          const t2 = performance.now();
          bytes = M.encodeMonoPng(bitmap).length;
          encode.push(performance.now() - t2);
          convert.push(t2 - t1);
          read.push(t1 - t0);
        }
        out[mode] = { readMs: median(read), convertMs: median(convert), encodeMs: median(encode), bytes };
      }
      const colour = [];
      let colourBytes = 0;
      for (let i = 0; i < runs; i++) {
        const t0 = performance.now();
        const blob = await new Promise((resolve) => canvas.toBlob(resolve, 'image/png'));
        colour.push(performance.now() - t0);
        colourBytes = blob.size;
      }
      out.colour = { ms: median(colour), bytes: colourBytes };
      return out;
    }, [label, dpi, runs]);
    console.log(`${dpi} dpi (${r.width} × ${r.height}): colour PNG (canvas.toBlob) ${r.colour.ms.toFixed(2)} ms, ${r.colour.bytes} bytes`);
    for (const mode of ['threshold', 'ordered', 'diffusion']) {
      const m = r[mode];
      const total = m.readMs + m.convertMs + m.encodeMs;
      console.log(`  1-bit ${mode.padEnd(9)} getImageData ${m.readMs.toFixed(2)} ms + to dots ${m.convertMs.toFixed(2)} ms + PNG ${m.encodeMs.toFixed(2)} ms = ${total.toFixed(2)} ms, ${m.bytes} bytes (${(r.colour.bytes / m.bytes).toFixed(1)}× smaller)`);
    }
  }
} finally {
  await (host ? host.stop() : browser.close());
}
