import { test } from 'node:test';
import assert from 'node:assert/strict';
import * as XLSX from 'xlsx/xlsx.mjs';
import { decodeText } from '../../src/data/decode';
import { LIMITS, parseSpreadsheet } from '../../src/data/parse';

const utf8 = (s: string): Uint8Array => new TextEncoder().encode(s);
const rowsOf = (bytes: Uint8Array, name = 'data.csv', limits = LIMITS) => {
  const result = parseSpreadsheet(bytes, name, limits);
  assert.equal(result.ok, true, JSON.stringify(result));
  return result.ok ? result.sheets[0].rows : [];
};

// "品名,数量\n铅笔,12\n" in GB18030, as a spreadsheet program in China saves it.
const gb18030 = Uint8Array.from([0xc6, 0xb7, 0xc3, 0xfb, 0x2c, 0xca, 0xfd, 0xc1, 0xbf, 0x0a, 0xc7, 0xa6, 0xb1, 0xca, 0x2c, 0x31, 0x32, 0x0a]);

test('CSV text: UTF-8 with and without a byte order mark, UTF-16 with one, GB18030 without', () => {
  const expected = [['品名', '数量'], ['铅笔', '12']];
  assert.deepEqual(rowsOf(utf8('品名,数量\n铅笔,12\n')), expected);
  assert.deepEqual(rowsOf(Uint8Array.from([0xef, 0xbb, 0xbf, ...utf8('品名,数量\r\n铅笔,12\r\n')])), expected);
  assert.deepEqual(rowsOf(gb18030), expected);
  assert.equal(decodeText(gb18030).encoding, 'gb18030');
  const utf16 = Buffer.from('\ufeff品名,数量\n铅笔,12', 'utf16le');
  assert.deepEqual(rowsOf(new Uint8Array(utf16)), expected);
  // Only the first mark is a mark; nothing else of the text is dropped.
  assert.equal(decodeText(Uint8Array.from([0xef, 0xbb, 0xbf, 0x61])).text, 'a');
});

test('CSV delimiters are detected; quoted fields keep commas, quotes and line breaks', () => {
  for (const d of [',', ';', '\t', '|']) {
    assert.deepEqual(rowsOf(utf8(`a${d}b${d}c\n1${d}2${d}3\n`)), [['a', 'b', 'c'], ['1', '2', '3']], JSON.stringify(d));
  }
  assert.deepEqual(rowsOf(utf8('name;note\n"Li, Wei";"两行\n文本 ""引号"""\n\n')), [['name', 'note'], ['Li, Wei', '两行\n文本 "引号"']]);
});

test('workbooks: xlsx and xls that the test writes, every sheet, text as shown', () => {
  const book = XLSX.utils.book_new();
  XLSX.utils.book_append_sheet(book, XLSX.utils.aoa_to_sheet([['品名', '数量', '日期'], ['铅笔', 12, '2026-01-02'], ['橡皮', 3.5, '']]), '库存');
  XLSX.utils.book_append_sheet(book, XLSX.utils.aoa_to_sheet([['x'], ['y']]), 'Sheet2');
  for (const bookType of ['xlsx', 'xls'] as const) {
    const bytes = new Uint8Array(XLSX.write(book, { type: 'array', bookType }) as ArrayBuffer);
    const result = parseSpreadsheet(bytes, `stock.${bookType}`);
    assert.ok(result.ok, bookType);
    if (!result.ok) continue;
    assert.equal(result.kind, 'workbook');
    assert.deepEqual(result.sheets.map((s) => s.name), ['库存', 'Sheet2'], bookType);
    assert.deepEqual(result.sheets[0].rows, [['品名', '数量', '日期'], ['铅笔', '12', '2026-01-02'], ['橡皮', '3.5', '']], bookType);
    // The content decides, not the name: a workbook named .csv is still read as a workbook.
    const renamed = parseSpreadsheet(bytes, 'stock.csv');
    assert.ok(renamed.ok && renamed.kind === 'workbook', bookType);
  }
});

test('limits and damaged files give a reason, never an exception', () => {
  const big = parseSpreadsheet(new Uint8Array(LIMITS.maxBytes + 1), 'big.csv');
  assert.deepEqual(big, { ok: false, code: 'tooLarge', limit: LIMITS.maxBytes, actual: LIMITS.maxBytes + 1 });
  const small = { ...LIMITS, maxBytes: 1e6, maxRows: 10, maxColumns: 3 };
  // Ten records and their header row.
  assert.equal(rowsOf(utf8('n\n'.repeat(11)), 'x.csv', small).length, 11);
  assert.deepEqual(parseSpreadsheet(utf8('n\n'.repeat(12)), 'many.csv', small), { ok: false, code: 'tooManyRows', limit: 10 });
  assert.deepEqual(parseSpreadsheet(utf8('a,b,c,d\n'), 'wide.csv', small), { ok: false, code: 'tooManyColumns', limit: 3 });
  // A whole formatted column declares a million rows; only rows with content count.
  const sheet = XLSX.utils.aoa_to_sheet(Array.from({ length: 13 }, (_, i) => [i]));
  const declaredOnly = XLSX.utils.aoa_to_sheet([['a'], ['b']]);
  declaredOnly['!ref'] = 'A1:A1048576';
  const book = XLSX.utils.book_new();
  XLSX.utils.book_append_sheet(book, sheet, 'S');
  XLSX.utils.book_append_sheet(book, declaredOnly, 'D');
  const bytes = new Uint8Array(XLSX.write(book, { type: 'array', bookType: 'xlsx' }) as ArrayBuffer);
  const tall = parseSpreadsheet(bytes, 'tall.xlsx', small);
  assert.equal(tall.ok ? 'ok' : tall.code, 'tooManyRows');
  const declared = parseSpreadsheet(bytes, 'tall.xlsx', { ...small, maxRows: 12 });
  assert.deepEqual(declared.ok && declared.sheets[1].rows, [['a'], ['b']]);
  assert.equal(parseSpreadsheet(new Uint8Array(0), 'e.csv').ok, false);
  const broken = parseSpreadsheet(Uint8Array.from([0x50, 0x4b, 3, 4, 1, 2, 3]), 'broken.xlsx');
  assert.equal(broken.ok ? 'ok' : broken.code, 'unreadable');
});

test('workbook cells arrive as their values: long numbers in full, dates in their own format, text as text', () => {
  const sheet = XLSX.utils.aoa_to_sheet([
    ['EAN', '价格', '日期', '编码', '当地日期', '件数'],
    [6920000000001, 0.1 + 0.2, 46024, '00123', 46024, 1234567],
    [12345678901234567890, 3.5, 46024.5, 123, 46387, 1e-7],
  ]);
  const format = (ref: string, z: string) => { (sheet[ref] as XLSX.CellObject).z = z; };
  format('A2', '0.00E+00'); // how a narrow column shows 13 digits
  format('B3', '0.00');
  format('C2', 'yyyy/mm/dd');
  format('C3', 'yyyy"年"m"月"d"日"');
  sheet.D2 = { t: 's', v: '00123', z: '@' };
  format('D3', '000000'); // a code kept with leading zeros by its format
  format('E2', XLSX.SSF.get_table()[14]); // the locale's short date: no order of its own
  format('E3', XLSX.SSF.get_table()[14]);
  format('F2', '#,##0');
  const book = XLSX.utils.book_new();
  XLSX.utils.book_append_sheet(book, sheet, 'S');
  const bytes = new Uint8Array(XLSX.write(book, { type: 'array', bookType: 'xlsx' }) as ArrayBuffer);
  const result = parseSpreadsheet(bytes, 'cells.xlsx');
  assert.ok(result.ok);
  if (!result.ok) return;
  assert.deepEqual(result.sheets[0].rows.slice(1), [
    ['6920000000001', '0.3', '2026/01/02', '00123', '2026-01-02', '1234567'],
    ['12345678901234600000', '3.50', '2026年1月2日', '000123', '2026-12-31', '0.0000001'],
  ]);
});

test('content decides: text, web pages and other data under a workbook name are refused, naming what they are', () => {
  const html = utf8('<html xmlns:x="urn:schemas-microsoft-com:office:excel"><table><tr><td>00123</td></tr></table></html>');
  const cases: [Uint8Array, string, unknown][] = [
    [utf8('a,b\n1,2\n'), 'fake.xlsx', { extension: '.xlsx', actual: 'text' }],
    [html, 'export.xls', { extension: '.xls', actual: 'html' }],
    [utf8('\ufeff  <!DOCTYPE html><p>x'), 'page.csv', { extension: '.csv', actual: 'html' }],
    [Uint8Array.from([0x89, 0x50, 0x4e, 0x47, 0, 0, 1]), 'photo.csv', { extension: '.csv', actual: 'binary' }],
  ];
  for (const [bytes, name, expected] of cases) {
    const result = parseSpreadsheet(bytes, name);
    assert.deepEqual(result.ok ? result : { extension: result.code === 'wrongContent' && result.extension, actual: result.code === 'wrongContent' && result.actual }, expected, name);
  }
  assert.deepEqual(rowsOf(utf8('a\tb\n1\t2\n'), 'export.txt'), [['a', 'b'], ['1', '2']]);
  const xml2003 = utf8('<?xml version="1.0"?><Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet" xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet"><Worksheet ss:Name="S"><Table><Row><Cell><Data ss:Type="String">00123</Data></Cell></Row></Table></Worksheet></Workbook>');
  assert.deepEqual(rowsOf(xml2003, 'old.xls'), [['00123']]);
});

test('an xlsx that unpacks past the limit is refused before it is unpacked, also when it hides its sizes', async () => {
  const { zipSync, strToU8 } = await import('fflate');
  const book = XLSX.utils.book_new();
  XLSX.utils.book_append_sheet(book, XLSX.utils.aoa_to_sheet([['a'], ['1']]), 'S');
  const files = XLSX.read(XLSX.write(book, { type: 'array', bookType: 'xlsx' }), { type: 'array', bookFiles: true }) as unknown as { files: Record<string, { content: Uint8Array; name: string }> };
  const entries: Record<string, Uint8Array> = {};
  for (const [path, file] of Object.entries(files.files ?? {})) if (!path.endsWith('/')) entries[path.replace(/^\/?/, '')] = file.content;
  entries['xl/worksheets/sheet1.xml'] = strToU8(`<worksheet>${' '.repeat(3 * 1024 * 1024)}</worksheet>`);
  const bomb = zipSync(entries, { level: 9 });
  const limits = { ...LIMITS, maxInflatedBytes: 2 * 1024 * 1024 };
  assert.ok(bomb.length < 64 * 1024);
  assert.deepEqual(parseSpreadsheet(bomb, 'bomb.xlsx', limits), { ok: false, code: 'inflateTooLarge', limit: limits.maxInflatedBytes });
  // The same entries claiming to unpack to nothing, in the local headers and the directory.
  const hidden = bomb.slice();
  const view = new DataView(hidden.buffer);
  for (let at = 0; at + 30 < hidden.length; at++) {
    if (view.getUint32(at, true) === 0x04034b50) view.setUint32(at + 22, 0, true);
    if (view.getUint32(at, true) === 0x02014b50) view.setUint32(at + 24, 0, true);
  }
  assert.deepEqual(parseSpreadsheet(hidden, 'bomb.xlsx', limits), { ok: false, code: 'inflateTooLarge', limit: limits.maxInflatedBytes });
});

test('a CSV mixing UTF-8 and GB18030 lines is read line by line and names the lines of the other encoding', () => {
  // Header and two rows in UTF-8, the third row in GB18030 ("铅笔,12").
  const bytes = Uint8Array.from([...utf8('品名,数量\n橡皮,3\n尺子,5\n'), 0xc7, 0xa6, 0xb1, 0xca, 0x2c, 0x31, 0x32, 0x0a]);
  const result = parseSpreadsheet(bytes, 'mixed.csv');
  assert.ok(result.ok);
  if (!result.ok) return;
  assert.deepEqual(result.sheets[0].rows, [['品名', '数量'], ['橡皮', '3'], ['尺子', '5'], ['铅笔', '12']]);
  assert.deepEqual(result.mixed, { encoding: 'gb18030', lines: [4] });
  const pure = parseSpreadsheet(gb18030, 'gb.csv');
  assert.equal(pure.ok && pure.mixed, null);
});

test('workbook cells that are not formatted while reading still read as the sheet shows them', () => {
  const sheet = XLSX.utils.aoa_to_sheet([['ok', 'err', 'code', 'price'], [true, 0, 42, 2.5]]);
  sheet.B2 = { t: 'e', v: 42 };
  (sheet.C2 as XLSX.CellObject).z = '000000';
  (sheet.D2 as XLSX.CellObject).z = '¥#,##0.00';
  const book = XLSX.utils.book_new();
  XLSX.utils.book_append_sheet(book, sheet, 'S');
  const result = parseSpreadsheet(new Uint8Array(XLSX.write(book, { type: 'array', bookType: 'xlsx' }) as ArrayBuffer), 'cells.xlsx');
  assert.deepEqual(result.ok && result.sheets[0].rows[1], ['TRUE', '#N/A', '000042', '2.5']);
});
