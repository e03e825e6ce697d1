// Bundles the designer into classic scripts: the host's engine (Chromium 87) cannot load module
// scripts or dynamic imports from file:// URLs. designer.js holds what showing and editing a label
// needs; what only some commands use is a bundle of its own that util/bundles.ts loads on first use.
import { build } from 'esbuild';
import { readFileSync, statSync, writeFileSync } from 'node:fs';
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
  minify: !watch && !process.env.NO_MINIFY,
  logLevel: 'warning',
  // bwip-js picks its browser build through the "browser" condition.
  conditions: ['browser'],
  define: { QUILLMARK_VERSION: JSON.stringify(projectVersion()) },
};

// The spreadsheet parsers and the page drawing run in workers of their own. A worker's script is
// built first and embedded as text, so the page can start it from a blob: URL (a file:// page
// cannot start a worker from a file URL in every engine).
const workerEntries = {
  'sheet-worker': 'src/data/worker.ts',
  'render-worker': 'src/print/renderWorker.ts',
  'project-worker': 'src/editor/projectWorker.ts',
};

async function workerSource(name) {
  const result = await build({
    ...common,
    entryPoints: [path.join(here, workerEntries[name])],
    write: false,
    legalComments: 'none',
  });
  return result.outputFiles[0].text;
}

// Which modules the bundle gets from the build itself or leaves out on purpose.
const frontendModules = {
  name: 'frontend-modules',
  setup(b) {
    b.onResolve({ filter: /^quillmark:(sheet|render|project)-worker$/ }, (args) => ({ path: args.path.slice('quillmark:'.length), namespace: 'quillmark' }));
    b.onLoad({ filter: /.*/, namespace: 'quillmark' }, async (args) => ({
      contents: `export default ${JSON.stringify(await workerSource(args.path))};`,
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

const dist = path.join(here, 'dist');

/** Bundles loaded on first use, by the name util/bundles.ts asks for, each with its entry point. */
const onDemandBundles = {
  'pdf-writer': 'src/pdf/writer.ts',
  'sheet-reader': 'src/data/reader.ts',
  'render-worker': 'src/print/workerSource.ts',
  'barcode-encoder': 'src/render/encoder.ts',
  'project-reader': 'src/editor/projectWorkerSource.ts',
};

const options = {
  ...common,
  entryPoints: [path.join(here, 'src/main.tsx')],
  outfile: path.join(dist, 'designer.js'),
  sourcemap: 'linked',
  plugins: [frontendModules],
  jsx: 'automatic',
  jsxImportSource: 'preact',
  legalComments: 'linked',
};

// An on-demand bundle assigns its exports to quillmarkBundles[name]. Its libraries' licence
// notices join the designer's, so that one file beside designer.js holds them all.
async function buildOnDemand(name, entry) {
  const result = await build({
    ...common,
    entryPoints: [path.join(here, entry)],
    outfile: path.join(dist, `${name}.js`),
    globalName: `quillmarkBundles[${JSON.stringify(name)}]`,
    sourcemap: 'linked',
    plugins: [frontendModules],
    legalComments: 'external',
    write: false,
  });
  let notices = '';
  for (const file of result.outputFiles) {
    if (file.path.endsWith('.LEGAL.txt')) notices = file.text;
    else writeFileSync(file.path, file.contents);
  }
  return notices;
}

const kib = (file) => `${Math.round(statSync(file).size / 1024)} KiB`;

async function buildAll() {
  await build(options);
  const sizes = [`designer.js ${kib(path.join(dist, 'designer.js'))}`];
  const legalFile = path.join(dist, 'designer.js.LEGAL.txt');
  let notices = readFileSync(legalFile, 'utf8');
  for (const [name, entry] of Object.entries(onDemandBundles)) {
    const bundleNotices = await buildOnDemand(name, entry);
    sizes.push(`${name}.js ${kib(path.join(dist, `${name}.js`))}`);
    if (bundleNotices.trim()) notices += `\nLoaded on first use, dist/${name}.js:\n\n${bundleNotices.replace(/^Bundled license information:\n\n/, '')}`;
  }
  writeFileSync(legalFile, notices);
  return sizes.join(', ');
}

if (watch) {
  const { context } = await import('esbuild');
  await buildAll();
  const ctx = await context(options);
  await ctx.watch();
  console.log('front end: watching the designer for changes (the on-demand bundles are built once)');
} else {
  console.log(`front end: ${await buildAll()} in frontend/dist/`);
}
