// Rulers along the top and left of the canvas, in millimetres or inches, following zoom and scrolling.

import type { LabelDocument } from '../model/document';
import { formatNumber, LengthUnit, unitToMm } from '../model/units';

export const RULER_SIZE = 22;

/** Tick spacings in each unit: decimal steps of millimetres, halving fractions of an inch. */
const STEPS: Record<LengthUnit, number[]> = {
  mm: [1, 2, 5, 10, 20, 50, 100, 200, 500, 1000],
  in: [0.0625, 0.125, 0.25, 0.5, 1, 2, 5, 10, 20, 50],
};

/** The tick spacing, in millimetres, that keeps numbers readable at this zoom: 1, 2, 5, 10 … mm or ⅛, ¼, ½, 1 … in. */
export function rulerStep(pxPerMm: number, unit: LengthUnit = 'mm'): { minor: number; major: number } {
  const steps = STEPS[unit].map((s) => unitToMm(s, unit));
  const last = steps[steps.length - 1];
  const major = steps.find((s) => s * pxPerMm >= 50) ?? last;
  const minor = steps.find((s) => s * pxPerMm >= 6) ?? major;
  return { minor: Math.min(minor, major), major };
}

function prepare(canvas: HTMLCanvasElement): CanvasRenderingContext2D | null {
  const ratio = window.devicePixelRatio || 1;
  const w = canvas.clientWidth, h = canvas.clientHeight;
  if (w === 0 || h === 0) return null;
  if (canvas.width !== Math.round(w * ratio) || canvas.height !== Math.round(h * ratio)) {
    canvas.width = Math.round(w * ratio);
    canvas.height = Math.round(h * ratio);
  }
  const ctx = canvas.getContext('2d');
  if (!ctx) return null;
  ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
  ctx.clearRect(0, 0, w, h);
  return ctx;
}

export function drawRulers(
  top: HTMLCanvasElement, left: HTMLCanvasElement, originX: number, originY: number, pxPerMm: number,
  doc: Pick<LabelDocument, 'widthMm' | 'heightMm'>, pointer: { x: number; y: number } | null, unit: LengthUnit = 'mm',
): void {
  const { minor, major } = rulerStep(pxPerMm, unit);
  const name = (mm: number): string => formatNumber(mm / unitToMm(1, unit), 2);
  drawOne(top, 'x', originX, pxPerMm, doc.widthMm, minor, major, pointer?.x ?? null, name);
  drawOne(left, 'y', originY, pxPerMm, doc.heightMm, minor, major, pointer?.y ?? null, name);
}

function drawOne(
  canvas: HTMLCanvasElement, axis: 'x' | 'y', origin: number, pxPerMm: number, lengthMm: number, minor: number, major: number,
  pointerMm: number | null, name: (mm: number) => string,
): void {
  const ctx = prepare(canvas);
  if (!ctx) return;
  const along = axis === 'x' ? canvas.clientWidth : canvas.clientHeight;
  const across = axis === 'x' ? canvas.clientHeight : canvas.clientWidth;
  const offset = 0;
  ctx.fillStyle = '#f3f5f8';
  ctx.fillRect(0, 0, canvas.clientWidth, canvas.clientHeight);
  // The label's extent is shown in white, like the paper itself.
  const a = offset + origin;
  const b = offset + origin + lengthMm * pxPerMm;
  ctx.fillStyle = '#ffffff';
  if (axis === 'x') ctx.fillRect(a, 0, b - a, across);
  else ctx.fillRect(0, a, across, b - a);
  ctx.strokeStyle = '#8a94a6';
  ctx.fillStyle = '#4a5568';
  ctx.lineWidth = 1;
  ctx.font = '10px "DejaVu Sans", sans-serif';
  ctx.beginPath();
  const firstMm = Math.floor((-offset - origin) / pxPerMm / minor) * minor;
  const lastMm = (along - offset - origin) / pxPerMm;
  for (let i = Math.round(firstMm / minor), mm = firstMm; mm <= lastMm; i++, mm = i * minor) {
    const pos = Math.round(offset + origin + mm * pxPerMm) + 0.5;
    const isMajor = Math.abs(mm / major - Math.round(mm / major)) < 1e-6;
    const half = Math.abs((mm * 2) / major - Math.round((mm * 2) / major)) < 1e-6;
    const len = isMajor ? across * 0.6 : half ? across * 0.4 : across * 0.25;
    if (axis === 'x') {
      ctx.moveTo(pos, across);
      ctx.lineTo(pos, across - len);
    } else {
      ctx.moveTo(across, pos);
      ctx.lineTo(across - len, pos);
    }
    if (isMajor) {
      const label = name(mm);
      if (axis === 'x') {
        ctx.fillText(label, pos + 3, 10);
      } else {
        ctx.save();
        ctx.translate(10, pos + 3);
        ctx.rotate(-Math.PI / 2);
        ctx.textAlign = 'right';
        ctx.fillText(label, 0, 0);
        ctx.restore();
      }
    }
  }
  ctx.stroke();
  if (pointerMm !== null) {
    const pos = Math.round(offset + origin + pointerMm * pxPerMm) + 0.5;
    ctx.strokeStyle = '#e8398b';
    ctx.beginPath();
    if (axis === 'x') {
      ctx.moveTo(pos, 0);
      ctx.lineTo(pos, across);
    } else {
      ctx.moveTo(0, pos);
      ctx.lineTo(across, pos);
    }
    ctx.stroke();
  }
  ctx.strokeStyle = '#c8cfdb';
  ctx.beginPath();
  if (axis === 'x') {
    ctx.moveTo(0, across - 0.5);
    ctx.lineTo(along, across - 0.5);
  } else {
    ctx.moveTo(across - 0.5, 0);
    ctx.lineTo(across - 0.5, along);
  }
  ctx.stroke();
}
