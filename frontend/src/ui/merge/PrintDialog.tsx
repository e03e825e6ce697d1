// The print and PDF dialog: printer, copies, records, resolution, page layout, a preview of
// the exact page image, and while it runs a progress bar, a stop button and the count of
// labels that reached the printer.

import { useEffect, useMemo, useRef, useState } from 'preact/hooks';
import type { PrinterEntry } from '../../bridge/client';
import type { Editor } from '../../editor/editor';
import type { MergeSession } from '../../merge/session';
import type { SheetLayout } from '../../model/merge';
import { formatMm } from '../../model/units';
import type { ImageStore } from '../../render/images';
import type { JobOutcome } from '../../print/job';
import { DEFAULT_DPI, MAX_JOB_LABELS, OutputOptions, OutputSource, outcomeMessage, PlanRefusal, planOutput, printOutput, RESOLUTIONS, savePdf } from '../../print/output';
import { COLOUR_LOOK, PageLook, PagePlan, pagePixelSize, pageRenderer, recordPictureKeys } from '../../print/pages';
import { barcodeEncoderLoaded } from '../../render/barcode';
import { calibrationDocument } from '../../print/calibration';
import { initialPrinter, jobSettings, loadProfiles, rememberProfile, saveProfiles } from '../../model/profiles';
import { sendReady } from '../../model/languages';
import { MonoBitmap, monoToRgba } from '../../render/mono';
import { PrinterSettings, usePrinterProfile } from './PrinterSettings';
import { CheckField, SelectField } from '../fields';
import { IntField } from './IntField';
import { SheetOptions } from './SheetOptions';
import { useSession } from './DataPanel';
import { JobBlocked } from '../../print/preflight';
import { CheckReport, SkipNote, useLabelCheck } from './Preflight';

type Status =
  | { kind: 'idle' }
  | { kind: 'running'; done: number; total: number; text: string }
  | { kind: 'finished'; text: string; error: boolean };

export function PrintDialog({ editor, session, images }: { editor: Editor; session: MergeSession; images: ImageStore }) {
  useSession(session);
  const mode = session.dialog;
  if (!mode) return null;
  return <DialogBody key={mode} mode={mode} editor={editor} session={session} images={images} />;
}

function DialogBody({ mode, editor, session, images }: { mode: 'print' | 'pdf'; editor: Editor; session: MergeSession; images: ImageStore }) {
  const t = editor.t;
  const doc = editor.state.doc;
  const count = session.recordCount;
  const [printers, setPrinters] = useState<PrinterEntry[] | null>(mode === 'print' ? null : []);
  const [printerName, setPrinterName] = useState('');
  /** The project's own printer when the system no longer has it. */
  const [missingPrinter, setMissingPrinter] = useState('');
  const [copies, setCopies] = useState(1);
  const [pdfDpi, setPdfDpi] = useState<number>(doc.output?.dpi ?? DEFAULT_DPI);
  const printer = usePrinterProfile(editor, printerName);
  const { profile } = printer;
  const dpi = mode === 'print' ? profile.dpi : pdfDpi;
  const look: PageLook = mode === 'print' ? profile : COLOUR_LOOK;
  const [from, setFrom] = useState(1);
  const [to, setTo] = useState(Math.max(1, count));
  const [perRecord, setPerRecord] = useState(1);
  /** Records the user chose to leave out after the check listed them; forgotten with the data. */
  const [skip, setSkip] = useState<number[]>([]);
  const [previewPage, setPreviewPage] = useState(0);
  const [status, setStatus] = useState<Status>({ kind: 'idle' });
  const stop = useRef(false);
  const sheet = session.settings.sheet;

  useEffect(() => setTo(Math.max(1, count)), [count]);
  useEffect(() => setSkip([]), [session.table]);
  useEffect(() => {
    if (mode !== 'print') return;
    // Asked afresh every time the dialog opens: printers come and go while the program runs.
    editor.api.listPrinters().then((list) => {
      setPrinters(list);
      const initial = initialPrinter(list, doc.output?.printerName, printer.store);
      setPrinterName(initial.name);
      setMissingPrinter(initial.missing);
    }, (e) => {
      setPrinters([]);
      editor.report(e);
    });
  }, []);

  const chosen = session.chosen;
  const [onlyChosen, setOnlyChosen] = useState(chosen.size > 0);
  const only = onlyChosen && chosen.size > 0 ? [...chosen].sort((a, b) => a - b) : undefined;
  const options: OutputOptions = { dpi, from, to, perRecord, sheet, skip, only, look };
  const planned = useMemo(() => planOutput(doc, session.table, session.settings, options), [doc, session.table, dpi, from, to, perRecord, sheet, skip, onlyChosen && chosen]);
  // Without its cells a merge would print the field names themselves.
  const dataMissing = !!session.settings.source && !session.table;
  const plan = planned.ok ? planned.plan : null;
  const pageCount = plan?.pages.length ?? 0;
  const shownPage = Math.min(previewPage, Math.max(0, pageCount - 1));
  const check = useLabelCheck(doc, session.table, plan && !dataMissing ? plan.labels : null, images, session.pictures);
  const checked = check.status === 'done' && check.problems.length === 0;
  const running = status.kind === 'running';

  const close = (): void => {
    if (running) return;
    session.openDialog(null);
  };
  // Escape closes the dialog wherever the focus is, also on the page behind it after a click there.
  const closeOnEscape = useRef(close);
  closeOnEscape.current = close;
  useEffect(() => {
    const onKey = (e: KeyboardEvent): void => {
      if (e.key === 'Escape' && !e.defaultPrevented) closeOnEscape.current();
    };
    window.addEventListener('keydown', onKey);
    return () => window.removeEventListener('keydown', onKey);
  }, []);

  const setSheet = (next: SheetLayout | null): void => session.updateSettings({ sheet: next }, 'merge.sheet');

  const source: OutputSource = { doc, table: session.table, settings: session.settings, images, pictures: session.pictures };

  const print = async (calibrating = false): Promise<void> => {
    if (!plan) return;
    // A queue without a driver would print whatever it is sent as text or blank labels.
    if (!sendReady(profile.sendAs, printer.driver?.queue)) {
      setStatus({ kind: 'finished', error: true, text: t.chooseLanguageFirst });
      document.querySelector<HTMLElement>('[data-testid="print-send-as"]')?.focus();
      return;
    }
    stop.current = false;
    setStatus({ kind: 'running', done: 0, total: plan.pages.length, text: editor.msg('rendering', { done: 0, total: plan.pages.length }) });
    const jobSource = calibrating ? { ...source, doc: calibrationDocument(doc.widthMm, doc.heightMm, t.calibrationHeading), table: null } : source;
    const jobOptions = calibrating ? { ...options, from: 1, to: 1, perRecord: 1, sheet: null, skip: [] } : options;
    try {
      const outcome = await printOutput(jobSource, jobOptions, {
        api: editor.api, printerName, jobName: calibrating ? t.calibrationHeading : editor.displayName, copies: calibrating ? 1 : copies,
        settings: jobSettings(profile, printer.driver),
        stopRequested: () => stop.current,
        onProgress: (p) => setStatus({
          kind: 'running', done: p.pagesDrawn + p.pagesSent, total: 2 * p.totalPages,
          text: p.labelsSent > 0 ? editor.msg('sending', { labels: p.labelsSent, total: p.totalLabels }) : editor.msg('rendering', { done: p.pagesDrawn, total: p.totalPages }),
        }),
      });
      setStatus(describeOutcome(editor, outcome, copies, printers?.find((p) => p.name === printerName)?.displayName ?? printerName));
      // Printing never edits the design: the dialog opens with this printer next time because
      // the page remembers it, while the project and its changed mark stay as they were.
      if (!calibrating && outcome.labelsSent > 0) saveProfiles(editor.storage, rememberProfile(loadProfiles(editor.storage), printerName, profile));
    } catch (e) {
      setStatus(describeFailure(editor, e));
    }
  };

  const exportPdf = async (): Promise<void> => {
    if (!plan) return;
    stop.current = false;
    setStatus({ kind: 'running', done: 0, total: pageCount, text: editor.msg('pdfBuilding', { done: 0, total: pageCount }) });
    try {
      const saved = await savePdf(source, options, editor.api, `${editor.displayName}.pdf`,
        (p) => setStatus({ kind: 'running', done: p.pagesDone, total: p.totalPages, text: editor.msg('pdfBuilding', { done: p.pagesDone, total: p.totalPages }) }),
        () => stop.current);
      setStatus(saved ? { kind: 'finished', error: false, text: editor.msg('pdfSaved', { path: saved.path }) } : { kind: 'idle' });
    } catch (e) {
      setStatus(describeFailure(editor, e));
    }
  };

  const planError = planned.ok ? '' : planRefusal(editor, planned.reason, count);
  // The printer's own settings must be in before anything is sent to it.
  const printerReady = mode === 'print' && editor.api.mode === 'host' && printerName !== '' && printer.driver !== undefined;
  const canStart = !!plan && !running && !dataMissing && checked && (mode === 'pdf' || printerReady);

  return (
    <div class="modal-backdrop">
      <div class="modal print-dialog" role="dialog" aria-modal="true" data-testid="print-dialog">
        <h2>{mode === 'print' ? t.printTitle : t.pdfTitle}</h2>
        <div class="print-columns">
          <div class="panel print-options">
            {mode === 'print' && editor.api.mode !== 'host' && <p class="field-error">{t.printInBrowser}</p>}
            {mode === 'print' && printers !== null && printers.length === 0 && editor.api.mode === 'host' && <p class="field-error">{t.noPrinters}</p>}
            {mode === 'print' && printers && printers.length > 0 && (
              <SelectField label={t.printer} value={printerName} testId="print-printer"
                options={[
                  ...(printerName === '' ? [{ value: '', label: t.choosePrinter }] : []),
                  ...printers.map((p) => ({ value: p.name, label: p.displayName + (p.isDefault ? t.defaultPrinter : '') })),
                ]}
                onChange={(v) => setPrinterName(v)} />
            )}
            {mode === 'print' && missingPrinter && printerName === '' && (
              <p class="field-error" data-testid="print-printer-missing">{editor.msg('printerMissing', { name: missingPrinter })}</p>
            )}
            <div class="row">
              {mode === 'print' && <IntField label={t.copies} value={copies} min={1} max={999} testId="print-copies" onCommit={setCopies} />}
              {mode === 'pdf' && (
                <SelectField label={t.resolution} value={pdfDpi} testId="print-dpi"
                  options={RESOLUTIONS.map((d) => ({ value: d, label: editor.msg('dpiOption', { dpi: d }) }))} onChange={(v) => setPdfDpi(Number(v))} />
              )}
            </div>
            {mode === 'print' && <PrinterSettings editor={editor} state={printer} entry={printers?.find((p) => p.name === printerName)} busy={running || !printerReady} onCalibrate={() => void print(true)} />}
            {session.table ? (
              <div class="row">
                <IntField label={`${t.recordRange} ${t.recordFrom}`} value={from} min={1} max={Math.max(1, count)} testId="print-from" onCommit={setFrom} />
                <IntField label={t.recordTo} value={to} min={1} max={Math.max(1, count)} testId="print-to" onCommit={setTo} />
                <IntField label={t.labelsPerRecord} value={perRecord} min={1} max={10000} testId="print-per-record" onCommit={setPerRecord} />
              </div>
            ) : null}
            {session.table && chosen.size > 0 ? (
              <CheckField label={editor.msg('printOnlyChosen', { count: chosen.size })} checked={onlyChosen} testId="print-only-chosen" onChange={setOnlyChosen} />
            ) : null}
            {session.table ? null : (
              <IntField label={t.labelCount} value={perRecord} min={1} max={100000} testId="print-per-record" onCommit={setPerRecord} />
            )}
            <SheetOptions editor={editor} sheet={sheet} onChange={setSheet} />
            {planError && <p class="field-error" data-testid="print-plan-error">{planError}</p>}
            {dataMissing && <p class="field-error" data-testid="print-data-missing">{editor.msg('dataNotLoaded', { name: session.settings.source!.name })}</p>}
            {!dataMissing && <CheckReport editor={editor} state={check} onJump={(r) => session.showRecord(r)} onSkip={(records) => setSkip([...skip, ...records].sort((a, b) => a - b))} />}
            <SkipNote editor={editor} skip={skip} onUnskip={() => setSkip([])} />
          </div>
          <div class="print-preview">
            <h3>{t.preview}</h3>
            {plan && <PagePreview editor={editor} session={session} images={images} plan={plan} dpi={dpi} page={shownPage} look={look} />}
            {plan && (
              <div class="record-nav">
                <button type="button" class="tool" data-testid="preview-previous" disabled={shownPage === 0} onClick={() => setPreviewPage(shownPage - 1)}>◀</button>
                <span data-testid="preview-page">{editor.msg('previewPage', { page: shownPage + 1, pages: pageCount })}</span>
                <button type="button" class="tool" data-testid="preview-next" disabled={shownPage >= pageCount - 1} onClick={() => setPreviewPage(shownPage + 1)}>▶</button>
              </div>
            )}
            {plan && <p class="hint" data-testid="job-summary">{editor.msg('jobSummary', { labels: plan.labels.length, pages: pageCount })}</p>}
          </div>
        </div>
        {status.kind === 'running' && (
          <div class="progress" data-testid="print-progress">
            <progress max={Math.max(1, status.total)} value={status.done} />
            <span>{status.text}</span>
          </div>
        )}
        {status.kind === 'finished' && <p class={status.error ? 'field-error' : 'result'} data-testid="print-result">{status.text}</p>}
        <div class="modal-buttons">
          {running && <button type="button" class="button" data-testid="print-stop" onClick={() => (stop.current = true)}>{t.stop}</button>}
          <button type="button" class="button" data-testid="print-close" disabled={running} onClick={close}>{t.close}</button>
          <button type="button" class="button primary" data-testid="print-start" disabled={!canStart} onClick={() => void (mode === 'print' ? print() : exportPdf())}>
            {mode === 'print' ? t.printStart : t.exportStart}
          </button>
        </div>
      </div>
    </div>
  );
}

/** Why a job's choices cannot be printed, for a `count` of records. */
export function planRefusal(words: Pick<Editor, 'msg'>, reason: PlanRefusal, count: number): string {
  switch (reason) {
    case 'sheet': return words.msg('sheetDoesNotFit');
    case 'count': return words.msg('tooManyLabels', { limit: MAX_JOB_LABELS });
    case 'pageTooLarge': return words.msg('pageTooLarge');
    case 'empty': return words.msg('nothingToPrint');
    case 'range': return words.msg('rangeInvalid', { count });
  }
}

/** A job that did not start: stopped by the check before printing, or refused. */
function describeFailure(editor: Editor, e: unknown): Status {
  const text = e instanceof JobBlocked ? editor.t.checkStopped : editor.msg('printFailed', { error: editor.describeError(e) });
  return { kind: 'finished', error: true, text };
}

function describeOutcome(editor: Editor, outcome: JobOutcome, copies: number, printer: string): Status {
  const { key, params } = outcomeMessage(outcome, copies, printer);
  const failed = outcome.status === 'failed';
  const text = editor.msg(key, params);
  return { kind: 'finished', error: failed, text: failed ? `${editor.msg('printFailed', { error: editor.describeError(outcome.failure) })} ${text}` : text };
}

/** The page exactly as it will be sent, drawn at the job's resolution and shown scaled down. */
function PagePreview({ editor, session, images, plan, dpi, page, look }: {
  editor: Editor; session: MergeSession; images: ImageStore; plan: PagePlan; dpi: number; page: number; look: PageLook;
}) {
  const holder = useRef<HTMLDivElement>(null);
  const renders = useRef(0);
  const doc = editor.state.doc;
  const size = pagePixelSize(plan, dpi);
  useEffect(() => {
    let live = true;
    const now = new Date();
    const pictures = images.recordPicturesReady(recordPictureKeys(doc, plan, session.table, now, page));
    void Promise.all([images.ready(doc), barcodeEncoderLoaded(), pictures]).then(() => {
      if (!live || !holder.current) return;
      const renderer = pageRenderer(doc, plan, dpi, session.table, images, now, look);
      const canvas = look.kind === 'mono' ? dotsCanvas(renderer.dots(page)) : renderer.draw(page) as HTMLCanvasElement;
      canvas.setAttribute('data-testid', 'preview-canvas');
      canvas.dataset.renders = String((renders.current += 1));
      holder.current.textContent = '';
      holder.current.appendChild(canvas);
    });
    return () => {
      live = false;
    };
    // Only what changes the dots redraws them: not the copies, the printer's driver settings or the range's text.
  }, [plan, dpi, page, doc, session.table, look.kind, look.dither, look.offsetXMm, look.offsetYMm, look.rotate180]);
  return (
    <>
      <div class="preview-paper" ref={holder} />
      <p class="hint" data-testid="preview-size">
        {editor.msg('previewSize', { w: formatMm(plan.pageWidthMm), h: formatMm(plan.pageHeightMm), pw: size.width, ph: size.height })}
      </p>
    </>
  );
}

/** The dots shown one pixel each; the style sheet scales the preview without smoothing. */
function dotsCanvas(bitmap: MonoBitmap): HTMLCanvasElement {
  const canvas = document.createElement('canvas');
  canvas.width = bitmap.width;
  canvas.height = bitmap.height;
  const ctx = canvas.getContext('2d')!;
  const image = ctx.createImageData(bitmap.width, bitmap.height);
  image.data.set(monoToRgba(bitmap).data);
  ctx.putImageData(image, 0, 0);
  canvas.classList.add('dots');
  return canvas;
}
