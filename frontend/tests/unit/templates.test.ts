import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createObject, LabelObject } from '../../src/model/document';
import { readMergeSettings } from '../../src/model/merge';
import { offLabelObjects } from '../../src/model/shape';
import { labelsPerSheet, placeLabels, searchStock, STOCK, type StockEntry } from '../../src/model/stock';
import { mergeStock, stockOfTemplate, stockOfTemplates } from '../../src/model/templates';

// Entries as the host's listLabelTemplates gives them.
const sheet = (brand: string, part: string, more: Record<string, unknown> = {}): Record<string, unknown> => ({
  brand, part, description: 'Address labels', paper: 'A4', paperWidthMm: 210, paperHeightMm: 297, shape: 'rectangle',
  widthMm: 63.5, heightMm: 38.1, cornerRadiusMm: 1.5, unit: 'mm', categories: ['label'],
  layouts: [{ nx: 3, ny: 7, x0Mm: 7.2, y0Mm: 15.1, dxMm: 66, dyMm: 38.1 }], ...more,
});
const cds = sheet('Begalabel', 'M-600', {
  shape: 'cd', widthMm: 114.8, heightMm: 114.8, holeDiameterMm: 41.4, paper: 'US-Letter', paperWidthMm: 215.9, paperHeightMm: 279.4,
  layouts: [{ nx: 1, ny: 2, x0Mm: 6.35, y0Mm: 6.35, dxMm: 0, dyMm: 151.9 }, { nx: 1, ny: 1, x0Mm: 94.7, y0Mm: 82.3, dxMm: 0, dyMm: 0 }],
});

test('a sheet of several blocks places every label of every block, each block after the one before', () => {
  const stock = stockOfTemplate(cds)!;
  assert.equal(stock.kind, 'sheet');
  assert.equal(stock.sheet!.paper, 'Letter');
  assert.equal(labelsPerSheet(stock.sheet!), 3);
  const placed = placeLabels(stock.sheet!, 4, 2).map((p) => [p.sheetIndex, p.position, p.xMm, p.yMm]);
  assert.deepEqual(placed, [[0, 2, 6.35, 158.25], [0, 3, 94.7, 82.3], [1, 1, 6.35, 6.35], [1, 2, 6.35, 158.25]]);
  // A project keeps the blocks of its sheet.
  const read = readMergeSettings({ sheet: { ...stock.sheet, startPosition: 3 } }).sheet!;
  assert.deepEqual(read.blocks, stock.sheet!.blocks);
});

test('makers\' entries become stock: shapes, rolls, aliases; impossible ones are left out', () => {
  const [round, roll, alias] = stockOfTemplates([
    sheet('Avery', '3112', { shape: 'round', widthMm: 38.1, heightMm: 38.1, unit: 'in', equivalentTo: '3274.2' }),
    sheet('Brother', 'DK-1201', { paper: 'Other', paperWidthMm: 28.9, paperHeightMm: 90, widthMm: 28.9, heightMm: 90, layouts: [{ nx: 1, ny: 1, x0Mm: 0, y0Mm: 0 }] }),
    sheet('Avery', 'L7160', { equivalentTo: '7160' }),
    sheet('Avery', 'TooWide', { widthMm: 80 }),
    sheet('Avery', 'Loose', { layouts: [{ nx: 0, ny: 7 }] }),
    { brand: 'Avery' },
  ]);
  assert.equal(round.shape, 'round');
  assert.equal(round.id, 'system-avery-3112');
  assert.equal(round.equivalentTo, '3274.2');
  assert.equal(roll.kind, 'roll-gap');
  assert.equal(roll.sheet, undefined);
  assert.equal(alias.code, 'L7160');
  assert.equal(stockOfTemplates([sheet('Avery', 'TooWide', { widthMm: 80 })]).length, 0);
});

test('search ranks a maker\'s part number first, finds sizes, kinds and shapes, and offers each part once', () => {
  const system = stockOfTemplates([
    sheet('Avery', 'J8160', { equivalentTo: 'L7160' }), sheet('Avery', 'L7160'), sheet('Avery', 'L7160-100'),
    sheet('Herma', '4677', { description: 'Round labels', shape: 'round', widthMm: 40, heightMm: 40, layouts: [{ nx: 4, ny: 6, x0Mm: 10, y0Mm: 10, dxMm: 50, dyMm: 45 }] }),
    sheet('Avery', '5160', { categories: ['label', 'mail'], unit: 'in', paper: 'US-Letter', paperWidthMm: 215.9, paperHeightMm: 279.4, widthMm: 66.675, heightMm: 25.4, layouts: [{ nx: 3, ny: 10, x0Mm: 4.8, y0Mm: 12.7, dxMm: 70.6, dyMm: 25.4 }] }),
    sheet('Avery', '15160', { unit: 'in', paper: 'US-Letter', paperWidthMm: 215.9, paperHeightMm: 279.4, widthMm: 66.675, heightMm: 25.4, layouts: [{ nx: 3, ny: 10, x0Mm: 4.8, y0Mm: 12.7, dxMm: 70.6, dyMm: 25.4 }] }),
    sheet('Brother', 'DK-11201', { widthMm: 29, heightMm: 90 }),
  ]);
  const library = mergeStock(STOCK, system);
  assert.equal(library.filter((e) => e.code === 'DK-11201').length, 1, 'Quillmark\'s own entry of a part stands');
  const codes = (query: string): string[] => searchStock(query, library).map((e) => e.code ?? e.id);
  assert.deepEqual(codes('L7160').slice(0, 3), ['L7160', 'L7160-100', 'J8160']);
  assert.deepEqual(codes('5160').slice(0, 2), ['5160', '15160']);
  assert.deepEqual(codes('avery 2.625x1 in'), ['5160', '15160']);
  assert.deepEqual(codes('round 40').slice(0, 2), ['a4-4x6-round-40', '4677']);
  assert.ok(codes('圆形').includes('4677'));
  assert.ok(codes('address sheet').includes('L7160'));
  assert.deepEqual(codes('shipping 2.625x1 in'), ['5160'], 'by what the maker sells it for');
});

test('an object is off the label when any corner of its turned box leaves the label\'s shape or covers a CD\'s hole', () => {
  const stockOf = (shape: string, hole?: number) => ({ ...STOCK[0], shape, widthMm: 40, heightMm: shape === 'ellipse' ? 20 : 40, ...(hole ? { holeDiameterMm: hole } : {}) }) as StockEntry;
  const box = (xMm: number, yMm: number, widthMm: number, heightMm: number, rotation = 0) => ({ ...createObject('rect'), xMm, yMm, widthMm, heightMm, rotation }) as LabelObject;
  const cases: [string, StockEntry | undefined, LabelObject, boolean][] = [
    ['flush with a rectangle', undefined, box(0, 0, 40, 40), false],
    ['past a rectangle\'s edge', undefined, box(30, 0, 11, 5), true],
    ['turned past a rectangle\'s edge', undefined, box(2, 2, 36, 36, 30), true],
    ['a square in a circle', stockOf('round'), box(6, 6, 28, 28), false],
    ['a corner out of a circle', stockOf('round'), box(4, 4, 32, 32), true],
    ['turned into a circle', stockOf('round'), box(2, 18, 36, 4, 45), false],
    ['wide in an oval', stockOf('ellipse'), box(5, 8, 30, 4), false],
    ['tall at an oval\'s narrow end', stockOf('ellipse'), box(2, 4, 4, 12), true],
    ['on a CD\'s ring', stockOf('cd', 15), box(4, 17, 8, 6), false],
    ['over a CD\'s hole', stockOf('cd', 15), box(10, 17, 20, 6), true],
  ];
  for (const [name, stock, object, off] of cases) {
    const doc = { widthMm: 40, heightMm: stock?.heightMm ?? 40, objects: [object], ...(stock ? { stock } : {}) };
    assert.equal(offLabelObjects(doc).length === 1, off, name);
  }
});
