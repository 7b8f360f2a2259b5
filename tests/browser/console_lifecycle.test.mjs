// The console page across the program's life: the tips window at start-up and its setting, a
// message box raised while no page is open, the statistics after the log saver's tick, and the
// close control that saves the log and ends the program.

import assert from 'node:assert/strict';
import net from 'node:net';
import { after, before, describe, it } from 'node:test';

import { launchBrowser, noTips, QorsvServer, sleep, waitFor } from './harness.mjs';

// A forwarding proxy between the browser and the server, which can break every connection it
// carries: the way a page's stream breaks when the network does. Requests arrive in the proxy
// form ("GET http://127.0.0.1:P/path") and leave in the origin form.
function breakableProxy() {
  const carried = new Set();
  const proxy = net.createServer((client) => {
    let head = Buffer.alloc(0);
    client.on('error', () => {});
    const onData = (chunk) => {
      head = Buffer.concat([head, chunk]);
      const end = head.indexOf('\r\n\r\n');
      if (end < 0) return;
      client.off('data', onData);
      const text = head.toString('latin1');
      const [method, target, version] = text.slice(0, text.indexOf('\r\n')).split(' ');
      const url = new URL(target);
      const upstream = net.connect(Number(url.port), url.hostname, () => {
        upstream.write(`${method} ${url.pathname}${url.search} ${version}${text.slice(text.indexOf('\r\n'))}`);
        client.pipe(upstream).pipe(client);
      });
      upstream.on('error', () => client.destroy());
      carried.add(client).add(upstream);
    };
    client.on('data', onData);
  });
  return {
    listen: () => new Promise((resolve) => proxy.listen(0, '127.0.0.1', () => resolve(proxy.address().port))),
    breakAll: () => {
      for (const socket of carried) socket.destroy();
      carried.clear();
    },
    close: () => proxy.close(),
  };
}

const tips = [
  'You can chain one ore more qOr servers to do bandwidth balance control ?',
  'You can debug your scripts without leaving or stoping the server ? Just hit the Debugger button !',
  'Installing as a service is a simple task ? Hit the Start as service button ! ( beta disabled )',
  'That you can manage application priority so your server would not block when managing huge scripts !',
  'The SQLite engine is one of the best emmbembed sql engines ? See the help file on using it.',
  'Maximum domains qOr can handle at one time is arround 100 per one machine ?',
  'qOr can monitor itself for errors and restart engine ( not machine ) so that it can do error repairs ?',
];

let browser;
before(async () => {
  browser = await launchBrowser();
});
after(async () => {
  await browser?.close();
});

describe('the tips window', () => {
  const server = new QorsvServer({ settings: {} });
  after(() => server.remove());

  it('opens by itself on a random tip, steps round, and Close stores its check box', async () => {
    await server.start();
    const page = await server.openConsole(browser);
    const dialog = page.locator('dialog#tip');
    await dialog.waitFor();
    assert.equal(await dialog.locator('.page-dialog-title').textContent(), 'Tips and Tricks');
    assert.equal(await dialog.locator('.tip-header').textContent(), 'Did you know...');
    assert.deepEqual(await dialog.locator('.page-dialog-button').allTextContents(), ['Next Tip', 'Close']);
    assert.equal(await dialog.locator('#tipNext u').textContent(), 'N');
    assert.ok(await page.locator('#tipShowOnStartup').isChecked());
    const tipText = () => dialog.locator('#tipText').textContent();
    const first = tips.indexOf(await tipText());
    assert.ok(first >= 0);
    for (let step = 1; step <= tips.length; ++step) {
      await dialog.locator('#tipNext').click();
      const expected = tips[(first + step) % tips.length];
      await waitFor(async () => (await tipText()) === expected, { what: `tip ${step}` });
    }
    await page.locator('#tipShowOnStartup').click();
    await waitFor(async () => !(await page.locator('#tipShowOnStartup').isChecked()), { what: 'unticked' });
    await dialog.locator('#tipClose').click();
    await dialog.waitFor({ state: 'detached' });
    assert.match(server.read('config/config.xml'), /<Tip>\s*<Show_On_Startup>FALSE<\/Show_On_Startup>\s*<\/Tip>/);
    await page.close();
    await server.stop();
  });

  it('stays closed at the next start, while "?" still opens it', async () => {
    await server.start();
    const page = await server.openConsole(browser);
    await sleep(500);
    assert.equal(await page.locator('dialog#tip').count(), 0);
    await page.locator('#SpeedButton5').click();
    await page.locator('dialog#tip').waitFor();
    assert.ok(!(await page.locator('#tipShowOnStartup').isChecked()));
    await page.keyboard.press('Escape'); // as "&Close"
    await page.locator('dialog#tip').waitFor({ state: 'detached' });
    await page.close();
    await server.stop();
  });
});

describe('a running server', () => {
  const page_ = (lines) => lines.map((line) => `${line}\r\n`).join('');
  const server = new QorsvServer({
    settings: noTips,
    files: {
      'webpage/default/msg.html': page_([
        '<html><body>',
        '<%qor%>onload',
        'begin',
        "  Msg('waiting for a page');",
        "  echo('released');",
        'end.',
        '</%qor%>',
        '</body></html>',
      ]),
      'webpage/default/k.bin': 'k'.repeat(1500),
    },
  });
  let page;
  before(() => server.start());
  after(() => server.remove());

  it('keeps a box raised while no page is open for the next page', async () => {
    const request = server.get('/msg.html');
    await waitFor(() => server.output.includes('qorsv message: waiting for a page'), { what: 'the box' });
    page = await server.openConsole(browser);
    const box = page.locator('dialog#messageBox');
    await box.locator('.message-text', { hasText: 'waiting for a page' }).waitFor();
    await box.getByRole('button', { name: 'OK' }).click();
    assert.match((await request).body, /released/);
  });

  it('shows the traffic after the log saver\'s 10 s tick; Reset Stats clears it at once', async () => {
    assert.equal((await server.get('/k.bin')).body.length, 1500);
    await waitFor(async () => (await page.locator('#Label2').textContent()).endsWith('bytes.'), {
      timeoutMs: 15000,
      what: 'the 10 s tick',
    });
    // Whatever else was sent (the page of the box above), 1500 bytes make at least 1 KB.
    assert.match(await page.locator('#Label2').textContent(), /^Sent 0 GB 0 MB [1-9]\d* KB \d+ bytes\.$/);
    await page.locator('#Button1').click();
    await waitFor(async () => (await page.locator('#Label2').textContent()) === 'Sent 0 GB 0 MB 0 KB 0 Bytes', {
      what: 'Reset Stats',
    });
  });

  it('closes with the close control: the log is saved and the program ends', async () => {
    const workbench = await server.openPage(browser, '/workbench');
    await workbench.locator('#connecting').waitFor({ state: 'hidden' });
    await server.get('/?last=words');
    await page.locator('#close').click();
    const exit = await server.waitForExit();
    assert.deepEqual(exit, { code: 0, signal: null });
    assert.match(server.logText(), /requestinfo\.requested:\/ .*|last=words/);
    assert.ok(server.logText().includes('last=words'));
    await page.locator('#ended').waitFor();
    // The workbench page says the server has ended, not that the workbench was hidden.
    await workbench.locator('#ended').waitFor();
    assert.ok(await workbench.locator('#hiddenNotice').isHidden());
    await workbench.close();
  });
});

describe('the shut-down switch', () => {
  const server = new QorsvServer({ settings: noTips });
  after(() => server.remove());

  it('ends the program at once, without saving the log', async () => {
    await server.start();
    const started = Date.now();
    const page = await server.openConsole(browser);
    await server.get('/?never=saved');
    await page.locator('#cbActive').click();
    assert.deepEqual(await server.waitForExit(), { code: 0, signal: null });
    // Lines since the last save are not written; the first save is ten seconds after start.
    if (Date.now() - started < 9000) assert.ok(!server.logText().includes('never=saved'));
    await page.locator('#ended').waitFor();
  });
});

describe('a page whose stream breaks', () => {
  const server = new QorsvServer({ settings: { ...noTips, ShowLog: 'TRUE' } });
  const proxy = breakableProxy();
  let proxied;
  after(async () => {
    await proxied?.close();
    proxy.close();
    await server.remove();
  });

  it('reconnects by itself and starts again from the whole state', async () => {
    await server.start();
    const proxyPort = await proxy.listen();
    proxied = await launchBrowser({ proxy: { server: `http://127.0.0.1:${proxyPort}` } });
    const page = await server.openConsole(proxied);
    proxy.breakAll();
    await waitFor(async () => (await page.locator('#streamStatus').textContent()).includes('Reconnecting'), {
      what: 'the break noticed',
    });
    await server.get('/?after=break');
    await waitFor(
      async () => (await page.locator('#Memo1 > .line').allTextContents()).some((line) => line.includes('after=break')),
      { what: 'a line after the stream came back' },
    );
    assert.equal(await page.locator('#streamStatus').textContent(), '');
  });
});

describe('a page of an earlier run', () => {
  const server = new QorsvServer({ settings: { ...noTips, ShowLog: 'TRUE' } });
  after(() => server.remove());

  it('stops asking once the new run refuses its token, and says so', async () => {
    await server.start();
    const context = await browser.newContext();
    try {
      const old = await server.openConsole(browser, { context });
      // In a background tab the page holds no stream, so it does not see the program end.
      await old.evaluate(() => {
        Object.defineProperty(document, 'visibilityState', { configurable: true, get: () => 'hidden' });
        document.dispatchEvent(new Event('visibilitychange'));
      });
      await server.stop();
      await server.start({ samePorts: true });
      await old.evaluate(() => {
        Object.defineProperty(document, 'visibilityState', { configurable: true, get: () => 'visible' });
        document.dispatchEvent(new Event('visibilitychange'));
      });
      await old.locator('#ended').waitFor();
      assert.equal(await old.locator('#endedTitle').textContent(), 'This page belongs to an earlier run of the server.');
      await sleep(2500);
      const current = await server.openConsole(browser, { context });
      const refusals = (await current.locator('#Memo1 > .line').allTextContents()).filter((line) =>
        line.includes('Console refused'),
      );
      // The refused stream and the page's one question whether it is refused; no retries.
      assert.ok(refusals.length >= 1 && refusals.length <= 2, refusals.join('\n'));
    } finally {
      await context.close();
    }
  });
});
