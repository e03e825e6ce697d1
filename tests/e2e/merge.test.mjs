// Data merge printed by the real program on a private print server: a spreadsheet of three
// rows merged into a 50 x 30 mm label arrives as three pages of exactly that size whose
// barcodes read back each row's own value, with the copies and the job name that were asked
// for. The PDF export is checked on the bytes the exporter makes in the page, because the
// host's save dialog cannot be clicked from here (browser mode covers the download itself).
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { describe, it } from 'node:test';
import XLSX from 'xlsx';
import { encode as encodePng } from 'fast-png';
import { clickElement as click, clickWhenShown, dialogText, jobAttributes, labelProject, printResult, printingHost, setValue, textOf } from './harness.mjs';
import { pdfPages, readCode128 } from '../../frontend/tests/pdfpages.mjs';

function project(sheetPath) {
  return labelProject('库存标签', [
    { id: 't', type: 'text', xMm: 2, yMm: 1, widthMm: 46, heightMm: 8, text: '{{品名}} {{价格}}元', fontFamily: 'Noto Sans CJK SC', fontSizePt: 12 },
    { id: 'b', type: 'barcode', xMm: 2, yMm: 11, widthMm: 46, heightMm: 17, symbology: 'code128', data: '{{SKU}}-{{$counter}}', showText: true },
  ], {
    merge: { source: { path: sheetPath, name: path.basename(sheetPath), sheet: '库存', headerRow: true }, counter: { start: 7, step: 1, padding: 3, per: 'label' } },
  });
}

describe('data merge in the program', () => {
  const context = printingHost();

  it('reopens a project\'s workbook by its path and prints one page per row', async () => {
    const { host, server, errors } = context;
    const book = XLSX.utils.book_new();
    XLSX.utils.book_append_sheet(book, XLSX.utils.aoa_to_sheet([['说明'], ['不是这张表']]), '封面');
    XLSX.utils.book_append_sheet(book, XLSX.utils.aoa_to_sheet([['品名', 'SKU', '价格'], ['铅笔', 'A-100', 3.5], ['橡皮', 'B-200', 1.2], ['尺子', 'C-300', 2]]), '库存');
    const sheetPath = path.join(host.root, 'stock.xlsx');
    XLSX.writeFile(book, sheetPath);
    const projectPath = path.join(host.root, 'stock.cwrt');
    fs.writeFileSync(projectPath, JSON.stringify(project(sheetPath)));
    // As though the user had imported it on this machine before.
    await host.page.evaluate((p) => window.quillmark.editor.rememberSource(p), sheetPath);

    assert.equal(await host.page.evaluate((p) => window.quillmark.editor.openProject(p), projectPath), true);
    await host.page.waitForFunction(() => window.quillmark.merge.table?.records.length === 3, null, { timeout: 30_000 });
    assert.deepEqual(await host.page.evaluate(() => window.quillmark.merge.table), {
      columns: ['品名', 'SKU', '价格'],
      records: [['铅笔', 'A-100', '3.5'], ['橡皮', 'B-200', '1.2'], ['尺子', 'C-300', '2']],
    });

    await click(host.page, 'button[data-action="print"]');
    await host.page.waitForFunction(() => document.querySelector('[data-testid="print-printer"]')?.value === 'label');
    // The driver's own resolution once its settings have been read.
    await host.page.waitForFunction(() => document.querySelector('[data-testid="print-dpi"]').value === '300');
    assert.equal(await textOf(host.page, '[data-testid="preview-size"]'), '50 × 30 毫米，591 × 354 像素');
    await setValue(host.page, '[data-testid="print-copies"]', 2);
    await click(host.page, '[data-testid="print-start"]');
    assert.equal(await printResult(host.page), '已发送 3 张标签到打印机“label”（3 页，每份 2 份）。');

    // The host replies after the printing system has taken the whole document, which it keeps.
    const attributes = jobAttributes(server.socket, 1);
    assert.deepEqual([attributes['job-name'], attributes.copies, attributes.media], ['库存标签', 2, 'Custom.50x30mm']);
    const kept = path.join(server.folder, 'spool/d00001-001');
    const { pages, sizes } = pdfPages(kept);
    assert.equal(pages, 3);
    // The system's PDF gives page sizes in whole points: within 0.1 mm of the label, either way round.
    for (const size of sizes) {
      const [short, long] = size.sort((a, b) => a - b);
      assert.ok(Math.abs(short - 30) < 0.1 && Math.abs(long - 50) < 0.1, `page of ${size.join(' × ')} mm`);
    }
    assert.deepEqual([1, 2, 3].map((p) => readCode128(kept, p)), ['A-100-007', 'B-200-008', 'C-300-009']);
    // The next job starts from the printer and settings used; printing leaves the project as it was.
    const store = await host.page.evaluate(() => JSON.parse(localStorage.getItem('quillmark.printers')));
    assert.deepEqual([store.lastPrinter, store.printers.label.dpi, store.printers.label.kind], ['label', 300, 'mono']);
    assert.equal(JSON.parse(fs.readFileSync(projectPath, 'utf8')).output, undefined);
    assert.deepEqual(errors, []);
  });

  it('exports the same merge as a PDF of one label-sized page per row', async () => {
    const { host } = context;
    const base64 = await host.page.evaluate(() => window.quillmark.pdfBase64({ dpi: 300, from: 1, to: 3, perRecord: 1, sheet: null }));
    const file = path.join(host.root, 'export.pdf');
    fs.writeFileSync(file, Buffer.from(base64, 'base64'));
    assert.deepEqual(pdfPages(file), { pages: 3, sizes: [[50, 30], [50, 30], [50, 30]] });
    assert.deepEqual([1, 2, 3].map((p) => readCode128(file, p)), ['A-100-007', 'B-200-008', 'C-300-009']);
  });

  it('reads a project\'s data file that the user never chose only after asking with its whole path', async () => {
    const { host } = context;
    const { page } = host;
    const secret = path.join(host.root, 'private', 'notes');
    fs.mkdirSync(path.dirname(secret));
    fs.writeFileSync(secret, '品名,SKU,价格\n口令,hunter2,1\n');
    const projectPath = path.join(host.root, 'hostile.cwrt');
    fs.writeFileSync(projectPath, JSON.stringify({ ...project(secret), merge: { source: { path: secret, name: 'notes.csv', sheet: '', headerRow: true } } }));
    // Every read the page asks of the host, through the channel object it calls.
    await page.evaluate(() => {
      const bridge = window.quillmarkBridge;
      const [read, link] = [bridge.readSpreadsheet, bridge.openFileLink];
      window.readsAsked = [];
      bridge.readSpreadsheet = (...args) => window.readsAsked.push(args[0]) && read.apply(bridge, args);
      bridge.openFileLink = (...args) => (args[0] !== 'spreadsheet' || window.readsAsked.push(args[1])) && link.apply(bridge, args);
    });
    const reads = () => page.evaluate(() => window.readsAsked);

    assert.equal(await page.evaluate((p) => window.quillmark.editor.openProject(p), projectPath), true);
    assert.ok((await dialogText(page)).includes(secret));
    assert.deepEqual(await reads(), []);
    await click(page, '[data-testid="dialog-skip-source"]');
    await page.waitForFunction(() => Array.from(document.querySelectorAll('[data-testid="toast"]')).some((t) => t.textContent.includes('未读取数据源')));
    assert.deepEqual([await reads(), await page.evaluate(() => window.quillmark.merge.table)], [[], null]);

    // Asked again and agreed to, the file is read and remembered.
    const reloaded = page.evaluate(() => window.quillmark.merge.reload());
    assert.ok((await dialogText(page)).includes(secret));
    await click(page, '[data-testid="dialog-read-source"]');
    await reloaded;
    await page.waitForFunction(() => window.quillmark.merge.table?.records.length === 1);
    assert.deepEqual([await reads(), await page.evaluate((p) => window.quillmark.editor.isKnownSource(p), secret)], [[secret], true]);
  });

  it('stops a job whose picture does not decode instead of printing it blank', async () => {
    const png = Buffer.from(encodePng({ width: 64, height: 64, channels: 3, data: Uint8Array.from({ length: 64 * 64 * 3 }, (_, i) => (i * 7919) % 251) }));
    // The signature and part of the header only: nothing to decode. Cut at 60 %: the engine draws
    // the rows it has, without an error.
    const pictures = { cut: png.subarray(0, 40), half: png.subarray(0, Math.round(png.length * 0.6)), garbage: Buffer.from('not a picture'), whole: png };
    const outcomes = {};
    for (const [name, bytes] of Object.entries(pictures)) {
      const file = path.join(context.host.root, `${name}.cwrt`);
      fs.writeFileSync(file, JSON.stringify(labelProject(name, [{ id: 'p', type: 'image', xMm: 1, yMm: 1, widthMm: 20, heightMm: 20, src: `data:image/png;base64,${bytes.toString('base64')}` }])));
      outcomes[name] = await context.host.page.evaluate(async (p) => {
        await window.quillmark.editor.openProject(p);
        const job = { dpi: 203, from: 1, to: 1, perRecord: 1, sheet: null };
        const { problems } = await window.quillmark.checkJob(job);
        return [problems.flatMap((r) => r.faults.map((f) => f.kind)), await window.quillmark.pdfBase64(job).then(() => 'made', (e) => e.name)];
      }, file);
    }
    assert.deepEqual(outcomes, { cut: [['brokenPicture'], 'JobBlocked'], half: [['brokenPicture'], 'JobBlocked'], garbage: [['brokenPicture'], 'JobBlocked'], whole: [[], 'made'] });
  });

  it('keeps a project usable when its data source file is gone', async () => {
    const { host } = context;
    const projectPath = path.join(host.root, 'orphan.cwrt');
    fs.writeFileSync(projectPath, JSON.stringify(project(path.join(host.root, 'gone.xlsx'))));
    assert.equal(await host.page.evaluate((p) => window.quillmark.editor.openProject(p), projectPath), true);
    await clickWhenShown(host.page, '[data-testid="dialog-read-source"]');
    await host.page.waitForFunction(() => Array.from(document.querySelectorAll('[data-testid="toast"]')).some((t) => t.textContent.includes('gone.xlsx')));
    const toast = await host.page.evaluate(() => Array.from(document.querySelectorAll('[data-testid="toast"]'), (t) => t.textContent).find((t) => t.includes('gone.xlsx')));
    assert.match(toast, /无法读取数据源.*gone\.xlsx.*无法读取文件/);
    const state = await host.page.evaluate(() => ({ objects: window.quillmark.editor.state.doc.objects.length, table: window.quillmark.merge.table }));
    assert.deepEqual(state, { objects: 2, table: null });
    // Printing would put the field names on the labels, so the dialog says why it cannot.
    await click(host.page, 'button[data-action="print"]');
    await host.page.waitForFunction(() => document.querySelector('[data-testid="print-data-missing"]'));
    assert.equal(await host.page.evaluate(() => document.querySelector('[data-testid="print-start"]').disabled), true);
  });

  it('prints a design made at 203 dpi on a 300 dpi printer without editing it or marking it changed', async () => {
    const { host } = context;
    const projectPath = path.join(host.root, 'xdim.cwrt');
    fs.writeFileSync(projectPath, JSON.stringify(labelProject('X', [
      { id: 'c', type: 'barcode', xMm: 2, yMm: 2, widthMm: 30, heightMm: 10, symbology: 'code128', data: 'QM-2026', showText: true, xdim: { mm: 0.33 } },
      { id: 'q', type: 'barcode', xMm: 36, yMm: 2, widthMm: 9, heightMm: 9, symbology: 'qrcode', data: 'QM', showText: false, xdim: { mm: 0.4 } },
    ])));
    assert.equal(await host.page.evaluate((p) => window.quillmark.editor.openProject(p), projectPath), true);
    const designed = await host.page.evaluate(() => JSON.stringify(window.quillmark.editor.state.doc));
    await click(host.page, 'button[data-action="print"]');
    await host.page.waitForFunction(() => document.querySelector('[data-testid="print-dpi"]')?.value === '300');
    await host.page.waitForFunction(() => document.querySelector('[data-testid="print-start"]')?.disabled === false, null, { timeout: 30_000 });
    await click(host.page, '[data-testid="print-start"]');
    assert.match(await printResult(host.page), /已发送 1 张标签/);
    assert.deepEqual(await host.page.evaluate(() => [JSON.stringify(window.quillmark.editor.state.doc), window.quillmark.editor.dirty]), [designed, false]);
  });
});
