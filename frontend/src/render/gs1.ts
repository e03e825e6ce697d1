// GS1 element strings in the (AI) notation people type and print under the bars, e.g.
// "(01)09506000134352(17)261231(10)ABC123": checked against the common Application Identifiers,
// with the check digit of a GTIN, SSCC or GLN worked out when it is left out. bwip-js encodes the
// checked text as GS1-128 or GS1 DataMatrix and puts the FNC1 separators in itself.

interface AiSpec {
  /** 'N' digits only; 'X' GS1's 82 printable characters. */
  chars: 'N' | 'X';
  min: number;
  max: number;
  checkDigit?: boolean;
  date?: boolean;
}

const n = (length: number, extra: Partial<AiSpec> = {}): AiSpec => ({ chars: 'N', min: length, max: length, ...extra });
const nUpTo = (max: number): AiSpec => ({ chars: 'N', min: 1, max });
const xUpTo = (max: number): AiSpec => ({ chars: 'X', min: 1, max });

const AIS: Record<string, AiSpec> = {
  '00': n(18, { checkDigit: true }), // SSCC
  '01': n(14, { checkDigit: true }), // GTIN
  '02': n(14, { checkDigit: true }), // GTIN of contained trade items
  '10': xUpTo(20), // batch or lot
  '11': n(6, { date: true }), // production date
  '12': n(6, { date: true }), // due date
  '13': n(6, { date: true }), // packaging date
  '15': n(6, { date: true }), // best before
  '16': n(6, { date: true }), // sell by
  '17': n(6, { date: true }), // expiration date
  '20': n(2), // variant
  '21': xUpTo(20), // serial number
  '22': xUpTo(20), // consumer product variant
  '240': xUpTo(30), // additional product identification
  '241': xUpTo(30), // customer part number
  '250': xUpTo(30), // secondary serial number
  '30': nUpTo(8), // variable count
  '37': nUpTo(8), // count of trade items
  '400': xUpTo(30), // customer's purchase order number
  '401': xUpTo(30), // consignment number
  '402': n(17, { checkDigit: true }), // shipment identification
  '410': n(13, { checkDigit: true }), // ship to GLN
  '411': n(13, { checkDigit: true }), // bill to GLN
  '412': n(13, { checkDigit: true }), // purchased from GLN
  '413': n(13, { checkDigit: true }), // ship for GLN
  '414': n(13, { checkDigit: true }), // physical location GLN
  '420': xUpTo(20), // ship-to postal code
  '421': { chars: 'X', min: 4, max: 12 }, // ship-to postal code with ISO country code (n3 + X..9)
  '422': n(3), // country of origin
  '7003': n(10), // expiration date and time
  '8005': n(6), // price per unit of measure
  '8008': { chars: 'N', min: 8, max: 12 }, // production date and time
  '8020': xUpTo(25), // payment slip reference number
};

/** Measures with the decimal point's position as the AI's last digit: 310n to 316n, 320n, 330n. */
const MEASURES = /^(31[0-6]|320|330)[0-9]$/;
/** Company internal information. */
const INTERNAL = /^9[1-9]$/;

/** AIs whose data has a predefined length, so no separator follows them (by their first two digits). */
const PREDEFINED_LENGTH: Record<string, number> = {
  '00': 18, '01': 14, '02': 14, '03': 14, '04': 16, '11': 6, '12': 6, '13': 6, '14': 6, '15': 6,
  '16': 6, '17': 6, '18': 6, '19': 6, '20': 2, '31': 6, '32': 6, '33': 6, '34': 6, '35': 6, '36': 6, '41': 13,
};

const CSET82 = /^[!"%&'()*+,\-./0-9:;<=>?A-Z_a-z]*$/;

function specOf(ai: string): AiSpec | undefined {
  if (AIS[ai]) return AIS[ai];
  if (MEASURES.test(ai)) return n(6);
  if (INTERNAL.test(ai)) return xUpTo(90);
  return undefined;
}

export interface Gs1Element {
  ai: string;
  value: string;
}

export type Gs1Error =
  | { code: 'syntax'; at: number }
  | { code: 'unknownAi'; ai: string }
  | { code: 'badLength'; ai: string; min: number; max: number }
  | { code: 'badCharacters'; ai: string }
  | { code: 'badDate'; ai: string }
  | { code: 'badCheckDigit'; ai: string; expected: string };

export type Gs1Result =
  | {
      ok: true;
      elements: Gs1Element[];
      /** The element string in (AI) notation, check digits included: the text bwip-js encodes. */
      text: string;
      /** True when a check digit was added to what was typed. */
      completed: boolean;
    }
  | { ok: false; error: Gs1Error };

/** GS1 mod-10 check digit of the digits given (weights 3, 1, 3 … from the right). */
export function gs1CheckDigit(digits: string): string {
  let sum = 0;
  for (let i = 0; i < digits.length; i++) {
    const weight = (digits.length - i) % 2 === 1 ? 3 : 1;
    sum += weight * (digits.charCodeAt(i) - 48);
  }
  return String((10 - (sum % 10)) % 10);
}

function validDate(yymmdd: string): boolean {
  const month = Number(yymmdd.slice(2, 4));
  const day = Number(yymmdd.slice(4, 6));
  if (month < 1 || month > 12) return false;
  // Day 00 stands for the month's last day.
  const daysInMonth = new Date(Date.UTC(2000 + Number(yymmdd.slice(0, 2)), month, 0)).getUTCDate();
  return day <= daysInMonth;
}

/** Checks one element and completes a missing check digit; returns the value to encode or an error. */
function checkElement(ai: string, typed: string): { value: string; completed: boolean } | Gs1Error {
  const rule = specOf(ai);
  if (!rule) return { code: 'unknownAi', ai };
  let value = typed;
  let completed = false;
  if (rule.chars === 'N' ? !/^[0-9]*$/.test(value) : !CSET82.test(value)) return { code: 'badCharacters', ai };
  if (ai === '421' && !/^[0-9]{3}/.test(value)) return { code: 'badCharacters', ai };
  if (rule.checkDigit && value.length === rule.max - 1) {
    value += gs1CheckDigit(value);
    completed = true;
  }
  if (value.length < rule.min || value.length > rule.max) return { code: 'badLength', ai, min: rule.min, max: rule.max };
  if (rule.checkDigit) {
    const expected = gs1CheckDigit(value.slice(0, -1));
    if (value.slice(-1) !== expected) return { code: 'badCheckDigit', ai, expected };
  }
  if (rule.date && !validDate(value)) return { code: 'badDate', ai };
  return { value, completed };
}

function checkElements(typed: Gs1Element[]): Gs1Result {
  const elements: Gs1Element[] = [];
  let completed = false;
  for (const { ai, value } of typed) {
    const checked = checkElement(ai, value);
    if ('code' in checked) return { ok: false, error: checked };
    elements.push({ ai, value: checked.value });
    completed = completed || checked.completed;
  }
  return { ok: true, elements, text: elements.map((e) => `(${e.ai})${e.value}`).join(''), completed };
}

/** Parses and checks "(AI)value(AI)value…"; blanks around the parts are ignored. */
export function parseGs1(input: string): Gs1Result {
  const text = input.trim();
  const typed: Gs1Element[] = [];
  // Values may not contain brackets: in this notation they could not be told from the next AI.
  const part = /\((\d{2,4})\)([^()]*)/y;
  let at = 0;
  while (at < text.length) {
    part.lastIndex = at;
    const m = part.exec(text);
    if (!m) return { ok: false, error: { code: 'syntax', at } };
    typed.push({ ai: m[1], value: m[2].trim() });
    at = part.lastIndex;
  }
  if (typed.length === 0) return { ok: false, error: { code: 'syntax', at: 0 } };
  return checkElements(typed);
}

const GS = '\u001d';

/**
 * Reads an element string as a scanner delivers it: AIs and data run together, a GS (or FNC1)
 * after each variable-length value, optionally led by a symbology identifier such as "]C1".
 */
export function parseScannedGs1(scanned: string): Gs1Result {
  const text = scanned.replace(/^\][A-Za-z][0-9]/, '').replace(/^\u001d/, '');
  const typed: Gs1Element[] = [];
  let at = 0;
  while (at < text.length) {
    const ai = [2, 3, 4].map((len) => text.slice(at, at + len)).find((candidate) => specOf(candidate));
    if (!ai) return { ok: false, error: { code: 'unknownAi', ai: text.slice(at, at + 4) } };
    at += ai.length;
    const fixed = PREDEFINED_LENGTH[ai.slice(0, 2)];
    let end = fixed !== undefined ? at + fixed : text.indexOf(GS, at);
    if (end < 0) end = text.length;
    typed.push({ ai, value: text.slice(at, end) });
    at = text[end] === GS ? end + 1 : end;
  }
  return checkElements(typed);
}

export type Gs1Symbology = 'gs1-128' | 'gs1datamatrix' | 'databaromni' | 'databarlimited' | 'databarexpanded';

/** The bwip-js options that encode a checked element string. */
export function gs1BwipOptions(symbology: Gs1Symbology, result: Extract<Gs1Result, { ok: true }>): { bcid: Gs1Symbology; text: string } {
  return { bcid: symbology, text: result.text };
}
