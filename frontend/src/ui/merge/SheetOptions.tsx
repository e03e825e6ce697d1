// The sheet part of the print dialog: one label per page, or labels on a sheet where the sheet's
// geometry puts them (the stock's own geometry when the label was made for sheet stock), from a
// chosen position of a partly used sheet.

import type { Editor } from '../../editor/editor';
import { defaultSheet, SheetLayout, sheetOfStock } from '../../model/merge';
import { formatStockSize, labelsPerSheet } from '../../model/stock';
import { CheckField } from '../fields';
import { SheetFields } from '../SheetFields';
import { IntField } from './IntField';

export function SheetOptions({ editor, sheet, onChange }: { editor: Editor; sheet: SheetLayout | null; onChange: (s: SheetLayout | null) => void }) {
  const t = editor.t;
  const doc = editor.state.doc;
  const stockSheet = sheetOfStock(doc.stock);
  return (
    <>
      <h3>{t.pageLayout}</h3>
      <CheckField label={t.layoutSheet} checked={!!sheet} testId="sheet-on"
        onChange={(on) => onChange(on ? stockSheet ?? defaultSheet(doc.widthMm, doc.heightMm) : null)} />
      {!sheet && <p class="hint">{t.layoutSingle}</p>}
      {sheet && stockSheet && doc.stock && (
        <p class="hint" data-testid="sheet-stock">{editor.msg('sheetOfStock', { name: doc.stock.code ?? formatStockSize(doc.stock) })}</p>
      )}
      {sheet && (
        <>
          <SheetFields editor={editor} sheet={sheet} testPrefix="sheet" onChange={onChange} />
          <IntField label={t.startPosition} value={sheet.startPosition} min={1} max={labelsPerSheet(sheet)} testId="sheet-start"
            onCommit={(v) => onChange({ ...sheet, startPosition: v })} />
        </>
      )}
    </>
  );
}
