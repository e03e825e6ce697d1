// Compiles the TypeScript unit tests with esbuild (the same compiler as the bundle) and runs
// them with node's own test runner.
import { build } from 'esbuild';
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readdirSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const unitDir = path.join(here, 'unit');
const outDir = mkdtempSync(path.join(tmpdir(), 'quillmark-unit-'));
try {
  const entries = readdirSync(unitDir).filter((f) => f.endsWith('.test.ts')).map((f) => path.join(unitDir, f));
  await build({
    entryPoints: entries,
    outdir: outDir,
    outExtension: { '.js': '.mjs' },
    bundle: true,
    format: 'esm',
    platform: 'node',
    target: 'node20',
    sourcemap: 'inline',
    conditions: ['browser'],
    define: { QUILLMARK_VERSION: '"test"' },
    logLevel: 'warning',
  });
  const files = readdirSync(outDir).filter((f) => f.endsWith('.mjs')).map((f) => path.join(outDir, f));
  const result = spawnSync(process.execPath, ['--enable-source-maps', '--test', ...files], { stdio: 'inherit' });
  process.exitCode = result.status ?? 1;
} finally {
  rmSync(outDir, { recursive: true, force: true });
}
