import { test } from 'node:test';
import assert from 'node:assert/strict';
import {
  addObjects, alignObjects, createBarcode, createDocument, createObject, distributeObjects, duplicateObjects,
  LabelDocument, LabelObject, moveObjects, removeObjects, reorderObjects, rotateObjects, setLabelSize, setLocked,
  updateObject, visualBox,
} from '../../src/model/document';

function withObjects(...objects: LabelObject[]): LabelDocument {
  return addObjects(createDocument('t', 50, 30), objects);
}

function rect(id: string, x: number, y: number, w = 10, h = 5): LabelObject {
  return { ...createObject('rect'), id, xMm: x, yMm: y, widthMm: w, heightMm: h };
}

test('edits return new documents and leave the old one as it was', () => {
  const before = withObjects(rect('a', 1, 1));
  const after = updateObject(before, 'a', { xMm: 5 });
  assert.deepEqual([before.objects[0].xMm, after.objects[0].xMm], [1, 5]);
  assert.equal(updateObject(after, 'a', { xMm: 5 }), after, 'a change to the same value is no change');
});

test('geometry is kept to 0.1 mm and positive; shapes turn freely, barcodes by quarter turns', () => {
  const doc = updateObject(withObjects(rect('a', 1, 1), { ...createBarcode('ean13'), id: 'b' }), 'a', { xMm: 1.23456, widthMm: -4, rotation: 95.04 });
  assert.deepEqual([doc.objects[0].xMm, doc.objects[0].widthMm, doc.objects[0].rotation], [1.2, 0.1, 95]);
  const turned = (id: string, rotation: number) => updateObject(doc, id, { rotation }).objects.find((x) => x.id === id)!.rotation;
  assert.deepEqual([-90, 359.97, 725].map((r) => turned('a', r)), [270, 0, 5]);
  assert.deepEqual([95, 224, -90].map((r) => turned('b', r)), [90, 180, 270]);
  // A box turned by 30° covers the box around its turned corners, about the same centre.
  const box = visualBox({ xMm: 0, yMm: 0, widthMm: 10, heightMm: 4, rotation: 30 });
  assert.ok(Math.abs(box.widthMm - (10 * Math.cos(Math.PI / 6) + 2)) < 1e-9 && Math.abs(box.xMm + box.widthMm / 2 - 5) < 1e-9, JSON.stringify(box));
});

test('locked objects are neither moved nor deleted, and can be unlocked', () => {
  let doc = setLocked(withObjects(rect('a', 1, 1), rect('b', 20, 1)), ['a'], true);
  doc = moveObjects(doc, ['a', 'b'], 1, 1);
  assert.deepEqual(doc.objects.map((o) => [o.xMm, o.yMm]), [[1, 1], [21, 2]]);
  doc = removeObjects(doc, ['a', 'b']);
  assert.deepEqual(doc.objects.map((o) => o.id), ['a']);
  doc = setLocked(doc, ['a'], false);
  assert.equal(removeObjects(doc, ['a']).objects.length, 0);
});

test('nudging 0.1 mm a hundred times lands exactly 10 mm further', () => {
  let doc = withObjects(rect('a', 0, 0));
  for (let i = 0; i < 100; i++) doc = moveObjects(doc, ['a'], 0.1, 0);
  assert.equal(doc.objects[0].xMm, 10);
});

test('duplicates get new ids, an offset and no lock', () => {
  const doc = setLocked(withObjects(rect('a', 1, 1)), ['a'], true);
  const { doc: next, ids } = duplicateObjects(doc, ['a']);
  assert.deepEqual([next.objects.length, ids[0] !== 'a', next.objects[1].id === ids[0]], [2, true, true]);
  assert.deepEqual([next.objects[1].xMm, next.objects[1].yMm, next.objects[1].locked], [3, 3, false]);
});

test('z-order moves keep the selection together', () => {
  const doc = withObjects(rect('a', 0, 0), rect('b', 0, 0), rect('c', 0, 0), rect('d', 0, 0));
  const order = (d: LabelDocument): string => d.objects.map((o) => o.id).join('');
  const cases: [string[], Parameters<typeof reorderObjects>[2], string][] = [
    [['a', 'c'], 'front', 'bdac'], [['b', 'd'], 'back', 'bdac'], [['a'], 'forward', 'bacd'], [['d'], 'backward', 'abdc'],
    [['a', 'b'], 'forward', 'cabd'], [['a', 'c'], 'forward', 'badc'], [['c', 'd'], 'backward', 'acdb'], [['c', 'd'], 'forward', 'abcd'],
  ];
  for (const [ids, move, expected] of cases) assert.equal(order(reorderObjects(doc, ids, move)), expected, `${ids} ${move}`);
  assert.equal(reorderObjects(doc, ['d'], 'front'), doc, 'already in front: unchanged');
});

test('a quarter turn swaps the visual box about the centre', () => {
  const o = { ...rect('a', 10, 10, 20, 6), rotation: 90 as const };
  assert.deepEqual(visualBox(o), { xMm: 17, yMm: 3, widthMm: 6, heightMm: 20 });
  const turned = rotateObjects(withObjects(rect('a', 10, 10, 20, 6)), ['a'], 90);
  assert.deepEqual([turned.objects[0].rotation, rotateObjects(turned, ['a'], -90).objects[0].rotation], [90, 0]);
});

test('one object aligns to the label, several to their common box, a turned one by what is seen', () => {
  const one = withObjects(rect('a', 3, 4, 10, 6));
  assert.deepEqual([alignObjects(one, ['a'], 'hcenter').objects[0].xMm, alignObjects(one, ['a'], 'bottom').objects[0].yMm], [20, 24]);
  const pair = withObjects(rect('a', 3, 4, 10, 6), rect('b', 20, 10, 5, 5));
  assert.deepEqual(alignObjects(pair, ['a', 'b'], 'right').objects.map((o) => o.xMm), [15, 20]);
  assert.deepEqual(alignObjects(pair, ['a', 'b'], 'top').objects.map((o) => o.yMm), [4, 4]);
  const turned = withObjects({ ...rect('a', 10, 10, 20, 6), rotation: 90 });
  assert.equal(visualBox(alignObjects(turned, ['a'], 'left').objects[0]).xMm, 0);
});

test('distribution makes equal gaps and keeps the outer objects in place', () => {
  const doc = withObjects(rect('a', 0, 0, 10, 5), rect('b', 12, 0, 4, 5), rect('c', 40, 0, 10, 5));
  const spread = distributeObjects(doc, ['a', 'b', 'c'], 'horizontal').objects;
  assert.deepEqual(spread.map((o) => o.xMm), [0, 23, 40]);
  assert.equal(distributeObjects(doc, ['a', 'b'], 'horizontal'), doc, 'two objects have nothing to distribute');
});

test('label sizes are clamped to sensible limits', () => {
  const doc = createDocument();
  assert.deepEqual([setLabelSize(doc, 0, 30).widthMm, setLabelSize(doc, 5000, 30).widthMm, setLabelSize(doc, 62.55, 30).widthMm], [1, 2000, 62.6]);
});
