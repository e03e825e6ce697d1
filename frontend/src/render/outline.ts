// The label's outline as a canvas path, for clipping what is printed to the label's shape and for
// drawing the label on screen.

import type { LabelOutline } from '../model/shape';

type PathTarget = Pick<CanvasRenderingContext2D, 'rect' | 'ellipse' | 'arc' | 'moveTo' | 'closePath'>;

/**
 * Adds the label's shape to the current path, `scale` pixels a millimetre; a CD label's hole is a
 * second loop, so fill and clip with the even-odd rule. Rectangles keep their square corners: the
 * maker's corner radius is smaller than any printer's margin.
 */
export function traceLabelOutline(ctx: PathTarget, outline: LabelOutline, scale: number): void {
  const w = outline.widthMm * scale;
  const h = outline.heightMm * scale;
  if (outline.shape === 'rectangle') {
    ctx.rect(0, 0, w, h);
    return;
  }
  if (outline.shape === 'ellipse' || outline.shape === 'round') {
    ctx.ellipse(w / 2, h / 2, w / 2, h / 2, 0, 0, 2 * Math.PI);
  } else if (Math.abs(w - h) < 1e-6) {
    ctx.arc(w / 2, h / 2, w / 2, 0, 2 * Math.PI);
  } else {
    // A CD label cut straight at its sides: its disc is clipped to its box by the caller's rectangle.
    ctx.arc(w / 2, h / 2, Math.max(w, h) / 2, 0, 2 * Math.PI);
  }
  ctx.closePath();
  if (outline.holeDiameterMm > 0) {
    const r = (outline.holeDiameterMm / 2) * scale;
    ctx.moveTo(w / 2 + r, h / 2);
    ctx.arc(w / 2, h / 2, r, 0, 2 * Math.PI);
    ctx.closePath();
  }
}
