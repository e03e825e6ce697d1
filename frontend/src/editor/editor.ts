// The designer's state and every command a person can give it. The view layers (canvas stage,
// panels, keyboard) only call these methods and redraw on change; nothing else edits the document.

import type { DesktopApi } from '../bridge/client';
import { BridgeError } from '../bridge/client';
import { describeError } from '../bridge/errors';
import { reducePicture } from './pictures';
import {
  addObjects, AlignEdge, alignObjects, cloneObjects, createBarcode, createDocument, createDocumentForStock, createObject, distributeObjects, freeSpot,
  duplicateObjects, LabelDocument, LabelObject, moveObjects, ObjectType, removeObjects, reorderObjects,
  rotateObjects, setLabelSize, setLocked, Symbology, unionBox, updateObject, updateObjects, visualBox, ZOrderMove,
} from '../model/document';
import { History } from '../model/history';
import {
  baseName, limitExceeded, nameFromFileName, ProjectError, serializeProject, suggestedFileName, utf8ToBase64,
} from '../model/project';
import { format, Language, MessageKey, messageTable, MessageTable } from '../i18n/messages';
import { LENGTH_UNITS, LengthUnit } from '../model/units';
import { fitBarcodeBoxes } from '../render/symbol';
import { clearAutosave, readAutosave, writeAutosave } from './autosave';
import { readProjectFile } from './projectReader';
import {
  FAVOURITE_STOCK_KEY, KNOWN_SOURCES_KEY, MAX_KNOWN_SOURCES, MAX_RECENT_PROJECTS, MAX_RECENT_STOCK, readList,
  RECENT_PROJECTS_KEY, RECENT_STOCK_KEY, withFirst, without, writeList,
} from './recent';
import { loadCustomStock, saveCustomStock, StockEntry } from '../model/stock';

export interface EditorState {
  doc: LabelDocument;
  selection: string[];
  /** Where the project was last opened from or saved to; empty for a project never saved. */
  projectPath: string;
  /** The document as it was last opened or saved; any other document is unsaved work. */
  savedDoc: LabelDocument;
  language: Language;
  fonts: string[];
  grid: boolean;
  snap: boolean;
  gridStepMm: number;
  /** Inserted pictures keep every pixel instead of being reduced to what the label can print. */
  keepOriginalPictures: boolean;
  /** The unit lengths are shown and typed in. */
  unit: LengthUnit;
  /** Counts projects opened or started, so the view knows to fit a new one. */
  projectSerial: number;
  /** Set by the stage: screen zoom, 1 = real size. */
  zoom: number;
  pointerMm: { x: number; y: number } | null;
  /** The new-label chooser is showing. */
  stockChooser: boolean;
  /** Project paths opened or saved last, newest first (host mode only: the browser has no paths). */
  recentProjects: string[];
  /** Ids of the stock used last, newest first, and of the stock marked as favourite. */
  recentStock: string[];
  favouriteStock: string[];
  /** Stock the user added, kept across runs. */
  customStock: StockEntry[];
}

/**
 * What a change touched, so that each view redraws only for what it shows: a pointer move must
 * not redraw the label, nor a selection the panels that show only the document.
 */
export type Aspect = 'document' | 'selection' | 'view' | 'pointer' | 'interface';
export type Changes = ReadonlySet<Aspect>;
export const ALL_ASPECTS: readonly Aspect[] = ['document', 'selection', 'view', 'pointer', 'interface'];

/** Every piece of state belongs to one aspect; a new piece must say which. */
const ASPECT_OF: Record<keyof EditorState, Aspect> = {
  doc: 'document', savedDoc: 'document', projectPath: 'document', projectSerial: 'document',
  selection: 'selection',
  zoom: 'view', grid: 'view', snap: 'view', gridStepMm: 'view', unit: 'view',
  pointerMm: 'pointer',
  language: 'interface', fonts: 'interface', keepOriginalPictures: 'interface', stockChooser: 'interface',
  recentProjects: 'interface', recentStock: 'interface', favouriteStock: 'interface', customStock: 'interface',
};

interface Listener {
  notify(changes: Changes): void;
  aspects: readonly Aspect[];
}

export type UnsavedChoice = 'save' | 'discard' | 'cancel';

/** What the editor needs from the page around it: dialogs and notices. */
export interface EditorUi {
  askUnsaved(name: string): Promise<UnsavedChoice>;
  askRecover(name: string, savedAt: number): Promise<boolean>;
  showError(title: string, message: string): void;
  notify(message: string): void;
  pickImageFile(): Promise<File | null>;
}

export const LANGUAGE_KEY = 'quillmark.language';
export const UNIT_KEY = 'quillmark.unit';
const MAX_IMAGE_BYTES = 10 * 1024 * 1024;
const FALLBACK_FONTS = ['Noto Sans CJK SC', 'Noto Serif CJK SC', 'DejaVu Sans', 'DejaVu Serif', 'sans-serif', 'serif', 'monospace'];

export class Editor {
  state: EditorState;
  readonly history = new History<LabelDocument>();
  private listeners = new Set<Listener>();
  private clipboard: LabelObject[] = [];
  private pasteCount = 0;
  private autosaveTimer: number | undefined;
  private autosaveWarned = false;
  /** The work New was allowed to replace while the chooser is open: opening a recent project from there asks no second time. */
  private discardAgreed: LabelDocument | null = null;

  constructor(readonly api: DesktopApi, private readonly ui: EditorUi, readonly storage: Storage) {
    const doc = createDocument();
    this.state = {
      doc, selection: [], projectPath: '', savedDoc: doc, language: readLanguage(storage), fonts: FALLBACK_FONTS.slice(),
      grid: true, snap: true, gridStepMm: 1, keepOriginalPictures: false, unit: readUnit(storage), projectSerial: 0,
      zoom: 1, pointerMm: null,
      stockChooser: false,
      recentProjects: readList(storage, RECENT_PROJECTS_KEY),
      recentStock: readList(storage, RECENT_STOCK_KEY),
      favouriteStock: readList(storage, FAVOURITE_STOCK_KEY),
      customStock: loadCustomStock(storage),
    };
  }

  // --- observation -----------------------------------------------------------------------------

  /** Calls `listener` after every change that touches one of `aspects`, with what it touched. */
  subscribe(listener: (changes: Changes) => void, aspects: readonly Aspect[] = ALL_ASPECTS): () => void {
    const entry: Listener = { notify: listener, aspects };
    this.listeners.add(entry);
    return () => this.listeners.delete(entry);
  }

  private set(patch: Partial<EditorState>): void {
    const changes = new Set<Aspect>();
    for (const key of Object.keys(patch) as (keyof EditorState)[]) {
      if (patch[key] !== this.state[key]) changes.add(ASPECT_OF[key]);
    }
    if (changes.size === 0) return;
    const docChanged = patch.doc !== undefined && patch.doc !== this.state.doc;
    this.state = { ...this.state, ...patch };
    if (docChanged || patch.savedDoc !== undefined) this.scheduleAutosave();
    this.listeners.forEach((l) => {
      if (l.aspects.some((a) => changes.has(a))) l.notify(changes);
    });
  }

  get t(): MessageTable {
    return messageTable(this.state.language);
  }

  msg(key: MessageKey, params?: Record<string, string | number>): string {
    return format(this.t, key, params);
  }

  get dirty(): boolean {
    return this.state.doc !== this.state.savedDoc;
  }

  /** The name people see: the label's own name, else the file's, else "untitled". */
  get displayName(): string {
    return this.state.doc.name.trim() || nameFromFileName(baseName(this.state.projectPath)) || this.t.untitled;
  }

  get selectedObjects(): LabelObject[] {
    const ids = new Set(this.state.selection);
    return this.state.doc.objects.filter((o) => ids.has(o.id));
  }

  // --- document changes ----------------------------------------------------------------------------

  /** Replaces the document with an edited one as one undo step (or part of one, with a coalescing key). */
  apply(edit: (doc: LabelDocument) => LabelDocument, options: { select?: string[]; coalesce?: string } = {}): void {
    const before = this.state.doc;
    const after = fitBarcodeBoxes(edit(before), before);
    if (after === before) {
      if (options.select) this.select(options.select);
      return;
    }
    const exceeded = after.objects === before.objects ? null : limitExceeded(after.objects);
    if (exceeded && !limitExceeded(before.objects)) {
      this.ui.notify(this.msg(exceeded.code, { detail: exceeded.detail, limit: exceeded.limit }));
      return;
    }
    this.history.record(before, options.coalesce ?? null);
    this.set({ doc: after, selection: this.validSelection(after, options.select ?? this.state.selection) });
  }

  /** Boxes sized by a barcode's X-dimension that were made or opened before the encoder was in. */
  barcodesLoaded(): void {
    const doc = fitBarcodeBoxes(this.state.doc, null);
    if (doc !== this.state.doc) this.set({ doc });
  }

  update(id: string, patch: Partial<LabelObject>, coalesce?: string): void {
    this.apply((doc) => updateObject(doc, id, patch), { coalesce });
  }

  /** The same change to every selected object (a property panel edit with several objects selected). */
  updateSelected(patch: Partial<LabelObject>, coalesce?: string): void {
    const patches = new Map(this.state.selection.map((id) => [id, patch] as const));
    this.apply((doc) => updateObjects(doc, patches), { coalesce });
  }

  /**
   * Changes to one object that belong together however long the pauses between them (typing on
   * the label): the first change opens one undo step, `end` closes it.
   */
  beginEdit(id: string): { update(patch: Partial<LabelObject>): void; end(): void } {
    this.history.seal();
    let recorded = false;
    return {
      update: (patch) => {
        const before = this.state.doc;
        const after = updateObject(before, id, patch);
        if (after === before) return;
        if (!recorded) this.history.record(before);
        recorded = true;
        this.set({ doc: after });
      },
      end: () => this.history.seal(),
    };
  }

  undo(): void {
    const previous = this.history.undo(this.state.doc);
    if (previous) this.set({ doc: previous, selection: this.validSelection(previous, this.state.selection) });
  }

  redo(): void {
    const next = this.history.redo(this.state.doc);
    if (next) this.set({ doc: next, selection: this.validSelection(next, this.state.selection) });
  }

  private validSelection(doc: LabelDocument, ids: readonly string[]): string[] {
    const present = new Set(doc.objects.map((o) => o.id));
    return ids.filter((id) => present.has(id));
  }

  select(ids: string[]): void {
    const selection = this.validSelection(this.state.doc, ids);
    if (selection.length === this.state.selection.length && selection.every((id, i) => id === this.state.selection[i])) return;
    this.history.seal();
    this.set({ selection });
  }

  selectAll(): void {
    this.select(this.state.doc.objects.map((o) => o.id));
  }

  // --- objects ------------------------------------------------------------------------------------

  /**
   * Adds a new object, shrunk to fit the label, in the middle or the free spot nearest it, so that
   * it covers no other object while there is room.
   */
  insert(type: ObjectType, symbology?: Symbology): LabelObject {
    const made = symbology ? createBarcode(symbology) : createObject(type);
    const object = made.type === 'text' ? { ...made, text: this.t.defaultText } : made;
    const { widthMm, heightMm } = this.state.doc;
    const w = Math.min(object.widthMm, widthMm);
    const h = Math.min(object.heightMm, heightMm);
    const placed = { ...object, widthMm: w, heightMm: h, ...freeSpot(this.state.doc, w, h) } as LabelObject;
    this.apply((doc) => addObjects(doc, [placed]), { select: [placed.id] });
    return placed;
  }

  /** Reads a picture file and embeds it, as a new object or into the given image object. */
  async insertImage(targetId?: string): Promise<void> {
    const file = await this.ui.pickImageFile();
    if (!file) return;
    if (file.size > MAX_IMAGE_BYTES) {
      this.ui.showError(this.t.imageFailed, this.msg('imageTooLarge', { limit: MAX_IMAGE_BYTES / 1024 / 1024 }));
      return;
    }
    const read = await readImageFile(file);
    if (!read) {
      this.ui.showError(this.t.error, this.t.imageFailed);
      return;
    }
    const { widthMm, heightMm } = this.state.doc;
    const picture = this.state.keepOriginalPictures ? read : await reducePicture(read, widthMm, heightMm);
    // Natural size at screen resolution, shrunk to fit the label.
    const natW = (read.width * 25.4) / 96;
    const natH = (read.height * 25.4) / 96;
    const k = Math.min(1, (widthMm * 0.8) / natW, (heightMm * 0.8) / natH);
    const w = Math.max(1, natW * k), h = Math.max(1, natH * k);
    if (targetId) {
      this.update(targetId, { src: picture.src } as Partial<LabelObject>);
      return;
    }
    const object = { ...createObject('image'), src: picture.src, widthMm: w, heightMm: h, ...freeSpot(this.state.doc, w, h) } as LabelObject;
    this.apply((doc) => addObjects(doc, [object]), { select: [object.id] });
  }

  deleteSelection(): void {
    this.apply((doc) => removeObjects(doc, this.state.selection), { select: [] });
  }

  duplicateSelection(): void {
    const result = duplicateObjects(this.state.doc, this.state.selection);
    this.apply(() => result.doc, { select: result.ids });
  }

  copySelection(): void {
    if (this.state.selection.length === 0) return;
    this.clipboard = this.selectedObjects;
    this.pasteCount = 0;
  }

  cutSelection(): void {
    this.copySelection();
    this.deleteSelection();
  }

  paste(): void {
    if (this.clipboard.length === 0) return;
    this.pasteCount += 1;
    const copies = cloneObjects(this.clipboard, 2 * this.pasteCount);
    this.apply((doc) => addObjects(doc, copies), { select: copies.map((o) => o.id) });
  }

  nudge(dxMm: number, dyMm: number): void {
    this.apply((doc) => moveObjects(doc, this.state.selection, dxMm, dyMm), { coalesce: 'nudge' });
  }

  rotateSelection(): void {
    this.apply((doc) => rotateObjects(doc, this.state.selection, 90));
  }

  reorder(move: ZOrderMove): void {
    this.apply((doc) => reorderObjects(doc, this.state.selection, move));
  }

  align(edge: AlignEdge): void {
    this.apply((doc) => alignObjects(doc, this.state.selection, edge));
  }

  distribute(axis: 'horizontal' | 'vertical'): void {
    this.apply((doc) => distributeObjects(doc, this.state.selection, axis));
  }

  toggleLock(): void {
    const objects = this.selectedObjects;
    if (objects.length === 0) return;
    const lock = !objects.every((o) => o.locked);
    this.apply((doc) => setLocked(doc, this.state.selection, lock));
  }

  /** Box around the selection, for the status bar. */
  selectionBox(): ReturnType<typeof unionBox> {
    return unionBox(this.selectedObjects.map(visualBox));
  }

  // --- view settings ------------------------------------------------------------------------------

  setView(patch: Partial<Pick<EditorState, 'grid' | 'snap' | 'gridStepMm' | 'keepOriginalPictures' | 'zoom' | 'pointerMm'>>): void {
    this.set(patch);
  }

  setUnit(unit: LengthUnit): void {
    try {
      this.storage.setItem(UNIT_KEY, unit);
    } catch {
      /* not remembered, still switched */
    }
    this.set({ unit });
  }

  setLanguage(language: Language): void {
    try {
      this.storage.setItem(LANGUAGE_KEY, language);
    } catch {
      /* not remembered, still switched */
    }
    document.documentElement.lang = language;
    this.set({ language });
  }

  /** Fills the font chooser from the host; without a list the common families still work. */
  async loadFonts(): Promise<void> {
    let names: string[] = [];
    try {
      names = mergeFontNames((await this.api.listLocalFonts()).map((f) => f.value || f.name));
    } catch (e) {
      // Not worth a dialog at every start: the designer stays fully usable with the fall-back list.
      this.ui.notify(this.describeError(e));
    }
    if (names.length === 0) names = FALLBACK_FONTS.slice();
    this.set({ fonts: names });
  }

  // --- projects -------------------------------------------------------------------------------------

  /** True when the current work may be replaced: nothing unsaved, saved now, or the person said so. */
  async confirmDiscard(): Promise<boolean> {
    if (!this.dirty || this.state.doc === this.discardAgreed) return true;
    const choice = await this.ui.askUnsaved(this.displayName);
    if (choice === 'cancel') return false;
    if (choice === 'discard') return true;
    return this.save(false);
  }

  private replaceProject(doc: LabelDocument, projectPath: string, savedDoc: LabelDocument = doc): void {
    this.history.clear();
    this.discardAgreed = null;
    this.set({ doc, savedDoc, projectPath, selection: [], projectSerial: this.state.projectSerial + 1 });
  }

  /** New asks about unsaved work first, then shows the chooser; the label is made when stock is picked. */
  async newProject(): Promise<void> {
    if (!(await this.confirmDiscard())) return;
    this.discardAgreed = this.state.doc;
    this.openStockChooser();
  }

  openStockChooser(): void {
    this.set({ stockChooser: true });
  }

  closeStockChooser(): void {
    this.discardAgreed = null;
    this.set({ stockChooser: false });
  }

  /** A new label for a stock; a continuous roll's label is `lengthMm` long; `design` lays out its first objects. */
  newFromStock(stock: StockEntry, lengthMm?: number, design?: (widthMm: number, heightMm: number) => LabelObject[]): void {
    const blank = createDocumentForStock(stock, lengthMm);
    this.replaceProject(design ? fitBarcodeBoxes({ ...blank, objects: design(blank.widthMm, blank.heightMm) }, null) : blank, '');
    const recentStock = withFirst(this.state.recentStock, stock.id, MAX_RECENT_STOCK);
    writeList(this.storage, RECENT_STOCK_KEY, recentStock);
    this.set({ stockChooser: false, recentStock });
  }

  /** A new label of a free size, made for no particular stock. */
  newOfSize(widthMm: number, heightMm: number): void {
    this.replaceProject(setLabelSize(createDocument(), widthMm, heightMm), '');
    this.set({ stockChooser: false });
  }

  toggleFavouriteStock(id: string): void {
    const list = this.state.favouriteStock;
    const favouriteStock = list.includes(id) ? without(list, id) : [id, ...list];
    writeList(this.storage, FAVOURITE_STOCK_KEY, favouriteStock);
    this.set({ favouriteStock });
  }

  /** Keeps the user's own stock for later runs; the same geometry twice is kept once. */
  addCustomStock(stock: StockEntry): void {
    const customStock = [stock, ...this.state.customStock.filter((e) => e.id !== stock.id)];
    try {
      saveCustomStock(this.storage, customStock);
    } catch {
      /* storage full: the stock still serves this run and travels inside the projects using it */
    }
    this.set({ customStock });
  }

  private rememberProject(path: string): void {
    if (this.api.mode !== 'host' || !path) return;
    const recentProjects = withFirst(this.state.recentProjects, path, MAX_RECENT_PROJECTS);
    writeList(this.storage, RECENT_PROJECTS_KEY, recentProjects);
    this.set({ recentProjects });
  }

  /** A recent path that no longer opens leaves the list, and the person is told why it went. */
  private forgetProject(path: string): void {
    if (!this.state.recentProjects.includes(path)) return;
    const recentProjects = without(this.state.recentProjects, path);
    writeList(this.storage, RECENT_PROJECTS_KEY, recentProjects);
    this.set({ recentProjects });
    this.ui.notify(this.msg('recentGone', { path }));
  }

  /** Opens a project (a dialog without a path); a file that is not a project leaves the current one as it was. */
  async openProject(path?: string): Promise<boolean> {
    if (!(await this.confirmDiscard())) return false;
    let reply;
    try {
      reply = await this.api.openProject(path);
    } catch (e) {
      // Named, also when it was picked in the dialog: "cannot be read" alone leaves the user guessing which.
      const file = path || (e instanceof BridgeError ? e.path : '');
      if (file && e instanceof BridgeError && e.code === 'host') this.ui.showError(this.msg('openFailed', { name: baseName(file) }), this.describeError(e));
      else this.report(e);
      if (path) this.forgetProject(path);
      return false;
    }
    if (!reply) return false;
    try {
      const { doc, skippedObjects } = await readProjectFile(reply.bytes);
      this.replaceProject(doc, reply.path);
      this.rememberProject(reply.path);
      // A project made on someone else's own stock brings that stock into this user's list.
      if (doc.stock?.source === 'user' && !this.state.customStock.some((e) => e.id === doc.stock!.id)) this.addCustomStock(doc.stock);
      this.closeStockChooser();
      this.ui.notify(this.msg('opened', { name: reply.name }) + (skippedObjects ? ` ${this.msg('skippedObjects', { count: skippedObjects })}` : ''));
      return true;
    } catch (e) {
      const reason = e instanceof ProjectError ? this.msg(e.code, { detail: e.detail, limit: e.limit }) : this.t.notProject;
      this.ui.showError(this.msg('openFailed', { name: reply.name }), reason);
      if (path) this.forgetProject(path);
      return false;
    }
  }

  /** Saves to the current file (or asks where, the first time); true once the file is written. */
  async save(saveAs: boolean): Promise<boolean> {
    const doc = this.state.doc;
    let reply;
    try {
      reply = await this.api.saveProject({
        suggestedName: suggestedFileName(doc, this.displayName),
        // A project opened from another kind of file (shelf.json) has never been saved as a
        // project: a plain save would write shelf.json.cwrt beside it without asking, perhaps over
        // a file of that name, so it goes through the save dialog and its replace question.
        currentPath: /\.cwrt$/i.test(this.state.projectPath) ? this.state.projectPath : '',
        saveAs,
        dataBase64: utf8ToBase64(serializeProject(doc)),
      });
    } catch (e) {
      this.report(e);
      return false;
    }
    if (!reply) return false;
    this.set({ savedDoc: doc, projectPath: reply.path });
    this.rememberProject(reply.path);
    this.ui.notify(this.msg('saved', { path: reply.path }));
    return true;
  }

  async quit(): Promise<void> {
    if (!(await this.confirmDiscard())) return;
    clearAutosave(this.storage);
    try {
      await this.api.windowClose();
    } catch (e) {
      this.report(e);
    }
  }

  /** A previous session left unsaved work that can still be read. */
  get recoverable(): boolean {
    return readAutosave(this.storage) !== null;
  }

  /** Offers the work a previous session left unsaved; called once at start-up. */
  async offerRecovery(): Promise<void> {
    const recovered = readAutosave(this.storage);
    if (!recovered) return;
    const name = recovered.doc.name || nameFromFileName(baseName(recovered.projectPath)) || this.t.untitled;
    if (await this.ui.askRecover(name, recovered.savedAt)) {
      // Recovered work is unsaved by definition: the saved reference is a different document.
      this.replaceProject(recovered.doc, recovered.projectPath, createDocument());
    } else {
      clearAutosave(this.storage);
    }
  }

  private scheduleAutosave(): void {
    window.clearTimeout(this.autosaveTimer);
    this.autosaveTimer = window.setTimeout(() => this.autosaveNow(), 300);
  }

  autosaveNow(): void {
    window.clearTimeout(this.autosaveTimer);
    if (!this.dirty) {
      clearAutosave(this.storage);
      return;
    }
    const written = writeAutosave(this.storage, this.state.doc, this.state.projectPath);
    // Said once: large embedded pictures can outgrow local storage, and then only saving protects the work.
    if (!written && !this.autosaveWarned) {
      this.autosaveWarned = true;
      this.ui.notify(this.t.autosaveFull);
    }
  }

  /**
   * A project names its data file by path, and a project can come from anyone: only a file the
   * user chose on this machine is read without asking first.
   */
  isKnownSource(path: string): boolean {
    return readList(this.storage, KNOWN_SOURCES_KEY).includes(path);
  }

  rememberSource(path: string): void {
    writeList(this.storage, KNOWN_SOURCES_KEY, withFirst(readList(this.storage, KNOWN_SOURCES_KEY), path, MAX_KNOWN_SOURCES));
  }

  /** A short notice that goes away by itself. */
  notify(message: string): void {
    this.ui.notify(message);
  }

  /** Shows a failed call in words; a cancelled one never gets here. */
  report(e: unknown): void {
    if (e instanceof BridgeError && e.code === 'unavailable') {
      this.ui.showError(this.t.error, this.t.unavailableInBrowser);
      return;
    }
    this.ui.showError(this.t.error, this.describeError(e));
  }

  /** A failure in the interface's language, with what to do next where the failure is known. */
  describeError(e: unknown): string {
    return describeError(e, this.t);
  }
}

/**
 * One entry per family: the system lists a family once per foundry ("DejaVu Sans [PfEd]") and
 * sometimes in other cases or with stray blanks, which canvas text would treat as one anyway.
 */
export function mergeFontNames(names: readonly string[]): string[] {
  const byKey = new Map<string, string>();
  for (const raw of names) {
    const name = raw.replace(/\s*\[[^\]]*\]\s*$/, '').replace(/\s+/g, ' ').trim();
    const key = name.toLocaleLowerCase();
    if (name && !byKey.has(key)) byKey.set(key, name);
  }
  return Array.from(byKey.values()).sort((a, b) => a.localeCompare(b));
}

function readUnit(storage: Storage): LengthUnit {
  try {
    const unit = storage.getItem(UNIT_KEY) as LengthUnit;
    return LENGTH_UNITS.includes(unit) ? unit : 'mm';
  } catch {
    return 'mm';
  }
}

function readLanguage(storage: Storage): Language {
  try {
    return storage.getItem(LANGUAGE_KEY) === 'en' ? 'en' : 'zh-CN';
  } catch {
    return 'zh-CN';
  }
}

/** A picture file as a data URL, with its pixel size; null when the browser cannot decode it. */
function readImageFile(file: File): Promise<{ src: string; width: number; height: number } | null> {
  return new Promise((resolve) => {
    const reader = new FileReader();
    reader.onerror = () => resolve(null);
    reader.onload = () => {
      let src = String(reader.result);
      // Some systems report SVG without a type; the data URL must say what it is to load as a picture.
      if (/\.svg$/i.test(file.name)) src = src.replace(/^data:[^;,]*/, 'data:image/svg+xml');
      if (!/^data:image\/(png|jpeg|gif|webp|svg\+xml);base64,/.test(src)) return resolve(null);
      const image = new Image();
      image.onload = () => resolve({ src, width: image.naturalWidth || 150, height: image.naturalHeight || 150 });
      image.onerror = () => resolve(null);
      image.src = src;
    };
    reader.readAsDataURL(file);
  });
}
