// The label document: a size in millimetres and a list of objects placed in millimetres.
// Documents are immutable values; every edit returns a new document so that undo can keep
// old ones by reference and the renderer can draw any of them without the editor.

import { DEFAULT_MERGE, MergeSettings, sheetOfStock } from './merge';
import type { OutputSettings } from './output';
import type { StockEntry } from './stock';
import { roundMm } from './units';

/** Degrees clockwise in [0, 360); barcodes keep to quarter turns (see normaliseRotation). */
export type Rotation = number;
export type TextAlign = 'left' | 'center' | 'right';
export type VerticalAlign = 'top' | 'middle' | 'bottom';

export type Symbology =
  | 'code128'
  | 'ean13'
  | 'upca'
  | 'code39'
  | 'itf14'
  | 'qrcode'
  | 'datamatrix'
  | 'pdf417'
  | 'gs1-128'
  | 'gs1datamatrix'
  | 'ean8'
  | 'upce'
  | 'code93'
  | 'rationalizedCodabar'
  | 'azteccode'
  | 'databaromni'
  | 'databarlimited'
  | 'databarexpanded';

/** A barcode's narrow-bar width, as the user gave it: millimetres, or dots of the printer. */
export type XdimSetting = { mm: number } | { dots: number };
/** The faces bwip-js draws human-readable text in; OCR-B is what retail codes print. */
export type BarcodeFont = 'OCR-B' | 'OCR-A';
export const BARCODE_FONTS: readonly BarcodeFont[] = ['OCR-B', 'OCR-A'];

interface ObjectBase {
  id: string;
  /** Unrotated box; rotation turns it about its centre. */
  xMm: number;
  yMm: number;
  widthMm: number;
  heightMm: number;
  rotation: Rotation;
  locked: boolean;
}

export interface TextObject extends ObjectBase {
  type: 'text';
  text: string;
  fontFamily: string;
  fontSizePt: number;
  bold: boolean;
  italic: boolean;
  align: TextAlign;
  verticalAlign: VerticalAlign;
  /** Break lines at the box's width. */
  wrap: boolean;
  /** Reduce the font size until the text fits the box. */
  shrinkToFit: boolean;
  color: string;
  /** Set in columns top to bottom, right to left: CJK upright, Latin turned a quarter clockwise. */
  vertical?: boolean;
}

export interface BarcodeObject extends ObjectBase {
  type: 'barcode';
  symbology: Symbology;
  data: string;
  showText: boolean;
  color: string;
  /**
   * Narrow-bar width; the box's width (and a 2D symbol's height) follow from it. Absent in
   * barcodes made before it existed: those keep filling their box as they always printed.
   */
  xdim?: XdimSetting;
  textFont: BarcodeFont;
  /** Human-readable text size; absent: in proportion to the bars, as older projects printed. */
  textSizePt?: number;
}

export interface ImageObject extends ObjectBase {
  type: 'image';
  /** The picture itself, embedded as a data URL so a project file is complete on its own. */
  src: string;
  keepAspect: boolean;
  /** A data source column whose cells name each record's picture file; empty: `src` for every label. */
  srcColumn?: string;
}

export interface ShapeStyle {
  strokeMm: number;
  strokeColor: string;
  /** Empty string: no fill. */
  fillColor: string;
}

export interface RectObject extends ObjectBase, ShapeStyle {
  type: 'rect';
  cornerRadiusMm: number;
}

export interface EllipseObject extends ObjectBase, ShapeStyle {
  type: 'ellipse';
}

/** A straight line across the middle of its box; rotate it by 90° for a vertical line. */
export interface LineObject extends ObjectBase {
  type: 'line';
  strokeMm: number;
  strokeColor: string;
}

export type LabelObject = TextObject | BarcodeObject | ImageObject | RectObject | EllipseObject | LineObject;
export type ObjectType = LabelObject['type'];

export interface LabelDocument {
  name: string;
  widthMm: number;
  heightMm: number;
  objects: LabelObject[];
  /** Data source, counter and sheet layout for printing; absent until someone sets them. */
  merge?: MergeSettings;
  /** The label stock the project was made for; kept whole so user-defined stock travels with it. */
  stock?: StockEntry;
  /** The printer and settings the project was last printed with. */
  output?: OutputSettings;
}

export const OBJECT_TYPES: readonly ObjectType[] = ['text', 'barcode', 'image', 'rect', 'ellipse', 'line'];
export const SYMBOLOGIES: readonly Symbology[] = [
  'code128', 'gs1-128', 'ean13', 'upca', 'code39', 'itf14', 'qrcode', 'datamatrix', 'gs1datamatrix', 'pdf417',
  'ean8', 'upce', 'code93', 'rationalizedCodabar', 'azteccode', 'databaromni', 'databarlimited', 'databarexpanded',
];
/** How each symbology is called wherever the interface names it. */
export const SYMBOLOGY_NAMES: Record<Symbology, string> = {
  code128: 'Code 128', 'gs1-128': 'GS1-128', ean13: 'EAN-13', upca: 'UPC-A', code39: 'Code 39', itf14: 'ITF-14', qrcode: 'QR Code',
  datamatrix: 'Data Matrix', gs1datamatrix: 'GS1 DataMatrix', pdf417: 'PDF417',
  ean8: 'EAN-8', upce: 'UPC-E', code93: 'Code 93', rationalizedCodabar: 'Codabar', azteccode: 'Aztec Code',
  databaromni: 'GS1 DataBar', databarlimited: 'GS1 DataBar Limited', databarexpanded: 'GS1 DataBar Expanded',
};
/** Symbols of rows and columns of modules: no human-readable line, modules kept square. */
export const TWO_D_SYMBOLOGIES: readonly Symbology[] = ['qrcode', 'datamatrix', 'gs1datamatrix', 'pdf417', 'azteccode'];
/** Data in GS1 (AI) notation, checked and completed before encoding. */
export const GS1_SYMBOLOGIES: readonly Symbology[] = ['gs1-128', 'gs1datamatrix', 'databaromni', 'databarlimited', 'databarexpanded'];

export const MIN_SIZE_MM = 0.1;
export const MAX_LABEL_MM = 2000;
export const DEFAULT_FONT = 'Noto Sans CJK SC';

let idCounter = 0;
/** Ids only need to be unique within one document; time plus a counter keeps pasted copies apart. */
export function newId(): string {
  idCounter += 1;
  return `o${Date.now().toString(36)}${idCounter.toString(36)}`;
}

export function createDocument(name = '', widthMm = 50, heightMm = 30): LabelDocument {
  return { name, widthMm, heightMm, objects: [] };
}

/** Length given to a label on a continuous roll until the user says otherwise. */
export const DEFAULT_CONTINUOUS_LENGTH_MM = 30;

/**
 * A new, empty label made for a stock: its size, and for a sheet the layout print and PDF place
 * labels by. A continuous roll has no length of its own; the user picks one.
 */
export function createDocumentForStock(stock: StockEntry, lengthMm = DEFAULT_CONTINUOUS_LENGTH_MM): LabelDocument {
  // The stock's own figures, unrounded: 2.625 in is 66.675 mm, and labels sit at the stock's pitch.
  const doc = createDocument('', stock.widthMm, stock.heightMm ?? clamp(roundMm(lengthMm), 1, MAX_LABEL_MM));
  return { ...doc, stock, merge: { ...DEFAULT_MERGE, sheet: sheetOfStock(stock) } };
}

const BASE = { xMm: 0, yMm: 0, rotation: 0 as Rotation, locked: false };

/** A new object of a type with sensible defaults, placed at the given position. */
export function createObject(type: ObjectType, xMm = 2, yMm = 2): LabelObject {
  const at = { ...BASE, id: newId(), xMm, yMm };
  switch (type) {
    case 'text':
      return {
        ...at, type, widthMm: 30, heightMm: 8, text: '文本', fontFamily: DEFAULT_FONT, fontSizePt: 12,
        bold: false, italic: false, align: 'left', verticalAlign: 'top', wrap: true, shrinkToFit: false,
        color: '#000000',
      };
    case 'barcode':
      return { ...at, type, widthMm: 40, heightMm: 15, symbology: 'code128', data: '123456789012', showText: true, color: '#000000', textFont: 'OCR-B' };
    case 'image':
      return { ...at, type, widthMm: 20, heightMm: 20, src: '', keepAspect: true };
    case 'rect':
      return { ...at, type, widthMm: 20, heightMm: 12, strokeMm: 0.3, strokeColor: '#000000', fillColor: '', cornerRadiusMm: 0 };
    case 'ellipse':
      return { ...at, type, widthMm: 16, heightMm: 12, strokeMm: 0.3, strokeColor: '#000000', fillColor: '' };
    case 'line':
      return { ...at, type, widthMm: 30, heightMm: 1, strokeMm: 0.3, strokeColor: '#000000' };
  }
}

/** A barcode object with defaults that suit its symbology (square box for 2D codes, valid sample data). */
export function createBarcode(symbology: Symbology, xMm = 2, yMm = 2): BarcodeObject {
  const barcode = createObject('barcode', xMm, yMm) as BarcodeObject;
  const twoD = TWO_D_SYMBOLOGIES.includes(symbology);
  // QR and Data Matrix symbols are square; PDF417 is a wide stack of rows.
  const square = twoD && symbology !== 'pdf417';
  return {
    ...barcode, symbology, data: SAMPLE_DATA[symbology], widthMm: square ? 15 : 40, heightMm: 15, showText: !twoD,
    xdim: { mm: defaultXdimMm(symbology) },
  };
}

/** A new barcode's narrow-bar width: the nominal one where the standard names it. */
export function defaultXdimMm(symbology: Symbology): number {
  if (['ean13', 'upca', 'ean8', 'upce', 'databaromni', 'databarlimited', 'databarexpanded'].includes(symbology)) return 0.33;
  if (['itf14', 'gs1-128'].includes(symbology)) return 0.5;
  return TWO_D_SYMBOLOGIES.includes(symbology) && symbology !== 'pdf417' ? 0.5 : 0.33;
}

/** Whether an object may turn freely: a barcode at an odd angle prints badly, so it keeps quarter turns. */
export function turnsFreely(o: Pick<LabelObject, 'type'>): boolean {
  return o.type !== 'barcode';
}

export const SAMPLE_DATA: Record<Symbology, string> = {
  code128: '123456789012',
  ean13: '690123456789',
  upca: '01234567890',
  code39: 'QUILLMARK',
  itf14: '1690123456789',
  qrcode: 'https://example.com',
  datamatrix: 'QUILLMARK',
  pdf417: 'QUILLMARK',
  'gs1-128': '(01)09506000134352(10)ABC123',
  gs1datamatrix: '(01)09506000134352(17)261231',
  ean8: '9638507',
  upce: '0123456',
  code93: 'QUILLMARK-93',
  // Codabar starts and ends with one of A, B, C or D.
  rationalizedCodabar: 'A40156B',
  azteccode: 'QUILLMARK',
  databaromni: '(01)09506000134352',
  databarlimited: '(01)09506000134352',
  databarexpanded: '(01)09506000134352(10)ABC123',
};

// ---------------------------------------------------------------------------------------------
// Pure edits. Each returns a new document and leaves the old one untouched.

export function addObjects(doc: LabelDocument, objects: LabelObject[]): LabelDocument {
  return { ...doc, objects: [...doc.objects, ...objects] };
}

export function removeObjects(doc: LabelDocument, ids: readonly string[]): LabelDocument {
  const gone = new Set(ids);
  const unlocked = doc.objects.filter((o) => !(gone.has(o.id) && !o.locked));
  return unlocked.length === doc.objects.length ? doc : { ...doc, objects: unlocked };
}

/** Applies a patch to one object; sizes are kept positive and positions rounded to 0.1 mm. */
export function updateObject(doc: LabelDocument, id: string, patch: Partial<LabelObject>): LabelDocument {
  let changed = false;
  const objects = doc.objects.map((o) => {
    if (o.id !== id) return o;
    const next = normaliseGeometry({ ...o, ...patch, id: o.id, type: o.type } as LabelObject);
    if (shallowEqual(o, next)) return o;
    changed = true;
    return next;
  });
  return changed ? { ...doc, objects } : doc;
}

export function updateObjects(doc: LabelDocument, patches: ReadonlyMap<string, Partial<LabelObject>>): LabelDocument {
  let next = doc;
  patches.forEach((patch, id) => {
    next = updateObject(next, id, patch);
  });
  return next;
}

export function setLabelSize(doc: LabelDocument, widthMm: number, heightMm: number): LabelDocument {
  const w = clamp(roundMm(widthMm), 1, MAX_LABEL_MM);
  const h = clamp(roundMm(heightMm), 1, MAX_LABEL_MM);
  if (w === doc.widthMm && h === doc.heightMm) return doc;
  // A label no longer the stock's size is no longer made for that stock (a continuous roll fixes only the width).
  const { stock, ...rest } = doc;
  const fits = stock && Math.abs(stock.widthMm - w) < 0.05 && (stock.heightMm === null || Math.abs(stock.heightMm - h) < 0.05);
  return { ...rest, ...(fits ? { stock } : {}), widthMm: w, heightMm: h };
}

export function renameDocument(doc: LabelDocument, name: string): LabelDocument {
  return name === doc.name ? doc : { ...doc, name };
}

/** Copies of the given objects with new ids, shifted by an offset; locks are not copied. */
export function cloneObjects(objects: readonly LabelObject[], offsetMm: number): LabelObject[] {
  return objects.map((o) => ({
    ...o, id: newId(), locked: false, xMm: roundMm(o.xMm + offsetMm), yMm: roundMm(o.yMm + offsetMm),
  }));
}

export function duplicateObjects(doc: LabelDocument, ids: readonly string[], offsetMm = 2): { doc: LabelDocument; ids: string[] } {
  const chosen = doc.objects.filter((o) => ids.includes(o.id));
  const copies = cloneObjects(chosen, offsetMm);
  return { doc: addObjects(doc, copies), ids: copies.map((o) => o.id) };
}

/** Moves unlocked objects by a distance, as the arrow keys and dragging do. */
export function moveObjects(doc: LabelDocument, ids: readonly string[], dxMm: number, dyMm: number): LabelDocument {
  const patches = new Map<string, Partial<LabelObject>>();
  for (const o of doc.objects) {
    if (ids.includes(o.id) && !o.locked) patches.set(o.id, { xMm: o.xMm + dxMm, yMm: o.yMm + dyMm });
  }
  return updateObjects(doc, patches);
}

export function rotateObjects(doc: LabelDocument, ids: readonly string[], byDegrees: 90 | -90): LabelDocument {
  const patches = new Map<string, Partial<LabelObject>>();
  for (const o of doc.objects) {
    if (ids.includes(o.id) && !o.locked) patches.set(o.id, { rotation: o.rotation + byDegrees });
  }
  return updateObjects(doc, patches);
}

export function setLocked(doc: LabelDocument, ids: readonly string[], locked: boolean): LabelDocument {
  const patches = new Map<string, Partial<LabelObject>>();
  for (const id of ids) patches.set(id, { locked });
  return updateObjects(doc, patches);
}

export type ZOrderMove = 'front' | 'back' | 'forward' | 'backward';

/** Changes the stacking order; the selection keeps its internal order. */
export function reorderObjects(doc: LabelDocument, ids: readonly string[], move: ZOrderMove): LabelDocument {
  const chosen = new Set(ids);
  const list = doc.objects.slice();
  if (move === 'front' || move === 'back') {
    const picked = list.filter((o) => chosen.has(o.id));
    const rest = list.filter((o) => !chosen.has(o.id));
    const objects = move === 'front' ? [...rest, ...picked] : [...picked, ...rest];
    return sameOrder(doc.objects, objects) ? doc : { ...doc, objects };
  }
  if (move === 'forward') {
    for (let i = list.length - 2; i >= 0; i--) {
      if (chosen.has(list[i].id) && !chosen.has(list[i + 1].id)) [list[i], list[i + 1]] = [list[i + 1], list[i]];
    }
  } else {
    for (let i = 1; i < list.length; i++) {
      if (chosen.has(list[i].id) && !chosen.has(list[i - 1].id)) [list[i], list[i - 1]] = [list[i - 1], list[i]];
    }
  }
  return sameOrder(doc.objects, list) ? doc : { ...doc, objects: list };
}

// ---------------------------------------------------------------------------------------------
// Geometry

export interface Box {
  xMm: number;
  yMm: number;
  widthMm: number;
  heightMm: number;
}

/**
 * The upright box an object covers on the label after its rotation about its centre: quarter
 * turns swap width and height exactly, other angles give the box around the turned corners.
 */
export function visualBox(o: Box & { rotation: Rotation }): Box {
  const cx = o.xMm + o.widthMm / 2;
  const cy = o.yMm + o.heightMm / 2;
  if (o.rotation === 90 || o.rotation === 270) {
    return { xMm: cx - o.heightMm / 2, yMm: cy - o.widthMm / 2, widthMm: o.heightMm, heightMm: o.widthMm };
  }
  if (o.rotation % 180 === 0) return { xMm: o.xMm, yMm: o.yMm, widthMm: o.widthMm, heightMm: o.heightMm };
  const a = (o.rotation * Math.PI) / 180;
  const w = Math.abs(o.widthMm * Math.cos(a)) + Math.abs(o.heightMm * Math.sin(a));
  const h = Math.abs(o.widthMm * Math.sin(a)) + Math.abs(o.heightMm * Math.cos(a));
  return { xMm: cx - w / 2, yMm: cy - h / 2, widthMm: w, heightMm: h };
}

/** Where a point given in an object's own unrotated frame (mm from its box's corner) lies on the label. */
export function labelPoint(o: Box & { rotation: Rotation }, xMm: number, yMm: number): { x: number; y: number } {
  const cx = o.xMm + o.widthMm / 2;
  const cy = o.yMm + o.heightMm / 2;
  const a = (o.rotation * Math.PI) / 180;
  const dx = o.xMm + xMm - cx, dy = o.yMm + yMm - cy;
  return { x: cx + dx * Math.cos(a) - dy * Math.sin(a), y: cy + dx * Math.sin(a) + dy * Math.cos(a) };
}

export function boxesOverlap(a: Box, b: Box): boolean {
  return a.xMm < b.xMm + b.widthMm && b.xMm < a.xMm + a.widthMm && a.yMm < b.yMm + b.heightMm && b.yMm < a.yMm + a.heightMm;
}

export function unionBox(boxes: readonly Box[]): Box | null {
  if (boxes.length === 0) return null;
  let left = Infinity, top = Infinity, right = -Infinity, bottom = -Infinity;
  for (const b of boxes) {
    left = Math.min(left, b.xMm);
    top = Math.min(top, b.yMm);
    right = Math.max(right, b.xMm + b.widthMm);
    bottom = Math.max(bottom, b.yMm + b.heightMm);
  }
  return { xMm: left, yMm: top, widthMm: right - left, heightMm: bottom - top };
}

/** Space left between a new object and those it is placed beside. */
const PLACE_GAP_MM = 1;

/**
 * Where a new upright box of this size goes: the middle of the label when nothing is there, else
 * the free spot nearest the middle (beside another object's edge or the label's), and the middle
 * when the label has no room left.
 */
export function freeSpot(doc: LabelDocument, widthMm: number, heightMm: number): { xMm: number; yMm: number } {
  const maxX = Math.max(0, doc.widthMm - widthMm), maxY = Math.max(0, doc.heightMm - heightMm);
  const middle = { xMm: maxX / 2, yMm: maxY / 2 };
  const taken = doc.objects.map(visualBox);
  const free = (xMm: number, yMm: number) => !taken.some((b) => boxesOverlap(b, { xMm, yMm, widthMm, heightMm }));
  if (free(middle.xMm, middle.yMm)) return middle;
  const xs = [middle.xMm, 0, maxX, ...taken.flatMap((b) => [b.xMm + b.widthMm + PLACE_GAP_MM, b.xMm - widthMm - PLACE_GAP_MM])];
  const ys = [middle.yMm, 0, maxY, ...taken.flatMap((b) => [b.yMm + b.heightMm + PLACE_GAP_MM, b.yMm - heightMm - PLACE_GAP_MM])];
  let best: { xMm: number; yMm: number } | null = null, bestDistance = Infinity;
  for (const xMm of xs) {
    if (xMm < 0 || xMm > maxX) continue;
    for (const yMm of ys) {
      if (yMm < 0 || yMm > maxY) continue;
      const distance = Math.hypot(xMm - middle.xMm, yMm - middle.yMm);
      if (distance < bestDistance && free(xMm, yMm)) {
        best = { xMm, yMm };
        bestDistance = distance;
      }
    }
  }
  return best ?? middle;
}

/** Moves an object so that its visual box has its top-left corner at the given point. */
export function placeVisualBox(o: LabelObject, leftMm: number, topMm: number): Partial<LabelObject> {
  const v = visualBox(o);
  return { xMm: o.xMm + (leftMm - v.xMm), yMm: o.yMm + (topMm - v.yMm) };
}

export type AlignEdge = 'left' | 'hcenter' | 'right' | 'top' | 'vcenter' | 'bottom';

/**
 * Aligns objects on one edge. Several objects align to their common box; a single object
 * aligns to the label, which is what people mean by "centre this on the label".
 */
export function alignObjects(doc: LabelDocument, ids: readonly string[], edge: AlignEdge): LabelDocument {
  const chosen = doc.objects.filter((o) => ids.includes(o.id) && !o.locked);
  if (chosen.length === 0) return doc;
  const ref: Box = chosen.length === 1 && ids.length === 1
    ? { xMm: 0, yMm: 0, widthMm: doc.widthMm, heightMm: doc.heightMm }
    : unionBox(doc.objects.filter((o) => ids.includes(o.id)).map(visualBox))!;
  const patches = new Map<string, Partial<LabelObject>>();
  for (const o of chosen) {
    const v = visualBox(o);
    let left = v.xMm, top = v.yMm;
    if (edge === 'left') left = ref.xMm;
    if (edge === 'hcenter') left = ref.xMm + (ref.widthMm - v.widthMm) / 2;
    if (edge === 'right') left = ref.xMm + ref.widthMm - v.widthMm;
    if (edge === 'top') top = ref.yMm;
    if (edge === 'vcenter') top = ref.yMm + (ref.heightMm - v.heightMm) / 2;
    if (edge === 'bottom') top = ref.yMm + ref.heightMm - v.heightMm;
    patches.set(o.id, placeVisualBox(o, left, top));
  }
  return updateObjects(doc, patches);
}

/** Spreads three or more objects so that the gaps between them are equal. */
export function distributeObjects(doc: LabelDocument, ids: readonly string[], axis: 'horizontal' | 'vertical'): LabelDocument {
  const chosen = doc.objects.filter((o) => ids.includes(o.id));
  if (chosen.length < 3) return doc;
  const horizontal = axis === 'horizontal';
  const items = chosen
    .map((o) => ({ o, v: visualBox(o) }))
    .sort((a, b) => (horizontal ? a.v.xMm - b.v.xMm : a.v.yMm - b.v.yMm));
  const start = horizontal ? items[0].v.xMm : items[0].v.yMm;
  const lastItem = items[items.length - 1].v;
  const end = horizontal ? lastItem.xMm + lastItem.widthMm : lastItem.yMm + lastItem.heightMm;
  const total = items.reduce((sum, it) => sum + (horizontal ? it.v.widthMm : it.v.heightMm), 0);
  const gap = (end - start - total) / (items.length - 1);
  const patches = new Map<string, Partial<LabelObject>>();
  let cursor = start;
  for (const { o, v } of items) {
    if (!o.locked) patches.set(o.id, placeVisualBox(o, horizontal ? cursor : v.xMm, horizontal ? v.yMm : cursor));
    cursor += (horizontal ? v.widthMm : v.heightMm) + gap;
  }
  return updateObjects(doc, patches);
}

// ---------------------------------------------------------------------------------------------

/** An angle in [0, 360) to a tenth of a degree; with `quarterTurns`, the nearest quarter turn. */
export function normaliseRotation(degrees: number, quarterTurns = false): Rotation {
  if (!Number.isFinite(degrees)) return 0;
  const step = quarterTurns ? 90 : 0.1;
  const snapped = Math.round(degrees / step) * step;
  const turned = Math.round((((snapped % 360) + 360) % 360) * 10) / 10;
  return turned === 360 ? 0 : turned;
}

function normaliseGeometry<T extends LabelObject>(o: T): T {
  return {
    ...o,
    xMm: roundMm(o.xMm),
    yMm: roundMm(o.yMm),
    widthMm: Math.max(MIN_SIZE_MM, roundMm(o.widthMm)),
    heightMm: Math.max(MIN_SIZE_MM, roundMm(o.heightMm)),
    rotation: normaliseRotation(o.rotation, !turnsFreely(o)),
  };
}

function clamp(value: number, min: number, max: number): number {
  return Math.min(max, Math.max(min, value));
}

function shallowEqual(a: object, b: object): boolean {
  const ka = Object.keys(a);
  if (ka.length !== Object.keys(b).length) return false;
  return ka.every((k) => (a as Record<string, unknown>)[k] === (b as Record<string, unknown>)[k]);
}

function sameOrder(a: readonly LabelObject[], b: readonly LabelObject[]): boolean {
  return a.length === b.length && a.every((o, i) => o === b[i]);
}
