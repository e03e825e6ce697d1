// How much work each frame of the canvas costs while the user drags, pans or draws a band: the
// input handlers' time from the first input event the frame answers, plus the frame's own
// drawing (animation-frame callbacks, where the canvas layers redraw, and the page's layout and
// paint that follow them), without the wait for the display's next frame. Every frame in which a
// canvas layer redrew becomes a `quillmark-frame` performance measure whose duration is that work
// and whose detail.latencyMs is the time from the input to the end of the frame. bench/frontend.mjs
// reads them; the browser's performance panel shows them beside its own profile.

import type Konva from 'konva';

export const FRAME_MEASURE = 'quillmark-frame';
/** Measures are cleared every so many frames, so a day of editing does not pile them up. */
const KEPT_MEASURES = 2000;
const INPUT_EVENTS = ['pointerdown', 'pointermove', 'pointerup', 'mousedown', 'mousemove', 'mouseup', 'wheel'] as const;

export function measureFrames(layers: Konva.Layer[]): () => void {
  let frameStart: number | null = null;
  let inputWork = 0;
  let eventStart = 0;
  let redrawn = false;
  let measured = 0;

  const finishFrame = (drawStart: number): void => {
    const end = performance.now();
    if (frameStart !== null && redrawn) {
      performance.measure(FRAME_MEASURE, { start: frameStart, duration: inputWork + (end - drawStart), detail: { latencyMs: end - frameStart } });
      measured += 1;
      if (measured % KEPT_MEASURES === 0) performance.clearMeasures(FRAME_MEASURE);
    }
    frameStart = null;
    inputWork = 0;
    redrawn = false;
  };
  // This callback is asked for during the input, before any layer's redraw, so it runs first in the
  // frame; a task queued from it runs once the frame's callbacks, layout and paint are done.
  const awaitFrame = (): void => {
    requestAnimationFrame(() => {
      const drawStart = performance.now();
      setTimeout(() => finishFrame(drawStart), 0);
    });
  };
  const inputStarts = (): void => {
    eventStart = performance.now();
    if (frameStart === null) {
      frameStart = eventStart;
      awaitFrame();
    }
  };
  const inputEnds = (): void => {
    if (frameStart !== null) inputWork += performance.now() - eventStart;
  };
  // Capturing on the window runs before every other handler; bubbling on the window, added last,
  // after them (including the canvas library's own window listeners for dragging).
  for (const type of INPUT_EVENTS) {
    window.addEventListener(type, inputStarts, { capture: true, passive: true });
    window.addEventListener(type, inputEnds, { passive: true });
  }
  const onDraw = (): void => {
    redrawn = true;
  };
  for (const layer of layers) layer.on('draw.frames', onDraw);
  return () => {
    for (const type of INPUT_EVENTS) {
      window.removeEventListener(type, inputStarts, { capture: true });
      window.removeEventListener(type, inputEnds);
    }
    for (const layer of layers) layer.off('draw.frames');
  };
}
