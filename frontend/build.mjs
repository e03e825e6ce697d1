// Bundles the designer into one classic script: the host's engine (Chromium 87) cannot load
// module scripts or dynamic imports from file:// URLs, so everything ships as a single IIFE.
import { build } from 'esbuild';
import { fileURLToPath } from 'node:url';
import path from 'node:path';

const here = path.dirname(fileURLToPath(import.meta.url));
const watch = process.argv.includes('--watch');

const options = {
  entryPoints: [path.join(here, 'src/main.tsx')],
  outfile: path.join(here, 'dist/designer.js'),
  bundle: true,
  format: 'iife',
  target: ['chrome87'],
  platform: 'browser',
  minify: !watch,
  sourcemap: 'linked',
  jsx: 'automatic',
  jsxImportSource: 'preact',
  legalComments: 'linked',
  logLevel: 'warning',
  // bwip-js picks its browser build through the "browser" condition.
  conditions: ['browser'],
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
