// The real program started from an install-like tree: it finds and shows its front end and the
// page reaches the bridge (commands.test.mjs calls every command through the channel).
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { describe, it } from 'node:test';
import { hostForTests, installedPrefix, sleep, startHost } from './harness.mjs';

describe('the program with its front end', () => {
  const context = hostForTests();

  it('loads the installed front end and says it is connected', async () => {
    const { host, errors } = context;
    assert.equal(host.page.url(), `file://${host.frontendDir}/index.html`);
    assert.equal(await host.page.evaluate(() => typeof window.quillmarkBridge.windowMinimize), 'function');
    assert.deepEqual(errors, []);
  });
});

describe('the program without a front end', () => {
  it('still opens its window and keeps running with an empty view', async () => {
    const host = await startHost({ frontend: false });
    try {
      await sleep(1500);
      assert.equal(host.child.exitCode, null);
      const urls = (await host.targets()).map((target) => target.url);
      assert.ok(urls.every((url) => !url.startsWith('file:')), `unexpected page ${urls}`);
    } finally {
      await host.stop();
    }
  });
});

describe('the installed tree', { skip: !installedPrefix && 'runs on an installed prefix only' }, () => {
  const listing = (folder) => fs.readdirSync(folder, { recursive: true }).map((entry) => entry.replaceAll(path.sep, '/'));

  it('holds the program, the served front end, the desktop entry and the icon', () => {
    for (const file of ['bin/quillmark', 'share/quillmark/frontend/index.html', 'share/applications/quillmark.desktop',
      'share/icons/hicolor/scalable/apps/quillmark.svg']) {
      assert.ok(fs.existsSync(path.join(installedPrefix, file)), `${file} is missing`);
    }
    const desktopEntry = fs.readFileSync(path.join(installedPrefix, 'share/applications/quillmark.desktop'), 'utf8');
    assert.match(desktopEntry, /^Exec=quillmark$/m);
    assert.match(desktopEntry, /^Icon=quillmark$/m);
  });

  it('leaves out the sources, tests and packages of the front end', () => {
    const served = listing(path.join(installedPrefix, 'share/quillmark/frontend'));
    const unwanted = served.filter((entry) => /(^|\/)(src|tests?|node_modules)(\/|$)|package(-lock)?\.json$|tsconfig\.json$|\.(mjs|ts|tsx)$/.test(entry));
    assert.deepEqual(unwanted, []);
  });
});
