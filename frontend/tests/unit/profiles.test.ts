import { test } from 'node:test';
import assert from 'node:assert/strict';
import {
  clampOffset, DriverSettings, fitToDriver, jobSettings, loadProfiles, PROFILES_KEY, proposedProfile, rememberProfile, saveProfiles,
} from '../../src/model/profiles';
import { printerDpi, readOutputSettings } from '../../src/model/output';
import { asDriverSettings } from '../../src/bridge/client';
import { createDocument } from '../../src/model/document';

const zpl: DriverSettings = {
  queue: 'ppd',
  options: [
    { name: 'Darkness', label: 'Darkness', defaultChoice: '-1', choices: [{ name: '-1', label: 'Printer Default' }, { name: '20', label: '20' }] },
    { name: 'zePrintRate', label: 'Print Rate', defaultChoice: 'Default', choices: [{ name: 'Default', label: 'Default' }, { name: '4', label: '4 inches/sec' }] },
  ],
  resolutions: [203, 300],
  defaultResolution: 300,
};

test('black and white is proposed up to the widest thermal head, at the driver\'s resolution', () => {
  assert.deepEqual([118, 118.1, 210].map((w) => proposedProfile(w).kind), ['mono', 'colour', 'colour']);
  assert.deepEqual([proposedProfile(50, zpl).dpi, proposedProfile(50, null).dpi], [300, 203]);
});

test('a job asks only for settings moved from the driver default, and for a resolution the driver lists', () => {
  const profile = { ...proposedProfile(50), dpi: 203, options: { Darkness: '20', zePrintRate: 'Default', Gone: 'x' } };
  assert.deepEqual(jobSettings(profile, zpl), { options: { Darkness: '20' }, resolution: 203 });
  assert.deepEqual(jobSettings({ ...profile, options: {} }, zpl), { resolution: 203 });
  assert.deepEqual(jobSettings({ ...profile, dpi: 600 }, zpl), { options: { Darkness: '20' } });
  // Without a driver's list (older host, no driver) the payload is what it always was.
  assert.deepEqual(jobSettings(profile, null), {});
});

test('a remembered profile is fitted to what the driver offers today', () => {
  const stale = { ...proposedProfile(50), dpi: 600, options: { Darkness: '99', zePrintRate: '4', Removed: '1' } };
  assert.deepEqual(fitToDriver(stale, zpl), { ...stale, dpi: 300, options: { zePrintRate: '4' } });
  assert.deepEqual([300, 250].map((dpi) => fitToDriver({ ...stale, dpi }, null).dpi), [300, 203]);
});

test('offsets step by 0.1 mm within ±20 mm', () => {
  for (const [given, kept] of [[0.14, 0.1], [-0.15, -0.1], [1.05, 1.1], [35, 20], [-35, -20], [NaN, 0], [-0.04, 0]]) {
    assert.equal(clampOffset(given), kept, String(given));
  }
});

test('profiles survive the page storage per printer, and damaged storage starts afresh', () => {
  const items = new Map<string, string>();
  const storage = { getItem: (k: string) => items.get(k) ?? null, setItem: (k: string, v: string) => void items.set(k, v) };
  assert.deepEqual(loadProfiles(storage), { lastPrinter: '', printers: {} });
  const zplProfile = { ...proposedProfile(50), offsetXMm: 1, rotate180: true, options: { Darkness: '20' } };
  const office = { ...proposedProfile(210), dpi: 600 };
  saveProfiles(storage, rememberProfile(rememberProfile(loadProfiles(storage), 'zpl', zplProfile), 'office', office));
  const loaded = loadProfiles(storage);
  assert.deepEqual(loaded, { lastPrinter: 'office', printers: { zpl: zplProfile, office } });
  items.set(PROFILES_KEY, '{"printers":{"a":{"dpi":"300"},"b":{"dpi":300,"kind":"weird","offsetXMm":"1.26"}}}');
  assert.deepEqual(loadProfiles(storage).printers, { b: { ...proposedProfile(50), dpi: 300, offsetXMm: 1.3 } });
  items.set(PROFILES_KEY, '{not json');
  assert.deepEqual(loadProfiles(storage).printers, {});
  const full = { getItem: () => null, setItem: () => { throw new Error('QuotaExceededError'); } };
  assert.doesNotThrow(() => saveProfiles(full, loaded));
});

test('a project printed before profiles opens with its printer and resolution', () => {
  const old = readOutputSettings({ printerName: 'zpl', dpi: 300 });
  assert.deepEqual(old, { ...proposedProfile(50), dpi: 300, printerName: 'zpl' });
  assert.equal(readOutputSettings({ printerName: 'zpl' }), undefined);
  assert.deepEqual([printerDpi({ ...createDocument(), output: old }), printerDpi(createDocument())], [300, 203]);
});

test('the driver\'s list is read as sent, and malformed entries are left out', () => {
  const read = asDriverSettings({
    ok: true, printerName: 'zpl', resolutions: [203, 'x', 300], defaultResolution: 999,
    options: [zpl.options[0], { name: 'NoChoices' }, { label: 'nameless', choices: [] }, { name: 'Bare', choices: [{ name: 'a' }, 7] }],
  });
  assert.deepEqual(read, {
    queue: 'ppd',
    options: [zpl.options[0], { name: 'Bare', label: 'Bare', defaultChoice: '', choices: [{ name: 'a', label: 'a' }] }],
    resolutions: [203, 300], defaultResolution: 203,
  });
  assert.equal(asDriverSettings({ ok: true, driver: 'raw', options: [], resolutions: [] })?.queue, 'raw');
});
