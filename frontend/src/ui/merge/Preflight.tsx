// The check before printing as the print dialog and the data panel show it: the records whose
// labels cannot print as designed, each a link to that record on the canvas, and in the dialog
// the explicit choice to skip them.

import { useEffect, useRef, useState } from 'preact/hooks';
import type { Editor } from '../../editor/editor';
import { LabelDocument, LabelObject, SYMBOLOGY_NAMES } from '../../model/document';
import type { MessageKey } from '../../i18n/messages';
import { offLabelObjects } from '../../model/shape';
import type { LabelInstance } from '../../model/labels';
import type { SheetTable } from '../../data/table';
import { describeBarcodeFault } from '../../render/barcodeFault';
import { checkLabels, RecordProblem } from '../../print/preflight';

const SHOWN_PROBLEMS = 50;
const SHOWN_SKIPPED = 20;
/** A QR code's content can run to pages; the list shows its start. */
const SHOWN_VALUE_CHARS = 40;

export type CheckState =
  | { status: 'checking'; done: number; total: number }
  | { status: 'done'; problems: RecordProblem[] };

/** What a check depends on in the document: the contents of texts and barcodes, not their places. */
function contentKey(doc: LabelDocument): string {
  return JSON.stringify(doc.objects.map((o) => (o.type === 'text' ? o.text : o.type === 'barcode' ? [o.symbology, o.data] : 0)));
}

/**
 * Checks these labels against the current document and cells whenever either changes; a newer
 * check replaces one still running. Null labels check nothing.
 */
export function useLabelCheck(doc: LabelDocument, table: SheetTable | null, labels: readonly LabelInstance[] | null): CheckState {
  const [state, setState] = useState<CheckState>({ status: 'checking', done: 0, total: labels?.length ?? 0 });
  const run = useRef(0);
  useEffect(() => {
    const id = ++run.current;
    const current = (): boolean => id === run.current;
    if (!labels) {
      setState({ status: 'done', problems: [] });
      return undefined;
    }
    setState({ status: 'checking', done: 0, total: labels.length });
    void checkLabels(doc, table, labels, new Date(), {
      onProgress: (p) => current() && setState({ status: 'checking', ...p }),
      superseded: () => !current(),
    }).then((problems) => {
      if (problems && current()) setState({ status: 'done', problems });
    });
    return () => {
      run.current += 1;
    };
  }, [contentKey(doc), table, labels]);
  return state;
}

export function describeProblem(editor: Editor, problem: RecordProblem): string {
  const reason = problem.faults
    .map((f) => (f.kind === 'field' ? editor.msg('fieldNotColumn', { name: f.name }) : describeBarcodeFault(f.fault, editor)))
    .join(' ');
  if (problem.record < 0) return editor.msg('checkItemLabel', { reason });
  const barcode = problem.faults.find((f) => f.kind === 'barcode');
  const record = problem.record + 1;
  if (!barcode || barcode.kind !== 'barcode') return editor.msg('checkItem', { record, reason });
  const value = barcode.value.length > SHOWN_VALUE_CHARS ? `${barcode.value.slice(0, SHOWN_VALUE_CHARS)}…` : barcode.value;
  return editor.msg('checkItemValue', { record, value, reason });
}

const OBJECT_WORDS: Record<LabelObject['type'], MessageKey> = {
  text: 'objectText', barcode: 'objectBarcode', image: 'objectImage', rect: 'objectRect', ellipse: 'objectEllipse', line: 'objectLine',
};

/** An object as the user knows it: its kind and what it says. */
function objectTitle(editor: Editor, o: LabelObject): string {
  const content = o.type === 'text' ? o.text : o.type === 'barcode' ? o.data : '';
  const kind = o.type === 'barcode' ? SYMBOLOGY_NAMES[o.symbology] : editor.t[OBJECT_WORDS[o.type]];
  const short = content.length > 20 ? `${content.slice(0, 20)}…` : content;
  return short ? `${kind} “${short}”` : kind;
}

/** Objects reaching off the label print cut off: said beside the check, without stopping the job. */
function OffLabelNote({ editor }: { editor: Editor }) {
  const off = offLabelObjects(editor.state.doc);
  if (off.length === 0) return null;
  const names = off.slice(0, 5).map((o) => objectTitle(editor, o)).join(editor.state.language === 'en' ? ', ' : '、') + (off.length > 5 ? '…' : '');
  return <p class="field-error" data-testid="check-off-label">{editor.msg('offLabelCheck', { count: off.length, names })}</p>;
}

/** The check's outcome; `onSkip` offers to leave the listed records out. */
export function CheckReport(props: {
  editor: Editor; state: CheckState; onJump: (record: number) => void; onSkip?: (records: number[]) => void; showClean?: boolean;
}) {
  return (
    <>
      <OffLabelNote editor={props.editor} />
      <RecordReport {...props} />
    </>
  );
}

function RecordReport({ editor, state, onJump, onSkip, showClean = false }: {
  editor: Editor; state: CheckState; onJump: (record: number) => void; onSkip?: (records: number[]) => void; showClean?: boolean;
}) {
  const t = editor.t;
  if (state.status === 'checking') return <p class="hint" data-testid="check-running">{editor.msg('checkRunning', { done: state.done, total: state.total })}</p>;
  const problems = state.problems;
  if (problems.length === 0) return showClean ? <p class="hint ok" data-testid="check-clean">{t.checkClean}</p> : null;
  const records = problems.filter((p) => p.record >= 0).map((p) => p.record);
  return (
    <div class="problems" data-testid="check-problems">
      <p class="field-error">{editor.msg('checkBlocked', { count: problems.length })}</p>
      <ul>
        {problems.slice(0, SHOWN_PROBLEMS).map((p) => (
          <li key={p.record}>
            {p.record >= 0 ? (
              <button type="button" class="link" title={t.checkJump} data-testid="check-record" data-record={p.record + 1} onClick={() => onJump(p.record)}>
                {describeProblem(editor, p)}
              </button>
            ) : (
              <span class="field-error" data-testid="check-record">{describeProblem(editor, p)}</span>
            )}
          </li>
        ))}
        {problems.length > SHOWN_PROBLEMS && <li>{editor.msg('checkMore', { count: problems.length - SHOWN_PROBLEMS })}</li>}
      </ul>
      {onSkip && records.length > 0 && (
        <button type="button" class="button" data-testid="check-skip" onClick={() => onSkip(records)}>{editor.msg('checkSkip', { count: records.length })}</button>
      )}
    </div>
  );
}

/** Which records a job leaves out, with the way back. */
export function SkipNote({ editor, skip, onUnskip }: { editor: Editor; skip: readonly number[]; onUnskip: () => void }) {
  if (skip.length === 0) return null;
  const shown = skip.slice(0, SHOWN_SKIPPED).map((r) => r + 1).join(editor.state.language === 'en' ? ', ' : '、') + (skip.length > SHOWN_SKIPPED ? '…' : '');
  return (
    <p class="hint" data-testid="check-skipped">
      {editor.msg('checkSkipped', { count: skip.length, records: shown })}{' '}
      <button type="button" class="link" data-testid="check-unskip" onClick={onUnskip}>{editor.t.checkUnskip}</button>
    </p>
  );
}
