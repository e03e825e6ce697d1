import { test } from 'node:test';
import assert from 'node:assert/strict';
import { fitLanguageSettings, languageJob, proposeLanguage, sendReady } from '../../src/model/languages';
import { chooseSendAs, DriverSettings, fitToDriver, initialPrinter, jobSettings, loadProfiles, proposedProfile, rememberProfile, saveProfiles } from '../../src/model/profiles';
import { BridgeError } from '../../src/bridge/client';
import { outcomeMessage } from '../../src/print/output';
import type { JobOutcome } from '../../src/print/job';

const raw: DriverSettings = { queue: 'raw', options: [], resolutions: [], defaultResolution: 0 };
const zplDriver: DriverSettings = {
  queue: 'ppd', resolutions: [203, 300], defaultResolution: 203,
  options: [{ name: 'Darkness', label: 'Darkness', defaultChoice: '-1', choices: [{ name: '-1', label: 'Default' }, { name: '20', label: '20' }] }],
};

test('each language keeps the settings within its own ranges and leaves the rest to the printer', () => {
  const all = { darkness: 20, speed: 6, media: 'mark', gapMm: 3.04 };
  assert.deepEqual(fitLanguageSettings(all, 'zpl'), { darkness: 20, speed: 6, media: 'mark', gapMm: 3 });
  assert.deepEqual(fitLanguageSettings(all, 'tspl'), { speed: 6, media: 'mark', gapMm: 3 });
  assert.deepEqual(fitLanguageSettings({ ...all, darkness: 15, speed: 7 }, 'epl2'), { darkness: 15, media: 'mark', gapMm: 3 });
  // Strings, fractions and unknown words are never passed on for the host to refuse.
  assert.deepEqual(fitLanguageSettings({ darkness: '12', speed: 2.5, media: 'black', gapMm: -1, extra: 1 }, 'zpl'), {});
  assert.deepEqual(fitLanguageSettings({ darkness: 0, speed: 1, gapMm: 0 }, 'tspl'), { darkness: 0, speed: 1, gapMm: 0 });
});

test('a job in a language carries the language, its resolution and only the settings that hold', () => {
  assert.deepEqual(languageJob('tspl', 203, {}), { printerLanguage: 'tspl', resolution: 203 });
  assert.deepEqual(languageJob('zpl', 300, { darkness: 25, media: 'continuous', gapMm: 2 }),
    { printerLanguage: 'zpl', resolution: 300, languageSettings: { darkness: 25, media: 'continuous' } });
  // Sent in a language, the driver's own settings are not asked for; sent through it, they are.
  const profile = { ...chooseSendAs({ ...proposedProfile(50), options: { Darkness: '20' } }, 'epl2'), languageSettings: { darkness: 9, speed: 3 } };
  assert.deepEqual(jobSettings(profile, zplDriver), { printerLanguage: 'epl2', resolution: 203, languageSettings: { darkness: 9, speed: 3 } });
  assert.deepEqual(jobSettings({ ...profile, sendAs: '' }, zplDriver), { options: { Darkness: '20' }, resolution: 203 });
  assert.deepEqual(jobSettings({ ...profile, sendAs: 'pdf' }, raw), {});
});

test('choosing a language prints black and white at a print head\'s resolution, and keeps the settings that hold there', () => {
  const office = { ...proposedProfile(210), dpi: 600, languageSettings: { darkness: 25, speed: 10 } };
  const tspl = chooseSendAs(office, 'tspl');
  assert.deepEqual([tspl.kind, tspl.dpi, tspl.languageSettings], ['mono', 600, { speed: 10 }]);
  assert.equal(chooseSendAs({ ...office, dpi: 1200 }, 'zpl').dpi, 203);
  assert.equal(fitToDriver(chooseSendAs(office, 'zpl'), zplDriver).dpi, 600);
  assert.equal(fitToDriver({ ...office, sendAs: 'pdf' }, zplDriver).dpi, 203);
});

test('a language and its settings are remembered per printer; a damaged entry loses only what is wrong', () => {
  const items = new Map<string, string>();
  const storage = { getItem: (k: string) => items.get(k) ?? null, setItem: (k: string, v: string) => void items.set(k, v) };
  const shop = { ...chooseSendAs(proposedProfile(60), 'tspl'), languageSettings: { darkness: 8, media: 'gap' as const, gapMm: 2 } };
  saveProfiles(storage, rememberProfile(loadProfiles(storage), 'shop', shop));
  assert.deepEqual(loadProfiles(storage).printers.shop, shop);
  items.set('quillmark.printers', JSON.stringify({ printers: { shop: { ...shop, kind: 'colour', sendAs: 'zpl', languageSettings: { darkness: '8', speed: 30 } } } }));
  assert.deepEqual(loadProfiles(storage).printers.shop, { ...shop, sendAs: 'zpl', languageSettings: {} });
  items.set('quillmark.printers', JSON.stringify({ printers: { shop: { ...shop, sendAs: 'cpcl' } } }));
  assert.equal(loadProfiles(storage).printers.shop.sendAs, '');
});

test('a language is proposed from the printer\'s make, model or names, and none where they say nothing', () => {
  const cases: [Record<string, string>, string | null][] = [
    [{ name: 'shop', makeAndModel: 'Local Raw Printer', description: 'Xprinter XP-365B' }, 'tspl'],
    [{ name: 'TSC_TTP-244_Pro' }, 'tspl'],
    [{ name: 'label', description: '佳博 GP-3120TU' }, 'tspl'],
    [{ name: 'warehouse', description: 'Zebra ZD420' }, 'zpl'],
    [{ name: 'Zebra_LP2844' }, 'epl2'],
    [{ name: 'Zebra_LP2844-Z' }, 'zpl'],
    [{ name: 'kitchen', description: '斑马条码打印机' }, 'zpl'],
    [{ name: 'office', makeAndModel: 'HP LaserJet Pro M404' }, null],
    [{ name: 'shop' }, null],
  ];
  for (const [printer, language] of cases) assert.equal(proposeLanguage({ name: '', ...printer }), language, JSON.stringify(printer));
});

test('a raw queue takes a job only once its language is chosen; a queue with a driver always', () => {
  assert.deepEqual([sendReady('', 'raw'), sendReady('pdf', 'raw'), sendReady('zpl', 'raw'), sendReady('', 'ppd'), sendReady('', undefined)],
    [false, true, true, true, true]);
});

test('a project whose printer is gone chooses none and names it; otherwise the project\'s, the last, the default', () => {
  const list = [{ name: 'a', isDefault: false }, { name: 'b', isDefault: true }];
  const store = { lastPrinter: 'a', printers: {} };
  assert.deepEqual(initialPrinter(list, 'gone', store), { name: '', missing: 'gone' });
  assert.deepEqual(initialPrinter(list, 'b', store), { name: 'b', missing: '' });
  assert.deepEqual(initialPrinter(list, undefined, store), { name: 'a', missing: '' });
  assert.deepEqual(initialPrinter(list, undefined, { ...store, lastPrinter: 'old' }), { name: 'b', missing: '' });
  assert.deepEqual(initialPrinter([], 'gone', store), { name: '', missing: 'gone' });
});

test('a job refused before anything was sent never says labels may have printed in part', () => {
  const outcome = (labelsSent: number, failure: unknown): JobOutcome => ({
    status: 'failed', failure, reply: null, labelsSent, pagesSent: labelsSent, pagesDrawn: 10, totalPages: 10, totalLabels: 10, batchesSent: 1,
  });
  const key = (o: JobOutcome) => outcomeMessage(o, 1, 'shop').key;
  assert.equal(key(outcome(0, new BridgeError('打印机不支持所选设置：darkness=40'))), 'printNothingSent');
  assert.equal(key(outcome(0, new BridgeError('系统中未找到所选打印机'))), 'printNothingSent');
  assert.deepEqual(outcomeMessage(outcome(4, new BridgeError('打印页图像无效'), ), 1, 'shop'), { key: 'printRefusedAfter', params: { labels: 4 } });
  assert.equal(key(outcome(4, new BridgeError('创建打印页失败'))), 'printFailedCount');
  assert.equal(key(outcome(0, new BridgeError('something new'))), 'printFailedCount');
});
