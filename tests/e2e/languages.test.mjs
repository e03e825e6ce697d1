// Printers without a driver in the real program: nothing is sent before a language is chosen, then
// what the queue receives (the print server keeps each job's document) is decoded into dots, compared
// with the page sent and scanned; a project whose printer was deleted opens the dialog on none.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { before, describe, it } from 'node:test';
import { clickElement as click, setValue as choose, keptDocumentPath } from './harness.mjs';
import { differences, dotsOf, jobCompleted, MONO_LOOK, pageDots, SHELF_CODES, shelfCodes, shelfLabelPrinting } from './dots.mjs';

const at = (id) => `[data-testid="${id}"]`;

describe('printers without a driver', () => {
  const context = shelfLabelPrinting('shop=none', 'zebra=none', 'office=label', 'Xprinter_XP-365B=none');
  let [host, server, jobs] = [null, null, 0];
  before(() => ({ host, server } = context));

  const value = (id) => host.page.evaluate((s) => document.querySelector(s)?.value ?? null, at(id));
  const shown = (id, text) => host.page.waitForFunction(([s, t]) => document.querySelector(s)?.textContent.includes(t), [at(id), text], { timeout: 60_000 });
  const startable = () => host.page.waitForFunction((s) => !document.querySelector(s).disabled, at('print-start'));
  /** Opens the print dialog on `queue` once its kind of queue is known. */
  async function openOn(queue) {
    await click(host.page, 'button[data-action="print"]');
    await host.page.waitForFunction(() => document.querySelector('[data-testid="print-printer"] option[value]'));
    await choose(host.page, at('print-printer'), queue);
    await host.page.waitForFunction((q) => document.querySelector('[data-testid="print-queue"]')?.dataset.printer === q, queue);
  }

  it('says a queue has no driver, proposes a language only from a model, and sends nothing before one is chosen', async () => {
    await openOn('shop');
    await shown('print-queue', '此打印机没有驱动：请选择它使用的打印语言');
    assert.deepEqual([await value('print-send-as'), await value('print-use-proposal')], ['', null]);
    await startable();
    await click(host.page, at('print-start'));
    await shown('print-result', '没有发送任何内容');
    await choose(host.page, at('print-printer'), 'Xprinter_XP-365B');
    await shown('print-use-proposal', 'TSPL');
    assert.equal(await value('print-send-as'), '');
    await click(host.page, at('print-use-proposal'));
    await host.page.waitForFunction((s) => document.querySelector(s).value === 'tspl', at('print-send-as'));
    await click(host.page, at('print-close'));
    assert.deepEqual(fs.readdirSync(path.join(server.folder, 'spool')).filter((f) => /^d\d+-\d+$/.test(f)), []);
  });

  // The ZPL label is also moved and turned: corrections are the page's, on every path.
  for (const { queue, language, dpi, size, darkness, setting, corrected } of [
    { queue: 'shop', language: 'tspl', dpi: 203, size: [400, 240], darkness: '12', setting: /^DENSITY 12$/m, corrected: false },
    { queue: 'zebra', language: 'zpl', dpi: 300, size: [591, 354], darkness: '25', setting: /~SD25/, corrected: true },
  ]) {
    it(`prints the label in ${language.toUpperCase()} at ${dpi} dpi dot for dot, its barcodes readable`, async () => {
      await openOn(queue);
      const fields = { 'print-send-as': language, 'print-dpi': String(dpi), 'print-darkness': darkness, 'print-media': 'gap', 'print-gap': '3' };
      for (const [id, choice] of Object.entries(fields)) {
        await host.page.waitForFunction((s) => document.querySelector(s), at(id));
        await choose(host.page, at(id), choice);
      }
      if (corrected) {
        await choose(host.page, at('print-offset-x'), '1.0');
        await choose(host.page, at('print-rotate'), true);
      }
      await startable();
      await click(host.page, at('print-start'));
      await shown('print-result', '已发送 1 张标签');
      await click(host.page, at('print-close'));
      await jobCompleted(server, (jobs += 1));

      const received = keptDocumentPath(server, jobs);
      assert.match(execFileSync(process.env.QUILLMARK_PRINT_SERVER, ['commands', received], { encoding: 'utf8' }), setting);
      const image = path.join(server.folder, `${language}.png`);
      execFileSync(process.env.QUILLMARK_PRINT_SERVER, ['decode', received, image]);
      const dots = dotsOf(fs.readFileSync(image));
      // A row of the printer's bitmap is whole bytes: at most 7 dots of padding on the right.
      assert.ok(dots.width - size[0] >= 0 && dots.width - size[0] < 8 && dots.height === size[1], `${dots.width} × ${dots.height} dots`);
      const own = await pageDots(host.page, dpi, { ...MONO_LOOK, offsetXMm: corrected ? 1 : 0, rotate180: corrected });
      assert.ok(own.width === size[0] && own.height === size[1] && own.dots.some(Boolean));
      assert.equal(differences(dots, own), 0, 'dots that differ from the page sent');
      assert.deepEqual(shelfCodes(dots), SHELF_CODES);
      // The printer's language and settings are remembered: the dialog opens with them.
      await openOn(queue);
      assert.deepEqual(await Promise.all(Object.keys(fields).map(value)), Object.values(fields));
      await click(host.page, at('print-close'));
      assert.deepEqual(context.errors, []);
    });
  }

  it('names the printer last used when it is gone and chooses none until the user does', async () => {
    assert.equal(await host.page.evaluate(() => JSON.parse(localStorage.getItem('quillmark.printers')).lastPrinter), 'zebra');
    execFileSync('lpadmin', ['-x', 'zebra'], { env: { ...process.env, CUPS_SERVER: server.socket } });
    await click(host.page, 'button[data-action="print"]');
    await shown('print-printer-missing', '“zebra”');
    const state = await host.page.evaluate(([p, s]) => [document.querySelector(p).value, document.querySelector(s).disabled,
      Array.from(document.querySelector(p).options, (o) => o.value).sort()], [at('print-printer'), at('print-start')]);
    assert.deepEqual(state, ['', true, ['', 'Xprinter_XP-365B', 'office', 'shop']]);
    await choose(host.page, at('print-printer'), 'shop');
    await host.page.waitForFunction((s) => !document.querySelector(s), at('print-printer-missing'));
    await click(host.page, at('print-close'));
  });
});
