// A picture per record in the real program: a CSV names each record's picture relative to its
// own folder, the host reads the files, the labels print with each record's picture, and a
// record whose picture is missing is stopped by the check before printing, naming the file.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { describe, it } from 'node:test';
import { encode } from 'fast-png';
import { clickElement as click, labelProject, printResult, printingHost, textOf } from './harness.mjs';
import { pageGrey, pdfPages } from '../../frontend/tests/pdfpages.mjs';

/** A 40 × 40 PNG: black where `dark(x)` holds, white elsewhere. */
function png(dark) {
  const data = new Uint8Array(40 * 40 * 3);
  for (let i = 0; i < 40 * 40; i++) data.fill(dark(i % 40) ? 0 : 255, i * 3, i * 3 + 3);
  return encode({ width: 40, height: 40, data, channels: 3 });
}

describe('a picture per record in the program', () => {
  const context = printingHost();

  it('prints each record with the picture its cell names and stops the record whose picture is missing', async () => {
    const { host, errors } = context;
    const shop = path.join(host.root, 'shop');
    fs.mkdirSync(path.join(shop, 'photos'), { recursive: true });
    fs.writeFileSync(path.join(shop, 'photos', 'black.png'), png(() => true));
    fs.writeFileSync(path.join(shop, 'photos', 'half.png'), png((x) => x < 20));
    fs.writeFileSync(path.join(shop, 'photos', 'fake.png'), 'no picture');
    const sheet = path.join(shop, 'items.csv');
    fs.writeFileSync(sheet, '品名,图片\n墨,photos/black.png\n半,./photos/half.png\n缺,photos/none.png\n假,photos/fake.png\n');
    const projectPath = path.join(host.root, 'pictures.cwrt');
    fs.writeFileSync(projectPath, JSON.stringify(labelProject('图片标签', [
      { id: 'p', type: 'image', xMm: 0, yMm: 0, widthMm: 30, heightMm: 30, src: '', keepAspect: true, srcColumn: '图片' },
      { id: 't', type: 'text', xMm: 32, yMm: 2, widthMm: 16, heightMm: 8, text: '{{品名}}', fontFamily: 'Noto Sans CJK SC', fontSizePt: 12 },
    ], { merge: { source: { path: sheet, name: 'items.csv', sheet: '', headerRow: true } } })));
    // As though the user had imported it on this machine before.
    await host.page.evaluate((p) => window.quillmark.editor.rememberSource(p), sheet);
    assert.equal(await host.page.evaluate((p) => window.quillmark.editor.openProject(p), projectPath), true);
    await host.page.waitForFunction(() => window.quillmark.merge.table?.records.length === 4, null, { timeout: 30_000 });

    await click(host.page, 'button[data-action="print"]');
    await host.page.waitForFunction(() => document.querySelectorAll('[data-testid="check-record"]').length === 2, null, { timeout: 30_000 });
    const listed = await host.page.evaluate(() => Array.from(document.querySelectorAll('[data-testid="check-record"]'), (e) => e.textContent));
    assert.match(listed[0], /^第 3 条：找不到或无法读取图片“none\.png”/);
    assert.match(listed[1], /^第 4 条：“fake\.png”不是图片文件/);
    assert.equal(await host.page.evaluate(() => document.querySelector('[data-testid="print-start"]').disabled), true);
    await click(host.page, '[data-testid="check-skip"]');
    await host.page.waitForFunction(() => document.querySelector('[data-testid="print-start"]') && !document.querySelector('[data-testid="print-start"]').disabled, null, { timeout: 30_000 });
    await click(host.page, '[data-testid="print-start"]');
    assert.match(await printResult(host.page), /^已发送 2 张标签到打印机“label”/);

    // The same two labels as colour pages: the black picture fills its box, the other is dark on its left half only.
    const base64 = await host.page.evaluate(() => window.quillmark.pdfBase64({ dpi: 300, from: 1, to: 2, perRecord: 1, sheet: null }));
    const pdf = path.join(host.root, 'pictures.pdf');
    fs.writeFileSync(pdf, Buffer.from(base64, 'base64'));
    assert.equal(pdfPages(pdf).pages, 2);
    const shade = (page, xMm) => {
      const { width, pixels } = pageGrey(pdf, page, 100);
      const px = (mm) => Math.round((mm / 25.4) * 100);
      let sum = 0;
      for (let y = px(10); y < px(20); y++) sum += pixels[y * width + px(xMm)];
      return sum / (px(20) - px(10));
    };
    assert.deepEqual([shade(1, 7), shade(1, 23), shade(2, 7), shade(2, 23)].map((v) => (v < 64 ? 'dark' : v > 192 ? 'light' : v)), ['dark', 'dark', 'dark', 'light']);
    assert.equal(await textOf(host.page, '[data-testid="print-result"]') !== null, true);
    assert.deepEqual(errors, []);
  });
});
