// Every command of the designer in one table: its label, icon, keys, when it is enabled and
// what it does. The toolbar draws buttons from it by id and one keydown handler runs its keys,
// so a command's label, shortcut and enabled state cannot drift apart between the two.

import type { Editor } from '../editor/editor';
import type { DesignerStage } from '../editor/stage';
import { isTyping } from '../editor/stage';
import type { MessageKey } from '../i18n/messages';
import type { MergeSession } from '../merge/session';

export interface CommandContext {
  editor: Editor;
  merge: MergeSession;
  stage: () => DesignerStage | null;
}

type Dynamic<T> = T | ((ctx: CommandContext) => T);

export interface Command {
  id: string;
  /** Its name in the interface; also the toolbar button's data-action. */
  label?: Dynamic<MessageKey>;
  icon?: Dynamic<string>;
  /** "Ctrl+Shift+KeyS" style: modifiers in this order, then KeyboardEvent.code (or key for arrows and editing keys). */
  keys?: string[];
  /** The key still works while typing in a field: the file commands belong to the window. */
  global?: boolean;
  enabled?: (ctx: CommandContext) => boolean;
  pressed?: (ctx: CommandContext) => boolean;
  run: (ctx: CommandContext) => void;
}

const selection = ({ editor }: CommandContext): boolean => editor.state.selection.length > 0;
const allLocked = ({ editor }: CommandContext): boolean => editor.state.selection.length > 0 && editor.selectedObjects.every((o) => o.locked);
const nudge = (id: string, key: string, dx: number, dy: number): Command => ({ id, keys: [key], run: ({ editor }) => editor.nudge(dx, dy) });

export const COMMANDS: readonly Command[] = [
  { id: 'newProject', icon: 'new', keys: ['Ctrl+KeyN'], global: true, run: ({ editor }) => void editor.newProject() },
  { id: 'openProject', icon: 'open', keys: ['Ctrl+KeyO'], global: true, run: ({ editor }) => void editor.openProject() },
  { id: 'saveProject', icon: 'save', keys: ['Ctrl+KeyS'], global: true, run: ({ editor }) => void editor.save(false) },
  { id: 'saveProjectAs', icon: 'saveAs', keys: ['Ctrl+Shift+KeyS'], global: true, run: ({ editor }) => void editor.save(true) },
  { id: 'quit', icon: 'quit', keys: ['Ctrl+KeyQ'], global: true, run: ({ editor }) => void editor.quit() },
  // Ctrl+P opens the print dialog, as in every program that prints; the browser's own page
  // printing would only print the designer's window.
  { id: 'print', keys: ['Ctrl+KeyP'], global: true, run: ({ merge }) => merge.openDialog('print') },
  { id: 'exportPdf', run: ({ merge }) => merge.openDialog('pdf') },
  { id: 'dataSource', pressed: ({ merge }) => merge.panelOpen, run: ({ merge }) => merge.setPanelOpen(!merge.panelOpen) },
  { id: 'undo', icon: 'undo', keys: ['Ctrl+KeyZ'], enabled: ({ editor }) => editor.history.canUndo, run: ({ editor }) => editor.undo() },
  { id: 'redo', icon: 'redo', keys: ['Ctrl+KeyY', 'Ctrl+Shift+KeyZ'], enabled: ({ editor }) => editor.history.canRedo, run: ({ editor }) => editor.redo() },
  { id: 'copy', keys: ['Ctrl+KeyC'], run: ({ editor }) => editor.copySelection() },
  { id: 'cut', keys: ['Ctrl+KeyX'], run: ({ editor }) => editor.cutSelection() },
  { id: 'paste', keys: ['Ctrl+KeyV'], run: ({ editor }) => editor.paste() },
  { id: 'selectAll', keys: ['Ctrl+KeyA'], run: ({ editor }) => editor.selectAll() },
  { id: 'deselect', keys: ['Escape'], run: ({ editor }) => editor.select([]) },
  { id: 'insertText', icon: 'text', run: ({ editor }) => editor.insert('text') },
  { id: 'insertBarcode', icon: 'barcode', run: ({ editor }) => editor.insert('barcode', 'code128') },
  { id: 'insertQr', icon: 'qr', run: ({ editor }) => editor.insert('barcode', 'qrcode') },
  { id: 'insertImage', icon: 'image', run: ({ editor }) => void editor.insertImage() },
  { id: 'insertRect', icon: 'rect', run: ({ editor }) => editor.insert('rect') },
  { id: 'insertEllipse', icon: 'ellipse', run: ({ editor }) => editor.insert('ellipse') },
  { id: 'insertLine', icon: 'line', run: ({ editor }) => editor.insert('line') },
  ...(['left', 'hcenter', 'right', 'top', 'vcenter', 'bottom'] as const).map((edge): Command => {
    const id = `align${edge === 'hcenter' ? 'HCenter' : edge === 'vcenter' ? 'VCenter' : edge[0].toUpperCase() + edge.slice(1)}`;
    return { id, icon: id, enabled: selection, run: ({ editor }) => editor.align(edge) };
  }),
  { id: 'distributeH', icon: 'distributeH', enabled: ({ editor }) => editor.state.selection.length >= 3, run: ({ editor }) => editor.distribute('horizontal') },
  { id: 'distributeV', icon: 'distributeV', enabled: ({ editor }) => editor.state.selection.length >= 3, run: ({ editor }) => editor.distribute('vertical') },
  { id: 'bringToFront', icon: 'front', keys: ['Ctrl+Shift+BracketRight'], enabled: selection, run: ({ editor }) => editor.reorder('front') },
  { id: 'sendToBack', icon: 'back', keys: ['Ctrl+Shift+BracketLeft'], enabled: selection, run: ({ editor }) => editor.reorder('back') },
  { id: 'bringForward', keys: ['Ctrl+BracketRight'], enabled: selection, run: ({ editor }) => editor.reorder('forward') },
  { id: 'sendBackward', keys: ['Ctrl+BracketLeft'], enabled: selection, run: ({ editor }) => editor.reorder('backward') },
  { id: 'rotateRight', icon: 'rotate', keys: ['Ctrl+KeyR'], enabled: selection, run: ({ editor }) => editor.rotateSelection() },
  {
    id: 'lock', label: (ctx) => (allLocked(ctx) ? 'unlock' : 'lock'), icon: (ctx) => (allLocked(ctx) ? 'unlock' : 'lock'),
    keys: ['Ctrl+KeyL'], enabled: selection, pressed: allLocked, run: ({ editor }) => editor.toggleLock(),
  },
  { id: 'duplicate', icon: 'duplicate', keys: ['Ctrl+KeyD'], enabled: selection, run: ({ editor }) => editor.duplicateSelection() },
  { id: 'delete', icon: 'delete', keys: ['Delete', 'Backspace'], enabled: selection, run: ({ editor }) => editor.deleteSelection() },
  nudge('nudgeLeft', 'ArrowLeft', -0.1, 0),
  nudge('nudgeRight', 'ArrowRight', 0.1, 0),
  nudge('nudgeUp', 'ArrowUp', 0, -0.1),
  nudge('nudgeDown', 'ArrowDown', 0, 0.1),
  nudge('moveLeft', 'Shift+ArrowLeft', -1, 0),
  nudge('moveRight', 'Shift+ArrowRight', 1, 0),
  nudge('moveUp', 'Shift+ArrowUp', 0, -1),
  nudge('moveDown', 'Shift+ArrowDown', 0, 1),
  { id: 'grid', icon: 'grid', pressed: ({ editor }) => editor.state.grid, run: ({ editor }) => editor.setView({ grid: !editor.state.grid }) },
  { id: 'snap', icon: 'snap', pressed: ({ editor }) => editor.state.snap, run: ({ editor }) => editor.setView({ snap: !editor.state.snap }) },
  { id: 'zoomOut', icon: 'zoomOut', keys: ['Ctrl+Minus', 'Ctrl+NumpadSubtract'], run: ({ stage }) => stage()?.zoomBy(0.8) },
  { id: 'zoomIn', icon: 'zoomIn', keys: ['Ctrl+Equal', 'Ctrl+NumpadAdd'], run: ({ stage }) => stage()?.zoomBy(1.25) },
  { id: 'zoomFit', icon: 'fit', keys: ['Ctrl+Digit0'], run: ({ stage }) => stage()?.zoomFit() },
  { id: 'zoomActual', icon: 'actual', keys: ['Ctrl+Digit1'], run: ({ stage }) => stage()?.zoomActual() },
];

const byId = new Map(COMMANDS.map((c) => [c.id, c]));
const byKey = new Map(COMMANDS.flatMap((c) => (c.keys ?? []).map((k) => [k, c] as const)));
if (byKey.size !== COMMANDS.reduce((n, c) => n + (c.keys?.length ?? 0), 0)) throw new Error('two commands share a key');

export function command(id: string): Command {
  const found = byId.get(id);
  if (!found) throw new Error(`no command ${id}`);
  return found;
}

export function resolve<T>(value: Dynamic<T>, ctx: CommandContext): T {
  return typeof value === 'function' ? (value as (ctx: CommandContext) => T)(ctx) : value;
}

export function isEnabled(c: Command, ctx: CommandContext): boolean {
  return c.enabled ? c.enabled(ctx) : true;
}

/** A key as people read it: "Ctrl+Shift+]" for Ctrl+Shift+BracketRight. */
export function keyLabel(key: string): string {
  const names: Record<string, string> = { BracketRight: ']', BracketLeft: '[', Equal: '=', Minus: '-', NumpadAdd: '+', NumpadSubtract: '-' };
  return key.split('+').map((part) => names[part] ?? part.replace(/^(Key|Digit)/, '')).join('+');
}

export function describeKey(e: KeyboardEvent): string {
  const parts: string[] = [];
  if (e.ctrlKey || e.metaKey) parts.push('Ctrl');
  if (e.altKey) parts.push('Alt');
  if (e.shiftKey) parts.push('Shift');
  const code = e.code && e.code !== 'Unidentified' ? e.code : e.key;
  parts.push(code.startsWith('Arrow') || code === 'Delete' || code === 'Backspace' || code === 'Escape' ? e.key : code);
  return parts.join('+');
}

/** One keydown handler for every command with keys; a dialog that is open owns the keyboard. */
export function installShortcuts(ctx: CommandContext, modalOpen: () => boolean): () => void {
  const onKey = (e: KeyboardEvent): void => {
    const found = byKey.get(describeKey(e));
    if (!found) return;
    if (modalOpen()) {
      // The browser's own printing would print the designer's window, dialog and all.
      if (found.id === 'print') e.preventDefault();
      return;
    }
    if (isTyping(e.target)) {
      if (!found.global) return;
      // Leaving the field commits what was typed, so Ctrl+S saves the value on screen.
      (e.target as HTMLElement).blur();
    }
    e.preventDefault();
    if (isEnabled(found, ctx)) found.run(ctx);
  };
  window.addEventListener('keydown', onKey);
  return () => window.removeEventListener('keydown', onKey);
}
