// The stock chooser in the real program offers the system's label templates (glabels-data, as
// installed): a maker's part number finds its sheet, and the label is made on the maker's figures.
import assert from 'node:assert/strict';
import { describe, it } from 'node:test';
import { clickElement, clickWhenShown, hostForTests, setValue } from './harness.mjs';

describe('makers\' label templates in the program', () => {
  const context = hostForTests();

  it('finds a sheet by its part number, an alias by its own, and a round label by its shape', async () => {
    const { page } = context.host;
    await page.evaluate(() => window.quillmark.editor.openStockChooser());
    const search = async (query, id) => {
      await page.waitForFunction(() => document.querySelector('[data-testid="chooser-search"]'));
      await setValue(page, '[data-testid="chooser-search"]', query);
      // The templates arrive from the host a moment after the chooser opens.
      await page.waitForFunction((i) => document.querySelector(`[data-testid="chooser-results"] [data-id="${i}"]`), id, { timeout: 15_000 });
      return page.evaluate(() => Array.from(document.querySelectorAll('[data-testid="chooser-results"] [data-testid="stock-item"]'), (b) => b.dataset.id));
    };
    assert.equal((await search('L7160', 'system-avery-l7160'))[0], 'system-avery-l7160');
    assert.ok((await search('round 3112', 'system-avery-3112')).length >= 1);
    await search('5160', 'system-avery-5160');
    await clickElement(page, '[data-testid="chooser-results"] [data-id="system-avery-5160"]');
    await clickWhenShown(page, '[data-testid="chooser-create"]');
    const doc = await page.evaluate(() => window.quillmark.editor.state.doc);
    assert.deepEqual([doc.widthMm, doc.heightMm, doc.stock.code, doc.merge.sheet.columns, doc.merge.sheet.rows], [66.675, 25.4, '5160', 3, 10]);
    assert.deepEqual(context.errors, []);
  });
});
