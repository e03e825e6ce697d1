import { test } from 'node:test';
import assert from 'node:assert/strict';
import { BridgeError, HostApi, parseEnvelope } from '../../src/bridge/client';

test('reply envelopes: success gives the object, "cancelled" gives null, errors carry the host\'s words', () => {
  assert.deepEqual(parseEnvelope('{"ok":true,"path":"/a.cwrt"}'), { ok: true, path: '/a.cwrt' });
  assert.equal(parseEnvelope('{"ok":false,"error":"cancelled"}'), null);
  assert.throws(() => parseEnvelope('{"error":"无法读取文件","ok":false}'), (e: unknown) => e instanceof BridgeError && e.message === '无法读取文件' && e.code === 'host');
  for (const bad of ['', 'not json', '[]', '{"error":"x"}', '{"ok":"yes"}']) {
    assert.throws(() => parseEnvelope(bad), (e: unknown) => e instanceof BridgeError && e.code === 'protocol', bad);
  }
});

/** Stands in for the channel object with the calling convention of qwebchannel.js: arguments, then a callback. */
function channel(replies: Record<string, (...args: unknown[]) => string>): Record<string, unknown> {
  const object: Record<string, unknown> = {};
  for (const [name, reply] of Object.entries(replies)) {
    object[name] = (...args: unknown[]) => {
      const callback = args.pop() as (text: string) => void;
      setTimeout(() => callback(reply(...args)), 0);
    };
  }
  return object;
}

test('the host client sends payloads as JSON text and reads the replies', async () => {
  const seen: unknown[] = [];
  const api = new HostApi(channel({
    saveProject: (payload) => {
      seen.push(JSON.parse(String(payload)));
      return '{"name":"a.cwrt","ok":true,"path":"/tmp/a.cwrt"}';
    },
    openProject: (path) => (path ? '{"ok":false,"error":"无法读取文件"}' : '{"ok":false,"error":"cancelled"}'),
    listLocalFonts: () => '{"fonts":[{"name":"DejaVu Sans","value":"DejaVu Sans"},{"name":"","value":""}],"ok":true}',
  }));
  const saved = await api.saveProject({ suggestedName: 'a.cwrt', currentPath: '', saveAs: false, dataBase64: 'YWJj' });
  assert.deepEqual(saved, { path: '/tmp/a.cwrt', name: 'a.cwrt' });
  assert.deepEqual(seen, [{ suggestedName: 'a.cwrt', currentPath: '', saveAs: false, dataBase64: 'YWJj' }]);
  assert.equal(await api.openProject(), null);
  await assert.rejects(api.openProject('/missing.cwrt'), /无法读取文件/);
  assert.deepEqual(await api.listLocalFonts(), [{ name: 'DejaVu Sans', value: 'DejaVu Sans' }]);
  await assert.rejects(api.listPrinters(), (e: unknown) => e instanceof BridgeError && e.code === 'protocol');
});
