// Words of the symbologies added beside the first ones (EAN-8, UPC-E, Code 93, Codabar, Aztec,
// GS1 DataBar); messages.ts adds them to each language's table.

export const symbologiesZhCN = {
  faultCodabarStartStop: '{name} 须以 A、B、C 或 D 开头和结尾，例如 A40156B。',
  faultDatabarLimitedStart: '{name} 只能编码以 0 或 1 开头的 GTIN：请改用 GS1 DataBar。',
};

export const symbologiesEn: Record<keyof typeof symbologiesZhCN, string> = {
  faultCodabarStartStop: '{name} starts and ends with A, B, C or D, as in A40156B.',
  faultDatabarLimitedStart: '{name} encodes only GTINs that begin with 0 or 1: choose GS1 DataBar.',
};
