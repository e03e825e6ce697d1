// Label stock: the rolls and sheets a label is printed on. The bundled list (stock.json) names
// where each entry's figures come from; users add their own, which the caller keeps (the page's
// local storage and each project that uses it). Lengths are millimetres, as everywhere in the model.

import data from './stock.json';
import { MM_PER_INCH } from './units';

export type StockKind = 'roll-gap' | 'roll-mark' | 'continuous' | 'sheet';
export type PaperName = 'A4' | 'Letter' | 'custom';
export type LabelShape = 'rectangle' | 'round' | 'ellipse' | 'cd';

/** A block of labels on a sheet: `columns` × `rows` from its first label's corner, one every pitch. */
export interface SheetBlock {
  columns: number;
  rows: number;
  marginLeftMm: number;
  marginTopMm: number;
  /** Left edge to left edge of neighbouring labels, so the gap is the pitch less the width. */
  pitchXMm: number;
  pitchYMm: number;
}

/** A sheet: its paper and its own block of labels. */
export interface SheetGeometry extends SheetBlock {
  paper: PaperName;
  paperWidthMm: number;
  paperHeightMm: number;
  /** Further blocks of the same labels elsewhere on the sheet (a CD beside two others), filled after the first. */
  blocks?: SheetBlock[];
}

export interface StockEntry {
  id: string;
  maker: string | null;
  code: string | null;
  kind: StockKind;
  /** The unit the maker sizes this stock in; what the chooser shows first. */
  unit: 'mm' | 'in';
  /** Across the roll or the sheet. */
  widthMm: number;
  /** Along the roll; null for a continuous roll, whose label length the user chooses. */
  heightMm: number | null;
  shape: LabelShape;
  cornerRadiusMm?: number;
  /** The centre hole of a CD/DVD label, which nothing prints on. */
  holeDiameterMm?: number;
  /** What the maker calls it ("Address labels"). */
  description?: string;
  /** The maker's part this one is another name for. */
  equivalentTo?: string;
  /** What the maker sells it for, as the template database names it ("mail", "name-badge", "filing"). */
  categories?: string[];
  /** Liner between labels along a roll. */
  gapMm?: number;
  sheet?: SheetGeometry;
  source: string;
  verified: boolean;
}

export const PAPERS: Readonly<Record<'A4' | 'Letter', { widthMm: number; heightMm: number }>> = {
  A4: { widthMm: 210, heightMm: 297 },
  Letter: { widthMm: 215.9, heightMm: 279.4 },
};

/** The `source` of stock read from the system's label-template database. */
export const SYSTEM_SOURCE = 'system';

/** Gap assumed between roll labels whose stock does not say (the common 3 mm of thermal rolls). */
export const DEFAULT_GAP_MM = 3;

/** The bundled stock; the test suite holds the file to its schema and geometry. */
export const STOCK: readonly StockEntry[] = (data as unknown as { entries: StockEntry[] }).entries;

// ---- Finding stock -------------------------------------------------------------------------

export interface StockFilter {
  kinds?: readonly StockKind[];
  /** Sheets on this paper only; rolls are left out when a paper is asked for. */
  paper?: PaperName;
}

export function filterStock(entries: readonly StockEntry[], filter: StockFilter): StockEntry[] {
  return entries.filter((e) =>
    (!filter.kinds || filter.kinds.length === 0 || filter.kinds.includes(e.kind)) &&
    (!filter.paper || e.sheet?.paper === filter.paper));
}

export function findStock(id: string, entries: readonly StockEntry[] = STOCK): StockEntry | undefined {
  return entries.find((e) => e.id === id);
}

export interface SizeQuery {
  a: number;
  b: number | null;
  /** Null when the text names no unit: the numbers are then read in each entry's own unit. */
  unit: 'mm' | 'in' | null;
}

const SIZE = String.raw`(\d+(?:[.,]\d+)?)(?:\s*(?:x|×|\*|by)\s*(\d+(?:[.,]\d+)?))?\s*(mm|inches|inch|in|"|″)?`;
const SIZE_ALONE = new RegExp(`^${SIZE}$`, 'i');
/** A size among other words: not the digits inside a code such as "dk11201". */
const SIZE_IN_TEXT = new RegExp(`(?<![\\w.-])${SIZE}(?![\\w.])`, 'i');

function sizeFromMatch(match: RegExpExecArray): SizeQuery {
  const num = (s: string): number => Number(s.replace(',', '.'));
  const unitText = match[3]?.toLowerCase();
  const unit = unitText === undefined ? null : unitText === 'mm' ? 'mm' : 'in';
  return { a: num(match[1]), b: match[2] === undefined ? null : num(match[2]), unit };
}

/** Reads "60x40", "60 × 40 mm", "4x6 in", "4 x 6\"" or a lone "62"; null for anything else. */
export function parseSizeQuery(text: string): SizeQuery | null {
  const match = SIZE_ALONE.exec(text.trim());
  return match ? sizeFromMatch(match) : null;
}

/** Tolerance of a size match: a typed "99x38" finds 99.1 × 38.1 mm. */
const SIZE_TOLERANCE_MM = 0.6;

function sizeMatch(entry: StockEntry, query: SizeQuery): 0 | 1 | 2 {
  const unitMm = (query.unit ?? entry.unit) === 'in' ? MM_PER_INCH : 1;
  const tolerance = Math.max(SIZE_TOLERANCE_MM, query.unit === null && entry.unit === 'in' ? 0.02 * MM_PER_INCH : 0);
  const near = (mm: number | null, value: number): boolean => mm !== null && Math.abs(mm - value * unitMm) <= tolerance;
  const w = entry.widthMm;
  const h = entry.heightMm;
  if (query.b === null) {
    if (near(w, query.a) || near(h, query.a)) return 2;
    return entry.sheet && labelsPerSheet(entry.sheet) === query.a ? 2 : 0;
  }
  if (near(w, query.a) && (h === null ? false : near(h, query.b))) return 2;
  // A roll is loaded either way round, and people say "40 × 60" for a 60 × 40 label.
  if (near(w, query.b) && near(h, query.a)) return 1;
  return 0;
}

function normalized(text: string): string {
  return text.toLowerCase().replace(/[\s\-_./]+/g, '');
}

/** Words a shape is searched by, in both languages of the interface. */
const SHAPE_WORDS: Record<LabelShape, string> = {
  rectangle: 'rectangle rectangular 矩形 方形', round: 'round circle circular 圆形 圆', ellipse: 'ellipse elliptical oval 椭圆',
  cd: 'cd dvd disc media 光盘',
};
const KIND_WORDS: Record<StockKind, string> = {
  'roll-gap': 'roll die-cut 卷 间隙', 'roll-mark': 'roll black mark 卷 黑标', continuous: 'roll continuous 卷 连续', sheet: 'sheet 整张 页',
};

/** Words the template database's categories are searched by, in both languages. */
const CATEGORY_WORDS: Readonly<Record<string, string>> = {
  mail: 'mail mailing shipping address envelope 邮寄 快递 地址', 'name-badge': 'name badge 胸卡 名牌', 'business-card': 'business card 名片',
  filing: 'file folder filing 文件 档案', media: 'media 光盘', photo: 'photo 照片', foldable: 'foldable card', card: 'card 卡片',
};

/** The searched texts of an entry, normalised once: a search over thousands of entries runs on every keystroke. */
interface Haystack {
  code: string;
  maker: string;
  other: string[];
}

const haystacks = new WeakMap<StockEntry, Haystack>();

function haystackOf(entry: StockEntry): Haystack {
  let found = haystacks.get(entry);
  if (!found) {
    const words = (text: string): string[] => text.split(/\s+/).map(normalized).filter(Boolean);
    const paper = entry.sheet ? (entry.sheet.paper === 'Letter' ? 'letter usletter' : entry.sheet.paper) : '';
    found = {
      code: normalized(entry.code ?? ''),
      maker: normalized(entry.maker ?? ''),
      other: [normalized(entry.equivalentTo ?? ''), ...words(`${entry.description ?? ''} ${paper} ${entry.kind} ${SHAPE_WORDS[entry.shape] ?? ''} ${KIND_WORDS[entry.kind] ?? ''} ${(entry.categories ?? []).map((c) => CATEGORY_WORDS[c] ?? '').join(' ')}`)]
        .filter(Boolean),
    };
    haystacks.set(entry, found);
  }
  return found;
}

/** How well one typed word names an entry: its part number exactly, then the start of it, then anywhere; 0 for not at all. */
function wordScore(entry: StockEntry, word: string): number {
  const h = haystackOf(entry);
  if (h.code === word) return 8;
  if (h.code.startsWith(word)) return 6;
  if (h.maker === word) return 5;
  if (h.code.includes(word)) return 4;
  if (h.maker.startsWith(word)) return 3;
  if (h.other.some((s) => s.startsWith(word))) return 2;
  return h.maker.includes(word) || h.other.some((s) => s.includes(word)) ? 1 : 0;
}

/** Every word must match; the sum of their scores, or 0. */
function textScore(entry: StockEntry, words: readonly string[]): number {
  let total = 0;
  for (const word of words) {
    const score = wordScore(entry, word);
    if (score === 0) return 0;
    total += score;
  }
  return total;
}

/**
 * Entries matching a typed query, best first: a size ("60x40", "4x6 in"), a count of labels per
 * sheet ("21"), a product code or maker ("DK-11201", "dk11201"), a paper or a kind ("A4 21",
 * "62 mm continuous"). Every word must match; an empty query keeps every entry.
 */
export function searchStock(query: string, entries: readonly StockEntry[] = STOCK, filter: StockFilter = {}): StockEntry[] {
  const pool = filterStock(entries, filter);
  const text = query.trim();
  if (!text) return pool;
  const wordsOf = (s: string): string[] => s.split(/\s+/).map(normalized).filter(Boolean);
  const ranked = (words: string[], size: SizeQuery | null): StockEntry[] => {
    const scored: { entry: StockEntry; index: number; score: number; fit: number }[] = [];
    pool.forEach((entry, index) => {
      const score = words.length > 0 ? textScore(entry, words) : 1;
      const fit = size ? sizeMatch(entry, size) : 1;
      if (score > 0 && fit > 0) scored.push({ entry, index, score, fit });
    });
    scored.sort((x, y) => y.fit - x.fit || y.score - x.score || x.index - y.index);
    return scored.map((s) => s.entry);
  };
  const match = SIZE_IN_TEXT.exec(text);
  if (!match) return ranked(wordsOf(text), null);
  const bySize = ranked(wordsOf(text.slice(0, match.index) + ' ' + text.slice(match.index + match[0].length)), sizeFromMatch(match));
  // "brother 11202" reads as a size of 11202 mm, but the number is part of a code.
  return bySize.length > 0 ? bySize : ranked(wordsOf(text), null);
}

/** "60 × 40 mm", "4 × 6 in", "62 mm" (continuous), "Ø 58 mm" (round). */
export function formatStockSize(entry: Pick<StockEntry, 'widthMm' | 'heightMm' | 'unit' | 'shape'>): string {
  const scale = entry.unit === 'in' ? MM_PER_INCH : 1;
  const show = (mm: number): string => String(Math.round((mm / scale) * 1000) / 1000);
  const unit = entry.unit === 'in' ? ' in' : ' mm';
  if (entry.heightMm === null) return show(entry.widthMm) + unit;
  if ((entry.shape === 'round' || entry.shape === 'cd') && Math.abs(entry.widthMm - entry.heightMm) < 0.01) return 'Ø ' + show(entry.widthMm) + unit;
  return `${show(entry.widthMm)} × ${show(entry.heightMm)}${unit}`;
}

// ---- Sheet geometry ------------------------------------------------------------------------

/** The sheet's blocks of labels, its own grid first. */
export function sheetBlocks(sheet: SheetGeometry): SheetBlock[] {
  const { columns, rows, marginLeftMm, marginTopMm, pitchXMm, pitchYMm } = sheet;
  return [{ columns, rows, marginLeftMm, marginTopMm, pitchXMm, pitchYMm }, ...(sheet.blocks ?? [])];
}

export function labelsPerSheet(sheet: SheetGeometry): number {
  return sheetBlocks(sheet).reduce((sum, b) => sum + b.columns * b.rows, 0);
}

/** Top-left corner of the label in (column, row) of a block (the sheet's own grid by default), counted from 0, on the paper. */
export function labelOrigin(block: SheetBlock, column: number, row: number): { xMm: number; yMm: number } {
  return { xMm: block.marginLeftMm + column * block.pitchXMm, yMm: block.marginTopMm + row * block.pitchYMm };
}

export interface SheetPlacement {
  /** Which sheet of the job, from 0. */
  sheetIndex: number;
  /** 1-based position on its sheet, across then down, as printed on label boxes. */
  position: number;
  column: number;
  row: number;
  xMm: number;
  yMm: number;
}

/**
 * Where `count` labels go, filling a partly used first sheet from `startPosition` (1-based,
 * across then down) and every further sheet from its first position.
 */
export function placeLabels(sheet: SheetGeometry, count: number, startPosition = 1): SheetPlacement[] {
  const blocks = sheetBlocks(sheet);
  const perSheet = labelsPerSheet(sheet);
  const first = Math.min(Math.max(1, Math.floor(startPosition) || 1), perSheet) - 1;
  const placements: SheetPlacement[] = [];
  for (let i = 0; i < count; i++) {
    const slot = first + i;
    const onSheet = slot % perSheet;
    let inBlock = onSheet;
    let block = blocks[0];
    for (const b of blocks) {
      block = b;
      if (inBlock < b.columns * b.rows) break;
      inBlock -= b.columns * b.rows;
    }
    const column = inBlock % block.columns;
    const row = Math.floor(inBlock / block.columns);
    placements.push({ sheetIndex: Math.floor(slot / perSheet), position: onSheet + 1, column, row, ...labelOrigin(block, column, row) });
  }
  return placements;
}

// ---- The user's own stock ------------------------------------------------------------------

export type StockProblem = 'kind' | 'size' | 'shape' | 'corner' | 'gap' | 'grid' | 'pitch' | 'fit';

/** Slack for figures converted from inches and rounded. */
const FIT_EPSILON_MM = 0.01;

/** What is wrong with a stock's geometry, empty when it can be printed on. */
export function stockProblems(entry: Omit<StockEntry, 'id' | 'source' | 'verified' | 'maker' | 'code'>): StockProblem[] {
  const problems: StockProblem[] = [];
  const positive = (v: unknown): v is number => typeof v === 'number' && Number.isFinite(v) && v > 0 && v <= 2000;
  const offset = (v: unknown): boolean => typeof v === 'number' && Number.isFinite(v) && v >= 0 && v <= 2000;
  if (!['roll-gap', 'roll-mark', 'continuous', 'sheet'].includes(entry.kind)) problems.push('kind');
  const continuous = entry.kind === 'continuous';
  const width = entry.widthMm;
  const height = entry.heightMm;
  if (!positive(width) || (continuous ? height !== null : !positive(height))) return [...problems, 'size'];
  const shortSide = Math.min(width, height ?? width);
  if (!['rectangle', 'round', 'ellipse', 'cd'].includes(entry.shape)) problems.push('shape');
  if (entry.shape === 'round' && (continuous || Math.abs(width - (height ?? 0)) > FIT_EPSILON_MM)) problems.push('shape');
  if ((entry.shape === 'ellipse' || entry.shape === 'cd') && continuous) problems.push('shape');
  if (entry.holeDiameterMm !== undefined && (entry.shape !== 'cd' || !offset(entry.holeDiameterMm) || entry.holeDiameterMm >= shortSide)) problems.push('shape');
  if (entry.cornerRadiusMm !== undefined && (!offset(entry.cornerRadiusMm) || entry.cornerRadiusMm > shortSide / 2)) problems.push('corner');
  if (entry.gapMm !== undefined && (!offset(entry.gapMm) || entry.kind === 'sheet')) problems.push('gap');
  if (entry.kind === 'sheet') problems.push(...sheetProblems(entry.sheet, width, height ?? 0));
  else if (entry.sheet !== undefined) problems.push('kind');
  return problems;
}

/** What keeps a sheet from holding labels of this size; empty when every label fits. */
export function sheetProblems(sheet: SheetGeometry | undefined, width: number, height: number): StockProblem[] {
  if (!sheet || typeof sheet !== 'object') return ['grid'];
  const whole = (v: unknown): boolean => Number.isInteger(v) && (v as number) >= 1 && (v as number) <= 100;
  const numbers = [sheet.paperWidthMm, sheet.paperHeightMm, sheet.marginLeftMm, sheet.marginTopMm, sheet.pitchXMm, sheet.pitchYMm];
  if (!whole(sheet.columns) || !whole(sheet.rows) || !numbers.every((v) => typeof v === 'number' && Number.isFinite(v) && v >= 0)) return ['grid'];
  if (!['A4', 'Letter', 'custom'].includes(sheet.paper)) return ['grid'];
  if (sheet.blocks !== undefined && (!Array.isArray(sheet.blocks) || sheet.blocks.length > 20)) return ['grid'];
  const blocks = sheetBlocks(sheet);
  const problems = new Set<StockProblem>();
  for (const b of blocks) {
    const figures = [b?.marginLeftMm, b?.marginTopMm, b?.pitchXMm, b?.pitchYMm];
    if (!b || !whole(b.columns) || !whole(b.rows) || !figures.every((v) => typeof v === 'number' && Number.isFinite(v) && v >= 0)) return ['grid'];
    if ((b.columns > 1 && b.pitchXMm < width - FIT_EPSILON_MM) || (b.rows > 1 && b.pitchYMm < height - FIT_EPSILON_MM)) problems.add('pitch');
    const last = labelOrigin(b, b.columns - 1, b.rows - 1);
    if (last.xMm + width > sheet.paperWidthMm + FIT_EPSILON_MM || last.yMm + height > sheet.paperHeightMm + FIT_EPSILON_MM) problems.add('fit');
  }
  return [...problems];
}

export type StockInput = Omit<StockEntry, 'id' | 'source' | 'verified' | 'maker' | 'code'> & { maker?: string | null; code?: string | null };

/** The same geometry always gets the same id, so a stock saved in a project and in the page's list is one stock. */
export function customStockId(input: StockInput): string {
  const s = input.sheet;
  const parts: (string | number)[] = [input.kind, input.widthMm, input.heightMm ?? 'c', input.shape, input.cornerRadiusMm ?? '', input.gapMm ?? ''];
  if (s) parts.push(s.paper, s.paperWidthMm, s.paperHeightMm, s.columns, s.rows, s.marginLeftMm, s.marginTopMm, s.pitchXMm, s.pitchYMm);
  // Added after the figures of earlier stock, whose ids stay as they were.
  if (input.holeDiameterMm !== undefined) parts.push('hole', input.holeDiameterMm);
  for (const b of s?.blocks ?? []) parts.push(b.columns, b.rows, b.marginLeftMm, b.marginTopMm, b.pitchXMm, b.pitchYMm);
  return 'custom-' + parts.join('_');
}

export type CustomStockResult = { ok: true; entry: StockEntry } | { ok: false; problems: StockProblem[] };

/** Checks what a user entered (or what storage held) and makes it a stock entry. */
export function makeCustomStock(raw: unknown): CustomStockResult {
  if (!raw || typeof raw !== 'object') return { ok: false, problems: ['kind'] };
  const r = raw as Record<string, unknown>;
  const sheet = r.sheet && typeof r.sheet === 'object' ? { ...(r.sheet as SheetGeometry) } : undefined;
  const input: StockInput = {
    kind: r.kind as StockKind,
    unit: r.unit === 'in' ? 'in' : 'mm',
    widthMm: r.widthMm as number,
    heightMm: r.heightMm as number | null,
    shape: (r.shape ?? 'rectangle') as LabelShape,
    ...(r.cornerRadiusMm !== undefined ? { cornerRadiusMm: r.cornerRadiusMm as number } : {}),
    ...(r.holeDiameterMm !== undefined ? { holeDiameterMm: r.holeDiameterMm as number } : {}),
    ...(r.gapMm !== undefined ? { gapMm: r.gapMm as number } : {}),
    ...(sheet ? { sheet } : {}),
  };
  const problems = stockProblems(input);
  if (problems.length > 0) return { ok: false, problems };
  const maker = typeof r.maker === 'string' && r.maker.trim() ? r.maker.trim() : null;
  const code = typeof r.code === 'string' && r.code.trim() ? r.code.trim() : null;
  const named = {
    ...(typeof r.description === 'string' && r.description ? { description: r.description } : {}),
    ...(typeof r.equivalentTo === 'string' && r.equivalentTo ? { equivalentTo: r.equivalentTo } : {}),
    ...(Array.isArray(r.categories) && r.categories.length > 0 ? { categories: r.categories.filter((c): c is string => typeof c === 'string').slice(0, 20) } : {}),
  };
  // A maker's label from the system's template database keeps its name, and stays out of the user's own list.
  if (r.source === SYSTEM_SOURCE && typeof r.id === 'string' && r.id.startsWith('system-') && maker && code) {
    return { ok: true, entry: { ...input, ...named, id: r.id, maker, code, source: SYSTEM_SOURCE, verified: false } };
  }
  return { ok: true, entry: { ...input, ...named, id: customStockId(input), maker, code, source: 'user', verified: false } };
}

/** Reads a stored list leniently: entries that no longer pass are dropped, never the whole list. */
export function readCustomStock(raw: unknown): StockEntry[] {
  if (!Array.isArray(raw)) return [];
  const seen = new Set<string>();
  const entries: StockEntry[] = [];
  for (const item of raw) {
    const result = makeCustomStock(item);
    if (result.ok && !seen.has(result.entry.id)) {
      seen.add(result.entry.id);
      entries.push(result.entry);
    }
  }
  return entries;
}

/** What the page's storage offers; `window.localStorage` is one. */
export interface StockStorage {
  getItem(key: string): string | null;
  setItem(key: string, value: string): void;
}

export const CUSTOM_STOCK_KEY = 'quillmark.customStock';

export function loadCustomStock(storage: StockStorage): StockEntry[] {
  try {
    return readCustomStock(JSON.parse(storage.getItem(CUSTOM_STOCK_KEY) ?? '[]'));
  } catch {
    return [];
  }
}

export function saveCustomStock(storage: StockStorage, entries: readonly StockEntry[]): void {
  storage.setItem(CUSTOM_STOCK_KEY, JSON.stringify(entries));
}
