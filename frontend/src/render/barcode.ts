// Barcodes drawn by bwip-js at a whole number of pixels per module, so that what the editor
// shows and what a printer receives at 203, 300 or 600 dpi scans the same way.

import bwipjs, { toCanvas } from 'bwip-js';
import { Symbology, TWO_D_SYMBOLOGIES } from '../model/document';
import { AnyCanvas, context2d, createCanvas } from './canvas';
import { BarcodeFault, readBarcodeFault } from './barcodeFault';

export interface BarcodeSpec {
  symbology: Symbology;
  data: string;
  showText: boolean;
  color: string;
}

export interface BarcodeBitmap {
  canvas: AnyCanvas;
  /** Pixels per module used; 1 or more, always whole. */
  moduleScale: number;
}

export type BarcodeResult = { ok: true; bitmap: BarcodeBitmap } | { ok: false; error: BarcodeFault };

/** Probe renders at one pixel per module tell how many modules wide and high a code is. */
interface Probe {
  width: number;
  height: number;
  /** For linear codes: rendered height = textPx + barPxPerMm * heightMm (both at scale 1). */
  textPx: number;
  barPxPerMm: number;
  /** 2D codes: the symbol at one pixel per module, reused for every size (encoding is the slow part). */
  symbol?: AnyCanvas;
}

const probes = new Map<string, Probe | BarcodeFault>();
const linearMetrics = new Map<string, { textPx: number; barPxPerMm: number }>();
const bitmaps = new Map<string, BarcodeResult>();
const CACHE_LIMIT = 300;
/**
 * Whether data can be encoded: a check of every label of a job asks this for thousands of
 * values, and the answer depends on nothing else, so it is kept (strings only, many of them).
 */
const verdicts = new Map<string, BarcodeFault | null>();
const VERDICT_LIMIT = 20000;

function hexColor(color: string): string {
  const m = /^#?([0-9a-f]{6})$/i.exec(color);
  return m ? m[1] : '000000';
}

function bwipOptions(symbol: BarcodeSpec, scale: number, heightMm?: number): Record<string, unknown> {
  const opts: Record<string, unknown> = {
    // The program's symbology names are bwip-js's own.
    bcid: symbol.symbology,
    text: symbol.data,
    scale,
    includetext: symbol.showText && !TWO_D_SYMBOLOGIES.includes(symbol.symbology),
    barcolor: hexColor(symbol.color),
    textcolor: hexColor(symbol.color),
  };
  // EAN and UPC place their digits around the guard bars themselves; other codes centre their text.
  if (!['ean13', 'upca'].includes(symbol.symbology)) opts.textxalign = 'center';
  if (heightMm !== undefined) opts.height = heightMm;
  if (symbol.symbology === 'itf14') opts.showborder = false;
  return opts;
}

function probe(symbol: BarcodeSpec): Probe | BarcodeFault {
  const key = `${symbol.symbology}\u0000${symbol.data}\u0000${symbol.showText}`;
  const cached = probes.get(key);
  if (cached !== undefined) return cached;
  if (symbol.data === '') return { code: 'empty' };
  let result: Probe | BarcodeFault;
  try {
    // A height would stretch a 2D symbol's modules; only linear codes are probed with one.
    const twoD = TWO_D_SYMBOLOGIES.includes(symbol.symbology);
    const a = toCanvas(createCanvas(1, 1) as HTMLCanvasElement, bwipOptions(symbol, 1, twoD ? undefined : 10) as never);
    if (twoD) {
      result = { width: a.width, height: a.height, textPx: 0, barPxPerMm: 0, symbol: a };
    } else {
      // How height grows with the bar height depends on the symbology and the text line only,
      // not on the data: measured once, it spares a second render for every new value.
      const metricsKey = `${symbol.symbology}\u0000${symbol.showText}`;
      let metrics = linearMetrics.get(metricsKey);
      if (!metrics) {
        const b = toCanvas(createCanvas(1, 1) as HTMLCanvasElement, bwipOptions(symbol, 1, 20) as never);
        const barPxPerMm = (b.height - a.height) / 10;
        metrics = { textPx: a.height - barPxPerMm * 10, barPxPerMm };
        linearMetrics.set(metricsKey, metrics);
      }
      result = { width: a.width, height: a.height, ...metrics };
    }
  } catch (e) {
    result = readBarcodeFault(symbol, e);
  }
  remember(probes, key, result);
  remember(verdicts, verdictKey(symbol), isFault(result) ? result : null, VERDICT_LIMIT);
  return result;
}

function verdictKey(symbol: Pick<BarcodeSpec, 'symbology' | 'data'>): string {
  return `${symbol.symbology}\u0000${symbol.data}`;
}

function isFault(p: Probe | BarcodeFault): p is BarcodeFault {
  return 'code' in p;
}

/** Why bwip-js refuses this data, or null when the code can be drawn; encodes without drawing. */
export function barcodeError(symbol: Pick<BarcodeSpec, 'symbology' | 'data'>): BarcodeFault | null {
  if (symbol.data === '') return { code: 'empty' };
  const key = verdictKey(symbol);
  const known = verdicts.get(key);
  if (known !== undefined) return known;
  let verdict: BarcodeFault | null = null;
  try {
    // Choosing the best of QR's eight masks is most of its encoding time and has no bearing on
    // whether the data fits, so the check takes the first.
    bwipjs.raw({ bcid: symbol.symbology, text: symbol.data, ...(symbol.symbology === 'qrcode' ? { mask: 1 } : {}) });
  } catch (e) {
    verdict = readBarcodeFault(symbol, e);
  }
  remember(verdicts, key, verdict, VERDICT_LIMIT);
  return verdict;
}

/**
 * Draws a code as large as fits in a box of whole pixels, with whole pixels per module.
 * Linear codes fill the box's height; 2D codes keep square modules.
 */
export function renderBarcode(symbol: BarcodeSpec, boxWidthPx: number, boxHeightPx: number): BarcodeResult {
  const w = Math.max(1, Math.round(boxWidthPx));
  const h = Math.max(1, Math.round(boxHeightPx));
  const key = `${symbol.symbology}\u0000${symbol.data}\u0000${symbol.showText}\u0000${symbol.color}\u0000${w}\u0000${h}`;
  const cached = bitmaps.get(key);
  if (cached) return cached;
  const p = probe(symbol);
  let result: BarcodeResult;
  if (isFault(p)) {
    result = { ok: false, error: p };
  } else {
    try {
      result = { ok: true, bitmap: draw(symbol, p, w, h) };
    } catch (e) {
      result = { ok: false, error: readBarcodeFault(symbol, e) };
    }
  }
  remember(bitmaps, key, result);
  return result;
}

function draw(symbol: BarcodeSpec, p: Probe, w: number, h: number): BarcodeBitmap {
  if (TWO_D_SYMBOLOGIES.includes(symbol.symbology)) {
    const scale = Math.max(1, Math.floor(Math.min(w / p.width, h / p.height)));
    // bwip-js draws a 2D symbol at scale n exactly as its one-pixel form enlarged n times, so the
    // probe's symbol is enlarged without smoothing and given the object's colour.
    const canvas = createCanvas(p.width * scale, p.height * scale);
    const ctx = context2d(canvas);
    ctx.imageSmoothingEnabled = false;
    ctx.drawImage(p.symbol!, 0, 0, canvas.width, canvas.height);
    ctx.globalCompositeOperation = 'source-in';
    ctx.fillStyle = `#${hexColor(symbol.color)}`;
    ctx.fillRect(0, 0, canvas.width, canvas.height);
    return { canvas, moduleScale: scale };
  }
  const scale = Math.max(1, Math.floor(w / p.width));
  // Solve the bar height that makes the whole picture, text included, as high as the box.
  const heightMm = Math.max(0.5, (h / scale - p.textPx) / p.barPxPerMm);
  const canvas = toCanvas(createCanvas(1, 1) as HTMLCanvasElement, bwipOptions(symbol, scale, heightMm) as never);
  return { canvas, moduleScale: scale };
}

function remember<V>(cache: Map<string, V>, key: string, value: V, limit = CACHE_LIMIT): void {
  if (cache.size >= limit) {
    const oldest = cache.keys().next().value;
    if (oldest !== undefined) cache.delete(oldest);
  }
  cache.set(key, value);
}
