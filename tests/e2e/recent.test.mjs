// Recent projects in the real program: files opened by path in a temporary folder come back in the
// list beside Open and in the new-label chooser, reopen with one click, and one that is gone leaves
// the list with a message.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, it } from 'node:test';
import { startHost } from './harness.mjs';

function project(name, widthMm) {
  return JSON.stringify({ format: 'quillmark-label', version: 1, label: { name, widthMm, heightMm: 30 }, objects: [] });
}

/** Clicks in the page's own DOM once the element is there (the host's engine is too old for Playwright's clicks). */
async function click(page, selector) {
  await page.waitForFunction((s) => document.querySelector(s), selector);
  await page.evaluate((s) => document.querySelector(s).click(), selector);
}

const state = (page) => page.evaluate(() => {
  const s = window.quillmark.editor.state;
  return { projectPath: s.projectPath, recent: s.recentProjects, chooser: s.stockChooser, widthMm: s.doc.widthMm };
});

describe('recent projects', () => {
  let host;
  const errors = [];
  before(async () => {
    host = await startHost();
    host.page.on('pageerror', (e) => errors.push(e.message));
  });
  after(async () => {
    await host?.stop();
  });

  it('lists the last projects by path, reopens them from the chooser and the Open list, and drops one that is gone', async () => {
    const files = ['货架.cwrt', 'shipping.cwrt', 'asset.cwrt'].map((name) => path.join(host.root, name));
    files.forEach((file, i) => fs.writeFileSync(file, project(path.basename(file, '.cwrt'), 40 + 10 * i)));
    for (const file of files) assert.equal(await host.page.evaluate((p) => window.quillmark.editor.openProject(p), file), true);
    assert.deepEqual((await state(host.page)).recent, [...files].reverse(), 'newest first');

    // New shows the chooser with the recent projects; one click reopens the first file.
    await click(host.page, 'button[data-action="newProject"]');
    const listed = await host.page.evaluate(() => [...document.querySelectorAll('[data-testid="chooser-recent"] [data-testid="recent-project"]')].map((b) => b.dataset.path));
    assert.deepEqual(listed, [...files].reverse());
    await click(host.page, `[data-testid="chooser-recent"] [data-path="${files[0]}"]`);
    await host.page.waitForFunction((p) => window.quillmark.editor.state.projectPath === p, files[0]);
    let now = await state(host.page);
    assert.deepEqual([now.chooser, now.widthMm, now.recent], [false, 40, [files[0], files[2], files[1]]]);

    // From the list beside Open: a file that no longer opens is refused, then leaves the list with a message.
    fs.rmSync(files[1]);
    await click(host.page, '[data-testid="recent-menu"]');
    await click(host.page, `[data-testid="recent-list"] [data-path="${files[1]}"]`);
    await click(host.page, '[data-testid="dialog-ok"]');
    await host.page.waitForFunction(() => window.quillmark.editor.state.recentProjects.length === 2);
    now = await state(host.page);
    assert.deepEqual([now.projectPath, now.recent], [files[0], [files[0], files[2]]]);
    assert.match(await host.page.evaluate(() => document.body.innerText), /shipping\.cwrt 已从最近的项目中移除|无法再打开 .*shipping\.cwrt/);
    assert.deepEqual(await host.page.evaluate(() => JSON.parse(localStorage.getItem('quillmark.recentProjects'))), [files[0], files[2]], 'kept for the next run');
    assert.deepEqual(errors, []);
  });
});
