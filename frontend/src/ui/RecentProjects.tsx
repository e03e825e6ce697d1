// The projects opened or saved last, each reopened by its path with one click.

import { useState } from 'preact/hooks';
import type { Editor } from '../editor/editor';

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
            <span class="recent-name">{fileName(path)}</span>
            <span class="recent-folder">{folderOf(path)}</span>
          </button>
        </li>
      ))}
    </ul>
  );
}

function fileName(path: string): string {
  return path.split(/[\\/]/).pop() ?? path;
}

function folderOf(path: string): string {
  return path.slice(0, Math.max(0, path.length - fileName(path).length - 1));
}

/** The small button beside Open that drops down the recent projects. */
export function RecentMenu({ editor }: { editor: Editor }) {
  const [open, setOpen] = useState(false);
  if (editor.api.mode !== 'host') return null;
  return (
    <span class="recent-menu">
      <button type="button" class="tool narrow" aria-haspopup="true" aria-expanded={open} title={editor.t.recentProjects}
        aria-label={editor.t.recentProjects} data-testid="recent-menu" onMouseDown={(e) => e.preventDefault()} onClick={() => setOpen(!open)}>▾</button>
      {open && (
        <div class="recent-popup" data-testid="recent-popup" onMouseLeave={() => setOpen(false)}>
          <RecentProjects editor={editor} testId="recent-list" onOpen={() => setOpen(false)} />
        </div>
      )}
    </span>
  );
}
