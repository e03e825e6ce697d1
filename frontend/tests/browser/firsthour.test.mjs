// What a new user meets in the first hour, in a real browser: recent projects within reach at
// small and large windows, a barcode filled from data checked with a record's value rather than
// its field name, and an unfilled frame that lets the objects inside it be clicked.
import assert from 'node:assert/strict';
import { writeFile } from 'node:fs/promises';
import path from 'node:path';
import { test } from 'node:test';
import { designerTests, editorState, nextFrame, openDesigner, pickFile, screenPoint, toolbar } from './support.mjs';

const { designerTest, scratch } = designerTests();

const RECENT = ['/srv/labels/shelf.cwrt', '/srv/labels/asset.cwrt', '/srv/labels/shipping.cwrt', '/srv/labels/a/long/folder/fourth.cwrt'];

/** True when a person can see and click the element: its middle is on screen and nothing covers it. */
function clickable(page, selector, index = 0) {
  return page.evaluate(([s, i]) => {
    const element = document.querySelectorAll(s)[i];
    const r = element.getBoundingClientRect();
    const x = r.left + r.width / 2, y = r.top + r.height / 2;
    if (x < 0 || y < 0 || x > innerWidth || y > innerHeight) return false;
    return element.contains(document.elementFromPoint(x, y));
  }, [selector, index]);
}

/** Scrolls with the mouse wheel over `over` until the element can be clicked; false if it never can. */
async function wheelTo(page, over, selector, index = 0) {
  const box = await page.locator(over).boundingBox();
  await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
  for (let i = 0; i < 12; i++) {
    if (await clickable(page, selector, index)) return true;
    await page.mouse.wheel(0, 120);
    await nextFrame(page);
  }
  return clickable(page, selector, index);
}

/** The designer in a window of this size, with four recent projects remembered, on the start chooser. */
async function sizedDesigner(browser, width, height) {
  const context = await browser.newContext({ viewport: { width, height } });
  await context.addInitScript((list) => localStorage.setItem('quillmark.recentProjects', JSON.stringify(list)), RECENT);
  return openDesigner(browser, { context, keepChooser: true });
}

for (const [width, height] of [[1280, 720], [1440, 920]]) {
  designerTest(`at ${width} × ${height} the recent projects are reached in the start chooser and the menu, by mouse and keys`, async ({ browser }) => {
    const { context, page, errors } = await sizedDesigner(browser, width, height);
    try {
      await page.waitForSelector('[data-testid="stock-chooser"]');
      // A stock chosen shows its drawing, which takes most of the column's height.
      await page.click('[data-testid="stock-item"]');
      await page.waitForSelector('[data-testid="stock-detail"]');
      const items = RECENT.length;
      for (let i = 0; i < items; i++) assert.ok(await wheelTo(page, '.chooser-detail', '[data-testid="chooser-recent"] [data-testid="recent-project"]', i), `recent project ${i + 1} by mouse`);
      assert.ok(await wheelTo(page, '.chooser-detail', '[data-testid="chooser-open"]'), '"Open another project" by mouse');
      // Tab brings each into view, as a person going through the dialog with the keyboard sees it.
      await page.evaluate(() => document.querySelector('.chooser-detail').scrollTop = 0);
      await page.focus('[data-testid="chooser-create"]');
      for (let i = 0; i < items; i++) {
        await page.keyboard.press('Tab');
        assert.equal(await page.evaluate(() => document.activeElement.dataset.path), RECENT[i]);
        assert.ok(await clickable(page, '[data-testid="chooser-recent"] [data-testid="recent-project"]', i), `recent project ${i + 1} by keys`);
      }
      await page.keyboard.press('Tab');
      assert.ok(await clickable(page, '[data-testid="chooser-open"]'), '"Open another project" by keys');
      await page.click('[data-testid="chooser-close"]');

      // Recent projects are opened by their path, which only the desktop program can: the page is
      // told it runs there, and opening is watched rather than done.
      await page.evaluate(() => {
        const editor = window.quillmark.editor;
        editor.api.mode = 'host';
        editor.openProject = async (path) => { window.openedRecent = path; return false; };
        editor.setLanguage('en');
      });
      await page.click('[data-testid="recent-menu"]');
      await page.waitForSelector('[data-testid="recent-popup"]');
      for (let i = 0; i < items; i++) assert.ok(await clickable(page, '[data-testid="recent-list"] [data-testid="recent-project"]', i), `menu item ${i + 1} by mouse`);
      await page.click('[data-testid="recent-list"] [data-testid="recent-project"] >> nth=2');
      assert.equal(await page.evaluate(() => window.openedRecent), RECENT[2]);
      // The menu closes once a project is chosen.
      await page.waitForSelector('[data-testid="recent-popup"]', { state: 'detached' });

      await page.focus('[data-testid="recent-menu"]');
      await page.keyboard.press('ArrowDown');
      // The first project takes the focus as the list opens.
      await page.waitForFunction((first) => document.activeElement.dataset.path === first, RECENT[0]);
      for (const key of ['ArrowDown', 'ArrowDown', 'ArrowDown']) await page.keyboard.press(key);
      assert.equal(await page.evaluate(() => document.activeElement.dataset.path), RECENT[3]);
      await page.keyboard.press('Enter');
      assert.equal(await page.evaluate(() => window.openedRecent), RECENT[3]);
      await page.focus('[data-testid="recent-menu"]');
      await page.keyboard.press('ArrowDown');
      await page.waitForFunction(() => document.activeElement.dataset.path);
      await page.keyboard.press('Escape');
      await page.waitForSelector('[data-testid="recent-popup"]', { state: 'detached' });
      assert.equal(await page.evaluate(() => document.activeElement.dataset.testid), 'recent-menu', 'Escape gives the focus back to the menu button');
      assert.deepEqual(errors, []);
    } finally {
      await context.close();
    }
  });
}

designerTest('a barcode filled from data is checked with the previewed record, not with its field name', async ({ page }) => {
  await page.evaluate(() => {
    const editor = window.quillmark.editor;
    editor.setLanguage('en');
    const code = editor.insert('barcode', 'ean13');
    editor.update(code.id, { data: '{{条码}}' });
  });
  await page.waitForSelector('[data-testid="barcode-from-data"]');
  assert.equal(await page.locator('[data-testid="barcode-error"]').count(), 0, 'the field name is not checked as digits');
  assert.match(await page.textContent('[data-testid="barcode-from-data"]'), /comes from the data \(\{\{条码\}\}\)/);

  const csv = path.join(scratch(), 'goods.csv');
  await writeFile(csv, '品名,条码\n茶,6901234567892\n糖,690123456789\n盐,12345\n');
  await toolbar(page, 'dataSource');
  await pickFile(page, () => page.click('[data-testid="data-import"]'), csv);
  await page.waitForFunction(() => window.quillmark.merge.table?.records.length === 3);
  await page.evaluate(() => window.quillmark.editor.select([window.quillmark.editor.state.doc.objects[0].id]));
  await page.waitForSelector('[data-testid="barcode-record"]');
  assert.equal(await page.textContent('[data-testid="barcode-record"]'), 'Record 1: 6901234567892');
  await page.click('[data-testid="record-last"]');
  await page.waitForSelector('[data-testid="barcode-error"]');
  assert.equal(await page.textContent('[data-testid="barcode-error"]'), 'Record 3 (12345): EAN-13 takes 12 or 13 digits; this has 5 characters.');
});

designerTest('an unfilled frame is picked by its outline, so the objects inside it can be clicked', async ({ page }) => {
  const ids = await page.evaluate(() => {
    const editor = window.quillmark.editor;
    const text = editor.insert('text');
    editor.update(text.id, { xMm: 20, yMm: 12, widthMm: 10, heightMm: 6 });
    // Frames drawn last lie on top of the text.
    const frame = editor.insert('rect');
    editor.update(frame.id, { xMm: 5, yMm: 5, widthMm: 40, heightMm: 20, strokeMm: 0.3 });
    const ring = editor.insert('ellipse');
    editor.update(ring.id, { xMm: 10, yMm: 2, widthMm: 30, heightMm: 26, strokeMm: 0.5 });
    editor.select([]);
    return { text: text.id, frame: frame.id, ring: ring.id };
  });
  const clickAt = async (xMm, yMm) => {
    await nextFrame(page);
    const p = await screenPoint(page, xMm, yMm);
    await page.mouse.click(p.x, p.y);
    return (await editorState(page)).selection;
  };
  assert.deepEqual(await clickAt(25, 15), [ids.text], 'inside both outlines the text underneath is taken');
  // A few screen pixels off the frame's line, inside it, still take the frame; its middle does not.
  const px = await page.evaluate(() => window.quillmark.stage().pxPerMm);
  assert.deepEqual(await clickAt(5 + 0.15 + 2 / px, 8), [ids.frame]);
  assert.deepEqual(await clickAt(25, 2.25), [ids.ring], 'the ellipse on its outline');
  assert.deepEqual(await clickAt(8, 20), [], 'empty label inside the frame selects nothing');
  // Filled, the frame is taken anywhere inside.
  await page.evaluate((id) => window.quillmark.editor.update(id, { fillColor: '#ffeeaa' }), ids.frame);
  assert.deepEqual(await clickAt(8, 20), [ids.frame]);
});

designerTest('a QR code sized by its X-dimension fills its frame on screen at any zoom, as it prints', async ({ page }) => {
  const id = await page.evaluate(() => {
    const editor = window.quillmark.editor;
    const qr = editor.insert('barcode', 'qrcode');
    editor.update(qr.id, { xdim: { mm: 0.4 }, data: 'QM-2026' });
    editor.select([]);
    return qr.id;
  });
  for (const zoom of [3.3, 4.7, 9.1]) {
    const measured = await page.evaluate(async ([objectId, z]) => {
      const stage = window.quillmark.stage();
      stage.zoomTo(z);
      await new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r)));
      const o = window.quillmark.editor.state.doc.objects.find((x) => x.id === objectId);
      const layer = stage.contentLayer.getCanvas();
      const ratio = layer.getPixelRatio();
      const from = stage.toScreen(o.xMm, o.yMm), to = stage.toScreen(o.xMm + o.widthMm, o.yMm + o.heightMm);
      const x0 = Math.floor((from.x - 4) * ratio), y0 = Math.floor((from.y - 4) * ratio);
      const w = Math.ceil((to.x - from.x + 8) * ratio), h = Math.ceil((to.y - from.y + 8) * ratio);
      const pixels = layer.getContext()._context.getImageData(x0, y0, w, h).data;
      let left = w, right = -1;
      for (let y = 0; y < h; y++) for (let x = 0; x < w; x++) {
        const i = 4 * (y * w + x);
        if (pixels[i + 3] > 128 && pixels[i] < 128) { left = Math.min(left, x); right = Math.max(right, x); }
      }
      return { drawn: (right - left + 1) / ratio, frame: to.x - from.x };
    }, [id, zoom]);
    assert.ok(Math.abs(measured.drawn - measured.frame) <= 1.5, `at zoom ${zoom}: drawn ${measured.drawn} px, frame ${measured.frame} px`);
  }
});

designerTest('Escape closes the print dialog wherever the focus is', async ({ page }) => {
  for (const open of [() => toolbar(page, 'exportPdf'), () => page.keyboard.press('Control+KeyP')]) {
    await open();
    await page.waitForSelector('[data-testid="print-dialog"]');
    // A click on the dimmed window behind the dialog leaves the focus on the page itself.
    await page.mouse.click(5, 300);
    assert.equal(await page.evaluate(() => document.activeElement === document.body), true);
    await page.keyboard.press('Escape');
    await page.waitForSelector('[data-testid="print-dialog"]', { state: 'detached' });
  }
});
