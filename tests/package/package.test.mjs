// The Debian package as a user's machine gets it: what lintian says of it, what it holds, how it
// describes itself to the desktop, and the program started from the files it unpacks.
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { describe, it } from 'node:test';
import { hostForTests, installedPrefix } from '../e2e/harness.mjs';

const packageDir = process.env.QUILLMARK_PACKAGE_DIR;
const architecture = execFileSync('dpkg', ['--print-architecture'], { encoding: 'utf8' }).trim();
const debFile = path.join(packageDir, `quillmark_${process.env.QUILLMARK_VERSION}_${architecture}.deb`);
const share = path.join(installedPrefix, 'share');

function run(command, args) {
  const result = spawnSync(command, args, { encoding: 'utf8' });
  return { status: result.status, output: `${result.stdout}${result.stderr}` };
}

describe('the package', () => {
  it('is named for the version and the machine, and lintian finds no errors or warnings', () => {
    assert.ok(fs.existsSync(debFile), `${debFile} is missing: ${fs.readdirSync(packageDir)}`);
    const lintian = run(process.env.QUILLMARK_LINTIAN || 'lintian', ['--fail-on', 'error,warning', debFile]);
    assert.equal(lintian.status, 0, lintian.output);
  });

  it('depends on the libraries the program links and on those it loads at run time', () => {
    const depends = execFileSync('dpkg-deb', ['--field', debFile, 'Depends'], { encoding: 'utf8' });
    const names = depends.split(/[,|]/).map((entry) => entry.trim().split(/\s/)[0]);
    for (const name of ['libqt5webenginewidgets5', 'libqt5printsupport5', 'libcups2', 'libqt5webengine-data', 'libqt5svg5']) {
      assert.ok(names.includes(name), `${name} is not in Depends: ${depends}`);
    }
  });

  it('holds the program and its integration files, and no sources, tests, source maps or build files', () => {
    const listing = execFileSync('dpkg-deb', ['--contents', debFile], { encoding: 'utf8' });
    const files = listing.split('\n').filter(Boolean).map((line) => line.split(/\s+/).slice(5).join(' ').replace(/^\.\//, ''));
    for (const file of ['usr/bin/quillmark', 'usr/share/quillmark/frontend/index.html', 'usr/share/quillmark/frontend/dist/designer.js',
      'usr/share/applications/quillmark.desktop', 'usr/share/icons/hicolor/scalable/apps/quillmark.svg',
      'usr/share/metainfo/io.github.quillmark.quillmark.metainfo.xml', 'usr/share/mime/packages/quillmark.xml',
      'usr/share/doc/quillmark/copyright', 'usr/share/doc/quillmark/changelog.gz', 'usr/share/man/man1/quillmark.1.gz']) {
      assert.ok(files.includes(file), `${file} is not in the package`);
    }
    const unwanted = files.filter((file) =>
      /(^|\/)(src|tests?|node_modules|CMakeFiles|_CPack_Packages)(\/|$)|\.(c|cc|cpp|h|hpp|ts|tsx|mjs|map|cmake|qrc|o|a)$|(^|\/)(CMakeCache\.txt|CMakeLists\.txt|build\.ninja|Makefile|package(-lock)?\.json|tsconfig\.json)$/.test(file));
    assert.deepEqual(unwanted, []);
  });

  it('describes itself validly to the menu and the software centre, and opens the projects it is handed', () => {
    const desktopFile = path.join(share, 'applications/quillmark.desktop');
    const desktop = run('desktop-file-validate', [desktopFile]);
    assert.equal(desktop.status, 0, desktop.output);
    const desktopEntry = fs.readFileSync(desktopFile, 'utf8');
    assert.match(desktopEntry, /^MimeType=application\/x-quillmark-project;$/m);
    assert.match(desktopEntry, /^Exec=quillmark %f$/m);
    assert.match(desktopEntry, /^Icon=quillmark$/m);
    const metainfoFile = path.join(share, 'metainfo/io.github.quillmark.quillmark.metainfo.xml');
    const metainfo = run('appstreamcli', ['validate', '--no-net', metainfoFile]);
    assert.equal(metainfo.status, 0, metainfo.output);
    assert.match(fs.readFileSync(metainfoFile, 'utf8'), /<mediatype>application\/x-quillmark-project<\/mediatype>/);
  });

  it('names .cwrt projects and gives them the program icon', () => {
    const database = fs.mkdtempSync(path.join(os.tmpdir(), 'quillmark-mime-'));
    try {
      fs.cpSync(path.join(share, 'mime/packages'), path.join(database, 'packages'), { recursive: true });
      execFileSync('update-mime-database', [database]);
      assert.match(fs.readFileSync(path.join(database, 'globs2'), 'utf8'), /^\d+:application\/x-quillmark-project:\*\.cwrt$/m);
      const icons = fs.readFileSync(path.join(database, 'icons'), 'utf8');
      const icon = icons.match(/^application\/x-quillmark-project:(.+)$/m)?.[1];
      assert.ok(fs.existsSync(path.join(share, `icons/hicolor/scalable/apps/${icon}.svg`)), `no icon ${icon} in the package`);
    } finally {
      fs.rmSync(database, { recursive: true, force: true });
    }
  });
});

describe('the program from the unpacked package', () => {
  const context = hostForTests();

  it('shows its front end and the bridge answers', async () => {
    const { host } = context;
    assert.equal(host.page.url(), `file://${host.frontendDir}/index.html`);
    assert.equal(await host.callText('windowMaximize'), '{"ok":true}');
  });
});
