// Labels drawn by the renderer at printer resolutions: objects where their millimetres say,
// barcodes that a decoder reads back, with every module a whole number of pixels wide.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { labelPixels, launch, openDesigner, runs } from './support.mjs';
import { decodeBarcode } from '../pdfpages.mjs';

let browser;
let page;
before(async () => {
  browser = await launch();
  ({ page } = await openDesigner(browser));
});
after(async () => {
  await browser?.close();
});

/** Renders a document built from plain objects on top of each type's defaults. */
function render(label, objects, dpi) {
  const doc = { ...label, objects: objects.map((o, i) => ({ id: `o${i}`, rotation: 0, locked: false, ...o })) };
  return labelPixels(page, dpi, { doc });
}

const RECT = { type: 'rect', strokeMm: 0, strokeColor: '#000000', fillColor: '#ff0000', cornerRadiusMm: 0 };

for (const dpi of [203, 300, 600]) {
  test(`objects land within 0.1 mm of their position at ${dpi} dpi, rotated ones too`, async () => {
    const pxPerMm = dpi / 25.4;
    const cases = [
      { xMm: 5, yMm: 7.3, widthMm: 10, heightMm: 4, rotation: 0 },
      { xMm: 21.7, yMm: 8.2, widthMm: 12.5, heightMm: 3.4, rotation: 90 },
      { xMm: 30.1, yMm: 18.9, widthMm: 6.3, heightMm: 2.2, rotation: 270 },
    ];
    for (const c of cases) {
      const image = await render({ name: '', widthMm: 50, heightMm: 30 }, [{ ...RECT, ...c }], dpi);
      assert.equal(image.width, Math.round(50 * pxPerMm));
      const box = image.red;
      const turned = c.rotation === 90 || c.rotation === 270;
      const vw = turned ? c.heightMm : c.widthMm, vh = turned ? c.widthMm : c.heightMm;
      const cx = c.xMm + c.widthMm / 2, cy = c.yMm + c.heightMm / 2;
      const expected = { left: cx - vw / 2, top: cy - vh / 2, right: cx + vw / 2, bottom: cy + vh / 2 };
      for (const side of ['left', 'top', 'right', 'bottom']) {
        const mm = box[side] / pxPerMm;
        assert.ok(Math.abs(mm - expected[side]) <= 0.1, `${JSON.stringify(c)} ${side}: ${mm.toFixed(3)} mm, expected ${expected[side]} mm`);
      }
    }
  });
}

/**
 * The decoder's QR finder misses codes whose modules are more than about ten pixels wide (its
 * own limit, seen with correct codes too), so a second try reads every other pixel.
 */
function decodeAnySize(image, format) {
  const text = decodeBarcode(image, format);
  if (text !== null || format !== 'QR_CODE') return text;
  const width = Math.floor(image.width / 2), height = Math.floor(image.height / 2);
  const pixels = Uint8ClampedArray.from({ length: width * height }, (_, p) => image.pixels[Math.floor(p / width) * 2 * image.width + (p % width) * 2]);
  return decodeBarcode({ width, height, pixels }, format);
}

// Symbology, data, format, size, text shown, and the check digit a decoder adds.
const CODES = [
  ['code128', 'SHELF-A12 0042', 'CODE_128', 50, 18, true],
  ['ean13', '590123412345', 'EAN_13', 40, 20, true, '7'],
  ['upca', '01234567890', 'UPC_A', 40, 20, true, '5'],
  ['code39', 'QUILL-42', 'CODE_39', 50, 15, true],
  ['itf14', '1590123412345', 'ITF', 50, 15, false, '4'],
  ['qrcode', 'https://example.com/货架/A-12', 'QR_CODE', 20, 20, false],
  ['datamatrix', 'QUILLMARK 0042', 'DATA_MATRIX', 14, 14, false],
  ['pdf417', 'QUILLMARK 0042', 'PDF_417', 50, 15, false],
  ['ean8', '9638507', 'EAN_8', 30, 20, true, '4'],
  ['code93', 'QUILL-93', 'CODE_93', 50, 15, true],
  ['rationalizedCodabar', 'A40156B', 'CODABAR', 40, 15, true],
  ['azteccode', 'QUILLMARK 0042', 'AZTEC', 20, 20, false],
  ['databaromni', '(01)09506000134352', 'RSS_14', 40, 15, false, '', '09506000134352'],
  ['databarexpanded', '(01)09506000134352(10)ABC123', 'RSS_EXPANDED', 60, 15, false],
];

for (const dpi of [203, 300]) {
  test(`every symbology decodes back to its data at ${dpi} dpi, with whole-pixel modules`, async () => {
    for (const [symbology, data, format, widthMm, heightMm, showText, check = '', read = data + check] of CODES) {
      const object = { type: 'barcode', symbology, data, showText, color: '#000000', xMm: 5, yMm: 5, widthMm, heightMm };
      const image = await render({ name: '', widthMm: widthMm + 10, heightMm: heightMm + 10 }, [object], dpi);
      assert.equal(decodeAnySize(image, format), read, `${symbology} at ${dpi} dpi`);
      if (['code128', 'ean13', 'code39', 'itf14'].includes(symbology)) {
        const row = Math.round((5 + heightMm * 0.3) * dpi / 25.4);
        const widths = runs(image, row);
        const module = Math.min(...widths);
        assert.ok(module >= 2, `${symbology}: modules of ${module} px`);
        assert.ok(widths.every((w) => w % module === 0), `${symbology}: bar widths ${widths.join(' ')} are multiples of ${module}`);
      }
    }
  });
}

test('a 2D code sized by its X-dimension prints modules of exactly that width', async () => {
  // 0.5 mm is 4 dots at 203 dpi: QR's finder is 7 modules across, Data Matrix's top row alternates.
  for (const [symbology, firstRunModules] of [['qrcode', 7], ['datamatrix', 1]]) {
    const object = { type: 'barcode', symbology, data: 'QUILLMARK 0042', showText: false, color: '#000000', xMm: 5, yMm: 5, widthMm: 20, heightMm: 20, xdim: { mm: 0.5 } };
    const image = await render({ name: '', widthMm: 30, heightMm: 30 }, [object], 203);
    let row = 0;
    while (!image.pixels.subarray(row * image.width, (row + 1) * image.width).some((v) => v < 128)) row++;
    assert.equal(runs(image, row)[0], firstRunModules * 4, symbology);
  }
});

test('on the canvas an invalid barcode shows a red marked box with its message', async () => {
  const reddish = await page.evaluate(async () => {
    const e = window.quillmark.editor;
    const object = e.insert('barcode', 'ean13');
    e.update(object.id, { data: 'ABC' });
    await new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r)));
    const stage = window.quillmark.stage();
    const a = stage.toScreen(object.xMm, object.yMm);
    const b = stage.toScreen(object.xMm + object.widthMm, object.yMm + object.heightMm);
    const canvas = stage.stage.getLayers()[1].getCanvas()._canvas;
    const ratio = canvas.width / stage.stage.width();
    const data = canvas.getContext('2d').getImageData(a.x * ratio, a.y * ratio, (b.x - a.x) * ratio, (b.y - a.y) * ratio).data;
    let count = 0;
    for (let i = 0; i < data.length; i += 4) if (data[i + 3] > 0 && data[i] > data[i + 1] + 60) count++;
    return count;
  });
  assert.ok(reddish > 500, `the object is marked in red (${reddish} pixels)`);
});

test('vertical text runs down in columns from the right: CJK upright, Latin turned', async () => {
  const TEXT = { type: 'text', fontFamily: 'Noto Sans CJK SC', fontSizePt: 20, bold: false, italic: false, align: 'left', verticalAlign: 'top', wrap: false, shrinkToFit: false, color: '#000000', vertical: true };
  const dpi = 203;
  const inkOf = (image) => {
    const ink = { left: Infinity, right: -1, top: Infinity, bottom: -1 };
    for (let p = 0; p < image.pixels.length; p++) {
      if (image.pixels[p] >= 128) continue;
      const x = p % image.width, y = Math.floor(p / image.width);
      ink.left = Math.min(ink.left, x); ink.right = Math.max(ink.right, x);
      ink.top = Math.min(ink.top, y); ink.bottom = Math.max(ink.bottom, y);
    }
    return ink;
  };
  const mm = (px) => px * 25.4 / dpi;
  // One column: four characters upright make a column four ems (7 mm each at 20 pt) tall and one wide, at the box's right edge.
  const one = inkOf(await render({ name: '', widthMm: 40, heightMm: 40 }, [{ ...TEXT, text: '竖排文字', xMm: 5, yMm: 5, widthMm: 30, heightMm: 32 }], dpi));
  assert.ok(mm(one.bottom - one.top) > 24 && mm(one.right - one.left) < 8, `ink ${mm(one.right - one.left).toFixed(1)} × ${mm(one.bottom - one.top).toFixed(1)} mm`);
  assert.ok(mm(one.right) > 33 && mm(one.left) > 26, 'the first column stands at the right');
  // Latin in a column is turned: "ABCDEFGH" runs down, as tall as its width on a line.
  const latin = inkOf(await render({ name: '', widthMm: 40, heightMm: 60 }, [{ ...TEXT, text: 'ABCDEFGH', xMm: 5, yMm: 5, widthMm: 30, heightMm: 50 }], dpi));
  assert.ok(mm(latin.bottom - latin.top) > 25 && mm(latin.right - latin.left) < 8, `latin ${mm(latin.right - latin.left).toFixed(1)} × ${mm(latin.bottom - latin.top).toFixed(1)} mm`);
  // A second line is a second column, to the left of the first.
  const two = inkOf(await render({ name: '', widthMm: 40, heightMm: 40 }, [{ ...TEXT, text: '竖排\n文字', xMm: 5, yMm: 5, widthMm: 30, heightMm: 32 }], dpi));
  assert.ok(mm(two.right - two.left) > 13 && mm(two.bottom - two.top) < 16, `two columns ${mm(two.right - two.left).toFixed(1)} × ${mm(two.bottom - two.top).toFixed(1)} mm`);
});
