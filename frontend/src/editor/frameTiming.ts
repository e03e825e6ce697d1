// How long the page works on each pointer move over the canvas: from the moment the move is
// dispatched to the end of the redraw it asked for, kept as 'quillmark-frame' performance measures
// (bench/drag.mjs reads them). Moves that arrive within one frame are one measure.

import Konva from 'konva';

export const FRAME_MEASURE = 'quillmark-frame';
/** Measures kept at most: a whole day of moving the mouse must not pile up in the timeline. */
const KEPT_MEASURES = 2000;

/** Starts timing moves over `host` (and drags that leave it); returns what stops it. */
export function timePointerFrames(host: HTMLElement): () => void {
  let start = -1;
  let pending = false;
  let kept = 0;
  const concerns = (e: Event): boolean => Konva.isDragging() || Konva.isTransforming() || host.contains(e.target as Node);
  // First to see the move (capture on the window), before any handler has done its work.
  const begin = (e: Event): void => {
    if (start < 0 && concerns(e)) start = performance.now();
  };
  // Last to see it: Konva's frame queue already holds every layer draw the move asked for, so the
  // callback queued now runs after them, in the same frame.
  const queueEnd = (): void => {
    if (start < 0 || pending) return;
    pending = true;
    Konva.Util.requestAnimFrame(end);
  };
  const end = (): void => {
    pending = false;
    if (kept >= KEPT_MEASURES) {
      performance.clearMeasures(FRAME_MEASURE);
      kept = 0;
    }
    performance.measure(FRAME_MEASURE, { start, end: performance.now() });
    kept += 1;
    start = -1;
  };
  const types = ['mousemove', 'touchmove'] as const;
  for (const type of types) {
    window.addEventListener(type, begin, true);
    window.addEventListener(type, queueEnd);
  }
  return () => {
    for (const type of types) {
      window.removeEventListener(type, begin, true);
      window.removeEventListener(type, queueEnd);
    }
  };
}
