// Barcodes drawn by bwip-js at a whole number of pixels per module, so that what the editor
// shows and what a printer receives at 203, 300 or 600 dpi scans the same way.

import type * as BwipJs from 'bwip-js';
import { BarcodeFont, GS1_SYMBOLOGIES, Symbology, TWO_D_SYMBOLOGIES } from '../model/document';
import { BarcodeFault, Gs1DataError, readBarcodeFault } from './barcodeFault';
import { AnyCanvas, context2d, createCanvas } from './canvas';
import type { RgbaPixels } from './mono';
import { gs1BwipOptions, Gs1Symbology, parseGs1 } from './gs1';
import { loadBundle } from '../util/bundles';

export interface BarcodeSpec {
  symbology: Symbology;
  data: string;
  showText: boolean;
  color: string;
  textFont?: BarcodeFont;
}

/** How large to draw: whole pixels per module, and the human-readable text's height in pixels. */
export interface BarcodeScale {
  modulePx?: number;
  textPx?: number;
}

export interface BarcodeBitmap {
  readonly width: number;
  readonly height: number;
  /** The code's pixels as drawn, in its colour on transparency; no canvas is read back for them. */
  readonly pixels: RgbaPixels;
  /** The same on a canvas of its own, made when first asked for (thermal pages use the pixels). */
  readonly canvas: AnyCanvas;
  /** Pixels per module used; 1 or more, always whole. */
  readonly moduleScale: number;
}

function lazyBitmap(width: number, height: number, moduleScale: number, makePixels: () => RgbaPixels, makeCanvas: () => AnyCanvas): BarcodeBitmap {
  let pixels: RgbaPixels | null = null;
  let canvas: AnyCanvas | null = null;
  return {
    width, height, moduleScale,
    get pixels() {
      return (pixels ??= makePixels());
    },
    get canvas() {
      return (canvas ??= makeCanvas());
    },
  };
}

/** Pixels put on a canvas of their size (at some 24 ns a pixel in this engine, so only when asked). */
function canvasOf(pixels: ImageData): AnyCanvas {
  const canvas = createCanvas(pixels.width, pixels.height);
  context2d(canvas).putImageData(pixels, 0, 0);
  return canvas;
}

/** A code that cannot be drawn has its fault; a null fault means bwip-js is still loading. */
export type BarcodeResult = { ok: true; bitmap: BarcodeBitmap } | { ok: false; error: BarcodeFault | null };

/** What this program uses of bwip-js. */
export type BarcodeEncoder = Pick<typeof BwipJs, 'raw' | 'render' | 'drawingCanvas'>;

// bwip-js is two thirds of the designer's script and no label needs it to be shown or edited
// until it has a barcode: the designer loads it once it has been painted, a worker at its start.
let encoder: BarcodeEncoder | null = null;
const encoderListeners = new Set<() => void>();
let encoderLoad: Promise<void> | null = null;

export function installBarcodeEncoder(bwip: BarcodeEncoder): void {
  encoder = bwip;
  const listeners = [...encoderListeners];
  encoderListeners.clear();
  listeners.forEach((listener) => listener());
}

/** Calls `listener` once bwip-js is installed, for what was drawn without it; returns its removal. */
export function onBarcodeEncoder(listener: () => void): () => void {
  if (encoder) return () => {};
  encoderListeners.add(listener);
  return () => encoderListeners.delete(listener);
}

/** Resolves once bwip-js is installed, loading its bundle in a page that has not yet. */
export function barcodeEncoderLoaded(): Promise<void> {
  if (encoder) return Promise.resolve();
  encoderLoad ??= loadBundle<{ bwip: BarcodeEncoder }>('barcode-encoder').then(({ bwip }) => {
    if (!encoder) installBarcodeEncoder(bwip);
  });
  encoderLoad.catch(() => (encoderLoad = null));
  return encoderLoad;
}

/** Probe renders at one pixel per module tell how many modules wide and high a code is. */
interface Probe {
  width: number;
  height: number;
  /** For linear codes: rendered height = textPx + barPxPerMm * heightMm (both at scale 1). */
  textPx: number;
  barPxPerMm: number;
  /** 2D codes: the symbol at one pixel per module, reused for every size (encoding is the slow part). */
  symbol?: ImageData;
  /** The symbol on a canvas, to enlarge it from; made when first asked for. */
  symbolCanvas?: AnyCanvas;
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

/** The text bwip-js encodes: GS1 element strings checked, with their check digits completed. */
function encodedText(symbol: Pick<BarcodeSpec, 'symbology' | 'data'>): string {
  if (!GS1_SYMBOLOGIES.includes(symbol.symbology)) return symbol.data;
  const parsed = parseGs1(symbol.data);
  if (!parsed.ok) throw new Gs1DataError(parsed.error);
  return gs1BwipOptions(symbol.symbology as Gs1Symbology, parsed).text;
}

function bwipOptions(symbol: BarcodeSpec, scale: number, heightMm?: number, textSize?: number): Record<string, unknown> {
  const opts: Record<string, unknown> = {
    // The program's symbology names are bwip-js's own.
    bcid: symbol.symbology,
    text: encodedText(symbol),
    scale,
    includetext: symbol.showText && !TWO_D_SYMBOLOGIES.includes(symbol.symbology),
    barcolor: hexColor(symbol.color),
    textcolor: hexColor(symbol.color),
  };
  if (symbol.textFont && symbol.textFont !== 'OCR-B') opts.textfont = symbol.textFont;
  if (textSize !== undefined) opts.textsize = textSize;
  // EAN and UPC place their digits around the guard bars themselves; other codes centre their text.
  if (!['ean13', 'upca', 'ean8', 'upce'].includes(symbol.symbology)) opts.textxalign = 'center';
  if (heightMm !== undefined) opts.height = heightMm;
  if (symbol.symbology === 'itf14') opts.showborder = false;
  // Code 93's two check characters are part of the symbology; scanners refuse a symbol without them.
  if (symbol.symbology === 'code93') opts.includecheck = true;
  return opts;
}

/**
 * bwip-js's drawing. bwip-js draws into a buffer; given a canvas it would read an empty one back
 * first, which in this engine costs about as much as drawing the code (some 24 ns a pixel), so
 * it gets a fresh buffer instead.
 */
function drawPixels(options: Record<string, unknown>): ImageData {
  let pixels: ImageData | null = null;
  const bwip = encoder!;
  const drawing = bwip.drawingCanvas(scratchCanvas() as HTMLCanvasElement) as ReturnType<BarcodeEncoder['drawingCanvas']> & BufferDrawing;
  drawing.image = (width, height) => {
    pixels = new ImageData(Math.max(1, width), Math.max(1, height));
    return { buffer: pixels.data, ispng: false };
  };
  drawing.end = () => pixels as unknown as HTMLCanvasElement;
  return bwip.render(options as never, drawing) as unknown as ImageData;
}

/** What bwip-js's canvas drawing asks of its canvas: a buffer to draw in, and the result. */
interface BufferDrawing {
  image(width: number, height: number): { buffer: Uint8ClampedArray; ispng: boolean };
}

let scratch: AnyCanvas | null = null;
const scratchCanvas = (): AnyCanvas => (scratch ??= createCanvas(1, 1));

/** Matrix codes of square modules, drawn from their grid of modules at one pixel a module. */
const MODULE_GRID: readonly Symbology[] = ['qrcode', 'datamatrix', 'gs1datamatrix', 'azteccode'];

/**
 * A matrix code's modules, one pixel each, in black. bwip-js would draw each module two pixels
 * wide at its smallest, and its drawing of a matrix code costs more than encoding it.
 */
function moduleGrid(symbol: BarcodeSpec): ImageData {
  const [grid] = encoder!.raw(bwipOptions(symbol, 1) as never) as unknown as { pixs: number[]; pixx: number; pixy: number }[];
  const pixels = new ImageData(grid.pixx, grid.pixy);
  // Black, opaque where a module is dark; light modules stay transparent.
  grid.pixs.forEach((dark, i) => {
    if (dark) pixels.data[i * 4 + 3] = 255;
  });
  return pixels;
}

/** Codes exactly as wide as their bars and spaces, text or not: the encoding alone tells their width. */
const WIDTH_FROM_BARS: readonly Symbology[] = ['code128', 'gs1-128', 'code39'];

/** Modules across a code of WIDTH_FROM_BARS, from its encoding alone. */
function barsWidth(symbol: BarcodeSpec): number {
  const [encoded] = encoder!.raw(bwipOptions(symbol, 1) as never) as unknown as { sbs: number[] }[];
  return encoded.sbs.reduce((sum, width) => sum + width, 0);
}

function probe(symbol: BarcodeSpec): Probe | BarcodeFault {
  const key = `${symbol.symbology}\u0000${symbol.data}\u0000${symbol.showText}\u0000${symbol.textFont ?? ''}`;
  const cached = probes.get(key);
  if (cached !== undefined) return cached;
  if (symbol.data === '') return { code: 'empty' };
  let result: Probe | BarcodeFault;
  try {
    // A height would stretch a 2D symbol's modules; only linear codes are probed with one.
    const twoD = TWO_D_SYMBOLOGIES.includes(symbol.symbology);
    if (WIDTH_FROM_BARS.includes(symbol.symbology)) {
      const metrics = linearMetricsOf(symbol, undefined);
      result = { width: barsWidth(symbol), height: metrics.textPx + metrics.barPxPerMm * 10, ...metrics };
    } else if (MODULE_GRID.includes(symbol.symbology)) {
      const grid = moduleGrid(symbol);
      result = { width: grid.width, height: grid.height, textPx: 0, barPxPerMm: 0, symbol: grid };
    } else {
      const a = drawPixels(bwipOptions(symbol, 1, twoD ? undefined : 10));
      result = twoD
        ? { width: a.width, height: a.height, textPx: 0, barPxPerMm: 0, symbol: a }
        : { width: a.width, height: a.height, ...linearMetricsOf(symbol, undefined, a.height) };
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

/**
 * How a linear code's height grows with its bar height depends on the symbology and the text
 * line only, not on the data: measured once, it spares a second render for every new value.
 */
function linearMetricsOf(symbol: BarcodeSpec, textSize: number | undefined, heightAt10?: number): { textPx: number; barPxPerMm: number } {
  const key = `${symbol.symbology}\u0000${symbol.showText}\u0000${symbol.textFont ?? ''}\u0000${textSize ?? ''}`;
  let metrics = linearMetrics.get(key);
  if (!metrics) {
    const a = heightAt10 ?? drawPixels(bwipOptions(symbol, 1, 10, textSize)).height;
    const b = drawPixels(bwipOptions(symbol, 1, 20, textSize));
    const barPxPerMm = (b.height - a) / 10;
    metrics = { textPx: a - barPxPerMm * 10, barPxPerMm };
    remember(linearMetrics, key, metrics);
  }
  return metrics;
}

/**
 * A QR Code holds any text bwip-js can turn into UTF-8 (which a lone surrogate cannot) up to
 * 2,331 bytes at its default error correction; well below that it need not be encoded to know.
 * A check of a large job meets thousands of such values, and encoding one takes about a millisecond.
 */
function qrAlwaysFits(data: string): boolean {
  const loneSurrogate = /[\ud800-\udbff](?![\udc00-\udfff])|(?<![\ud800-\udbff])[\udc00-\udfff]/;
  return data.length <= QR_SURE_FIT_BYTES / 3 && !loneSurrogate.test(data);
}
const QR_SURE_FIT_BYTES = 1200;

/** Why bwip-js refuses this data, or null when the code can be drawn; encodes without drawing. */
export function barcodeError(symbol: Pick<BarcodeSpec, 'symbology' | 'data'>): BarcodeFault | null {
  if (symbol.data === '') return { code: 'empty' };
  const key = verdictKey(symbol);
  const known = verdicts.get(key);
  if (known !== undefined) return known;
  // Until bwip-js is in, nothing is said against the data; a job's check waits for it.
  if (!encoder || (symbol.symbology === 'qrcode' && qrAlwaysFits(symbol.data))) return null;
  let verdict: BarcodeFault | null = null;
  try {
    // Choosing the best of QR's eight masks is most of its encoding time and has no bearing on
    // whether the data fits, so the check takes the first.
    encoder.raw({ bcid: symbol.symbology, text: encodedText(symbol), ...(symbol.symbology === 'qrcode' ? { mask: 1 } : {}) });
  } catch (e) {
    verdict = readBarcodeFault(symbol, e);
  }
  remember(verdicts, key, verdict, VERDICT_LIMIT);
  return verdict;
}

/**
 * Draws a code with whole pixels per module: as many as `size.modulePx` says, or else as many as
 * fit in a box of whole pixels. Linear codes fill the box's height; 2D codes keep square modules.
 */
export function renderBarcode(symbol: BarcodeSpec, boxWidthPx: number, boxHeightPx: number, size: BarcodeScale = {}): BarcodeResult {
  const w = Math.max(1, Math.round(boxWidthPx));
  const h = Math.max(1, Math.round(boxHeightPx));
  const key = [symbol.symbology, symbol.data, symbol.showText, symbol.color, symbol.textFont ?? '', w, h, size.modulePx ?? '', size.textPx ?? ''].join('\u0000');
  const cached = bitmaps.get(key);
  if (cached) return cached;
  if (!encoder) return { ok: false, error: null };
  const p = probe(symbol);
  let result: BarcodeResult;
  if (isFault(p)) {
    result = { ok: false, error: p };
  } else {
    try {
      result = { ok: true, bitmap: draw(symbol, p, w, h, size) };
    } catch (e) {
      result = { ok: false, error: readBarcodeFault(symbol, e) };
    }
  }
  remember(bitmaps, key, result);
  return result;
}

function draw(symbol: BarcodeSpec, p: Probe, w: number, h: number, size: BarcodeScale): BarcodeBitmap {
  const fixed = size.modulePx !== undefined ? Math.max(1, Math.round(size.modulePx)) : undefined;
  if (TWO_D_SYMBOLOGIES.includes(symbol.symbology)) {
    const scale = fixed ?? Math.max(1, Math.floor(Math.min(w / p.width, h / p.height)));
    // A module grid, like bwip-js's drawing of a 2D symbol at scale 1, enlarged n times is the
    // symbol at scale n: enlarged without smoothing and given the object's colour.
    const colour = hexColor(symbol.color);
    const makeCanvas = (): AnyCanvas => {
      const canvas = createCanvas(p.width * scale, p.height * scale);
      const ctx = context2d(canvas);
      ctx.imageSmoothingEnabled = false;
      ctx.drawImage((p.symbolCanvas ??= canvasOf(p.symbol!)), 0, 0, canvas.width, canvas.height);
      ctx.globalCompositeOperation = 'source-in';
      ctx.fillStyle = `#${colour}`;
      ctx.fillRect(0, 0, canvas.width, canvas.height);
      return canvas;
    };
    return lazyBitmap(p.width * scale, p.height * scale, scale, () => enlarged(p.symbol!, scale, colour), makeCanvas);
  }
  const scale = fixed ?? Math.max(1, Math.floor(w / p.width));
  // bwip-js sizes text in points of its own drawing, where a module is one point.
  const textSize = size.textPx !== undefined ? Math.round((size.textPx / scale) * 100) / 100 : undefined;
  const metrics = textSize === undefined ? p : linearMetricsOf(symbol, textSize);
  // Solve the bar height that makes the whole picture, text included, as high as the box.
  const heightMm = Math.max(0.5, (h / scale - metrics.textPx) / metrics.barPxPerMm);
  const pixels = drawPixels(bwipOptions(symbol, scale, heightMm, textSize));
  return lazyBitmap(pixels.width, pixels.height, scale, () => pixels, () => canvasOf(pixels));
}

/** A symbol's pixels enlarged `scale` times, each in `colour` (hex) with the symbol's own alpha. */
function enlarged(symbol: ImageData, scale: number, colour: string): RgbaPixels {
  const width = symbol.width * scale, height = symbol.height * scale;
  const data = new Uint8ClampedArray(width * height * 4);
  const rgb = [0, 2, 4].map((i) => parseInt(colour.slice(i, i + 2), 16));
  for (let y = 0; y < height; y++) {
    const from = ((y / scale) | 0) * symbol.width;
    for (let x = 0; x < width; x++) {
      const alpha = symbol.data[(from + ((x / scale) | 0)) * 4 + 3];
      if (alpha === 0) continue;
      const i = (y * width + x) * 4;
      data[i] = rgb[0];
      data[i + 1] = rgb[1];
      data[i + 2] = rgb[2];
      data[i + 3] = alpha;
    }
  }
  return { width, height, data };
}

function remember<V>(cache: Map<string, V>, key: string, value: V, limit = CACHE_LIMIT): void {
  if (cache.size >= limit) {
    const oldest = cache.keys().next().value;
    if (oldest !== undefined) cache.delete(oldest);
  }
  cache.set(key, value);
}
