import { test } from 'node:test';
import assert from 'node:assert/strict';
import { format, LANGUAGES, messageTable, type MessageKey } from '../../src/i18n/messages';

/** The names a message fills in, plain or counted; a {{Column}} is written out for the reader. */
function placeholders(message: string): string {
  const filled = message.replace(/(?<!\{)\{\{[^{}]*\}\}(?!\})/g, '');
  return [...new Set(Array.from(filled.matchAll(/\{(\w+)(?=\}|,\s*plural\s*,)/g), (m) => m[1]))].sort().join();
}

test('every message is in every language with the same placeholders; English has no Chinese and counts its nouns', () => {
  const [first, ...others] = LANGUAGES.map(({ id }) => ({ id, table: messageTable(id) as Record<string, string> }));
  const faults: string[] = [];
  for (const key of new Set(LANGUAGES.flatMap(({ id }) => Object.keys(messageTable(id))))) {
    for (const { id, table } of [first, ...others]) {
      const text = table[key];
      if (typeof text !== 'string' || text === '') faults.push(`${key}: missing in ${id}`);
      else if (placeholders(text) !== placeholders(first.table[key] ?? '')) faults.push(`${key}: {${placeholders(text)}} in ${id}`);
      // Every plural form is well formed: filled in, none left as written.
      else if (/plural/.test(format(table, key as MessageKey, Object.fromEntries(placeholders(text).split(',').map((n) => [n, 1]))))) faults.push(`${key}: plural in ${id}`);
    }
  }
  for (const [key, text] of Object.entries(messageTable('en'))) {
    if (/[\u3000-\u303f\u4e00-\u9fff\uff00-\uffef]/.test(text)) faults.push(`${key}: Chinese in English`);
    // "{count} records" reads "1 records"; limits and sizes are never one.
    if (/\{(?!limit\}|size\})\w+\} (\w+ )?(records|labels|objects|pages|rows|columns|fields|copies|dots|characters|files)\b/.test(text)) faults.push(`${key}: bare count`);
  }
  assert.deepEqual(faults, []);
  assert.equal(format(messageTable('en'), 'checkSkip', { count: 1 }), 'Skip this record');
});
