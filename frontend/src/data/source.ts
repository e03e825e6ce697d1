// The page's side of reading spreadsheets: hands the bytes to a worker built from its own
// bundle, waits with a time limit, and takes only plain text cells back. Whatever a crafted
// file does to the parser stays inside the worker, which is ended after every file.

import { workerUrl } from '../util/bundles';
import type { MixedLines, TextEncodingName } from './decode';
import type { ContentKind, ParseFailure, ParsedSheet } from './parse';
import { columnName, SheetTable, tableFromRows } from './table';

export const PARSE_TIMEOUT_MS = 30000;

export type WorkbookReadFailure = ParseFailure | { code: 'timeout' } | { code: 'workerFailed'; detail: string };

export class SpreadsheetError extends Error {
  constructor(readonly failure: WorkbookReadFailure) {
    super(failure.code);
    this.name = 'SpreadsheetError';
  }
}

export interface Workbook {
  kind: 'csv' | 'workbook';
  encoding: string;
  /** Lines of a CSV file in another encoding than the rest. */
  mixed: MixedLines | null;
  sheets: ParsedSheet[];
}

const CONTENT_KINDS: readonly ContentKind[] = ['zip', 'ole', 'html', 'text', 'binary'];
const ENCODINGS: readonly TextEncodingName[] = ['utf-8', 'utf-16le', 'utf-16be', 'gb18030'];

async function startWorker(): Promise<Worker> {
  try {
    return new Worker(await workerUrl('sheet-reader'));
  } catch (e) {
    throw new SpreadsheetError({ code: 'workerFailed', detail: e instanceof Error ? e.message : String(e) });
  }
}

let nextWorker: Promise<Worker> | null = null;

/**
 * Starts the worker for the next file to be read, so that its script (the parsers: over a
 * megabyte) is compiled while the file itself is still on its way.
 */
export function prepareWorkbookReader(): void {
  if (nextWorker) return;
  nextWorker = startWorker();
  nextWorker.catch(() => (nextWorker = null));
}

function takeWorker(): Promise<Worker> {
  const worker = nextWorker ?? startWorker();
  nextWorker = null;
  return worker;
}

export async function readWorkbook(bytes: Uint8Array, fileName: string, timeoutMs = PARSE_TIMEOUT_MS): Promise<Workbook> {
  const worker = await takeWorker();
  return new Promise((resolve, reject) => {
    const finish = (): void => {
      window.clearTimeout(timer);
      worker.terminate();
    };
    const timer = window.setTimeout(() => {
      finish();
      reject(new SpreadsheetError({ code: 'timeout' }));
    }, timeoutMs);
    worker.onmessage = (event) => {
      finish();
      try {
        resolve(checkReply(event.data));
      } catch (e) {
        reject(e);
      }
    };
    worker.onerror = (event) => {
      finish();
      event.preventDefault();
      reject(new SpreadsheetError({ code: 'workerFailed', detail: String(event.message || '') }));
    };
    const copy = bytes.slice().buffer;
    worker.postMessage({ bytes: copy, name: fileName }, [copy]);
  });
}

/**
 * A row of the reply as text cells. The reply is the page's own structured copy, so a row that
 * already holds only strings is kept as it is: a sheet of 100,000 rows is not copied again.
 */
function stringRow(row: unknown): string[] {
  if (!Array.isArray(row)) return [];
  for (let i = 0; i < row.length; i++) if (typeof row[i] !== 'string') return row.map((c: unknown) => (typeof c === 'string' ? c : ''));
  return row as string[];
}

/** Trusts nothing in the reply: takes strings only, wherever they stand. */
function checkReply(data: unknown): Workbook {
  const reply = data as Record<string, unknown> | null;
  if (!reply || typeof reply !== 'object') throw new SpreadsheetError({ code: 'workerFailed', detail: 'no reply' });
  if (reply.ok !== true) {
    const code = String(reply.code);
    const known = ['tooLarge', 'tooManyRows', 'tooManyColumns', 'unreadable', 'empty', 'wrongContent', 'inflateTooLarge'];
    if (!known.includes(code)) throw new SpreadsheetError({ code: 'workerFailed', detail: code });
    const actual = CONTENT_KINDS.find((k) => k === reply.actual) ?? Number(reply.actual) ?? 0;
    throw new SpreadsheetError({
      code, limit: Number(reply.limit) || 0, actual, detail: String(reply.detail ?? ''), extension: String(reply.extension ?? '').slice(0, 20),
    } as WorkbookReadFailure);
  }
  const sheets = Array.isArray(reply.sheets) ? reply.sheets : [];
  const mixed = reply.mixed as { encoding?: unknown; lines?: unknown } | null;
  const mixedEncoding = ENCODINGS.find((e) => e === mixed?.encoding);
  return {
    kind: reply.kind === 'csv' ? 'csv' : 'workbook',
    encoding: typeof reply.encoding === 'string' ? reply.encoding : '',
    mixed: mixedEncoding && Array.isArray(mixed?.lines) ? { encoding: mixedEncoding, lines: mixed!.lines.map(Number).filter(Number.isInteger) } : null,
    sheets: sheets.map((s: unknown) => {
      const sheet = s as { name?: unknown; rows?: unknown };
      const rows = Array.isArray(sheet.rows) ? sheet.rows : [];
      return { name: typeof sheet.name === 'string' ? sheet.name : '', rows: rows.map(stringRow) };
    }),
  };
}

export { columnName, tableFromRows };
export type { SheetTable };
