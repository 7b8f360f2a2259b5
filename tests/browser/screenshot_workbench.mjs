// Takes the README's picture of the workbench page: a script open in the editor, run with F9
// into the result pane, and a parameter hint open, the page at 1280 x 800.
//
//   QORSV_RUN_DIR=build/run node tests/browser/screenshot_workbench.mjs docs/workbench.png

import { launchBrowser, noTips, QorsvServer, sleep, waitFor } from './harness.mjs';

const output = process.argv[2] ?? 'workbench.png';
const crlf = (lines) => lines.map((line) => `${line}\r\n`).join('');
const script = crlf([
  '{ Squares and cubes: a table built in a string, one row per number }',
  'function Row(n: integer): string;',
  'begin',
  "  Result := '<tr><td>' + IntToStr(n) + '</td><td>' + IntToStr(n * n) +",
  "            '</td><td>' + IntToStr(n * n * n) + '</td></tr>';",
  'end;',
  '',
  'procedure Table(count: integer);',
  'var',
  '  i: integer;',
  '  html: string;',
  'begin',
  "  html := '<table border=\"1\" cellpadding=\"4\"><tr><th>n</th><th>n&sup2;</th><th>n&sup3;</th></tr>';",
  '  for i := 1 to count do',
  '    html := html + Row(i);',
  "  echoln(html + '</table>');",
  'end;',
  '',
  'begin',
  "  echoln('<h3>Squares and cubes for ' + htmlencode(myhost) + '</h3>');",
  '  Table(6);',
  'end.',
]);
const server = new QorsvServer({ settings: { ...noTips, SyntaxTimer: 300 } });
server.write('scripts/squares.qor', script);
server.settings = { ...server.settings, LastEditorFile: server.path('scripts/squares.qor'), EdBoriP: 'TRUE' };
await server.start();
const browser = await launchBrowser();
try {
  const page = await server.openPage(browser, '/workbench');
  await page.setViewportSize({ width: 1280, height: 800 });
  await page.locator('#connecting').waitFor({ state: 'hidden' });
  await page.locator('#qorpad .cm-content').click();
  await page.keyboard.press('F9');
  await waitFor(async () => (await page.frameLocator('#browserqor').locator('table').count()) > 0, { what: 'the run' });
  // The caret into the main block, and a call being written there.
  await page.locator('#qorpad .cm-line').nth(20).click();
  await page.keyboard.press('End');
  await page.keyboard.press('Enter');
  await page.keyboard.type('echoln(IntToHex(');
  await page.locator('#scpParams').waitFor();
  await page.keyboard.type('255, ');
  await sleep(500);
  await waitFor(async () => (await page.title()).includes('squares.qor'), { what: 'the title', timeoutMs: 8000 });
  await page.screenshot({ path: output });
  console.log(`wrote ${output}`);
} finally {
  await browser.close();
  await server.remove();
}
