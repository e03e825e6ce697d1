// Label stock from the system's label-template database (the host's `listLabelTemplates`): each
// maker's sheet or die-cut roll as a stock entry, checked like any other, and merged with
// Quillmark's own stock so that a maker's part is offered once.

import {
  makeCustomStock, PaperName, SheetBlock, SheetGeometry, StockEntry, StockKind, SYSTEM_SOURCE,
} from './stock';

const SHAPES: Readonly<Record<string, StockEntry['shape']>> = { rectangle: 'rectangle', round: 'round', ellipse: 'ellipse', cd: 'cd' };
const PAPER_NAMES: Readonly<Record<string, PaperName>> = { A4: 'A4', 'US-Letter': 'Letter' };

function isRecord(value: unknown): value is Record<string, unknown> {
  return typeof value === 'object' && value !== null && !Array.isArray(value);
}

const num = (v: unknown): number => (typeof v === 'number' && Number.isFinite(v) ? v : NaN);
const text = (v: unknown): string => (typeof v === 'string' ? v.trim() : '');

/** One maker's part, by maker and part number whatever their case and punctuation. */
export function stockKey(maker: string | null, code: string | null): string {
  const norm = (s: string | null): string => (s ?? '').toLowerCase().replace(/[\s\-_./]+/g, '');
  return `${norm(maker)}\u0000${norm(code)}`;
}

function blockOf(raw: unknown): SheetBlock | null {
  if (!isRecord(raw)) return null;
  return {
    columns: num(raw.nx), rows: num(raw.ny), marginLeftMm: num(raw.x0Mm), marginTopMm: num(raw.y0Mm),
    pitchXMm: num(raw.dxMm) || 0, pitchYMm: num(raw.dyMm) || 0,
  };
}

/** A label the size of its paper, alone on it, is a die-cut label on a roll; anything else is a sheet. */
function isRollLabel(paper: { w: number; h: number }, width: number, height: number, blocks: SheetBlock[]): boolean {
  const near = (a: number, b: number): boolean => Math.abs(a - b) < 0.5;
  return blocks.length === 1 && blocks[0].columns === 1 && blocks[0].rows === 1 && near(paper.w, width) && near(paper.h, height);
}

/** One entry of the host's list as stock; null when it is not one Quillmark can print on. */
export function stockOfTemplate(raw: unknown): StockEntry | null {
  if (!isRecord(raw)) return null;
  const maker = text(raw.brand);
  const code = text(raw.part);
  const shape = SHAPES[text(raw.shape)];
  const widthMm = num(raw.widthMm);
  const heightMm = num(raw.heightMm);
  const blocks = (Array.isArray(raw.layouts) ? raw.layouts : []).map(blockOf);
  if (!maker || !code || !shape || blocks.length === 0 || blocks.some((b) => b === null)) return null;
  const [first, ...more] = blocks as SheetBlock[];
  const paper = { w: num(raw.paperWidthMm), h: num(raw.paperHeightMm) };
  const roll = isRollLabel(paper, widthMm, heightMm, [first, ...more]);
  const kind: StockKind = roll ? 'roll-gap' : 'sheet';
  const sheet: SheetGeometry = {
    paper: PAPER_NAMES[text(raw.paper)] ?? 'custom', paperWidthMm: paper.w, paperHeightMm: paper.h, ...first,
    ...(more.length > 0 ? { blocks: more } : {}),
  };
  const corner = num(raw.cornerRadiusMm);
  const hole = num(raw.holeDiameterMm);
  const candidate = {
    id: `system-${stockKey(maker, code).replace('\u0000', '-')}`, source: SYSTEM_SOURCE, maker, code,
    kind, unit: raw.unit === 'in' ? 'in' : 'mm', widthMm, heightMm, shape,
    ...(shape === 'rectangle' && corner > 0 ? { cornerRadiusMm: corner } : {}),
    ...(shape === 'cd' && hole > 0 ? { holeDiameterMm: hole } : {}),
    ...(roll ? {} : { sheet }),
    ...(text(raw.description) ? { description: text(raw.description) } : {}),
    ...(text(raw.equivalentTo) ? { equivalentTo: text(raw.equivalentTo) } : {}),
    ...(Array.isArray(raw.categories) ? { categories: raw.categories } : {}),
  };
  const made = makeCustomStock(candidate);
  return made.ok ? made.entry : null;
}

/** The host's list as stock, leaving out what cannot be printed on. */
export function stockOfTemplates(raw: unknown): StockEntry[] {
  return (Array.isArray(raw) ? raw : []).map(stockOfTemplate).filter((e): e is StockEntry => e !== null);
}

/** Quillmark's own entries first; a system entry of a maker's part already there is left out. */
export function mergeStock(own: readonly StockEntry[], system: readonly StockEntry[]): StockEntry[] {
  const known = new Set(own.filter((e) => e.maker && e.code).map((e) => stockKey(e.maker, e.code)));
  return [...own, ...system.filter((e) => !known.has(stockKey(e.maker, e.code)))];
}
