// The real program started from an install-like tree without its front end. That it finds and
// shows an installed front end whose page reaches the bridge is in every other end-to-end test
// (navigation.test.mjs checks the page's address; the package's tests what the install lays out).
import assert from 'node:assert/strict';
import { describe, it } from 'node:test';
import { sleep, startHost } from './harness.mjs';

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
