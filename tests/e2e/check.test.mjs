// Nothing invalid is printed, in the real program on a private print server: a workbook whose
// EAN-13 numbers are stored as numbers, one with a wrong check digit. The job is stopped with
// that record listed; the list leads to the record on the canvas; after the workbook is replaced
// on disk and read again the check follows the new cells; and with the new bad record skipped,
// the printed labels carry every number's 13 digits with serial numbers that count only the
// printed labels.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { describe, it } from 'node:test';
import XLSX from 'xlsx';
import { clickElement as click, labelProject, printResult, printingHost, textOf as text } from './harness.mjs';
import { readBarcode, readCode128 } from '../../frontend/tests/pdfpages.mjs';

function writeWorkbook(file, eans) {
  const book = XLSX.utils.book_new();
  // Numbers, as a spreadsheet program keeps typed digits: shown in a narrow column as 6.9E+12.
  XLSX.utils.book_append_sheet(book, XLSX.utils.aoa_to_sheet([['品名', 'EAN'], ...eans.map((ean, i) => [`商品${i + 1}`, ean])]), '商品');
  XLSX.writeFile(book, file);
}

function project(sheetPath) {
  return labelProject('条码标签', [
    { id: 't', type: 'text', xMm: 2, yMm: 0.5, widthMm: 46, heightMm: 5, text: '{{品名}}', fontFamily: 'Noto Sans CJK SC', fontSizePt: 9 },
    { id: 'e', type: 'barcode', xMm: 2, yMm: 6, widthMm: 34, heightMm: 12, symbology: 'ean13', data: '{{EAN}}', showText: true },
    { id: 'c', type: 'barcode', xMm: 2, yMm: 19, widthMm: 46, heightMm: 10, symbology: 'code128', data: '{{EAN}}-{{$counter}}', showText: false },
  ], {
    merge: { source: { path: sheetPath, name: path.basename(sheetPath), sheet: '商品', headerRow: true }, counter: { start: 1, step: 1, padding: 3, per: 'label' } },
  });
}

/** The print queue's kept documents, oldest first. */
function spooled(server) {
  const spool = path.join(server.folder, 'spool');
  return fs.existsSync(spool) ? fs.readdirSync(spool).filter((f) => /^d\d+-\d+$/.test(f)).sort().map((f) => path.join(spool, f)) : [];
}

async function openPrintDialog(page) {
  await click(page, 'button[data-action="print"]');
  await page.waitForFunction(() => document.querySelector('[data-testid="print-printer"]')?.value === 'label');
  await page.waitForFunction(() => !document.querySelector('[data-testid="check-running"]'), null, { timeout: 30_000 });
}

const listed = (page) => page.evaluate(() => Array.from(document.querySelectorAll('[data-testid="print-dialog"] [data-testid="check-record"]'), (b) => b.textContent));
const startDisabled = (page) => page.evaluate(() => document.querySelector('[data-testid="print-start"]').disabled);

describe('the check before printing in the program', () => {
  const context = printingHost();

  it('stops a wrong check digit, follows a replaced workbook, and prints the rest in full digits when skipped', async () => {
    const { host, server, errors } = context;
    const { page } = host;
    const sheetPath = path.join(host.root, 'ean.xlsx');
    writeWorkbook(sheetPath, [6901234567892, 6901234567891, 6920000000036]);
    const projectPath = path.join(host.root, 'ean.cwrt');
    fs.writeFileSync(projectPath, JSON.stringify(project(sheetPath)));
    // As though the user had imported it on this machine before.
    await page.evaluate((p) => window.quillmark.editor.rememberSource(p), sheetPath);
    assert.equal(await page.evaluate((p) => window.quillmark.editor.openProject(p), projectPath), true);
    await page.waitForFunction(() => window.quillmark.merge.table?.records.length === 3, null, { timeout: 30_000 });
    assert.deepEqual(await page.evaluate(() => window.quillmark.merge.table.records.map((r) => r[1])), ['6901234567892', '6901234567891', '6920000000036']);

    await openPrintDialog(page);
    assert.deepEqual(await listed(page), ['第 2 条（6901234567891）：EAN-13 校验位应为 2：请改正最后一位，或只填前 12 位，校验位会自动补上。']);
    assert.equal(await startDisabled(page), true);
    assert.deepEqual(spooled(server), []);

    // The listed record opens on the canvas.
    await click(page, '[data-testid="check-record"][data-record="2"]');
    await page.waitForFunction(() => !document.querySelector('[data-testid="print-dialog"]'));
    assert.deepEqual(await page.evaluate(() => ({ index: window.quillmark.merge.previewIndex, panel: window.quillmark.merge.panelOpen })), { index: 1, panel: true });

    // Another workbook under the same name: record 2 is mended, record 3 is now wrong.
    writeWorkbook(sheetPath, [6934567890122, 6934567890139, 6934567890140]);
    await click(page, '[data-testid="data-reload"]');
    await page.waitForFunction(() => window.quillmark.merge.table?.records[2]?.[1] === '6934567890140', null, { timeout: 30_000 });
    await openPrintDialog(page);
    assert.deepEqual(await listed(page), ['第 3 条（6934567890140）：EAN-13 校验位应为 6：请改正最后一位，或只填前 12 位，校验位会自动补上。']);
    assert.equal(await startDisabled(page), true);

    await click(page, '[data-testid="check-skip"]');
    await page.waitForFunction(() => document.querySelector('[data-testid="print-start"]')?.disabled === false, null, { timeout: 30_000 });
    assert.equal(await text(page, '[data-testid="job-summary"]'), '2 张标签，2 页');
    await click(page, '[data-testid="print-start"]');
    assert.equal(await printResult(page), '已发送 2 张标签到打印机“label”（2 页，每份 1 份）。');

    const [job] = spooled(server);
    assert.deepEqual([1, 2].map((p) => readBarcode(job, p, 'EAN_13')), ['6934567890122', '6934567890139']);
    assert.deepEqual([1, 2].map((p) => readCode128(job, p)), ['6934567890122-001', '6934567890139-002']);
    assert.deepEqual(errors, []);
  });
});
