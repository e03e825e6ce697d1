// Why a barcode cannot be encoded, in words a person at the label printer can act on. bwip-js
// throws English sentences led by an internal code ("bwipp.ean13badCheckDigit#6915: Incorrect
// EAN-13 check digit provided"); the code says what went wrong, the data says how to mend it.

import { SYMBOLOGY_NAMES, Symbology } from '../model/document';
import type { MessageKey } from '../i18n/messages';
import { gs1CheckDigit, Gs1Error } from './gs1';

export type BarcodeFault =
  | { code: 'empty' }
  | { code: 'checkDigit'; symbology: Symbology; expected: string }
  | { code: 'length'; symbology: Symbology; actual: number }
  | { code: 'characters'; symbology: Symbology }
  | { code: 'tooLong'; symbology: Symbology; actual: number }
  | { code: 'gs1'; symbology: Symbology; error: Gs1Error }
  | { code: 'startStop'; symbology: Symbology }
  | { code: 'startDigit'; symbology: Symbology }
  | { code: 'other'; symbology: Symbology; detail: string };

/** Thrown for GS1 data that does not check out before bwip-js sees it. */
export class Gs1DataError extends Error {
  constructor(readonly detail: Gs1Error) {
    super(`gs1 ${detail.code}`);
  }
}

/** Digits a code takes without and with its check digit; the check digit is added when left out. */
const DIGIT_LENGTHS: Partial<Record<Symbology, [number, number]>> = { ean13: [12, 13], upca: [11, 12], itf14: [13, 14], ean8: [7, 8], upce: [7, 8] };

/**
 * UPC-E's check digit is that of the UPC-A number it stands for: its number system and six digits
 * spread out with zeros where the last digit says.
 */
export function upceCheckDigit(seven: string): string {
  const [s, d1, d2, d3, d4, d5, d6] = seven;
  const full = d6 <= '2' ? `${s}${d1}${d2}${d6}0000${d3}${d4}${d5}`
    : d6 === '3' ? `${s}${d1}${d2}${d3}00000${d4}${d5}`
      : d6 === '4' ? `${s}${d1}${d2}${d3}${d4}00000${d5}`
        : `${s}${d1}${d2}${d3}${d4}${d5}0000${d6}`;
  return gs1CheckDigit(full);
}

export function readBarcodeFault(symbol: { symbology: Symbology; data: string }, error: unknown): BarcodeFault {
  const { symbology, data } = symbol;
  if (data === '') return { code: 'empty' };
  if (error instanceof Gs1DataError) return { code: 'gs1', symbology, error: error.detail };
  const text = error instanceof Error ? error.message : String(error);
  const match = /^bwipp\.(\w+?)(?:#\d+)?:\s*([\s\S]*)$/.exec(text);
  const code = match ? match[1].toLowerCase() : '';
  const lengths = DIGIT_LENGTHS[symbology];
  if (/badcheckdigit|badchecksum/.test(code) && lengths && /^\d+$/.test(data) && data.length === lengths[1]) {
    return { code: 'checkDigit', symbology, expected: symbology === 'upce' ? upceCheckDigit(data.slice(0, -1)) : gs1CheckDigit(data.slice(0, -1)) };
  }
  if (/badstartstop/.test(code)) return { code: 'startStop', symbology };
  if (/badstartdigit/.test(code)) return { code: 'startDigit', symbology };
  if (/badlength/.test(code) && lengths) return { code: 'length', symbology, actual: [...data].length };
  if (/badcharacter/.test(code)) return { code: 'characters', symbology };
  if (/emptydata/.test(code)) return { code: 'empty' };
  if (/toolong|toolarge|toomuchdata|novalidsymbol|insufficientcapacity/.test(code)) return { code: 'tooLong', symbology, actual: [...data].length };
  return { code: 'other', symbology, detail: match ? match[2] : text.replace(/^bwip-js:\s*/, '') };
}

interface Words {
  msg(key: MessageKey, params?: Record<string, string | number>): string;
}

/** The fault in the interface's language, with what to do about it. */
export function describeBarcodeFault(fault: BarcodeFault, words: Words): string {
  const msg = (key: MessageKey, params?: Record<string, string | number>): string => words.msg(key, params);
  if (fault.code === 'empty') return msg('barcodeEmpty');
  const name = SYMBOLOGY_NAMES[fault.symbology];
  const lengths = DIGIT_LENGTHS[fault.symbology] ?? [0, 0];
  switch (fault.code) {
    case 'checkDigit':
      return msg('faultCheckDigit', { name, digit: fault.expected, digits: lengths[0] });
    case 'length':
      return msg('faultLength', { name, short: lengths[0], long: lengths[1], actual: fault.actual });
    case 'characters':
      return msg(fault.symbology === 'code39' ? 'faultCharactersCode39' : lengths[0] ? 'faultDigitsOnly' : 'faultCharacters', { name });
    case 'tooLong':
      return msg('faultTooLong', { name, actual: fault.actual });
    case 'gs1':
      return describeGs1Error(fault.error, msg);
    case 'startStop':
      return msg('faultCodabarStartStop', { name });
    case 'startDigit':
      return msg('faultDatabarLimitedStart', { name });
    case 'other':
      return msg('barcodeInvalid', { detail: `${name}: ${fault.detail}` });
  }
}

function describeGs1Error(error: Gs1Error, msg: Words['msg']): string {
  switch (error.code) {
    case 'syntax': return msg('faultGs1Syntax', { at: error.at + 1 });
    case 'unknownAi': return msg('faultGs1UnknownAi', { ai: error.ai });
    case 'badLength': return msg('faultGs1Length', { ai: error.ai, length: error.min === error.max ? `${error.min}` : `${error.min}–${error.max}` });
    case 'badCharacters': return msg('faultGs1Characters', { ai: error.ai });
    case 'badDate': return msg('faultGs1Date', { ai: error.ai });
    case 'badCheckDigit': return msg('faultGs1CheckDigit', { ai: error.ai, digit: error.expected });
  }
}
