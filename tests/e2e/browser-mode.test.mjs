// The front end opened in an ordinary browser, with no desktop host behind it.
import assert from 'node:assert/strict';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { it } from 'node:test';
import { chromium } from 'playwright-core';

const chromiumArgs = [
  '--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
];

it('opens in a plain browser and says that no desktop host is present', async () => {
  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: chromiumArgs });
  try {
    const page = await browser.newPage();
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    const indexUrl = pathToFileURL(path.join(process.env.QUILLMARK_FRONTEND_DIR, 'index.html')).href;
    await page.goto(indexUrl);
    await page.waitForFunction(() => window.quillmarkReady === true);
    assert.equal(await page.evaluate(() => window.quillmarkBridge), undefined);
    assert.match(await page.locator('body').innerText(), /桌面程序|desktop/i);
    assert.deepEqual(errors, []);
  } finally {
    await browser.close();
  }
});
