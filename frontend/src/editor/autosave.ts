// Keeps the working document in local storage. The window's own close button ends the program
// without asking the page, so this copy is what lets the next start offer the work back.

import type { LabelDocument } from '../model/document';
import { parseProject, serializeProject } from '../model/project';

export const AUTOSAVE_KEY = 'quillmark.autosave';

export interface AutosaveRecord {
  savedAt: number;
  projectPath: string;
  project: string;
}

export interface Recovered {
  doc: LabelDocument;
  projectPath: string;
  savedAt: number;
}

export function writeAutosave(storage: Storage, doc: LabelDocument, projectPath: string, now = Date.now()): boolean {
  const record: AutosaveRecord = { savedAt: now, projectPath, project: serializeProject(doc) };
  try {
    storage.setItem(AUTOSAVE_KEY, JSON.stringify(record));
    return true;
  } catch {
    // Storage full (large embedded pictures): the previous copy is better than a half-written one.
    return false;
  }
}

export function clearAutosave(storage: Storage): void {
  try {
    storage.removeItem(AUTOSAVE_KEY);
  } catch {
    /* storage unavailable: nothing to clear */
  }
}

/** The document left behind by a session that ended with unsaved changes, if it can still be read. */
export function readAutosave(storage: Storage): Recovered | null {
  let text: string | null = null;
  try {
    text = storage.getItem(AUTOSAVE_KEY);
  } catch {
    return null;
  }
  if (!text) return null;
  try {
    const record = JSON.parse(text) as AutosaveRecord;
    const { doc } = parseProject(record.project);
    return { doc, projectPath: typeof record.projectPath === 'string' ? record.projectPath : '', savedAt: Number(record.savedAt) || 0 };
  } catch {
    return null;
  }
}
