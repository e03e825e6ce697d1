// Whatever the page tries, the view keeps showing only the front end's own files: nothing
// else is loaded or read, no network address is reached, so nothing else reaches the bridge and
// nothing leaves; only a web link the user clicked open in a new window goes to the desktop's
// own program; a renderer that dies is brought back with the unsaved work offered.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import dgram from 'node:dgram';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { after, before, describe, it } from 'node:test';
import { chromium } from 'playwright-core';
import { sleep, startHost, waitFor } from './harness.mjs';

// An evaluation whose page navigated away meanwhile fails this way; for a test that asked the
// page to navigate, that is not a failure.
function ignoreLeftPage(error) {
  if (!/Execution context was destroyed|navigat/i.test(error.message)) throw error;
}

// A web server on the loopback that records every request, the beacons of the pages below among them.
// Also a UDP port: every connection and datagram is counted, as WebRTC's would be.
async function startWitness() {
  const requests = [];
  const heard = { connections: 0, datagrams: 0 };
  const server = http.createServer((request, response) => {
    requests.push(request.url);
    response.end();
  });
  server.on('upgrade', (request, socket) => {
    requests.push(request.url);
    socket.destroy();
  });
  server.on('connection', () => heard.connections++);
  const udp = dgram.createSocket('udp4').on('message', () => heard.datagrams++);
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  await new Promise((resolve) => udp.bind(0, '127.0.0.1', resolve));
  return {
    requests, heard, port: server.address().port, udpPort: udp.address().port, origin: `http://127.0.0.1:${server.address().port}`,
    close: () => server.close() && udp.close(),
  };
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
// shown and reaches the bridge. It also calls the witness, which must never hear from it.
const beaconPage = (witness, from) => `<!DOCTYPE html><meta charset="utf-8"><script src="qrc:///qtwebchannel/qwebchannel.js"></script>
<script>window.probeTransport = !!(window.qt && window.qt.webChannelTransport);
new Image().src = '${witness.origin}/beacon?from=${from}';</script>`;

// Clicks a link the way a person does, with the mouse, so that it counts as a followed link; a
// click or locator that waits for its navigation would wait for ever for a refused one.
async function followLink(page, href, target) {
  const { x, y } = await page.evaluate(([linkHref, linkTarget]) => {
    document.getElementById('probe-link')?.remove();
    const link = Object.assign(document.createElement('a'), { id: 'probe-link', href: linkHref, textContent: 'follow me' });
    if (linkTarget) Object.assign(link, { target: linkTarget, rel: 'noopener' });
    link.style = 'position:fixed;left:10px;top:10px;font-size:40px;z-index:2147483647;background:white';
    document.body.append(link);
    const box = link.getBoundingClientRect();
    return { x: box.x + box.width / 2, y: box.y + box.height / 2 };
  }, [href, target]);
  await page.mouse.click(x, y);
}

describe('the navigation guard', { timeout: 180_000 }, () => {
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
    fs.symlinkSync(path.join(host.root, 'outside.html'), path.join(host.frontendDir, 'escape.html'));
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
    assert.ok(await waitFor(() => host.page.evaluate(() => window.probeTransport).catch(() => false)));
    await goTo('index.html');
    await frontendAnswers();
  });

  it('reads no file outside the front end and reaches no network address', async () => {
    const reads = await host.page.evaluate((urls) => Promise.all(urls.map((url) => new Promise((resolve) => {
      const request = new XMLHttpRequest(); // the text read, or null when refused
      request.open('GET', url);
      request.onload = () => resolve(request.responseText || null);
      request.onerror = () => resolve(null);
      request.send();
    }))), ['index.html', 'escape.html', `file://${host.root}/outside.html`, 'file:///etc/passwd', `file://${host.root}/`, `file://${host.frontendDir}/`, `${witness.origin}/xhr`]);
    assert.match(reads[0], /<html/i);
    assert.deepEqual(reads.slice(1), [null, null, null, null, null, null]);
    const worker = (origin) => `fetch('${origin}/worker-fetch').catch(() => {}); new WebSocket('${origin.replace('http', 'ws')}/worker-socket');
      const request = new XMLHttpRequest(); request.open('GET', '${origin}/worker-xhr'); request.send(); postMessage('tried');`;
    assert.equal(await host.page.evaluate(([origin, script]) => {
      new Image().src = `${origin}/image`;
      const blob = URL.createObjectURL(new Blob([script], { type: 'text/javascript' }));
      return new Promise((resolve) => { new Worker(blob).onmessage = (e) => resolve(e.data); });
    }, [witness.origin, worker(witness.origin)]), 'tried');
    // WebRTC gathers its addresses through STUN (UDP) and TURN (TCP) servers the page names.
    await host.page.evaluate(async ([udpPort, tcpPort]) => {
      const connection = new RTCPeerConnection({ iceServers: [
        { urls: `stun:127.0.0.1:${udpPort}` }, { urls: `turn:127.0.0.1:${tcpPort}?transport=tcp`, username: 'u', credential: 'p' }] });
      connection.createDataChannel('out');
      await connection.setLocalDescription(await connection.createOffer());
    }, [witness.udpPort, witness.port]);
    await sleep(2000); // long enough for the requests to arrive
    assert.deepEqual([witness.requests, witness.heard], [[], { connections: 0, datagrams: 0 }]);

    // A file the bridge names by its address is read once, and only that file.
    const granted = path.join(host.root, '货架 1.csv');
    fs.writeFileSync(granted, 'a,b\n1,2\n');
    const link = await host.call('openFileLink', 'spreadsheet', granted);
    const again = await host.page.evaluate(([url, other]) => Promise.all([url, url, other].map((address) => new Promise((resolve) => {
      const request = new XMLHttpRequest();
      request.open('GET', address);
      request.onload = () => resolve(request.responseText || null);
      request.onerror = () => resolve(null);
      request.send();
    }))), [link.url, `file://${host.root}/outside.html`]);
    assert.deepEqual([link.size, ...again], [8, 'a,b\n1,2\n', null, null]);
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
      ['empty page by script', () => goTo('about:blank')],
      ['engine page by script', () => goTo('chrome://gpu')],
      ['source view by script', () => goTo(`view-source:${indexUrl()}`)],
      ['followed link into a new window', () => clickLink(`${witness.origin}/blank-target`, '_blank')],
    ];
    for (const [name, attempt] of attempts) {
      await attempt();
      await sleep(300);
      assert.equal(host.page.url(), indexUrl(), `after: ${name}`);
    }
    // Long enough for any page that did load to report; the probe above reported within it.
    await sleep(2000);
    assert.deepEqual([witness.requests, opener.opened()], [[], []]);
    const targets = await host.targets();
    const foreign = targets.filter((target) => target.url !== indexUrl() && target.url !== 'about:blank');
    assert.deepEqual(foreign, []);
    assert.equal(targets.filter((target) => target.type === 'page').length, 1);
    await frontendAnswers();
    assert.equal(host.child.exitCode, null);
  });

  it('hands a secure web link the user opened to the desktop, and nothing else', async () => {
    await clickLink('https://example.org/help?topic=labels', '_blank');
    await clickLink(`${witness.origin}/plain`, '_blank');
    await clickLink('mailto:support@example.org?attach=/etc/passwd', '_blank');
    await clickLink('https://example.org/same-window');
    assert.ok(await waitFor(() => opener.opened().length > 0), 'nothing handed over');
    // The refused ones would have been handed over by now, being clicked before the last.
    await sleep(1000);
    assert.deepEqual(opener.opened(), ['https://example.org/help?topic=labels']);
    assert.deepEqual(witness.requests, []);
    await frontendAnswers();
  });

  it('hands over no link that a script clicks', async () => {
    // Well after the user's last action, which the engine forgets after a few seconds; each
    // evaluation from this test counts as one, and each lets one window open.
    await host.page.evaluate(() => setTimeout(() => {
      for (const href of ['https://example.org/by-script', 'mailto:a@example.org?attach=/etc/passwd']) {
        for (const target of ['_blank', '']) for (let i = 0; i < 10; i++) Object.assign(document.createElement('a'), { href, target }).click();
      }
      window.scriptClicked = true;
    }, 6000));
    await sleep(7500); // without evaluating, which would count as an action again
    assert.ok(await host.page.evaluate(() => window.scriptClicked));
    assert.deepEqual(opener.opened(), ['https://example.org/help?topic=labels']);
    await frontendAnswers();
  });

  it('brings the designer back once its renderer dies, offering the unsaved work', async () => {
    await host.page.evaluate(() => window.quillmark.editor.insert('rect'));
    assert.ok(await waitFor(() => host.page.evaluate(() => localStorage.getItem('quillmark.autosave') !== null)));
    await (await host.page.context().newCDPSession(host.page)).send('Page.crash').catch(() => {});
    // A client stays with the dead page: a new one attaches to the designer brought back.
    assert.ok(await waitFor(async () => (await host.targets()).some((t) => t.type === 'page' && t.url === indexUrl()), 30_000));
    const port = /DevTools listening on ws:\/\/127\.0\.0\.1:(\d+)/.exec(host.output.join(''))[1];
    const client = await chromium.connectOverCDP(`http://127.0.0.1:${port}`, { noDefaults: true });
    const page = client.contexts()[0].pages()[0];
    await page.waitForFunction(() => document.querySelector('[data-testid="dialog-recover"]'), null, { timeout: 30_000 }).finally(() => client.close());
  });
});

// CI has no desktop: the offscreen platform declines the hand-over at once, with a warning,
// and the program carries on.
describe('a secure web link opened without a desktop', () => {
  it('is declined by the platform without loading or stalling anything', async () => {
    const host = await startHost();
    try {
      const indexUrl = `file://${host.frontendDir}/index.html`;
      await followLink(host.page, 'https://127.0.0.1:9/help', '_blank');
      assert.ok(await waitFor(() => host.output.join('').includes("openUrl() for 'https://127.0.0.1:9/help'")), host.output.join(''));
      assert.equal(host.page.url(), indexUrl);
      assert.equal(await host.callText('windowMaximize'), '{"ok":true}');
    } finally {
      await host.stop();
    }
  });
});
