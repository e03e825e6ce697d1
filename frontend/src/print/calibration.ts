// The calibration page: a label of the current size with millimetre rulers along its four edges
// and a cross at its centre. Printed with the printer's profile, it shows where the printer puts
// the content: the user reads how far the rulers' zero marks or the cross moved and corrects the
// offset; printed again, it shows the correction took.

import { createDocument, LabelDocument, LabelObject, RectObject, TextObject } from '../model/document';

const TICK_MM = 0.2;
const BLACK = '#000000';

function bar(id: string, xMm: number, yMm: number, widthMm: number, heightMm: number): RectObject {
  return {
    id, type: 'rect', xMm, yMm, widthMm, heightMm, rotation: 0, locked: true,
    strokeMm: 0, strokeColor: '', fillColor: BLACK, cornerRadiusMm: 0,
  };
}

function caption(id: string, text: string, xMm: number, yMm: number, widthMm: number, sizePt: number): TextObject {
  return {
    id, type: 'text', text, xMm, yMm, widthMm, heightMm: sizePt * 0.5, rotation: 0, locked: true,
    fontFamily: 'sans-serif', fontSizePt: sizePt, bold: false, italic: false, align: 'center', verticalAlign: 'middle',
    wrap: false, shrinkToFit: true, color: BLACK,
  };
}

/** Tick length at `mm` from an edge: longer every 5 and 10 millimetres, as on a ruler. */
function tickLength(mm: number): number {
  return mm % 10 === 0 ? 3 : mm % 5 === 0 ? 2 : 1;
}

/** `heading` names the page; the cross's position is written under it in millimetres. */
export function calibrationDocument(widthMm: number, heightMm: number, heading: string): LabelDocument {
  const objects: LabelObject[] = [];
  // Ticks start at each edge and stop short of the far one, so a shift shows as a cut tick.
  for (let mm = 0; mm <= widthMm; mm++) {
    const x = Math.min(mm, widthMm - TICK_MM);
    const length = tickLength(mm);
    objects.push(bar(`top${mm}`, x, 0, TICK_MM, length), bar(`bottom${mm}`, x, heightMm - length, TICK_MM, length));
    if (mm % 10 === 0 && mm > 0 && mm < widthMm - 3) objects.push(caption(`tx${mm}`, String(mm), mm - 3, 3.2, 6, 5));
  }
  for (let mm = 0; mm <= heightMm; mm++) {
    const y = Math.min(mm, heightMm - TICK_MM);
    const length = tickLength(mm);
    objects.push(bar(`left${mm}`, 0, y, length, TICK_MM), bar(`right${mm}`, widthMm - length, y, length, TICK_MM));
    if (mm % 10 === 0 && mm > 0 && mm < heightMm - 2) objects.push(caption(`ty${mm}`, String(mm), 3.2, mm - 1.25, 5, 5));
  }
  const cx = Math.round(widthMm * 5) / 10;
  const cy = Math.round(heightMm * 5) / 10;
  const arm = Math.min(5, widthMm / 4, heightMm / 4);
  objects.push(bar('crossH', cx - arm, cy - TICK_MM / 2, 2 * arm, TICK_MM), bar('crossV', cx - TICK_MM / 2, cy - arm, TICK_MM, 2 * arm));
  if (heightMm >= 15 && widthMm >= 30) {
    objects.push(caption('heading', heading, 6, cy + arm + 0.5, widthMm - 12, 6));
    objects.push(caption('where', `+ ${cx.toFixed(1)} × ${cy.toFixed(1)} mm`, 6, cy + arm + 3.5, widthMm - 12, 6));
  }
  return { ...createDocument(heading, widthMm, heightMm), objects };
}
