// The designer's window: title bar, toolbar, rulers and canvas, properties panel, status bar,
// and the in-page dialogs that ask before work is lost.

import { useEffect, useRef, useState } from 'preact/hooks';
import type { Editor } from '../editor/editor';
import { DesignerStage } from '../editor/stage';
import type { MessageKey } from '../i18n/messages';
import { LANGUAGES, Language } from '../i18n/messages';
import { formatMm } from '../model/units';
import type { ImageStore } from '../render/images';
import { Icon } from './icons';
import { Properties } from './Properties';
import type { MergeSession } from '../merge/session';
import { DataPanel, MergeTools, useSession } from './merge/DataPanel';

export interface DialogButton<T> {
  label: string;
  value: T;
  primary?: boolean;
  testId?: string;
}

export interface DialogRequest {
  title: string;
  message: string;
  buttons: DialogButton<unknown>[];
  resolve: (value: unknown) => void;
  /** Value given when the dialog is dismissed with Escape. */
  dismissValue: unknown;
}

export interface Shell {
  openDialog<T>(title: string, message: string, buttons: DialogButton<T>[], dismissValue: T): Promise<T>;
  notify(message: string): void;
  stage(): DesignerStage | null;
  dialogOpen(): boolean;
}

function useEditor(editor: Editor): void {
  const [, setTick] = useState(0);
  useEffect(() => editor.subscribe(() => setTick((n) => n + 1)), [editor]);
}

export function App({ editor, images, shell, onStage, merge }: { editor: Editor; images: ImageStore; shell: Shell; onStage: (s: DesignerStage) => void; merge: MergeSession }) {
  useEditor(editor);
  useSession(merge);
  const host = useRef<HTMLDivElement>(null);
  const top = useRef<HTMLCanvasElement>(null);
  const left = useRef<HTMLCanvasElement>(null);
  const stageRef = useRef<DesignerStage | null>(null);
  useEffect(() => {
    const stage = new DesignerStage(host.current!, top.current!, left.current!, editor, images);
    stageRef.current = stage;
    onStage(stage);
    // Fields on the canvas show the record the data panel previews.
    const showPreview = (): void => stage.setTextResolver(merge.previewResolver);
    showPreview();
    const unsubscribe = merge.subscribe(showPreview);
    return () => {
      unsubscribe();
      stage.destroy();
    };
  }, []);
  const t = editor.t;
  const state = editor.state;
  const has = state.selection.length > 0;
  const many = state.selection.length > 1;
  const allLocked = has && editor.selectedObjects.every((o) => o.locked);
  const stage = (): DesignerStage | null => stageRef.current;
  document.title = `${editor.dirty ? '• ' : ''}${editor.displayName} — Quillmark`;

  const button = (icon: string, key: MessageKey, action: () => void, opts: { disabled?: boolean; pressed?: boolean; shortcut?: string; text?: boolean } = {}) => (
    <button
      type="button"
      class={`tool ${opts.pressed ? 'pressed' : ''} ${opts.text ? 'with-text' : ''}`}
      title={opts.shortcut ? `${t[key]} (${opts.shortcut})` : t[key]}
      aria-label={t[key]}
      aria-pressed={opts.pressed}
      data-action={key}
      disabled={opts.disabled}
      // Toolbar buttons never take the keyboard focus, so arrows and shortcuts keep acting on the label.
      onMouseDown={(e) => e.preventDefault()}
      onClick={action}
    >
      <Icon name={icon} />
      {opts.text && <span>{t[key]}</span>}
    </button>
  );

  const box = editor.selectionBox();
  return (
    <div class="app">
      <header class="titlebar">
        <div class="brand"><span class="logo">Q</span>{t.appName}</div>
        <div class="project" data-testid="project-title">
          <span class="project-name">{editor.displayName}</span>
          {editor.dirty && <span class="dirty" data-testid="dirty-marker" title={t.unsavedMarker}>●</span>}
        </div>
        <div class="titlebar-end">
          <select class="language" aria-label={t.language} data-testid="language" value={state.language}
            onChange={(e) => editor.setLanguage((e.target as HTMLSelectElement).value as Language)}>
            {LANGUAGES.map((l) => <option key={l.id} value={l.id}>{l.name}</option>)}
          </select>
          {button('quit', 'quit', () => void editor.quit(), { shortcut: 'Ctrl+Q' })}
        </div>
      </header>
      <nav class="toolbar" aria-label="toolbar">
        <div class="group">
          {button('new', 'newProject', () => void editor.newProject(), { shortcut: 'Ctrl+N' })}
          {button('open', 'openProject', () => void editor.openProject(), { shortcut: 'Ctrl+O' })}
          {button('save', 'saveProject', () => void editor.save(false), { shortcut: 'Ctrl+S' })}
          {button('saveAs', 'saveProjectAs', () => void editor.save(true), { shortcut: 'Ctrl+Shift+S' })}
        </div>
        <div class="group">
          {button('undo', 'undo', () => editor.undo(), { disabled: !editor.history.canUndo, shortcut: 'Ctrl+Z' })}
          {button('redo', 'redo', () => editor.redo(), { disabled: !editor.history.canRedo, shortcut: 'Ctrl+Y' })}
        </div>
        <div class="group insert">
          {button('text', 'insertText', () => editor.insert('text'), { text: true })}
          {button('barcode', 'insertBarcode', () => editor.insert('barcode', 'code128'), { text: true })}
          {button('qr', 'insertQr', () => editor.insert('barcode', 'qrcode'), { text: true })}
          {button('image', 'insertImage', () => void editor.insertImage(), { text: true })}
          {button('rect', 'insertRect', () => editor.insert('rect'))}
          {button('ellipse', 'insertEllipse', () => editor.insert('ellipse'))}
          {button('line', 'insertLine', () => editor.insert('line'))}
        </div>
        <div class="group">
          {button('alignLeft', 'alignLeft', () => editor.align('left'), { disabled: !has })}
          {button('alignHCenter', 'alignHCenter', () => editor.align('hcenter'), { disabled: !has })}
          {button('alignRight', 'alignRight', () => editor.align('right'), { disabled: !has })}
          {button('alignTop', 'alignTop', () => editor.align('top'), { disabled: !has })}
          {button('alignVCenter', 'alignVCenter', () => editor.align('vcenter'), { disabled: !has })}
          {button('alignBottom', 'alignBottom', () => editor.align('bottom'), { disabled: !has })}
          {button('distributeH', 'distributeH', () => editor.distribute('horizontal'), { disabled: state.selection.length < 3 })}
          {button('distributeV', 'distributeV', () => editor.distribute('vertical'), { disabled: state.selection.length < 3 })}
        </div>
        <div class="group">
          {button('front', 'bringToFront', () => editor.reorder('front'), { disabled: !has, shortcut: 'Ctrl+Shift+]' })}
          {button('back', 'sendToBack', () => editor.reorder('back'), { disabled: !has, shortcut: 'Ctrl+Shift+[' })}
          {button('rotate', 'rotateRight', () => editor.rotateSelection(), { disabled: !has, shortcut: 'Ctrl+R' })}
          {button(allLocked ? 'unlock' : 'lock', allLocked ? 'unlock' : 'lock', () => editor.toggleLock(), { disabled: !has, pressed: allLocked, shortcut: 'Ctrl+L' })}
          {button('duplicate', 'duplicate', () => editor.duplicateSelection(), { disabled: !has, shortcut: 'Ctrl+D' })}
          {button('delete', 'delete', () => editor.deleteSelection(), { disabled: !has, shortcut: 'Delete' })}
        </div>
        <MergeTools editor={editor} session={merge} />
      </nav>
      <main class={`main ${merge.panelOpen ? 'with-data' : ''}`}>
        <section class="workspace">
          <div class="ruler-corner" />
          <canvas class="ruler ruler-top" ref={top} />
          <canvas class="ruler ruler-left" ref={left} />
          <div class="stage" ref={host} data-testid="stage" />
        </section>
        <Properties editor={editor} />
        {merge.panelOpen && <DataPanel editor={editor} session={merge} />}
      </main>
      <footer class="statusbar">
        <span data-testid="status-label">{editor.msg('statusLabel', { w: formatMm(state.doc.widthMm), h: formatMm(state.doc.heightMm) })}</span>
        {box && <span data-testid="status-selection">{editor.msg('statusSelection', { w: formatMm(box.widthMm), h: formatMm(box.heightMm) })}</span>}
        {state.pointerMm && <span>{editor.msg('statusPosition', { x: formatMm(state.pointerMm.x), y: formatMm(state.pointerMm.y) })}</span>}
        <span class="spacer" />
        {editor.api.mode === 'browser' && <span class="mode">{t.browserMode}</span>}
        {many && <span>{editor.msg('multipleSelected', { count: state.selection.length })}</span>}
        <div class="view-tools">
          {button('grid', 'grid', () => editor.setView({ grid: !state.grid }), { pressed: state.grid })}
          {button('snap', 'snap', () => editor.setView({ snap: !state.snap }), { pressed: state.snap })}
          <span class="separator" />
          {button('zoomOut', 'zoomOut', () => stage()?.zoomBy(0.8), { shortcut: 'Ctrl+-' })}
          <span class="zoom" data-testid="zoom">{Math.round(state.zoom * 100)}%</span>
          {button('zoomIn', 'zoomIn', () => stage()?.zoomBy(1.25), { shortcut: 'Ctrl+=' })}
          {button('fit', 'zoomFit', () => stage()?.zoomFit(), { shortcut: 'Ctrl+0' })}
          {button('actual', 'zoomActual', () => stage()?.zoomActual(), { shortcut: 'Ctrl+1' })}
        </div>
      </footer>
    </div>
  );
}

export function DialogLayer({ request, onClose }: { request: DialogRequest | null; onClose: (value: unknown) => void }) {
  const first = useRef<HTMLButtonElement>(null);
  useEffect(() => {
    first.current?.focus();
  }, [request]);
  if (!request) return null;
  return (
    <div class="modal-backdrop" onKeyDown={(e) => {
      if (e.key === 'Escape') onClose(request.dismissValue);
    }}>
      <div class="modal" role="dialog" aria-modal="true" aria-labelledby="modal-title" data-testid="dialog">
        <h2 id="modal-title">{request.title}</h2>
        <p>{request.message}</p>
        <div class="modal-buttons">
          {request.buttons.map((b, i) => (
            <button type="button" key={b.label} ref={b.primary || (i === 0 && !request.buttons.some((x) => x.primary)) ? first : undefined}
              class={`button ${b.primary ? 'primary' : ''}`} data-testid={b.testId} onClick={() => onClose(b.value)}>{b.label}</button>
          ))}
        </div>
      </div>
    </div>
  );
}

export function Toasts({ items }: { items: { id: number; text: string }[] }) {
  return (
    <div class="toasts" aria-live="polite">
      {items.map((i) => <div key={i.id} class="toast" data-testid="toast">{i.text}</div>)}
    </div>
  );
}

export function useToasts(): [{ id: number; text: string }[], (text: string) => void] {
  const [items, setItems] = useState<{ id: number; text: string }[]>([]);
  const push = (text: string): void => {
    const id = Date.now() + Math.random();
    setItems((list) => [...list.slice(-2), { id, text }]);
    window.setTimeout(() => setItems((list) => list.filter((i) => i.id !== id)), 4000);
  };
  return [items, push];
}
