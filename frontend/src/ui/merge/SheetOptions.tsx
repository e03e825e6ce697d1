// The sheet part of the print dialog: one label per page, or labels on a sheet where the sheet's
// geometry puts them (the stock's own geometry when the label was made for sheet stock), from a
// chosen position of a partly used sheet.

import type { Editor } from '../../editor/editor';
import type { MessageKey } from '../../i18n/messages';
import { defaultSheet, paperName, SheetLayout, sheetOfStock } from '../../model/merge';
import { formatStockSize, labelsPerSheet, PAPERS } from '../../model/stock';
import { formatMm } from '../../model/units';
import { CheckField, NumberField, SelectField } from '../fields';
import { IntField } from './IntField';

type PaperId = keyof typeof PAPERS | 'custom';

export function SheetOptions({ editor, sheet, onChange }: { editor: Editor; sheet: SheetLayout | null; onChange: (s: SheetLayout | null) => void }) {
  const t = editor.t;
  const doc = editor.state.doc;
  const stockSheet = sheetOfStock(doc.stock);
  const set = (patch: Partial<SheetLayout>): void => {
    const next = { ...sheet!, ...patch };
    onChange({ ...next, paper: paperName(next.paperWidthMm, next.paperHeightMm) });
  };
  const mm = (key: 'paperWidthMm' | 'paperHeightMm' | 'marginLeftMm' | 'marginTopMm' | 'pitchXMm' | 'pitchYMm', label: MessageKey, max = 2000) => (
    <NumberField label={t[label]} unit={t.mm} value={sheet![key]} min={0} max={max} testId={`sheet-${key}`} onCommit={(v) => set({ [key]: v })} />
  );
  const papers = Object.keys(PAPERS) as (keyof typeof PAPERS)[];
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
          <SelectField<PaperId> label={t.paper} value={sheet.paper} testId="sheet-paper"
            options={[...papers.map((id) => ({ value: id, label: `${id} (${formatMm(PAPERS[id].widthMm)} × ${formatMm(PAPERS[id].heightMm)})` })), { value: 'custom' as const, label: t.paperCustom }]}
            onChange={(id) => id !== 'custom' && set({ paperWidthMm: PAPERS[id].widthMm, paperHeightMm: PAPERS[id].heightMm })} />
          <div class="row">
            {mm('paperWidthMm', 'paperWidth')}
            {mm('paperHeightMm', 'paperHeight')}
            <IntField label={t.sheetColumns} value={sheet.columns} min={1} max={100} testId="sheet-columns" onCommit={(v) => set({ columns: v })} />
            <IntField label={t.sheetRows} value={sheet.rows} min={1} max={100} testId="sheet-rows" onCommit={(v) => set({ rows: v })} />
            {mm('marginLeftMm', 'marginLeft', 500)}
            {mm('marginTopMm', 'marginTop', 500)}
            {mm('pitchXMm', 'pitchX', 2000)}
            {mm('pitchYMm', 'pitchY', 2000)}
            <IntField label={t.startPosition} value={sheet.startPosition} min={1} max={labelsPerSheet(sheet)} testId="sheet-start" onCommit={(v) => set({ startPosition: v })} />
          </div>
        </>
      )}
    </>
  );
}
