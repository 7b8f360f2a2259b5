// Takes the README's picture of the console page: a server with a few hosts and some traffic,
// showlog on, the page at 1280 x 800.
//
//   QORSV_RUN_DIR=build/run node tests/browser/screenshot.mjs docs/console.png

import { launchBrowser, noTips, QorsvServer, sleep } from './harness.mjs';

const output = process.argv[2] ?? 'console.png';
const crlf = (lines) => lines.map((line) => `${line}\r\n`).join('');
const server = new QorsvServer({
  settings: { ...noTips, ShowLog: 'TRUE', TotalServerUptime: 4381, OutMB: 37, OutKB: 512, ServedFiles: 1864 },
  files: {
    'config/hosts.dat': crlf([
      '*', '($root)webpage/default/',
      'www.example.org', '/srv/www/example/',
      'shop.example.org', '($root)webpage/shop/',
      'intranet', '/srv/intranet/',
    ]),
  },
});
await server.start();
const browser = await launchBrowser();
try {
  const page = await server.openConsole(browser);
  await page.setViewportSize({ width: 1280, height: 800 });
  for (const target of ['/', '/demo/form.html?name=Ann', '/demo/cookies.html', '/missing.html']) {
    await server.get(target);
  }
  await page.locator('#Hostrootdir > .list-item', { hasText: 'shop.example.org' }).click();
  await sleep(61000); // one uptime tick, which also passes the log saver's tick for the traffic
  await page.screenshot({ path: output });
  console.log(`wrote ${output}`);
} finally {
  await browser.close();
  await server.remove();
}
