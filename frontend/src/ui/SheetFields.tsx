// The figures of a sheet of labels: paper, columns and rows, margins and pitches. The print
// dialog's layout and a user's own sheet stock are entered with these same fields.

import type { Editor } from '../editor/editor';
import type { MessageKey } from '../i18n/messages';
import { paperName } from '../model/merge';
import { PAPERS, SheetGeometry } from '../model/stock';
import { formatMm } from '../model/units';
import { LengthField, lengthProps, SelectField } from './fields';
import { IntField } from './merge/IntField';

type PaperId = keyof typeof PAPERS | 'custom';
type Length = 'paperWidthMm' | 'paperHeightMm' | 'marginLeftMm' | 'marginTopMm' | 'pitchXMm' | 'pitchYMm';

export function SheetFields<T extends SheetGeometry>({ editor, sheet, testPrefix, onChange }: {
  editor: Editor; sheet: T; testPrefix: string; onChange: (sheet: T) => void;
}) {
  const t = editor.t;
  const set = (patch: Partial<SheetGeometry>): void => {
    const next = { ...sheet, ...patch };
    onChange({ ...next, paper: paperName(next.paperWidthMm, next.paperHeightMm) });
  };
  // The fields show tenths: leaving 7.25 mm shown as "7.3" untouched must not move every label.
  const mm = (key: Length, label: MessageKey, max = 2000) => (
    <LengthField {...lengthProps(editor)} label={t[label]} value={sheet[key]} min={0} max={max} testId={`${testPrefix}-${key}`}
      onCommit={(v) => formatMm(v) !== formatMm(sheet[key]) && set({ [key]: v })} />
  );
  const papers = Object.keys(PAPERS) as (keyof typeof PAPERS)[];
  return (
    <>
      <SelectField<PaperId> label={t.paper} value={sheet.paper} testId={`${testPrefix}-paper`}
        options={[...papers.map((id) => ({ value: id, label: `${id} (${formatMm(PAPERS[id].widthMm)} × ${formatMm(PAPERS[id].heightMm)})` })), { value: 'custom' as const, label: t.paperCustom }]}
        onChange={(id) => id !== 'custom' && set({ paperWidthMm: PAPERS[id].widthMm, paperHeightMm: PAPERS[id].heightMm })} />
      <div class="row">
        {mm('paperWidthMm', 'paperWidth')}
        {mm('paperHeightMm', 'paperHeight')}
        <IntField label={t.sheetColumns} value={sheet.columns} min={1} max={100} testId={`${testPrefix}-columns`} onCommit={(v) => set({ columns: v })} />
        <IntField label={t.sheetRows} value={sheet.rows} min={1} max={100} testId={`${testPrefix}-rows`} onCommit={(v) => set({ rows: v })} />
        {mm('marginLeftMm', 'marginLeft', 500)}
        {mm('marginTopMm', 'marginTop', 500)}
        {mm('pitchXMm', 'pitchX')}
        {mm('pitchYMm', 'pitchY')}
      </div>
    </>
  );
}
