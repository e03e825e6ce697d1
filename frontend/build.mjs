// Bundles the designer into one classic script: the host's engine (Chromium 87) cannot load
// module scripts or dynamic imports from file:// URLs, so everything ships as a single IIFE.
import { build } from 'esbuild';
import { readFileSync } from 'node:fs';
import { fileURLToPath } from 'node:url';
import path from 'node:path';

const here = path.dirname(fileURLToPath(import.meta.url));
const watch = process.argv.includes('--watch');

/** The program's version, kept only in the project() call of the top CMakeLists.txt. */
function projectVersion() {
  const cmake = readFileSync(path.join(here, '..', 'CMakeLists.txt'), 'utf8');
  const found = /project\(\s*Quillmark\s+VERSION\s+([0-9.]+)/.exec(cmake);
  if (!found) throw new Error('CMakeLists.txt names no project version');
  return found[1];
}

const common = {
  bundle: true,
  format: 'iife',
  target: ['chrome87'],
  platform: 'browser',
  minify: !watch,
  logLevel: 'warning',
  // bwip-js picks its browser build through the "browser" condition.
  conditions: ['browser'],
  define: { QUILLMARK_VERSION: JSON.stringify(projectVersion()) },
};

// The spreadsheet parsers run in a worker of their own. The worker's script is built first and
// embedded as text, so the page can start it from a blob: URL (a file:// page cannot start a
// worker from a file URL in every engine).
async function sheetWorkerSource() {
  const result = await build({
    ...common,
    entryPoints: [path.join(here, 'src/data/worker.ts')],
    write: false,
    legalComments: 'none',
  });
  return result.outputFiles[0].text;
}

// Which modules the bundle gets from the build itself or leaves out on purpose.
const frontendModules = {
  name: 'frontend-modules',
  setup(b) {
    b.onResolve({ filter: /^quillmark:sheet-worker$/ }, () => ({ path: 'sheet-worker', namespace: 'quillmark' }));
    b.onLoad({ filter: /.*/, namespace: 'quillmark' }, async () => ({
      contents: `export default ${JSON.stringify(await sheetWorkerSource())};`,
      loader: 'js',
    }));
    // jsPDF loads these lazily only for HTML and SVG rendering, which the PDF export never uses.
    b.onResolve({ filter: /^(html2canvas|dompurify|canvg)$/ }, (args) => ({ path: args.path, namespace: 'unused' }));
    b.onLoad({ filter: /.*/, namespace: 'unused' }, (args) => ({
      contents: `throw new Error(${JSON.stringify(`${args.path} is not part of this program`)});`,
      loader: 'js',
    }));
  },
};

const options = {
  ...common,
  entryPoints: [path.join(here, 'src/main.tsx')],
  outfile: path.join(here, 'dist/designer.js'),
  sourcemap: 'linked',
  plugins: [frontendModules],
  jsx: 'automatic',
  jsxImportSource: 'preact',
  legalComments: 'linked',
};

if (watch) {
  const { context } = await import('esbuild');
  const ctx = await context(options);
  await ctx.watch();
  console.log('front end: watching for changes');
} else {
  const result = await build({ ...options, metafile: true });
  const bytes = Object.values(result.metafile.outputs).reduce((sum, out) => sum + out.bytes, 0);
  console.log(`front end: bundled ${Math.round(bytes / 1024)} KiB into frontend/dist/`);
}
