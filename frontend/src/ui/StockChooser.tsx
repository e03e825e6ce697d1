// The new-label chooser: find the stock that sits in the printer (by size, code, kind or paper),
// see it drawn, and start a label on it; or start from a free size, keep a stock of one's own,
// or reopen a recent project. Shown by New and when the program starts with nothing to recover.

import { useEffect, useMemo, useRef, useState } from 'preact/hooks';
import type { Editor } from '../editor/editor';
import { formatList, type MessageKey } from '../i18n/messages';
import { DEFAULT_CONTINUOUS_LENGTH_MM } from '../model/document';
import { defaultSheet, SheetLayout } from '../model/merge';
import {
  DEFAULT_GAP_MM, findStock, formatStockSize, labelsPerSheet, makeCustomStock, PaperName, placeLabels, searchStock, STOCK,
  SheetGeometry, StockEntry, StockKind, StockProblem, SYSTEM_SOURCE,
} from '../model/stock';
import { DESIGNS, DesignWord } from '../model/designs';
import { mergeStock, stockOfTemplates } from '../model/templates';
import { SheetFields } from './SheetFields';
import { LengthField, lengthProps, SelectField } from './fields';
import { RecentProjects } from './RecentProjects';

const KINDS: readonly { kind: StockKind; label: MessageKey }[] = [
  { kind: 'roll-gap', label: 'kindRollGap' },
  { kind: 'roll-mark', label: 'kindRollMark' },
  { kind: 'continuous', label: 'kindContinuous' },
  { kind: 'sheet', label: 'kindSheet' },
];
const KIND_LABEL = Object.fromEntries(KINDS.map((k) => [k.kind, k.label])) as Record<StockKind, MessageKey>;
const PROBLEM_WORDS: Record<StockProblem, MessageKey> = {
  kind: 'problemKind', size: 'problemSize', shape: 'problemShape', corner: 'problemCorner',
  gap: 'problemGap', grid: 'problemGrid', pitch: 'problemPitch', fit: 'problemFit',
};
/** Enough to scroll through; a search narrows the rest. */
const MAX_SHOWN = 80;

/** The system's label templates, asked of the host once a run: they change only when packages do. */
let systemStock: Promise<StockEntry[]> | null = null;

function loadSystemStock(editor: Editor): Promise<StockEntry[]> {
  systemStock ??= editor.api.listLabelTemplates().then(stockOfTemplates, () => []);
  return systemStock;
}

export function StockChooser({ editor }: { editor: Editor }) {
  const [, setTick] = useState(0);
  useEffect(() => {
    const redraw = (): void => setTick((n) => n + 1);
    // The chooser may have been asked for before this first effect ran.
    redraw();
    return editor.subscribe(redraw, ['interface']);
  }, [editor]);
  if (!editor.state.stockChooser) return null;
  return <ChooserBody editor={editor} />;
}

function ChooserBody({ editor }: { editor: Editor }) {
  const t = editor.t;
  const state = editor.state;
  const [query, setQuery] = useState('');
  const [kind, setKind] = useState<StockKind | ''>('');
  const [paper, setPaper] = useState<PaperName | ''>('');
  const [selectedId, setSelectedId] = useState<string>(state.recentStock[0] ?? '');
  const [lengthMm, setLengthMm] = useState(DEFAULT_CONTINUOUS_LENGTH_MM);
  const [designId, setDesignId] = useState('');
  const [system, setSystem] = useState<StockEntry[]>([]);
  useEffect(() => {
    let live = true;
    void loadSystemStock(editor).then((entries) => live && setSystem(entries));
    return () => { live = false; };
  }, [editor]);
  const library = useMemo(() => mergeStock([...state.customStock, ...STOCK], system), [state.customStock, system]);
  const results = useMemo(
    () => searchStock(query, library, { kinds: kind ? [kind] : [], paper: paper || undefined }),
    [query, kind, paper, library],
  );
  const shown = results.slice(0, MAX_SHOWN);
  const byIds = (ids: readonly string[]): StockEntry[] => ids.map((id) => findStock(id, library)).filter((e): e is StockEntry => !!e);
  const searching = query.trim() !== '' || kind !== '' || paper !== '';
  // While searching, only what the list shows is previewed: the chosen stock while it is listed, else the best match.
  const selected = searching
    ? shown.find((e) => e.id === selectedId) ?? shown[0] ?? null
    : findStock(selectedId, library) ?? null;
  const scroller = useRef<HTMLDivElement>(null);
  useEffect(() => {
    if (scroller.current) scroller.current.scrollTop = 0;
  }, [query, kind, paper]);
  const word = (w: DesignWord): string => t[w];
  const design = DESIGNS.find((d) => d.id === designId);
  const create = (entry: StockEntry): void =>
    editor.newFromStock(entry, entry.heightMm === null ? lengthMm : undefined, design && ((w, h) => design.build(w, h, word)));
  const close = (): void => editor.closeStockChooser();

  const item = (entry: StockEntry, testId = 'stock-item') => (
    <li key={entry.id}>
      <button type="button" class={`stock-item ${entry.id === selected?.id ? 'selected' : ''}`} data-testid={testId} data-id={entry.id}
        onClick={() => setSelectedId(entry.id)} onDblClick={() => create(entry)}>
        <span class="stock-name">{stockName(entry)}</span>
        <span class="stock-kind">{entry.description ? `${entry.description} · ` : ''}{t[KIND_LABEL[entry.kind]]}{entry.sheet ? ` · ${entry.sheet.paper === 'custom' ? t.paperCustom : entry.sheet.paper} ${labelsPerSheet(entry.sheet)}` : ''}</span>
      </button>
    </li>
  );
  const section = (title: string, entries: StockEntry[], testId: string) => entries.length > 0 && (
    <section data-testid={testId}>
      <h3>{title}</h3>
      <ul class="stock-list">{entries.map((e) => item(e))}</ul>
    </section>
  );

  return (
    <div class="modal-backdrop" onKeyDown={(e) => e.key === 'Escape' && close()}>
      <div class="modal stock-chooser" role="dialog" aria-modal="true" aria-label={t.chooserTitle} data-testid="stock-chooser">
        <h2>{t.chooserTitle}</h2>
        <div class="chooser-columns">
          <div class="panel chooser-find">
            <input type="search" class="chooser-search" placeholder={t.chooserSearch} aria-label={t.chooserSearch} value={query}
              data-testid="chooser-search" autoFocus onInput={(e) => setQuery((e.target as HTMLInputElement).value)}
              onKeyDown={(e) => { if (e.key === 'Enter' && selected) create(selected); }} />
            <div class="row">
              <SelectField<StockKind | ''> label={t.chooserKind} value={kind} testId="chooser-kind"
                options={[{ value: '', label: t.chooserAll }, ...KINDS.map((k) => ({ value: k.kind, label: t[k.label] }))]} onChange={setKind} />
              <SelectField<PaperName | ''> label={t.chooserPaper} value={paper} testId="chooser-paper"
                options={[{ value: '', label: t.chooserAll }, { value: 'A4', label: 'A4' }, { value: 'Letter', label: 'Letter' }]} onChange={setPaper} />
            </div>
            <div class="chooser-scroll" ref={scroller}>
              {!searching && section(t.chooserFavourites, byIds(state.favouriteStock), 'chooser-favourites')}
              {!searching && section(t.chooserRecentStock, byIds(state.recentStock), 'chooser-recent-stock')}
              {!searching && section(t.chooserMyStock, state.customStock, 'chooser-my-stock')}
              <section data-testid="chooser-results">
                <h3>{t.chooserResults}</h3>
                {results.length === 0 && <p class="hint">{t.chooserNoMatch}</p>}
                <ul class="stock-list">{shown.map((e) => item(e))}</ul>
              </section>
            </div>
          </div>
          <div class="panel chooser-detail">
            {selected && (
              <div class="stock-detail" data-testid="stock-detail">
                <StockDrawing stock={selected} lengthMm={lengthMm} />
                <p class="stock-title">
                  <strong>{stockName(selected)}</strong>
                  <button type="button" class="tool star" data-testid="stock-favourite"
                    aria-pressed={state.favouriteStock.includes(selected.id)}
                    title={state.favouriteStock.includes(selected.id) ? t.chooserUnfavourite : t.chooserFavourite}
                    onClick={() => editor.toggleFavouriteStock(selected.id)}>
                    {state.favouriteStock.includes(selected.id) ? '★' : '☆'}
                  </button>
                </p>
                <p class="hint">
                  {selected.description && `${selected.description} · `}{t[KIND_LABEL[selected.kind]]} · {formatStockSize(selected)}
                  {selected.sheet && ` · ${editor.msg('chooserSheetSummary', {
                    paper: selected.sheet.paper === 'custom' ? t.paperCustom : selected.sheet.paper,
                    columns: selected.sheet.columns, rows: selected.sheet.rows, count: labelsPerSheet(selected.sheet),
                  })}`}
                </p>
                {selected.equivalentTo && <p class="hint">{editor.msg('chooserEquivalent', { part: selected.equivalentTo })}</p>}
                {selected.source === SYSTEM_SOURCE && <p class="hint">{t.chooserFromSystem}</p>}
                {!selected.verified && selected.source !== 'user' && selected.source !== SYSTEM_SOURCE && <p class="hint">{t.chooserUnverified}</p>}
                {selected.heightMm === null && (
                  <LengthField {...lengthProps(editor)} label={t.chooserLength} value={lengthMm} min={1} max={2000} testId="chooser-length" onCommit={setLengthMm} />
                )}
                <SelectField<string> label={t.chooserDesign} value={designId} testId="chooser-design"
                  options={[{ value: '', label: t.chooserDesignBlank }, ...DESIGNS.map((d) => ({ value: d.id, label: t[d.name] }))]} onChange={setDesignId} />
                {design && <p class="hint">{editor.msg('chooserDesignColumns', { columns: design.columns.map(word).join(editor.state.language === 'en' ? ', ' : '、') })}</p>}
                <button type="button" class="button primary" data-testid="chooser-create" onClick={() => create(selected)}>{t.chooserCreate}</button>
              </div>
            )}
            <section>
              <h3>{t.chooserRecentProjects}</h3>
              <RecentProjects editor={editor} testId="chooser-recent" />
              <button type="button" class="button" data-testid="chooser-open" onClick={() => void editor.openProject()}>{t.chooserOpen}</button>
            </section>
            <CustomSize editor={editor} onSaved={(entry) => {
              // The new stock is shown where it is kept, among the user's own, and previewed.
              setQuery('');
              setKind('');
              setPaper('');
              setSelectedId(entry.id);
            }} />
          </div>
        </div>
        <div class="modal-buttons">
          <button type="button" class="button" data-testid="chooser-close" onClick={close}>{t.chooserClose}</button>
        </div>
      </div>
    </div>
  );
}

function sheetGeometry({ startPosition: _, ...geometry }: SheetLayout): SheetGeometry {
  return geometry;
}

function stockName(entry: StockEntry): string {
  const size = formatStockSize(entry);
  return entry.code ? `${entry.maker ? entry.maker + ' ' : ''}${entry.code} · ${size}` : size;
}

/** A free size, one click from a new label; the same figures can be kept as the user's own stock. */
function CustomSize({ editor, onSaved }: { editor: Editor; onSaved: (entry: StockEntry) => void }) {
  const t = editor.t;
  const [widthMm, setWidth] = useState(editor.state.doc.widthMm);
  const [heightMm, setHeight] = useState(editor.state.doc.heightMm);
  const [kind, setKind] = useState<StockKind>('roll-gap');
  const [sheet, setSheet] = useState<SheetGeometry>(() => sheetGeometry(defaultSheet(widthMm, heightMm)));
  const [problem, setProblem] = useState('');
  const save = (): void => {
    const result = makeCustomStock({
      kind, widthMm, heightMm: kind === 'continuous' ? null : heightMm, shape: 'rectangle', ...(kind === 'sheet' ? { sheet } : {}),
    });
    if (!result.ok) {
      setProblem(editor.msg('chooserStockInvalid', { problems: formatList(t, result.problems.map((p) => t[PROBLEM_WORDS[p]])) }));
      return;
    }
    setProblem('');
    editor.addCustomStock(result.entry);
    editor.notify(editor.msg('chooserStockSaved', { size: formatStockSize(result.entry) }));
    onSaved(result.entry);
  };
  return (
    <section class="chooser-custom">
      <h3>{t.chooserCustom}</h3>
      <div class="row">
        <LengthField {...lengthProps(editor)} label={t.width} value={widthMm} min={1} max={2000} testId="chooser-width" onCommit={setWidth} />
        <LengthField {...lengthProps(editor)} label={t.height} value={heightMm} min={1} max={2000} testId="chooser-height" onCommit={setHeight} />
      </div>
      <button type="button" class="button" data-testid="chooser-custom" onClick={() => editor.newOfSize(widthMm, heightMm)}>{t.chooserCustomCreate}</button>
      <div class="row">
        <SelectField<StockKind> label={t.chooserKind} value={kind} testId="chooser-custom-kind"
          options={KINDS.map((k) => ({ value: k.kind, label: t[k.label] }))} onChange={setKind} />
        <button type="button" class="button" data-testid="chooser-save-stock" onClick={save}>{t.chooserSaveStock}</button>
      </div>
      {kind === 'sheet' && <SheetFields editor={editor} sheet={sheet} testPrefix="custom-sheet" onChange={setSheet} />}
      {problem && <p class="field-error">{problem}</p>}
    </section>
  );
}

/** The stock as it looks: labels on the sheet, or a stretch of roll with its gaps, marks and corners. */
export function StockDrawing({ stock, lengthMm }: { stock: StockEntry; lengthMm: number }) {
  const corner = stock.cornerRadiusMm ?? 0;
  const label = (x: number, y: number, h: number, key: number) => stock.shape === 'rectangle'
    ? <rect key={key} class="stock-label" x={x} y={y} width={stock.widthMm} height={h} rx={Math.min(corner, h / 2)} />
    : (
      <g key={key}>
        <ellipse class="stock-label" cx={x + stock.widthMm / 2} cy={y + h / 2} rx={stock.widthMm / 2} ry={h / 2} />
        {stock.holeDiameterMm && <circle class="stock-paper" cx={x + stock.widthMm / 2} cy={y + h / 2} r={stock.holeDiameterMm / 2} />}
      </g>
    );
  if (stock.sheet) {
    const s = stock.sheet;
    const h = stock.heightMm ?? 0;
    return (
      <svg class="stock-drawing" data-testid="stock-drawing" viewBox={`-2 -2 ${s.paperWidthMm + 4} ${s.paperHeightMm + 4}`}>
        <rect class="stock-paper" x={0} y={0} width={s.paperWidthMm} height={s.paperHeightMm} />
        {placeLabels(s, labelsPerSheet(s)).map((p, i) => label(p.xMm, p.yMm, h, i))}
      </svg>
    );
  }
  // Three labels of the roll, with the liner showing beside them and in the gaps.
  const liner = Math.max(2, stock.widthMm * 0.06);
  const h = stock.heightMm ?? lengthMm;
  const gap = stock.kind === 'continuous' ? 0 : stock.gapMm ?? DEFAULT_GAP_MM;
  const count = 3;
  const total = count * h + (count + 1) * gap;
  return (
    <svg class="stock-drawing" data-testid="stock-drawing" viewBox={`${-liner - 1} -1 ${stock.widthMm + 2 * liner + 2} ${total + 2}`}>
      <rect class="stock-paper" x={-liner} y={0} width={stock.widthMm + 2 * liner} height={total} />
      {Array.from({ length: count }, (_, i) => {
        const y = gap + i * (h + gap);
        return stock.kind === 'continuous'
          ? <line key={i} class="stock-cut" x1={-liner} x2={stock.widthMm + liner} y1={y + h} y2={y + h} />
          : label(0, y, h, i);
      })}
      {stock.kind === 'roll-mark' && Array.from({ length: count }, (_, i) => (
        <rect key={`m${i}`} class="stock-mark" x={-liner} y={gap + i * (h + gap) - Math.max(gap, 1)} width={liner * 0.8} height={Math.max(gap, 1)} />
      ))}
    </svg>
  );
}
