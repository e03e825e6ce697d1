import { test } from 'node:test';
import assert from 'node:assert/strict';
import { DEFAULT_COUNTER, formatDate, substitute, tokenize, unknownColumns } from '../../src/model/fields';
import { labelSequence, paginate, parseRecordRange, sheetFits } from '../../src/model/labels';
import { DEFAULT_MERGE, readMergeSettings } from '../../src/model/merge';
import { planOutput } from '../../src/print/output';
import { tableFromRows } from '../../src/data/table';
import { createDocument } from '../../src/model/document';
import { parseProject, serializeProject } from '../../src/model/project';

const now = new Date(2026, 2, 5, 9, 7, 3);
const ctx = { columns: ['品名', 'SKU', 'Price'], record: ['铅笔', 'A-1', '3.50'], counter: '007', now };

test('fields: columns, counter, date and time are substituted; unknown names stay visible', () => {
  const cases: [string, string][] = [
    ['{{品名}} {{SKU}}', '铅笔 A-1'],
    ['{{ Price }}元', '3.50元'],
    ['No.{{$counter}}', 'No.007'],
    ['{{$date}} {{$time}}', '2026-03-05 09:07'],
    ['{{$date:YYYY年MM月DD日}} {{$time:HH:mm:ss}}', '2026年03月05日 09:07:03'],
    ['{{$datetime}}', '2026-03-05 09:07'],
    ['{{颜色}}/{{$nothing}}', '{{颜色}}/{{$nothing}}'],
    ['{{}} {SKU} {{{SKU}}}', '{{}} {SKU} {A-1}'],
    ['plain text', 'plain text'],
  ];
  for (const [text, expected] of cases) assert.equal(substitute(text, ctx), expected, text);
  // Without a data source the field text is left in place so the design still shows it.
  assert.equal(substitute('{{品名}}-{{$counter}}', { ...ctx, record: null }), '{{品名}}-007');
  assert.deepEqual(unknownColumns('{{品名}}{{颜色}}{{$counter}}{{Sku}}', ctx.columns), ['颜色', 'Sku']);
  assert.deepEqual(tokenize('a{{b}}c').map((t) => t.kind), ['text', 'column', 'text']);
  assert.equal(formatDate(now, 'DD.MM.YYYY'), '05.03.2026');
});

test('counters: start, step and padding, per label or per record', () => {
  const range = parseRecordRange(2, 3, 5);
  assert.deepEqual(range, { first: 1, last: 2 });
  assert.deepEqual(labelSequence(range, 2, { start: 98, step: 1, padding: 3, per: 'label' }), [
    { record: 1, counter: '098' }, { record: 1, counter: '099' }, { record: 2, counter: '100' }, { record: 2, counter: '101' },
  ]);
  assert.deepEqual(labelSequence(range, 2, { start: 10, step: -5, padding: 0, per: 'record' }).map((l) => l.counter), ['10', '10', '5', '5']);
  assert.deepEqual(labelSequence(null, 3, { ...DEFAULT_COUNTER, start: -1, padding: 2 }).map((l) => [l.record, l.counter]),
    [[-1, '-01'], [-1, '00'], [-1, '01']]);
  for (const [from, to] of [[0, 2], [3, 2], [1, 6], [1.5, 2]]) assert.equal(parseRecordRange(from, to, 5), null);
});

test('sheets: labels fill rows left to right from the start position at the sheet\'s pitch, then further sheets', () => {
  const layout = {
    paper: 'A4' as const, paperWidthMm: 210, paperHeightMm: 297, columns: 3, rows: 2, marginLeftMm: 10, marginTopMm: 20, pitchXMm: 55, pitchYMm: 34, startPosition: 5,
  };
  const pages = paginate(9, layout);
  assert.deepEqual(pages.map((p) => p.length), [2, 6, 1]);
  assert.deepEqual(pages[0], [{ label: 0, xMm: 65, yMm: 54 }, { label: 1, xMm: 120, yMm: 54 }]);
  assert.deepEqual(pages[1][0], { label: 2, xMm: 10, yMm: 20 });
  assert.deepEqual(pages[2], [{ label: 8, xMm: 10, yMm: 20 }]);
  // A start position past the last slot means the last slot, not an empty sheet.
  assert.equal(paginate(1, { ...layout, startPosition: 99 })[0][0].xMm, 120);
  // Fits; a fourth column runs off the paper; 56 mm labels overlap their neighbours.
  assert.deepEqual([sheetFits(layout, 50, 30), sheetFits({ ...layout, columns: 4 }, 50, 30), sheetFits(layout, 56, 30)], [true, false, false]);
});

test('tables: header row names columns; blank or repeated names and headerless sheets use letters', () => {
  const rows = [['名称', '', '名称', 'Qty'], ['a', 'b', 'c', 'd', 'e'], ['x']];
  assert.deepEqual(tableFromRows(rows, true), {
    columns: ['名称', 'B', 'C', 'Qty', 'E'],
    records: [['a', 'b', 'c', 'd', 'e'], ['x', '', '', '', '']],
  });
  const headerless = tableFromRows(rows, false);
  assert.deepEqual([headerless.columns, headerless.records.length], [['A', 'B', 'C', 'D', 'E'], 3]);
  assert.equal(tableFromRows([['{{x}}']], true).columns[0], 'x');
});

test('stored merge settings: damaged values fall back to defaults', () => {
  assert.deepEqual(readMergeSettings(null).counter, DEFAULT_COUNTER);
  const read = readMergeSettings({
    source: { path: '/d/s.xlsx', name: 's.xlsx', sheet: 7, headerRow: 'no' },
    counter: { start: 5, step: 2.5, padding: -1, per: 'record' },
    sheet: { paperWidthMm: 210, paperHeightMm: 297, columns: 0, rows: 3, startPosition: 2 },
  });
  assert.deepEqual(read.source, { path: '/d/s.xlsx', name: 's.xlsx', sheet: '', headerRow: true });
  assert.deepEqual(read.counter, { start: 5, step: 1, padding: 0, per: 'record' });
  assert.deepEqual([read.sheet?.columns, read.sheet?.rows, read.sheet?.marginLeftMm], [1, 3, 0]);
  assert.equal(readMergeSettings({ sheet: { paperWidthMm: -1, paperHeightMm: 297 } }).sheet, null);
});

test('a project file keeps its data source, counter and sheet; older files open with their gaps as pitches', () => {
  const doc = {
    ...createDocument('库存', 50, 30),
    merge: {
      source: { path: '/data/库存.xlsx', name: '库存.xlsx', sheet: '二月', headerRow: false },
      counter: { start: 100, step: 5, padding: 6, per: 'record' as const },
      sheet: { paper: 'A4' as const, paperWidthMm: 210, paperHeightMm: 297, columns: 3, rows: 8, marginLeftMm: 7.5, marginTopMm: 10, pitchXMm: 52.5, pitchYMm: 30, startPosition: 4 },
    },
  };
  assert.deepEqual(parseProject(serializeProject(doc)).doc.merge, doc.merge);
  assert.equal('merge' in parseProject(serializeProject(createDocument('x'))).doc, false);
  // Written before sheets were laid out by pitch: the same labels land in the same places.
  const old = JSON.parse(serializeProject(doc));
  old.merge.sheet = { paperWidthMm: 210, paperHeightMm: 297, columns: 3, rows: 8, marginLeftMm: 7.5, marginTopMm: 10, gapXMm: 2.5, gapYMm: 0, startPosition: 4 };
  assert.deepEqual(parseProject(JSON.stringify(old)).doc.merge, doc.merge);
  old.merge.sheet.paperWidthMm = 148;
  assert.equal(parseProject(JSON.stringify(old)).doc.merge?.sheet?.paper, 'custom');
});

test('print plans: ranges, sheets that do not fit, and pages too large for an image are refused', () => {
  const doc = createDocument('x', 50, 30);
  const table = { columns: ['A'], records: [['1'], ['2'], ['3']] };
  const options = { dpi: 300, from: 1, to: 3, perRecord: 2, sheet: null };
  const ok = planOutput(doc, table, DEFAULT_MERGE, options);
  assert.ok(ok.ok && ok.plan.pages.length === 6 && ok.plan.pageWidthMm === 50);
  assert.deepEqual(planOutput(doc, table, DEFAULT_MERGE, { ...options, to: 4 }), { ok: false, reason: 'range' });
  const sheet = { paperWidthMm: 100, paperHeightMm: 100, columns: 3, rows: 1, marginLeftMm: 0, marginTopMm: 0, gapXMm: 0, gapYMm: 0, startPosition: 1 };
  assert.deepEqual(planOutput(doc, table, DEFAULT_MERGE, { ...options, sheet }), { ok: false, reason: 'sheet' });
  // 1000 x 1000 mm at 600 dpi is 23622 pixels a side, over 500 million pixels.
  const big = createDocument('x', 1000, 1000);
  assert.deepEqual(planOutput(big, null, DEFAULT_MERGE, { ...options, dpi: 600 }), { ok: false, reason: 'pageTooLarge' });
  assert.equal(planOutput(big, null, DEFAULT_MERGE, { ...options, dpi: 203 }).ok, true);
});
