// The data panel: import a spreadsheet, choose sheet and header row, insert fields, set the
// serial number, step through records on the canvas, and see records that cannot print.

import { useEffect, useMemo, useState } from 'preact/hooks';
import type { Editor } from '../../editor/editor';
import type { LabelObject } from '../../model/document';
import { labelSequence } from '../../model/labels';
import type { MergeSession } from '../../merge/session';
import { formatList } from '../../i18n/messages';
import type { SheetTable } from '../../data/table';
import { missingFields } from '../../print/preflight';
import { CheckField, insertAtCaret, SelectField } from '../fields';
import { IntField } from './IntField';
import { CheckReport, useLabelCheck } from './Preflight';
import { RecordsTable } from './RecordsTable';

export function useSession(session: MergeSession): void {
  const [, setTick] = useState(0);
  useEffect(() => session.subscribe(() => setTick((n) => n + 1)), [session]);
}

export function DataPanel({ editor, session }: { editor: Editor; session: MergeSession }) {
  useSession(session);
  const t = editor.t;
  const settings = session.settings;
  const source = settings.source;
  const table = session.table;
  return (
    <aside class="properties data-panel" data-testid="data-panel">
      <h2>{t.dataSource}</h2>
      <div class="panel">
        <div class="button-row">
          <button type="button" class="button" data-testid="data-import" onClick={() => void session.importSpreadsheet()}>{t.importData}</button>
          {source && editor.api.mode === 'host' && source.path && (
            <button type="button" class="button" data-testid="data-reload" onClick={() => void session.reload()}>{t.reloadData}</button>
          )}
          {source && <button type="button" class="button" data-testid="data-remove" onClick={() => session.removeSource()}>{t.removeData}</button>}
        </div>
        {session.loading && <p class="hint">{t.readingData}</p>}
        {!source && !session.loading && <p class="hint">{t.noDataSource}</p>}
        {source && !table && !session.loading && <p class="field-error" data-testid="data-not-loaded">{editor.msg('dataNotLoaded', { name: source.name })}</p>}
        {source && table && (
          <p class="hint" data-testid="data-summary">{editor.msg('dataSummary', { name: source.name, records: table.records.length, columns: table.columns.length })}</p>
        )}
        {source && session.workbook && session.workbook.kind === 'workbook' && (
          <SelectField label={t.worksheet} value={source.sheet} testId="data-sheet"
            options={session.workbook.sheets.map((s) => ({ value: s.name, label: s.name }))} onChange={(v) => session.setSheet(v)} />
        )}
        {source && <CheckField label={t.headerRow} checked={source.headerRow} testId="data-header" onChange={(v) => session.setHeaderRow(v)} />}
        <FieldButtons editor={editor} session={session} />
        <CounterSettingsPanel editor={editor} session={session} />
        {table && <RecordNavigator editor={editor} session={session} />}
        {table && <RecordsSection editor={editor} session={session} table={table} />}
        <Problems editor={editor} session={session} />
      </div>
    </aside>
  );
}

function FieldButtons({ editor, session }: { editor: Editor; session: MergeSession }) {
  const t = editor.t;
  const insert = (field: string): void => {
    const target = editor.selectedObjects.find((o) => o.type === 'text' || o.type === 'barcode');
    if (!target) {
      editor.report(new Error(t.selectTextOrBarcode));
      return;
    }
    const patch: Partial<LabelObject> = target.type === 'text'
      ? { text: insertAtCaret('prop-text', target.text, field) }
      : { data: insertAtCaret('prop-data', target.type === 'barcode' ? target.data : '', field) };
    editor.update(target.id, patch as Partial<LabelObject>);
  };
  const columns = session.table?.columns ?? [];
  return (
    <>
      <h3>{t.columnsTitle}</h3>
      <div class="field-chips" title={t.insertField}>
        {columns.map((c) => (
          <button type="button" key={c} class="chip" data-testid="field-chip" data-field={c} onClick={() => insert(`{{${c}}}`)}>{c}</button>
        ))}
        <button type="button" class="chip builtin" data-field="$counter" data-testid="field-chip" onClick={() => insert('{{$counter}}')}>{t.fieldCounter}</button>
        <button type="button" class="chip builtin" data-field="$date" data-testid="field-chip" onClick={() => insert('{{$date}}')}>{t.fieldDate}</button>
        <button type="button" class="chip builtin" data-field="$time" data-testid="field-chip" onClick={() => insert('{{$time}}')}>{t.fieldTime}</button>
      </div>
      <p class="hint small">{t.fieldHelp}</p>
    </>
  );
}

function CounterSettingsPanel({ editor, session }: { editor: Editor; session: MergeSession }) {
  const t = editor.t;
  const counter = session.settings.counter;
  const set = (patch: Partial<typeof counter>): void => session.updateSettings({ counter: { ...counter, ...patch } });
  return (
    <>
      <h3>{t.counterTitle}</h3>
      <div class="row">
        <IntField label={t.counterStart} value={counter.start} min={-1e12} max={1e12} testId="counter-start" onCommit={(v) => set({ start: v })} />
        <IntField label={t.counterStep} value={counter.step} min={-1e9} max={1e9} testId="counter-step" onCommit={(v) => set({ step: v })} />
        <IntField label={t.counterPadding} value={counter.padding} min={0} max={20} testId="counter-padding" onCommit={(v) => set({ padding: v })} />
        <SelectField label={t.counterPer} value={counter.per} testId="counter-per"
          options={[{ value: 'label', label: t.counterPerLabel }, { value: 'record', label: t.counterPerRecord }] as const}
          onChange={(v) => set({ per: v })} />
      </div>
    </>
  );
}

function RecordNavigator({ editor, session }: { editor: Editor; session: MergeSession }) {
  const t = editor.t;
  const count = session.recordCount;
  const index = session.previewIndex;
  const unknown = missingFields(editor.state.doc, session.table);
  return (
    <>
      <h3>{t.recordPreview}</h3>
      <CheckField label={t.previewFields} checked={session.previewOn} testId="preview-on" onChange={(v) => session.setPreviewOn(v)} />
      <div class="record-nav">
        <button type="button" class="tool" title={t.firstRecord} aria-label={t.firstRecord} data-testid="record-first" disabled={index === 0} onClick={() => session.goTo(0)}>«</button>
        <button type="button" class="tool" title={t.previousRecord} aria-label={t.previousRecord} data-testid="record-previous" disabled={index === 0} onClick={() => session.goTo(index - 1)}>‹</button>
        <IntField label={t.goToRecord} value={count ? index + 1 : 0} min={1} max={Math.max(1, count)} testId="record-goto" onCommit={(v) => session.goTo(v - 1)} />
        <button type="button" class="tool" title={t.nextRecord} aria-label={t.nextRecord} data-testid="record-next" disabled={index >= count - 1} onClick={() => session.goTo(index + 1)}>›</button>
        <button type="button" class="tool" title={t.lastRecord} aria-label={t.lastRecord} data-testid="record-last" disabled={index >= count - 1} onClick={() => session.goTo(count - 1)}>»</button>
      </div>
      <p class="hint" data-testid="record-position">{editor.msg('recordOf', { index: count ? index + 1 : 0, count })}</p>
      {unknown.length > 0 && <p class="field-error" data-testid="unknown-fields">{editor.msg('unknownFields', { names: formatList(editor.t, unknown) })}</p>}
    </>
  );
}

function RecordsSection({ editor, session, table }: { editor: Editor; session: MergeSession; table: SheetTable }) {
  const [open, setOpen] = useState(false);
  return (
    <details open={open} onToggle={(e) => setOpen((e.target as HTMLDetailsElement).open)}>
      <summary data-testid="records-open">{editor.t.recordsTable}</summary>
      {open && <RecordsTable editor={editor} session={session} table={table} />}
    </details>
  );
}

/** Every record as one label, checked as the print dialog checks a job. */
function Problems({ editor, session }: { editor: Editor; session: MergeSession }) {
  const table = session.table;
  const counter = session.settings.counter;
  const labels = useMemo(() => (table && table.records.length > 0 ? labelSequence({ first: 0, last: table.records.length - 1 }, 1, counter) : null), [table, counter]);
  const state = useLabelCheck(editor.state.doc, table, labels, undefined, session.pictures);
  if (!labels) return null;
  return <CheckReport editor={editor} state={state} onJump={(r) => session.showRecord(r)} showClean />;
}
