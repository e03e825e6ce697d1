// The page's commands called through the real channel with files: of every byte value, and at
// the channel's ceiling in both directions. Printing and the printer and font lists go through it
// in the print dialog's and the designer's own tests; the dialog commands (openProject without a
// path, pickSpreadsheet, savePrintPdf and saveProject's dialog road) are driven with their real
// dialogs in tst_opensave, where a test can answer the dialog.
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { describe, it } from 'node:test';
import { channelCeilingChars, hostForTests, maxTransferBytes, waitFor } from './harness.mjs';

const block = 'QuillmarkLabel+/0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLM';
const content = (length) => block.repeat(Math.ceil(length / block.length)).slice(0, length);

// Saves `length` characters of Base64 made in the page, which is where they stay: only the reply
// crosses back for checking.
function saveLargeContent(page, currentPath, length, timeoutMs) {
  return page.evaluate(([target, size, text, timeout]) => new Promise((resolve) => {
    const timer = setTimeout(() => resolve('no answer'), timeout);
    const payload = JSON.stringify({ currentPath: target, dataBase64: text.repeat(Math.ceil(size / text.length)).slice(0, size) });
    window.quillmarkBridge.saveProject(payload, (reply) => {
      clearTimeout(timer);
      resolve(reply);
    });
  }), [currentPath, length, block, timeoutMs]);
}

const sha256 = (bytes) => crypto.createHash('sha256').update(bytes).digest('hex');

// Every byte value once, so that a text conversion anywhere on the way would show.
const allBytes = Buffer.from(Array.from({ length: 256 }, (_, i) => i));

// The settings store writes itself back shortly after a change, not at once.
async function rememberedProjectFolder(host) {
  const file = path.join(host.root, 'home/.config/Quillmark/Quillmark.conf');
  const text = () => (fs.existsSync(file) ? fs.readFileSync(file, 'utf8') : '');
  return (await waitFor(() => /^projectDir=(.*)$/m.exec(text())?.[1])) || `<no projectDir in: ${text()}>`;
}

describe('commands through the real channel', { timeout: 600_000 }, () => {
  const context = hostForTests();

  it('saves a project to its current path, completing the extension, reopens it byte for byte and remembers its folder', async () => {
    const { host } = context;
    const labels = path.join(host.root, 'labels');
    fs.mkdirSync(labels);
    const opened = path.join(labels, 'shelf.json');
    fs.writeFileSync(opened, '{"from":"json"}');
    const payload = JSON.stringify({ currentPath: opened, saveAs: false, dataBase64: allBytes.toString('base64') });
    const saved = `${opened}.cwrt`;
    assert.equal(await host.callText('saveProject', payload), `{"name":"shelf.json.cwrt","ok":true,"path":"${saved}"}`);
    assert.deepEqual(fs.readFileSync(saved), allBytes);
    assert.equal(fs.readFileSync(opened, 'utf8'), '{"from":"json"}');
    assert.equal(await host.callText('openProject', saved),
      `{"dataBase64":"${allBytes.toString('base64')}","name":"shelf.json.cwrt","ok":true,"path":"${saved}"}`);
    assert.equal(await rememberedProjectFolder(host), labels);
  });

  it('saves a project at the channel ceiling and hands it back whole', async () => {
    const { host } = context;
    const target = path.join(host.root, 'ceiling.cwrt');
    const base64Length = (maxTransferBytes / 3) * 4;
    assert.equal(await saveLargeContent(host.page, target, base64Length, 300_000), `{"name":"ceiling.cwrt","ok":true,"path":"${target}"}`);
    const expected = Buffer.from(content(base64Length), 'base64');
    assert.equal(fs.statSync(target).size, maxTransferBytes);
    assert.equal(sha256(fs.readFileSync(target)), sha256(expected));

    const reply = await host.callSummary('openProject', target);
    assert.deepEqual(reply.dataBase64, { length: base64Length, tail: expected.toString('base64').slice(-8) });
    assert.equal(await host.callText('windowMaximize'), '{"ok":true}');
  });

  // Past the ceiling the engine drops the call's arguments on the way: the host sees a call
  // without any, matches no method and answers with no reply text at all. The front end must
  // keep a call's arguments below the ceiling itself and take anything but a string as failure.
  it('survives a save past the ceiling: nothing written, the program keeps answering', async () => {
    const { host } = context;
    const target = path.join(host.root, 'too-large.cwrt');
    fs.writeFileSync(target, 'kept');
    assert.deepEqual(await saveLargeContent(host.page, target, channelCeilingChars + 1024, 60_000), []);
    assert.ok(host.output.join('').includes('No candidates found for "saveProject" with 0 arguments'));
    assert.equal(fs.readFileSync(target, 'utf8'), 'kept');
    assert.equal(await host.callText('windowMaximize'), '{"ok":true}');
    assert.deepEqual(await host.call('readSpreadsheet', target), {
      ok: true, path: target, name: 'too-large.cwrt', dataBase64: Buffer.from('kept').toString('base64'),
    });
    assert.equal(host.child.exitCode, null);
  });

  it('minimises, then closes and ends the program when the page asks', async () => {
    const { host } = context;
    assert.equal(await host.callText('windowMinimize'), '{"ok":true}');
    const exited = new Promise((resolve) => host.child.once('exit', (code) => resolve(code)));
    host.page.evaluate(() => window.quillmarkBridge.windowClose(() => {})).catch(() => {});
    assert.equal(await exited, 0);
  });
});
