// Modules the build provides or that ship without type declarations.

/** The spreadsheet worker's bundled script text; the build makes it (frontend/build.mjs). */
declare module 'quillmark:sheet-worker' {
  const source: string;
  export default source;
}

/** The page-drawing worker's bundled script text, made the same way. */
declare module 'quillmark:render-worker' {
  const source: string;
  export default source;
}

/** The project reader's worker script, made the same way. */
declare module 'quillmark:project-worker' {
  const source: string;
  export default source;
}

declare module 'xlsx/dist/cpexcel.full.mjs';

/** SheetJS's ES module build: the same API without the Node-only requires of its main file. */
declare module 'xlsx/xlsx.mjs' {
  export * from 'xlsx';
}

/** The program's version, from the build (frontend/build.mjs reads the project's CMakeLists.txt). */
declare const QUILLMARK_VERSION: string;
