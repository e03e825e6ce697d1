// The project reader's bundle, loaded when the first large project is opened (see
// util/bundles.ts): the worker's script as text, for projectReader.ts to start from a blob: URL.
export { default as workerSource } from 'quillmark:project-worker';
