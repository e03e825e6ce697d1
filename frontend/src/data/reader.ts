// The spreadsheet reader's bundle, loaded when the first spreadsheet is read (see
// util/bundles.ts): the worker's script as text, started from a blob: URL (workerUrl there).
export { default as workerSource } from 'quillmark:sheet-worker';
