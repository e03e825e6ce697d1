// Opens the designer from the checkout in Debian's Chromium, headless, in browser mode.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { mkdtemp, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { chromium } from 'playwright-core';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const frontendDir = path.resolve(here, '../..');
export const indexUrl = pathToFileURL(path.join(frontendDir, 'index.html')).href;

export const CHROMIUM_FLAGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
  '--disable-component-update', '--disable-sync',
];

export async function launch() {
  return chromium.launch({ executablePath: process.env.QUILLMARK_CHROMIUM || '/usr/bin/chromium', args: CHROMIUM_FLAGS });
}

/** A fresh context (own local storage) with the designer loaded and ready; page errors fail the test. */
export async function openDesigner(browser, { context: existing, keepChooser = false } = {}) {
  const context = existing ?? (await browser.newContext({ viewport: { width: 1440, height: 900 }, acceptDownloads: true }));
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  await page.goto(indexUrl);
  await page.waitForFunction(() => window.quillmarkReady === true, null, { timeout: 15000 });
  if (!keepChooser) await closeStockChooser(page);
  return { context, page, errors };
}

/** A start with nothing to recover shows the new-label chooser; most tests work on the default label. */
export async function closeStockChooser(page) {
  if (await page.evaluate(() => window.quillmark.editor.state.stockChooser)) await page.click('[data-testid="chooser-close"]');
}

/**
 * One browser and one scratch folder for a test file; each test gets a fresh designer, fails on
 * any page error and closes its context whatever happens. Returns the test function and the folder.
 */
export function designerTests() {
  const shared = { browser: null, scratch: '' };
  before(async () => {
    shared.browser = await launch();
    shared.scratch = await mkdtemp(path.join(tmpdir(), 'quillmark-browser-'));
  });
  after(async () => {
    await shared.browser?.close();
    if (shared.scratch) await rm(shared.scratch, { recursive: true, force: true });
  });
  const designerTest = (name, body, options = {}) => test(name, async () => {
    const designer = await openDesigner(shared.browser, options);
    try {
      await body({ ...designer, browser: shared.browser });
      assert.deepEqual(designer.errors, [], 'the page raised no error');
    } finally {
      await designer.context.close();
    }
  });
  return { designerTest, scratch: () => shared.scratch };
}

export function editorState(page) {
  return page.evaluate(() => {
    const e = window.quillmark.editor;
    return { doc: e.state.doc, selection: e.state.selection, dirty: e.dirty, projectPath: e.state.projectPath, name: e.displayName };
  });
}

export async function toolbar(page, action) {
  await page.click(`button[data-action="${action}"]`);
}

/** Screen position (page pixels) of a point on the label given in millimetres. */
export async function screenPoint(page, xMm, yMm) {
  return page.evaluate(([x, y]) => {
    const stage = window.quillmark.stage();
    const p = stage.toScreen(x, y);
    const rect = document.querySelector('[data-testid="stage"]').getBoundingClientRect();
    return { x: rect.left + p.x, y: rect.top + p.y };
  }, [xMm, yMm]);
}

/** Presses the left button on a point of the label (mm), moves by each offset in mm in turn, and lets go. */
export async function dragMm(page, xMm, yMm, ...offsets) {
  const zoom = await page.evaluate(() => window.quillmark.stage().pxPerMm);
  const from = await screenPoint(page, xMm, yMm);
  await page.mouse.move(from.x, from.y);
  await page.mouse.down();
  for (const [dx, dy] of offsets) await page.mouse.move(from.x + dx * zoom, from.y + dy * zoom, { steps: 5 });
  await page.mouse.up();
}

/** Types a value into a field and commits it, then lets the panel redraw, as a person would see it before the next field. */
export async function setField(page, testId, value) {
  const field = page.locator(`[data-testid="${testId}"]`);
  await field.fill(String(value));
  await field.press('Enter');
  await nextFrame(page);
}

/** Inserts an object from the toolbar and types its fields (testid suffix → value), e.g. { x: 5, width: 40 }. */
export async function insert(page, action, fields = {}) {
  await toolbar(page, action);
  for (const [name, value] of Object.entries(fields)) await setField(page, `prop-${name}`, value);
}

export const objects = async (page) => (await editorState(page)).doc.objects;
export const select = (page, ids) => page.evaluate((list) => window.quillmark.editor.select(list), ids);
export const nextFrame = (page) => page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));

/** Sets a file on the file chooser that `trigger` (a promise-returning action) opens. */
export async function pickFile(page, trigger, file) {
  const [chooser] = await Promise.all([page.waitForEvent('filechooser'), trigger()]);
  await chooser.setFiles(file);
}

/** The download that `trigger` starts. */
export async function download(page, trigger) {
  const [file] = await Promise.all([page.waitForEvent('download'), trigger()]);
  return file;
}

/**
 * A label drawn in the page at a resolution: `doc` (the open document when null) by the renderer,
 * or with `print` the first page the printer gets. Returns its size, the grey level of every pixel
 * (one byte each) and the count, box and highest point of the pure red pixels, worked out in the
 * page to keep transfers small. The grey levels are `pixels`, as decodeBarcode takes them.
 */
export async function labelPixels(page, dpi, { doc = null, print = false } = {}) {
  const result = await page.evaluate(async ([dpi, doc, print]) => {
    let canvas;
    if (print) {
      const image = new Image();
      image.src = await window.quillmark.pageImage({ dpi, from: 1, to: 1, perRecord: 1, sheet: null }, 0);
      await image.decode();
      canvas = Object.assign(document.createElement('canvas'), { width: image.width, height: image.height });
      canvas.getContext('2d').drawImage(image, 0, 0);
    } else {
      canvas = await window.quillmark.renderLabel(doc ?? window.quillmark.editor.state.doc, dpi);
    }
    const rgba = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    const grey = new Uint8Array(canvas.width * canvas.height);
    const red = { count: 0, left: Infinity, top: Infinity, right: -1, bottom: -1, topX: -1 };
    for (let p = 0; p < grey.length; p++) {
      const r = rgba[p * 4], g = rgba[p * 4 + 1], b = rgba[p * 4 + 2];
      grey[p] = Math.round(0.299 * r + 0.587 * g + 0.114 * b);
      if (r > 200 && g < 60 && b < 60) {
        const x = p % canvas.width, y = Math.floor(p / canvas.width);
        if (red.count++ === 0) red.topX = x;
        red.left = Math.min(red.left, x); red.right = Math.max(red.right, x + 1);
        red.top = Math.min(red.top, y); red.bottom = Math.max(red.bottom, y + 1);
      }
    }
    let binary = '';
    for (let i = 0; i < grey.length; i += 0x8000) binary += String.fromCharCode.apply(null, grey.subarray(i, i + 0x8000));
    return { width: canvas.width, height: canvas.height, red, grey: btoa(binary) };
  }, [dpi, doc, print]);
  return { ...result, pixels: new Uint8ClampedArray(Buffer.from(result.grey, 'base64')) };
}

/** Widths of the dark and light runs across one pixel row of labelPixels' image, light margins left out. */
export function runs(image, row) {
  const lengths = [0];
  for (let x = 0; x < image.width; x++) {
    if (x > 0 && (image.pixels[row * image.width + x] < 128) !== (image.pixels[row * image.width + x - 1] < 128)) lengths.push(0);
    lengths[lengths.length - 1]++;
  }
  return lengths.slice(1, -1);
}
