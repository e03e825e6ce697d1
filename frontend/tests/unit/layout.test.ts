import { test } from 'node:test';
import assert from 'node:assert/strict';
import { breakOpportunities, layoutText, wrapParagraph } from '../../src/render/text';
import { snapBox, snapTargets } from '../../src/editor/snapping';
import { rulerStep } from '../../src/editor/rulers';
import { createObject } from '../../src/model/document';

// Every character is as wide as the font is high: enough to reason about wrapping exactly.
const measure = (s: string, size: number): number => Array.from(s).length * size;

test('Latin text breaks between words, Chinese between characters', () => {
  assert.deepEqual(breakOpportunities('ab cd'), ['ab ', 'cd']);
  assert.deepEqual(breakOpportunities('货架A1'), ['货', '架', 'A1']);
  assert.deepEqual(wrapParagraph('aaa bbb ccc', 7, 1, measure), ['aaa bbb', 'ccc']);
  assert.deepEqual(wrapParagraph('货架标签打印', 4, 1, measure), ['货架标签', '打印']);
  assert.deepEqual(wrapParagraph('abcdefghij', 4, 1, measure), ['abcd', 'efgh', 'ij'], 'a word wider than the box is split');
  assert.deepEqual(layoutText('a\nb', { widthPx: 100, heightPx: 100, fontSizePx: 10, wrap: false, shrinkToFit: false }, measure).lines, ['a', 'b']);
});

// Work is counted in characters handed to measure, which is what canvas measuring costs.
test('laying out one long word costs work linear in its length, wrapped and shrunk alike', () => {
  const work = (letters: number): number => {
    let measured = 0;
    const laid = layoutText('x'.repeat(letters) + ' end', { widthPx: 200, heightPx: 60, fontSizePx: 10, wrap: true, shrinkToFit: true }, (s, size) => (measured += s.length) && measure(s, size));
    assert.ok(laid.lines.join('').length === letters + 3 && laid.lines.every((l) => measure(l, laid.fontSizePx) <= 200.01));
    return measured;
  };
  assert.ok(work(30_000) / work(3_000) < 12, `ten times the letters cost ${work(30_000) / work(3_000)} times the work`);
});

test('shrink to fit lowers the size until width and height fit, never raises it', () => {
  const big = layoutText('abcdefghij', { widthPx: 50, heightPx: 12, fontSizePx: 10, wrap: false, shrinkToFit: true }, measure);
  assert.ok(big.fontSizePx <= 5 && big.fontSizePx > 4.8, String(big.fontSizePx));
  assert.equal(layoutText('ab', { widthPx: 50, heightPx: 50, fontSizePx: 10, wrap: false, shrinkToFit: true }, measure).fontSizePx, 10);
  const wrapped = layoutText('aaaa bbbb cccc dddd', { widthPx: 40, heightPx: 24, fontSizePx: 10, wrap: true, shrinkToFit: true }, measure);
  assert.ok(wrapped.lines.length * wrapped.lineHeightPx <= 24.01 && wrapped.lines.every((l) => measure(l, wrapped.fontSizePx) <= 40.01));
});

test('a dragged box snaps to the label centre, to other objects, else to the grid', () => {
  const other = { ...createObject('rect'), xMm: 30, yMm: 5, widthMm: 10, heightMm: 10 };
  const targets = snapTargets({ widthMm: 50, heightMm: 30 }, [other]);
  const centred = snapBox({ xMm: 19.6, yMm: 2.2, widthMm: 10, heightMm: 4 }, targets, 0.6, 1);
  assert.ok(Math.abs(centred.dx - 0.4) < 1e-9, 'centre meets the label centre at 25 mm');
  assert.deepEqual(centred.guides.find((g) => g.axis === 'x'), { axis: 'x', at: 25 });
  const edge = snapBox({ xMm: 40.3, yMm: 14.8, widthMm: 5, heightMm: 5 }, targets, 0.5, 1);
  assert.ok(Math.abs(edge.dx + 0.3) < 1e-9 && Math.abs(edge.dy - 0.2) < 1e-9, 'left and top meet the other object\'s right and bottom edges');
  const free = snapBox({ xMm: 7.3, yMm: 20.6, widthMm: 3, heightMm: 2 }, snapTargets({ widthMm: 100, heightMm: 100 }, []), 0.2, 0.5);
  assert.ok(Math.abs(free.dx - 0.2) < 1e-9 && Math.abs(free.dy + 0.1) < 1e-9, 'grid of 0.5 mm');
  assert.deepEqual(free.guides, []);
});

test('ruler numbers stay readable at every zoom', () => {
  assert.deepEqual(rulerStep(3.78), { minor: 2, major: 20 });
  assert.deepEqual(rulerStep(37.8), { minor: 1, major: 2 });
  assert.equal(rulerStep(0.5).major, 100);
});
