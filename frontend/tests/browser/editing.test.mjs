// Editing on the label in a real browser: typing on the canvas (with an input method's
// composition for Chinese), free rotation, barcodes sized by their narrow-bar width, inches,
// and the view that keeps the label in sight.
import assert from 'node:assert/strict';
import { writeFile } from 'node:fs/promises';
import path from 'node:path';
import { designerTests, editorState, insert, labelPixels, nextFrame, objects, pickFile, runs, screenPoint, select, setField, toolbar } from './support.mjs';
import { decodeBarcode } from '../pdfpages.mjs';

const { designerTest, scratch: scratchDir } = designerTests();

const textOf = async (page) => (await objects(page))[0].text;
const editBox = (page) => page.locator('[data-testid="text-on-label"]');

designerTest('a text is typed on the label, in Latin and in Chinese through the input method, one undo step per edit', async ({ page }) => {
  await insert(page, 'insertText', { x: 5, y: 4 });
  const centre = await screenPoint(page, 20, 8);
  // Clickable where it now lies once the canvas has drawn it there.
  await nextFrame(page);
  await page.mouse.dblclick(centre.x, centre.y);
  await editBox(page).waitFor();
  // The typing box lies over the object: same corner, same width at this zoom.
  const box = await editBox(page).boundingBox();
  const corner = await screenPoint(page, 5, 4);
  const zoom = await page.evaluate(() => window.quillmark.stage().pxPerMm);
  assert.ok(Math.abs(box.x - corner.x) < 1.5 && Math.abs(box.y - corner.y) < 1.5 && Math.abs(box.width - 30 * zoom) < 1.5, JSON.stringify(box));
  await page.keyboard.type('Shelf A');
  await page.keyboard.press('Enter');
  await page.keyboard.type('12');
  assert.equal(await textOf(page), 'Shelf A\n12', 'the label follows the typing, Enter starts a line');
  await page.keyboard.press('Escape');
  await editBox(page).waitFor({ state: 'detached' });
  assert.equal((await editorState(page)).selection.length, 1, 'Escape finishes typing, not the selection');

  // Pinyin composed by an input method: the label takes only the chosen characters, and keys
  // that would end the edit (Escape, Ctrl+Enter) do not while the input method composes. The
  // object, hidden while typed in, is clickable again once the canvas has drawn it too.
  await nextFrame(page);
  await page.mouse.dblclick(centre.x, centre.y);
  await editBox(page).waitFor();
  await page.keyboard.press('Control+End');
  await page.keyboard.press('Enter');
  const ime = await page.context().newCDPSession(page);
  await ime.send('Input.imeSetComposition', { text: 'huo', selectionStart: 3, selectionEnd: 3 });
  await ime.send('Input.imeSetComposition', { text: 'huojia', selectionStart: 6, selectionEnd: 6 });
  assert.equal(await textOf(page), 'Shelf A\n12\n', 'nothing of the pinyin reaches the label');
  await page.keyboard.press('Escape');
  await page.keyboard.press('Control+Enter');
  assert.equal(await editBox(page).count(), 1, 'keys during composition belong to the input method');
  await ime.send('Input.insertText', { text: '货架' });
  assert.equal(await textOf(page), 'Shelf A\n12\n货架');
  // A click elsewhere finishes too.
  const empty = await screenPoint(page, 45, 27);
  await page.mouse.click(empty.x, empty.y);
  await editBox(page).waitFor({ state: 'detached' });

  await page.keyboard.press('Control+z');
  assert.equal(await textOf(page), 'Shelf A\n12', 'the Chinese edit is one step');
  await page.keyboard.press('Control+z');
  assert.equal(await textOf(page), '文本', 'and so is the Latin one');
});

designerTest('shapes turn freely by the handle (Shift: 15° steps) and by number, and print turned exactly', async ({ page }) => {
  await toolbar(page, 'insertRect');
  await page.evaluate(() => {
    const e = window.quillmark.editor;
    e.update(e.state.selection[0], { xMm: 15, yMm: 10, widthMm: 20, heightMm: 10, fillColor: '#ff0000', strokeMm: 0 });
  });
  // The rotation handle sits above the top edge; dragged round the centre (25, 15) to 50°.
  const handle = async () => page.evaluate(() => {
    const stage = window.quillmark.stage();
    const p = stage.stage.findOne('.rotater').getAbsolutePosition();
    const rect = document.querySelector('[data-testid="stage"]').getBoundingClientRect();
    return { x: rect.left + p.x, y: rect.top + p.y };
  });
  const turnTo = async (degrees, shift) => {
    const from = await handle();
    const centre = await screenPoint(page, 25, 15);
    const r = Math.hypot(from.x - centre.x, from.y - centre.y);
    const a = (degrees * Math.PI) / 180;
    await page.mouse.move(from.x, from.y);
    await page.mouse.down();
    if (shift) await page.keyboard.down('Shift');
    await page.mouse.move(centre.x + r * Math.sin(a), centre.y - r * Math.cos(a), { steps: 8 });
    await page.mouse.up();
    if (shift) await page.keyboard.up('Shift');
    // A loaded machine may still be finishing the gesture when the next step begins.
    await page.waitForFunction(() => !window.quillmark.stage().transformer.isTransforming());
    return (await objects(page))[0].rotation;
  };
  const free = await turnTo(50, false);
  assert.ok(Math.abs(free - 50) < 1.5, `turned freely to ${free}°`);
  assert.equal(await turnTo(50, true), 45, 'Shift snaps to 15° steps');
  await setField(page, 'prop-rotation', '30');
  const [turned] = await objects(page);
  assert.deepEqual([turned.rotation, turned.xMm, turned.yMm], [30, 15, 10], 'turning keeps the box about its centre');

  // Drawn at 300 dpi: the turned rectangle's area and the box around its corners, within a pixel or so.
  const dpi = 300, k = dpi / 25.4;
  const image = await labelPixels(page, dpi);
  const drawn = image.red;
  const c = Math.cos(Math.PI / 6), s = Math.sin(Math.PI / 6);
  const halfW = (20 * c + 10 * s) / 2, halfH = (20 * s + 10 * c) / 2;
  assert.ok(Math.abs(drawn.count / (200 * k * k) - 1) < 0.02, `area ${drawn.count} px`);
  for (const [side, mm] of [['left', 25 - halfW], ['right', 25 + halfW], ['top', 15 - halfH], ['bottom', 15 + halfH]]) {
    assert.ok(Math.abs(drawn[side] / k - mm) <= 0.1, `${side}: ${(drawn[side] / k).toFixed(2)} mm, expected ${mm.toFixed(2)} mm`);
  }
  // Turned clockwise: the top-left corner is now the highest point, left of the centre.
  assert.ok(Math.abs(drawn.topX / k - (25 - 10 * c + 5 * s)) <= 0.2, `highest point at ${(drawn.topX / k).toFixed(2)} mm`);
  // The printer gets exactly what the renderer draws.
  const printed = await labelPixels(page, dpi, { print: true });
  assert.deepEqual(printed.red, drawn);
  assert.deepEqual(printed.pixels, image.pixels, 'and the same everywhere else');

  // A barcode keeps to quarter turns: its rotation is a choice of four.
  await toolbar(page, 'insertBarcode');
  assert.equal(await page.locator('[data-testid="prop-rotation"]').evaluate((e) => e.tagName), 'SELECT');
});

/** Narrowest bar or space (in pixels) across a barcode drawn at a resolution, and the text a GS1 reader decodes. */
async function printedCode(page, dpi) {
  const image = await labelPixels(page, dpi);
  const o = (await objects(page)).find((x) => x.type === 'barcode');
  const row = Math.round((o.yMm + o.heightMm * 0.3) * dpi / 25.4);
  return { narrowest: Math.min(...runs(image, row)), text: decodeBarcode(image, 'CODE_128', { gs1: true }) };
}

designerTest('a barcode is sized by its narrow bar in whole printer dots, warned by what prints, and its quiet zones kept clear', async ({ page }) => {
  await page.evaluate(() => window.quillmark.editor.apply((d) => ({ ...d, widthMm: 120, heightMm: 40, output: { printerName: '', dpi: 300 } })));
  await toolbar(page, 'insertBarcode');
  await page.selectOption('[data-testid="prop-symbology"]', 'ean13');
  await setField(page, 'prop-x', 10);
  const printed = page.locator('[data-testid="xdim-printed"]');
  const warning = page.locator('[data-testid="xdim-warning"]');
  // EAN-13 at 100 % (0.330 mm) is 4 dots at 300 dpi, 103 % of nominal: no warning.
  assert.match(await printed.innerText(), /4 点 = 0\.339 mm（300 dpi）.*103%/);
  assert.equal(await warning.count(), 0);
  assert.equal((await printedCode(page, 300)).narrowest, 4);
  let [barcode] = await objects(page);
  // 95 modules plus the digit beside the guard bars: the box is as wide as the symbol.
  assert.ok(barcode.widthMm > 95 * 0.3387 && barcode.widthMm < 110 * 0.3387, `box ${barcode.widthMm} mm`);
  assert.equal(barcode.xMm, 10);

  // At 70 % (0.231 mm) the printer makes 3 dots, 0.254 mm: below GS1's 80 %.
  await setField(page, 'prop-xdim', '0.231');
  await warning.waitFor();
  assert.match(await warning.innerText(), /0\.254 mm.*0\.264 mm/);
  assert.equal((await printedCode(page, 300)).narrowest, 3);
  const [narrower] = await objects(page);
  assert.ok(Math.abs(narrower.widthMm / barcode.widthMm - 3 / 4) < 0.01, 'the box follows the symbol');
  // In dots: 2 dots at 203 dpi is the dot minimum and still below the range.
  await page.selectOption('[data-testid="prop-xdim-unit"]', 'dots');
  await setField(page, 'prop-xdim', '2');
  await page.evaluate(() => window.quillmark.editor.apply((d) => ({ ...d, output: { printerName: '', dpi: 203 } })));
  assert.match(await printed.innerText(), /2 点 = 0\.250 mm（203 dpi）/);
  assert.equal((await printedCode(page, 203)).narrowest, 2);

  // Quiet zones: the label's edge and another object in them are named.
  const quiet = page.locator('[data-testid="quiet-zone-warning"]');
  assert.equal(await quiet.count(), 0);
  // 1 mm from the right edge: the 7 modules (1.75 mm) after the bars run past it.
  await setField(page, 'prop-x', Math.round((120 - 1 - (await objects(page))[0].widthMm) * 10) / 10);
  assert.match(await quiet.innerText(), /标签边缘/);
  await setField(page, 'prop-x', '20');
  const { id } = (await objects(page))[0];
  await insert(page, 'insertRect', { x: 16, y: 2 });
  await select(page, [id]);
  assert.match(await quiet.innerText(), /1 个对象/);

  // GS1-128: (AI) data with its check digit worked out, scanned back as a GS1 symbol.
  await page.selectOption('[data-testid="prop-symbology"]', 'gs1-128');
  await page.fill('[data-testid="prop-data"]', '(01)0950600013435(17)261231(10)AB12');
  assert.equal((await printedCode(page, 203)).text, ']C1010950600013435217261231' + '10AB12');
  await page.fill('[data-testid="prop-data"]', '(01)09506000134353');
  assert.match(await page.innerText('[data-testid="barcode-error"]'), /\(01\) 的校验位应为 2/);
  await page.fill('[data-testid="prop-data"]', '(01)09506000134352');
  await page.locator('[data-testid="barcode-error"]').waitFor({ state: 'detached' });
  assert.equal((await objects(page)).find((o) => o.id === id).symbology, 'gs1-128');
});

designerTest('an older project keeps its box-sized barcode until an X-dimension is set', async ({ page }) => {
  const file = path.join(scratchDir(), 'old.cwrt');
  const old = { id: 'b1', type: 'barcode', xMm: 5, yMm: 5, widthMm: 36, heightMm: 20, rotation: 90, locked: false, symbology: 'ean13', data: '590123412345', showText: true, color: '#000000' };
  await writeFile(file, JSON.stringify({ format: 'quillmark-label', version: 1, label: { name: 'old', widthMm: 50, heightMm: 40 }, objects: [old] }));
  await pickFile(page, () => toolbar(page, 'openProject'), file);
  await page.waitForFunction(() => window.quillmark.editor.state.doc.objects.length === 1);
  await select(page, ['b1']);
  await page.fill('[data-testid="prop-data"]', '400638133393');
  let [barcode] = await objects(page);
  assert.deepEqual([barcode.widthMm, barcode.heightMm, barcode.rotation, barcode.xdim], [36, 20, 90, undefined]);
  // The panel says so, and judges what the box makes: 36 mm at 203 dpi is 2 dots, 76 % of nominal.
  await page.locator('[data-testid="xdim-box-sized"]').waitFor();
  assert.match(await page.innerText('[data-testid="xdim-warning"]'), /0\.250 mm/);
  await setField(page, 'prop-xdim', '0.33');
  assert.deepEqual((await objects(page))[0].xdim, { mm: 0.33 });
  assert.equal(await page.locator('[data-testid="xdim-box-sized"]').count(), 0);
});

/** Waits for a field to show a value (fields take a new value after the panel has drawn). */
const shows = (page, testId, value) => page.waitForFunction(([id, v]) => document.querySelector(`[data-testid="${id}"]`).value === v, [testId, value], { timeout: 3000 });

designerTest('inches are shown and typed in fields and the status bar, and remembered', async ({ page }) => {
  await page.selectOption('[data-testid="unit"]', 'in');
  await shows(page, 'label-width', '1.97');
  assert.match(await page.innerText('[data-testid="status-label"]'), /1\.97 × 1\.18 in/);
  await setField(page, 'label-width', '4');
  await setField(page, 'label-height', '6');
  assert.deepEqual(await page.evaluate(() => [window.quillmark.editor.state.doc.widthMm, window.quillmark.editor.state.doc.heightMm]), [101.6, 152.4]);
  await page.reload();
  await page.waitForFunction(() => window.quillmarkReady === true);
  assert.equal(await page.inputValue('[data-testid="unit"]'), 'in');
  assert.match(await page.innerText('[data-testid="status-label"]'), /in$/);
  // Narrow bars in thousandths of an inch: EAN-13's 0.330 mm is 13 mil.
  await page.click('[data-testid="dialog-discard"]');
  await toolbar(page, 'insertBarcode');
  await page.selectOption('[data-testid="prop-symbology"]', 'ean13');
  await shows(page, 'prop-xdim', '13');
  await setField(page, 'prop-xdim', '10');
  assert.deepEqual((await objects(page))[0].xdim, { mm: 0.254 });
  // A new label of a free size is given in inches too.
  await page.keyboard.press('Escape');
  await page.keyboard.press('Control+n');
  await page.click('[data-testid="dialog-discard"]');
  await setField(page, 'chooser-width', '4');
  await setField(page, 'chooser-height', '2');
  await page.click('[data-testid="chooser-custom"]');
  assert.deepEqual(await page.evaluate(() => [window.quillmark.editor.state.doc.widthMm, window.quillmark.editor.state.doc.heightMm]), [101.6, 50.8]);
});

/**
 * The label's corners on screen lie inside the stage, and how much of the stage the label takes,
 * once a frame has passed (the stage learns of a new size from a resize observer).
 */
const fits = async (page) => (await nextFrame(page), page.evaluate(() => {
  const stage = window.quillmark.stage();
  const { widthMm, heightMm } = window.quillmark.editor.state.doc;
  const a = stage.toScreen(0, 0), b = stage.toScreen(widthMm, heightMm);
  const w = stage.stage.width(), h = stage.stage.height();
  return { inside: a.x >= 0 && a.y >= 0 && b.x <= w && b.y <= h, share: Math.max((b.x - a.x) / w, (b.y - a.y) / h), zoom: stage.getView().zoom };
}));

designerTest('the view fits the label when its size changes, a panel opens or a project opens, unless the person zoomed', async ({ page }) => {
  const fitted = async (why) => {
    const view = await fits(page);
    assert.ok(view.inside && view.share > 0.7, `${why}: ${JSON.stringify(view)}`);
    return view;
  };
  await setField(page, 'label-width', '300');
  await fitted('a new size');
  await toolbar(page, 'dataSource');
  const view = await fitted('with the data panel open');
  await toolbar(page, 'dataSource');
  assert.ok((await fits(page)).zoom > view.zoom, 'and larger again when it closes');

  await page.keyboard.press('Control+Equal');
  const zoomed = (await fits(page)).zoom;
  await setField(page, 'label-width', '40');
  assert.equal((await fits(page)).zoom, zoomed, 'a zoom the person chose stays');

  const file = path.join(scratchDir(), 'tall.cwrt');
  await writeFile(file, JSON.stringify({ format: 'quillmark-label', version: 1, label: { name: 'tall', widthMm: 100, heightMm: 400 }, objects: [] }));
  await page.keyboard.press('Control+o');
  await pickFile(page, () => page.click('[data-testid="dialog-discard"]'), file);
  await page.waitForFunction(() => window.quillmark.editor.state.doc.heightMm === 400);
  await fitted('an opened project');
});
