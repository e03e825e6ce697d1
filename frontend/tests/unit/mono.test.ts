import { test } from 'node:test';
import assert from 'node:assert/strict';
import { decode, encode } from 'fast-png';
import { convertInto, createMonoBitmap, encodeMonoPng, isDot, MonoBitmap, MonoMode, pictureMask, RgbaPixels, toMonoBitmap } from '../../src/render/mono';
import { cutShort } from '../../src/render/wholePicture';

/** An image whose every pixel is given by a function returning [r, g, b, a]. */
function image(width: number, height: number, pixel: (x: number, y: number) => number[]): RgbaPixels {
  const data = new Uint8ClampedArray(width * height * 4);
  for (let y = 0; y < height; y++) for (let x = 0; x < width; x++) data.set(pixel(x, y), (y * width + x) * 4);
  return { width, height, data };
}

function dotShare(bitmap: MonoBitmap, x0 = 0, x1 = bitmap.width): number {
  let dots = 0;
  for (let y = 0; y < bitmap.height; y++) for (let x = x0; x < x1; x++) if (isDot(bitmap, x, y)) dots++;
  return dots / ((x1 - x0) * bitmap.height);
}

test('text and shapes are thresholded: an edge pixel is a dot or paper, transparency is paper', () => {
  // A horizontal ramp from black to white, then the same black at falling opacity.
  const ramp = image(256, 2, (x, y) => (y === 0 ? [x, x, x, 255] : [0, 0, 0, 255 - x]));
  const bitmap = toMonoBitmap(ramp, { mode: 'threshold' });
  for (let x = 0; x < 256; x++) {
    assert.equal(isDot(bitmap, x, 0), x < 128, `grey ${x}`);
    assert.equal(isDot(bitmap, x, 1), 255 - x > 127, `opacity ${255 - x}`);
  }
  assert.equal(dotShare(toMonoBitmap(ramp, { mode: 'threshold', threshold: 64 }), 0, 256) < dotShare(bitmap), true);
  // Colour counts by its lightness: pure red is darker than the middle grey, yellow lighter.
  const colours = toMonoBitmap(image(2, 1, (x) => (x === 0 ? [255, 0, 0, 255] : [255, 255, 0, 255])), { mode: 'threshold' });
  assert.deepEqual([isDot(colours, 0, 0), isDot(colours, 1, 0)], [true, false]);
});

test('pictures are dithered to their grey level; only masked pixels are dithered', () => {
  for (const mode of ['ordered', 'diffusion'] as MonoMode[]) {
    for (const level of [32, 128, 192, 240]) {
      const flat = image(64, 64, () => [level, level, level, 255]);
      const share = dotShare(toMonoBitmap(flat, { mode }));
      assert.ok(Math.abs(share - (255 - level) / 255) < 0.02, `${mode} grey ${level}: ${share}`);
    }
    assert.deepEqual([255, 0].map((v) => dotShare(toMonoBitmap(image(16, 16, () => [v, v, v, 255]), { mode }))), [0, 1], mode);
    // A picture on the left half of a mid-grey page; the right half is thresholded to paper.
    const grey = image(64, 32, () => [140, 140, 140, 255]);
    const mixed = toMonoBitmap(grey, { mode, pictureMask: pictureMask(64, 32, [{ x: 0.4, y: -3, width: 31.2, height: 50 }]) });
    assert.ok(Math.abs(dotShare(mixed, 0, 32) - 115 / 255) < 0.03, mode);
    assert.equal(dotShare(mixed, 32, 64), 0, mode);
    assert.equal(dotShare(toMonoBitmap(grey, { mode: 'threshold', pictureMask: new Uint8Array(64 * 32).fill(1) })), 0);
  }
});

test('regions converted one by one join the pattern of a page converted at once', () => {
  const photo = image(40, 24, (x, y) => [x * 6, y * 10, 128, 255]);
  const whole = toMonoBitmap(photo, { mode: 'ordered' });
  const pieced = createMonoBitmap(40, 24);
  const half = (x0: number) => image(20, 24, (x, y) => Array.from(photo.data.subarray(((y * 40) + x0 + x) * 4, ((y * 40) + x0 + x) * 4 + 4)));
  convertInto(pieced, 0, 0, half(0), { mode: 'ordered' });
  convertInto(pieced, 20, 0, half(20), { mode: 'ordered' });
  assert.deepEqual(pieced.bits, whole.bits);
});

test('1-bit PNG: palette black, white; every dot where the bitmap has one, at widths not of whole bytes', () => {
  for (const width of [1, 13, 64]) {
    const source = image(width, 5, (x, y) => ((x * 7 + y * 3) % 5 < 2 ? [0, 0, 0, 255] : [255, 255, 255, 255]));
    const bitmap = toMonoBitmap(source, { mode: 'threshold' });
    const png = decode(encodeMonoPng(bitmap));
    assert.deepEqual([png.width, png.height, png.depth, png.channels, png.palette], [width, 5, 1, 1, [[0, 0, 0], [255, 255, 255]]]);
    const stride = Math.ceil(width / 8);
    for (let y = 0; y < 5; y++) {
      for (let x = 0; x < width; x++) {
        const index = (png.data[y * stride + (x >> 3)] >> (7 - (x & 7))) & 1;
        assert.equal(index === 0, source.data[(y * width + x) * 4] === 0, `${width}: ${x},${y}`);
      }
    }
  }
});

test('a PNG, JPEG or GIF cut short is found by walking it to its end marker; bytes after the end do not matter', () => {
  const png = encode({ width: 40, height: 40, channels: 3, data: Uint8Array.from({ length: 4800 }, (_, i) => (i * 7919) % 251) });
  // SOI, an APP0 segment, a scan whose data holds a stuffed 0xFF and a restart marker, EOI.
  const jpeg = Uint8Array.from([0xff, 0xd8, 0xff, 0xe0, 0, 4, 1, 2, 0xff, 0xda, 0, 3, 9, 5, 0xff, 0, 6, 0xff, 0xd0, 7, 0xff, 0xd9]);
  // A 1 × 1 GIF: header, screen with a two-colour table, an image of one sub-block, trailer.
  const gif = Uint8Array.from([...Buffer.from('GIF89a'), 1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255,
    0x2c, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0, 0x3b]);
  const after = (bytes: Uint8Array) => Uint8Array.from([...bytes, ...Buffer.from('ftypmp42 appended video')]);
  for (const [name, whole] of [['PNG', png], ['JPEG', jpeg], ['GIF', gif]] as const) {
    assert.deepEqual([cutShort(whole), cutShort(after(whole)), cutShort(whole.subarray(0, whole.length - 1)), cutShort(whole.subarray(0, whole.length >> 1))],
      [false, false, true, true], name);
  }
  assert.equal(cutShort(Buffer.from('<svg xmlns="http://www.w3.org/2000/svg"/>')), false, 'other formats are left to the decoder');
});
