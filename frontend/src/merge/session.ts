// The data merge of the open project: the spreadsheet read for it, the record shown on the
// canvas, and which merge dialog is open. The project itself stores only where the data came
// from (LabelDocument.merge); the cells live here. Which records can print is checked from the
// current cells and document whenever it is asked (print/preflight.ts), never kept here.

import type { DesktopApi } from '../bridge/client';
import type { MessageKey } from '../i18n/messages';
import type { LabelDocument, LabelObject } from '../model/document';
import { folderOf } from '../model/project';
import { prepareWorkbookReader, readWorkbook, SpreadsheetError, Workbook, WorkbookReadFailure } from '../data/source';
import type { MixedLines } from '../data/decode';
import type { RecordPictures } from '../render/recordPictures';
import { MAX_RECORDS, SheetTable, tableFromRows } from '../data/table';
import { counterValue, formatCounter, substitute } from '../model/fields';
import { DataSourceRef, DEFAULT_MERGE, MergeSettings } from '../model/merge';

export type MergeDialog = 'print' | 'pdf' | null;

const SHOWN_MIXED_LINES = 12;

/** What the session needs of the editor that owns the project. */
export interface MergeHost {
  readonly state: { readonly doc: LabelDocument };
  /** Only changes of the document concern the session. */
  subscribe(listener: () => void, aspects: readonly 'document'[]): () => void;
  apply(edit: (doc: LabelDocument) => LabelDocument, options?: { coalesce?: string }): void;
  msg(key: MessageKey, params?: Record<string, string | number>): string;
  report(error: unknown): void;
  describeError(error: unknown): string;
  /** Whether the user picked this file, or agreed to read it, on this machine. */
  isKnownSource(path: string): boolean;
  rememberSource(path: string): void;
}

export interface MergeUi {
  notify(message: string): void;
  showError(title: string, message: string): void;
  /** Asks whether a project may read a data file the user never chose here; the whole path is shown. */
  askReadSource(path: string): Promise<boolean>;
}

type TextResolver = (stored: string, object: LabelObject) => string;

export class MergeSession {
  workbook: Workbook | null = null;
  table: SheetTable | null = null;
  /** The source the cells were read for; compared with the project's to notice a change. */
  private loadedKey = '';
  private attemptedKey = '';
  loading = false;
  previewIndex = 0;
  /** Records ticked in the records table, and the cells they were ticked in. */
  private ticked: { table: SheetTable | null; records: ReadonlySet<number> } = { table: null, records: new Set() };
  previewOn = true;
  panelOpen = false;
  dialog: MergeDialog = null;
  /** What the canvas shows for fields: the previewed record's values; null shows them as typed. */
  previewResolver: TextResolver | null = null;
  /** What the resolver was made from: a new one (and a redrawn canvas) only when that changes. */
  private previewInputs: unknown[] = [];
  private listeners = new Set<() => void>();

  constructor(
    readonly editor: MergeHost, private readonly api: DesktopApi, private readonly ui: MergeUi,
    /** Pictures named in the cells, found from the data file's folder. */
    readonly pictures: RecordPictures | null = null,
  ) {
    editor.subscribe(() => this.followProject(), ['document']);
    this.updatePreview();
  }

  subscribe(listener: () => void): () => void {
    this.listeners.add(listener);
    return () => this.listeners.delete(listener);
  }

  private changed(): void {
    this.updatePreview();
    this.listeners.forEach((l) => l());
  }

  get settings(): MergeSettings {
    return this.editor.state.doc.merge ?? DEFAULT_MERGE;
  }

  /** Changes the stored settings as one undoable edit of the project. */
  updateSettings(patch: Partial<MergeSettings>, coalesce?: string): void {
    this.editor.apply((doc) => ({ ...doc, merge: { ...(doc.merge ?? DEFAULT_MERGE), ...patch } }), { coalesce });
  }

  get recordCount(): number {
    return this.table?.records.length ?? 0;
  }

  setPanelOpen(open: boolean): void {
    this.panelOpen = open;
    this.changed();
  }

  openDialog(dialog: MergeDialog): void {
    this.dialog = dialog;
    this.changed();
  }

  // --- data source -------------------------------------------------------------------------------

  /** Asks for a spreadsheet and makes it the project's data source. */
  async importSpreadsheet(): Promise<void> {
    let reply;
    try {
      reply = await this.api.pickSpreadsheet();
    } catch (e) {
      this.editor.report(e);
      return;
    }
    if (!reply) return;
    if (this.api.mode === 'host') this.editor.rememberSource(reply.path);
    const workbook = await this.parse(reply.bytes, reply.name);
    if (!workbook) return;
    const previous = this.settings.source;
    const sheet = workbook.sheets.some((s) => s.name === previous?.sheet) ? previous!.sheet : workbook.sheets[0]?.name ?? '';
    const source: DataSourceRef = { path: this.api.mode === 'host' ? reply.path : '', name: reply.name, sheet, headerRow: previous?.headerRow ?? true };
    this.workbook = workbook;
    this.loadedKey = this.attemptedKey = sourceKey(source);
    this.updateSettings({ source });
    this.applyTable();
    this.ui.notify(this.editor.msg('dataLoaded', { name: reply.name, records: this.recordCount }));
  }

  /** Reads the project's source again from its path (after the file changed on disk). */
  async reload(): Promise<void> {
    const source = this.settings.source;
    if (!source) return;
    this.attemptedKey = '';
    this.loadedKey = '';
    await this.loadFromPath(source);
  }

  removeSource(): void {
    this.workbook = null;
    this.table = null;
    this.loadedKey = this.attemptedKey = '';
    this.updateSettings({ source: null });
    this.changed();
  }

  setSheet(sheet: string): void {
    const source = this.settings.source;
    if (!source || source.sheet === sheet) return;
    this.updateSettings({ source: { ...source, sheet } });
  }

  setHeaderRow(headerRow: boolean): void {
    const source = this.settings.source;
    if (!source || source.headerRow === headerRow) return;
    this.updateSettings({ source: { ...source, headerRow } });
  }

  /** Keeps the cells in step with the project: a newly opened project reads its own source. */
  private followProject(): void {
    const source = this.settings.source;
    if (!source) {
      if (this.table) {
        this.workbook = null;
        this.table = null;
        this.loadedKey = this.attemptedKey = '';
      }
      this.changed();
      return;
    }
    const fileKey = `${source.path}\u0000${source.name}`;
    if (this.workbook && this.loadedKey.startsWith(`${fileKey}\u0000`)) {
      // Same file: only the sheet or the header switch may have changed.
      if (this.loadedKey !== sourceKey(source)) this.applyTable();
      else this.changed();
      return;
    }
    if (this.attemptedKey !== sourceKey(source) && !this.loading) void this.loadFromPath(source);
    this.changed();
  }

  private async loadFromPath(source: DataSourceRef): Promise<void> {
    this.attemptedKey = sourceKey(source);
    this.workbook = null;
    this.table = null;
    if (!source.path || this.api.mode !== 'host') {
      this.ui.notify(this.editor.msg('dataNeedsImport', { name: source.name }));
      this.changed();
      return;
    }
    if (!this.editor.isKnownSource(source.path)) {
      const agreed = await this.ui.askReadSource(source.path);
      // Another project may have been opened meanwhile; it asks for its own source.
      if (sourceKey(this.settings.source) !== sourceKey(source)) return;
      if (!agreed) {
        this.ui.notify(this.editor.msg('dataSourceNotRead', { name: source.name }));
        this.changed();
        return;
      }
      this.editor.rememberSource(source.path);
    }
    this.loading = true;
    this.changed();
    prepareWorkbookReader();
    let reply = null;
    try {
      reply = await this.api.readSpreadsheet(source.path);
    } catch (e) {
      // A missing file is worth a notice, not a blocking error: the label can still be edited.
      this.ui.notify(this.editor.msg('dataMissing', { path: source.path, reason: this.editor.describeError(e) }));
    }
    const workbook = reply ? await this.parse(reply.bytes, source.name) : null;
    this.loading = false;
    if (sourceKey(this.settings.source) !== sourceKey(source) && this.settings.source?.path !== source.path) {
      this.changed();
      return;
    }
    this.workbook = workbook;
    this.applyTable();
  }

  private async parse(bytes: Uint8Array, name: string): Promise<Workbook | null> {
    this.loading = true;
    this.changed();
    try {
      const workbook = await readWorkbook(bytes, name);
      if (workbook.mixed) this.ui.showError(this.editor.msg('dataMixedTitle', { name }), this.describeMixed(workbook.mixed, name));
      return workbook;
    } catch (e) {
      const reason = e instanceof SpreadsheetError ? this.describe(e.failure, name) : this.editor.describeError(e);
      this.ui.showError(this.editor.msg('dataFailed', { name }), reason);
      return null;
    } finally {
      this.loading = false;
    }
  }

  private describeMixed(mixed: MixedLines, name: string): string {
    const shown = mixed.lines.slice(0, SHOWN_MIXED_LINES).join(', ') + (mixed.lines.length > SHOWN_MIXED_LINES ? '…' : '');
    return this.editor.msg('sheetMixedEncoding', { name, lines: shown, encoding: mixed.encoding.toUpperCase() });
  }

  describe(failure: WorkbookReadFailure, name: string): string {
    return describeWorkbookFailure(failure, (key, params) => this.editor.msg(key, params), name);
  }

  private applyTable(): void {
    const source = this.settings.source;
    if (!this.workbook || !source) {
      this.table = null;
      this.changed();
      return;
    }
    const sheet = this.workbook.sheets.find((s) => s.name === source.sheet) ?? this.workbook.sheets[0];
    const table = tableFromRows(sheet?.rows ?? [], source.headerRow);
    // The reader lets a header row through besides the records; a sheet read without one may hold one record too many.
    if (table.records.length > MAX_RECORDS) {
      this.ui.showError(this.editor.msg('dataFailed', { name: source.name }), this.editor.msg('sheetTooManyRows', { limit: MAX_RECORDS }));
      this.table = null;
      this.changed();
      return;
    }
    this.table = table;
    this.pictures?.setFolder(folderOf(source.path));
    this.pictures?.forget();
    this.loadedKey = sourceKey(source);
    this.previewIndex = Math.min(this.previewIndex, Math.max(0, this.recordCount - 1));
    this.changed();
  }

  // --- preview ----------------------------------------------------------------------------------

  private recordAt(index: number): number {
    return Math.min(Math.max(0, this.recordCount - 1), Math.max(0, Math.round(index)));
  }

  goTo(index: number): void {
    const next = this.recordAt(index);
    if (next === this.previewIndex) return;
    this.previewIndex = next;
    this.changed();
  }

  /** Shows a record on the canvas, with the data panel open and the print dialog closed. */
  showRecord(index: number): void {
    this.previewOn = true;
    this.panelOpen = true;
    this.dialog = null;
    this.previewIndex = this.recordAt(index);
    this.changed();
  }

  /** Records ticked in the records table (0-based); a job may print just these. Forgotten with the cells. */
  get chosen(): ReadonlySet<number> {
    return this.ticked.table === this.table ? this.ticked.records : new Set();
  }

  /** Ticks or unticks records in the records table. */
  choose(records: readonly number[], on: boolean): void {
    const next = new Set(this.chosen);
    for (const r of records) {
      if (r < 0 || r >= this.recordCount) continue;
      if (on) next.add(r);
      else next.delete(r);
    }
    this.ticked = { table: this.table, records: next };
    this.changed();
  }

  setPreviewOn(on: boolean): void {
    this.previewOn = on;
    this.changed();
  }

  private updatePreview(): void {
    const inputs = [this.previewOn, this.table, this.previewIndex, this.settings.counter];
    if (inputs.every((input, i) => input === this.previewInputs[i])) return;
    this.previewInputs = inputs;
    if (!this.previewOn) {
      this.previewResolver = null;
      return;
    }
    this.previewResolver = this.resolverFor(this.previewIndex);
  }

  /** Fills in the fields as the record at `index` (its first label) prints them. */
  resolverFor(index: number): TextResolver {
    const counter = formatCounter(counterValue(this.settings.counter, index, index), this.settings.counter.padding);
    const ctx = {
      columns: this.table?.columns ?? [], record: this.table?.records[index] ?? null, counter,
      // Dates and times as of each drawing, though the resolver lives on.
      get now() { return new Date(); },
    };
    return (stored) => substitute(stored, ctx);
  }
}

function sourceKey(source: DataSourceRef | null | undefined): string {
  return source ? `${source.path}\u0000${source.name}\u0000${source.sheet}\u0000${source.headerRow}` : '';
}

/** Why a spreadsheet could not be read, in the interface's language. */
export function describeWorkbookFailure(
  failure: WorkbookReadFailure, m: (key: MessageKey, params?: Record<string, string | number>) => string, name: string,
): string {
  switch (failure.code) {
    case 'wrongContent': {
      const actual = { zip: 'contentZip', ole: 'contentOle', html: 'contentHtml', text: 'contentText', binary: 'contentBinary' } as const;
      return m('sheetWrongContent', { name, extension: failure.extension, actual: m(actual[failure.actual]) });
    }
    case 'inflateTooLarge':
      return m('sheetInflateTooLarge', { name, limit: Math.round(failure.limit / 1048576) });
    case 'tooLarge':
      return m('sheetTooLarge', { actual: (failure.actual / 1048576).toFixed(1), limit: Math.round(failure.limit / 1048576) });
    case 'tooManyRows':
      return m('sheetTooManyRows', { limit: failure.limit });
    case 'tooManyColumns':
      return m('sheetTooManyColumns', { limit: failure.limit });
    case 'unreadable':
      return m('sheetUnreadable', { detail: failure.detail });
    case 'empty':
      return m('sheetEmpty');
    case 'timeout':
      return m('sheetTimeout');
    case 'workerFailed':
      return m('sheetWorkerFailed', { detail: failure.detail });
  }
}
