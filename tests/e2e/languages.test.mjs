// Label printers without a driver, in the real program: the print dialog tells a raw queue from
// one with a driver, sends nothing to it before its language is chosen, and then the host's TSPL
// and ZPL reach the queue unfiltered. What the printer would receive is read from the print
// server's kept copy of the job, decoded back into dots by the project's own reader, compared
// with the front end's page and scanned for its barcodes. A project whose printer was deleted
// opens the dialog on no printer at all.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { before, describe, it } from 'node:test';
import { clickElement as click, setValue as choose, textOf } from './harness.mjs';
import { differences, dotsOf, jobCompleted, readBarcode, shelfLabelPrinting } from './dots.mjs';

const fieldValue = (page, id) => page.evaluate((i) => document.querySelector(`[data-testid="${i}"]`)?.value ?? null, id);

describe('printers without a driver', () => {
  const context = shelfLabelPrinting('shop=none', 'zebra=none', 'office=label', 'Xprinter_XP-365B=none');
  let host;
  let server;
  let jobs = 0;

  before(() => ({ host, server } = context));

  /** Opens the print dialog on `queue` once its kind of queue is known. */
  async function openOn(queue) {
    await click(host.page, 'button[data-action="print"]');
    await host.page.waitForFunction(() => document.querySelector('[data-testid="print-printer"] option[value]'));
    await choose(host.page, '[data-testid="print-printer"]', queue);
    await host.page.waitForFunction((q) => document.querySelector('[data-testid="print-queue"]')?.dataset.printer === q, queue);
  }

  const spooled = () => fs.readdirSync(path.join(server.folder, 'spool')).filter((f) => /^d\d+-\d+$/.test(f));

  it('says a queue has no driver, proposes nothing it was not told, and sends nothing before a language is chosen', async () => {
    await openOn('shop');
    assert.equal(await host.page.evaluate(() => document.querySelector('[data-testid="print-queue"]').dataset.queue), 'raw');
    assert.match(await textOf(host.page, '[data-testid="print-queue"]'), /此打印机没有驱动：请选择它使用的打印语言/);
    assert.equal(await fieldValue(host.page, 'print-send-as'), '');
    // "shop" says nothing about its model: no language is proposed.
    assert.equal(await host.page.evaluate(() => document.querySelector('[data-testid="print-use-proposal"]')), null);
    await host.page.waitForFunction(() => !document.querySelector('[data-testid="print-start"]').disabled);
    await click(host.page, '[data-testid="print-start"]');
    await host.page.waitForFunction(() => document.querySelector('[data-testid="print-result"]'));
    assert.match(await textOf(host.page, '[data-testid="print-result"]'), /没有发送任何内容/);
    // A queue named after its model gets that model's language proposed, and taken only when asked.
    await choose(host.page, '[data-testid="print-printer"]', 'Xprinter_XP-365B');
    await host.page.waitForFunction(() => document.querySelector('[data-testid="print-use-proposal"]'));
    assert.equal(await fieldValue(host.page, 'print-send-as'), '');
    await click(host.page, '[data-testid="print-use-proposal"]');
    await host.page.waitForFunction(() => document.querySelector('[data-testid="print-send-as"]').value === 'tspl');
    // A queue with a driver says so and offers the language beside it.
    await choose(host.page, '[data-testid="print-printer"]', 'office');
    await host.page.waitForFunction(() => document.querySelector('[data-testid="print-queue"]')?.dataset.queue === 'ppd');
    await click(host.page, '[data-testid="print-close"]');
    assert.deepEqual(spooled(), []);
  });


  const mono = { kind: 'mono', dither: 'diffusion', offsetXMm: 0, offsetYMm: 0, rotate180: false };

  // The ZPL label is also moved and turned: corrections are the page's, on every path.
  for (const { queue, language, dpi, size, darkness, setting, corrected } of [
    { queue: 'shop', language: 'tspl', dpi: 203, size: [400, 240], darkness: '12', setting: /^DENSITY 12$/m, corrected: false },
    { queue: 'zebra', language: 'zpl', dpi: 300, size: [591, 354], darkness: '25', setting: /~SD25/, corrected: true },
  ]) {
    it(`prints the label in ${language.toUpperCase()} at ${dpi} dpi dot for dot, its barcodes readable`, async () => {
      await openOn(queue);
      await choose(host.page, '[data-testid="print-send-as"]', language);
      await host.page.waitForFunction(() => document.querySelector('[data-testid="print-darkness"]'));
      await choose(host.page, '[data-testid="print-dpi"]', String(dpi));
      await choose(host.page, '[data-testid="print-darkness"]', darkness);
      await choose(host.page, '[data-testid="print-media"]', 'gap');
      await host.page.waitForFunction(() => document.querySelector('[data-testid="print-gap"]'));
      await choose(host.page, '[data-testid="print-gap"]', '3');
      if (corrected) {
        await choose(host.page, '[data-testid="print-offset-x"]', '1.0');
        await choose(host.page, '[data-testid="print-rotate"]', true);
      }
      await host.page.waitForFunction(() => !document.querySelector('[data-testid="print-start"]').disabled);
      await click(host.page, '[data-testid="print-start"]');
      await host.page.waitForFunction(() => document.querySelector('[data-testid="print-result"]'), null, { timeout: 60_000 });
      assert.match(await textOf(host.page, '[data-testid="print-result"]'), /已发送 1 张标签/);
      await click(host.page, '[data-testid="print-close"]');
      jobs += 1;
      await jobCompleted(server, jobs);

      const received = path.join(server.folder, 'spool', `d${String(jobs).padStart(5, '0')}-001`);
      const commands = execFileSync(process.env.QUILLMARK_PRINT_SERVER, ['commands', received], { encoding: 'utf8' });
      assert.match(commands, setting);
      const image = path.join(server.folder, `${language}.png`);
      execFileSync(process.env.QUILLMARK_PRINT_SERVER, ['decode', received, image]);
      const dots = dotsOf(fs.readFileSync(image));
      // A row of the printer's bitmap is whole bytes: at most 7 dots of padding on the right.
      assert.ok(dots.width - size[0] >= 0 && dots.width - size[0] < 8 && dots.height === size[1], `${dots.width} × ${dots.height} dots`);
      const url = await host.page.evaluate(([d, l]) => window.quillmark.pageImage({ dpi: d, from: 1, to: 1, perRecord: 1, sheet: null, look: l }, 0), [dpi, { ...mono, offsetXMm: corrected ? 1 : 0, rotate180: corrected }]);
      const own = dotsOf(Buffer.from(url.slice(url.indexOf(',') + 1), 'base64'));
      assert.deepEqual([own.width, own.height], size);
      assert.ok(own.dots.some(Boolean));
      assert.equal(differences(dots, own), 0, 'dots that differ from the page sent');
      assert.deepEqual(
        [readBarcode(dots, 'CODE_128'), readBarcode(dots, 'EAN_13'), readBarcode(dots, 'QR_CODE')],
        ['SKU-4711', '6901234567892', 'https://example.com/p/4711'],
      );

      // The printer remembers its language and settings: the dialog opens with them.
      await openOn(queue);
      assert.deepEqual(await Promise.all(['print-send-as', 'print-dpi', 'print-darkness', 'print-media', 'print-gap'].map((id) => fieldValue(host.page, id))),
        [language, String(dpi), darkness, 'gap', '3']);
      await click(host.page, '[data-testid="print-close"]');
      assert.deepEqual(context.errors, []);
    });
  }

  it('names the project\'s printer when it is gone and chooses none until the user does', async () => {
    // The project was last printed on "zebra"; the queue is deleted while the program runs.
    assert.equal(await host.page.evaluate(() => window.quillmark.editor.state.doc.output?.printerName), 'zebra');
    execFileSync('lpadmin', ['-x', 'zebra'], { env: { ...process.env, CUPS_SERVER: server.socket } });
    await click(host.page, 'button[data-action="print"]');
    await host.page.waitForFunction(() => document.querySelector('[data-testid="print-printer-missing"]'));
    assert.match(await textOf(host.page, '[data-testid="print-printer-missing"]'), /“zebra”/);
    const offered = await host.page.evaluate(() => Array.from(document.querySelector('[data-testid="print-printer"]').options, (o) => o.value));
    assert.deepEqual(offered.sort(), ['', 'Xprinter_XP-365B', 'office', 'shop']);
    assert.equal(await fieldValue(host.page, 'print-printer'), '');
    assert.equal(await host.page.evaluate(() => document.querySelector('[data-testid="print-start"]').disabled), true);
    await choose(host.page, '[data-testid="print-printer"]', 'shop');
    await host.page.waitForFunction(() => !document.querySelector('[data-testid="print-printer-missing"]'));
    await click(host.page, '[data-testid="print-close"]');
  });
});
