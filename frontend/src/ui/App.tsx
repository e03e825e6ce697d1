// The designer's window: title bar, toolbar, rulers and canvas, properties panel, status bar,
// and the in-page dialogs that ask before work is lost.

import { useCallback, useEffect, useLayoutEffect, useRef, useState } from 'preact/hooks';
import type { Aspect, Editor } from '../editor/editor';
import { DesignerStage } from '../editor/stage';
import type { MessageKey } from '../i18n/messages';
import { LANGUAGES, Language } from '../i18n/messages';
import { formatLength, LengthUnit } from '../model/units';
import type { ImageStore } from '../render/images';
import { Icon } from './icons';
import { Properties } from './Properties';
import type { MergeSession } from '../merge/session';
import { DataPanel, useSession } from './merge/DataPanel';
import { command, CommandContext, isEnabled, keyLabel, resolve } from './commands';
import { ContextMenu } from './ContextMenu';
import { RecentMenu } from './RecentProjects';

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

/** Renders the component again after changes that touch the aspects it shows. */
export function useEditor(editor: Editor, aspects: readonly Aspect[]): void {
  const [, setTick] = useState(0);
  useEffect(() => editor.subscribe(() => setTick((n) => n + 1), aspects), [editor]);
}

/** Everything of the window but the pointer's position, which only the status bar shows. */
const WINDOW_ASPECTS: readonly Aspect[] = ['document', 'selection', 'view', 'interface'];

/** Where the pointer is on the label: the one part of the window that follows every move. */
function PointerPosition({ editor }: { editor: Editor }) {
  useEditor(editor, ['pointer', 'view', 'interface']);
  const { pointerMm, unit } = editor.state;
  if (!pointerMm) return null;
  const unitName = unit === 'in' ? editor.t.inch : editor.t.mm;
  return <span data-testid="status-pointer">{editor.msg('statusPosition', { x: formatLength(pointerMm.x, unit), y: formatLength(pointerMm.y, unit), unit: unitName })}</span>;
}


export function App({ editor, images, shell, onStage, merge }: { editor: Editor; images: ImageStore; shell: Shell; onStage: (s: DesignerStage) => void; merge: MergeSession }) {
  useEditor(editor, WINDOW_ASPECTS);
  useSession(merge);
  const host = useRef<HTMLDivElement>(null);
  const top = useRef<HTMLCanvasElement>(null);
  const left = useRef<HTMLCanvasElement>(null);
  const stageRef = useRef<DesignerStage | null>(null);
  // Before the first paint, so that it already shows the label on its canvas.
  useLayoutEffect(() => {
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
  const many = state.selection.length > 1;
  const stage = (): DesignerStage | null => stageRef.current;
  document.title = `${editor.dirty ? '• ' : ''}${editor.displayName} — Quillmark`;

  const ctx: CommandContext = { editor, merge, stage };
  const [menuAt, setMenuAt] = useState<{ x: number; y: number } | null>(null);
  const closeMenu = useCallback(() => setMenuAt(null), []);
  /** A toolbar button for a command of the registry; `text` shows its label beside the icon. */
  const button = (id: string, opts: { text?: boolean } = {}) => {
    const c = command(id);
    const key = resolve(c.label ?? (c.id as MessageKey), ctx);
    const pressed = c.pressed?.(ctx);
    const icon = c.icon ? resolve(c.icon, ctx) : null;
    return (
      <button
        type="button"
        class={`tool ${pressed ? 'pressed' : ''} ${opts.text || !icon ? 'with-text' : ''}`}
        title={c.keys ? `${t[key]} (${keyLabel(c.keys[0])})` : t[key]}
        aria-label={t[key]}
        aria-pressed={pressed}
        data-action={key}
        disabled={!isEnabled(c, ctx)}
        // Toolbar buttons never take the keyboard focus, so arrows and shortcuts keep acting on the label.
        onMouseDown={(e) => e.preventDefault()}
        onClick={() => c.run(ctx)}
      >
        {icon && <Icon name={icon} />}
        {(opts.text || !icon) && <span>{t[key]}</span>}
      </button>
    );
  };

  const box = editor.selectionBox();
  const length = (mm: number): string => formatLength(mm, state.unit);
  const unitName = state.unit === 'in' ? t.inch : t.mm;
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
          {button('quit')}
        </div>
      </header>
      <nav class="toolbar" aria-label="toolbar">
        <div class="group">
          {button('newProject')}
          {button('openProject')}
          <RecentMenu editor={editor} />
          {button('saveProject')}
          {button('saveProjectAs')}
        </div>
        <div class="group">
          {button('undo')}
          {button('redo')}
        </div>
        <div class="group insert">
          {button('insertText', { text: true })}
          {button('insertBarcode', { text: true })}
          {button('insertQr', { text: true })}
          {button('insertImage', { text: true })}
          {button('insertRect')}
          {button('insertEllipse')}
          {button('insertLine')}
        </div>
        <div class="group">
          {button('alignLeft')}
          {button('alignHCenter')}
          {button('alignRight')}
          {button('alignTop')}
          {button('alignVCenter')}
          {button('alignBottom')}
          {button('distributeH')}
          {button('distributeV')}
        </div>
        <div class="group">
          {button('bringToFront')}
          {button('sendToBack')}
          {button('rotateRight')}
          {button('lock')}
          {button('duplicate')}
          {button('delete')}
        </div>
        <div class="group merge-tools">
          {button('dataSource')}
          {button('print')}
          {button('exportPdf')}
        </div>
      </nav>
      <main class={`main ${merge.panelOpen ? 'with-data' : ''}`}>
        <section class="workspace">
          <div class="ruler-corner" />
          <canvas class="ruler ruler-top" ref={top} />
          <canvas class="ruler ruler-left" ref={left} />
          <div class="stage" ref={host} data-testid="stage" onContextMenu={(e) => {
            e.preventDefault();
            setMenuAt({ x: e.clientX, y: e.clientY });
          }} />
          {menuAt && <ContextMenu ctx={ctx} at={menuAt} onClose={closeMenu} />}
        </section>
        <Properties editor={editor} session={merge} />
        {merge.panelOpen && <DataPanel editor={editor} session={merge} />}
      </main>
      <footer class="statusbar">
        <span data-testid="status-label">{editor.msg('statusLabel', { w: length(state.doc.widthMm), h: length(state.doc.heightMm), unit: unitName })}</span>
        {box && <span data-testid="status-selection">{editor.msg('statusSelection', { w: length(box.widthMm), h: length(box.heightMm), unit: unitName })}</span>}
        <PointerPosition editor={editor} />
        <span class="spacer" />
        {editor.api.mode === 'browser' && <span class="mode">{t.browserMode}</span>}
        {many && <span>{editor.msg('multipleSelected', { count: state.selection.length })}</span>}
        <div class="view-tools">
          <select class="unit-choice" aria-label={t.unit} title={t.unit} data-testid="unit" value={state.unit}
            onChange={(e) => editor.setUnit((e.target as HTMLSelectElement).value as LengthUnit)}>
            <option value="mm">{t.mm}</option>
            <option value="in">{t.inch}</option>
          </select>
          {button('grid')}
          {button('snap')}
          <span class="separator" />
          {button('zoomOut')}
          <span class="zoom" data-testid="zoom">{Math.round(state.zoom * 100)}%</span>
          {button('zoomIn')}
          {button('zoomFit')}
          {button('zoomActual')}
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
      if (e.key !== 'Escape') return;
      // Handled here: a dialog below this one stays open.
      e.preventDefault();
      onClose(request.dismissValue);
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
