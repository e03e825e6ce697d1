// Host benchmarks through the real program and the real page: start-up, bridge calls and file
// transfer, each as a median with its spread, next to its floor measured in the same run.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { randomFillSync } from 'node:crypto';
import { startHost } from '../tests/e2e/harness.mjs';

const runs = Number(process.env.BENCH_RUNS ?? 5);
const transferSizesMb = [1, 10, 40];

export function summary(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const at = (q) => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))];
  return { median: at(0.5), min: sorted[0], max: sorted[sorted.length - 1], n: sorted.length };
}

// The front end marks the moment its designer has been painted and takes input; the floor page
// marks its load.
async function readyDelayMs(host) {
  const readyAt = await host.page.evaluate(() => {
    const mark = performance.getEntriesByName('quillmark-ready')[0];
    return mark ? performance.timeOrigin + mark.startTime : null;
  });
  if (readyAt === null) throw new Error('the page sets no quillmark-ready mark');
  return readyAt - host.spawnedAt;
}

function emptyFrontend() {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'quillmark-empty-page-'));
  fs.writeFileSync(
    path.join(folder, 'index.html'),
    "<!DOCTYPE html><script>performance.mark('quillmark-ready'); window.quillmarkReady = true;</script>",
  );
  return folder;
}

async function startUp() {
  const floorSource = emptyFrontend();
  const real = [];
  const floor = [];
  for (let i = 0; i < runs; i++) {
    for (const [source, into] of [[undefined, real], [floorSource, floor]]) {
      const host = await startHost(source ? { frontendSource: source } : {});
      into.push(await readyDelayMs(host));
      await host.stop();
    }
  }
  fs.rmSync(floorSource, { recursive: true, force: true });
  return { real: summary(real), floor: summary(floor) };
}

async function bridgeCalls(host) {
  const latencies = [];
  for (let i = 0; i < 3; i++) {
    latencies.push(
      ...(await host.page.evaluate(async () => {
        const bridge = window.quillmarkBridge;
        const times = [];
        for (let call = 0; call < 1000; call++) {
          const start = performance.now();
          await new Promise((resolve) => bridge.readSpreadsheet('', resolve));
          times.push(performance.now() - start);
        }
        return times;
      })),
    );
  }
  const sorted = latencies.sort((a, b) => a - b);
  return { p50: sorted[Math.floor(sorted.length * 0.5)], p99: sorted[Math.floor(sorted.length * 0.99)], calls: sorted.length };
}

// Everything is timed inside the page, until it holds the decoded bytes (open, XHR) or the
// host has answered (save, which includes encoding the bytes as Base64 in the page).
const pageTransfers = {
  open: (filePath) =>
    new Promise((resolve) => {
      const start = performance.now();
      window.quillmarkBridge.openProject(filePath, (text) => {
        const binary = atob(JSON.parse(text).dataBase64);
        const bytes = new Uint8Array(binary.length);
        for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
        resolve({ ms: performance.now() - start, bytes: bytes.length });
      });
    }),
  // The same file by the address openFileLink grants, as the designer reads it (the page may
  // read no other file); the grant is timed too.
  xhr: (filePath) =>
    new Promise((resolve) => {
      const start = performance.now();
      window.quillmarkBridge.openFileLink('project', filePath, (text) => {
        const request = new XMLHttpRequest();
        request.open('GET', JSON.parse(text).url);
        request.responseType = 'arraybuffer';
        request.onload = () => resolve({ ms: performance.now() - start, bytes: request.response?.byteLength ?? -1 });
        request.onerror = () => resolve({ ms: performance.now() - start, bytes: -1 });
        request.send();
      });
    }),
  save: ([filePath, size]) =>
    new Promise((resolve) => {
      const bytes = new Uint8Array(size);
      for (let i = 0; i < size; i++) bytes[i] = (i * 2654435761) >>> 24;
      const start = performance.now();
      let binary = '';
      for (let i = 0; i < size; i += 0x8000) binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
      const payload = JSON.stringify({ currentPath: filePath, dataBase64: btoa(binary) });
      window.quillmarkBridge.saveProject(payload, (text) => {
        resolve({ ms: performance.now() - start, bytes: JSON.parse(text).ok ? size : -1 });
      });
    }),
};

function statusMiB(pid, field) {
  const status = fs.readFileSync(`/proc/${pid}/status`, 'utf8');
  return Number(new RegExp(`${field}:\\s+(\\d+)`).exec(status)[1]) / 1024;
}

export const peakResidentMiB = (pid) => statusMiB(pid, 'VmHWM');
export const residentMiB = (pid) => statusMiB(pid, 'VmRSS');

// The web engine forks its renderers from a zygote, so they show as zygote processes whose
// parent is another zygote rather than the program itself.
export function rendererPids(hostPid) {
  const pids = [];
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
      const [parentId, groupId] = stat.slice(stat.lastIndexOf(')') + 2).split(' ').slice(1, 3).map(Number);
      if (groupId === hostPid && parentId !== hostPid && Number(entry) !== hostPid) pids.push(Number(entry));
    } catch {
      // the process ended while we looked
    }
  }
  return pids;
}

async function fileTransfers(host) {
  const results = {};
  for (const megabytes of transferSizesMb) {
    const size = megabytes * 1024 * 1024;
    const source = path.join(host.root, `open-${megabytes}.cwrt`);
    fs.writeFileSync(source, randomFillSync(Buffer.alloc(size)));
    const target = path.join(host.root, `save-${megabytes}.cwrt`);
    const times = { open: [], xhr: [], save: [] };
    for (let i = 0; i < 3; i++) {
      for (const kind of ['open', 'xhr', 'save']) {
        const argument = kind === 'save' ? [target, size] : source;
        const { ms, bytes } = await host.page.evaluate(pageTransfers[kind], argument);
        if (bytes !== size) throw new Error(`${kind} of ${megabytes} MB moved ${bytes} bytes`);
        times[kind].push(ms);
      }
    }
    results[`${megabytes} MB`] = Object.fromEntries(Object.entries(times).map(([kind, values]) => [kind, summary(values)]));
  }
  return results;
}

/** A project of a million rectangles (about 44 MB), made by a program or to harm. */
function millionObjectProject(folder) {
  const file = path.join(folder, 'million.cwrt');
  const objects = Array.from({ length: 1_000_000 }, (_, i) => ({ id: `o${i}`, type: 'rect', xMm: i % 50, yMm: 1 }));
  fs.writeFileSync(file, JSON.stringify({ format: 'quillmark-label', version: 1, label: { name: 'million', widthMm: 50, heightMm: 30 }, objects }));
  return file;
}

// Opened as a person would, until the refusal shows; meanwhile every frame the page draws is
// timed, so the longest one is how long the window stood still.
export async function hugeProject(host) {
  const file = millionObjectProject(host.root);
  const refused = [];
  const longestFrame = [];
  for (let i = 0; i < 3; i++) {
    const { ms, longest } = await host.page.evaluate(async (p) => {
      let last = performance.now();
      let longest = 0;
      let running = true;
      const tick = () => {
        const now = performance.now();
        longest = Math.max(longest, now - last);
        last = now;
        if (running) requestAnimationFrame(tick);
      };
      requestAnimationFrame(tick);
      const start = performance.now();
      await window.quillmark.editor.openProject(p);
      const ms = performance.now() - start;
      running = false;
      document.querySelector('[data-testid="dialog-ok"]')?.click();
      return { ms, longest };
    }, file);
    refused.push(ms);
    longestFrame.push(longest);
  }
  fs.rmSync(file);
  return { refused: summary(refused), longestFrame: summary(longestFrame) };
}

export async function benchmarkHost() {
  const startup = await startUp();
  const host = await startHost();
  try {
    const calls = await bridgeCalls(host);
    const transfers = await fileTransfers(host);
    const huge = await hugeProject(host);
    const memory = {
      hostPeakMiB: peakResidentMiB(host.child.pid),
      rendererPeakMiB: Math.max(...rendererPids(host.child.pid).map(peakResidentMiB)),
    };
    return { startup, calls, transfers, huge, memory };
  } finally {
    await host.stop();
  }
}

/** Opens a project whose data file counts as picked on this machine before, as a user's own does. */
export async function openOwnProject(page, projectPath) {
  const source = JSON.parse(fs.readFileSync(projectPath, 'utf8')).merge?.source?.path;
  await page.evaluate(([p, s]) => {
    if (s) window.quillmark.editor.rememberSource(s);
    return window.quillmark.editor.openProject(p);
  }, [projectPath, source]);
}
