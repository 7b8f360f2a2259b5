// The operator's access token stays on the operator port. After the console, the workbench (its
// help pages, a Run into the result pane, a compile's listing) and a public page opened in a
// tab of the same browser, nothing that reached the public web server holds the token: not the
// day's log file (which records every request's header lines), not the script's own view of its
// request, not the listing. And both pages still load whole when reloaded.

import assert from 'node:assert/strict';
import { after, before, describe, it } from 'node:test';

import { launchBrowser, noTips, QorsvServer, waitFor } from './harness.mjs';

const crlf = (lines) => lines.map((line) => `${line}\r\n`).join('');

// A public page that shows what its script sees of the request.
const showRequest = crlf([
  '<html><body>',
  '<%qor%>onload',
  'begin',
  "  echo('cookie=[' + getheader('Cookie') + '] referer=[' + getheader('Referer') + ']');",
  'end.',
  '</%qor%>',
  '</body></html>',
]);

const server = new QorsvServer({ settings: noTips, files: { 'webpage/default/show.html': showRequest } });
let browser;
let context;

before(async () => {
  await server.start();
  browser = await launchBrowser();
  context = await browser.newContext();
});

after(async () => {
  await browser?.close();
  await server.remove();
});

async function openWorkbench() {
  const page = await server.openPage(browser, '/workbench', { context });
  await page.setViewportSize({ width: 1280, height: 800 });
  await page.locator('#connecting').waitFor({ state: 'hidden' });
  return page;
}

const frameText = (page, id) => page.frameLocator(`#${id}`).locator('body').textContent().catch(() => '');

describe('the access token', () => {
  it('never reaches the public web server, and both pages reload whole', async () => {
    const token = server.token;
    const console = await server.openConsole(browser, { context });
    const workbench = await openWorkbench();

    // Help loads in "Webpage result" below the page's own prefix.
    await workbench.locator('.menu-title[data-menu="Help"]').click();
    await waitFor(async () => (await frameText(workbench, 'webbrowser')).length > 100, { what: 'the help index' });
    const helpAddress = await workbench.locator('#webbrowser').evaluate((frame) => frame.contentWindow.location.pathname);
    assert.equal(helpAddress, `/k/${token}/help/index.html`);
    await workbench.locator('#PageControl1Tab2').click();

    // A Run: the result pane asks the public server, whose script reports what it was sent.
    await workbench.locator('#ToolButton1').click(); // New qor: an untitled script
    await waitFor(async () => (await workbench.title()).length > 0 && workbench.locator('#qorpad .cm-content').isVisible());
    await workbench.locator('#qorpad .cm-content').click();
    await workbench.keyboard.press('Control+a');
    await workbench.keyboard.insertText("begin\n  echo('ran [' + getheader('Cookie') + ']');\nend.");
    await workbench.keyboard.press('F9');
    await workbench.locator('.file-dialog').waitFor();
    await workbench.locator('.file-dialog-name').fill('privacy.qor');
    await workbench.locator('#fileDialogOk').click();
    const ran = await waitFor(
      async () => {
        const text = await frameText(workbench, 'browserqor');
        return text.includes('ran [') && text;
      },
      { what: 'the run output' },
    );
    assert.ok(!ran.includes(token) && !ran.includes('qorsv_token'), ran);
    await workbench.locator('#PageControl1Tab0').click();
    const listing = await workbench.locator('#dbgmem').textContent();
    assert.ok(listing.includes('[1]  '), 'the run was listed');
    assert.ok(!listing.includes(token), 'the listing holds the token');
    await workbench.locator('#PageControl1Tab2').click();

    // A public page in a tab of the same browser.
    const visitor = await context.newPage();
    await visitor.goto(`http://127.0.0.1:${server.port}/show.html`);
    // (The public server's own cookie "qorserver" comes back to it, as it should.)
    const seen = await visitor.locator('body').textContent();
    assert.match(seen, /referer=\[\]/);
    assert.ok(!seen.includes(token) && !seen.includes('qorsv_token'), seen);

    // Reloading the pages' own addresses brings them back whole: styles, scripts, the stream.
    for (const page of [console, workbench]) {
      await page.reload();
      await page.locator('#connecting').waitFor({ state: 'hidden' });
      assert.ok(page.url().includes(`token=${token}`));
    }
    assert.equal(await console.locator('#Image1').evaluate((image) => image.naturalWidth), 209);
    assert.equal(await console.locator('.controls').evaluate((element) => getComputedStyle(element).display), 'flex');
    await workbench.locator('#qorpad .cm-content').waitFor();

    // The close request saves the log, which holds every header line the public server read.
    await server.stop();
    const log = server.logText();
    assert.match(log, /HEADER NAME Host=127\.0\.0\.1/);
    assert.match(log, /requestinfo\.requested:\/-qorcompilerscript\.qor/);
    assert.ok(!log.includes(token), 'the log file holds the token');
  });
});
