// Keyboard shortcuts, the ones people expect from desktop design programs.

import type { Editor } from './editor';
import type { DesignerStage } from './stage';
import { isTyping } from './stage';

export interface ShortcutHooks {
  stage: () => DesignerStage | null;
  /** True while a dialog is open: then the dialog owns the keyboard. */
  modalOpen: () => boolean;
}

type Action = (editor: Editor, hooks: ShortcutHooks) => void;

/** Key descriptions are "Ctrl+Shift+KeyS"-style: modifiers in this order, then KeyboardEvent.code or key. */
export const SHORTCUTS: Record<string, Action> = {
  'Ctrl+KeyN': (e) => void e.newProject(),
  'Ctrl+KeyO': (e) => void e.openProject(),
  'Ctrl+KeyS': (e) => void e.save(false),
  'Ctrl+Shift+KeyS': (e) => void e.save(true),
  'Ctrl+KeyQ': (e) => void e.quit(),
  'Ctrl+KeyZ': (e) => e.undo(),
  'Ctrl+Shift+KeyZ': (e) => e.redo(),
  'Ctrl+KeyY': (e) => e.redo(),
  'Ctrl+KeyC': (e) => e.copySelection(),
  'Ctrl+KeyX': (e) => e.cutSelection(),
  'Ctrl+KeyV': (e) => e.paste(),
  'Ctrl+KeyD': (e) => e.duplicateSelection(),
  'Ctrl+KeyA': (e) => e.selectAll(),
  'Ctrl+KeyL': (e) => e.toggleLock(),
  'Ctrl+KeyR': (e) => e.rotateSelection(),
  'Ctrl+BracketRight': (e) => e.reorder('forward'),
  'Ctrl+BracketLeft': (e) => e.reorder('backward'),
  'Ctrl+Shift+BracketRight': (e) => e.reorder('front'),
  'Ctrl+Shift+BracketLeft': (e) => e.reorder('back'),
  'Delete': (e) => e.deleteSelection(),
  'Backspace': (e) => e.deleteSelection(),
  'Escape': (e) => e.select([]),
  'ArrowLeft': (e) => e.nudge(-0.1, 0),
  'ArrowRight': (e) => e.nudge(0.1, 0),
  'ArrowUp': (e) => e.nudge(0, -0.1),
  'ArrowDown': (e) => e.nudge(0, 0.1),
  'Shift+ArrowLeft': (e) => e.nudge(-1, 0),
  'Shift+ArrowRight': (e) => e.nudge(1, 0),
  'Shift+ArrowUp': (e) => e.nudge(0, -1),
  'Shift+ArrowDown': (e) => e.nudge(0, 1),
  'Ctrl+Digit0': (_e, h) => h.stage()?.zoomFit(),
  'Ctrl+Digit1': (_e, h) => h.stage()?.zoomActual(),
  'Ctrl+Equal': (_e, h) => h.stage()?.zoomBy(1.25),
  'Ctrl+NumpadAdd': (_e, h) => h.stage()?.zoomBy(1.25),
  'Ctrl+Minus': (_e, h) => h.stage()?.zoomBy(0.8),
  'Ctrl+NumpadSubtract': (_e, h) => h.stage()?.zoomBy(0.8),
};

export function describeKey(e: KeyboardEvent): string {
  const parts: string[] = [];
  if (e.ctrlKey || e.metaKey) parts.push('Ctrl');
  if (e.altKey) parts.push('Alt');
  if (e.shiftKey) parts.push('Shift');
  const code = e.code && e.code !== 'Unidentified' ? e.code : e.key;
  parts.push(code.startsWith('Arrow') || code === 'Delete' || code === 'Backspace' || code === 'Escape' ? e.key : code);
  return parts.join('+');
}

/** Shortcuts that still work while typing in a field: the file commands and undo belong to the window. */
const GLOBAL = new Set(['Ctrl+KeyN', 'Ctrl+KeyO', 'Ctrl+KeyS', 'Ctrl+Shift+KeyS', 'Ctrl+KeyQ']);

export function installShortcuts(editor: Editor, hooks: ShortcutHooks): () => void {
  const onKey = (e: KeyboardEvent): void => {
    if (hooks.modalOpen()) return;
    const key = describeKey(e);
    const action = SHORTCUTS[key];
    if (!action) return;
    if (isTyping(e.target)) {
      if (!GLOBAL.has(key)) return;
      // Leaving the field commits what was typed, so Ctrl+S saves the value on screen.
      (e.target as HTMLElement).blur();
    }
    e.preventDefault();
    action(editor, hooks);
  };
  window.addEventListener('keydown', onKey);
  return () => window.removeEventListener('keydown', onKey);
}
