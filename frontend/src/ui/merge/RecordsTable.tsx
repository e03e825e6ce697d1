// The records as a table: columns as in the sheet, a search over every cell, a click that shows
// the record on the label, and ticks that choose records to print. Only the rows in view are in
// the page, so 100,000 records scroll as lightly as 30.

import { Component } from 'preact';
import { useMemo, useState } from 'preact/hooks';
import type { Editor } from '../../editor/editor';
import type { SheetTable } from '../../data/table';
import type { MergeSession } from '../../merge/session';

const ROW_HEIGHT = 24;
const VIEW_ROWS = 12;
/** Rows drawn beyond the view on each side, so a fast wheel turn shows no gap. */
const OVERSCAN = 6;
const NUMBER_WIDTH = 56;
const TICK_WIDTH = 28;
const CELL_WIDTH = 110;

/** Each record's cells in lower case, built once per table on the first search. */
const haystacks = new WeakMap<SheetTable, string[]>();

function matches(table: SheetTable, query: string): number[] | null {
  const needle = query.trim().toLowerCase();
  if (!needle) return null;
  let rows = haystacks.get(table);
  if (!rows) {
    rows = table.records.map((r) => r.join('\u0001').toLowerCase());
    haystacks.set(table, rows);
  }
  const found: number[] = [];
  for (let i = 0; i < rows.length; i++) if (rows[i].includes(needle)) found.push(i);
  return found;
}

interface RowProps {
  record: number;
  top: number;
  cells: readonly string[];
  grid: string;
  width: number;
  current: boolean;
  ticked: boolean;
  label: string;
  session: MergeSession;
}

/** One row; rows that stay in view while scrolling are left alone, which keeps each frame short. */
class RecordRow extends Component<RowProps> {
  shouldComponentUpdate(next: RowProps): boolean {
    const p = this.props;
    return next.top !== p.top || next.current !== p.current || next.ticked !== p.ticked || next.cells !== p.cells || next.grid !== p.grid || next.label !== p.label;
  }

  render({ record, top, cells, grid, width, current, ticked, label, session }: RowProps) {
    return (
      <div class={`records-row${current ? ' current' : ''}`} role="row" data-testid="records-row" data-record={record + 1}
        style={{ top: `${top}px`, gridTemplateColumns: grid, width: `${width}px` }} onClick={() => session.showRecord(record)}>
        <span onClick={(e) => e.stopPropagation()}>
          <input type="checkbox" data-testid="records-tick" aria-label={label} checked={ticked}
            onChange={(e) => session.choose([record], (e.target as HTMLInputElement).checked)} />
        </span>
        <span class="records-number">{record + 1}</span>
        {cells.map((cell, c) => <span key={c} title={cell}>{cell}</span>)}
      </div>
    );
  }
}

export function RecordsTable({ editor, session, table }: { editor: Editor; session: MergeSession; table: SheetTable }) {
  const t = editor.t;
  const [query, setQuery] = useState('');
  const [top, setTop] = useState(0);
  const found = useMemo(() => matches(table, query), [table, query]);
  const count = found ? found.length : table.records.length;
  const recordAt = (row: number): number => (found ? found[row] : row);
  const first = Math.max(0, Math.floor(top / ROW_HEIGHT) - OVERSCAN);
  const last = Math.min(count, Math.ceil(top / ROW_HEIGHT) + VIEW_ROWS + OVERSCAN);
  const chosen = session.chosen;
  const width = NUMBER_WIDTH + TICK_WIDTH + CELL_WIDTH * table.columns.length;
  const grid = `${TICK_WIDTH}px ${NUMBER_WIDTH}px repeat(${table.columns.length}, ${CELL_WIDTH}px)`;
  const rows = [];
  for (let row = first; row < last; row++) {
    const record = recordAt(row);
    rows.push(
      <RecordRow key={record} record={record} top={row * ROW_HEIGHT} cells={table.records[record]} grid={grid} width={width}
        current={record === session.previewIndex} ticked={chosen.has(record)} label={t.recordsTick} session={session} />,
    );
  }
  return (
    <div class="records" data-testid="records-table">
      <input type="search" class="records-search" placeholder={t.recordsSearch} aria-label={t.recordsSearch} value={query} data-testid="records-search"
        onInput={(e) => {
          setQuery((e.target as HTMLInputElement).value);
          setTop(0);
        }} />
      <p class="hint small" data-testid="records-shown">{editor.msg('recordsShown', { shown: count, total: table.records.length, chosen: chosen.size })}</p>
      <div class="button-row">
        <button type="button" class="button small" data-testid="records-tick-shown" disabled={count === 0}
          onClick={() => session.choose(found ?? table.records.map((_, i) => i), true)}>{t.recordsTickShown}</button>
        <button type="button" class="button small" data-testid="records-untick" disabled={chosen.size === 0}
          onClick={() => session.choose([...chosen], false)}>{t.recordsUntickAll}</button>
      </div>
      <div class="records-view" style={{ height: `${ROW_HEIGHT * (VIEW_ROWS + 1)}px` }} role="grid" aria-rowcount={count}
        onScroll={(e) => setTop((e.target as HTMLElement).scrollTop)}>
        <div class="records-head" role="row" style={{ gridTemplateColumns: grid, width: `${width}px` }}>
          <span />
          <span class="records-number">#</span>
          {table.columns.map((c) => <span key={c} title={c}>{c}</span>)}
        </div>
        <div class="records-body" style={{ height: `${count * ROW_HEIGHT}px`, width: `${width}px` }}>{rows}</div>
      </div>
    </div>
  );
}
