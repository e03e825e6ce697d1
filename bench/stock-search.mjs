// The stock chooser's search while typing: each keystroke searches the whole library again. 2,000
// entries (Quillmark's own stock and makers' sheets shaped as the host lists them), each query typed
// a character at a time; prints the median and slowest keystroke. `node bench/stock-search.mjs [runs]`
// (node's V8; the host's Chromium 87 runs the same code somewhat slower).
import { build } from 'esbuild';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const runs = Number(process.argv[2] ?? 20);
const bundle = await build({
  stdin: { contents: "export * from './model/stock'; export * from './model/templates';", resolveDir: path.join(here, '../frontend/src'), loader: 'ts' },
  bundle: true, write: false, format: 'esm', platform: 'node', target: 'node20', logLevel: 'warning',
});
const M = await import(`data:text/javascript;base64,${Buffer.from(bundle.outputFiles[0].text).toString('base64')}`);

const makers = ['Avery', 'Herma', 'Zweckform', 'APLI', 'Sheetlabels', 'Worldlabel', 'Geha', 'Hama', 'Endisch', 'Uline'];
const words = ['Address labels', 'Mailing labels', 'Round labels', 'Name badges', 'File folder labels', 'CD/DVD labels', 'Shipping labels'];
const raw = [];
for (let i = 0; M.stockOfTemplates(raw).length + M.STOCK.length < 2000; i++) {
  const w = 20 + (i * 7) % 80, h = 10 + (i * 11) % 60;
  const nx = Math.max(1, Math.floor(200 / (w + 2))), ny = Math.max(1, Math.floor(280 / (h + 2)));
  raw.push({
    brand: makers[i % makers.length], part: `${'LJ'[i % 2]}${4000 + i * 13}${i % 3 ? '' : '-100'}`, description: words[i % words.length],
    paper: 'A4', paperWidthMm: 210, paperHeightMm: 297, shape: i % 9 === 0 ? 'round' : 'rectangle', widthMm: w, heightMm: i % 9 === 0 ? w : h,
    unit: 'mm', layouts: [{ nx, ny, x0Mm: 4, y0Mm: 8, dxMm: w + 2, dyMm: (i % 9 === 0 ? w : h) + 2 }],
  });
}
const library = M.mergeStock(M.STOCK, M.stockOfTemplates(raw));
const queries = ['L7160', 'avery 5160', '60x40', '2x1 in', 'round labels', 'dk-11201', 'herma address 70x37'];
const times = [];
const firsts = [];
for (let run = 0; run < runs; run++) {
  // A fresh copy each run, as a new start would have: the first keystroke normalises every entry's texts.
  const entries = library.map((e) => ({ ...e }));
  let first = true;
  for (const q of queries) {
    for (let n = 1; n <= q.length; n++) {
      const start = performance.now();
      M.searchStock(q.slice(0, n), entries);
      (first ? firsts : times).push(performance.now() - start);
      first = false;
    }
  }
}
const ms = (list, at) => list.sort((a, b) => a - b)[Math.min(list.length - 1, Math.floor(list.length * at))].toFixed(2);
console.log(`${library.length} entries, ${times.length} keystrokes: median ${ms(times, 0.5)} ms, 95th ${ms(times, 0.95)} ms, slowest ${ms(times, 1)} ms`);
console.log(`first keystroke of a run (texts normalised): median ${ms(firsts, 0.5)} ms, slowest ${ms(firsts, 1)} ms`);
