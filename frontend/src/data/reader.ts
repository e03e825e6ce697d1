// The spreadsheet reader's bundle, loaded when the first spreadsheet is read (see
// util/bundles.ts): the worker's script as text, for source.ts to start from a blob: URL.
export { default as workerSource } from 'quillmark:sheet-worker';
