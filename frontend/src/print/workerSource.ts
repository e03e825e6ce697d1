// The page-drawing worker's bundle, loaded when a job first draws pages in workers (see
// util/bundles.ts): the worker's script as text, started from a blob: URL (workerUrl there).
export { default as workerSource } from 'quillmark:render-worker';
