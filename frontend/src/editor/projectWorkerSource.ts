// The project reader's bundle, loaded when the first large project is opened (see
// util/bundles.ts): the worker's script as text, started from a blob: URL (workerUrl there).
export { default as workerSource } from 'quillmark:project-worker';
