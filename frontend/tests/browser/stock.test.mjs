// New labels from stock in a real browser: the chooser a fresh start shows, a search and a pick
// that size the label, and a sheet job's PDF measured label by label against the stock's figures.
import assert from 'node:assert/strict';
import path from 'node:path';
import { designerTests, download, editorState, pickFile, setField, toolbar } from './support.mjs';
import { pageGrey, pdfPages } from '../pdfpages.mjs';

const { designerTest, scratch: scratchDir } = designerTests();

async function chooseStock(page, query, id) {
  await page.fill('[data-testid="chooser-search"]', query);
  await page.click(`[data-testid="chooser-results"] [data-testid="stock-item"][data-id="${id}"]`);
  await page.waitForSelector('[data-testid="stock-drawing"]');
  await page.click('[data-testid="chooser-create"]');
  await page.waitForSelector('[data-testid="stock-chooser"]', { state: 'detached' });
}

/** Adds a black rectangle to the label; the label's stock and sheet layout. */
function blackBox(page, box) {
  return page.evaluate((box) => {
    const e = window.quillmark.editor;
    const rect = e.insert('rect');
    e.update(rect.id, { ...box, strokeMm: 0, fillColor: '#000000' });
    return { stock: e.state.doc.stock, sheet: e.state.doc.merge.sheet };
  }, box);
}

designerTest('a start with nothing to recover shows the chooser; "60x40" finds the roll and the label is 60 × 40', async ({ page }) => {
  await page.waitForSelector('[data-testid="stock-chooser"]');
  await page.fill('[data-testid="chooser-search"]', '60x40');
  const first = page.locator('[data-testid="chooser-results"] [data-testid="stock-item"]').first();
  assert.match(await first.innerText(), /60 × 40 mm/);
  await first.click();
  // A roll is drawn as labels with gaps between them on the liner.
  assert.equal(await page.locator('[data-testid="stock-drawing"] .stock-label').count(), 3);
  await page.click('[data-testid="stock-favourite"]');
  await page.click('[data-testid="chooser-create"]');
  const { doc } = await editorState(page);
  assert.deepEqual([doc.widthMm, doc.heightMm, doc.stock.widthMm, doc.stock.heightMm, doc.merge.sheet], [60, 40, 60, 40, null]);

  // New shows the chooser again, with the favourite and the recent stock kept; filters narrow the list.
  await page.keyboard.press('Control+n');
  assert.match(await page.innerText('[data-testid="chooser-favourites"]'), /60 × 40 mm/);
  assert.match(await page.innerText('[data-testid="chooser-recent-stock"]'), /60 × 40 mm/);
  await page.selectOption('[data-testid="chooser-kind"]', 'sheet');
  await page.selectOption('[data-testid="chooser-paper"]', 'Letter');
  const kinds = await page.locator('[data-testid="chooser-results"] .stock-kind').allInnerTexts();
  assert.ok(kinds.length >= 5 && kinds.every((k) => /Letter/.test(k)), kinds.join(' | '));
  // A drawn sheet shows every label of it.
  await page.locator('[data-testid="chooser-results"] [data-testid="stock-item"]').first().click();
  const summary = await page.innerText('[data-testid="stock-detail"]');
  const count = Number(/= (\d+)/.exec(summary)[1]);
  assert.equal(await page.locator('[data-testid="stock-drawing"] .stock-label').count(), count);
  // The user's own sheet: refused with the reason while labels would overlap, then kept and used.
  const type = (id, value) => setField(page, id, value);
  await type('chooser-width', 90);
  await type('chooser-height', 50);
  await page.selectOption('[data-testid="chooser-custom-kind"]', 'sheet');
  await page.click('[data-testid="chooser-save-stock"]');
  assert.match(await page.innerText('.chooser-custom'), /步距小于标签尺寸/);
  for (const [id, value] of [['columns', 2], ['rows', 5], ['pitchXMm', 95], ['pitchYMm', 55]]) await type(`custom-sheet-${id}`, value);
  await page.click('[data-testid="chooser-save-stock"]');
  assert.match(await page.innerText('[data-testid="stock-detail"]'), /90 × 50 mm[\s\S]*A4，2 × 5 = 10 张/);
  assert.equal(await page.evaluate(() => JSON.parse(localStorage.getItem('quillmark.customStock')).length), 1);
  await page.click('[data-testid="chooser-create"]');
  const own = (await editorState(page)).doc;
  assert.deepEqual([own.widthMm, own.stock.source, own.merge.sheet.pitchXMm, own.merge.sheet.rows], [90, 'user', 95, 5]);
  // Saved inside the project, it comes back with it on a machine that never knew it.
  const file = path.join(scratchDir(), 'own-sheet.cwrt');
  await (await download(page, () => page.keyboard.press('Control+s'))).saveAs(file);
  await page.evaluate(() => localStorage.removeItem('quillmark.customStock'));
  await page.reload();
  await page.waitForFunction(() => window.quillmarkReady === true);
  await pickFile(page, () => page.click('[data-testid="chooser-open"]'), file);
  await page.waitForSelector('[data-testid="stock-chooser"]', { state: 'detached' });
  assert.deepEqual(await page.evaluate(() => window.quillmark.editor.state.customStock.map((e) => e.id)), [own.stock.id]);

  // The custom size is one click away.
  await page.keyboard.press('Control+n');
  await page.click('[data-testid="chooser-custom"]');
  assert.equal((await editorState(page)).doc.stock, undefined);
}, { keepChooser: true });

designerTest('a sheet job\'s PDF has each label where the stock puts it, from the start position of a used sheet', async ({ page }) => {
  await toolbar(page, 'newProject');
  await chooseStock(page, 'A4 21', 'a4-3x7-63.5x38.1');
  // A 3 mm black square in each label's top-left corner marks where the label was placed.
  const { stock } = await blackBox(page, { xMm: 0, yMm: 0, widthMm: 3, heightMm: 3 });
  await toolbar(page, 'exportPdf');
  assert.match(await page.innerText('[data-testid="sheet-stock"]'), /63\.5 × 38\.1 mm/);
  await setField(page, 'sheet-start', 4);
  await setField(page, 'print-per-record', 21);
  const pdf = path.join(scratchDir(), 'a4-21.pdf');
  await (await download(page, () => page.click('[data-testid="print-start"]'))).saveAs(pdf);
  assert.deepEqual(pdfPages(pdf), { pages: 2, sizes: [[210, 297], [210, 297]] });

  const dpi = 600;
  const pxPerMm = dpi / 25.4;
  const s = stock.sheet;
  // Positions 4 to 21 on the first sheet, 1 to 3 on the second.
  for (const [pageNumber, filled] of [[1, (p) => p >= 4], [2, (p) => p <= 3]]) {
    const { width, pixels } = pageGrey(pdf, pageNumber, dpi);
    for (let position = 1; position <= s.columns * s.rows; position++) {
      const x = s.marginLeftMm + ((position - 1) % s.columns) * s.pitchXMm;
      const y = s.marginTopMm + Math.floor((position - 1) / s.columns) * s.pitchYMm;
      // Ink within 1 mm around the expected corner: its top-left is the label's.
      let left = Infinity, top = Infinity;
      for (let py = Math.round((y - 1) * pxPerMm); py < Math.round((y + 2) * pxPerMm); py++) {
        for (let px = Math.round((x - 1) * pxPerMm); px < Math.round((x + 2) * pxPerMm); px++) {
          if (pixels[py * width + px] < 128) {
            left = Math.min(left, px);
            top = Math.min(top, py);
          }
        }
      }
      const where = `page ${pageNumber}, position ${position}`;
      if (!filled(position)) {
        assert.equal(left, Infinity, `${where} is left empty`);
        continue;
      }
      assert.ok(Math.abs(left / pxPerMm - x) <= 0.1, `${where}: left edge at ${(left / pxPerMm).toFixed(3)} mm, stock says ${x}`);
      assert.ok(Math.abs(top / pxPerMm - y) <= 0.1, `${where}: top edge at ${(top / pxPerMm).toFixed(3)} mm, stock says ${y}`);
    }
  }
});

designerTest('a round label prints only within its circle, at every place of the sheet, and what reaches off it is named', async ({ page }) => {
  await toolbar(page, 'newProject');
  await chooseStock(page, 'round 40', 'a4-4x6-round-40');
  // Black over the whole square box: its corners lie off the round label.
  const { sheet } = await blackBox(page, { xMm: 0, yMm: 0, widthMm: 40, heightMm: 40 });
  assert.match(await page.innerText('[data-testid="prop-off-label"]'), /超出标签/);
  await toolbar(page, 'exportPdf');
  assert.match(await page.innerText('[data-testid="check-off-label"]'), /1 个对象超出标签范围：矩形/);
  await setField(page, 'print-per-record', 2);
  const pdf = path.join(scratchDir(), 'round.pdf');
  await (await download(page, () => page.click('[data-testid="print-start"]'))).saveAs(pdf);
  const dpi = 200;
  const { width, pixels } = pageGrey(pdf, 1, dpi);
  const grey = (xMm, yMm) => pixels[Math.round(yMm * dpi / 25.4) * width + Math.round(xMm * dpi / 25.4)];
  for (const column of [0, 1]) {
    const x = sheet.marginLeftMm + column * sheet.pitchXMm;
    const y = sheet.marginTopMm;
    const where = `label ${column + 1}`;
    assert.ok(grey(x + 20, y + 20) < 64, `${where}: its centre is printed`);
    assert.ok(grey(x + 20, y + 1) < 64 && grey(x + 1, y + 20) < 64, `${where}: its circle reaches its box's sides`);
    for (const [dx, dy] of [[2, 2], [38, 2], [2, 38], [38, 38]]) assert.ok(grey(x + dx, y + dy) > 240, `${where}: the corner (${dx}, ${dy}) stays blank`);
  }
  assert.ok(grey(sheet.marginLeftMm + 2 * sheet.pitchXMm + 20, sheet.marginTopMm + 20) > 240, 'the third place is left empty');
});

designerTest('a design chosen with the stock lays out its fields on that label', async ({ page }) => {
  await toolbar(page, 'newProject');
  // Narrowing the search keeps the dialog where it is and previews only what is still listed.
  const where = () => page.evaluate(() => [document.querySelector('[data-testid="chooser-search"]').getBoundingClientRect().top, document.querySelector('.chooser-scroll').getBoundingClientRect().height]);
  await page.fill('[data-testid="chooser-search"]', '60');
  await page.click('[data-testid="chooser-results"] [data-testid="stock-item"][data-id="roll-60x40"]');
  const before = await where();
  await page.fill('[data-testid="chooser-search"]', '99x38');
  assert.deepEqual(await where(), before);
  assert.doesNotMatch(await page.innerText('[data-testid="stock-detail"]'), /60 × 40/);
  assert.match(await page.innerText('[data-testid="stock-detail"]'), /99\.1 × 38\.1 mm/);
  await page.fill('[data-testid="chooser-search"]', '4x6 in');
  await page.selectOption('[data-testid="chooser-design"]', 'shipping');
  await page.press('[data-testid="chooser-search"]', 'Enter');
  await page.waitForSelector('[data-testid="stock-chooser"]', { state: 'detached' });
  const { doc } = await editorState(page);
  assert.deepEqual([doc.widthMm, doc.heightMm], [101.6, 152.4]);
  assert.deepEqual(doc.objects.map((o) => o.type), ['text', 'rect', 'text', 'text', 'barcode']);
  assert.equal(doc.objects[4].data, '{{运单号}}');
  assert.ok(doc.objects[4].widthMm > 80, 'the code spans the label');
});
