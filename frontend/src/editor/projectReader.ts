// Reading an opened project file. A small one is read at once; a large one (pictures, or a file
// made to harm) takes seconds to decode and parse, so a worker reads it while the window goes on.

import { parseProject, PROJECT_ERROR_CODES, ProjectError, ReadResult, utf8Text } from '../model/project';
import { workerUrl } from '../util/bundles';

/** A file past this is read in a worker. */
export const WORKER_READ_BYTES = 3 * 1024 * 1024;

interface WorkerReply {
  ok: boolean;
  doc?: ReadResult['doc'];
  skippedObjects?: number;
  code?: string;
  detail?: string;
  limit?: number;
}

/** The project in a file's bytes; throws a ProjectError (or another error: not a project) as parseProject does. */
export async function readProjectFile(bytes: Uint8Array): Promise<ReadResult> {
  if (bytes.length <= WORKER_READ_BYTES) return parseProject(utf8Text(bytes));
  let url: string;
  try {
    url = await workerUrl('project-reader');
  } catch (e) {
    console.warn(`A worker cannot read projects here (${String(e)}).`);
    return parseProject(utf8Text(bytes));
  }
  return fromReply(await inWorker(url, bytes));
}

function inWorker(url: string, bytes: Uint8Array): Promise<WorkerReply> {
  const worker = new Worker(url);
  return new Promise<WorkerReply>((resolve, reject) => {
    worker.onmessage = (event) => resolve(event.data as WorkerReply);
    worker.onerror = (event) => {
      event.preventDefault();
      reject(new Error(event.message || 'the project reader stopped'));
    };
    const copy = bytes.slice().buffer;
    worker.postMessage(copy, [copy]);
  }).finally(() => worker.terminate());
}

function fromReply(reply: WorkerReply): ReadResult {
  if (reply.ok && reply.doc) return { doc: reply.doc, skippedObjects: Number(reply.skippedObjects) || 0 };
  const code = PROJECT_ERROR_CODES.find((c) => c === reply.code);
  if (code) throw new ProjectError(code, String(reply.detail ?? ''), Number(reply.limit) || 0);
  throw new Error(String(reply.detail ?? 'not a project'));
}
