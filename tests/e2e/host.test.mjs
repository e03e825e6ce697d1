// The real program started from an install-like tree: it finds and shows its front end, the page
// reaches the bridge through the real web channel, and files cross the channel up to its ceiling.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, it } from 'node:test';
import { installedPrefix, maxTransferBytes, startHost } from './harness.mjs';
const cannotRead = { ok: false, error: '无法读取文件' };

function sparseFile(file, size) {
  const fd = fs.openSync(file, 'w');
  fs.ftruncateSync(fd, size);
  fs.closeSync(fd);
}

describe('the program with its front end', () => {
  let host;
  before(async () => {
    host = await startHost();
  });
  after(async () => {
    await host?.stop();
  });

  it('loads the installed front end and says it is connected', async () => {
    assert.equal(host.page.url(), `file://${host.frontendDir}/index.html`);
    assert.equal(await host.page.evaluate(() => typeof window.quillmarkBridge.windowMinimize), 'function');
  });

  it('answers a window command with the exact envelope text', async () => {
    assert.equal(await host.callText('windowMaximize'), '{"ok":true}');
    assert.equal(await host.callText('windowMaximize'), '{"ok":true}');
  });

  it('hands over a file at the channel ceiling whole and refuses one byte more', async () => {
    const file = path.join(host.root, 'large.cwrt');
    sparseFile(file, maxTransferBytes);
    assert.deepEqual(await host.callSummary('openProject', file), {
      ok: true,
      path: file,
      name: 'large.cwrt',
      dataBase64: { length: (maxTransferBytes / 3) * 4, tail: 'AAAAAAAA' },
    });

    sparseFile(file, maxTransferBytes + 1);
    assert.deepEqual(await host.call('openProject', file), cannotRead);
    fs.rmSync(file);
    assert.equal(await host.callText('windowMinimize'), '{"ok":true}');
  });

  it('closes and ends the program when the page asks', async () => {
    const exited = new Promise((resolve) => host.child.once('exit', (code) => resolve(code)));
    host.page.evaluate(() => window.quillmarkBridge.windowClose(() => {})).catch(() => {});
    assert.equal(await exited, 0);
  });
});

describe('the program without a front end', () => {
  it('still opens its window and keeps running with an empty view', async () => {
    const host = await startHost({ frontend: false });
    try {
      await new Promise((resolve) => setTimeout(resolve, 1500));
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
