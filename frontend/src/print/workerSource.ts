// The page-drawing worker's bundle, loaded when a job first draws pages in workers (see
// util/bundles.ts): the worker's script as text, for pageImages.ts to start from a blob: URL.
export { default as workerSource } from 'quillmark:render-worker';
