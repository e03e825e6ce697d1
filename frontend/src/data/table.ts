// A sheet as the merge uses it: column names and records of text cells.

/** The most records a data source may hold, its header row not counted. */
export const MAX_RECORDS = 100000;

export interface SheetTable {
  columns: string[];
  records: string[][];
}

/** Spreadsheet column letters: 0 is A, 25 is Z, 26 is AA. */
export function columnName(index: number): string {
  let name = '';
  for (let n = index + 1; n > 0; n = Math.floor((n - 1) / 26)) name = String.fromCharCode(65 + ((n - 1) % 26)) + name;
  return name;
}

/**
 * Column names from the first row (blank or repeated names get the column's letter, so every
 * field has one meaning), or the letters A, B, C ... when the first row is data.
 */
export function tableFromRows(rows: readonly string[][], headerRow: boolean): SheetTable {
  const width = rows.reduce((w, r) => Math.max(w, r.length), 0);
  const header = headerRow && rows.length > 0 ? rows[0] : [];
  const seen = new Set<string>();
  const columns: string[] = [];
  for (let i = 0; i < width; i++) {
    let name = (header[i] ?? '').trim().replace(/[{}]/g, '');
    if (!headerRow || name === '' || seen.has(name)) name = columnName(i);
    while (seen.has(name)) name = `${name}_${i + 1}`;
    seen.add(name);
    columns.push(name);
  }
  const data = headerRow ? rows.slice(1) : rows.slice();
  // Rows as wide as the sheet (every workbook row) are shared, not copied: records are never changed.
  const records = data.map((r) => (r.length === width ? r : columns.map((_, i) => r[i] ?? '')));
  return { columns, records };
}
