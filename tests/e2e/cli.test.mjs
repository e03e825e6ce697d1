// The program started from the command line, as a script or a file manager starts it, with no
// display: printing a merged project to a private print server's queue and to a PDF, the exit
// status and messages a script relies on, and a project handed to the designer (also to the
// one already running).
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, describe, it } from 'node:test';
import { encode } from 'fast-png';
import { jobAttributes, labelProject, runQuillmark, startHost, startPrintServer, waitFor } from './harness.mjs';
import { pageGrey, pdfPages, readBarcode } from '../../frontend/tests/pdfpages.mjs';

const readCode39 = (file, page) => readBarcode(file, page, 'CODE_39');

function project(dataPath) {
  return {
    ...labelProject('货架标签', [
      { id: 't', type: 'text', xMm: 2, yMm: 1, widthMm: 56, heightMm: 8, text: '{{name}}', fontFamily: 'Noto Sans CJK SC', fontSizePt: 12 },
      { id: 'b', type: 'barcode', xMm: 2, yMm: 12, widthMm: 56, heightMm: 24, symbology: 'code39', data: '{{sku}}-{{$counter}}', showText: true },
    ]),
    label: { name: '货架标签', widthMm: 60, heightMm: 40 },
    merge: { source: { path: dataPath, name: path.basename(dataPath), sheet: '', headerRow: true }, counter: { start: 1, step: 1, padding: 2, per: 'label' } },
  };
}

describe('printing from the command line', () => {
  let server;
  let root;
  const file = (name) => path.join(root, name);
  /** The jobs the queue holds so far, each as the PDF it received. */
  const queued = () => fs.readdirSync(path.join(server.folder, 'spool')).filter((n) => /^d\d+-001$/.test(n)).sort().map((n) => path.join(server.folder, 'spool', n));
  const print = (...args) => runQuillmark(['--print', ...args], { root, cupsServer: server.socket, env: { LANG: 'C.UTF-8', LC_ALL: undefined } });

  before(async () => {
    server = await startPrintServer('label');
    root = fs.mkdtempSync(path.join(os.tmpdir(), 'quillmark-cli-'));
    fs.writeFileSync(file('stock.csv'), 'name,sku\n铅笔,A-100\n橡皮,B-200\n尺子,C-300\n');
    fs.writeFileSync(file('other.csv'), 'name,sku\n胶水,G-1\n剪刀,b-2\n订书机,S-3\n图钉,T-4\n');
    fs.writeFileSync(file('shelf.cwrt'), JSON.stringify(project(file('stock.csv'))));
    fs.writeFileSync(file('notes.cwrt'), 'not a project at all');
  });
  after(async () => {
    await server?.stop();
    fs.rmSync(root, { recursive: true, force: true });
  });

  it('prints every record of the project\'s own data to a queue, one page each', async () => {
    const run = await print(file('shelf.cwrt'), '--printer', 'label');
    assert.equal(run.status, 0, run.stderr);
    const [job] = queued();
    assert.equal(pdfPages(job).pages, 3);
    assert.deepEqual([1, 2, 3].map((p) => readCode39(job, p)), ['A-100-01', 'B-200-02', 'C-300-03']);
    assert.deepEqual([jobAttributes(server.socket, 1)['job-name'], jobAttributes(server.socket, 1).media], ['货架标签', 'Custom.60x40mm']);
  });

  it('saves a PDF of label-sized pages without any printer', async () => {
    const run = await print(file('shelf.cwrt'), '--pdf', file('out.pdf'));
    assert.equal(run.status, 0, run.stderr);
    assert.deepEqual(pdfPages(file('out.pdf')), { pages: 3, sizes: [[60, 40], [60, 40], [60, 40]] });
  });

  it('prints another data file, only the records asked for, with copies', async () => {
    const before = queued().length;
    const run = await print(file('shelf.cwrt'), '--printer', 'label', '--data', file('other.csv'), '--records', '3-4', '--copies', '2');
    assert.equal(run.status, 0, run.stderr);
    const job = queued()[before];
    assert.deepEqual([1, 2].map((p) => readCode39(job, p)), ['S-3-01', 'T-4-02']);
    assert.equal(jobAttributes(server.socket, before + 1).copies, 2);
  });

  it('sends nothing when a record would print wrong, and names it; --skip-invalid prints the rest', async () => {
    const before = queued().length;
    const blocked = await print(file('shelf.cwrt'), '--printer', 'label', '--data', file('other.csv'));
    assert.equal(blocked.status, 1);
    assert.match(blocked.stderr, /Record 2 \(b-2-02\): Code 39 takes only/);
    assert.match(blocked.stderr, /Nothing was sent to the printer "label"/);
    assert.equal(queued().length, before);

    const skipping = await print(file('shelf.cwrt'), '--printer', 'label', '--data', file('other.csv'), '--skip-invalid');
    assert.equal(skipping.status, 0, skipping.stderr);
    assert.match(skipping.stderr, /Skipped 1 record[^]*Record 2/);
    const job = queued()[before];
    // Serial numbers count the labels printed.
    assert.deepEqual([1, 2, 3].map((p) => readCode39(job, p)), ['G-1-01', 'S-3-02', 'T-4-03']);
  });

  it('fails with status 1 and the name concerned, queueing nothing, for what cannot print', async () => {
    const before = queued().length;
    const pictures = project(file('stock.csv'));
    pictures.objects.push({ id: 'p', type: 'image', xMm: 0, yMm: 0, widthMm: 10, heightMm: 10, src: '', keepAspect: true, srcColumn: 'name' });
    fs.writeFileSync(file('photos.cwrt'), JSON.stringify(pictures));
    const cases = [
      [[file('photos.cwrt'), '--printer', 'label'], /Record 1[^\n]*Picture "铅笔" cannot be found or read/],
      [[file('shelf.cwrt'), '--printer', 'nowhere'], /There is no printer "nowhere"\. Printers here: label/],
      [[file('missing.cwrt'), '--printer', 'label'], /Cannot open ".*missing\.cwrt"/],
      [[file('notes.cwrt'), '--printer', 'label'], /Cannot open ".*notes\.cwrt"/],
      [[file('shelf.cwrt'), '--printer', 'label', '--records', '2-9'], /Records 2-9 lie outside the data source ".*stock\.csv" \(1 to 3\)/],
    ];
    for (const [args, message] of cases) {
      const run = await print(...args);
      assert.deepEqual([run.status, message.test(run.stderr)], [1, true], `${args.join(' ')}: ${run.stderr}`);
    }
    assert.equal(queued().length, before);
  });

  it('prints a picture per record, named in the data relative to the data file\'s own folder', async () => {
    const shop = file('shop');
    fs.mkdirSync(path.join(shop, 'photos'), { recursive: true });
    const square = (grey) => encode({ width: 20, height: 20, data: new Uint8Array(20 * 20 * 3).fill(grey), channels: 3 });
    fs.writeFileSync(path.join(shop, 'photos', 'black.png'), square(0));
    fs.writeFileSync(path.join(shop, 'photos', 'grey.png'), square(160));
    fs.writeFileSync(path.join(shop, 'items.csv'), 'name,sku,photo\n墨,A-1,photos/black.png\n灰,B-2,./photos/grey.png\n');
    const photos = project(path.join(shop, 'items.csv'));
    photos.objects = [{ id: 'p', type: 'image', xMm: 0, yMm: 0, widthMm: 20, heightMm: 20, rotation: 0, locked: false, src: '', keepAspect: true, srcColumn: 'photo' }];
    fs.writeFileSync(file('per-record.cwrt'), JSON.stringify(photos));
    // The program runs in the folder above the data's: the names are found from the data file's folder.
    const run = await print(file('per-record.cwrt'), '--pdf', file('per-record.pdf'));
    assert.equal(run.status, 0, run.stderr);
    const centre = (page) => {
      const { width, pixels } = pageGrey(file('per-record.pdf'), page, 50);
      const at = Math.round((10 / 25.4) * 50);
      return pixels[at * width + at];
    };
    assert.deepEqual([centre(1) < 30, Math.abs(centre(2) - 160) < 30], [true, true], `${centre(1)}, ${centre(2)}`);
  });

  it('says in Chinese what went wrong under a Chinese locale, and answers usage errors with status 2', async () => {
    const chinese = await runQuillmark(['--print', file('shelf.cwrt'), '--printer', 'nowhere'], { root, cupsServer: server.socket, env: { LANG: 'zh_CN.UTF-8', LC_ALL: undefined } });
    assert.equal(chinese.status, 1);
    assert.match(chinese.stderr, /找不到打印机“nowhere”/);
    for (const args of [['--print', file('shelf.cwrt')], ['--print', file('shelf.cwrt'), '--pdf', 'a.pdf', '--printer', 'label'], ['--print', file('shelf.cwrt'), '--printer', 'label', '--records', '0-2']]) {
      const run = await runQuillmark(args, { root });
      assert.deepEqual([run.status, /Usage: /.test(run.stderr)], [2, true], args.join(' '));
    }
    if (process.getuid?.() === 0) {
      const root_ = await runQuillmark(['--print', file('shelf.cwrt'), '--pdf', file('root.pdf')], { root, env: { QTWEBENGINE_DISABLE_SANDBOX: undefined } });
      assert.equal(root_.status, 1);
      assert.match(root_.stderr, /as root[^]*QTWEBENGINE_DISABLE_SANDBOX=1/);
    }
  });
});

describe('a project given to the designer', () => {
  let host;
  const second = { name: '第二个', path: '' };

  before(async () => {
    const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'quillmark-open-'));
    const first = path.join(folder, 'first.cwrt');
    fs.writeFileSync(first, JSON.stringify(labelProject('第一个', [])));
    second.path = path.join(folder, 'second.cwrt');
    fs.writeFileSync(second.path, JSON.stringify(labelProject(second.name, [])));
    host = await startHost({ args: [first] });
    host.folder = folder;
  });
  after(async () => {
    await host?.stop();
    fs.rmSync(host?.folder ?? '', { recursive: true, force: true });
  });

  it('opens the project named on the command line', async () => {
    assert.ok(await waitFor(() => host.page.evaluate(() => window.quillmark.editor.state.doc.name === '第一个'), 30_000));
    assert.equal(await host.page.evaluate(() => window.quillmark.editor.state.stockChooser), false);
  });

  it('hands a second start\'s project to the running window and ends at once', async () => {
    // Killed (status null) if it kept running; the running designer is another process, free meanwhile.
    const run = spawnSync(host.binary, [second.path], { env: host.env, stdio: 'ignore', timeout: 20_000, killSignal: 'SIGKILL' });
    assert.equal(run.status, 0);
    assert.ok(await waitFor(() => host.page.evaluate((p) => window.quillmark.editor.state.projectPath === p, second.path), 30_000));
  });
});
