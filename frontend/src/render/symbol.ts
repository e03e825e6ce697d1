// Barcodes as their printer makes them: the module width in whole dots, the box a symbol sized
// by its X-dimension fills, and the quiet zones beside it that must stay clear.

import { Box, BarcodeObject, boxesOverlap, LabelDocument, labelPoint, placeVisualBox, TWO_D_SYMBOLOGIES, visualBox } from '../model/document';
import { printerDpi } from '../model/output';
import { pxPerMm } from '../model/units';
import type { BarcodeBitmap } from './barcode';
import type { BarcodeFault } from './barcodeFault';
import { drawnBarcode, objectPixelBox } from './renderer';
import { quietZoneMm } from './xdim';

/**
 * A barcode as its printer makes it: the module width in dots and millimetres, and the symbol's
 * size on the label (for a box-sized barcode, what fits its box), or the encoder's refusal.
 */
export function printedBarcode(o: BarcodeObject, dpi: number): PrintedBarcode | { ok: false; error: BarcodeFault | null } {
  const scale = pxPerMm(dpi);
  const result = drawnBarcode(o, o.data, objectPixelBox(o, scale), scale, dpi);
  if (!result.ok) return result;
  const { bitmap } = result;
  const bars = barsExtent(bitmap);
  return {
    ok: true, dots: bitmap.moduleScale, moduleMm: bitmap.moduleScale / scale, widthMm: bitmap.width / scale, heightMm: bitmap.height / scale,
    barsLeftMm: bars.left / scale, barsRightMm: bars.right / scale,
  };
}

export interface PrintedBarcode {
  ok: true;
  dots: number;
  moduleMm: number;
  widthMm: number;
  heightMm: number;
  /** Where the bars start and end within the symbol: EAN and UPC print digits beside them, in the quiet zones. */
  barsLeftMm: number;
  barsRightMm: number;
}

const extents = new WeakMap<BarcodeBitmap, { left: number; right: number }>();

/** The first and last inked column of a symbol's top row, where only bars reach. */
function barsExtent(bitmap: BarcodeBitmap): { left: number; right: number } {
  let extent = extents.get(bitmap);
  if (!extent) {
    const row = bitmap.pixels.data;
    const { width } = bitmap;
    let left = 0, right = width;
    while (left < width && row[left * 4 + 3] < 128) left++;
    while (right > left && row[(right - 1) * 4 + 3] < 128) right--;
    extent = right > left ? { left, right } : { left: 0, right: width };
    extents.set(bitmap, extent);
  }
  return extent;
}

/**
 * Gives barcodes sized by their X-dimension the box their symbol fills: the width (and a 2D
 * symbol's height) follow from the data and the module width at the printer's resolution.
 * Only objects that changed since `before` are measured, unless the printer's resolution did.
 */
export function fitBarcodeBoxes(doc: LabelDocument, before: LabelDocument | null): LabelDocument {
  const dpi = printerDpi(doc);
  const all = !before || printerDpi(before) !== dpi;
  const previous = new Set(all ? [] : before!.objects);
  let changed = false;
  const objects = doc.objects.map((o) => {
    if (o.type !== 'barcode' || !o.xdim || previous.has(o)) return o;
    const printed = printedBarcode(o, dpi);
    if (!printed.ok) return o;
    const widthMm = Math.round(printed.widthMm * 1000) / 1000;
    const heightMm = TWO_D_SYMBOLOGIES.includes(o.symbology) ? Math.round(printed.heightMm * 1000) / 1000 : o.heightMm;
    if (Math.abs(widthMm - o.widthMm) < 1e-6 && Math.abs(heightMm - o.heightMm) < 1e-6) return o;
    changed = true;
    // The box keeps its top-left corner on the label: longer data grows the symbol away from
    // where it was placed, and a typed position stays as typed.
    const v = visualBox(o);
    const fitted: BarcodeObject = { ...o, widthMm, heightMm };
    return { ...fitted, ...placeVisualBox(fitted, v.xMm, v.yMm) } as BarcodeObject;
  });
  return changed ? { ...doc, objects } : doc;
}



/** The quiet zones of a barcode as printed, as upright boxes on the label. */
export function quietZoneBoxes(o: BarcodeObject, dpi: number): Box[] {
  const printed = printedBarcode(o, dpi);
  if (!printed.ok) return [];
  const zone = quietZoneMm(o.symbology, { dots: printed.dots, mm: printed.moduleMm });
  const symbolLeft = o.xdim ? 0 : (o.widthMm - printed.widthMm) / 2;
  const left = symbolLeft + printed.barsLeftMm;
  const right = symbolLeft + printed.barsRightMm;
  const top = (o.heightMm - printed.heightMm) / 2;
  const bottom = top + printed.heightMm;
  // Linear codes need theirs before and after the bars; 2D symbols all round.
  const local: Box[] = [
    { xMm: left - zone.left, yMm: top, widthMm: zone.left, heightMm: printed.heightMm },
    { xMm: right, yMm: top, widthMm: zone.right, heightMm: printed.heightMm },
  ];
  if (TWO_D_SYMBOLOGIES.includes(o.symbology)) {
    local.push(
      { xMm: left - zone.left, yMm: top - zone.left, widthMm: right - left + zone.left + zone.right, heightMm: zone.left },
      { xMm: left - zone.left, yMm: bottom, widthMm: right - left + zone.left + zone.right, heightMm: zone.right },
    );
  }
  return local.map((b) => turnedBox(o, b));
}

/** The upright box around a box given in an object's own frame, once the object is turned. */
function turnedBox(o: BarcodeObject, b: Box): Box {
  const corners = [[b.xMm, b.yMm], [b.xMm + b.widthMm, b.yMm], [b.xMm, b.yMm + b.heightMm], [b.xMm + b.widthMm, b.yMm + b.heightMm]]
    .map(([x, y]) => labelPoint(o, x, y));
  const xs = corners.map((p) => p.x), ys = corners.map((p) => p.y);
  const xMm = Math.min(...xs), yMm = Math.min(...ys);
  return { xMm, yMm, widthMm: Math.max(...xs) - xMm, heightMm: Math.max(...ys) - yMm };
}

/** What intrudes on a barcode's quiet zones: the label's edge, and how many other objects. */
export function quietZoneIntrusions(doc: LabelDocument, o: BarcodeObject): { edge: boolean; objects: number } {
  const zones = quietZoneBoxes(o, printerDpi(doc));
  // A hair's tolerance: a zone that ends exactly on the edge is clear.
  const eps = 0.01;
  const edge = zones.some((z) => z.xMm < -eps || z.yMm < -eps || z.xMm + z.widthMm > doc.widthMm + eps || z.yMm + z.heightMm > doc.heightMm + eps);
  const objects = doc.objects.filter((other) => other.id !== o.id && zones.some((z) => boxesOverlap(z, visualBox(other)))).length;
  return { edge, objects };
}
