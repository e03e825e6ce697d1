// The shape of the label itself (rectangle, round, oval, CD/DVD with its hole), from the stock the
// label was made for, and which objects reach past it: what lies off the label does not print.

import { labelPoint, LabelDocument, LabelObject } from './document';
import type { LabelShape } from './stock';

export interface LabelOutline {
  shape: LabelShape;
  widthMm: number;
  heightMm: number;
  cornerRadiusMm: number;
  holeDiameterMm: number;
}

/** The label's outline; a label made for no stock is a plain rectangle. */
export function labelOutline(doc: Pick<LabelDocument, 'widthMm' | 'heightMm' | 'stock'>): LabelOutline {
  const stock = doc.stock;
  return {
    shape: stock?.shape ?? 'rectangle', widthMm: doc.widthMm, heightMm: doc.heightMm,
    cornerRadiusMm: stock?.cornerRadiusMm ?? 0, holeDiameterMm: stock?.shape === 'cd' ? stock.holeDiameterMm ?? 0 : 0,
  };
}

/** Slack for figures rounded on the way: an object placed flush with the edge is on the label. */
const EDGE_MM = 0.05;

function inside(outline: LabelOutline, x: number, y: number): boolean {
  const { widthMm: w, heightMm: h } = outline;
  if (x < -EDGE_MM || y < -EDGE_MM || x > w + EDGE_MM || y > h + EDGE_MM) return false;
  if (outline.shape === 'rectangle') return true;
  // A CD label cut straight at its sides is its disc within its box.
  const r = outline.shape === 'cd' ? Math.max(w, h) / 2 : 0;
  const rx = (outline.shape === 'cd' ? r : w / 2) + EDGE_MM;
  const ry = (outline.shape === 'cd' ? r : h / 2) + EDGE_MM;
  const dx = (x - w / 2) / rx, dy = (y - h / 2) / ry;
  return dx * dx + dy * dy <= 1;
}

/** The four corners of an object's box as turned on the label. */
function corners(o: LabelObject): { x: number; y: number }[] {
  return [[0, 0], [o.widthMm, 0], [o.widthMm, o.heightMm], [0, o.heightMm]].map(([x, y]) => labelPoint(o, x, y));
}

/** Whether a convex polygon reaches into a circle: its centre inside, or an edge nearer than the radius. */
function touchesCircle(points: { x: number; y: number }[], cx: number, cy: number, r: number): boolean {
  let sign = 0;
  let centreInside = true;
  for (let i = 0; i < points.length; i++) {
    const a = points[i], b = points[(i + 1) % points.length];
    const ex = b.x - a.x, ey = b.y - a.y;
    const cross = ex * (cy - a.y) - ey * (cx - a.x);
    if (cross !== 0) {
      if (sign !== 0 && Math.sign(cross) !== sign) centreInside = false;
      sign = Math.sign(cross);
    }
    const length2 = ex * ex + ey * ey;
    const t = length2 === 0 ? 0 : Math.max(0, Math.min(1, ((cx - a.x) * ex + (cy - a.y) * ey) / length2));
    if (Math.hypot(a.x + t * ex - cx, a.y + t * ey - cy) < r - EDGE_MM) return true;
  }
  return centreInside;
}

/**
 * Whether part of an object lies off the label: past its edge, outside a round or oval label, or
 * over a CD label's hole. The shape of the label is convex, so a box lies on it when its corners do.
 */
export function isOffLabel(outline: LabelOutline, o: LabelObject): boolean {
  const points = corners(o);
  if (!points.every((p) => inside(outline, p.x, p.y))) return true;
  return outline.holeDiameterMm > 0 && touchesCircle(points, outline.widthMm / 2, outline.heightMm / 2, outline.holeDiameterMm / 2);
}

/** The objects of a label that reach off it, in drawing order. */
export function offLabelObjects(doc: Pick<LabelDocument, 'widthMm' | 'heightMm' | 'stock' | 'objects'>): LabelObject[] {
  const outline = labelOutline(doc);
  return doc.objects.filter((o) => isOffLabel(outline, o));
}
