// Where a moving box snaps: the label's edges and centre lines, other objects' edges and
// centres, and otherwise the grid. Pure functions, so they are tested without a canvas.

import type { Box, LabelDocument, LabelObject } from '../model/document';
import { visualBox } from '../model/document';
import { roundMm } from '../model/units';

export interface SnapGuide {
  axis: 'x' | 'y';
  at: number;
}

export interface SnapTargets {
  x: number[];
  y: number[];
}

export function snapTargets(doc: Pick<LabelDocument, 'widthMm' | 'heightMm'>, others: readonly LabelObject[]): SnapTargets {
  const x = [0, doc.widthMm / 2, doc.widthMm];
  const y = [0, doc.heightMm / 2, doc.heightMm];
  for (const o of others) {
    const v = visualBox(o);
    x.push(v.xMm, v.xMm + v.widthMm / 2, v.xMm + v.widthMm);
    y.push(v.yMm, v.yMm + v.heightMm / 2, v.yMm + v.heightMm);
  }
  return { x, y };
}

function nearest(edges: number[], targets: number[], tolerance: number): { delta: number; at: number } | null {
  let best: { delta: number; at: number } | null = null;
  for (const edge of edges) {
    for (const target of targets) {
      const delta = target - edge;
      if (Math.abs(delta) <= tolerance && (!best || Math.abs(delta) < Math.abs(best.delta))) best = { delta, at: target };
    }
  }
  return best;
}

/**
 * How far to shift a box so that one of its edges or its centre meets a target within the
 * tolerance; without a target in reach, its top-left corner goes to the grid (step 0: no grid).
 */
export function snapBox(box: Box, targets: SnapTargets, toleranceMm: number, gridStepMm: number): { dx: number; dy: number; guides: SnapGuide[] } {
  const guides: SnapGuide[] = [];
  const axis = (start: number, size: number, list: number[], name: 'x' | 'y'): number => {
    const hit = nearest([start, start + size / 2, start + size], list, toleranceMm);
    if (hit) {
      guides.push({ axis: name, at: hit.at });
      return hit.delta;
    }
    if (gridStepMm > 0) return roundMm(Math.round(start / gridStepMm) * gridStepMm) - start;
    return roundMm(start) - start;
  };
  const dx = axis(box.xMm, box.widthMm, targets.x, 'x');
  const dy = axis(box.yMm, box.heightMm, targets.y, 'y');
  return { dx, dy, guides };
}
