// Files crossing the real web channel: the page opens a project by path and saves one to its
// current path, and the bytes on disk and in the replies match exactly.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { describe, it } from 'node:test';
import { hostForTests, waitFor } from './harness.mjs';

// Every byte value once, so that a text conversion anywhere on the way would show.
const allBytes = Buffer.from(Array.from({ length: 256 }, (_, i) => i));

// The settings store writes itself back shortly after a change, not at once.
async function rememberedProjectFolder(host) {
  const file = path.join(host.root, 'home/.config/Quillmark/Quillmark.conf');
  const text = () => (fs.existsSync(file) ? fs.readFileSync(file, 'utf8') : '');
  return (await waitFor(() => /^projectDir=(.*)$/m.exec(text())?.[1])) || `<no projectDir in: ${text()}>`;
}

describe('files through the real channel', () => {
  const context = hostForTests();

  it('opens a project by path and remembers its folder', async () => {
    const { host } = context;
    const labels = path.join(host.root, 'labels');
    fs.mkdirSync(labels);
    const file = path.join(labels, '货架 1.cwrt');
    fs.writeFileSync(file, allBytes);
    const reply = await host.callText('openProject', file);
    assert.equal(
      reply,
      `{"dataBase64":"${allBytes.toString('base64')}","name":"货架 1.cwrt","ok":true,"path":"${file}"}`,
    );
    assert.equal(await rememberedProjectFolder(host), labels);
  });

  it('saves a project to its current path, completing the extension, and opens it again', async () => {
    const { host } = context;
    const opened = path.join(host.root, 'shelf.json');
    fs.writeFileSync(opened, '{"from":"json"}');
    const payload = JSON.stringify({ currentPath: opened, saveAs: false, dataBase64: allBytes.toString('base64') });

    const saved = `${opened}.cwrt`;
    assert.equal(await host.callText('saveProject', payload), `{"name":"shelf.json.cwrt","ok":true,"path":"${saved}"}`);
    assert.deepEqual(fs.readFileSync(saved), allBytes);
    assert.equal(fs.readFileSync(opened, 'utf8'), '{"from":"json"}');

    const again = await host.call('openProject', saved);
    assert.deepEqual(Buffer.from(again.dataBase64, 'base64'), allBytes);
    assert.deepEqual(context.errors, []);
  });
});
