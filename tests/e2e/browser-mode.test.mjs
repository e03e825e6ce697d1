// The front end opened in an ordinary browser, with no desktop host behind it.
import assert from 'node:assert/strict';
import { it } from 'node:test';
import { launch, openDesigner } from '../../frontend/tests/browser/support.mjs';

it('opens in a plain browser and says that no desktop host is present', async () => {
  const browser = await launch();
  try {
    const { page, errors } = await openDesigner(browser, { keepChooser: true });
    assert.equal(await page.evaluate(() => window.quillmarkBridge), undefined);
    assert.match(await page.locator('body').innerText(), /桌面程序|desktop/i);
    assert.deepEqual(errors, []);
  } finally {
    await browser.close();
  }
});
