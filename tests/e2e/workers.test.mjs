// Pages drawn in workers by the real program's engine: the same pixels as the page's own thread
// draws (Chinese text, Code 128, EAN-13, QR and a picture; colour and thermal dots), and a job
// stopped after its first batch sends no more and leaves the rest of its pages undrawn.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { before, describe, it } from 'node:test';
import { decode, encode } from 'fast-png';
import { labelProject, printingHost } from './harness.mjs';

/** A photo stand-in: smooth colour gradients, so dithering and smoothing both show. */
function pictureUrl() {
  const width = 48, height = 32;
  const data = new Uint8Array(width * height * 3);
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) data.set([x * 5, y * 7, 255 - x * 3], (y * width + x) * 3);
  }
  return `data:image/png;base64,${Buffer.from(encode({ width, height, data, channels: 3 })).toString('base64')}`;
}

const label = labelProject('货架标签', [
  { id: 't', type: 'text', xMm: 2, yMm: 1, widthMm: 30, heightMm: 6, text: '有机绿茶 250克 No.{{$counter}}', fontFamily: 'Noto Sans CJK SC', fontSizePt: 10 },
  { id: 'c', type: 'barcode', xMm: 3, yMm: 8, widthMm: 30, heightMm: 9, symbology: 'code128', data: 'SKU-{{$counter}}', showText: true },
  { id: 'e', type: 'barcode', xMm: 3, yMm: 19, widthMm: 30, heightMm: 10, symbology: 'ean13', data: '6901234567892', showText: true },
  { id: 'q', type: 'barcode', xMm: 36, yMm: 2, widthMm: 12, heightMm: 12, symbology: 'qrcode', data: 'https://example.com/p/{{$counter}}', showText: false },
  { id: 'p', type: 'image', xMm: 35, yMm: 16, widthMm: 14, heightMm: 12, src: pictureUrl(), keepAspect: true },
], { merge: { counter: { start: 1, step: 1, padding: 4, per: 'label' } } });

const pixelsOf = (url) => decode(Buffer.from(url.slice(url.indexOf(',') + 1), 'base64'));

describe('pages drawn in workers', () => {
  const context = printingHost('label');
  let host;

  before(async () => {
    ({ host } = context);
    const projectPath = path.join(host.root, 'shelf.cwrt');
    fs.writeFileSync(projectPath, JSON.stringify(label));
    assert.equal(await host.page.evaluate((p) => window.quillmark.editor.openProject(p), projectPath), true);
  });

  const looks = [
    ['colour at 300 dpi', 300, { kind: 'colour', dither: 'diffusion', offsetXMm: 0, offsetYMm: 0, rotate180: false }],
    ['thermal dots at 203 dpi', 203, { kind: 'mono', dither: 'diffusion', offsetXMm: 0, offsetYMm: 0, rotate180: false }],
  ];
  for (const [name, dpi, look] of looks) {
    it(`match the page's own drawing: ${name}`, async () => {
      const options = { dpi, from: 1, to: 1, perRecord: 6, sheet: null, look };
      const pages = [0, 1, 2, 3, 4, 5];
      const [inWorkers, onPage] = await host.page.evaluate(([o, p]) => Promise.all([
        window.quillmark.pageImages(o, p, 2), window.quillmark.pageImages(o, p, 0),
      ]), [options, pages]);
      for (const i of pages) {
        const a = pixelsOf(inWorkers[i]);
        const b = pixelsOf(onPage[i]);
        assert.deepEqual([a.width, a.height, a.depth, a.channels], [b.width, b.height, b.depth, b.channels], `page ${i}`);
        assert.ok(Buffer.from(a.data).equals(Buffer.from(b.data)), `page ${i}: the same pixels`);
      }
      // Each page its own counter: the workers did not hand one page out for another.
      assert.notEqual(inWorkers[0], inWorkers[1]);
    });
  }

  it('stop after the first batch: nothing more is sent, the rest is not drawn', async () => {
    const look = { kind: 'colour', dither: 'diffusion', offsetXMm: 0, offsetYMm: 0, rotate180: false };
    const outcome = await host.page.evaluate((o) => window.quillmark.printMerge(o, 'label', 1, false, 1),
      { dpi: 300, from: 1, to: 1, perRecord: 400, sheet: null, look });
    assert.equal(outcome.status, 'stopped', JSON.stringify(outcome));
    assert.equal(outcome.batchesSent, 1);
    assert.ok(outcome.labelsSent > 0 && outcome.labelsSent < 100, `${outcome.labelsSent} labels in the first batch`);
    // The batch sent, the one being filled and the pages drawn ahead; not the whole job.
    assert.ok(outcome.pagesDrawn < 4 * outcome.labelsSent, `${outcome.pagesDrawn} pages drawn`);
    const spool = path.join(context.server.folder, 'spool');
    assert.equal(fs.readdirSync(spool).filter((f) => /^d\d+-\d+$/.test(f)).length, 1);
  });

  it('raised no page error', () => assert.deepEqual(context.errors, []));
});
