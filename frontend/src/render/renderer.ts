// Draws a label document onto any 2D canvas at any resolution. The editor draws each object
// through drawObject inside its interactive stage; printing and export draw whole labels
// through renderLabel at the printer's resolution. Both therefore show the same thing.

import type { BarcodeObject, ImageObject, LabelDocument, LabelObject, LineObject, TextObject } from '../model/document';
import { DEFAULT_PRINTER_DPI, printerDpi } from '../model/output';
import { labelOutline } from '../model/shape';
import { mmToWholePx, ptToMm, pxPerMm } from '../model/units';
import { BarcodeResult, BarcodeScale, renderBarcode } from './barcode';
import type { BarcodeFault } from './barcodeFault';
import { printedXdim } from './xdim';
import { AnyCanvas, context2d, createCanvas, Ctx2D } from './canvas';
import type { Pictures } from './images';
import { recordPictureKey } from './recordPictures';
import { traceLabelOutline } from './outline';
import { cssFont, layoutText, Measure, verticalMeasure, verticalRuns } from './text';

export interface RenderOptions {
  images: Pictures;
  /**
   * Turns an object's stored text (a text object's text, a barcode's data) into what is drawn.
   * The designer draws the text as stored; data merge substitutes fields and counters here.
   */
  resolveText?: (stored: string, object: LabelObject) => string;
  /** Words drawn on objects that cannot show their content; omit them to leave such objects blank. */
  placeholders?: { image: string; barcodeError: (fault: BarcodeFault) => string };
  /** Paper colour behind the objects; null leaves the canvas transparent. */
  background?: string | null;
  /**
   * The resolution of the printer the label is made for: a barcode's X-dimension is whole dots
   * of it, drawn at the nearest whole pixels at any other resolution. renderLabel takes the
   * document's own (printerDpi); drawObject callers pass it.
   */
  printerDpi?: number;
  /**
   * Barcodes drawn in whole dots of `printerDpi` and scaled to this canvas, as on the designer's
   * screen: the same size and modules as printed, at any zoom.
   */
  asPrinted?: boolean;
}

/** Pixel size of a label at a resolution: whole pixels, as a printer receives them. */
export function labelPixelSize(doc: Pick<LabelDocument, 'widthMm' | 'heightMm'>, dpi: number): { width: number; height: number } {
  return { width: mmToWholePx(doc.widthMm, dpi), height: mmToWholePx(doc.heightMm, dpi) };
}

/** Draws the whole label on a canvas that is (at least) labelPixelSize(doc, dpi) large. */
export function renderLabel(ctx: Ctx2D, doc: LabelDocument, dpi: number, options: RenderOptions): void {
  const size = labelPixelSize(doc, dpi);
  const scale = pxPerMm(dpi);
  const opts = { ...options, printerDpi: options.printerDpi ?? printerDpi(doc) };
  ctx.save();
  ctx.clearRect(0, 0, size.width, size.height);
  if (opts.background !== null) {
    ctx.fillStyle = opts.background ?? '#ffffff';
    ctx.fillRect(0, 0, size.width, size.height);
  }
  ctx.beginPath();
  ctx.rect(0, 0, size.width, size.height);
  ctx.clip();
  // Round, oval and CD labels print nothing past their shape (or on a CD's hole).
  const outline = labelOutline(doc);
  if (outline.shape !== 'rectangle') {
    ctx.beginPath();
    traceLabelOutline(ctx, outline, scale);
    ctx.clip('evenodd');
  }
  for (const object of doc.objects) {
    ctx.save();
    placeObject(ctx, object, scale);
    drawObject(ctx, object, scale, opts);
    ctx.restore();
  }
  ctx.restore();
}

/** A new canvas with the label drawn at a resolution; pictures must have been loaded (ImageStore.ready). */
export function renderLabelToCanvas(doc: LabelDocument, dpi: number, opts: RenderOptions): AnyCanvas {
  const size = labelPixelSize(doc, dpi);
  const canvas = createCanvas(size.width, size.height);
  renderLabel(context2d(canvas), doc, dpi, opts);
  return canvas;
}

/** Object box in whole pixels, so that barcode modules land on pixel boundaries. */
export function objectPixelBox(o: LabelObject, scale: number): { w: number; h: number } {
  return { w: Math.max(1, Math.round(o.widthMm * scale)), h: Math.max(1, Math.round(o.heightMm * scale)) };
}

/**
 * Moves the origin to the object's top-left corner in its own (rotated) frame. Quarter turns
 * keep it on whole pixels (barcode modules stay sharp); other angles turn about the exact centre.
 */
export function placeObject(ctx: Ctx2D, o: LabelObject, scale: number): void {
  const { w, h } = objectPixelBox(o, scale);
  if (o.rotation % 90 !== 0) {
    ctx.translate((o.xMm + o.widthMm / 2) * scale, (o.yMm + o.heightMm / 2) * scale);
    ctx.rotate((o.rotation * Math.PI) / 180);
    ctx.translate(-w / 2, -h / 2);
    return;
  }
  const turned = o.rotation === 90 || o.rotation === 270;
  const vw = turned ? h : w;
  const vh = turned ? w : h;
  const cx = (o.xMm + o.widthMm / 2) * scale;
  const cy = (o.yMm + o.heightMm / 2) * scale;
  ctx.translate(Math.round(cx - vw / 2), Math.round(cy - vh / 2));
  if (o.rotation === 90) {
    ctx.translate(vw, 0);
    ctx.rotate(Math.PI / 2);
  } else if (o.rotation === 180) {
    ctx.translate(vw, vh);
    ctx.rotate(Math.PI);
  } else if (o.rotation === 270) {
    ctx.translate(0, vh);
    ctx.rotate(-Math.PI / 2);
  }
}

/** Draws one object with its top-left corner at the origin, unrotated, at `scale` pixels per millimetre. */
export function drawObject(ctx: Ctx2D, o: LabelObject, scale: number, opts: RenderOptions): void {
  const box = objectPixelBox(o, scale);
  switch (o.type) {
    case 'text':
      return drawText(ctx, o, box, scale, opts);
    case 'barcode':
      return drawBarcode(ctx, o, box, scale, opts);
    case 'image':
      return drawImage(ctx, o, box, opts);
    case 'rect':
    case 'ellipse': {
      const radius = o.type === 'rect' ? o.cornerRadiusMm * scale : 0;
      return drawShape(ctx, o.strokeMm * scale, o.strokeColor, o.fillColor, (inset) => shapeOutline(ctx, o.type, box.w, box.h, radius, inset));
    }
    case 'line':
      return drawLine(ctx, o, box, scale);
  }
}

/** Strokes sit inside the box, so an object's outer edge is exactly where its box says. */
function drawShape(ctx: Ctx2D, strokePx: number, strokeColor: string, fillColor: string, path: (inset: number) => void): void {
  if (fillColor) {
    ctx.beginPath();
    path(0);
    ctx.fillStyle = fillColor;
    ctx.fill();
  }
  if (strokePx > 0 && strokeColor) {
    ctx.beginPath();
    path(strokePx / 2);
    ctx.lineWidth = strokePx;
    ctx.strokeStyle = strokeColor;
    ctx.stroke();
  }
}

/** What a path is drawn on: a canvas context, or the stage's context for hit areas. */
export type PathTarget = Pick<CanvasPath, 'moveTo' | 'arcTo' | 'rect' | 'ellipse' | 'closePath'>;

/**
 * A rectangle's (with its corner `radius`) or an ellipse's outline `inset` inside its w × h box,
 * or outside it when negative, in the box's units.
 */
export function shapeOutline(ctx: PathTarget, type: 'rect' | 'ellipse', w: number, h: number, radius: number, inset: number): void {
  const iw = Math.max(0, w - 2 * inset), ih = Math.max(0, h - 2 * inset);
  if (type === 'ellipse') {
    ctx.moveTo(w / 2 + iw / 2, h / 2);
    ctx.ellipse(w / 2, h / 2, iw / 2, ih / 2, 0, 0, Math.PI * 2);
    return;
  }
  roundedRect(ctx, inset, inset, iw, ih, Math.max(0, Math.min(radius, w / 2, h / 2) - inset));
}

function roundedRect(ctx: PathTarget, x: number, y: number, w: number, h: number, r: number): void {
  if (r <= 0) {
    ctx.rect(x, y, w, h);
    return;
  }
  ctx.moveTo(x + r, y);
  ctx.arcTo(x + w, y, x + w, y + h, r);
  ctx.arcTo(x + w, y + h, x, y + h, r);
  ctx.arcTo(x, y + h, x, y, r);
  ctx.arcTo(x, y, x + w, y, r);
  ctx.closePath();
}

function drawLine(ctx: Ctx2D, o: LineObject, box: { w: number; h: number }, scale: number): void {
  const stroke = Math.max(0, o.strokeMm * scale);
  if (stroke === 0) return;
  ctx.fillStyle = o.strokeColor;
  // A filled band rather than a stroked path: crisp ends and an exact thickness.
  ctx.fillRect(0, box.h / 2 - stroke / 2, box.w, stroke);
}

function drawText(ctx: Ctx2D, o: TextObject, box: { w: number; h: number }, scale: number, opts: RenderOptions): void {
  const text = opts.resolveText ? opts.resolveText(o.text, o) : o.text;
  const sizePx = ptToMm(o.fontSizePt) * scale;
  // Setting a font costs as much as measuring a line: only when the size changes.
  let measuredSize = NaN;
  const measure = (s: string, size: number): number => {
    if (size !== measuredSize) ctx.font = cssFont(o.fontFamily, size, o.bold, o.italic);
    measuredSize = size;
    return ctx.measureText(s).width;
  };
  if (o.vertical) {
    drawVerticalText(ctx, o, text, box, sizePx, measure);
    return;
  }
  const layout = layoutText(text, { widthPx: box.w, heightPx: box.h, fontSizePx: sizePx, wrap: o.wrap, shrinkToFit: o.shrinkToFit }, measure);
  ctx.font = cssFont(o.fontFamily, layout.fontSizePx, o.bold, o.italic);
  ctx.fillStyle = o.color;
  ctx.textBaseline = 'middle';
  ctx.textAlign = o.align;
  const total = layout.lines.length * layout.lineHeightPx;
  let top = 0;
  if (o.verticalAlign === 'middle') top = (box.h - total) / 2;
  if (o.verticalAlign === 'bottom') top = box.h - total;
  const x = o.align === 'left' ? 0 : o.align === 'center' ? box.w / 2 : box.w;
  ctx.save();
  ctx.beginPath();
  ctx.rect(0, 0, box.w, box.h);
  ctx.clip();
  layout.lines.forEach((line, i) => {
    ctx.fillText(line, x, top + (i + 0.5) * layout.lineHeightPx);
  });
  ctx.restore();
}

/**
 * Vertical text as CSS's vertical-rl with mixed orientation sets it: lines become columns from the
 * right edge leftwards, laid out like lines over the box's height. Alignment runs along the column
 * (left is its top); vertical alignment places the block of columns (top is at the right).
 */
function drawVerticalText(ctx: Ctx2D, o: TextObject, text: string, box: { w: number; h: number }, sizePx: number, measure: Measure): void {
  const along = verticalMeasure(measure);
  const layout = layoutText(text, { widthPx: box.h, heightPx: box.w, fontSizePx: sizePx, wrap: o.wrap, shrinkToFit: o.shrinkToFit }, along);
  const size = layout.fontSizePx;
  ctx.font = cssFont(o.fontFamily, size, o.bold, o.italic);
  ctx.fillStyle = o.color;
  ctx.textBaseline = 'middle';
  const total = layout.lines.length * layout.lineHeightPx;
  let right = box.w;
  if (o.verticalAlign === 'middle') right = (box.w + total) / 2;
  if (o.verticalAlign === 'bottom') right = total;
  ctx.save();
  ctx.beginPath();
  ctx.rect(0, 0, box.w, box.h);
  ctx.clip();
  layout.lines.forEach((column, i) => {
    const x = right - (i + 0.5) * layout.lineHeightPx;
    const length = along(column, size);
    let y = o.align === 'left' ? 0 : o.align === 'center' ? (box.h - length) / 2 : box.h - length;
    for (const run of verticalRuns(column)) {
      if (run.upright) {
        ctx.textAlign = 'center';
        ctx.fillText(run.text, x, y + size / 2);
        y += size;
      } else {
        const width = measure(run.text, size);
        ctx.save();
        ctx.translate(x, y);
        ctx.rotate(Math.PI / 2);
        ctx.font = cssFont(o.fontFamily, size, o.bold, o.italic);
        ctx.textAlign = 'left';
        ctx.fillText(run.text, 0, 0);
        ctx.restore();
        y += width;
      }
    }
  });
  ctx.restore();
}

/** Module and text size of a barcode drawn at `scale` pixels per millimetre. */
function barcodeScale(o: BarcodeObject, scale: number, printerDpi: number): BarcodeScale {
  const size: BarcodeScale = {};
  if (o.xdim) size.modulePx = Math.max(1, Math.round(printedXdim(o.symbology, o.xdim, printerDpi).mm * scale));
  if (o.textSizePt !== undefined) size.textPx = ptToMm(o.textSizePt) * scale;
  return size;
}

export function drawnBarcode(o: BarcodeObject, data: string, box: { w: number; h: number }, scale: number, printerDpi: number): BarcodeResult {
  return renderBarcode({ symbology: o.symbology, data, showText: o.showText, color: o.color, textFont: o.textFont }, box.w, box.h, barcodeScale(o, scale, printerDpi));
}

function drawBarcode(ctx: Ctx2D, o: BarcodeObject, box: { w: number; h: number }, scale: number, opts: RenderOptions): void {
  const data = opts.resolveText ? opts.resolveText(o.data, o) : o.data;
  const dpi = opts.printerDpi ?? DEFAULT_PRINTER_DPI;
  // Whole screen pixels per module would make a code up to a module's rounding larger or
  // smaller than it prints; drawn in printer dots and scaled, it matches the printed one.
  const dots = opts.asPrinted ? pxPerMm(dpi) : scale;
  const k = scale / dots;
  const dotBox = k === 1 ? box : objectPixelBox(o, dots);
  const result = drawnBarcode(o, data, dotBox, dots, dpi);
  if (!result.ok) {
    if (opts.placeholders && result.error) drawProblem(ctx, box, opts.placeholders.barcodeError(result.error));
    return;
  }
  const bitmap = result.bitmap;
  const at = unscaledPlacement(o, bitmap, dotBox);
  ctx.save();
  ctx.scale(k, k);
  // On whole pixels with smoothing off: modules stay sharp and of equal width. Reduced on a
  // screen, smoothing keeps narrow modules from dropping out.
  ctx.imageSmoothingEnabled = at === null || k < 1;
  if (at) {
    ctx.drawImage(bitmap.canvas, at.x, at.y);
  } else {
    const fit = Math.min(dotBox.w / bitmap.width, dotBox.h / bitmap.height);
    const w = bitmap.width * fit, h = bitmap.height * fit;
    ctx.drawImage(bitmap.canvas, (dotBox.w - w) / 2, (dotBox.h - h) / 2, w, h);
  }
  ctx.restore();
}

/**
 * Where a code's bitmap goes in its object's box, pixel for pixel; null when it is larger than
 * a box that sizes it and must be scaled down. A code sized by its X-dimension is never scaled:
 * it starts where its box does, so a merged value longer or shorter than the stored data grows
 * or shrinks away from that edge.
 */
export function unscaledPlacement(o: BarcodeObject, bitmap: { width: number; height: number }, box: { w: number; h: number }): { x: number; y: number } | null {
  if (o.xdim) return { x: 0, y: Math.floor((box.h - bitmap.height) / 2) };
  if (bitmap.width > box.w || bitmap.height > box.h) return null;
  return { x: Math.floor((box.w - bitmap.width) / 2), y: Math.floor((box.h - bitmap.height) / 2) };
}

function drawImage(ctx: Ctx2D, o: ImageObject, box: { w: number; h: number }, opts: RenderOptions): void {
  const src = o.srcColumn ? recordPictureKey(o, opts.resolveText) : o.src;
  const image = src ? opts.images.get(src) : null;
  if (!image) {
    if (opts.placeholders && (!src || opts.images.failed(src))) drawProblem(ctx, box, o.srcColumn ? `{{${o.srcColumn}}}` : opts.placeholders.image, true);
    return;
  }
  const iw = ('naturalWidth' in image && image.naturalWidth) || image.width || 1;
  const ih = ('naturalHeight' in image && image.naturalHeight) || image.height || 1;
  if (!o.keepAspect) {
    ctx.drawImage(image, 0, 0, box.w, box.h);
    return;
  }
  const k = Math.min(box.w / iw, box.h / ih);
  const w = iw * k, h = ih * k;
  ctx.drawImage(image, (box.w - w) / 2, (box.h - h) / 2, w, h);
}

/** A hatched box with a short message, for content that cannot be drawn. */
function drawProblem(ctx: Ctx2D, box: { w: number; h: number }, message: string, neutral = false): void {
  ctx.save();
  ctx.fillStyle = neutral ? 'rgba(120,130,150,0.12)' : 'rgba(210,40,40,0.10)';
  ctx.fillRect(0, 0, box.w, box.h);
  ctx.strokeStyle = neutral ? 'rgba(120,130,150,0.7)' : 'rgba(200,30,30,0.9)';
  ctx.lineWidth = Math.max(1, Math.min(box.w, box.h) / 60);
  ctx.setLineDash([ctx.lineWidth * 4, ctx.lineWidth * 3]);
  ctx.strokeRect(ctx.lineWidth / 2, ctx.lineWidth / 2, box.w - ctx.lineWidth, box.h - ctx.lineWidth);
  ctx.setLineDash([]);
  ctx.fillStyle = neutral ? 'rgb(90,100,120)' : 'rgb(180,20,20)';
  ctx.textAlign = 'center';
  ctx.textBaseline = 'middle';
  const size = Math.max(6, Math.min(box.h / 4, box.w / 12));
  ctx.font = cssFont('Noto Sans CJK SC', size, false, false);
  ctx.beginPath();
  ctx.rect(0, 0, box.w, box.h);
  ctx.clip();
  const measure = (s: string, px: number): number => {
    ctx.font = cssFont('Noto Sans CJK SC', px, false, false);
    return ctx.measureText(s).width;
  };
  const layout = layoutText(message, { widthPx: box.w * 0.92, heightPx: box.h * 0.9, fontSizePx: size, wrap: true, shrinkToFit: true }, measure);
  ctx.font = cssFont('Noto Sans CJK SC', layout.fontSizePx, false, false);
  const top = (box.h - layout.lines.length * layout.lineHeightPx) / 2;
  layout.lines.forEach((line, i) => ctx.fillText(line, box.w / 2, top + (i + 0.5) * layout.lineHeightPx));
  ctx.restore();
}
