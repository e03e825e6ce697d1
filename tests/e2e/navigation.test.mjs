// Whatever the page tries, the view keeps showing only the front end's own files: nothing
// else is loaded, so nothing else reaches the bridge; links to the web and to mail go to the
// desktop's own program, and the front end stays connected throughout.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { after, before, describe, it } from 'node:test';
import { sleep, startHost, waitFor } from './harness.mjs';

// An evaluation whose page navigated away meanwhile fails this way; for a test that asked the
// page to navigate, that is not a failure.
function ignoreLeftPage(error) {
  if (!/Execution context was destroyed|navigat/i.test(error.message)) throw error;
}

// A web server on the loopback that records every request, the beacons of the pages below among them.
async function startWitness() {
  const requests = [];
  const server = http.createServer((request, response) => {
    requests.push(request.url);
    response.end();
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return { requests, origin: `http://127.0.0.1:${server.address().port}`, close: () => server.close() };
}

// The desktop side of a hand-over is xdg-open; this one only writes down what it was given.
function recordingOpener(folder) {
  const log = path.join(folder, 'opened.txt');
  const script = path.join(folder, 'xdg-open');
  fs.writeFileSync(script, `#!/bin/sh\nprintf '%s\\n' "$*" >> '${log}'\n`, { mode: 0o755 });
  return { folder, opened: () => (fs.existsSync(log) ? fs.readFileSync(log, 'utf8').split('\n').filter(Boolean) : []) };
}

// The offscreen platform has no desktop to hand links to, so this runs on its own X server.
async function startXServer() {
  const server = spawn('Xvfb', ['-displayfd', '3', '-nolisten', 'tcp', '-screen', '0', '1920x1080x24'], {
    stdio: ['ignore', 'ignore', 'ignore', 'pipe'],
  });
  const display = await new Promise((resolve, reject) => {
    let text = '';
    server.stdio[3].on('data', (chunk) => {
      text += chunk;
      if (text.includes('\n')) resolve(`:${text.trim()}`);
    });
    server.once('exit', (code) => reject(new Error(`Xvfb exited with ${code}`)));
  });
  return { display, stop: () => server.kill('SIGTERM') };
}

// A page the test places inside the front-end folder: being the front end's own file, it is
// shown and reaches the bridge, which shows the witness would hear from any page that loads.
const beaconPage = (witness, from) => `<!DOCTYPE html><meta charset="utf-8"><script src="qrc:///qtwebchannel/qwebchannel.js"></script>
<script>new Image().src = '${witness.origin}/beacon?from=${from}&transport=' + !!(window.qt && window.qt.webChannelTransport);</script>`;

// Clicks a link the way a person does, with the mouse, so that it counts as a followed link.
async function followLink(page, href, target) {
  await page.evaluate(([linkHref, linkTarget]) => {
    document.getElementById('probe-link')?.remove();
    const link = Object.assign(document.createElement('a'), { id: 'probe-link', href: linkHref, textContent: 'follow me' });
    if (linkTarget) Object.assign(link, { target: linkTarget, rel: 'noopener' });
    link.style = 'position:fixed;left:10px;top:10px;font-size:40px;z-index:2147483647;background:white';
    document.body.append(link);
  }, [href, target]);
  // The mouse itself, since a click that waits for its navigation would wait for ever here.
  // Locators would wait for the refused navigations to finish, which they never do.
  const { x, y } = await page.evaluate(() => {
    const box = document.getElementById('probe-link').getBoundingClientRect();
    return { x: box.x + box.width / 2, y: box.y + box.height / 2 };
  });
  await page.mouse.click(x, y);
}

describe('the navigation guard', { timeout: 60_000 }, () => {
  let witness;
  let opener;
  let xServer;
  let host;
  let scratch;
  before(async () => {
    witness = await startWitness();
    scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'quillmark-nav-'));
    opener = recordingOpener(scratch);
    xServer = await startXServer();
    host = await startHost({
      env: { QT_QPA_PLATFORM: 'xcb', DISPLAY: xServer.display, PATH: `${opener.folder}:${process.env.PATH}` },
    });
    fs.writeFileSync(path.join(host.frontendDir, 'probe.html'), beaconPage(witness, 'probe'));
    fs.writeFileSync(path.join(host.root, 'outside.html'), beaconPage(witness, 'outside'));
  });
  after(async () => {
    await host?.stop();
    xServer?.stop();
    witness?.close();
    if (scratch) fs.rmSync(scratch, { recursive: true, force: true });
  });

  const indexUrl = () => `file://${host.frontendDir}/index.html`;

  // Leaves the page a moment later, so that the evaluation returns before its page goes; on a
  // busy machine the page may still go first, which is what was asked for.
  const goTo = (url) => host.page
    .evaluate((target) => setTimeout(() => { location.href = target; }, 0), url)
    .catch(ignoreLeftPage);

  async function frontendAnswers() {
    assert.ok(await waitFor(() => host.page.evaluate(() => window.quillmarkReady === true).catch(() => false), 30_000));
    assert.equal(host.page.url(), indexUrl());
    assert.equal(await host.callText('windowMaximize'), '{"ok":true}');
  }

  const clickLink = (href, target) => followLink(host.page, href, target);
  const addFrame = (url) => host.page.evaluate((src) => document.body.append(Object.assign(document.createElement('iframe'), { src })), url);

  it('shows and connects a page inside the front-end folder', async () => {
    await goTo('probe.html');
    assert.ok(await waitFor(() => witness.requests.some((url) => url.includes('from=probe'))), witness.requests.join('\n'));
    assert.ok(witness.requests.includes('/beacon?from=probe&transport=true'), witness.requests.join('\n'));
    await goTo('index.html');
    await frontendAnswers();
    witness.requests.length = 0;
  });

  it('loads nothing else, whatever the page tries', async () => {
    const dataPage = `data:text/html,<script>new Image().src='${witness.origin}/beacon?from=data'</script>`;
    const attempts = [
      ['data: URL by script', () => goTo(dataPage)],
      ['web page by script', () => goTo(`${witness.origin}/by-script`)],
      ['web page replacing the history entry', () => host.page.evaluate((url) => location.replace(url), `${witness.origin}/replaced`)],
      ['file outside the front end', () => goTo(`file://${host.root}/outside.html`)],
      ['file outside through dot-dot', () => goTo(`file://${host.frontendDir}/../../../../outside.html`)],
      ['form sent to the web', () => host.page.evaluate((url) => {
        const form = document.createElement('form');
        form.action = url;
        document.body.append(form);
        form.submit();
      }, `${witness.origin}/form`)],
      // Without noopener the opener's renderer waits for the DevTools client to release the
      // refused window, which would stall this test rather than the program.
      ['new window on the web', () => host.page.evaluate((url) => { window.open(url, '_blank', 'noopener'); }, `${witness.origin}/window`)],
      ['new window on a front-end page', () => host.page.evaluate(() => { window.open('probe.html', '_blank', 'noopener'); })],
      ['frame on the web', () => addFrame(`${witness.origin}/frame`)],
      ['frame holding a data: URL', () => addFrame(dataPage)],
      ['followed link to a file outside', () => clickLink(`file://${host.root}/outside.html`)],
      ['followed link into a new window', () => clickLink(`${witness.origin}/blank-target`, '_blank')],
    ];
    for (const [name, attempt] of attempts) {
      await attempt();
      await sleep(300);
      assert.equal(host.page.url(), indexUrl(), `after: ${name}`);
    }
    // Long enough for any page that did load to report; the probe above reported within it.
    await sleep(2000);
    assert.deepEqual(witness.requests, []);
    const targets = await host.targets();
    const foreign = targets.filter((target) => target.url !== indexUrl() && target.url !== 'about:blank');
    assert.deepEqual(foreign, []);
    assert.equal(targets.filter((target) => target.type === 'page').length, 1);
    await frontendAnswers();
    assert.equal(host.child.exitCode, null);
  });

  it('hands followed web and mail links to the desktop instead of loading them', async () => {
    await clickLink(`${witness.origin}/help?topic=labels`);
    await clickLink('mailto:support@example.org?subject=Quillmark');
    assert.ok(await waitFor(() => opener.opened().length === 2), `handed over: ${opener.opened()}`);
    assert.deepEqual(opener.opened().sort(), [`${witness.origin}/help?topic=labels`, 'mailto:support@example.org?subject=Quillmark']);
    assert.deepEqual(witness.requests, []);
    await frontendAnswers();
  });
});

// CI has no desktop: the offscreen platform declines the hand-over at once, with a warning,
// and the program carries on.
describe('a followed web link without a desktop', () => {
  it('is declined by the platform without loading or stalling anything', async () => {
    const host = await startHost();
    try {
      const indexUrl = `file://${host.frontendDir}/index.html`;
      await followLink(host.page, 'http://127.0.0.1:9/help');
      assert.ok(await waitFor(() => host.output.join('').includes("openUrl() for 'http://127.0.0.1:9/help'")), host.output.join(''));
      assert.equal(host.page.url(), indexUrl);
      assert.equal(await host.callText('windowMaximize'), '{"ok":true}');
    } finally {
      await host.stop();
    }
  });
});
