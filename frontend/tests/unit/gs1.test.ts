import { test } from 'node:test';
import assert from 'node:assert/strict';
import bwipjs from 'bwip-js';
import {
  BinaryBitmap, Code128Reader, DataMatrixReader, DecodeHintType, HybridBinarizer, RGBLuminanceSource,
} from '@zxing/library';
import { gs1BwipOptions, gs1CheckDigit, parseGs1, parseScannedGs1 } from '../../src/render/gs1';

test('element strings are checked; a left-out check digit is added, a wrong one named', () => {
  // Check digits from GS1's published examples: GTIN 0950600013435-2; EAN 400638133393-1; SSCC worked by hand.
  assert.deepEqual(['0950600013435', '400638133393', '10614141123456789'].map(gs1CheckDigit), ['2', '1', '7']);
  const typed = parseGs1(' (01)0950600013435 (17)261231(10)ABC123(3103)000750');
  assert.deepEqual(typed.ok && [typed.text, typed.completed], ['(01)09506000134352(17)261231(10)ABC123(3103)000750', true]);
  assert.deepEqual(parseGs1('(00)106141411234567897'), {
    ok: true, elements: [{ ai: '00', value: '106141411234567897' }], text: '(00)106141411234567897', completed: false,
  });
  const failures: [string, unknown][] = [
    ['(01)09506000134353', { code: 'badCheckDigit', ai: '01', expected: '2' }],
    ['(01)0950600013', { code: 'badLength', ai: '01', min: 14, max: 14 }],
    ['(17)261331', { code: 'badDate', ai: '17' }],
    ['(17)260231', { code: 'badDate', ai: '17' }],
    ['(10)ABC 123', { code: 'badCharacters', ai: '10' }],
    ['(10)' + 'A'.repeat(21), { code: 'badLength', ai: '10', min: 1, max: 20 }],
    ['(99)x(23)1', { code: 'unknownAi', ai: '23' }],
    ['01)123', { code: 'syntax', at: 0 }],
    ['', { code: 'syntax', at: 0 }],
  ];
  for (const [text, error] of failures) assert.deepEqual(parseGs1(text), { ok: false, error }, text);
  // Day 00 stands for the end of the month.
  assert.ok(parseGs1('(15)260200').ok);
});

/** Draws bwip-js's encoding of a symbol into grey pixels (module = 3 px, quiet zones included). */
function raster(bcid: string, text: string): { grey: Uint8ClampedArray; width: number; height: number } {
  const [symbol] = bwipjs.raw({ bcid, text } as never) as unknown as { sbs?: number[]; pixs?: number[]; pixx?: number; pixy?: number }[];
  const scale = 3;
  let modules: number[][];
  if (symbol.sbs) {
    const row: number[] = [];
    symbol.sbs.forEach((width, i) => { for (let k = 0; k < width; k++) row.push(i % 2 === 0 ? 1 : 0); });
    modules = Array.from({ length: 20 }, () => row);
  } else {
    modules = Array.from({ length: symbol.pixy! }, (_, y) => symbol.pixs!.slice(y * symbol.pixx!, (y + 1) * symbol.pixx!));
  }
  const quiet = 10;
  const width = (modules[0].length + 2 * quiet) * scale;
  const height = (modules.length + 2 * quiet) * scale;
  const grey = new Uint8ClampedArray(width * height).fill(255);
  modules.forEach((row, y) => row.forEach((dark, x) => {
    if (!dark) return;
    for (let dy = 0; dy < scale; dy++) grey.fill(0, ((y + quiet) * scale + dy) * width + (x + quiet) * scale, ((y + quiet) * scale + dy) * width + (x + quiet + 1) * scale);
  }));
  return { grey, width, height };
}

function decode(bcid: string, text: string): string {
  const { grey, width, height } = raster(bcid, text);
  const reader = bcid === 'gs1-128' ? new Code128Reader() : new DataMatrixReader();
  const hints = new Map<DecodeHintType, unknown>([[DecodeHintType.ASSUME_GS1, true]]);
  return reader.decode(new BinaryBitmap(new HybridBinarizer(new RGBLuminanceSource(grey, width, height))), hints).getText();
}

test('GS1-128 and GS1 DataMatrix encode the element string and scan back to it', () => {
  const strings = ['(01)0950600013435(17)261231(10)ABC123', '(00)10614141123456789(401)0614141CONS1(410)541234500001(420)10115', '(01)09506000134352(3103)000750(8005)000365(21)S/N-7'];
  for (const typed of strings) {
    const parsed = parseGs1(typed);
    assert.ok(parsed.ok, typed);
    if (!parsed.ok) continue;
    for (const [symbology, marker] of [['gs1-128', ']C1'], ['gs1datamatrix', '\u001d']] as const) {
      const { bcid, text } = gs1BwipOptions(symbology, parsed);
      const scanned = decode(bcid, text);
      // FNC1 first marks the symbol as GS1; variable-length values before another AI end in GS.
      assert.ok(scanned.startsWith(marker), `${symbology} ${JSON.stringify(scanned)}`);
      const back = parseScannedGs1(scanned);
      assert.equal(back.ok && back.text, parsed.text, `${symbology} ${JSON.stringify(scanned)}`);
    }
  }
});
