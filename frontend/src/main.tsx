// Start-up: connect to the host (or fall back to browser mode), build the editor, show the
// window, fill the font list, offer recovered work, and tell waiting tools that the page is ready.

import { render } from 'preact';
import { useEffect, useState } from 'preact/hooks';
import { connectDesktop, DesktopApi } from './bridge/client';
import { headlessHost } from './bridge/headless';
import { hostRecordPictures, reducePicture } from './editor/pictures';
import type { PictureSize, RecordPictures } from './render/recordPictures';
import { chooseFile } from './bridge/chooseFile';
import { Editor, EditorUi, UnsavedChoice } from './editor/editor';
import type { DesignerStage } from './editor/stage';
import { ImageStore } from './render/images';
import { renderLabelToCanvas } from './render/renderer';
import { barcodeEncoderLoaded } from './render/barcode';
import type { LabelDocument } from './model/document';
import { App, DialogButton, DialogLayer, DialogRequest, Shell, Toasts, useToasts } from './ui/App';
import { MergeSession, MergeUi } from './merge/session';
import { PrintDialog } from './ui/merge/PrintDialog';
import { StockChooser } from './ui/StockChooser';
import { installShortcuts } from './ui/commands';
import { printTools } from './tools';
import { runHeadlessPrint } from './ui/headless';
import './styles.css';
import './ui/merge/merge.css';
import './ui/stock.css';

function Root({ editor, images, shell, merge }: { editor: Editor; images: ImageStore; shell: MutableShell; merge: MergeSession }) {
  const [dialog, setDialog] = useState<DialogRequest | null>(null);
  const [toasts, pushToast] = useToasts();
  shell.attach(setDialog, pushToast);
  useEffect(() => {
    // Double-clicking a text or barcode on the canvas puts the cursor into its content field.
    const onEdit = (): void => {
      const field = document.querySelector<HTMLElement>('[data-testid="prop-text"], [data-testid="prop-data"]');
      field?.focus();
      if (field instanceof HTMLTextAreaElement || field instanceof HTMLInputElement) field.select();
    };
    document.addEventListener('quillmark-edit-object', onEdit);
    return () => document.removeEventListener('quillmark-edit-object', onEdit);
  }, []);
  return (
    <>
      <App editor={editor} images={images} shell={shell} onStage={(s) => shell.setStage(s)} merge={merge} />
      <PrintDialog editor={editor} session={merge} images={images} />
      <StockChooser editor={editor} />
      <DialogLayer request={dialog} onClose={(value) => shell.close(value)} />
      <Toasts items={toasts} />
    </>
  );
}

/** Connects the editor's requests for dialogs to the Preact tree once it exists. */
class MutableShell implements Shell {
  private setDialog: ((d: DialogRequest | null) => void) | null = null;
  private pushToast: ((t: string) => void) | null = null;
  private current: DialogRequest | null = null;
  private designerStage: DesignerStage | null = null;
  private stageShown: (() => void) | null = null;
  /** Resolves once the canvas exists: the designer can be drawn on and takes input. */
  readonly stageReady = new Promise<void>((resolve) => (this.stageShown = resolve));

  attach(setDialog: (d: DialogRequest | null) => void, pushToast: (t: string) => void): void {
    this.setDialog = setDialog;
    this.pushToast = pushToast;
  }

  setStage(stage: DesignerStage): void {
    this.designerStage = stage;
    this.stageShown?.();
  }

  stage(): DesignerStage | null {
    return this.designerStage;
  }

  dialogOpen(): boolean {
    return this.current !== null;
  }

  openDialog<T>(title: string, message: string, buttons: DialogButton<T>[], dismissValue: T): Promise<T> {
    // A second question while one is open answers the first with its dismiss value.
    if (this.current) this.close(this.current.dismissValue);
    return new Promise<T>((resolve) => {
      this.current = { title, message, buttons: buttons as DialogButton<unknown>[], resolve: resolve as (v: unknown) => void, dismissValue };
      this.setDialog?.(this.current);
    });
  }

  close(value: unknown): void {
    const request = this.current;
    this.current = null;
    this.setDialog?.(null);
    request?.resolve(value);
  }

  notify(message: string): void {
    this.pushToast?.(message);
  }
}

/** Record pictures reduced for printing unless the person keeps original pictures. */
function recordPictures(api: DesktopApi, images: ImageStore, editor: () => Editor): RecordPictures {
  return hostRecordPictures(api, images, (picture: PictureSize) => {
    const { state } = editor();
    return state.keepOriginalPictures ? Promise.resolve(picture) : reducePicture(picture, state.doc.widthMm, state.doc.heightMm);
  });
}

async function start(): Promise<void> {
  const api = await connectDesktop();
  // Started to print from the command line: no designer, only the job.
  const headless = headlessHost();
  if (headless) {
    await runHeadlessPrint(api, headless);
    return;
  }
  const shell = new MutableShell();
  const images = new ImageStore();
  let editor: Editor;
  const ui: EditorUi & MergeUi = {
    askUnsaved: (name) => shell.openDialog<UnsavedChoice>(editor.t.unsavedTitle, editor.msg('unsavedQuestion', { name }), [
      { label: editor.t.save, value: 'save', primary: true, testId: 'dialog-save' },
      { label: editor.t.dontSave, value: 'discard', testId: 'dialog-discard' },
      { label: editor.t.cancel, value: 'cancel', testId: 'dialog-cancel' },
    ], 'cancel'),
    askRecover: (name, savedAt) => shell.openDialog<boolean>(editor.t.recoverTitle,
      editor.msg('recoverQuestion', { name, time: new Date(savedAt).toLocaleString(editor.state.language) }), [
        { label: editor.t.recover, value: true, primary: true, testId: 'dialog-recover' },
        { label: editor.t.discard, value: false, testId: 'dialog-discard' },
      ], false),
    showError: (title, message) => void shell.openDialog(title, message, [{ label: editor.t.ok, value: true, primary: true, testId: 'dialog-ok' }], true),
    notify: (message) => shell.notify(message),
    askReadSource: (path) => shell.openDialog<boolean>(editor.t.dataSourceAskTitle, editor.msg('dataSourceAsk', { path }), [
      { label: editor.t.dataSourceRead, value: true, testId: 'dialog-read-source' },
      { label: editor.t.dataSourceSkip, value: false, primary: true, testId: 'dialog-skip-source' },
    ], false),
    pickImageFile: () => chooseFile('image/png,image/jpeg,image/svg+xml,.png,.jpg,.jpeg,.svg'),
  };
  editor = new Editor(api, ui, window.localStorage);
  const merge = new MergeSession(editor, api, ui, recordPictures(api, images, () => editor));
  editor.subscribe(() => images.releaseUnused(editor.state.doc), ['document']);
  document.documentElement.lang = editor.state.language;
  const root = document.getElementById('app')!;
  root.textContent = '';
  render(<Root editor={editor} images={images} shell={shell} merge={merge} />, root);
  installShortcuts({ editor, merge, stage: () => shell.stage() }, () => shell.dialogOpen() || merge.dialog !== null || editor.state.stockChooser);
  window.addEventListener('pagehide', () => editor.autosaveNow());
  if (api.mode === 'browser') {
    window.addEventListener('beforeunload', (e) => {
      editor.autosaveNow();
      if (editor.dirty) {
        e.preventDefault();
        e.returnValue = '';
      }
    });
  }
  const recoverable = editor.recoverable;
  await shell.stageReady;
  await nextPaint();
  // Tests and tools read this; the designer itself never does.
  (window as unknown as { quillmark: unknown }).quillmark = {
    editor,
    stage: () => shell.stage(),
    renderLabel: async (doc: LabelDocument, dpi: number) => {
      await Promise.all([images.ready(doc), barcodeEncoderLoaded()]);
      return renderLabelToCanvas(doc, dpi, { images });
    },
    merge,
    ...printTools(editor, merge, images),
  };
  // Start-up ends here for the benchmark: the designer is connected, painted and takes input.
  performance.mark('quillmark-ready');
  // Barcodes appear a moment later, once their encoder is in; tools wait for that too.
  await barcodeEncoderLoaded().then(() => editor.barcodesLoaded(), (e) => console.error('The barcode encoder did not load', e));
  window.quillmarkReady = true;
  // A project handed over by the desktop (the command line, a file manager) opens instead of
  // a new label, once any recovered work has been offered: Open asks about that work.
  const launchFile = await api.takeLaunchFile().catch(() => '');
  // With nothing to recover, a new label starts from the stock in the printer; the chooser opens
  // over the designer once that is painted, so the first paint waits for nothing else.
  if (!recoverable && !launchFile) editor.openStockChooser();
  // Listing the installed fonts waits for the host; until then the font list offers the common families.
  const fontsListed = editor.loadFonts();
  if (recoverable) await editor.offerRecovery();
  if (launchFile) await editor.openProject(launchFile);
  // Later ones (a second start handing its file over) open one after another; a file that
  // arrived during start-up is taken at once.
  let opening = Promise.resolve();
  const openWaiting = (): void => void (opening = opening.then(() => openLaunchFiles(api, editor)));
  api.onLaunchFile(openWaiting);
  openWaiting();
  await fontsListed;
}

/** Opens each project the desktop has waiting, as Open does. */
async function openLaunchFiles(api: DesktopApi, editor: Editor): Promise<void> {
  try {
    for (let path = await api.takeLaunchFile(); path; path = await api.takeLaunchFile()) await editor.openProject(path);
  } catch (e) {
    editor.report(e);
  }
}

/** Resolves after the next frame has been painted, or after a second in a window that paints none (hidden). */
function nextPaint(): Promise<void> {
  return new Promise((resolve) => {
    requestAnimationFrame(() => setTimeout(resolve, 0));
    setTimeout(resolve, 1000);
  });
}

document.addEventListener('DOMContentLoaded', () => void start());
