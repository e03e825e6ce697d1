// Text layout for label text boxes: explicit line breaks, wrapping at the box's width
// (between words for Latin text, between characters for CJK), and shrinking to fit.

export type Measure = (text: string, fontSizePx: number) => number;

export interface TextLayout {
  lines: string[];
  fontSizePx: number;
  lineHeightPx: number;
}

export const LINE_HEIGHT = 1.2;
const MIN_FONT_PX = 2;

/** Splits text into pieces that may start a new line: words with their trailing blanks, or single CJK characters. */
export function breakOpportunities(paragraph: string): string[] {
  const pieces = paragraph.match(/[\u2e80-\u9fff\uac00-\ud7af\uf900-\ufaff\uff00-\uffef][\s]*|[^\s\u2e80-\u9fff\uac00-\ud7af\uf900-\ufaff\uff00-\uffef]+\s*|\s+/g);
  return pieces ?? [];
}

export function wrapParagraph(paragraph: string, maxWidth: number, fontSizePx: number, measure: Measure): string[] {
  const lines: string[] = [];
  let line = '';
  for (const piece of breakOpportunities(paragraph)) {
    const candidate = line + piece;
    if (line === '' || measure(candidate.trimEnd(), fontSizePx) <= maxWidth) {
      line = candidate;
    } else {
      lines.push(line.trimEnd());
      line = piece.trimStart() === '' ? '' : piece;
    }
    // A single word wider than the box is broken between characters rather than overflowing.
    while (measure(line.trimEnd(), fontSizePx) > maxWidth && Array.from(line.trimEnd()).length > 1) {
      const chars = Array.from(line);
      let fit = 1;
      while (fit < chars.length && measure(chars.slice(0, fit + 1).join(''), fontSizePx) <= maxWidth) fit++;
      lines.push(chars.slice(0, fit).join(''));
      line = chars.slice(fit).join('');
    }
  }
  lines.push(line.trimEnd());
  return lines;
}

export function layoutLines(text: string, wrap: boolean, maxWidth: number, fontSizePx: number, measure: Measure): string[] {
  const paragraphs = text.split(/\r\n|\r|\n/);
  if (!wrap) return paragraphs;
  return paragraphs.flatMap((p) => wrapParagraph(p, maxWidth, fontSizePx, measure));
}

function fits(lines: string[], fontSizePx: number, width: number, height: number, measure: Measure): boolean {
  if (lines.length * fontSizePx * LINE_HEIGHT > height + 0.01) return false;
  return lines.every((l) => measure(l, fontSizePx) <= width + 0.01);
}

/** Lays text out in a box; with shrinkToFit the size goes down (never up) until everything fits. */
export function layoutText(
  text: string,
  opts: { widthPx: number; heightPx: number; fontSizePx: number; wrap: boolean; shrinkToFit: boolean },
  measure: Measure,
): TextLayout {
  const at = (size: number): TextLayout => ({
    lines: layoutLines(text, opts.wrap, opts.widthPx, size, measure),
    fontSizePx: size,
    lineHeightPx: size * LINE_HEIGHT,
  });
  const full = at(opts.fontSizePx);
  if (!opts.shrinkToFit || fits(full.lines, full.fontSizePx, opts.widthPx, opts.heightPx, measure)) return full;
  let low = MIN_FONT_PX;
  let high = opts.fontSizePx;
  for (let i = 0; i < 14 && high - low > 0.05; i++) {
    const mid = (low + high) / 2;
    const candidate = at(mid);
    if (fits(candidate.lines, mid, opts.widthPx, opts.heightPx, measure)) low = mid;
    else high = mid;
  }
  return at(low);
}

/** Characters set upright in vertical text (CJK, kana, Hangul, full-width forms); the rest turn with the column. */
const UPRIGHT = /[\u1100-\u11ff\u2e80-\u9fff\uac00-\ud7af\uf900-\ufaff\ufe30-\ufe4f\uff00-\uffef]|[\ud840-\ud87f][\udc00-\udfff]/;

/** A column's text in runs: each upright character alone, turned text (Latin, digits) together. */
export function verticalRuns(column: string): { text: string; upright: boolean }[] {
  const runs: { text: string; upright: boolean }[] = [];
  for (const char of Array.from(column)) {
    const upright = UPRIGHT.test(char);
    const last = runs[runs.length - 1];
    if (!upright && last && !last.upright) last.text += char;
    else runs.push({ text: char, upright });
  }
  return runs;
}

/** A column's length: an em for each upright character, the turned runs' own widths. */
export function verticalMeasure(measure: Measure): Measure {
  return (text, size) => verticalRuns(text).reduce((sum, run) => sum + (run.upright ? size : measure(run.text, size)), 0);
}

export function cssFont(family: string, sizePx: number, bold: boolean, italic: boolean): string {
  const safeFamily = family.replace(/["\\]/g, '');
  return `${italic ? 'italic ' : ''}${bold ? 'bold ' : ''}${sizePx}px "${safeFamily}", sans-serif`;
}
