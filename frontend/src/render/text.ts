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

/** Pieces longer than this are measured as the sum of their characters' widths. */
const LONG_PIECE = 256;

// Canvas measuring costs about as much per character as drawing, so the layout measures each
// character of a long word once and adds widths up: a line is as wide as its pieces together
// (they meet at blanks or between scripts, where fonts do not kern), a long word as its
// characters together. Work so stays linear in the text's length however long a word is. With
// maxLines it stops once there are more lines than that, all that a caller asking whether the
// text fits needs.
export function wrapParagraph(paragraph: string, maxWidth: number, fontSizePx: number, measure: Measure, maxLines = Infinity): string[] {
  const lines: string[] = [];
  const widthOf = charWidths(measure, fontSizePx);
  let line = '';
  let lineWidth = 0; // of line, its trailing blanks included
  for (const piece of breakOpportunities(paragraph)) {
    if (lines.length > maxLines) return lines;
    const word = piece.trimEnd();
    const blanks = piece.slice(word.length);
    const chars = word.length > LONG_PIECE ? Array.from(word) : null;
    const wordWidth = chars ? sum(chars.map(widthOf)) : word === '' ? 0 : measure(word, fontSizePx);
    const blanksWidth = blanks === '' ? 0 : measure(blanks, fontSizePx);
    if (line !== '' && lineWidth + wordWidth > maxWidth) {
      lines.push(line.trimEnd());
      line = '';
      lineWidth = 0;
      if (word === '') continue;
    }
    if (line === '' && wordWidth > maxWidth) {
      // A word wider than the box is broken between characters rather than overflowing.
      const split = chars ?? Array.from(word);
      const ends = prefixSums(split.map(widthOf));
      let start = 0;
      while (lines.length <= maxLines) {
        const end = Math.max(start + 1, lastWithin(ends, ends[start] + maxWidth));
        if (end >= split.length) break;
        lines.push(split.slice(start, end).join(''));
        start = end;
      }
      if (lines.length > maxLines) return lines;
      line = split.slice(start).join('') + blanks;
      lineWidth = ends[split.length] - ends[start] + blanksWidth;
    } else {
      line += piece;
      lineWidth += wordWidth + blanksWidth;
    }
  }
  lines.push(line.trimEnd());
  return lines;
}

function charWidths(measure: Measure, fontSizePx: number): (char: string) => number {
  const known = new Map<string, number>();
  return (char) => {
    let width = known.get(char);
    if (width === undefined) {
      width = measure(char, fontSizePx);
      known.set(char, width);
    }
    return width;
  };
}

const sum = (values: number[]): number => values.reduce((a, b) => a + b, 0);

/** ends[i]: the width of the first i characters. */
function prefixSums(widths: number[]): number[] {
  const ends = [0];
  for (const w of widths) ends.push(ends[ends.length - 1] + w);
  return ends;
}

/** The largest i with ends[i] <= limit (ends rises). */
function lastWithin(ends: number[], limit: number): number {
  let low = 0;
  let high = ends.length;
  while (high - low > 1) {
    const mid = (low + high) >> 1;
    if (ends[mid] <= limit) low = mid;
    else high = mid;
  }
  return low;
}

export function layoutLines(text: string, wrap: boolean, maxWidth: number, fontSizePx: number, measure: Measure, maxLines = Infinity): string[] {
  const paragraphs = text.split(/\r\n|\r|\n/);
  if (!wrap) return paragraphs;
  const lines: string[] = [];
  for (const p of paragraphs) {
    if (lines.length > maxLines) break;
    lines.push(...wrapParagraph(p, maxWidth, fontSizePx, measure, maxLines - lines.length));
  }
  return lines;
}

/**
 * Whether laid-out lines fit the box. Wrapped lines are as wide as the box allows by how they
 * were made, unless one character alone is wider; unwrapped lines are measured.
 */
function fits(lines: string[], wrap: boolean, fontSizePx: number, width: number, height: number, measure: Measure): boolean {
  if (lines.length * fontSizePx * LINE_HEIGHT > height + 0.01) return false;
  const measured = wrap ? lines.filter((l) => l.length <= 2 && Array.from(l).length === 1) : lines;
  return measured.every((l) => measure(l, fontSizePx) <= width + 0.01);
}

/** Lays text out in a box; with shrinkToFit the size goes down (never up) until everything fits. */
export function layoutText(
  text: string,
  opts: { widthPx: number; heightPx: number; fontSizePx: number; wrap: boolean; shrinkToFit: boolean },
  measure: Measure,
): TextLayout {
  // While shrinking, a size is tried only as far as the box holds lines (a size too large for a
  // long text is known to be so after a boxful), and with widths measured once at the given size
  // and scaled, as text widths scale with the font size.
  const measured = new Map<string, number>();
  const scaled: Measure = (s, size) => {
    let width = measured.get(s);
    if (width === undefined) {
      width = measure(s, opts.fontSizePx);
      measured.set(s, width);
    }
    return (width * size) / opts.fontSizePx;
  };
  const at = (size: number, trial: boolean): TextLayout => ({
    lines: layoutLines(text, opts.wrap, opts.widthPx, size, trial ? scaled : measure, trial ? Math.floor((opts.heightPx + 0.01) / (size * LINE_HEIGHT)) : Infinity),
    fontSizePx: size,
    lineHeightPx: size * LINE_HEIGHT,
  });
  const fitsAt = (layout: TextLayout, m: Measure): boolean => fits(layout.lines, opts.wrap, layout.fontSizePx, opts.widthPx, opts.heightPx, m);
  if (!opts.shrinkToFit) return at(opts.fontSizePx, false);
  if (fitsAt(at(opts.fontSizePx, true), scaled)) return at(opts.fontSizePx, false);
  let low = MIN_FONT_PX;
  let high = opts.fontSizePx;
  for (let i = 0; i < 14 && high - low > 0.05; i++) {
    const mid = (low + high) / 2;
    if (fitsAt(at(mid, true), scaled)) low = mid;
    else high = mid;
  }
  // Measured at its own size, the chosen layout may come out a hair wider than scaled widths said.
  let chosen = at(low, false);
  for (let tries = 0; tries < 3 && low > MIN_FONT_PX && !fitsAt(chosen, measure); tries++) {
    low = Math.max(MIN_FONT_PX, low * 0.98);
    chosen = at(low, false);
  }
  return chosen;
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
