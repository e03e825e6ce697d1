import { test } from 'node:test';
import assert from 'node:assert/strict';
import { formatMm, mmToWholePx, parseMm, roundMm } from '../../src/model/units';

test('a 50 × 30 mm label is 591 × 354 pixels at 300 dpi, and 400 × 240 at 203 dpi', () => {
  assert.equal(mmToWholePx(50, 300), 591);
  assert.equal(mmToWholePx(30, 300), 354);
  assert.equal(mmToWholePx(50, 203), 400);
  assert.equal(mmToWholePx(30, 203), 240);
  assert.equal(mmToWholePx(50, 600), 1181);
});

test('lengths round to a tenth of a millimetre without float noise', () => {
  assert.equal(roundMm(0.1 + 0.2), 0.3);
  assert.equal(roundMm(12.34), 12.3);
  assert.equal(roundMm(12.35000001), 12.4);
});

test('typed lengths accept comma, unit and blanks, and refuse words', () => {
  const cases: [string, number | null][] = [
    ['12.5', 12.5], ['12,5', 12.5], [' 12.5 mm', 12.5], ['-3', -3], ['.5', 0.5], ['7.', 7], ['12.345', 12.3],
    ['', null], ['abc', null], ['1e3', null], ['12..5', null],
  ];
  for (const [text, expected] of cases) assert.equal(parseMm(text), expected, `parseMm(${JSON.stringify(text)})`);
  assert.equal(formatMm(12), '12');
  assert.equal(formatMm(12.25), '12.3');
  assert.equal(formatMm(0.1 + 0.2), '0.3');
});
