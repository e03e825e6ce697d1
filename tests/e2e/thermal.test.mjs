// Black-and-white labels printed by the real program through CUPS' own ZPL label driver (203 and
// 300 dpi) on a private print server: the driver's output is decoded back into dots and compared
// with the front end's own 1-bit rendering, the barcodes are read from the dots, and the
// printer's settings chosen in the print dialog (darkness, print rate, offset, 180° turn) are
// found in the printer language and in the dots.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { before, describe, it } from 'node:test';
import { decode } from 'fast-png';
import { differences, dotsOf, jobCompleted, pageDots, SHELF_CODES, shelfCodes, shelfLabelPrinting } from './dots.mjs';
import { clickElement as click, setValue as choose, hostForTests, labelProject, printResult, sleep } from './harness.mjs';

describe('labels on a thermal printer', () => {
  const context = shelfLabelPrinting('zpl=zpl', 'zpl300=zpl300');
  let host;
  let server;
  let jobs = 0;

  before(() => ({ host, server } = context));

  /** Prints through the dialog as set up by `settle`, waits for the driver, returns its output. */
  async function printInDialog(queue, settle = async () => {}, start = 'print-start') {
    await click(host.page, 'button[data-action="print"]');
    await host.page.waitForFunction(() => document.querySelector('[data-testid="print-printer"]'));
    await choose(host.page, '[data-testid="print-printer"]', queue);
    await host.page.waitForFunction((q) => document.querySelector('[data-testid="print-driver"]')?.dataset.printer === q
      && !document.querySelector('[data-testid="print-start"]').disabled, queue);
    await settle();
    await click(host.page, `[data-testid="${start}"]`);
    const result = await printResult(host.page);
    await click(host.page, '[data-testid="print-close"]');
    assert.match(result, /已发送 1 张标签/);
    jobs += 1;
    await jobCompleted(server, jobs);
    const output = path.join(server.folder, 'output', queue);
    const image = path.join(server.folder, `job${jobs}.png`);
    execFileSync(process.env.QUILLMARK_PRINT_SERVER, ['decode', output, image]);
    return { output, dots: dotsOf(fs.readFileSync(image)) };
  }



  for (const [queue, dpi, width, height] of [['zpl', 203, 400, 240], ['zpl300', 300, 591, 354]]) {
    it(`prints the label dot for dot at ${dpi} dpi`, async () => {
      const { dots } = await printInDialog(queue);
      assert.ok(Math.abs(dots.width - width) <= 1 && Math.abs(dots.height - height) <= 1, `${dots.width} × ${dots.height} dots`);
      const own = await pageDots(host.page, dpi);
      assert.deepEqual([own.width, own.height], [width, height]);
      assert.ok(own.dots.some((d) => d === 1));
      // Unshifted and unturned: the same dots where both pages have them.
      assert.equal(differences(own, dots), 0);
      assert.deepEqual(shelfCodes(dots), SHELF_CODES);
    });
  }

  it('prints the calibration page: rulers from the label\'s edges, the cross at its centre', async () => {
    const { dots } = await printInDialog('zpl', async () => {}, 'calibration-print');
    const dot = (x, y) => dots.dots[y * dots.width + x] === 1;
    // 25 × 15 mm is dot 200 × 120 at 203 dpi; the cross's arms are 5 mm (40 dots) long.
    const row = Array.from({ length: dots.width }, (_, x) => dot(x, 120));
    assert.ok(row.slice(161, 240).every(Boolean) && !row[150] && !row[250], 'the cross\'s horizontal arm');
    assert.ok([80, 100, 119, 140, 159].every((y) => dot(200, y)) && !dot(200, 70), 'the cross\'s vertical arm');
    // Ticks every millimetre (8 dots) along the top edge, 3 mm long at 0 and 10 mm.
    assert.ok(dot(0, 0) && dot(0, 23) && dot(80, 23) && dot(40, 15) && !dot(40, 17) && !dot(4, 5));
  });

  it('sends darkness and print rate to the printer, and prints offset and turned as the profile says', async () => {
    const { dots: plain } = await printInDialog('zpl');
    const { output, dots } = await printInDialog('zpl', async () => {
      // The driver's own options, as tst_printjob finds them listed.
      await choose(host.page, '[data-testid="print-option-Darkness"]', '20');
      await choose(host.page, '[data-testid="print-option-zePrintRate"]', '12');
      await choose(host.page, '[data-testid="print-offset-x"]', '1.0');
      await choose(host.page, '[data-testid="print-rotate"]', true);
    });
    const commands = execFileSync(process.env.QUILLMARK_PRINT_SERVER, ['commands', output], { encoding: 'utf8' });
    assert.ok(/~SD20/.test(commands) && /\^PR/.test(commands), commands);
    // 1 mm right in the label's reading direction is 8 dots at 203 dpi; turned, it is 8 dots left.
    const turned = (x, y) => [plain.width - 1 - x - 8, plain.height - 1 - y];
    assert.equal(differences(plain, dots, 0, 0, turned), 0);
    assert.ok(dots.dots.some((d) => d === 1));
    // The printer's profile is remembered: the dialog opens with it.
    await click(host.page, 'button[data-action="print"]');
    await host.page.waitForFunction(() => document.querySelector('[data-testid="print-option-Darkness"]')?.value === '20');
    assert.deepEqual(await host.page.evaluate(() => ['print-printer', 'print-offset-x', 'print-rotate'].map((id) => {
      const field = document.querySelector(`[data-testid="${id}"]`);
      return field.type === 'checkbox' ? field.checked : field.value;
    })), ['zpl', '1', true]);
    // The preview draws the dots again for what changes them (an offset), not for a driver setting.
    const renders = () => host.page.evaluate(() => Number(document.querySelector('[data-testid="preview-canvas"]')?.dataset.renders));
    await host.page.waitForFunction(() => document.querySelector('[data-testid="preview-canvas"]'));
    const before = await renders();
    await choose(host.page, '[data-testid="print-option-Darkness"]', '10');
    await choose(host.page, '[data-testid="print-offset-y"]', '0.5');
    await host.page.waitForFunction((n) => Number(document.querySelector('[data-testid="preview-canvas"]').dataset.renders) > n, before);
    await sleep(300);
    assert.equal(await renders(), before + 1);
    await click(host.page, '[data-testid="print-close"]');
    assert.deepEqual(context.errors, []);
  });
});

describe('thermal pages', () => {
  const context = hostForTests();
  /** Page 1 as the print job sends it, as PNG bytes. */
  const page = async (look) => {
    const url = await context.host.page.evaluate((l) => window.quillmark.pageImage({ dpi: 203, from: 1, to: 1, perRecord: 1, sheet: null, look: l }, 0), look);
    return Buffer.from(url.slice(url.indexOf(',') + 1), 'base64');
  };

  it('takes barcodes\' dots from their own pixels exactly where the canvas would put them, turned or not', async () => {
    // Codes turned every way, one sized by its X-dimension, text and a line beside them; then a frame over
    // one code, which makes the page read back whole.
    const turned = [
      { id: 't', type: 'text', xMm: 1, yMm: 0.5, widthMm: 24, heightMm: 5, text: '货号 A-1', fontFamily: 'Noto Sans CJK SC', fontSizePt: 9 },
      { id: 'c', type: 'barcode', xMm: 1, yMm: 6, widthMm: 22, heightMm: 9, symbology: 'code128', data: 'A-1', showText: true, rotation: 180 },
      { id: 'e', type: 'barcode', xMm: 26, yMm: 4, widthMm: 24, heightMm: 10, symbology: 'ean13', data: '6901234567892', showText: true, rotation: 90 },
      { id: 'q', type: 'barcode', xMm: 2, yMm: 17, widthMm: 12, heightMm: 12, symbology: 'qrcode', data: 'A-1', showText: false, rotation: 270, xdim: { dots: 3 } },
      // A stroke wider than its line's box.
      { id: 'l', type: 'line', xMm: 20, yMm: 27, widthMm: 12, heightMm: 0.2, strokeMm: 2, strokeColor: '#000000' },
    ];
    const frame = { id: 'r', type: 'rect', xMm: 0.5, yMm: 16, widthMm: 16, heightMm: 13.5, strokeMm: 0.3, strokeColor: '#000000', fillColor: '', cornerRadiusMm: 0 };
    const offset = { kind: 'mono', dither: 'diffusion', offsetXMm: 0.5, offsetYMm: -0.25, rotate180: false };
    for (const objects of [turned, [...turned, frame]]) {
      const projectPath = path.join(context.host.root, 'turned.cwrt');
      fs.writeFileSync(projectPath, JSON.stringify(labelProject('turned', objects)));
      assert.equal(await context.host.page.evaluate((p) => window.quillmark.editor.openProject(p), projectPath), true);
      const own = dotsOf(await page(offset));
      const { width, height, data, channels } = decode(await page({ ...offset, kind: 'colour' }));
      const read = { width, height, dots: Uint8Array.from({ length: width * height }, (_, p) => (data[p * channels] * 77 + data[p * channels + 1] * 150 + data[p * channels + 2] * 29) >> 8 < 128) };
      assert.ok(own.dots.filter(Boolean).length > 2000);
      // Only edge pixels of the codes' human-readable text may round to the other side.
      assert.ok(differences(own, read) <= 12, `${differences(own, read)} dots differ`);
    }
  });
});
