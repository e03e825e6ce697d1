import { test } from 'node:test';
import assert from 'node:assert/strict';
import { printedXdim, quietZoneMm, xdimWarning } from '../../src/render/xdim';

test('the printed narrow-bar width is whole dots, and the warning judges what prints', () => {
  // EAN-13 at 100 % (0.330 mm) is 4 dots at 300 dpi, inside 80 % to 200 %; at 70 % it is 3 dots, below.
  const nominal = printedXdim('ean13', { mm: 0.33 }, 300);
  assert.deepEqual([nominal.dots, xdimWarning('ean13', nominal)], [4, null]);
  const small = printedXdim('ean13', { mm: 0.231 }, 300);
  assert.deepEqual(xdimWarning('ean13', small), { code: 'belowRange', printedMm: small.mm, minMm: 0.264 });
  // 80 % asked at 203 dpi rounds down to 2 dots, 0.250 mm: what prints is below the range.
  assert.equal(xdimWarning('ean13', printedXdim('ean13', { mm: 0.264 }, 203))?.code, 'belowRange');
  assert.equal(xdimWarning('upca', printedXdim('upca', { dots: 8 }, 300))?.code, 'aboveRange');
  assert.equal(xdimWarning('gs1-128', printedXdim('gs1-128', { dots: 4 }, 203)), null);
  assert.equal(xdimWarning('itf14', printedXdim('itf14', { dots: 5 }, 300))?.code, 'belowRange');
  // No published range: only the dot minimum, and never fewer than one dot.
  assert.equal(xdimWarning('qrcode', printedXdim('qrcode', { mm: 0.1 }, 203))?.code, 'tooFewDots');
  assert.equal(printedXdim('code128', { mm: 0.01 }, 203).dots, 1);
  assert.equal(xdimWarning('code128', printedXdim('code128', { dots: 2 }, 203)), null);
  const zone = quietZoneMm('ean13', nominal);
  assert.ok(Math.abs(zone.left - 3.725) < 0.001 && Math.abs(zone.right - 2.371) < 0.001, JSON.stringify(zone));
});
