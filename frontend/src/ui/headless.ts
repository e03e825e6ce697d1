// Printing from the command line: the project, its data, the printer's remembered settings and
// the same pipeline, checks and counters as the Print dialog, without the designer. Everything
// the user must hear goes back to the host as lines for standard error, with the exit status.

import type { DesktopApi } from '../bridge/client';
import { checkPayload, describeError } from '../bridge/errors';
import { EXIT_DONE, EXIT_NOTHING_PRINTED, EXIT_PARTLY_PRINTED, HeadlessHost, HeadlessJob } from '../bridge/headless';
import { prepareWorkbookReader, readWorkbook, SpreadsheetError } from '../data/source';
import { SheetTable, tableFromRows } from '../data/table';
import { format, Language, MessageKey, MessageTable, messageTable } from '../i18n/messages';
import { describeWorkbookFailure } from '../merge/session';
import type { LabelDocument } from '../model/document';
import { sendReady } from '../model/languages';
import { DEFAULT_MERGE } from '../model/merge';
import { jobSettings, loadProfiles, profileFor } from '../model/profiles';
import { bytesToBase64, folderOf, nameFromFileName, parseProject, ProjectError, utf8Text } from '../model/project';
import { hostRecordPictures, reducePicture } from '../editor/pictures';
import { DEFAULT_DPI, OutputOptions, OutputSource, outcomeMessage, planOutput, printOutput, renderPdf } from '../print/output';
import { COLOUR_LOOK } from '../print/pages';
import { startWorkers } from '../print/pageImages';
import { JobBlocked, RecordProblem } from '../print/preflight';
import { barcodeEncoderLoaded } from '../render/barcode';
import { ImageStore } from '../render/images';
import { planRefusal } from './merge/PrintDialog';
import { describeProblem } from './merge/Preflight';
import { rememberedProfile } from './merge/PrinterSettings';

interface Words {
  t: MessageTable;
  msg(key: MessageKey, params?: Record<string, string | number>): string;
}

/** Progress goes out once a job has run this long, then at most this often. */
const PROGRESS_AFTER_MS = 3000;
const PROGRESS_EVERY_MS = 2000;

/** Ends the job with nothing printed, for the reasons given. */
class Refused extends Error {
  constructor(readonly lines: string[]) {
    super(lines.join('\n'));
  }
}

/** How a step words its refusal. */
interface Context {
  words: Words;
  refuse: (...lines: string[]) => Refused;
  problem: (what: string, reason: string) => string;
}

interface Outcome {
  status: number;
  lines: string[];
}

export async function runHeadlessPrint(api: DesktopApi, host: HeadlessHost): Promise<void> {
  let words = wordsFor('en');
  let outcome: Outcome;
  try {
    const job = await host.job();
    words = wordsFor(job.language);
    outcome = await runJob(api, host, job, words);
  } catch (e) {
    outcome = { status: EXIT_NOTHING_PRINTED, lines: e instanceof Refused ? e.lines : [words.msg('cliUnexpected', { detail: e instanceof Error ? e.message : String(e) })] };
  }
  await host.finish(outcome.status, outcome.lines);
}

function wordsFor(language: Language): Words {
  const t = messageTable(language);
  return { t, msg: (key, params) => format(t, key, params) };
}

async function runJob(api: DesktopApi, host: HeadlessHost, job: HeadlessJob, words: Words): Promise<Outcome> {
  const { msg } = words;
  const nothingDone = job.printer ? msg('cliNothingSent', { printer: job.printer }) : msg('cliNothingSaved', { file: job.pdf });
  const refuse = (...lines: string[]): Refused => new Refused([...lines, nothingDone]);
  const problem = (what: string, reason: string): string => msg('cliProblem', { what, reason });

  const context: Context = { words, refuse, problem };
  const { doc, fileName } = await readProject(api, job.project, context);
  // The encoder and the workers that draw a merged job load while its data is read: on a machine
  // with idle cores the job then starts drawing as soon as it has been checked.
  void barcodeEncoderLoaded().catch(() => undefined);
  if (job.data || doc.merge?.source) startWorkers(job.firstRecord > 0 ? job.lastRecord - job.firstRecord + 1 : Infinity);
  const dataPath = job.data || doc.merge?.source?.path || '';
  const table = await readData(api, job, doc, context);
  const count = table?.records.length ?? 0;
  const range = { first: job.firstRecord, last: job.lastRecord, file: dataPath || job.project, count };
  if (job.firstRecord > 0 && !table) throw refuse(msg('cliRecordsWithoutData', { ...range, file: job.project }));
  if (job.firstRecord > 0 && job.lastRecord > count) throw refuse(msg('cliRecordsOutside', range));
  const settings = doc.merge ?? DEFAULT_MERGE;
  const images = new ImageStore();
  // Pictures named in the data, found from the data file's folder and reduced as the designer does.
  const pictures = hostRecordPictures(api, images, (picture) => reducePicture(picture, doc.widthMm, doc.heightMm));
  pictures.setFolder(folderOf(dataPath));
  const source: OutputSource = { doc, table, settings, images, pictures };
  let options: OutputOptions = {
    dpi: doc.output?.dpi ?? DEFAULT_DPI, from: job.firstRecord || 1, to: job.lastRecord || Math.max(1, count), perRecord: 1, sheet: settings.sheet, skip: [],
  };

  let send: (options: OutputOptions) => Promise<Outcome>;
  const progress = progressReporter(host);
  if (job.printer) {
    let printers;
    try {
      printers = await api.listPrinters();
    } catch (e) {
      throw refuse(describeError(e, words.t));
    }
    const printer = printers.find((p) => p.name === job.printer) ?? printers.find((p) => p.displayName === job.printer);
    if (!printer) {
      const names = printers.map((p) => p.name).join(', ');
      throw refuse(names ? msg('cliUnknownPrinter', { printer: job.printer, printers: names }) : msg('cliNoPrinters', { printer: job.printer }));
    }
    const driver = await api.printerOptions(printer.name).catch(() => null);
    const profile = profileFor(rememberedProfile(doc, loadProfiles(window.localStorage), printer.name), doc.widthMm, driver);
    // A queue without a driver prints whatever it is sent: only the language chosen for it in the designer goes there.
    if (!sendReady(profile.sendAs, driver?.queue)) throw refuse(msg('cliProblem', { what: printer.name, reason: words.t.chooseLanguageFirst }));
    options = { ...options, dpi: profile.dpi, look: profile };
    send = async (chosen) => {
      const outcome = await printOutput(source, chosen, {
        api, printerName: printer.name, jobName: doc.name.trim() || nameFromFileName(fileName) || words.t.untitled, copies: job.copies,
        settings: jobSettings(profile, driver),
        onProgress: (p) => progress(p.labelsSent > 0 ? msg('sending', { labels: p.labelsSent, total: p.totalLabels }) : msg('rendering', { done: p.pagesDrawn, total: p.totalPages })),
      });
      if (outcome.status === 'done') return { status: EXIT_DONE, lines: [] };
      const { key, params } = outcomeMessage(outcome, job.copies, printer.displayName);
      const failed = msg('printFailed', { error: describeError(outcome.failure, words.t) });
      return outcome.labelsSent > 0 ? { status: EXIT_PARTLY_PRINTED, lines: [failed, msg(key, params)] } : { status: EXIT_NOTHING_PRINTED, lines: [failed, nothingDone] };
    };
  } else {
    options = { ...options, look: COLOUR_LOOK };
    send = async (chosen) => {
      const bytes = await renderPdf(source, chosen, (p) => progress(msg('pdfBuilding', { done: p.pagesDone, total: p.totalPages })));
      try {
        if (!bytes) throw new Error('no PDF');
        const dataBase64 = bytesToBase64(bytes);
        checkPayload('pdf', dataBase64.length + 64);
        await host.writePdf(dataBase64);
      } catch (e) {
        throw refuse(msg('cliPdfFailed', { file: job.pdf, reason: describeError(e, words.t) }));
      }
      return { status: EXIT_DONE, lines: [] };
    };
  }

  await barcodeEncoderLoaded();
  let skipped: RecordProblem[] = [];
  for (;;) {
    const planned = planOutput(doc, table, settings, options);
    if (!planned.ok) throw refuse(...skippedLines(words, skipped), planRefusal(words, planned.reason, count));
    try {
      const outcome = await send(options);
      return { ...outcome, lines: [...skippedLines(words, skipped), ...outcome.lines] };
    } catch (e) {
      if (!(e instanceof JobBlocked)) throw e;
      // A fault of the label itself (no data behind it) cannot be skipped; nor is a second check's.
      const skippable = job.skipInvalid && skipped.length === 0 && e.problems.every((p) => p.record >= 0);
      if (!skippable) throw refuse(msg('checkBlocked', { count: e.problems.length }), ...e.problems.map((p) => describeProblem(words, p)));
      skipped = e.problems;
      options = { ...options, skip: skipped.map((p) => p.record) };
    }
  }
}

async function readProject(api: DesktopApi, path: string, { words, refuse, problem }: Context): Promise<{ doc: LabelDocument; fileName: string }> {
  const what = words.msg('openFailed', { name: path });
  let reply;
  try {
    reply = await api.openProject(path);
  } catch (e) {
    throw refuse(problem(what, describeError(e, words.t)));
  }
  if (!reply) throw refuse(problem(what, words.t.notProject));
  try {
    return { doc: parseProject(utf8Text(reply.bytes)).doc, fileName: reply.name };
  } catch (e) {
    throw refuse(problem(what, e instanceof ProjectError ? words.msg(e.code, { detail: e.detail }) : words.t.notProject));
  }
}

async function readData(api: DesktopApi, job: HeadlessJob, doc: LabelDocument, { words, refuse, problem }: Context): Promise<SheetTable | null> {
  const source = doc.merge?.source ?? null;
  if (!job.data && !source) return null;
  const path = job.data || source!.path;
  if (!path) throw refuse(words.msg('cliSourceWithoutPath', { name: source!.name }));
  const what = words.msg('dataFailed', { name: path });
  let workbook;
  prepareWorkbookReader();
  try {
    const reply = await api.readSpreadsheet(path);
    if (!reply) throw new Error(words.t.notProject);
    workbook = await readWorkbook(reply.bytes, path.split('/').pop() ?? path);
  } catch (e) {
    throw refuse(problem(what, e instanceof SpreadsheetError ? describeWorkbookFailure(e.failure, words.msg, path) : describeError(e, words.t)));
  }
  const wanted = job.sheet || source?.sheet || '';
  const sheet = workbook.sheets.find((s) => s.name === wanted);
  if (!sheet && job.sheet) throw refuse(words.msg('cliNoSheet', { file: path, sheet: job.sheet, sheets: workbook.sheets.map((s) => s.name).join(', ') }));
  return tableFromRows((sheet ?? workbook.sheets[0])?.rows ?? [], source?.headerRow ?? true);
}

function skippedLines(words: Words, skipped: readonly RecordProblem[]): string[] {
  if (skipped.length === 0) return [];
  return [words.msg('cliSkipped', { count: skipped.length }), ...skipped.map((p) => describeProblem(words, p))];
}

/** Says how a long job is going, now and then. */
function progressReporter(host: HeadlessHost): (line: string) => void {
  const started = Date.now();
  let last = 0;
  return (line) => {
    const now = Date.now();
    if (now - started < PROGRESS_AFTER_MS || now - last < PROGRESS_EVERY_MS) return;
    last = now;
    void host.progress(line).catch(() => undefined);
  };
}
