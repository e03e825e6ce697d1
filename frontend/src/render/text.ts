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

// Work stays linear in the paragraph's length however long a word is: a line's width is the
// sum of its pieces' widths (pieces meet at blanks or between scripts, where fonts do not kern),
// and an overlong word is cut by a doubling search over its characters, so nothing is measured
// that is much longer than a line.
export function wrapParagraph(paragraph: string, maxWidth: number, fontSizePx: number, measure: Measure): string[] {
  const lines: string[] = [];
  let line = '';
  let lineWidth = 0; // of line, its trailing blanks included
  for (const piece of breakOpportunities(paragraph)) {
    const word = piece.trimEnd();
    const blanks = piece.slice(word.length);
    const wordWidth = word === '' ? 0 : measure(word, fontSizePx);
    const blanksWidth = blanks === '' ? 0 : measure(blanks, fontSizePx);
    if (line !== '' && lineWidth + wordWidth > maxWidth) {
      lines.push(line.trimEnd());
      line = '';
      lineWidth = 0;
      if (word === '') continue;
    }
    if (line === '' && wordWidth > maxWidth) {
      const chars = Array.from(word);
      let start = 0;
      for (let fit = widestFit(chars, start, maxWidth, fontSizePx, measure); start + fit < chars.length; fit = widestFit(chars, start, maxWidth, fontSizePx, measure)) {
        lines.push(chars.slice(start, start + fit).join(''));
        start += fit;
      }
      const rest = chars.slice(start).join('');
      line = rest + blanks;
      lineWidth = measure(rest, fontSizePx) + blanksWidth;
    } else {
      line += piece;
      lineWidth += wordWidth + blanksWidth;
    }
  }
  lines.push(line.trimEnd());
  return lines;
}

/** How many characters from start fit in maxWidth: at least one, found with O(log n) measurements no longer than twice the answer. */
function widestFit(chars: string[], start: number, maxWidth: number, fontSizePx: number, measure: Measure): number {
  const left = chars.length - start;
  const fitsIn = (count: number): boolean => measure(chars.slice(start, start + count).join(''), fontSizePx) <= maxWidth;
  let low = 1;
  let high = left + 1; // the first count known not to fit, or one past the end
  while (low < left) {
    const probe = Math.min(low * 2, left);
    if (!fitsIn(probe)) {
      high = probe;
      break;
    }
    low = probe;
  }
  while (high - low > 1) {
    const mid = (low + high) >> 1;
    if (fitsIn(mid)) low = mid;
    else high = mid;
  }
  return low;
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

export function cssFont(family: string, sizePx: number, bold: boolean, italic: boolean): string {
  const safeFamily = family.replace(/["\\]/g, '');
  return `${italic ? 'italic ' : ''}${bold ? 'bold ' : ''}${sizePx}px "${safeFamily}", sans-serif`;
}
