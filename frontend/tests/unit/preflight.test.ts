import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createBarcode, createDocument, createObject, LabelDocument, Symbology, TextObject } from '../../src/model/document';
import { DEFAULT_COUNTER } from '../../src/model/fields';
import { DEFAULT_MERGE } from '../../src/model/merge';
import { labelSequence } from '../../src/model/labels';
import { format, messageTable } from '../../src/i18n/messages';
import bwipjs from 'bwip-js';
import './encoder';
import { barcodeError } from '../../src/render/barcode';
import { describeBarcodeFault } from '../../src/render/barcodeFault';
import { checkLabels, JobBlocked } from '../../src/print/preflight';
import { planOutput, preparePages } from '../../src/print/output';

const now = new Date(2026, 2, 5, 9, 7, 3);
const words = (language: 'zh-CN' | 'en') => ({ msg: (key: Parameters<typeof format>[1], params?: Record<string, string | number>) => format(messageTable(language), key, params) });

function label(text: string, ...codes: [Symbology, string][]): LabelDocument {
  const t = { ...createObject('text'), text } as TextObject;
  return { ...createDocument('x', 50, 30), objects: [t, ...codes.map(([s, data]) => ({ ...createBarcode(s), data }))] };
}

const table = { columns: ['品名', 'EAN'], records: [['铅笔', '6901234567892'], ['橡皮', '6901234567891'], ['尺子', ''], ['本子', '690123456789'], ['笔袋', 'ABC']] };
const everyRecord = labelSequence({ first: 0, last: table.records.length - 1 }, 1, DEFAULT_COUNTER);

test('bwip-js refusals become faults in the interface\'s language, with what to do', () => {
  const cases: [Symbology, string, string, string][] = [
    ['ean13', '6901234567891', 'EAN-13 校验位应为 2', 'EAN-13 check digit should be 2'],
    ['upca', '012345678906', 'UPC-A 校验位应为 5', 'UPC-A check digit should be 5'],
    ['itf14', '16901234567891', 'ITF-14 校验位应为 9', 'ITF-14 check digit should be 9'],
    ['ean13', 'ABC', 'EAN-13 需要 12 或 13 位数字，这里有 3 个字符', 'EAN-13 takes 12 or 13 digits; this has 3 characters'],
    ['code39', 'abc', 'Code 39 只能包含数字、大写字母', 'use capitals, or choose Code 128'],
    ['qrcode', 'x'.repeat(8000), '内容太长（8000 个字符），QR Code 放不下', 'Too long for QR Code (8000 characters)'],
    ['code128', '', '条码数据为空', 'The barcode has no data'],
    ['ean8', '96385071', 'EAN-8 校验位应为 4', 'EAN-8 check digit should be 4'],
    ['upce', '01234567', 'UPC-E 校验位应为 5', 'UPC-E check digit should be 5'],
    ['upce', '06543210', 'UPC-E 校验位应为 7', 'UPC-E check digit should be 7'],
    ['code93', '货号', 'Code 93 无法编码其中的字符', 'Code 93 cannot encode some of these characters'],
    ['rationalizedCodabar', '40156', 'Codabar 须以 A、B、C 或 D 开头和结尾', 'Codabar starts and ends with A, B, C or D'],
    ['databarlimited', '(01)29506000134356', 'GS1 DataBar Limited 只能编码以 0 或 1 开头的 GTIN', 'choose GS1 DataBar'],
    ['databaromni', '(01)09506000134353', '(01) 的校验位应为 2', 'check digit'],
  ];
  for (const [symbology, data, zh, en] of cases) {
    const fault = barcodeError({ symbology, data });
    assert.ok(fault, `${symbology} ${data.slice(0, 20)}`);
    assert.ok(describeBarcodeFault(fault, words('zh-CN')).includes(zh), describeBarcodeFault(fault, words('zh-CN')));
    assert.ok(describeBarcodeFault(fault, words('en')).includes(en), describeBarcodeFault(fault, words('en')));
  }
  // Values short enough to pass unencoded must fit the encoder's capacity, the widest of them too.
  assert.equal(barcodeError({ symbology: 'qrcode', data: 'SKU \ud800' })?.code, 'other');
  assert.ok(bwipjs.raw({ bcid: 'qrcode', text: '货'.repeat(400) }));
  for (const [symbology, data] of [['ean13', '6901234567892'], ['ean13', '690123456789'], ['code128', '中文 A-1'], ['itf14', '16901234567899'], ['qrcode', '货号😀'.repeat(100)],
    ['upce', '06543217'], ['azteccode', '货号 A-1'], ['databarexpanded', '(01)09506000134352(17)261231(10)A1']] as const) {
    assert.equal(barcodeError({ symbology, data }), null, data);
  }
});

test('the check lists every record that cannot print: bad barcodes and fields that are no column', async () => {
  const doc = label('{{品名}} {{$counter}} {{$date}}', ['ean13', '{{EAN}}'], ['code128', '{{品名}}-{{$counter}}']);
  const problems = await checkLabels(doc, table, everyRecord, now);
  assert.deepEqual(problems?.map((p) => [p.record, p.faults.map((f) => (f.kind === 'barcode' ? [f.value, f.fault.code] : f.name))]), [
    [1, [['6901234567891', 'checkDigit']]],
    [2, [['', 'empty']]],
    [4, [['ABC', 'length']]],
  ]);
  // A mistyped field stops every label, with or without a data source; built-in fields are fields.
  const typo = await checkLabels(label('{{品 名}}{{$time}}{{$datetime}}', ['code128', '{{$counter}}']), table, everyRecord.slice(0, 2), now);
  assert.deepEqual(typo, [0, 1].map((record) => ({ record, faults: [{ kind: 'field', name: '品 名' }] })));
  const alone = await checkLabels(label('{{SKU}}', ['code128', 'A-1']), null, labelSequence(null, 3, DEFAULT_COUNTER), now);
  assert.deepEqual(alone, [{ record: -1, faults: [{ kind: 'field', name: 'SKU' }] }]);
  // The pipeline checks before it draws anything.
  const options = { dpi: 203, from: 1, to: 5, perRecord: 1, sheet: null };
  const source = { doc, table, settings: DEFAULT_MERGE, images: { ready: async () => {} } as never };
  await assert.rejects(preparePages(source, options), (e) => e instanceof JobBlocked && e.problems.map((p) => p.record).join() === '1,2,4');
});

test('skipped records are left out as if not in the range: counters and sheet positions stay consecutive', async () => {
  const counter = { start: 1, step: 1, padding: 3, per: 'label' as const };
  const settings = { ...DEFAULT_MERGE, counter };
  const sheet = { paper: 'A4' as const, paperWidthMm: 210, paperHeightMm: 297, columns: 2, rows: 2, marginLeftMm: 0, marginTopMm: 0, pitchXMm: 50, pitchYMm: 30, startPosition: 2 };
  const doc = label('{{品名}}', ['ean13', '{{EAN}}'], ['code128', '{{$counter}}']);
  const planned = planOutput(doc, table, settings, { dpi: 203, from: 1, to: 5, perRecord: 2, sheet, skip: [1, 2, 4] });
  assert.ok(planned.ok);
  const { labels, pages } = planned.plan;
  assert.deepEqual(labels.map((l) => [l.record, l.counter]), [[0, '001'], [0, '002'], [3, '003'], [3, '004']]);
  assert.deepEqual(pages.map((p) => p.map((l) => [l.label, l.xMm, l.yMm])), [[[0, 50, 0], [1, 0, 30], [2, 50, 30]], [[3, 0, 0]]]);
  assert.deepEqual(await checkLabels(doc, table, labels, now), []);
  // Counted per record, the serial number skips nothing either.
  const perRecord = planOutput(doc, table, { ...settings, counter: { ...counter, per: 'record' } }, { dpi: 203, from: 2, to: 5, perRecord: 1, sheet: null, skip: [2] });
  assert.ok(perRecord.ok);
  assert.deepEqual(perRecord.plan.labels.map((l) => [l.record, l.counter]), [[1, '001'], [3, '002'], [4, '003']]);
  assert.deepEqual(planOutput(doc, table, settings, { dpi: 203, from: 3, to: 3, perRecord: 1, sheet: null, skip: [2] }), { ok: false, reason: 'empty' });
});
