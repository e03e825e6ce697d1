// What a new user meets in the first hour, in a real browser: recent projects within reach at
// small and large windows, a barcode filled from data checked with a record's value rather than
// its field name, unfilled frames that let what is inside them be clicked, and Escape.
import assert from 'node:assert/strict';
import { writeFile } from 'node:fs/promises';
import path from 'node:path';
import { designerTests, editorState, nextFrame, pickFile, screenPoint, toolbar } from './support.mjs';

const { designerTest, scratch } = designerTests();
const RECENT = ['/srv/labels/shelf.cwrt', '/srv/labels/asset.cwrt', '/srv/labels/shipping.cwrt', '/srv/labels/a/long/folder/fourth.cwrt'];

/** For each element of `selector`: can it be clicked, its middle on screen and not covered? */
const clickable = (page, selector) => page.evaluate((s) => Array.from(document.querySelectorAll(s), (e) => {
  const r = e.getBoundingClientRect();
  return e.contains(document.elementFromPoint(r.left + r.width / 2, r.top + r.height / 2));
}), selector);
const focusedPath = (page) => page.evaluate(() => document.activeElement.dataset.path);

for (const [width, height] of [[1280, 720], [1440, 920]]) {
  designerTest(`at ${width} × ${height} the recent projects are reached in the start chooser and the menu, by mouse and keys`, async ({ page }) => {
    await page.setViewportSize({ width, height });
    await page.evaluate((list) => localStorage.setItem('quillmark.recentProjects', JSON.stringify(list)), RECENT);
    await page.reload();
    await page.waitForFunction(() => window.quillmarkReady === true);
    // A stock chosen shows its drawing, which takes most of the column's height.
    await page.click('[data-testid="stock-item"]');
    const listed = '[data-testid="chooser-recent"] [data-testid="recent-project"], [data-testid="chooser-open"]';
    await page.hover('[data-testid="stock-detail"]');
    for (let i = 0; i < 4; i++) await page.mouse.wheel(0, 300);
    await nextFrame(page);
    assert.deepEqual(await clickable(page, listed), [true, true, true, true, true], 'by mouse');
    // Tab from "New label" goes through the projects and "Open another project", each brought into view.
    await page.evaluate(() => document.querySelector('.chooser-detail').scrollTop = 0);
    await page.focus('[data-testid="chooser-create"]');
    for (let i = 0; i < 5; i++) {
      await page.keyboard.press('Tab');
      assert.equal((await clickable(page, listed))[i] && await page.evaluate((s) => document.activeElement.matches(s), listed), true, `by keys, ${i + 1}`);
    }
    await page.click('[data-testid="chooser-close"]');

    // Recent projects open by path, which only the desktop program can: the page is told it runs
    // there, and what it would open is recorded.
    await page.evaluate(() => {
      const editor = window.quillmark.editor;
      editor.api.mode = 'host';
      editor.openProject = async (path) => { window.openedRecent = path; return false; };
      editor.setLanguage('en');
    });
    await page.click('[data-testid="recent-menu"]');
    assert.deepEqual(await clickable(page, '[data-testid="recent-list"] [data-testid="recent-project"]'), [true, true, true, true], 'menu by mouse');
    await page.click('[data-testid="recent-list"] [data-testid="recent-project"] >> nth=2');
    await page.waitForSelector('[data-testid="recent-popup"]', { state: 'detached' });
    assert.equal(await page.evaluate(() => window.openedRecent), RECENT[2]);
    await page.focus('[data-testid="recent-menu"]');
    await page.keyboard.press('ArrowDown');
    await page.waitForFunction((first) => document.activeElement.dataset.path === first, RECENT[0]);
    for (const key of ['ArrowDown', 'ArrowDown', 'ArrowDown', 'Enter']) await page.keyboard.press(key);
    assert.equal(await page.evaluate(() => window.openedRecent), RECENT[3]);
  }, { keepChooser: true });
}

designerTest('a barcode filled from data is checked with the previewed record, not with its field name', async ({ page }) => {
  await page.evaluate(() => {
    const editor = window.quillmark.editor;
    editor.setLanguage('en');
    editor.update(editor.insert('barcode', 'ean13').id, { data: '{{条码}}' });
  });
  assert.match(await page.textContent('[data-testid="barcode-from-data"]'), /comes from the data \({{条码}}\)/);
  assert.equal(await page.locator('[data-testid="barcode-error"]').count(), 0, 'the field name is not checked as digits');
  const csv = path.join(scratch(), 'goods.csv');
  await writeFile(csv, '品名,条码\n茶,6901234567892\n盐,12345\n');
  await toolbar(page, 'dataSource');
  await pickFile(page, () => page.click('[data-testid="data-import"]'), csv);
  await page.evaluate(() => window.quillmark.editor.select([window.quillmark.editor.state.doc.objects[0].id]));
  assert.equal(await page.textContent('[data-testid="barcode-record"]'), 'Record 1: 6901234567892');
  await page.click('[data-testid="record-last"]');
  assert.equal(await page.textContent('[data-testid="barcode-error"]'), 'Record 2 (12345): EAN-13 takes 12 or 13 digits; this has 5 characters.');
});

designerTest('an unfilled frame is picked by its outline, so the objects inside it can be clicked', async ({ page }) => {
  const ids = await page.evaluate(() => {
    const editor = window.quillmark.editor;
    return [['text', { xMm: 20, yMm: 12, widthMm: 10, heightMm: 6 }], ['rect', { xMm: 5, yMm: 5, widthMm: 40, heightMm: 20 }],
      ['ellipse', { xMm: 10, yMm: 2, widthMm: 30, heightMm: 26, strokeMm: 0.5 }]].map(([type, box]) => (editor.update(editor.insert(type).id, box), editor.state.selection[0]));
  });
  const px = await page.evaluate(() => window.quillmark.stage().pxPerMm);
  // Inside both outlines, a few screen pixels inside the frame's 0.3 mm line, on the ellipse's line, on bare paper.
  for (const [x, y, picked] of [[25, 15, ids[0]], [5.3 + 2 / px, 8, ids[1]], [25, 2.25, ids[2]], [8, 20, undefined]]) {
    await nextFrame(page);
    const at = await screenPoint(page, x, y);
    await page.mouse.click(at.x, at.y);
    assert.equal((await editorState(page)).selection[0], picked, `click at ${x}, ${y}`);
  }
});

designerTest('Escape closes the print dialog wherever the focus is', async ({ page }) => {
  await toolbar(page, 'exportPdf');
  // A click on the dimmed window behind the dialog leaves the focus on the page itself.
  await page.mouse.click(5, 300);
  await page.keyboard.press('Escape');
  await page.waitForSelector('[data-testid="print-dialog"]', { state: 'detached' });
});
