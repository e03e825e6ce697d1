// Files crossing the real web channel: the page opens a project and reads a spreadsheet by path,
// saves a project to its current path, and the bytes on disk and in the replies match exactly.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, it } from 'node:test';
import { startHost, waitFor } from './harness.mjs';

// Every byte value once, so that a text conversion anywhere on the way would show.
const allBytes = Buffer.from(Array.from({ length: 256 }, (_, i) => i));

// The settings store writes itself back shortly after a change, not at once.
async function rememberedProjectFolder(host) {
  const file = path.join(host.root, 'home/.config/Quillmark/Quillmark.conf');
  const text = () => (fs.existsSync(file) ? fs.readFileSync(file, 'utf8') : '');
  return (await waitFor(() => /^projectDir=(.*)$/m.exec(text())?.[1])) || `<no projectDir in: ${text()}>`;
}

describe('files through the real channel', () => {
  let host;
  let labels;
  before(async () => {
    host = await startHost();
    labels = path.join(host.root, 'labels');
    fs.mkdirSync(labels);
  });
  after(async () => {
    await host?.stop();
  });

  it('opens a project by path and remembers its folder', async () => {
    const file = path.join(labels, '货架 1.cwrt');
    fs.writeFileSync(file, allBytes);
    const reply = await host.callText('openProject', file);
    assert.equal(
      reply,
      `{"dataBase64":"${allBytes.toString('base64')}","name":"货架 1.cwrt","ok":true,"path":"${file}"}`,
    );
    assert.equal(await rememberedProjectFolder(host), labels);
  });

  it('reads a spreadsheet by path and reports the empty path and the empty file', async () => {
    const sheet = path.join(host.root, 'stock.csv');
    fs.writeFileSync(sheet, '名称,数量\n铅笔,12\n');
    const reply = await host.call('readSpreadsheet', sheet);
    assert.deepEqual(reply, { ok: true, path: sheet, name: 'stock.csv', dataBase64: fs.readFileSync(sheet).toString('base64') });

    assert.equal(await host.callText('readSpreadsheet', ''), '{"error":"missing spreadsheet path","ok":false}');
    const empty = path.join(host.root, 'empty.xlsx');
    fs.writeFileSync(empty, '');
    assert.deepEqual(await host.call('readSpreadsheet', empty), { ok: false, error: '无法读取文件' });
  });

  it('saves a project to its current path, completing the extension, and opens it again', async () => {
    const opened = path.join(labels, 'shelf.json');
    fs.writeFileSync(opened, '{"from":"json"}');
    const payload = JSON.stringify({ currentPath: opened, saveAs: false, dataBase64: allBytes.toString('base64') });

    const saved = `${opened}.cwrt`;
    assert.equal(await host.callText('saveProject', payload), `{"name":"shelf.json.cwrt","ok":true,"path":"${saved}"}`);
    assert.deepEqual(fs.readFileSync(saved), allBytes);
    assert.equal(fs.readFileSync(opened, 'utf8'), '{"from":"json"}');

    const again = await host.call('openProject', saved);
    assert.deepEqual(Buffer.from(again.dataBase64, 'base64'), allBytes);
  });

  it('replaces a longer file whole and reports a folder that does not exist', async () => {
    const target = path.join(labels, 'short.cwrt');
    fs.writeFileSync(target, 'a much longer previous content');
    const payload = JSON.stringify({ currentPath: target, dataBase64: Buffer.from('abc').toString('base64') });
    assert.deepEqual(await host.call('saveProject', payload), { ok: true, path: target, name: 'short.cwrt' });
    assert.equal(fs.readFileSync(target, 'utf8'), 'abc');

    const missing = path.join(host.root, 'missing/shelf.cwrt');
    const failing = JSON.stringify({ currentPath: missing, dataBase64: 'YWJj' });
    assert.deepEqual(await host.call('saveProject', failing), { ok: false, error: '无法写入目标文件' });
    assert.equal(fs.existsSync(path.dirname(missing)), false);
  });
});
