import { test } from 'node:test';
import assert from 'node:assert/strict';
import './encoder';
import { messageTable } from '../../src/i18n/messages';
import { createDocument } from '../../src/model/document';
import { DESIGNS, DesignWord } from '../../src/model/designs';
import { DEFAULT_COUNTER } from '../../src/model/fields';
import { labelSequence } from '../../src/model/labels';
import { offLabelObjects } from '../../src/model/shape';
import { checkLabels } from '../../src/print/preflight';

// What a user's spreadsheet would hold for each column a design merges.
const SAMPLES: Partial<Record<DesignWord, string>> = {
  columnBarcode: '6901234567892', columnPrice: '12.80', columnTracking: 'SF1234567890', columnNumber: 'A-017',
};

test('every design, on small and large labels in either language, lies on the label and merges with no problem', async () => {
  for (const language of ['zh-CN', 'en'] as const) {
    const table = messageTable(language);
    const words = (w: DesignWord): string => table[w];
    for (const design of DESIGNS) {
      for (const [w, h] of [[50, 30], [101.6, 152.4], [90, 29], [62, 100]]) {
        const objects = design.build(w, h, words);
        const doc = { ...createDocument('', w, h), objects };
        const where = `${design.id} ${w} × ${h} (${language})`;
        assert.deepEqual(offLabelObjects(doc), [], where);
        const columns = design.columns.map(words);
        const records = [design.columns.map((c) => SAMPLES[c] ?? `${words(c)} 1`), design.columns.map((c) => SAMPLES[c] ?? `${words(c)} 2`)];
        const problems = await checkLabels(doc, { columns, records }, labelSequence({ first: 0, last: 1 }, 2, DEFAULT_COUNTER), new Date());
        assert.deepEqual(problems, [], where);
        // Laid out, not stretched: type grows with the label, and no text is set smaller than 5 pt.
        const sizes = objects.flatMap((o) => (o.type === 'text' ? [o.fontSizePt] : []));
        assert.ok(sizes.every((s) => s >= 5), `${where}: ${sizes.join(' ')}`);
      }
    }
  }
});
