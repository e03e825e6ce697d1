import { test } from 'node:test';
import assert from 'node:assert/strict';
import { addObjects, createBarcode, createDocument, createDocumentForStock, createObject, LabelDocument, setLabelSize } from '../../src/model/document';
import { findStock, makeCustomStock, STOCK } from '../../src/model/stock';
import {
  base64ToBytes, MAX_OBJECTS, MAX_PROJECT_MB, MAX_TEXT_CHARS, nameFromFileName, parseProject, PROJECT_FORMAT, utf8Text,
  PROJECT_VERSION, ProjectError, serializeProject, suggestedFileName, utf8ToBase64,
} from '../../src/model/project';

function sample(): LabelDocument {
  const text = { ...createObject('text'), text: '货架 A-12\n第二行', bold: true, rotation: 37.5 };
  const image = { ...createObject('image'), src: 'data:image/png;base64,iVBORw0KGgo=' };
  const ean = { ...createBarcode('ean13'), textFont: 'OCR-A' as const, textSizePt: 7.5, xdim: { dots: 3 } };
  return addObjects(createDocument('货架标签', 50, 30), [text, ean, createBarcode('gs1datamatrix'), image, createObject('line')]);
}

function codeOf(fn: () => unknown): string {
  try {
    fn();
  } catch (e) {
    assert.ok(e instanceof ProjectError, `expected a ProjectError, got ${String(e)}`);
    return e.code;
  }
  return 'no error';
}

test('a project survives writing and reading unchanged', () => {
  const doc = sample();
  const { doc: read, skippedObjects } = parseProject(serializeProject(doc));
  assert.deepEqual(read, doc);
  assert.equal(skippedObjects, 0);
  assert.deepEqual(parseProject('\ufeff' + serializeProject(doc)).doc, doc, 'a byte order mark is no obstacle');
});

test('a project past a limit is refused whole, one at the limit opens', () => {
  const file = (objects: unknown[]): string => JSON.stringify({ format: PROJECT_FORMAT, version: 1, label: { name: '', widthMm: 50, heightMm: 30 }, objects });
  const rects = (count: number): unknown[] => Array.from({ length: count }, () => ({ type: 'rect' }));
  const cases: [string, string, string][] = [
    ['objects at the limit', file(rects(MAX_OBJECTS)), 'no error'],
    ['one object more', file(rects(MAX_OBJECTS + 1)), 'tooManyObjects'],
    ['a text at the limit', file([{ type: 'text', text: '字'.repeat(MAX_TEXT_CHARS) }]), 'no error'],
    ['barcode data one character longer', file([{ type: 'barcode', data: '1'.repeat(MAX_TEXT_CHARS + 1) }]), 'textTooLong'],
    ['a file over the size limit', ' '.repeat(MAX_PROJECT_MB * 1048576 + 1), 'projectTooLarge'],
  ];
  for (const [name, text, expected] of cases) assert.equal(codeOf(() => parseProject(text)), expected, name);
});

test('a barcode from before X-dimensions still fills its box; quarter turns stay as they were', () => {
  const old = { type: 'barcode', id: 'b', xMm: 2, yMm: 3, widthMm: 36, heightMm: 20, rotation: 270, symbology: 'ean13', data: '590123412345', showText: true };
  const broken = { ...old, id: 'c', rotation: 40, xdim: { mm: -1 }, textSizePt: 'big', textFont: 'Comic' };
  const { doc } = parseProject(JSON.stringify({ format: PROJECT_FORMAT, version: 1, label: { name: '', widthMm: 50, heightMm: 30 }, objects: [old, broken] }));
  const [b, c] = doc.objects as Extract<LabelDocument['objects'][number], { type: 'barcode' }>[];
  assert.deepEqual([b.widthMm, b.heightMm, b.rotation, b.xdim, b.textSizePt, b.textFont], [36, 20, 270, undefined, undefined, 'OCR-B']);
  assert.deepEqual([c.rotation, c.xdim, c.textSizePt, c.textFont], [0, undefined, undefined, 'OCR-B'], 'a barcode never reads at an odd angle');
});

test('through Base64 and UTF-8, Chinese text arrives intact (as it crosses the bridge)', () => {
  const text = serializeProject(sample());
  assert.equal(utf8Text(base64ToBytes(utf8ToBase64(text))), text);
  assert.equal(utf8Text(base64ToBytes(utf8ToBase64('\ufeff' + text))), text, 'a UTF-8 byte order mark is dropped');
  assert.deepEqual(Array.from(base64ToBytes('YW Jj\n')), [97, 98, 99], 'lenient like the host');
  assert.deepEqual(Array.from(base64ToBytes('Q')), [], 'a lone character decodes to nothing');
});

test('a project keeps its stock: the library\'s entry by its id, the user\'s own whole', () => {
  const sheet = findStock('a4-3x7-63.5x38.1')!;
  const doc = createDocumentForStock(sheet);
  assert.deepEqual([doc.widthMm, doc.heightMm, doc.merge?.sheet?.pitchXMm, doc.merge?.sheet?.startPosition], [63.5, 38.1, 66, 1]);
  const read = parseProject(serializeProject(doc)).doc;
  assert.equal(read.stock, sheet, 'the bundled entry itself, not a copy made into user stock');
  assert.deepEqual(read.merge, doc.merge);
  // A figure stored by an older release gives way to the library's.
  const stale = JSON.parse(serializeProject(doc));
  stale.stock.widthMm = 60;
  assert.equal(parseProject(JSON.stringify(stale)).doc.stock, sheet);

  const own = makeCustomStock({ kind: 'continuous', widthMm: 57, heightMm: null, shape: 'rectangle', code: 'till roll' });
  assert.ok(own.ok);
  const ownDoc = createDocumentForStock(own.entry, 80);
  assert.deepEqual([ownDoc.widthMm, ownDoc.heightMm, ownDoc.merge?.sheet], [57, 80, null]);
  assert.deepEqual(parseProject(serializeProject(ownDoc)).doc.stock, own.entry);
  // A new length on a continuous roll keeps the stock; another size on a die-cut label leaves it.
  assert.equal(setLabelSize(ownDoc, 57, 120).stock, own.entry);
  assert.equal(setLabelSize(doc, 63.5, 40).stock, undefined);
  // Stock that cannot be printed on is dropped, the label still opens.
  const broken = JSON.parse(serializeProject(ownDoc));
  broken.stock = { ...broken.stock, id: 'made-up', widthMm: -4 };
  assert.equal(parseProject(JSON.stringify(broken)).doc.stock, undefined);
  assert.ok(STOCK.every((e) => parseProject(serializeProject(createDocumentForStock(e))).doc.stock === e), 'every bundled entry comes back as itself');
});

test('files that are not projects are refused with a reason', () => {
  const cases: [string, string][] = [
    ['', 'notJson'],
    ['{"format":', 'notJson'],
    ['[1,2]', 'notProject'],
    ['{"hello":"world"}', 'notProject'],
    ['{"format":"something-else","version":1}', 'notProject'],
    [`{"format":"${PROJECT_FORMAT}"}`, 'notProject'],
    [`{"format":"${PROJECT_FORMAT}","version":"1"}`, 'notProject'],
    [`{"format":"${PROJECT_FORMAT}","version":0}`, 'notProject'],
    [`{"format":"${PROJECT_FORMAT}","version":${PROJECT_VERSION + 1},"label":{}}`, 'newerVersion'],
    [`{"format":"${PROJECT_FORMAT}","version":1}`, 'badLabel'],
    [`{"format":"${PROJECT_FORMAT}","version":1,"label":{"widthMm":-5,"heightMm":30}}`, 'badLabel'],
    [`{"format":"${PROJECT_FORMAT}","version":1,"label":{"widthMm":"50","heightMm":30}}`, 'badLabel'],
  ];
  for (const [text, code] of cases) assert.equal(codeOf(() => parseProject(text)), code, text);
});

test('damaged objects take defaults, unknown ones are counted and left out', () => {
  const file = {
    format: PROJECT_FORMAT,
    version: 1,
    label: { name: 7, widthMm: 40, heightMm: 20 },
    objects: [
      { type: 'text', id: 'a', xMm: 'left', yMm: 3, widthMm: -1, text: 'hi', rotation: 'sideways', fontSizePt: null },
      { type: 'hologram', id: 'b' },
      { type: 'barcode', id: 'a', symbology: 'not-a-code', data: '123' },
      { type: 'image', id: 'c', src: 'https://example.com/tracker.png' },
      'nonsense',
    ],
  };
  const { doc, skippedObjects } = parseProject(JSON.stringify(file));
  assert.equal(doc.name, '');
  assert.equal(skippedObjects, 2);
  const [text, barcode, image] = doc.objects as Record<string, unknown>[];
  assert.deepEqual([text.type, text.xMm, text.yMm, text.widthMm, text.rotation, text.fontSizePt], ['text', 2, 3, 30, 0, 12]);
  // Properties an older writer did not know take their defaults.
  assert.deepEqual([text.shrinkToFit, text.wrap, text.locked], [false, true, false]);
  // A repeated id is replaced; only embedded pictures are kept.
  assert.deepEqual([barcode.symbology, barcode.id !== 'a', image.src], ['code128', true, '']);
});

test('file names come from the project name and back', () => {
  assert.deepEqual(['货架 A/B', '', 'x.CWRT'].map((name) => suggestedFileName(createDocument(name), '未命名标签')), ['货架 A_B.cwrt', '未命名标签.cwrt', 'x.CWRT']);
  assert.deepEqual(['shelf.cwrt', 'shelf.json'].map(nameFromFileName), ['shelf', 'shelf']);
});
