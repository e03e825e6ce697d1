import { test } from 'node:test';
import assert from 'node:assert/strict';
import { BridgeError, HostApi, parseEnvelope } from '../../src/bridge/client';
import { describeError } from '../../src/bridge/errors';
import { CHANNEL_LIMIT_CHARS } from '../../src/bridge/limits';
import { messageTable } from '../../src/i18n/messages';

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
    openFileLink: (kind, path) => (kind !== 'project' ? '{"ok":false,"error":"未知的文件种类"}'
      : path === '/a.cwrt' ? '{"name":"a.cwrt","ok":true,"path":"/a.cwrt","size":3,"url":"file:///a.cwrt"}'
      : path ? '{"ok":false,"error":"无法读取文件"}' : '{"ok":false,"error":"cancelled"}'),
    // Where the address cannot be read (here: no XMLHttpRequest at all), the file comes through the channel.
    openProject: (path) => (path === '/a.cwrt' ? '{"dataBase64":"YWJj","name":"a.cwrt","ok":true,"path":"/a.cwrt"}' : '{"ok":false,"error":"x"}'),
    listLocalFonts: () => '{"fonts":[{"name":"DejaVu Sans","value":"DejaVu Sans"},{"name":"","value":""}],"ok":true}',
  }));
  const saved = await api.saveProject({ suggestedName: 'a.cwrt', currentPath: '', saveAs: false, dataBase64: 'YWJj' });
  assert.deepEqual(saved, { path: '/tmp/a.cwrt', name: 'a.cwrt' });
  assert.deepEqual(seen, [{ suggestedName: 'a.cwrt', currentPath: '', saveAs: false, dataBase64: 'YWJj' }]);
  assert.equal(await api.openProject(), null);
  await assert.rejects(api.openProject('/missing.cwrt'), /无法读取文件/);
  assert.deepEqual(await api.openProject('/a.cwrt'), { path: '/a.cwrt', name: 'a.cwrt', bytes: new Uint8Array([97, 98, 99]) });
  assert.deepEqual(await api.listLocalFonts(), [{ name: 'DejaVu Sans', value: 'DejaVu Sans' }]);
  await assert.rejects(api.listPrinters(), (e: unknown) => e instanceof BridgeError && e.code === 'protocol');
});

test('every host message reads in English with what to do next; a detail after "：" is kept', () => {
  const en = messageTable('en');
  const hostMessages = [
    'cancelled', 'missing spreadsheet path', '未知的文件种类', '无法读取文件', '无法写入目标文件', '文件内容编码无效', '写入文件失败',
    '未选择打印机', '没有可打印的页面', '无效的页面尺寸', '系统中未找到所选打印机', '无法启动打印任务', '创建打印页失败',
    '打印页图像无效', '打印机不支持此页面尺寸', '打印系统拒绝了打印任务：printer paused', '打印机不支持所选设置：Darkness=99',
    '打印系统没有响应',
  ];
  const keys = new Set<string>();
  for (const text of hostMessages) {
    const error = new BridgeError(text);
    assert.ok(error.key, `no key for ${text}`);
    keys.add(error.key!);
    const shown = describeError(error, en);
    assert.doesNotMatch(shown, /[\u4e00-\u9fff]/, `${text} shows Chinese in English: ${shown}`);
    assert.match(shown, /\. /, `${text} says what to do next: ${shown}`);
  }
  assert.equal(keys.size, hostMessages.length);
  assert.match(describeError(new BridgeError('打印机不支持所选设置：Darkness=99'), en), /\(Darkness=99\)/);
  assert.equal(describeError(new BridgeError('磁盘已满'), en), '磁盘已满');
  assert.match(describeError('打印页图像无效', messageTable('zh-CN')), /^打印页图像无效。请/);
});

test('a payload over the channel limit is refused in words before it is sent', async () => {
  let calls = 0;
  const api = new HostApi(channel({ saveProject: () => (calls++, '{"ok":true,"path":"/a.cwrt","name":"a.cwrt"}') }));
  const payload = (chars: number) => ({ suggestedName: 'a', currentPath: '', saveAs: false, dataBase64: 'A'.repeat(chars) });
  await api.saveProject(payload(CHANNEL_LIMIT_CHARS - 200));
  const refused = await api.saveProject(payload(CHANNEL_LIMIT_CHARS)).then(() => null, (e: BridgeError) => e);
  assert.equal(calls, 1);
  assert.equal(refused?.code, 'tooLarge');
  assert.match(describeError(refused, messageTable('en')), /^The project is too large \(67\.0 million characters\); one transfer carries at most 67\.0 million\. Remove or reduce large pictures\.$/);
});
