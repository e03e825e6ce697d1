// The project reader's worker: a large project file decoded and read away from the page, so that
// a file of a million objects is refused (or a large one opened) without holding the window.

import { parseProject, ProjectError, utf8Text } from '../model/project';

declare const self: { onmessage: ((e: MessageEvent) => void) | null; postMessage(message: unknown): void };

self.onmessage = (event: MessageEvent) => {
  try {
    const { doc, skippedObjects } = parseProject(utf8Text(new Uint8Array(event.data as ArrayBuffer)));
    self.postMessage({ ok: true, doc, skippedObjects });
  } catch (e) {
    const failure = e instanceof ProjectError ? { code: e.code, detail: e.detail, limit: e.limit } : { code: '', detail: String(e), limit: 0 };
    self.postMessage({ ok: false, ...failure });
  }
};
