// The projects opened or saved last, each reopened by its path with one click.

import { useEffect, useRef, useState } from 'preact/hooks';
import type { Editor } from '../editor/editor';
import { baseName } from '../model/project';

export function RecentProjects({ editor, testId, onOpen }: { editor: Editor; testId: string; onOpen?: () => void }) {
  const list = editor.state.recentProjects;
  if (list.length === 0) return <p class="hint" data-testid={`${testId}-none`}>{editor.t.recentNone}</p>;
  return (
    <ul class="recent-projects" data-testid={testId}>
      {list.map((path) => (
        <li key={path}>
          <button type="button" class="recent-project" title={path} data-testid="recent-project" data-path={path}
            onClick={() => {
              onOpen?.();
              void editor.openProject(path);
            }}>
            <span class="recent-name">{baseName(path)}</span>
            <span class="recent-folder">{folderOf(path)}</span>
          </button>
        </li>
      ))}
    </ul>
  );
}

function folderOf(path: string): string {
  return path.slice(0, Math.max(0, path.length - baseName(path).length - 1));
}

/**
 * The small button beside Open that drops down the recent projects. The list is placed on the
 * window rather than inside the toolbar, which scrolls sideways and would cut it off; the arrow
 * keys walk it, Escape closes it.
 */
export function RecentMenu({ editor }: { editor: Editor }) {
  const [at, setAt] = useState<{ left: number; top: number } | null>(null);
  const opener = useRef<HTMLButtonElement>(null);
  const popup = useRef<HTMLDivElement>(null);
  const open = at !== null;
  const show = (): void => {
    const r = opener.current!.getBoundingClientRect();
    setAt({ left: Math.max(0, Math.min(r.left, window.innerWidth - POPUP_WIDTH_PX)), top: r.bottom + 2 });
  };
  const hide = (refocus: boolean): void => {
    setAt(null);
    if (refocus) opener.current?.focus();
  };
  useEffect(() => {
    if (!open) return;
    (popup.current?.querySelector<HTMLElement>('button') ?? popup.current)?.focus();
    const away = (e: Event): void => {
      const target = e.target as Node;
      if (!popup.current?.contains(target) && !opener.current?.contains(target)) setAt(null);
    };
    const gone = (): void => setAt(null);
    window.addEventListener('mousedown', away, true);
    window.addEventListener('focusin', away);
    window.addEventListener('resize', gone);
    return () => {
      window.removeEventListener('mousedown', away, true);
      window.removeEventListener('focusin', away);
      window.removeEventListener('resize', gone);
    };
  }, [open]);
  if (editor.api.mode !== 'host') return null;
  const onPopupKey = (e: KeyboardEvent): void => {
    const items = Array.from(popup.current?.querySelectorAll<HTMLElement>('button') ?? []);
    const index = items.indexOf(document.activeElement as HTMLElement);
    const step = e.key === 'ArrowDown' ? 1 : e.key === 'ArrowUp' ? -1 : 0;
    if (step !== 0 && items.length > 0) items[(index + step + items.length) % items.length].focus();
    else if (e.key === 'Home' || e.key === 'End') items[e.key === 'Home' ? 0 : items.length - 1]?.focus();
    else if (e.key === 'Escape') hide(true);
    else if (e.key === 'Tab') setAt(null);
    else return;
    if (e.key !== 'Tab') e.preventDefault();
    // The designer's own keys (Escape deselects, arrows move objects) stay out of the list.
    e.stopPropagation();
  };
  return (
    <span class="recent-menu">
      <button type="button" ref={opener} class="tool narrow" aria-haspopup="true" aria-expanded={open} title={editor.t.recentProjects}
        aria-label={editor.t.recentProjects} data-testid="recent-menu" onMouseDown={(e) => e.preventDefault()}
        onClick={() => (open ? hide(false) : show())}
        onKeyDown={(e) => {
          if (e.key !== 'ArrowDown' || open) return;
          e.preventDefault();
          e.stopPropagation();
          show();
        }}>▾</button>
      {at && (
        <div class="recent-popup" ref={popup} tabIndex={-1} data-testid="recent-popup" onKeyDown={onPopupKey}
          style={{ left: `${at.left}px`, top: `${at.top}px`, maxHeight: `${Math.max(120, window.innerHeight - at.top - 8)}px` }}>
          <RecentProjects editor={editor} testId="recent-list" onOpen={() => setAt(null)} />
        </div>
      )}
    </span>
  );
}

/** The popup's width in stock.css, so that it stays within the window. */
const POPUP_WIDTH_PX = 340;
