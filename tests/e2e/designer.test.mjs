// The label designer inside the real program: the bundle runs in the host's engine, the font
// chooser is filled from the host, a project is opened and saved through the real channel, and
// recent projects reopen by their paths.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { describe, it } from 'node:test';
import { encode } from 'fast-png';
import { clickElement, clickWhenShown, dialogText, hostForTests, labelProject } from './harness.mjs';

const PIXEL_PNG = 'data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAIAAAACCAYAAABytg0kAAAAFklEQVR4nGP4z8DwHwyBNAMDAwMDAwBD3wX7pWz7ggAAAABJRU5ErkJggg==';

// DevTools key input never completes in the offscreen host, so the page's own DOM clicks and types.
const clickAction = (page, action) => clickElement(page, `button[data-action="${action}"]`);

function shortcut(page, code, { shift = false } = {}) {
  return page.evaluate(([c, s]) => {
    window.dispatchEvent(new KeyboardEvent('keydown', { code: c, key: c.replace(/^Key/, '').toLowerCase(), ctrlKey: true, shiftKey: s, bubbles: true, cancelable: true }));
  }, [code, shift]);
}

function editorState(page) {
  return page.evaluate(() => {
    const e = window.quillmark.editor;
    return { doc: e.state.doc, dirty: e.dirty, projectPath: e.state.projectPath, mode: e.api.mode, fonts: e.state.fonts };
  });
}

describe('the designer in the program', () => {
  const context = hostForTests();

  it('runs in host mode with the installed fonts in the font chooser', async () => {
    const { host } = context;
    assert.equal((await editorState(host.page)).mode, 'host');
    const reply = await host.call('listLocalFonts');
    assert.ok(reply.fonts.some((font) => font.name === 'DejaVu Sans'), JSON.stringify(reply.fonts.slice(0, 5)));
    const families = new Set(reply.fonts.map((f) => f.value));
    await clickAction(host.page, 'insertText');
    // The installed fonts are listed after the designer is shown.
    await host.page.waitForFunction((names) => {
      const offered = Array.from(document.querySelectorAll('[data-testid="prop-font"] option'), (o) => o.textContent);
      return names.every((name) => offered.includes(name));
    }, [...families], { timeout: 15_000 }).catch(() => {});
    const options = await host.page.evaluate(() => Array.from(document.querySelectorAll('[data-testid="prop-font"] option'), (o) => o.textContent));
    // Qt names a family offered by several foundries "Family [Foundry]"; the chooser offers it once, by its name.
    for (const family of families) assert.ok(options.includes(family.replace(/\s*\[[^\]]*\]$/, '')), `${family} is offered`);
    assert.equal(new Set(options).size, options.length, 'no family is offered twice');
    assert.ok(options.includes('Noto Sans CJK SC'), 'the default Chinese family is installed and offered');
  });

  it('opens a project by path, saves it to the same file and reopens it unchanged', async () => {
    const { host } = context;
    const file = path.join(host.root, '货架.cwrt');
    fs.writeFileSync(file, JSON.stringify(labelProject('货架', [{ type: 'text', id: 't1', xMm: 2, yMm: 2, widthMm: 46, heightMm: 8, text: '货架 A-12' }])));
    // The label from the previous test is unsaved: New asks first, and this test lets it go.
    await shortcut(host.page, 'KeyN');
    assert.match(await dialogText(host.page), /未保存/);
    await clickElement(host.page, '[data-testid="dialog-discard"]');
    await host.page.evaluate((p) => window.quillmark.editor.openProject(p), file);
    let state = await editorState(host.page);
    assert.deepEqual([state.projectPath, state.doc.objects[0].text], [file, '货架 A-12']);

    // Edit as a person would, then a plain save: no dialog, the same file.
    await clickAction(host.page, 'insertBarcode');
    await clickAction(host.page, 'insertQr');
    await host.page.evaluate((src) => {
      const e = window.quillmark.editor;
      e.apply((doc) => ({ ...doc, objects: [...doc.objects, { id: 'img', type: 'image', xMm: 40, yMm: 20, widthMm: 8, heightMm: 8, rotation: 0, locked: false, src, keepAspect: true }] }));
    }, PIXEL_PNG);
    await shortcut(host.page, 'KeyS');
    await host.page.waitForFunction(() => !window.quillmark.editor.dirty);
    state = await editorState(host.page);
    const written = JSON.parse(fs.readFileSync(file, 'utf8'));
    assert.equal(written.format, 'quillmark-label');
    assert.deepEqual(written.objects, state.doc.objects);
    assert.equal(await host.page.evaluate(() => document.querySelectorAll('[data-testid="dirty-marker"]').length), 0);

    // A new label, then the saved file again: identical.
    const saved = state.doc;
    await shortcut(host.page, 'KeyN');
    await clickWhenShown(host.page, '[data-testid="chooser-custom"]');
    assert.equal((await editorState(host.page)).doc.objects.length, 0);
    await host.page.evaluate((p) => window.quillmark.editor.openProject(p), file);
    assert.deepEqual((await editorState(host.page)).doc, saved);
  });

  it('says in the interface\'s language what failed and what to do', async () => {
    const { host } = context;
    const before = (await editorState(host.page)).doc;
    const openMissing = async (name = 'missing.cwrt') => {
      await host.page.evaluate((p) => window.quillmark.editor.openProject(p), path.join(host.root, name));
      const text = await dialogText(host.page);
      await clickElement(host.page, '[data-testid="dialog-ok"]');
      return text;
    };
    assert.match(await openMissing(), /“missing\.cwrt”[\s\S]*无法读取文件。请确认/);
    fs.writeFileSync(path.join(host.root, 'empty.cwrt'), '');
    assert.match(await openMissing('empty.cwrt'), /“empty\.cwrt”[\s\S]*无法读取文件/);
    await host.page.evaluate(() => window.quillmark.editor.setLanguage('en'));
    assert.match(await openMissing(), /"missing\.cwrt"[\s\S]*The file cannot be read\. Check that it exists/);
    await host.page.evaluate(() => window.quillmark.editor.setLanguage('zh-CN'));
    assert.deepEqual((await editorState(host.page)).doc, before);
  });

  it('lists the last projects by path, reopens them from the chooser and the Open list, and drops one that is gone', async () => {
    const { host } = context;
    const page = host.page;
    const files = ['库存.cwrt', 'shipping.cwrt', 'asset.cwrt'].map((name) => path.join(host.root, name));
    files.forEach((file, i) => fs.writeFileSync(file, JSON.stringify({
      format: 'quillmark-label', version: 1, label: { name: path.basename(file, '.cwrt'), widthMm: 40 + 10 * i, heightMm: 30 }, objects: [],
    })));
    const recent = () => page.evaluate(() => window.quillmark.editor.state.recentProjects);
    const before = await recent();
    for (const file of files) assert.equal(await page.evaluate((p) => window.quillmark.editor.openProject(p), file), true);
    assert.deepEqual(await recent(), [...files].reverse().concat(before).slice(0, 10), 'newest first');

    // New shows the chooser with the recent projects; one click reopens the first file.
    await clickAction(page, 'newProject');
    const listed = await page.evaluate(() => [...document.querySelectorAll('[data-testid="chooser-recent"] [data-testid="recent-project"]')].map((b) => b.dataset.path));
    assert.deepEqual(listed, await recent());
    await clickWhenShown(page, `[data-testid="chooser-recent"] [data-path="${files[0]}"]`);
    await page.waitForFunction((p) => window.quillmark.editor.state.projectPath === p, files[0]);
    assert.deepEqual(await page.evaluate(() => [window.quillmark.editor.state.stockChooser, window.quillmark.editor.state.doc.widthMm]), [false, 40]);
    assert.deepEqual((await recent()).slice(0, 3), [files[0], files[2], files[1]]);

    // From the list beside Open: a file that no longer opens is refused, then leaves the list with a message.
    fs.rmSync(files[1]);
    await clickWhenShown(page, '[data-testid="recent-menu"]');
    await clickWhenShown(page, `[data-testid="recent-list"] [data-path="${files[1]}"]`);
    assert.match(await dialogText(page), /无法读取文件/);
    await clickWhenShown(page, '[data-testid="dialog-ok"]');
    await page.waitForFunction((p) => !window.quillmark.editor.state.recentProjects.includes(p), files[1]);
    assert.equal((await editorState(page)).projectPath, files[0]);
    assert.match(await page.evaluate(() => document.body.innerText), /无法再打开 .*shipping\.cwrt，已从最近的项目中移除/);
    assert.deepEqual(await page.evaluate(() => JSON.parse(localStorage.getItem('quillmark.recentProjects'))), await recent(), 'kept for the next run');
    assert.deepEqual(context.errors, []);
  });

  it('reads a large project beside the window: a big picture opens whole, a million objects are refused', async () => {
    const { host } = context;
    // Noise does not compress: a 1,200 × 1,200 picture makes a project of about 5.8 MB.
    let seed = 7;
    const noise = Uint8Array.from({ length: 1200 * 1200 * 3 }, () => (seed = (seed * 1103515245 + 12345) >>> 0) >>> 24);
    const src = `data:image/png;base64,${Buffer.from(encode({ width: 1200, height: 1200, data: noise, channels: 3 })).toString('base64')}`;
    const big = path.join(host.root, 'photo.cwrt');
    fs.writeFileSync(big, JSON.stringify(labelProject('photo', [{ id: 'p', type: 'image', xMm: 1, yMm: 1, widthMm: 40, heightMm: 28, src, keepAspect: true }])));
    assert.equal(await host.page.evaluate((p) => window.quillmark.editor.openProject(p), big), true);
    const opened = (await editorState(host.page)).doc;
    assert.deepEqual([opened.name, opened.objects.length, opened.objects[0].src === src], ['photo', 1, true]);

    const million = path.join(host.root, 'million.cwrt');
    // 46 MB, within what the host reads: the project's own limit on objects refuses it.
    const objects = Array.from({ length: 1_000_000 }, (_, i) => ({ id: `o${i}`, type: 'rect', xMm: i % 50, yMm: 1 }));
    fs.writeFileSync(million, JSON.stringify({ ...labelProject('million', []), objects }));
    assert.equal(await host.page.evaluate((p) => window.quillmark.editor.openProject(p), million), false);
    assert.match(await dialogText(host.page), /“million\.cwrt”[\s\S]*对象过多（1000000 个），一个工程最多 2000 个对象/);
    await clickElement(host.page, '[data-testid="dialog-ok"]');
    assert.deepEqual((await editorState(host.page)).doc, opened, 'the open project stays');
  });

  it('asks before quitting with unsaved work, then closes the program', async () => {
    const { host } = context;
    await clickAction(host.page, 'insertLine');
    await clickAction(host.page, 'quit');
    assert.match(await dialogText(host.page), /未保存/);
    await clickElement(host.page, '[data-testid="dialog-cancel"]');
    await new Promise((resolve) => setTimeout(resolve, 300));
    assert.equal(host.child.exitCode, null, 'cancel keeps the program open');

    const exited = new Promise((resolve) => host.child.once('exit', (code) => resolve(code)));
    await clickAction(host.page, 'quit');
    await dialogText(host.page);
    clickElement(host.page, '[data-testid="dialog-discard"]').catch(() => {});
    assert.equal(await exited, 0);
  });
});
