// The console page in a real browser: labels and captions, the live log views, the host editor
// with its dialogs, message boxes raised by scripts, the tray strip, two pages in step, and the
// operator server's refusals. One server and one browser serve the whole file.

import assert from 'node:assert/strict';
import { after, before, describe, it } from 'node:test';

import { launchBrowser, noTips, QorsvServer, sleep, waitFor } from './harness.mjs';

const crlf = (lines) => lines.map((line) => `${line}\r\n`).join('');

const msgPage = crlf([
  '<html><body>',
  '<%qor%>onload',
  'begin',
  "  Msg('box ' + getparam('n'));",
  "  echo('after box ' + getparam('n'));",
  'end.',
  '</%qor%>',
  '</body></html>',
]);

const server = new QorsvServer({
  settings: noTips,
  files: {
    'config/hosts.dat': crlf(['*', '($root)webpage/default/', 'alpha', '($root)webpage/alpha/']),
    'webpage/alpha/index.html': 'alpha site',
    'webpage/beta/index.html': 'beta site',
    'webpage/default/msg.html': msgPage,
  },
});
let browser;
let page;

const text = (selector, on = page) => on.locator(selector).textContent();
const lines = (selector, on = page) =>
  on.locator(`${selector} > .line`).evaluateAll((all) => all.map((line) => line.textContent));
const hostLines = (on = page) =>
  on.locator('#Hostrootdir > .list-item').evaluateAll((all) => all.map((item) => item.textContent));

async function setShowlog(on) {
  if ((await page.locator('#showlog').isChecked()) !== on) await page.locator('#showlog').click();
  await waitFor(async () => (await page.locator('#showlog').isChecked()) === on, { what: 'showlog' });
}

before(async () => {
  await server.start();
  browser = await launchBrowser();
  page = await server.openConsole(browser);
});

after(async () => {
  await browser?.close();
  await server.remove();
});

describe('the console page', () => {
  it('shows the controls with their captions, hints and the console title', async () => {
    const banner = '..::Torvane !::..0.9.8.1 - qorsv Build 220b - 17 May 2006';
    assert.equal(await page.title(), `${banner} -> active`);
    assert.equal(await text('#Label1'), banner);
    assert.equal(await text('#Label2'), 'Sent 0 GB 0 MB 0 KB 0 bytes');
    assert.equal(await text('#lbl_sqlhandles'), 'Sql Handles : 0 ');
    const captions = {
      Button1: 'Reset Stats',
      Button2: 'Debugger',
      Button3: 'Chain control',
      Button5: 'Clear logs',
      closeorphansqlhandles: 'Close orphan sql handles',
      SpeedButton5: '?',
      readhosts: 'readhosts',
      savehosts: 'savehosts',
      showhosts: 'showhosts',
    };
    for (const [id, caption] of Object.entries(captions)) assert.equal(await text(`#${id}`), caption, id);
    const hints = {
      SpeedButton1: 'Appluy changes',
      SpeedButton2: 'Discard changes',
      SpeedButton3: 'Delete host',
      SpeedButton4: 'New host',
    };
    for (const [id, hint] of Object.entries(hints)) {
      assert.equal(await page.locator(`#${id}`).getAttribute('title'), hint, id);
    }
    const showlog = page.locator('label', { has: page.locator('#showlog') });
    assert.equal(await showlog.textContent(), 'Showlog ?');
    assert.equal(await showlog.getAttribute('title'), 'When enabled may raise the CPU level a bit. Try ;)');
    // "&Shutdown server": the S underlined, no "&".
    const shutdown = page.locator('label', { has: page.locator('#cbActive') });
    assert.equal(await shutdown.textContent(), 'Shutdown server');
    assert.equal(await shutdown.locator('u').textContent(), 'S');
    assert.ok(await page.locator('#cbActive').isChecked());
    assert.deepEqual(await lines('#Memo1'), ['LOG FILE >>']);
    assert.deepEqual(await lines('#syslog'), ['syslog']);
    assert.equal(await page.locator('#Image1').getAttribute('width'), '209');
    assert.equal(await page.locator('#Image1').getAttribute('height'), '65');
    for (const id of ['Label12', 'hostinfo', 'Hname', 'Hrootdir', 'Button4', 'StatusBar1', 'tray', 'minimize', 'close']) {
      assert.equal(await page.locator(`#${id}`).count(), 1, id);
    }
    assert.match(await text('#StatusBar1'), new RegExp(`listening on port ${server.port}`));
  });

  it('shows request lines live while showlog is on, and none while it is off', async () => {
    await setShowlog(false);
    const before = (await lines('#Memo1')).length;
    await server.get('/?quiet=1');
    await sleep(300);
    assert.equal((await lines('#Memo1')).length, before);

    await setShowlog(true);
    await server.get('/?loud=1');
    await waitFor(async () => (await lines('#Memo1')).some((line) => line.includes('loud=1')), {
      what: 'the request in Memo1',
    });
    const line = (await lines('#Memo1')).find((entry) => entry.includes('loud=1'));
    assert.match(line, /^\[ \d\d\/\d\d\/\d{4} - \d\d:\d\d:\d\d \] /);
  });

  it('keeps two pages in step: Clear logs empties both views on both', async () => {
    await setShowlog(true);
    const second = await server.openConsole(browser);
    try {
      await server.get('/?both=1');
      await waitFor(async () => (await lines('#Memo1', second)).some((line) => line.includes('both=1')), {
        what: 'the line on the second page',
      });
      await page.locator('#Button5').click();
      for (const shown of [page, second]) {
        await waitFor(async () => (await lines('#Memo1', shown)).length === 0, { what: 'Memo1 empty' });
        assert.deepEqual(await lines('#syslog', shown), []);
      }
    } finally {
      await second.close();
    }
  });

  it('stays usable with six pages in one browser: pages in the background let go of their streams', async () => {
    // A browser opens at most six connections to one address; each shown page holds one stream.
    const context = await browser.newContext();
    const setVisible = (shown, visible) =>
      shown.evaluate((state) => {
        Object.defineProperty(document, 'visibilityState', { configurable: true, get: () => state });
        document.dispatchEvent(new Event('visibilitychange'));
      }, visible ? 'visible' : 'hidden');
    try {
      const background = [];
      for (let i = 0; i < 5; ++i) {
        const opened = await server.openConsole(browser, { context });
        await setVisible(opened, false);
        background.push(opened);
      }
      const front = await server.openConsole(browser, { context });
      const pressed = (shown) => shown.locator('#Button2').getAttribute('aria-pressed');
      const before = await pressed(front);
      const after = before === 'true' ? 'false' : 'true';
      await front.locator('#Button2').click();
      await waitFor(async () => (await pressed(front)) === after, { what: 'the click on the sixth page' });
      // A page shown again catches up with what changed while it was in the background.
      await setVisible(background[0], true);
      await waitFor(async () => (await pressed(background[0])) === after, { what: 'the page shown again' });
      await front.locator('#Button2').click();
      await waitFor(async () => (await pressed(background[0])) === before, { what: 'both in step' });
    } finally {
      await context.close();
    }
  });

  it('toggles the workbench with Debugger', async () => {
    const pressed = () => page.locator('#Button2').getAttribute('aria-pressed');
    assert.equal(await pressed(), 'true'); // the workbench is visible after start-up
    await page.locator('#Button2').click();
    await waitFor(async () => (await pressed()) === 'false', { what: 'workbench hidden' });
    await page.locator('#Button2').click();
    await waitFor(async () => (await pressed()) === 'true', { what: 'workbench shown' });
  });

  it('edits a host: the file changes and requests follow it', async () => {
    assert.match((await server.get('/', { host: 'alpha' })).body, /^alpha site/);
    await page.locator('#Hostrootdir > .list-item', { hasText: '[alpha]' }).dblclick();
    await page.locator('#hostinfo').waitFor();
    assert.equal(await page.locator('#Hname').inputValue(), 'alpha');
    assert.equal(await page.locator('#Hrootdir').inputValue(), '($root)webpage/alpha/');
    await page.locator('#Hrootdir').fill('($root)webpage/beta/');
    await page.locator('#SpeedButton1').click();
    await page.locator('#hostinfo').waitFor({ state: 'hidden' });
    await waitFor(() => server.read('config/hosts.dat').includes('beta'), { what: 'hosts.dat saved' });
    assert.equal(server.read('config/hosts.dat'), crlf(['*', '($root)webpage/default/', 'alpha', '($root)webpage/beta/']));
    assert.deepEqual(await hostLines(), [
      'HOST [*] mapped to [($root)webpage/default/] dir',
      'HOST [alpha] mapped to [($root)webpage/beta/] dir',
    ]);
    assert.match((await server.get('/', { host: 'alpha' })).body, /^beta site/);
  });

  it('chooses a root directory in the file dialog over the server\'s own folders', async () => {
    await page.locator('#Hostrootdir > .list-item', { hasText: '[alpha]' }).dblclick();
    await page.locator('#hostinfo').waitFor();
    await page.locator('#Button4').click();
    const dialog = page.locator('dialog.file-dialog');
    await dialog.waitFor();
    await waitFor(async () => (await dialog.locator('.file-dialog-folder').textContent()) === `${server.dir}/`, {
      what: 'the dialog in the program directory',
    });
    assert.equal(await dialog.locator('.file-dialog-name').inputValue(), 'index.html');
    assert.deepEqual(await dialog.locator('.file-dialog-type option').allTextContents(), ['Html files', 'All Files']);
    // Folders are listed; of the files only *.html, and the program directory holds none.
    assert.ok(await dialog.locator('.file-entry.folder', { hasText: 'webpage' }).count());
    assert.equal(await dialog.locator('.file-entry.file').count(), 0);
    await dialog.locator('.file-dialog-type').selectOption({ label: 'All Files' });
    await dialog.locator('.file-entry.file', { hasText: 'qorsv' }).first().waitFor();
    await dialog.locator('.file-dialog-type').selectOption({ label: 'Html files' });

    await dialog.locator('.file-entry.folder', { hasText: 'webpage' }).dblclick();
    await dialog.locator('.file-entry.folder', { hasText: 'beta' }).dblclick();
    await dialog.locator('.file-entry.file', { hasText: 'index.html' }).waitFor();
    // Only an existing file is accepted.
    await dialog.locator('.file-dialog-name').fill('missing.html');
    await dialog.locator('#fileDialogOk').click();
    await waitFor(async () => (await dialog.locator('.file-dialog-error').textContent()).includes('File not found'), {
      what: 'the not-found text',
    });
    assert.ok(await dialog.isVisible());
    await dialog.locator('.file-entry.file', { hasText: 'index.html' }).dblclick();
    await dialog.waitFor({ state: 'detached' });
    await waitFor(async () => (await page.locator('#Hrootdir').inputValue()) === '($root)webpage/beta/', {
      what: 'Hrootdir from the dialog',
    });
    await page.locator('#SpeedButton2').click(); // discard
    await page.locator('#hostinfo').waitFor({ state: 'hidden' });
  });

  it('adds a host and deletes it after the confirmation; Cancel keeps it', async () => {
    await page.locator('#SpeedButton4').click();
    await page.locator('#hostinfo').waitFor();
    assert.equal(await page.locator('#Hname').inputValue(), '*');
    assert.equal(await page.locator('#Hrootdir').inputValue(), 'select root directory');
    await page.locator('#Hname').fill('gamma');
    await page.locator('#Hrootdir').fill('/srv/gamma/');
    await page.locator('#SpeedButton1').click();
    await waitFor(() => server.read('config/hosts.dat').includes('gamma'), { what: 'gamma saved' });

    const gamma = page.locator('#Hostrootdir > .list-item', { hasText: '[gamma]' });
    for (const answer of ['Cancel', 'OK']) {
      await gamma.click();
      await page.locator('#SpeedButton3').click();
      const question = page.locator('dialog#deleteQuestion');
      await question.waitFor();
      assert.equal(await question.locator('.page-dialog-title').textContent(), '??');
      assert.equal(await question.locator('.message-text').textContent(), 'Are you sure you want to delete the host  [gamma] ?');
      await question.getByRole('button', { name: answer }).click();
      await question.waitFor({ state: 'detached' });
      if (answer === 'Cancel') {
        await sleep(200);
        assert.ok(server.read('config/hosts.dat').includes('gamma'));
      }
    }
    await waitFor(() => !server.read('config/hosts.dat').includes('gamma'), { what: 'gamma deleted' });
    await waitFor(async () => (await gamma.count()) === 0, { what: 'gamma gone from the list' });
  });

  it('holds a script\'s Msg request until its box is closed, and shows two boxes in order', async () => {
    const second = await server.openConsole(browser);
    try {
      let firstDone = false;
      const first = server.get('/msg.html?n=1').then((answer) => {
        firstDone = true;
        return answer;
      });
      const box = page.locator('dialog#messageBox');
      await box.waitFor();
      assert.equal(await box.locator('.message-text').textContent(), 'box 1');
      const other = server.get('/msg.html?n=2');
      await sleep(400);
      assert.equal(firstDone, false);
      assert.equal(await box.locator('.message-text').textContent(), 'box 1'); // one at a time
      await second.locator('dialog#messageBox .message-text', { hasText: 'box 1' }).waitFor();

      // Closed on the second page: gone from both, the script goes on, the next box follows.
      await second.locator('dialog#messageBox').getByRole('button', { name: 'OK' }).click();
      assert.match((await first).body, /after box 1/);
      await page.locator('dialog#messageBox .message-text', { hasText: 'box 2' }).waitFor();
      await page.locator('dialog#messageBox').getByRole('button', { name: 'OK' }).click();
      assert.match((await other).body, /after box 2/);
      await box.waitFor({ state: 'detached' });
      await second.locator('dialog#messageBox').waitFor({ state: 'detached' });
    } finally {
      await second.close();
    }
  });

  it('minimizes to the tray strip; restoring re-reads the host file', async () => {
    await page.locator('#minimize').click();
    await page.locator('#tray').waitFor();
    assert.ok(await page.locator('#window').isHidden());
    server.write('config/hosts.dat', crlf(['*', '($root)webpage/default/', 'delta', '/srv/delta/']));
    await page.locator('#tray').click();
    await page.locator('#window').waitFor();
    assert.ok(await page.locator('#tray').isHidden());
    await waitFor(async () => (await hostLines()).includes('HOST [delta] mapped to [/srv/delta/] dir'), {
      what: 'the host list read again',
    });
  });

  it('refuses requests without the token, with a foreign Host, or a foreign Origin, and logs each once', async () => {
    await setShowlog(true);
    const token = server.token;
    const own = `http://127.0.0.1:${server.consolePort}`;
    const json = JSON.stringify({ source: 'console', command: 'Button3Click' });
    const cases = [
      { what: 'no token', request: { path: '/' }, status: 403 },
      { what: 'wrong token', request: { path: '/?token=0123456789abcdef0123456789abcdef' }, status: 403 },
      { what: 'events without token', request: { path: '/api/events' }, status: 403 },
      { what: 'foreign host', request: { path: `/?token=${token}`, headers: { Host: `evil.example:${server.consolePort}` } }, status: 403 },
      { what: 'other port in host', request: { path: `/?token=${token}`, headers: { Host: `127.0.0.1:${server.port}` } }, status: 403 },
      { what: 'post without origin', request: { method: 'POST', path: '/api/command', headers: { 'X-Qorsv-Token': token }, body: json }, status: 403 },
      { what: 'post from another site', request: { method: 'POST', path: '/api/command', headers: { 'X-Qorsv-Token': token, Origin: 'http://evil.example' }, body: json }, status: 403 },
      { what: 'command with the cookie only', request: { method: 'POST', path: '/api/command', headers: { Cookie: `qorsv_token_${server.consolePort}=${token}`, Origin: own }, body: json }, status: 403 },
      { what: 'page with a cookie', request: { path: '/', headers: { Cookie: `qorsv_token_${server.consolePort}=${token}` } }, status: 403 },
      { what: 'file with a wrong prefix', request: { path: '/k/0123456789abcdef0123456789abcdef/ui/console.js' }, status: 403 },
      { what: 'file with the prefix', request: { path: `/k/${token}/ui/console.js` }, status: 200 },
      { what: 'command done right', request: { method: 'POST', path: '/api/command', headers: { 'X-Qorsv-Token': token, Origin: own }, body: json }, status: 200 },
    ];
    for (const { what, request, status } of cases) {
      const answer = await server.operator(request);
      assert.equal(answer.status, status, what);
      assert.ok(!answer.headers['set-cookie'], what);
      if (status === 403) assert.equal(answer.body, 'Forbidden\n', what);
    }
    const refusals = cases.filter((c) => c.status === 403).length;
    await waitFor(
      async () => (await lines('#Memo1')).filter((line) => line.includes('Console refused 127.0.0.1')).length >= refusals,
      { what: 'the refusals in the log view' },
    );
    await sleep(200);
    const logged = (await lines('#Memo1')).filter((line) => line.includes('Console refused 127.0.0.1'));
    assert.equal(logged.length, refusals);
    assert.ok(!logged.some((line) => line.includes(token)));

    // The public listener serves none of the console.
    const publicConsole = await server.get(`/?token=${token}`);
    assert.ok(!publicConsole.body.includes('Memo1'));
    assert.equal((await server.get('/ui/console.js')).status, 404);
  });
});
