// Designs to begin a label from: each lays out its objects for the label it is given by its own
// rules (margins, rows and type sizes from the label's size, codes in boxes they fill with whole
// modules) rather than stretching one drawing. Texts and barcodes are fields, so a spreadsheet with
// the design's columns merges at once; the words come in the interface's language.

import { createBarcode, createObject, LabelObject, RectObject, Symbology, TextObject, BarcodeObject } from './document';

/** The words a design uses: its name, its fixed texts and the columns it merges. */
export type DesignWord =
  | 'designShelf' | 'designShipping' | 'designAsset' | 'designFood' | 'designBadge' | 'designFolder'
  | 'columnProduct' | 'columnPrice' | 'columnBarcode' | 'columnSender' | 'columnRecipient' | 'columnAddress' | 'columnTracking'
  | 'columnAssetName' | 'columnIngredients' | 'columnName' | 'columnCompany' | 'columnTitle' | 'columnNumber'
  | 'wordAsset' | 'wordIngredients' | 'wordUseBy' | 'wordFrom' | 'wordTo';

export type Words = (word: DesignWord) => string;

export interface Design {
  id: string;
  name: DesignWord;
  /** The columns a data source needs for every field of the design. */
  columns: readonly DesignWord[];
  build(widthMm: number, heightMm: number, words: Words): LabelObject[];
}

interface Box {
  x: number;
  y: number;
  w: number;
  h: number;
}

/** Points for a line of text filling `heightMm`, the box shrinking it further where the text is long. */
const PT_PER_MM = 72 / 25.4;
const fontFor = (heightMm: number): number => Math.max(5, Math.min(72, Math.round(heightMm * PT_PER_MM * 0.72)));

function text(content: string, b: Box, more: Partial<TextObject> = {}): TextObject {
  return {
    ...(createObject('text') as TextObject), xMm: b.x, yMm: b.y, widthMm: b.w, heightMm: b.h, text: content,
    fontSizePt: fontFor(more.wrap ? b.h / 3 : b.h), shrinkToFit: true, wrap: false, ...more,
  };
}

/** A code filling its box with whole modules; no X-dimension, so the box stays the layout's. */
function code(symbology: Symbology, data: string, b: Box): BarcodeObject {
  const { xdim: _, ...made } = createBarcode(symbology, b.x, b.y);
  return { ...made, data, widthMm: b.w, heightMm: b.h };
}

const field = (words: Words, column: DesignWord): string => `{{${words(column)}}}`;

/** The label less its margin: a few per cent of its short side, never less than a printer's edge. */
function inner(w: number, h: number): Box {
  const m = Math.max(1.5, Math.min(6, Math.min(w, h) * 0.06));
  return { x: m, y: m, w: w - 2 * m, h: h - 2 * m };
}

/** Splits a box top to bottom by shares, with a gap between rows. */
function rows(b: Box, shares: number[], gap: number): Box[] {
  const total = shares.reduce((a, s) => a + s, 0);
  const free = b.h - gap * (shares.length - 1);
  let y = b.y;
  return shares.map((s) => {
    const row = { x: b.x, y, w: b.w, h: (free * s) / total };
    y += row.h + gap;
    return row;
  });
}

/** Splits a box left to right by shares. */
function columns(b: Box, shares: number[], gap: number): Box[] {
  const total = shares.reduce((a, s) => a + s, 0);
  const free = b.w - gap * (shares.length - 1);
  let x = b.x;
  return shares.map((s) => {
    const column = { x, y: b.y, w: (free * s) / total, h: b.h };
    x += column.w + gap;
    return column;
  });
}

/** A square as large as fits in a box, at its left. */
const square = (b: Box): Box => ({ x: b.x, y: b.y, w: Math.min(b.w, b.h), h: Math.min(b.w, b.h) });

export const DESIGNS: readonly Design[] = [
  {
    id: 'shelf', name: 'designShelf', columns: ['columnProduct', 'columnPrice', 'columnBarcode'],
    build(w, h, words) {
      const area = inner(w, h);
      const [name, bottom] = rows(area, [1, 2.2], area.h * 0.05);
      const [barcode, price] = columns(bottom, [1.1, 1], area.w * 0.04);
      return [
        text(field(words, 'columnProduct'), name, { bold: true }),
        code('ean13', field(words, 'columnBarcode'), barcode),
        text(`¥${field(words, 'columnPrice')}`, price, { bold: true, align: 'right', verticalAlign: 'middle' }),
      ];
    },
  },
  {
    id: 'shipping', name: 'designShipping', columns: ['columnSender', 'columnRecipient', 'columnAddress', 'columnTracking'],
    build(w, h, words) {
      const area = inner(w, h);
      const gap = area.h * 0.03;
      const [from, to, address, tracking] = rows(area, [1.2, 1.2, 2.4, 2.2], gap);
      const frame: RectObject = {
        ...(createObject('rect') as RectObject), xMm: to.x, yMm: to.y - gap / 2, widthMm: to.w, heightMm: to.h + address.h + gap * 1.5, strokeMm: 0.4,
      };
      return [
        text(`${words('wordFrom')} ${field(words, 'columnSender')}`, from, { wrap: true }),
        frame,
        text(`${words('wordTo')} ${field(words, 'columnRecipient')}`, { ...to, x: to.x + 1, w: to.w - 2 }, { bold: true }),
        text(field(words, 'columnAddress'), { ...address, x: address.x + 1, w: address.w - 2 }, { wrap: true }),
        code('code128', field(words, 'columnTracking'), tracking),
      ];
    },
  },
  {
    id: 'asset', name: 'designAsset', columns: ['columnAssetName'],
    build(w, h, words) {
      const area = inner(w, h);
      const [qr, right] = columns(area, [Math.min(area.w, area.h), Math.max(1, area.w - Math.min(area.w, area.h))], area.w * 0.05);
      const [title, name, serial] = rows(right, [1, 1.2, 1.4], area.h * 0.05);
      return [
        code('qrcode', `ASSET-{{$counter}}`, square(qr)),
        text(words('wordAsset'), title, { bold: true }),
        text(field(words, 'columnAssetName'), name),
        text('{{$counter}}', serial, { bold: true, fontFamily: 'DejaVu Sans Mono' }),
      ];
    },
  },
  {
    id: 'food', name: 'designFood', columns: ['columnProduct', 'columnIngredients'],
    build(w, h, words) {
      const area = inner(w, h);
      const gap = area.h * 0.04;
      const [name, ingredients, useBy] = rows(area, [1.2, 3, 1], gap);
      const box: RectObject = {
        ...(createObject('rect') as RectObject), xMm: ingredients.x, yMm: ingredients.y, widthMm: ingredients.w, heightMm: ingredients.h, strokeMm: 0.3,
      };
      return [
        text(field(words, 'columnProduct'), name, { bold: true }),
        box,
        text(`${words('wordIngredients')}${field(words, 'columnIngredients')}`, { x: ingredients.x + 1, y: ingredients.y + 0.5, w: ingredients.w - 2, h: ingredients.h - 1 }, { wrap: true }),
        text(`${words('wordUseBy')}{{$date+3d:YYYY-MM-DD}}`, useBy, { bold: true }),
      ];
    },
  },
  {
    id: 'badge', name: 'designBadge', columns: ['columnName', 'columnCompany'],
    build(w, h, words) {
      const area = inner(w, h);
      const [name, company] = rows({ ...area, y: area.y + area.h * 0.15, h: area.h * 0.7 }, [2, 1], area.h * 0.06);
      return [
        text(field(words, 'columnName'), name, { bold: true, align: 'center', verticalAlign: 'middle' }),
        text(field(words, 'columnCompany'), company, { align: 'center', verticalAlign: 'middle' }),
      ];
    },
  },
  {
    id: 'folder', name: 'designFolder', columns: ['columnTitle', 'columnNumber'],
    build(w, h, words) {
      const area = inner(w, h);
      const [title, number] = columns(area, [4, 1], area.w * 0.04);
      return [
        text(field(words, 'columnTitle'), title, { bold: true, verticalAlign: 'middle' }),
        text(field(words, 'columnNumber'), number, { align: 'right', verticalAlign: 'middle' }),
      ];
    },
  },
];
