// Typing on the label: a text area laid over a text object at its place, size, angle and font,
// so what is typed appears where it will print. Enter starts a new line; Escape, Ctrl+Enter or
// a click elsewhere finishes. While an input method composes (pinyin turning into 汉字), keys
// belong to it: its Enter picks a candidate and its Escape cancels the composition, neither
// finishes the edit, and the label only takes the composed text.

import type { TextObject } from '../model/document';
import { ptToMm } from '../model/units';
import { cssFont, LINE_HEIGHT } from '../render/text';

export interface TextEditPlacement {
  /** Screen position of the label's top-left corner within `parent`, in CSS pixels. */
  originX: number;
  originY: number;
  /** CSS pixels per millimetre at the current zoom. */
  pxPerMm: number;
}

export interface OpenTextEdit {
  readonly element: HTMLTextAreaElement;
  /** Finishes the edit (keeping what was typed). */
  close(): void;
}

export function openTextEdit(
  parent: HTMLElement, object: TextObject, at: TextEditPlacement,
  onText: (text: string) => void, onClose: () => void,
): OpenTextEdit {
  const area = document.createElement('textarea');
  const k = at.pxPerMm;
  const width = object.widthMm * k;
  const height = object.heightMm * k;
  area.className = 'text-on-label';
  area.dataset.testid = 'text-on-label';
  area.value = object.text;
  area.spellcheck = false;
  Object.assign(area.style, {
    left: `${at.originX + object.xMm * k}px`,
    top: `${at.originY + object.yMm * k}px`,
    width: `${width}px`,
    height: `${height}px`,
    transform: `rotate(${object.rotation}deg)`,
    transformOrigin: `${width / 2}px ${height / 2}px`,
    font: cssFont(object.fontFamily, ptToMm(object.fontSizePt) * k, object.bold, object.italic),
    lineHeight: String(LINE_HEIGHT),
    textAlign: object.align,
    color: object.color,
    whiteSpace: object.wrap ? 'pre-wrap' : 'pre',
  });
  let composing = false;
  let closed = false;
  // The text sits in the box as the label will print it (top, middle or bottom), and the box
  // grows rather than hide lines typed beyond it.
  const grow = (): void => {
    area.style.paddingTop = '0px';
    area.style.height = '0px';
    const content = area.scrollHeight;
    const room = Math.max(0, height - content);
    const top = object.verticalAlign === 'middle' ? room / 2 : object.verticalAlign === 'bottom' ? room : 0;
    area.style.paddingTop = `${top}px`;
    area.style.height = `${Math.max(height, content + top)}px`;
  };
  const close = (): void => {
    if (closed) return;
    closed = true;
    onText(area.value);
    area.remove();
    onClose();
  };
  area.addEventListener('compositionstart', () => {
    composing = true;
  });
  area.addEventListener('compositionend', () => {
    composing = false;
    onText(area.value);
    grow();
  });
  area.addEventListener('input', (e) => {
    grow();
    if (!composing && !(e as InputEvent).isComposing) onText(area.value);
  });
  area.addEventListener('keydown', (e) => {
    if (composing || e.isComposing || e.keyCode === 229) return;
    if (e.key === 'Escape' || (e.key === 'Enter' && (e.ctrlKey || e.metaKey))) {
      e.preventDefault();
      close();
    }
  });
  area.addEventListener('blur', close);
  parent.appendChild(area);
  grow();
  area.focus();
  area.select();
  return { element: area, close };
}
