import { test } from 'node:test';
import assert from 'node:assert/strict';
import { format, LANGUAGES, messageTable, type MessageKey } from '../../src/i18n/messages';

/** The names a message fills in: plain {name} and the counts of {name, plural, …}. */
function placeholders(message: string): string[] {
  const names = new Set<string>();
  // {{Column}} is a field written out for the reader, not filled in
  const filled = message.replace(/(?<!\{)\{\{[^{}]*\}\}(?!\})/g, '');
  for (const m of filled.matchAll(/\{(\w+)(?=\}|,\s*plural\s*,)/g)) names.add(m[1]);
  return [...names].sort();
}

const tables = LANGUAGES.map(({ id }) => ({ id, table: messageTable(id) }));
const keys = new Set(tables.flatMap(({ table }) => Object.keys(table)));

test('every message exists in every language, with the same placeholders', () => {
  const faults: string[] = [];
  for (const key of keys) {
    const [first, ...rest] = tables;
    for (const { id, table } of tables) {
      const text = (table as Record<string, unknown>)[key];
      if (typeof text !== 'string' || text === '') faults.push(`${key}: missing in ${id}`);
      // every plural form is well formed: filled in, none left as written
      else if (/plural/.test(format(table, key as MessageKey, Object.fromEntries(placeholders(text).map((n) => [n, 1]))))) faults.push(`${key}: plural not filled in ${id}`);
    }
    for (const other of rest) {
      const a = placeholders(first.table[key as MessageKey] ?? '');
      const b = placeholders(other.table[key as MessageKey] ?? '');
      if (a.join() !== b.join()) faults.push(`${key}: ${first.id} {${a.join(', ')}} but ${other.id} {${b.join(', ')}}`);
    }
  }
  assert.deepEqual(faults, []);
});

test('the English interface has no Chinese, and counts of things take their plural forms', () => {
  const en = messageTable('en');
  const faults: string[] = [];
  for (const [key, text] of Object.entries(en)) {
    if (/[\u3000-\u303f\u4e00-\u9fff\uff00-\uffef]/.test(text)) faults.push(`${key}: Chinese in "${text}"`);
    // "{count} records" reads "1 records"; the plural syntax picks the word's form
    const bare = /\{(?!limit\}|size\})\w+\} (?:\w+ )?(records|labels|objects|pages|rows|columns|fields|copies|dots|characters|items|files)\b/.exec(text);
    if (bare) faults.push(`${key}: bare count before "${bare[1]}" in "${text}"`);
  }
  assert.deepEqual(faults, []);
});

test('plural forms follow the language', () => {
  const en = messageTable('en');
  assert.equal(format(en, 'checkSkip', { count: 1 }), 'Skip this record');
  assert.equal(format(en, 'checkSkip', { count: 3 }), 'Skip these 3 records');
  assert.equal(format(messageTable('zh-CN'), 'checkSkip', { count: 1 }), '跳过这 1 条记录');
});
