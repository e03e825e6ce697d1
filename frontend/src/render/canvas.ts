// One place that makes drawing surfaces, so the renderer runs in a page or in a worker alike.

export type AnyCanvas = HTMLCanvasElement | OffscreenCanvas;
export type Ctx2D = CanvasRenderingContext2D | OffscreenCanvasRenderingContext2D;

export function createCanvas(width: number, height: number): AnyCanvas {
  if (typeof document !== 'undefined') {
    const canvas = document.createElement('canvas');
    canvas.width = width;
    canvas.height = height;
    return canvas;
  }
  return new OffscreenCanvas(width, height);
}

export function context2d(canvas: AnyCanvas, settings?: CanvasRenderingContext2DSettings): Ctx2D {
  const ctx = canvas.getContext('2d', settings) as Ctx2D | null;
  if (!ctx) throw new Error('2D canvas is not available');
  return ctx;
}
