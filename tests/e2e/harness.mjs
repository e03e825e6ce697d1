// Starts the real Quillmark executable from a temporary tree laid out like an install, with its
// own home, settings and runtime folders, and drives the real page over the DevTools protocol.
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';
import { fileURLToPath } from 'node:url';
import { after, before } from 'node:test';
import { chromium } from 'playwright-core';

// An installed prefix (what `cmake --install` laid out) when given, else a build's executable
// with the checkout's front end.
const installPrefix = process.env.QUILLMARK_INSTALL_PREFIX;
const executable = installPrefix ? path.join(installPrefix, 'bin/quillmark') : process.env.QUILLMARK_EXECUTABLE;
const defaultFrontend = installPrefix
  ? path.join(installPrefix, 'share/quillmark/frontend')
  : process.env.QUILLMARK_FRONTEND_DIR;
const startTimeoutMs = 60_000;

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.unref();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

/** Polls `condition` every 100 ms: its first truthy value, or false once `timeoutMs` has passed. */
export async function waitFor(condition, timeoutMs = 10_000) {
  for (const deadline = Date.now() + timeoutMs; Date.now() < deadline; await sleep(100)) {
    const value = await condition();
    if (value) return value;
  }
  return false;
}

// Only the served files: no sources, tests or packages, as the install rules lay them out.
function copyFrontend(frontendSource, target) {
  const skipped = new Set(['src', 'test', 'tests', 'node_modules', 'package.json', 'package-lock.json', 'tsconfig.json']);
  fs.cpSync(frontendSource, target, {
    recursive: true,
    filter: (source) => source === frontendSource || !skipped.has(path.basename(source)),
  });
}

// The folders a user would have, all below root; nothing of the real user's is reachable.
function isolatedEnvironment(root, debuggingPort, extra) {
  const folders = { home: 'home', config: 'home/.config', runtime: 'runtime', tmp: 'tmp' };
  for (const folder of Object.values(folders)) fs.mkdirSync(path.join(root, folder), { recursive: true });
  fs.chmodSync(path.join(root, folders.runtime), 0o700);
  const env = {
    ...process.env,
    HOME: path.join(root, folders.home),
    XDG_CONFIG_HOME: path.join(root, folders.config),
    XDG_DATA_HOME: path.join(root, folders.home, '.local/share'),
    XDG_CACHE_HOME: path.join(root, folders.home, '.cache'),
    XDG_RUNTIME_DIR: path.join(root, folders.runtime),
    TMPDIR: path.join(root, folders.tmp),
    CUPS_SERVER: path.join(root, 'no-cups.sock'),
    QT_QPA_PLATFORM: 'offscreen',
    QT_QUICK_BACKEND: 'software',
    QTWEBENGINE_DISABLE_SANDBOX: '1',
    QTWEBENGINE_CHROMIUM_FLAGS: '--disable-dev-shm-usage',
    QTWEBENGINE_REMOTE_DEBUGGING: `127.0.0.1:${debuggingPort}`,
    ...extra,
  };
  delete env.PRINTER;
  delete env.LPDEST;
  return env;
}

async function waitForDevTools(port, child, output) {
  const listening = await waitFor(async () => {
    if (child.exitCode !== null) throw new Error(`quillmark exited with ${child.exitCode}:\n${output.join('')}`);
    return (await fetch(`http://127.0.0.1:${port}/json/version`).catch(() => null))?.ok;
  }, startTimeoutMs);
  if (!listening) throw new Error(`DevTools did not open within ${startTimeoutMs} ms:\n${output.join('')}`);
}

// The page target appears while still on about:blank; the front end sets quillmarkReady itself.
async function frontendPage(browser) {
  const page = await waitFor(() => browser.contexts().flatMap((c) => c.pages()).find((p) => p.url().startsWith('file:')), startTimeoutMs);
  if (!page) throw new Error('the front end page never appeared');
  return page;
}

// frontend: false starts the program with no front end at all; frontendSource serves another
// folder in place of the checkout's front end.
export const installedPrefix = installPrefix;

// One web channel message holds 64 Mi UTF-16 characters; the host keeps 64 Ki of them for the
// envelope and the path, and Base64 takes 4 characters for every 3 bytes.
export const channelCeilingChars = 64 * 1024 * 1024;
export const maxTransferBytes = ((channelCeilingChars - 64 * 1024) / 4) * 3;

export async function startHost({ env = {}, frontend = true, frontendSource = defaultFrontend, args = [] } = {}) {
  if (!executable || !frontendSource) {
    throw new Error('set QUILLMARK_INSTALL_PREFIX, or QUILLMARK_EXECUTABLE and QUILLMARK_FRONTEND_DIR');
  }
  const root = fs.mkdtempSync(path.join(os.tmpdir(), 'quillmark-e2e-'));
  const binary = path.join(root, 'tree/bin/quillmark');
  fs.mkdirSync(path.dirname(binary), { recursive: true });
  fs.copyFileSync(executable, binary);
  fs.chmodSync(binary, 0o755);
  if (frontend) copyFrontend(frontendSource, path.join(root, 'tree/share/quillmark/frontend'));

  const port = await freePort();
  const output = [];
  const spawnedAt = Date.now();
  const hostEnv = isolatedEnvironment(root, port, env);
  const child = spawn(binary, args, {
    cwd: root,
    env: hostEnv,
    detached: true,
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  child.stdout.on('data', (chunk) => output.push(chunk.toString()));
  child.stderr.on('data', (chunk) => output.push(chunk.toString()));
  const killGroup = () => {
    try {
      process.kill(-child.pid, 'SIGKILL');
    } catch {
      // already gone
    }
  };
  process.once('exit', killGroup);

  let browser;
  const stop = async () => {
    await browser?.close().catch(() => {});
    killGroup();
    process.removeListener('exit', killGroup);
    fs.rmSync(root, { recursive: true, force: true });
  };

  try {
    await waitForDevTools(port, child, output);
    const host = { root, child, output, stop, spawnedAt, binary, env: hostEnv, frontendDir: path.join(root, 'tree/share/quillmark/frontend') };
    // The targets the DevTools endpoint lists: with nothing loaded there may be no page to attach to.
    host.targets = async () => (await fetch(`http://127.0.0.1:${port}/json/list`)).json();
    if (!frontend) return host;
    browser = await chromium.connectOverCDP(`http://127.0.0.1:${port}`, { noDefaults: true });
    host.browser = browser;
    host.page = await frontendPage(browser);
    await host.page.waitForFunction(() => window.quillmarkReady === true, null, { timeout: startTimeoutMs });
    // A start with nothing to recover shows the new-label chooser; tests begin on the default label.
    await host.page.evaluate(async () => {
      if (!window.quillmark?.editor?.state.stockChooser) return;
      // The chooser is drawn on the next frame; the host's engine is too old for Playwright's clicks.
      while (!document.querySelector('[data-testid="chooser-close"]')) await new Promise((r) => requestAnimationFrame(r));
      document.querySelector('[data-testid="chooser-close"]').click();
    });
    host.callText = (method, ...args) => callText(host.page, method, args);
    host.call = async (method, ...args) => JSON.parse(await host.callText(method, ...args));
    host.callSummary = (method, ...args) => callSummary(host.page, method, args);
    return host;
  } catch (error) {
    await stop();
    throw error;
  }
}

// Calls a bridge method the way the page does, through the real web channel; a call that
// never completes fails after timeoutMs instead of hanging the test. With summarize, a large
// "dataBase64" stays in the page and comes back as its length and its last eight characters.
function evaluateCall(page, method, args, { summarize = false, timeoutMs = 120_000 } = {}) {
  return page.evaluate(
    ([name, callArgs, shorten, timeout]) =>
      new Promise((resolve, reject) => {
        const timer = setTimeout(() => reject(new Error(`${name} did not answer within ${timeout} ms`)), timeout);
        window.quillmarkBridge[name](...callArgs, (text) => {
          clearTimeout(timer);
          if (!shorten) return resolve(text);
          try {
            const reply = JSON.parse(text);
            if (typeof reply.dataBase64 === 'string') {
              reply.dataBase64 = { length: reply.dataBase64.length, tail: reply.dataBase64.slice(-8) };
            }
            resolve(reply);
          } catch (error) {
            reject(error);
          }
        });
      }),
    [method, args, summarize, timeoutMs],
  );
}

export const callText = (page, method, args, timeoutMs) => evaluateCall(page, method, args, { timeoutMs });
export const callSummary = (page, method, args, timeoutMs) =>
  evaluateCall(page, method, args, { summarize: true, timeoutMs });

/**
 * Starts `print-server FOLDER QUEUE...` in a folder of its own (short, for the socket's path) and
 * resolves once its queues are up; `stop` ends it and removes the folder.
 */
export async function startPrintServer(...queues) {
  const folder = fs.mkdtempSync('/tmp/qm-e2e-cups-');
  fs.chmodSync(folder, 0o755);
  const child = spawn(process.env.QUILLMARK_PRINT_SERVER, [folder, ...(queues.length > 0 ? queues : ['label'])], { stdio: ['ignore', 'pipe', 'pipe'] });
  const errors = [];
  child.stderr.on('data', (chunk) => errors.push(chunk.toString()));
  const socket = await new Promise((resolve, reject) => {
    readline.createInterface({ input: child.stdout }).once('line', resolve);
    child.once('exit', (code) => reject(new Error(`print-server exited with ${code}: ${errors.join('')}`)));
  });
  return {
    socket,
    folder,
    stop: async () => {
      const exited = new Promise((resolve) => child.once('exit', resolve));
      child.kill('SIGTERM');
      await exited;
      fs.rmSync(folder, { recursive: true, force: true });
    },
  };
}

/**
 * Starts the program before a test file's (or block's) tests and stops it after them; given
 * `queues` (as startPrintServer takes them, none for its default) it prints to a private print
 * server started first. The returned object holds `host`, `server` and `errors`, the page's
 * uncaught errors, once the tests run.
 */
export function hostForTests({ queues = null, ...options } = {}) {
  const context = { host: null, server: null, errors: [] };
  before(async () => {
    if (queues) context.server = await startPrintServer(...queues);
    context.host = await startHost(queues ? { ...options, env: { CUPS_SERVER: context.server.socket } } : options);
    context.host.page.on('pageerror', (e) => context.errors.push(e.message));
  });
  after(async () => {
    await context.host?.stop();
    await context.server?.stop();
  });
  return context;
}

export const printingHost = (...queues) => hostForTests({ queues });

/**
 * The document of job `id` as the print server kept it: for a raw queue (`NAME=none`) exactly the
 * bytes its printer receives, to be read back with `print-server decode PATH IMAGE.png`.
 */
export const keptDocumentPath = (server, id) => path.join(server.folder, 'spool', `d${String(id).padStart(5, '0')}-001`);

/** Clicks with the page's own DOM event: Playwright's element actions need a newer engine than the host's. */
export function clickElement(page, selector) {
  return page.evaluate((s) => document.querySelector(s).click(), selector);
}

/** Sets a field as a person would: a box or a list changes, a typed field takes its value when left. */
export function setValue(page, selector, value) {
  return page.evaluate(([s, v]) => {
    const field = document.querySelector(s);
    if (field.type === 'checkbox') field.checked = v;
    else field.value = String(v);
    const typed = field.tagName === 'INPUT' && field.type !== 'checkbox';
    field.dispatchEvent(new Event(typed ? 'input' : 'change', { bubbles: true }));
    if (typed) ['blur', 'focusout'].forEach((type) => field.dispatchEvent(new FocusEvent(type, { bubbles: type === 'focusout' })));
  }, [selector, value]);
}

/** Clicks once the element is there (it may be drawn on the next frame). */
export async function clickWhenShown(page, selector) {
  await page.waitForFunction((s) => document.querySelector(s), selector);
  await clickElement(page, selector);
}

/** An element's text, null when there is none. */
export const textOf = (page, selector) => page.evaluate((s) => document.querySelector(s)?.textContent ?? null, selector);

/** The text of the message dialog, once it shows. */
export async function dialogText(page) {
  await page.waitForFunction(() => document.querySelector('[data-testid="dialog"]'));
  return page.evaluate(() => document.querySelector('[data-testid="dialog"]').innerText);
}

/** What the print dialog says once the job has been handed over. */
export async function printResult(page) {
  await page.waitForFunction(() => document.querySelector('[data-testid="print-result"]'), null, { timeout: 60_000 });
  return textOf(page, '[data-testid="print-result"]');
}

const jobAttributesTest = path.join(path.dirname(fileURLToPath(import.meta.url)), '../printserver/job-attributes.test');

/** A job's attributes as the private print server reports them. */
export function jobAttributes(socket, id) {
  const uri = `ipp://${encodeURIComponent(socket)}/jobs/${id}`;
  const output = execFileSync('ipptool', ['-j', uri, jobAttributesTest], { env: { ...process.env, CUPS_SERVER: socket }, encoding: 'utf8' });
  return JSON.parse(output).find((group) => group['group-tag'] === 'job-attributes-tag') ?? {};
}

/** A 50 × 30 mm project as the page stores it, for tests that open one; objects take the defaults. */
export function labelProject(name, objects, extra = {}) {
  return {
    format: 'quillmark-label', version: 1, label: { name, widthMm: 50, heightMm: 30 },
    objects: objects.map((object) => ({ rotation: 0, locked: false, ...object })), ...extra,
  };
}

/**
 * Runs the installed program to its end, as a script would: its own home and runtime folders
 * below `root`, no display of any kind, the private print server's socket when given.
 * Resolves with the exit status and what it wrote.
 */
export function runQuillmark(args, { root, cupsServer = path.join(root, 'no-cups.sock'), env = {}, timeoutMs = 120_000, onSpawn } = {}) {
  const environment = { ...isolatedEnvironment(root, 0, { CUPS_SERVER: cupsServer, ...env }) };
  for (const name of ['DISPLAY', 'WAYLAND_DISPLAY', 'QT_QPA_PLATFORM', 'QT_QUICK_BACKEND', 'QTWEBENGINE_REMOTE_DEBUGGING']) delete environment[name];
  for (const [name, value] of Object.entries(env)) if (value === undefined) delete environment[name];
  return new Promise((resolve, reject) => {
    const child = spawn(executable, args, { cwd: root, env: environment, stdio: ['ignore', 'pipe', 'pipe'] });
    onSpawn?.(child);
    const out = [];
    const err = [];
    child.stdout.on('data', (chunk) => out.push(chunk));
    child.stderr.on('data', (chunk) => err.push(chunk));
    const timer = setTimeout(() => {
      child.kill('SIGKILL');
      reject(new Error(`quillmark ${args.join(' ')} did not end within ${timeoutMs} ms:\n${Buffer.concat(err)}`));
    }, timeoutMs);
    child.on('exit', (status) => {
      clearTimeout(timer);
      resolve({ status, stdout: Buffer.concat(out).toString(), stderr: Buffer.concat(err).toString() });
    });
  });
}
