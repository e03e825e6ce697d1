import { test } from 'node:test';
import assert from 'node:assert/strict';
import Ajv from 'ajv';
import schema from '../../src/model/stock.schema.json';
import data from '../../src/model/stock.json';
import {
  STOCK, customStockId, formatStockSize, loadCustomStock, makeCustomStock, placeLabels, saveCustomStock, searchStock, stockProblems,
  type StockEntry, type StockStorage,
} from '../../src/model/stock';

test('the stock file is valid against its schema', () => {
  const validate = new Ajv({ allErrors: true }).compile(schema);
  assert.ok(validate(data), JSON.stringify(validate.errors, null, 1));
});

test('every sheet fits its paper, pitches clear the labels, ids and codes are unique', () => {
  for (const e of STOCK) assert.deepEqual(stockProblems(e), [], `${e.id} refused by the stock checks`);
  const unique = (keys: string[], what: string): void => {
    const seen = new Set<string>();
    for (const k of keys) { assert.ok(!seen.has(k), `two entries with ${what} ${k}`); seen.add(k); }
  };
  unique(STOCK.map((e) => e.id), 'id');
  unique(STOCK.filter((e) => e.code).map((e) => `${e.maker} ${e.code}`.toLowerCase().replace(/[\s-]/g, '')), 'code');
  assert.ok(STOCK.filter((e) => e.kind === 'sheet').length >= 40, 'at least 40 sheets');
  assert.ok(STOCK.filter((e) => e.kind !== 'sheet').length >= 25, 'at least 25 rolls');
});

test('search finds stock by size in either unit and orientation, by label count and by code', () => {
  const ids = (query: string, filter = {}): string[] => searchStock(query, STOCK, filter).map((e) => e.id);
  const cases: [string, string][] = [
    ['60x40', 'roll-60x40'], ['60 × 40', 'roll-60x40'], ['60 x 40 mm', 'roll-60x40'],
    ['4x6 in', 'roll-4x6in'], ['4 × 6"', 'roll-4x6in'], ['4x6', 'roll-4x6in'], ['101.6x152.4mm', 'roll-4x6in'],
    ['99x38', 'a4-2x7-99.1x38.1'], ['2.625x1', 'letter-3x10-2.625x1in'], ['62', 'brother-dk-11209'],
    ['62 mm continuous', 'brother-dk-22251'], ['A4 21', 'a4-3x7-63.5x38.1'], ['DK-11201', 'brother-dk-11201'], ['dk11201', 'brother-dk-11201'], ['brother 11202', 'brother-dk-11202'],
  ];
  for (const [query, id] of cases) assert.ok(ids(query).includes(id), `"${query}" finds ${id}`);
  assert.equal(ids('60x40')[0], 'roll-60x40', 'the exact orientation first');
  assert.ok(ids('40x60').includes('roll-60x40'));
  assert.ok(!ids('60x40').includes('roll-60x30'));
  assert.ok(!ids('4x6').includes('roll-40x30'), 'a bare size is read in each stock\'s own unit');
  assert.ok(['a4-3x7-63.5x38.1', 'a4-3x7-70x42.3'].every((id) => ids('21', { kinds: ['sheet'] }).includes(id)), '21 labels a sheet');
  assert.ok(searchStock('62 mm continuous').every((e) => e.kind === 'continuous' && e.widthMm === 62));
  assert.ok(searchStock('A4 21').every((e) => e.sheet?.paper === 'A4'));
  const shown = (id: string): string => formatStockSize(STOCK.find((e) => e.id === id)!);
  assert.deepEqual(['roll-4x6in', 'dymo-address', 'brother-dk-11207', 'brother-dk-22251', 'roll-60x40'].map(shown),
    ['4 × 6 in', '1.125 × 3.5 in', 'Ø 58 mm', '62 mm', '60 × 40 mm']);
  const letter = searchStock('', STOCK, { paper: 'Letter' });
  assert.ok(letter.length > 0 && letter.every((e) => e.sheet?.paper === 'Letter'));
  const continuous = searchStock('dk', STOCK, { kinds: ['continuous'] });
  assert.ok(continuous.length > 0 && continuous.every((e) => e.kind === 'continuous' && e.code?.startsWith('DK')));
});

test('labels fill a used sheet from the start position, then whole sheets', () => {
  const sheet = STOCK.find((e) => e.id === 'a4-3x7-63.5x38.1')!.sheet!;
  const placed = placeLabels(sheet, 5, 20);
  assert.deepEqual(placed.map((p) => [p.sheetIndex, p.position, p.column, p.row]), [[0, 20, 1, 6], [0, 21, 2, 6], [1, 1, 0, 0], [1, 2, 1, 0], [1, 3, 2, 0]]);
  assert.ok(Math.abs(placed[0].xMm - (7.25 + 66)) < 1e-9 && Math.abs(placed[0].yMm - (15.15 + 6 * 38.1)) < 1e-9);
  assert.equal(placeLabels(sheet, 1, 99)[0].position, 21, 'a start past the end is the last label');
  assert.equal(placeLabels(sheet, 1, 0)[0].position, 1);
});

test('user stock is checked, keyed by its geometry and survives storage', () => {
  const a4 = { paper: 'A4', paperWidthMm: 210, paperHeightMm: 297, columns: 2, rows: 4, marginLeftMm: 5, marginTopMm: 10, pitchXMm: 101, pitchYMm: 70 };
  const good = { kind: 'sheet', unit: 'mm', widthMm: 99, heightMm: 68, shape: 'rectangle', sheet: a4 };
  const bad: [string, Record<string, unknown>][] = [
    ['fit', { ...good, sheet: { ...a4, rows: 5 } }],
    ['pitch', { ...good, sheet: { ...a4, pitchXMm: 90 } }],
    ['grid', { ...good, sheet: { ...a4, columns: 0 } }],
    ['size', { kind: 'continuous', unit: 'mm', widthMm: 62, heightMm: 40, shape: 'rectangle' }],
    ['shape', { kind: 'roll-gap', unit: 'mm', widthMm: 40, heightMm: 30, shape: 'round' }],
    ['corner', { kind: 'roll-gap', unit: 'mm', widthMm: 40, heightMm: 30, shape: 'rectangle', cornerRadiusMm: 16 }],
    ['kind', { kind: 'roll', unit: 'mm', widthMm: 40, heightMm: 30, shape: 'rectangle' }],
  ];
  for (const [problem, input] of bad) {
    const result = makeCustomStock(input);
    assert.ok(!result.ok && result.problems.includes(problem as never), `${problem}: ${JSON.stringify(result)}`);
  }
  const made = makeCustomStock({ ...good, code: ' X-1 ' });
  assert.ok(made.ok && made.entry.code === 'X-1' && made.entry.verified === false, JSON.stringify(made));
  const moved = makeCustomStock({ ...good, sheet: { ...a4, marginTopMm: 11 } });
  assert.ok(moved.ok && moved.entry.id !== made.entry.id, 'another geometry, another id');

  const store = new Map<string, string>();
  const storage: StockStorage = { getItem: (k) => store.get(k) ?? null, setItem: (k, v) => void store.set(k, v) };
  assert.deepEqual(loadCustomStock(storage), []);
  saveCustomStock(storage, [made.entry, made.entry]);
  const back = loadCustomStock(storage);
  assert.deepEqual(back, [made.entry], 'read back once, under the same id');
  assert.equal(back[0].id, customStockId(back[0] as StockEntry));
  const key = [...store.keys()][0];
  store.set(key, JSON.stringify([{ ...good, widthMm: -1 }, good]));
  assert.equal(loadCustomStock(storage).length, 1, 'a damaged entry is dropped, the rest kept');
  store.set(key, '{not json');
  assert.deepEqual(loadCustomStock(storage), []);
});
