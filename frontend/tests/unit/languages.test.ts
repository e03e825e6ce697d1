import { test } from 'node:test';
import assert from 'node:assert/strict';
import { fitLanguageSettings, proposeLanguage } from '../../src/model/languages';
import { chooseSendAs, DriverSettings, jobSettings, proposedProfile } from '../../src/model/profiles';
import { BridgeError } from '../../src/bridge/client';
import { outcomeMessage } from '../../src/print/output';
import type { JobOutcome } from '../../src/print/job';

const zplDriver: DriverSettings = {
  queue: 'ppd', resolutions: [203, 300], defaultResolution: 203,
  options: [{ name: 'Darkness', label: 'Darkness', defaultChoice: '-1', choices: [{ name: '-1', label: 'Default' }, { name: '20', label: '20' }] }],
};

test('each language keeps only the settings within its own ranges; strings and unknown words never pass', () => {
  const all = { darkness: 20, speed: 6, media: 'mark', gapMm: 3.04 };
  assert.deepEqual(fitLanguageSettings(all, 'zpl'), { darkness: 20, speed: 6, media: 'mark', gapMm: 3 });
  assert.deepEqual(fitLanguageSettings(all, 'tspl'), { speed: 6, media: 'mark', gapMm: 3 });
  assert.deepEqual(fitLanguageSettings({ ...all, darkness: 15, speed: 7 }, 'epl2'), { darkness: 15, media: 'mark', gapMm: 3 });
  assert.deepEqual(fitLanguageSettings({ darkness: '12', speed: 2.5, media: 'black', gapMm: -1 }, 'zpl'), {});
});

test('a job in a language sends the language, its resolution and its settings, never the driver\'s', () => {
  const office = { ...proposedProfile(210), dpi: 1200, options: { Darkness: '20' }, languageSettings: { darkness: 25, speed: 3, media: 'continuous' as const, gapMm: 2 } };
  const zpl = chooseSendAs(office, 'zpl');
  assert.deepEqual([zpl.kind, zpl.dpi], ['mono', 203]);
  assert.deepEqual(jobSettings(zpl, zplDriver), { printerLanguage: 'zpl', resolution: 203, languageSettings: { darkness: 25, speed: 3, media: 'continuous' } });
  assert.deepEqual(jobSettings({ ...chooseSendAs(zpl, 'tspl'), languageSettings: {} }, zplDriver), { printerLanguage: 'tspl', resolution: 203 });
  assert.deepEqual(jobSettings({ ...zpl, sendAs: '' }, zplDriver), { options: { Darkness: '20' }, resolution: 203 });
});

test('a language is proposed from the printer\'s make, model or names, and none where they say nothing', () => {
  const cases: [Record<string, string>, string | null][] = Object.entries({
    'Local Raw Printer|Xprinter XP-365B': 'tspl', 'TSC_TTP-244_Pro': 'tspl', '佳博 GP-3120TU': 'tspl', 'Zebra ZD420': 'zpl', '斑马条码打印机': 'zpl',
    'Zebra_LP2844': 'epl2', 'Zebra_LP2844-Z': 'zpl', 'HP LaserJet Pro M404': null, 'shop': null,
  }).map(([names, language]) => [{ makeAndModel: names.split('|')[0], description: names.split('|')[1] ?? '' }, language]);
  for (const [printer, language] of cases) assert.equal(proposeLanguage({ name: '', ...printer }), language, JSON.stringify(printer));
});

test('a job refused before anything was sent never says labels may have printed in part', () => {
  const key = (labelsSent: number, error: string) => outcomeMessage({
    status: 'failed', failure: new BridgeError(error), labelsSent, pagesSent: labelsSent, pagesDrawn: 9, totalPages: 9, totalLabels: 9, batchesSent: 1, reply: null,
  } as JobOutcome, 1, 'shop').key;
  assert.deepEqual([key(0, '打印机不支持所选设置：darkness=40'), key(0, '系统中未找到所选打印机'), key(4, '打印页图像无效'), key(4, '创建打印页失败'), key(0, 'new')],
    ['printNothingSent', 'printNothingSent', 'printRefusedAfter', 'printFailedCount', 'printFailedCount']);
});
