import { test } from 'node:test';
import assert from 'node:assert/strict';
import { formatLength, formatMm, mmToWholePx, parseLength, parseMm, roundMm } from '../../src/model/units';
import { format, messageTable } from '../../src/i18n/messages';
import { mergeFontNames } from '../../src/editor/editor';

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

test('inches: shown to a hundredth, typed with or without a unit, kept in millimetres', () => {
  assert.deepEqual([formatLength(101.6, 'in'), formatLength(66.7, 'in'), formatLength(12.25, 'mm')], ['4', '2.63', '12.3']);
  const cases: [string, 'mm' | 'in', number | null][] = [
    ['2,5', 'in', 63.5], ['12 mm', 'in', 12], ['2"', 'mm', 50.8], [' 2 in ', 'mm', 50.8], ['.5', 'in', 12.7], ['two', 'in', null], ['2 cm', 'in', null],
  ];
  for (const [text, unit, mm] of cases) assert.equal(parseLength(text, unit), mm, `${text} in a ${unit} field`);
});

test('English counts take their plural form, Chinese has none; font families are listed once', () => {
  const en = messageTable('en');
  assert.equal(format(en, 'jobSummary', { labels: 1, pages: 1 }), '1 label, 1 page');
  assert.equal(format(en, 'jobSummary', { labels: 21, pages: 2 }), '21 labels, 2 pages');
  assert.equal(format(en, 'multipleSelected', { count: 0 }), '0 objects selected');
  assert.equal(format(messageTable('zh-CN'), 'jobSummary', { labels: 1, pages: 1 }), '1 张标签，1 页');
  assert.deepEqual(mergeFontNames(['DejaVu Sans [PfEd]', 'DejaVu Sans', 'dejavu  sans', ' Noto Sans CJK SC ', '']), ['DejaVu Sans', 'Noto Sans CJK SC']);
});
