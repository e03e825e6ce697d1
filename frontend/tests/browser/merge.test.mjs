// Data merge in a real browser: spreadsheets picked through the page's file input and read in
// the worker, fields previewed record by record, records that cannot print listed and skipped,
// and the PDF export (a download in browser mode) measured page by page.
import assert from 'node:assert/strict';
import { writeFile } from 'node:fs/promises';
import path from 'node:path';
import { designerTests, download, nextFrame, pickFile, setField, toolbar } from './support.mjs';
import { pdfPages, readCode128 } from '../pdfpages.mjs';

const { designerTest, scratch: scratchDir } = designerTests();

async function importFile(page, file) {
  await pickFile(page, () => page.click('[data-testid="data-import"]'), file);
  await page.waitForFunction((name) => window.quillmark.merge.settings.source?.name === name && !window.quillmark.merge.loading, path.basename(file));
}

/** The stage as shown once Konva has drawn the latest change (it draws on animation frames). */
async function stageImage(page) {
  await nextFrame(page);
  // A notice fading out over the canvas is no part of the label.
  return page.locator('[data-testid="stage"]').screenshot({ style: '.toasts { display: none !important; }' });
}

/** The stage once it has finished drawing: two captures in a row agree (text and barcodes draw late on a busy machine). */
async function settledStageImage(page, timeoutMs = 10_000) {
  const deadline = Date.now() + timeoutMs;
  let previous = await stageImage(page);
  while (Date.now() < deadline) {
    const current = await stageImage(page);
    if (current.equals(previous)) return current;
    previous = current;
  }
  throw new Error('the stage kept changing');
}

const mergeState = (page) => page.evaluate(() => {
  const m = window.quillmark.merge;
  return { table: m.table, index: m.previewIndex, source: m.settings.source };
});

/** A label with the product name as text and "SKU-serial" as Code 128, made through the editor. */
async function designLabel(page) {
  await page.evaluate(() => {
    const e = window.quillmark.editor;
    const text = e.insert('text');
    e.update(text.id, { text: '', xMm: 2, yMm: 1, widthMm: 46, heightMm: 8 });
    const code = e.insert('barcode', 'code128');
    e.update(code.id, { data: '', xMm: 2, yMm: 11, widthMm: 46, heightMm: 17 });
    e.select([text.id]);
  });
  await page.click('[data-testid="field-chip"][data-field="品名"]');
  await page.evaluate(() => window.quillmark.editor.select([window.quillmark.editor.state.doc.objects[1].id]));
  await page.click('[data-testid="field-chip"][data-field="SKU"]');
  await page.fill('[data-testid="prop-data"]', '{{SKU}}-{{$counter}}');
}

designerTest('a CSV merge is previewed record by record and exported as one PDF page per label', async ({ page }) => {
  const csv = path.join(scratchDir(), 'stock.csv');
  await writeFile(csv, '\ufeff品名;SKU;价格\n铅笔;A-100;3,50\n"橡皮\n(白)";B-200;1,20\n尺子;C-300;2,00\n');
  // The spreadsheet reader and the PDF writer load when first used, not with the designer; the
  // barcode encoder once the designer has been painted.
  const bundlesLoaded = () => page.evaluate(() => Object.keys(window.quillmarkBundles ?? {}).sort());
  assert.deepEqual(await bundlesLoaded(), ['barcode-encoder']);
  await toolbar(page, 'dataSource');
  await importFile(page, csv);
  assert.deepEqual(await bundlesLoaded(), ['barcode-encoder', 'sheet-reader']);
  let state = await mergeState(page);
  assert.deepEqual(state.table.columns, ['品名', 'SKU', '价格']);
  assert.deepEqual(state.table.records[1], ['橡皮\n(白)', 'B-200', '1,20']);
  await designLabel(page);
  const doc = await page.evaluate(() => window.quillmark.editor.state.doc);
  assert.equal(doc.objects[0].text, '{{品名}}');
  assert.equal(doc.objects[1].data, '{{SKU}}-{{$counter}}');
  assert.equal(doc.merge.source.name, 'stock.csv');

  // Stepping through records redraws the canvas with each record's values.
  const first = await settledStageImage(page);
  await page.click('[data-testid="record-next"]');
  assert.equal(await page.textContent('[data-testid="record-position"]'), '第 2 / 3 条');
  const second = await settledStageImage(page);
  assert.notDeepEqual(first, second);
  await page.click('[data-testid="record-last"]');
  assert.equal((await mergeState(page)).index, 2);
  // The field shows the new position once the panel has drawn it; typed before, it would be overwritten.
  await page.waitForFunction(() => document.querySelector('[data-testid="record-goto"]').value === '3');
  await setField(page, 'record-goto', 1);
  assert.deepEqual(await settledStageImage(page), first);
  await page.waitForSelector('[data-testid="check-clean"]');

  await toolbar(page, 'exportPdf');
  assert.equal(await page.textContent('[data-testid="preview-size"]'), '50 × 30 毫米，591 × 354 像素');
  assert.equal(await page.textContent('[data-testid="job-summary"]'), '3 张标签，3 页');
  const saved = await download(page, () => page.click('[data-testid="print-start"]'));
  const pdf = path.join(scratchDir(), 'merge.pdf');
  await saved.saveAs(pdf);
  assert.equal(saved.suggestedFilename(), '未命名标签.pdf');
  assert.deepEqual(await bundlesLoaded(), ['barcode-encoder', 'pdf-writer', 'sheet-reader']);
  const { pages, sizes } = pdfPages(pdf);
  assert.equal(pages, 3);
  assert.deepEqual(sizes, [[50, 30], [50, 30], [50, 30]]);
  assert.deepEqual([1, 2, 3].map((p) => readCode128(pdf, p)), ['A-100-1', 'B-200-2', 'C-300-3']);
});

designerTest('records whose barcode cannot be encoded are listed, skipped on request, and sheets hold several labels', async ({ page }) => {
  // GB18030 text without a mark, as Chinese spreadsheet programs save CSV.
  const csv = path.join(scratchDir(), 'ean.csv');
  await writeFile(csv, Buffer.from([
    0xc6, 0xb7, 0xc3, 0xfb, 0x2c, 0x45, 0x41, 0x4e, 0x0a, // 品名,EAN
    0xc7, 0xa6, 0xb1, 0xca, 0x2c, 0x36, 0x39, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x0a, // 铅笔,690123456789
    0xcf, 0xf0, 0xc6, 0xa4, 0x2c, 0x41, 0x42, 0x43, 0x0a, // 橡皮,ABC
    0xb3, 0xdf, 0xd7, 0xd3, 0x2c, 0x0a, // 尺子,(empty)
  ]));
  await toolbar(page, 'dataSource');
  await importFile(page, csv);
  assert.deepEqual((await mergeState(page)).table, { columns: ['品名', 'EAN'], records: [['铅笔', '690123456789'], ['橡皮', 'ABC'], ['尺子', '']] });
  await page.evaluate(() => {
    const e = window.quillmark.editor;
    const code = e.insert('barcode', 'ean13');
    e.update(code.id, { data: '{{EAN}}' });
  });
  await page.waitForSelector('[data-testid="check-problems"]');
  assert.match(await page.textContent('[data-testid="check-problems"]'), /2 条记录.*第 2 条（ABC）：EAN-13 需要 12 或 13 位数字.*第 3 条（）：条码数据为空/s);
  await page.click('[data-testid="check-record"][data-record="3"]');
  assert.equal((await mergeState(page)).index, 2);

  // Ctrl+P opens the print dialog, which says that a browser cannot print.
  await page.keyboard.press('Control+p');
  assert.match(await page.textContent('[data-testid="print-dialog"]'), /浏览器模式下无法打印/);
  assert.equal(await page.isDisabled('[data-testid="print-start"]'), true);
  await page.click('[data-testid="print-close"]');
  await toolbar(page, 'exportPdf');
  await page.waitForSelector('[data-testid="print-dialog"] [data-testid="check-problems"]');
  assert.equal(await page.isDisabled('[data-testid="print-start"]'), true);
  await page.click('[data-testid="check-skip"]');
  assert.match(await page.textContent('[data-testid="check-skipped"]'), /将跳过 2 条记录（第 2和3 条）/);
  // Two labels across, three down on A4, starting at the fifth position of a used sheet.
  await page.check('[data-testid="sheet-on"]');
  for (const [id, value] of [['sheet-columns', 2], ['sheet-rows', 3], ['sheet-start', 5], ['print-per-record', 2]]) await setField(page, id, value);
  assert.equal(await page.textContent('[data-testid="job-summary"]'), '2 张标签，1 页');
  assert.equal(await page.textContent('[data-testid="preview-size"]'), '210 × 297 毫米，2480 × 3508 像素');
  const pdf = path.join(scratchDir(), 'sheet.pdf');
  await (await download(page, () => page.click('[data-testid="print-start"]'))).saveAs(pdf);
  assert.deepEqual(pdfPages(pdf), { pages: 1, sizes: [[210, 297]] });
});
