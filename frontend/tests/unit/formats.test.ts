import { test } from 'node:test';
import assert from 'node:assert/strict';
import { addOffset, formatNumber, parseDateCell, parseNumberFormat } from '../../src/model/formats';
import { FieldFault, formatDate, substitute, unknownColumns } from '../../src/model/fields';
import { checkLabels } from '../../src/print/preflight';
import { labelSequence } from '../../src/model/labels';
import { createDocument, createObject } from '../../src/model/document';
import { RecordPictures } from '../../src/render/recordPictures';

const day = (d: Date): string => formatDate(d, 'YYYY-MM-DD');

test('date offsets: months and years clamp to the month end, days and weeks count the calendar', () => {
  const cases: [string, number, 'd' | 'w' | 'm' | 'y', string][] = [
    ['2026-01-31', 1, 'm', '2026-02-28'],
    ['2028-01-31', 1, 'm', '2028-02-29'],
    ['2026-03-31', -1, 'm', '2026-02-28'],
    ['2026-08-31', 6, 'm', '2027-02-28'],
    ['2028-02-29', 1, 'y', '2029-02-28'],
    ['2028-02-29', 4, 'y', '2032-02-29'],
    ['2026-12-15', 1, 'm', '2027-01-15'],
    ['2026-12-25', 10, 'd', '2027-01-04'],
    ['2028-02-28', 1, 'd', '2028-02-29'],
    ['2026-03-05', 2, 'w', '2026-03-19'],
    ['2026-03-28', 180, 'd', '2026-09-24'],
  ];
  for (const [from, amount, unit, expected] of cases) {
    assert.equal(day(addOffset(parseDateCell(from)!, { amount, unit })), expected, `${from} ${amount}${unit}`);
  }
});

test('date cells: year-first forms are read; anything else is no date', () => {
  for (const text of ['2026-03-05', '2026/3/5', '2026.03.05', '2026年3月5日', '20260305', ' 2026-03-05 14:30 ']) {
    assert.equal(day(parseDateCell(text)!), '2026-03-05', text);
  }
  for (const text of ['', '05/03/2026', '2026-02-30', '2026-13-01', '明天', '45000']) assert.equal(parseDateCell(text), null, text);
});

test('number formats: decimal rounding, grouping, zeros, prefix and suffix, negatives, text', () => {
  const cases: [string, string, string | null][] = [
    ['2.675', '0.00', '2.68'],
    ['1.005', '0.00', '1.01'],
    ['-2.675', '0.00', '-2.68'],
    ['-0.004', '0.00', '0.00'],
    ['1234567.891', '¥#,##0.00', '¥1,234,567.89'],
    ['-1234.5', '¥#,##0.00', '-¥1,234.50'],
    ['999.995', '#,##0.00', '1,000.00'],
    ['42', '000000', '000042'],
    ['3.5', '0.0#元', '3.5元'],
    ['3.456', '0.0#', '3.46'],
    ['1.5e3', '0', '1500'],
    ['12.5', '0', '13'],
    ['1,234.5', '0.0', '1234.5'],
    ['十二', '0.00', null],
    ['', '0.00', null],
    ['12a', '0', null],
  ];
  for (const [cell, format, expected] of cases) assert.equal(formatNumber(cell, parseNumberFormat(format)!), expected, `${cell} ${format}`);
  assert.equal(parseNumberFormat('YYYY-MM-DD'), null);
});

test('fields: offsets and formats on today and on columns; a cell that does not fit is a fault', () => {
  const now = new Date(2026, 0, 31, 9, 0, 0);
  const ctx = { columns: ['生产日期', '价格', 'a+b'], record: ['2026-03-28', '2.675', 'x'], counter: '1', now };
  const faults: FieldFault[] = [];
  const cases: [string, string][] = [
    ['{{$date+1m}}', '2026-02-28'],
    ['{{$date-1d:DD.MM.YYYY}}', '30.01.2026'],
    ['{{生产日期+180d:YYYY年MM月DD日}}', '2026年09月24日'],
    ['{{价格:¥#,##0.00}}', '¥2.68'],
    ['{{a+b}}', 'x'],
  ];
  for (const [text, expected] of cases) assert.equal(substitute(text, ctx, faults), expected, text);
  assert.deepEqual(faults, []);
  assert.equal(substitute('{{价格+1d}}|{{生产日期:0.00}}', ctx, faults), '2.675|2026-03-28');
  assert.deepEqual(faults, [{ kind: 'date', column: '价格', value: '2.675' }, { kind: 'number', column: '生产日期', value: '2026-03-28' }]);
  assert.deepEqual(unknownColumns('{{生产日期+1y}}{{保质期+1d}}', ctx.columns), ['保质期+1d']);
});

test('the check before printing stops records whose date or number cell does not fit', async () => {
  const doc = { ...createDocument(), objects: [{ ...createObject('text'), text: '{{到期+30d}} {{价格:0.00}}' } as never] };
  const table = { columns: ['到期', '价格'], records: [['2026-01-01', '1'], ['', '2'], ['2026-01-01', 'abc']] };
  const problems = await checkLabels(doc, table, labelSequence({ first: 0, last: 2 }, 1, { start: 1, step: 1, padding: 0, per: 'label' }), new Date());
  assert.deepEqual(problems?.map((p) => [p.record, p.faults.map((f) => f.kind)]), [[1, ['date']], [2, ['number']]]);
});

test('record pictures: relative names are read from the data file\'s folder, never from the working folder', async () => {
  const asked: string[] = [];
  const pictures = new RecordPictures(async (path) => {
    asked.push(path);
    return { ok: false, problem: path.endsWith('big.png') ? 'tooLarge' : 'missing' };
  });
  assert.equal(await pictures.problem('a.png'), 'missing');
  assert.deepEqual(asked, [], 'no folder yet: nothing is read');
  pictures.setFolder('/data/shop');
  assert.equal(await pictures.problem(' photos/big.png '), 'tooLarge');
  assert.equal(await pictures.problem('./a.png'), 'missing');
  assert.equal(await pictures.problem('/srv/b.png'), 'missing');
  assert.equal(await pictures.problem('./a.png'), 'missing');
  assert.equal(await pictures.problem(''), 'empty');
  assert.deepEqual(asked, ['/data/shop/photos/big.png', '/data/shop/a.png', '/srv/b.png']);
});
