// The data panel's records table, the field picker and typed picture sizes in a real browser.
import assert from 'node:assert/strict';
import { writeFile } from 'node:fs/promises';
import path from 'node:path';
import { designerTests, pickFile, setField, toolbar } from './support.mjs';

const { designerTest, scratch } = designerTests();

async function importCsv(page, name, text) {
  const file = path.join(scratch(), name);
  await writeFile(file, text);
  await toolbar(page, 'dataSource');
  await pickFile(page, () => page.click('[data-testid="data-import"]'), file);
  await page.waitForFunction((n) => window.quillmark.merge.settings.source?.name === n && window.quillmark.merge.table, name);
}

designerTest('the records table: only the rows in view exist, search finds any cell, a click previews, ticks choose what prints', async ({ page }) => {
  const rows = Array.from({ length: 5000 }, (_, i) => `P-${i + 1},货品${i + 1},${(i % 7) + 1}`);
  await importCsv(page, 'many.csv', `SKU,品名,数量\n${rows.join('\n')}\n`);
  await page.evaluate(() => {
    const e = window.quillmark.editor;
    const text = e.insert('text');
    e.update(text.id, { text: '{{品名}}' });
  });
  await page.click('[data-testid="records-open"]');
  await page.waitForSelector('[data-testid="records-row"]');
  assert.ok(await page.locator('[data-testid="records-row"]').count() < 40, 'rows out of view are not in the page');
  await page.locator('[role="grid"]').evaluate((grid) => { grid.scrollTop = 24 * 4000; });
  await page.waitForSelector('[data-testid="records-row"][data-record="4001"]');

  await page.fill('[data-testid="records-search"]', '货品4711');
  await page.waitForFunction(() => document.querySelectorAll('[data-testid="records-row"]').length === 1);
  assert.match(await page.textContent('[data-testid="records-shown"]'), /1 \/ 5000/);
  await page.click('[data-testid="records-row"][data-record="4711"] span:nth-child(3)');
  assert.equal(await page.evaluate(() => window.quillmark.merge.previewIndex), 4710);
  assert.equal(await page.textContent('[data-testid="record-position"]'), '第 4711 / 5000 条');
  await page.check('[data-testid="records-row"][data-record="4711"] [data-testid="records-tick"]');
  // The tick does not move the preview.
  await page.fill('[data-testid="records-search"]', 'P-12,');
  await page.fill('[data-testid="records-search"]', '货品12');
  await page.waitForFunction(() => document.querySelector('[data-testid="records-shown"]').textContent.includes('111 / 5000'));
  await page.click('[data-testid="records-tick-shown"]');
  const chosen = await page.evaluate(() => [...window.quillmark.merge.chosen].sort((a, b) => a - b));
  assert.equal(chosen.length, 112);
  assert.ok(chosen.includes(4710) && chosen.includes(11) && chosen.includes(1199));

  // The job prints the ticked records of its range, as long as the choice is on.
  await toolbar(page, 'exportPdf');
  await page.waitForSelector('[data-testid="print-only-chosen"]');
  assert.equal(await page.textContent('[data-testid="job-summary"]'), '112 张标签，112 页');
  await setField(page, 'print-to', 1000);
  assert.equal(await page.textContent('[data-testid="job-summary"]'), '11 张标签，11 页');
  await page.uncheck('[data-testid="print-only-chosen"]');
  assert.equal(await page.textContent('[data-testid="job-summary"]'), '1000 张标签，1000 页');
});

/** Waits for the text field to show `text` (the panel redraws after the edit); fails with what it shows. */
async function textBecomes(page, text) {
  const shown = () => page.inputValue('[data-testid="prop-text"]');
  await page.waitForFunction((t) => document.querySelector('[data-testid="prop-text"]').value === t, text, { timeout: 5000 }).catch(() => {});
  assert.equal(await shown(), text);
}

designerTest('the field picker inserts at the cursor or over the selection; a typed side keeps a picture\'s proportions', async ({ page }) => {
  await importCsv(page, 'few.csv', '品名,价格\n铅笔,2.675\n');
  await page.evaluate(() => {
    const e = window.quillmark.editor;
    const text = e.insert('text');
    e.update(text.id, { text: '价格：元' });
    e.select([text.id]);
  });
  const field = page.locator('[data-testid="prop-text"]');
  await field.evaluate((el) => { el.focus(); el.setSelectionRange(3, 3); });
  await page.click('[data-testid="field-chip"][data-field="价格"]');
  await textBecomes(page, '价格：{{价格}}元');
  // A second click follows the first; a selection is replaced.
  await page.click('[data-testid="field-chip"][data-field="品名"]');
  await textBecomes(page, '价格：{{价格}}{{品名}}元');
  await field.evaluate((el) => { el.focus(); el.setSelectionRange(0, 2); });
  await page.click('[data-testid="field-chip"][data-field="$counter"]');
  await textBecomes(page, '{{$counter}}：{{价格}}{{品名}}元');

  await page.evaluate(() => {
    const e = window.quillmark.editor;
    const image = e.insert('image');
    e.update(image.id, { widthMm: 32, heightMm: 16 });
    e.select([image.id]);
  });
  await setField(page, 'prop-width', 9);
  let image = await page.evaluate(() => window.quillmark.editor.selectedObjects[0]);
  assert.deepEqual([image.widthMm, image.heightMm], [9, 4.5]);
  await setField(page, 'prop-height', 12);
  image = await page.evaluate(() => window.quillmark.editor.selectedObjects[0]);
  assert.deepEqual([image.widthMm, image.heightMm], [24, 12]);
});
