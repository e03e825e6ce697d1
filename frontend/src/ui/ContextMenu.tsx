// The canvas's context menu: the commands that act on the selection, drawn from the registry
// with their keys and enabled state, so the menu always agrees with the toolbar and keyboard.

import { useEffect, useLayoutEffect, useRef } from 'preact/hooks';
import type { MessageKey } from '../i18n/messages';
import { command, CommandContext, isEnabled, keyLabel, resolve } from './commands';

const ITEMS = ['cut', 'copy', 'paste', 'duplicate', 'delete', '-', 'bringToFront', 'bringForward', 'sendBackward', 'sendToBack', '-', 'rotateRight', 'lock'];

export function ContextMenu({ ctx, at, onClose }: { ctx: CommandContext; at: { x: number; y: number }; onClose: () => void }) {
  useEffect(() => {
    const close = (e: Event): void => {
      if (e.type === 'keydown' ? (e as KeyboardEvent).key === 'Escape' : !(e.target as Element).closest?.('.context-menu')) onClose();
    };
    window.addEventListener('mousedown', close, true);
    window.addEventListener('keydown', close, true);
    return () => {
      window.removeEventListener('mousedown', close, true);
      window.removeEventListener('keydown', close, true);
    };
  }, [onClose]);
  const menu = useRef<HTMLDivElement>(null);
  useLayoutEffect(() => {
    // Opened near the window's edge, the menu moves in so that every item stays reachable.
    const el = menu.current!;
    el.style.left = `${Math.max(0, Math.min(at.x, window.innerWidth - el.offsetWidth - 4))}px`;
    el.style.top = `${Math.max(0, Math.min(at.y, window.innerHeight - el.offsetHeight - 4))}px`;
  }, [at]);
  const t = ctx.editor.t;
  return (
    <div class="context-menu" role="menu" data-testid="context-menu" ref={menu}>
      {ITEMS.map((id, i) => {
        if (id === '-') return <hr key={i} />;
        const c = command(id);
        const key = resolve(c.label ?? (c.id as MessageKey), ctx);
        return (
          <button type="button" role="menuitem" key={id} data-action={key} disabled={!isEnabled(c, ctx)}
            onClick={() => {
              onClose();
              c.run(ctx);
            }}>
            <span>{t[key]}</span>
            {c.keys && <kbd>{keyLabel(c.keys[0])}</kbd>}
          </button>
        );
      })}
    </div>
  );
}
