// The designer driven by clicks and keys in a real browser, as a person would use it.
import assert from 'node:assert/strict';
import { readFile, writeFile } from 'node:fs/promises';
import path from 'node:path';
import { designerTests, download, dragMm, editorState, insert, nextFrame, objects, openDesigner, pickFile, screenPoint, select, toolbar } from './support.mjs';

const { designerTest, scratch: scratchDir } = designerTests();

designerTest('a label is designed with the toolbar, the properties panel and the keyboard', async ({ page }) => {
  await insert(page, 'insertText', { x: 2.5, y: 3, width: 40 });
  await page.fill('[data-testid="prop-text"]', '货架 A-12');
  await insert(page, 'insertBarcode', { x: 5, y: 12 });
  await toolbar(page, 'insertQr');
  let { doc, dirty } = await editorState(page);
  assert.equal(dirty, true);
  assert.deepEqual(doc.objects.map((o) => o.type), ['text', 'barcode', 'barcode']);
  const [text, barcode, qr] = doc.objects;
  assert.equal(text.text, '货架 A-12');
  assert.deepEqual([text.xMm, text.yMm, text.widthMm], [2.5, 3, 40]);
  assert.deepEqual([barcode.symbology, barcode.xMm, barcode.yMm], ['code128', 5, 12]);
  assert.equal(qr.symbology, 'qrcode');

  // Arrow keys nudge the selection (the QR code) by 0.1 mm, with Shift by 1 mm.
  await page.click('[data-testid="stage"]', { position: { x: 5, y: 5 } });
  const start = (await objects(page))[2];
  await select(page, [qr.id]);
  for (let i = 0; i < 3; i++) await page.keyboard.press('ArrowRight');
  await page.keyboard.press('Shift+ArrowDown');
  ({ doc } = await editorState(page));
  assert.deepEqual([doc.objects[2].xMm, doc.objects[2].yMm], [start.xMm + 0.3, start.yMm + 1].map((v) => Math.round(v * 10) / 10));

  // Duplicate, delete, undo and redo by keyboard: the number of objects after each key.
  for (const [key, count] of [['Control+d', 4], ['Delete', 3], ['Control+z', 4], ['Control+z', 3], ['Control+y', 4], ['Control+Shift+z', 3]]) {
    await page.keyboard.press(key);
    assert.equal((await objects(page)).length, count, key);
  }

  // Copy and paste gives a shifted copy (the deleted duplicate took the selection with it).
  assert.deepEqual((await editorState(page)).selection, []);
  await select(page, [qr.id]);
  await page.keyboard.press('Control+c');
  await page.keyboard.press('Control+v');
  ({ doc } = await editorState(page));
  assert.equal(doc.objects.length, 4);
  assert.equal(doc.objects[3].xMm, Math.round((doc.objects[2].xMm + 2) * 10) / 10);

  // Undo walks all the way back to the empty label, redo all the way forward again.
  const steps = await page.evaluate(() => window.quillmark.editor.history.depth);
  for (let i = 0; i < steps; i++) await page.keyboard.press('Control+z');
  assert.deepEqual([(await objects(page)).length, (await editorState(page)).dirty], [0, false], 'back at the saved, empty state');
  for (let i = 0; i < steps; i++) await page.keyboard.press('Control+y');
  assert.equal((await objects(page)).length, 4);
});

designerTest('dragging with the mouse moves by the distance dragged, and the grid catches the position', async ({ page }) => {
  await insert(page, 'insertRect', { x: 10, y: 10 });
  // Filled, so that a press anywhere inside takes it (an unfilled shape is taken by its outline).
  await page.evaluate(() => window.quillmark.editor.updateSelected({ fillColor: '#dbe8fb' }));
  // 7.2 mm right and 3.1 mm down; snapping to the 1 mm grid takes it to 17, 13.
  await dragMm(page, 15, 13, [3.6, 1.5], [7.2, 3.1]);
  let { doc } = await editorState(page);
  assert.deepEqual([doc.objects[0].xMm, doc.objects[0].yMm], [17, 13]);
  // The page times the work of each frame it redrew for the drag (bench/frontend.mjs reads it).
  const frames = await page.evaluate(() => performance.getEntriesByName('quillmark-frame').map((m) => m.duration));
  assert.ok(frames.length > 0 && frames.every((ms) => ms > 0 && ms < 10_000), JSON.stringify(frames));

  // Without snapping the object lands where the mouse put it, within a tenth of a millimetre.
  await toolbar(page, 'snap');
  await dragMm(page, 20, 16, [4.33, -2.27]);
  ({ doc } = await editorState(page));
  assert.ok(Math.abs(doc.objects[0].xMm - 21.33) <= 0.1, String(doc.objects[0].xMm));
  assert.ok(Math.abs(doc.objects[0].yMm - 10.73) <= 0.1, String(doc.objects[0].yMm));

  // One undo step per drag.
  await page.keyboard.press('Control+z');
  ({ doc } = await editorState(page));
  assert.deepEqual([doc.objects[0].xMm, doc.objects[0].yMm], [17, 13]);

  // A band dragged over empty paper selects what it touches.
  await toolbar(page, 'insertEllipse');
  await page.keyboard.press('Escape');
  await dragMm(page, 1, 1, [48, 28]);
  assert.equal((await editorState(page)).selection.length, 2);
});

designerTest('a pointer move redraws no object, a drag only what moves, an edit what it changed', async ({ page }) => {
  const ids = await page.evaluate(() => {
    const editor = window.quillmark.editor;
    // Filled: dragged from the middle (an unfilled one is taken by its outline).
    for (let i = 0; i < 6; i++) editor.update(editor.insert('rect').id, { xMm: 2 + i * 7, yMm: 2, widthMm: 5, heightMm: 5, fillColor: '#dbe8fb' });
    editor.update(editor.insert('text').id, { xMm: 2, yMm: 12, text: 'No. {{$counter}}' });
    window.mergeNotices = 0;
    window.quillmark.merge.subscribe(() => window.mergeNotices++);
    return editor.state.doc.objects.map((o) => o.id);
  });
  const text = ids[6];
  const watch = async () => {
    await nextFrame(page);
    await page.evaluate(() => {
      window.quillmark.stage().drawsOf.clear();
      window.mergeNotices = 0;
    });
  };
  const seen = async () => {
    await nextFrame(page);
    return page.evaluate(() => ({ drawn: Object.fromEntries(window.quillmark.stage().drawsOf), mergeNotices: window.mergeNotices }));
  };

  await watch();
  const from = await screenPoint(page, 30, 24);
  const to = await screenPoint(page, 46, 28);
  await page.mouse.move(from.x, from.y);
  await page.mouse.move(to.x, to.y, { steps: 8 });
  assert.deepEqual(await seen(), { drawn: {}, mergeNotices: 0 }, 'moving over the label redraws nothing and leaves the merge alone');
  assert.match(await page.textContent('[data-testid="status-pointer"]'), / 4[5-6](\.\d+)?, 2[7-8](\.\d+)? /, 'the status bar follows the pointer');

  await watch();
  await dragMm(page, 4.5, 4.5, [0.5, 5], [1, 10]);
  const drag = await seen();
  assert.ok(Math.abs((await editorState(page)).doc.objects[0].yMm - 12) <= 0.5, 'the rectangle was dragged');
  assert.ok(drag.drawn[ids[0]] >= 5, `the dragged rectangle follows the pointer: ${JSON.stringify(drag.drawn)}`);
  for (const id of ids.slice(1)) assert.ok((drag.drawn[id] ?? 0) <= 3, `objects that stay are not redrawn on every frame: ${JSON.stringify(drag.drawn)}`);

  await watch();
  await page.evaluate((id) => window.quillmark.editor.update(id, { text: 'Nr. {{$counter}}' }), text);
  const edit = await seen();
  assert.equal(edit.drawn[text], 1, 'an edit redraws the object it changed, once');
  assert.ok(edit.mergeNotices >= 1, 'the merge follows the document');

  await watch();
  await page.evaluate(() => window.quillmark.merge.updateSettings({ counter: { ...window.quillmark.merge.settings.counter, start: 7 } }));
  assert.ok((await seen()).drawn[text] >= 1, 'a new counter start shows in the field');
  assert.equal(await page.evaluate(() => window.quillmark.merge.previewResolver('{{$counter}}')), '7');
});

designerTest('save downloads a project file that opens again unchanged; a broken file is refused', async ({ page }) => {
  await page.fill('[data-testid="label-name"]', '货架标签');
  for (const action of ['insertText', 'insertBarcode', 'insertQr']) await toolbar(page, action);
  await page.keyboard.press('Control+r');
  const before = (await editorState(page)).doc;
  const first = await download(page, () => page.keyboard.press('Control+s'));
  assert.equal(first.suggestedFilename(), '货架标签.cwrt');
  const saved = path.join(scratchDir(), 'shelf.cwrt');
  await first.saveAs(saved);
  const file = JSON.parse(await readFile(saved, 'utf8'));
  assert.equal(file.format, 'quillmark-label');
  assert.equal((await editorState(page)).dirty, false);
  await page.waitForSelector('[data-testid="dirty-marker"]', { state: 'detached' });

  // A new project (of a free size, from the chooser), then the saved file opened through the file
  // picker as shelf.json: unchanged, but never saved as a project, so Save names it anew.
  await page.keyboard.press('Control+n');
  await page.click('[data-testid="chooser-custom"]');
  assert.equal((await objects(page)).length, 0);
  const open = (file) => pickFile(page, () => toolbar(page, 'openProject'), file);
  const json = path.join(scratchDir(), 'shelf.json');
  await writeFile(json, await readFile(saved));
  await open(json);
  await page.waitForFunction(() => window.quillmark.editor.state.projectPath === 'shelf.json');
  const reopened = await editorState(page);
  assert.deepEqual([reopened.doc, reopened.dirty, reopened.name], [before, false, '货架标签']);
  assert.equal((await download(page, () => page.keyboard.press('Control+s'))).suggestedFilename(), '货架标签.cwrt');

  // Not a project: a clear message, and the open project stays as it was.
  const broken = path.join(scratchDir(), 'broken.cwrt');
  await writeFile(broken, '{"format":"quillmark-label","version":1,"label":');
  await open(broken);
  const dialog = page.locator('[data-testid="dialog"]');
  await dialog.waitFor();
  assert.match(await dialog.innerText(), /broken\.cwrt[\s\S]*不是有效的 JSON/);
  await page.click('[data-testid="dialog-ok"]');
  assert.deepEqual((await editorState(page)).doc, before);
});

designerTest('unsaved work is asked about before New, and recovered after the window went away', async ({ context, page, errors, browser }) => {
  await toolbar(page, 'insertText');
  await page.keyboard.press('Control+n');
  await page.locator('[data-testid="dialog"]').waitFor();
  await page.click('[data-testid="dialog-cancel"]');
  assert.equal((await objects(page)).length, 1, 'cancel keeps the work');

  // The page goes away without asking (as when the window's close button is used).
  await page.waitForTimeout(500);
  const again = await openDesigner(browser, { context });
  await page.close({ runBeforeUnload: false });
  const dialog = again.page.locator('[data-testid="dialog"]');
  await dialog.waitFor();
  await again.page.click('[data-testid="dialog-recover"]');
  const state = await editorState(again.page);
  assert.deepEqual([state.doc.objects.length, state.dirty], [1, true], 'recovered, and still unsaved');

  await again.page.keyboard.press('Control+n');
  await again.page.click('[data-testid="dialog-discard"]');
  await again.page.click('[data-testid="chooser-custom"]');
  assert.equal((await objects(again.page)).length, 0);
  assert.deepEqual([...errors, ...again.errors], []);
});

designerTest('English is chosen once and remembered; Chinese is the default, and says no desktop program is behind the page', async ({ page }) => {
  const caption = () => page.locator('button[data-action="insertText"]').innerText();
  assert.equal(await caption(), '文本');
  assert.equal(await page.evaluate(() => window.quillmarkBridge), undefined);
  assert.match(await page.locator('body').innerText(), /未连接桌面程序/);
  await page.selectOption('[data-testid="language"]', 'en');
  assert.equal(await caption(), 'Text');
  await page.reload();
  await page.waitForFunction(() => window.quillmarkReady === true);
  assert.equal(await caption(), 'Text');
  assert.equal(await page.evaluate(() => document.documentElement.lang), 'en');
});

designerTest('handles resize by the distance dragged; several selected objects move together', async ({ page }) => {
  await toolbar(page, 'snap');
  await insert(page, 'insertRect', { x: 5, y: 5, width: 10, height: 6 });
  await page.evaluate(() => window.quillmark.editor.updateSelected({ fillColor: '#dbe8fb' }));
  await dragMm(page, 15, 11, [4, 2.5]);
  const [rect] = await objects(page);
  assert.ok(Math.abs(rect.widthMm - 14) <= 0.1 && Math.abs(rect.heightMm - 8.5) <= 0.1, `${rect.widthMm} × ${rect.heightMm}`);
  assert.deepEqual([rect.xMm, rect.yMm], [5, 5], 'the opposite corner stays put');

  // Shift-click adds a second object; dragging one moves both by the same distance.
  await insert(page, 'insertEllipse', { x: 30, y: 15 });
  const onRect = await screenPoint(page, 8, 8);
  await page.keyboard.down('Shift');
  await page.mouse.click(onRect.x, onRect.y);
  await page.keyboard.up('Shift');
  assert.equal((await editorState(page)).selection.length, 2);
  await dragMm(page, 8, 8, [3, 1]);
  const moved = (await objects(page)).map((o) => [o.xMm, o.yMm]);
  assert.ok([[8, 6], [33, 16]].every(([x, y], i) => Math.abs(moved[i][0] - x) <= 0.1 && Math.abs(moved[i][1] - y) <= 0.1), JSON.stringify(moved));
});

designerTest('pictures are embedded from PNG and SVG files', async ({ page }) => {
  const png = path.join(scratchDir(), 'dot.png');
  await writeFile(png, Buffer.from('iVBORw0KGgoAAAANSUhEUgAAAAIAAAACCAYAAABytg0kAAAAFklEQVR4nGP4z8DwHwyBNAMDAwMDAwBD3wX7pWz7ggAAAABJRU5ErkJggg==', 'base64'));
  const svg = path.join(scratchDir(), 'logo.svg');
  await writeFile(svg, '<svg xmlns="http://www.w3.org/2000/svg" width="40" height="20"><rect width="40" height="20" fill="#1f3a5f"/></svg>');
  for (const [file, type] of [[png, 'image/png'], [svg, 'image/svg+xml']]) {
    await pickFile(page, () => toolbar(page, 'insertImage'), file);
    await page.waitForFunction((t) => window.quillmark.editor.state.doc.objects.some((o) => o.src && o.src.startsWith(`data:${t};base64,`)), type);
  }
  const logo = (await objects(page))[1];
  assert.ok(Math.abs(logo.widthMm / logo.heightMm - 2) < 0.05, 'the picture keeps its proportions');
  const notPicture = path.join(scratchDir(), 'notes.png');
  await writeFile(notPicture, 'just text');
  await pickFile(page, () => toolbar(page, 'insertImage'), notPicture);
  await page.locator('[data-testid="dialog"]').waitFor();
  assert.equal((await objects(page)).length, 2);
  await page.click('[data-testid="dialog-ok"]');

  // A 4000 × 2000 photo on a 50 × 30 mm label: 1182 pixels (50 mm at 600 dpi) are all it can
  // print; kept whole only when asked.
  const photo = path.join(scratchDir(), 'photo.png');
  await writeFile(photo, Buffer.from(await page.evaluate(() => {
    const canvas = Object.assign(document.createElement('canvas'), { width: 4000, height: 2000 });
    const ctx = canvas.getContext('2d');
    for (let x = 0; x < 4000; x += 50) ctx.fillRect(x, 0, 25, 2000);
    return canvas.toDataURL('image/png').split(',')[1];
  }), 'base64'));
  const insertedWidth = async () => {
    const count = (await objects(page)).length;
    await pickFile(page, () => toolbar(page, 'insertImage'), photo);
    await page.waitForFunction((n) => window.quillmark.editor.state.doc.objects.length === n, count + 1);
    return page.evaluate(() => new Promise((resolve) => {
      const image = Object.assign(new Image(), { onload: () => resolve(image.naturalWidth) });
      image.src = window.quillmark.editor.state.doc.objects.at(-1).src;
    }));
  };
  assert.equal(await insertedWidth(), 1182);
  await page.check('[data-testid="keep-original-pictures"]');
  assert.equal(await insertedWidth(), 4000);
});

designerTest('a typed size lands on its object even when the next click selects another', async ({ page }) => {
  await insert(page, 'insertRect', { x: 2, y: 2 });
  await page.evaluate(() => window.quillmark.editor.updateSelected({ fillColor: '#dbe8fb' }));
  await insert(page, 'insertEllipse', { x: 30, y: 15 });
  await page.fill('[data-testid="prop-width"]', '7.5');
  const onRect = await screenPoint(page, 5, 5);
  await page.mouse.click(onRect.x, onRect.y);
  const { doc, selection } = await editorState(page);
  assert.equal(selection[0], doc.objects[0].id, 'the click selected the rectangle');
  assert.equal(doc.objects[1].widthMm, 7.5, 'the ellipse got the typed width');
  assert.equal(doc.objects[0].widthMm, 20, 'the rectangle kept its own');

  // Saving while a field is still being edited saves the value on screen.
  await page.fill('[data-testid="prop-height"]', '9.5');
  const saved = JSON.parse(await readFile(await (await download(page, () => page.keyboard.press('Control+s'))).path(), 'utf8'));
  assert.equal(saved.objects[0].heightMm, 9.5);
});

designerTest('alignment, lock and stacking order from the toolbar; Ctrl+wheel zooms about the pointer', async ({ page }) => {
  await insert(page, 'insertRect', { x: 4 });
  await insert(page, 'insertEllipse', { x: 20 });
  await page.keyboard.press('Control+a');
  await toolbar(page, 'alignLeft');
  let { doc } = await editorState(page);
  assert.deepEqual(doc.objects.map((o) => o.xMm), [4, 4]);
  const ids = doc.objects.map((o) => o.id);
  await select(page, [ids[1]]);
  await toolbar(page, 'sendToBack');
  ({ doc } = await editorState(page));
  assert.deepEqual(doc.objects.map((o) => o.id), [ids[1], ids[0]]);
  await toolbar(page, 'insertLine');
  const line = (await objects(page))[2].id;
  await select(page, ids);
  await page.keyboard.press('Control+BracketRight');
  ({ doc } = await editorState(page));
  assert.deepEqual(doc.objects.map((o) => o.id), [line, ids[1], ids[0]], 'both selected objects go up one step');
  const area = await page.locator('[data-testid="stage"]').boundingBox();
  await page.mouse.click(area.x + area.width - 10, area.y + area.height - 10, { button: 'right' });
  assert.equal(await page.isDisabled('[data-testid="context-menu"] [data-action="paste"]'), false);
  await page.click('[data-testid="context-menu"] [data-action="sendBackward"]');
  ({ doc } = await editorState(page));
  assert.deepEqual(doc.objects.map((o) => o.id), [ids[1], ids[0], line], 'and down again from the context menu');
  assert.equal(await page.locator('[data-testid="context-menu"]').count(), 0);
  await select(page, [ids[1]]);

  // A locked object neither moves nor goes away, and says so in its panel.
  await toolbar(page, 'lock');
  assert.equal(await page.isDisabled('[data-testid="prop-x"]'), true);
  await page.keyboard.press('Shift+ArrowRight');
  await page.keyboard.press('Delete');
  ({ doc } = await editorState(page));
  assert.deepEqual([doc.objects.length, doc.objects.find((o) => o.id === ids[1]).xMm], [3, 4]);

  const before = await page.evaluate(() => window.quillmark.stage().getView().zoom);
  const at = await screenPoint(page, 25, 15);
  await page.mouse.move(at.x, at.y);
  await page.keyboard.down('Control');
  await page.mouse.wheel(0, -200);
  await page.keyboard.up('Control');
  await page.waitForFunction((z) => window.quillmark.stage().getView().zoom > z, before);
  const after = await screenPoint(page, 25, 15);
  assert.ok(Math.abs(after.x - at.x) < 1 && Math.abs(after.y - at.y) < 1, 'the point under the pointer stays put');
  await page.keyboard.press('Control+1');
  assert.equal(await page.evaluate(() => window.quillmark.stage().getView().zoom), 1);
  assert.equal(await page.innerText('[data-testid="zoom"]'), '100%');
});
