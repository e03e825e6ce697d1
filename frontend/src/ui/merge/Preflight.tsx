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
import { formatList } from '../../i18n/messages';
import { checkLabels, LabelFault, PictureCheck, RecordProblem } from '../../print/preflight';
import type { RecordPictures } from '../../render/recordPictures';

const SHOWN_PROBLEMS = 50;
const SHOWN_SKIPPED = 20;
/** A QR code's content can run to pages; the list shows its start. */
const SHOWN_VALUE_CHARS = 40;

export type CheckState =
  | { status: 'checking'; done: number; total: number }
  | { status: 'done'; problems: RecordProblem[] };

/** What a check depends on in the document: the contents of texts, barcodes and pictures, not their places. */
function contentKey(doc: LabelDocument): string {
  // A picture by its length and end: its whole data would make the key megabytes long.
  const content = (o: LabelDocument['objects'][number]): unknown =>
    o.type === 'text' ? o.text : o.type === 'barcode' ? [o.symbology, o.data] : o.type === 'image' ? [o.src.length, o.src.slice(-40), o.srcColumn] : 0;
  return JSON.stringify(doc.objects.map(content));
}

/**
 * Checks these labels against the current document and cells whenever either changes; a newer
 * check replaces one still running. Null labels check nothing.
 */
export function useLabelCheck(
  doc: LabelDocument, table: SheetTable | null, labels: readonly LabelInstance[] | null, images?: PictureCheck, pictures: RecordPictures | null = null,
): CheckState {
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
      pictures: images,
    }, pictures).then((problems) => {
      if (problems && current()) setState({ status: 'done', problems });
    });
    return () => {
      run.current += 1;
    };
  }, [contentKey(doc), table, labels]);
  return state;
}

export function describeProblem(editor: Pick<Editor, 'msg'>, problem: RecordProblem): string {
  const reason = problem.faults.map((f) => describeFault(editor, f)).join(' ');
  if (problem.record < 0) return editor.msg('checkItemLabel', { reason });
  const barcode = problem.faults.find((f) => f.kind === 'barcode');
  const record = problem.record + 1;
  if (!barcode || barcode.kind !== 'barcode') return editor.msg('checkItem', { record, reason });
  const value = barcode.value.length > SHOWN_VALUE_CHARS ? `${barcode.value.slice(0, SHOWN_VALUE_CHARS)}…` : barcode.value;
  return editor.msg('checkItemValue', { record, value, reason });
}

const PICTURE_FAULTS = {
  empty: 'faultPictureEmpty', missing: 'faultPictureMissing', notPicture: 'faultPictureNotPicture',
  tooLarge: 'faultPictureTooLarge', undecodable: 'faultPictureUndecodable', unavailable: 'faultPictureUnavailable',
} as const;

function describeFault(editor: Pick<Editor, 'msg'>, fault: LabelFault): string {
  switch (fault.kind) {
    case 'field':
      return editor.msg('fieldNotColumn', { name: fault.name });
    case 'barcode':
      return describeBarcodeFault(fault.fault, editor);
    case 'date':
      return fault.value.trim() ? editor.msg('faultDate', { column: fault.column, value: fault.value }) : editor.msg('faultNoDate', { column: fault.column });
    case 'number':
      return fault.value.trim() ? editor.msg('faultNumber', { column: fault.column, value: fault.value }) : editor.msg('faultNoNumber', { column: fault.column });
    case 'picture':
      return editor.msg(PICTURE_FAULTS[fault.problem], { column: fault.column, name: fault.name });
    case 'brokenPicture':
      return editor.msg('pictureBroken');
  }
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
  const shown = formatList(editor.t, skip.slice(0, SHOWN_SKIPPED).map((r) => String(r + 1)), Math.max(0, skip.length - SHOWN_SKIPPED));
  return (
    <p class="hint" data-testid="check-skipped">
      {editor.msg('checkSkipped', { count: skip.length, records: shown })}{' '}
      <button type="button" class="link" data-testid="check-unskip" onClick={onUnskip}>{editor.t.checkUnskip}</button>
    </p>
  );
}
