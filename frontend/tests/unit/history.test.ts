import { test } from 'node:test';
import assert from 'node:assert/strict';
import { History } from '../../src/model/history';

function run(limit = 200): { h: History<number>; clock: { now: number } } {
  const clock = { now: 0 };
  return { h: new History<number>(limit, () => clock.now), clock };
}

test('undo and redo walk back and forth through every step; a new edit drops the redo steps', () => {
  const { h, clock } = run();
  let doc = 0;
  for (let i = 1; i <= 150; i++) {
    clock.now += 5000;
    h.record(doc);
    doc = i;
  }
  for (let i = 0; i < 150; i++) doc = h.undo(doc)!;
  assert.equal(doc, 0);
  assert.equal(h.undo(doc), null);
  for (let i = 0; i < 150; i++) doc = h.redo(doc)!;
  assert.equal(doc, 150);
  assert.equal(h.redo(doc), null);
  // A new edit after an undo drops the steps that could be redone.
  h.record(h.undo(doc)!);
  assert.equal(h.canRedo, false);
});

test('the oldest steps fall off beyond the limit', () => {
  const { h, clock } = run(100);
  for (let i = 0; i < 130; i++) {
    clock.now += 5000;
    h.record(i);
  }
  assert.equal(h.depth, 100);
  let doc = 130;
  while (h.canUndo) doc = h.undo(doc)!;
  assert.equal(doc, 30);
});

test('typing into one field within a second is one step; another field or a pause starts a new one', () => {
  const { h, clock } = run();
  const edits = [[0, 'a.text'], [300, 'a.text'], [300, 'a.text'], [300, 'b.text'], [1500, 'b.text']] as const;
  assert.deepEqual(edits.map(([pause, field], i) => (clock.now += pause, h.record(i, field), h.depth)), [1, 1, 1, 2, 3]);
  h.seal();
  h.record(5, 'b.text');
  assert.equal(h.depth, 4);
});
