// Parts of the program that the designer does not need to show and edit a label (the PDF writer,
// the spreadsheet reader, the page-drawing worker, the barcode encoder) are bundles of their own, loaded the first
// time something needs them, so that start-up evaluates only the designer. They are classic
// scripts beside designer.js: a page from file:// can add a <script> element, but cannot load
// modules, import() or fetch files.
// Each bundle assigns its exports to quillmarkBundles[name] (frontend/build.mjs builds them).

/** The bundles and what each one exports; build.mjs builds one script per name. */
export type BundleName = 'pdf-writer' | 'sheet-reader' | 'render-worker' | 'barcode-encoder' | 'project-reader';
/** The bundles that hold a worker's script as their `workerSource`. */
export type WorkerBundleName = 'sheet-reader' | 'render-worker' | 'project-reader';

declare global {
  interface Window {
    quillmarkBundles?: Partial<Record<BundleName, unknown>>;
  }
}

const loading = new Map<BundleName, Promise<unknown>>();

// Bundles sit next to the script that holds this code; its address is known only while it runs.
const scriptBase = typeof document !== 'undefined' && document.currentScript instanceof HTMLScriptElement ? document.currentScript.src : '';

function bundleUrl(name: BundleName): string {
  return new URL(`${name}.js`, scriptBase || new URL('dist/', document.baseURI)).href;
}

/** The bundle's exports, loading its script once; a failed load is tried again at the next call. */
export function loadBundle<T>(name: BundleName): Promise<T> {
  let pending = loading.get(name);
  if (!pending) {
    pending = new Promise<unknown>((resolve, reject) => {
      const loaded = (): unknown => window.quillmarkBundles?.[name];
      if (loaded()) {
        resolve(loaded());
        return;
      }
      const script = document.createElement('script');
      script.src = bundleUrl(name);
      script.onload = () => (loaded() ? resolve(loaded()) : reject(new Error(`${script.src} defines no ${name}`)));
      script.onerror = () => reject(new Error(`${script.src} could not be loaded`));
      document.head.appendChild(script);
    });
    pending.catch(() => loading.delete(name));
    loading.set(name, pending);
  }
  return pending as Promise<T>;
}

const workerUrls = new Map<WorkerBundleName, string>();

/**
 * A blob: URL of the worker script a bundle holds, made once and kept: a blob worker starts from
 * a file:// page in every engine we meet, a worker from a file URL does not.
 */
export async function workerUrl(name: WorkerBundleName): Promise<string> {
  let url = workerUrls.get(name);
  if (!url) {
    const { workerSource } = await loadBundle<{ workerSource: string }>(name);
    url = URL.createObjectURL(new Blob([workerSource], { type: 'text/javascript' }));
    workerUrls.set(name, url);
  }
  return url;
}
