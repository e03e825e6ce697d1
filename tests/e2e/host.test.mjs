// The real program started from an install-like tree: it finds and shows its front end and the
// page reaches the bridge (commands.test.mjs calls every command through the channel; the
// package's tests check what the install rules lay out).
import assert from 'node:assert/strict';
import { describe, it } from 'node:test';
import { hostForTests, sleep, startHost } from './harness.mjs';

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
