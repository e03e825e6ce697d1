// The spreadsheet worker: receives a file's bytes, answers with its sheets as plain text cells.
// It has no access to the page, the bridge or the network beyond what any worker has.

import { parseSpreadsheet } from './parse';

declare const self: { onmessage: ((e: MessageEvent) => void) | null; postMessage(message: unknown): void };

self.onmessage = (event: MessageEvent) => {
  const { bytes, name } = event.data as { bytes: ArrayBuffer; name: string };
  self.postMessage(parseSpreadsheet(new Uint8Array(bytes), String(name)));
};
