// Fails when an import in src/ runs back up the front end's layers (see README.md, "Modules").
// A folder may import itself, anything on a lower layer, and the exceptions listed; a file in a
// folder that no layer names is an error too, so a new folder has to be placed first.
import { readdirSync, readFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const src = path.join(path.dirname(fileURLToPath(import.meta.url)), 'src');

/** From the ground up; folders on one layer never import each other. '.' is src/ itself. */
const LAYERS = [
  ['model', 'i18n', 'util'],
  ['render', 'data'],
  ['bridge'],
  ['editor', 'merge', 'print', 'pdf'],
  ['ui'],
  ['.'],
];
/** Sideways arrows allowed on one layer: printing hands its pages to the PDF writer. */
const ALLOWED = new Set(['print->pdf']);

const rank = new Map(LAYERS.flatMap((folders, i) => folders.map((f) => [f, i])));

function folderOf(file) {
  const rel = path.relative(src, file).split(path.sep);
  return rel.length === 1 ? '.' : rel[0];
}

function* sourceFiles(dir) {
  for (const entry of readdirSync(dir, { withFileTypes: true })) {
    const full = path.join(dir, entry.name);
    if (entry.isDirectory()) yield* sourceFiles(full);
    else if (/\.(ts|tsx)$/.test(entry.name)) yield full;
  }
}

const IMPORT = /(?:^|\n)\s*(?:import|export)\b[^'"]*?['"]([^'"]+)['"]/g;

function layerProblems(root = src) {
  const problems = [];
  for (const file of sourceFiles(root)) {
    const from = folderOf(file);
    const where = path.relative(root, file);
    if (!rank.has(from)) {
      problems.push(`${where}: folder "${from}" belongs to no layer`);
      continue;
    }
    for (const match of readFileSync(file, 'utf8').matchAll(IMPORT)) {
      const specifier = match[1];
      if (!specifier.startsWith('.')) continue;
      const to = folderOf(path.resolve(path.dirname(file), specifier));
      if (to === from || ALLOWED.has(`${from}->${to}`)) continue;
      if (!rank.has(to)) problems.push(`${where}: imports "${specifier}" from a folder that belongs to no layer`);
      else if (rank.get(to) >= rank.get(from)) problems.push(`${where}: ${from} may not import ${to} ("${specifier}")`);
    }
  }
  return problems;
}

const problems = layerProblems();
for (const p of problems) console.error(p);
if (problems.length > 0) {
  console.error(`${problems.length} import(s) against the layer order`);
  process.exit(1);
}
console.log('front end layers: every import points down');
