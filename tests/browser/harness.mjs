// Browser test harness for the operator pages: starts the built qorsv from a throw-away copy of
// the program directory on free ports, reads the console address it prints, drives Debian's
// chromium through playwright-core, and stops every process it started by its PID.
//
//   import { test } from 'node:test';
//   import { startServer, launchBrowser } from './harness.mjs';
//   const server = await startServer({ settings: { ... }, files: { 'webpage/default/a.html': '...' } });
//   const browser = await launchBrowser();
//   const page = await server.openConsole(browser);       // or server.openPage(browser, '/workbench')
//   ...
//   await browser.close(); await server.stop();
//
// The program directory comes from QORSV_RUN_DIR (build/run, set by CTest). Without chromium or
// playwright-core the tests are skipped (exit status 77), except under CI, where that is an error.

import { spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const chromiumPath = '/usr/bin/chromium';
const here = path.dirname(fileURLToPath(import.meta.url));

function skip(reason) {
  if (process.env.CI === 'true') throw new Error(reason);
  console.log(`SKIP: ${reason}`);
  process.exit(77);
}

async function loadPlaywright() {
  if (!fs.existsSync(chromiumPath)) skip(`${chromiumPath} is not installed (apt-get install chromium)`);
  try {
    return await import(path.join(here, '../../node_modules/playwright-core/index.mjs'));
  } catch {
    return skip('playwright-core is not installed (npm ci at the top of the repository)');
  }
}

const { chromium } = await loadPlaywright();

// Every qorsv this process started, so that none outlives a failed test.
const started = new Set();
process.on('exit', () => {
  for (const child of started) {
    try {
      process.kill(child.pid, 'SIGKILL');
    } catch {
      // already gone
    }
  }
});

export function runDir() {
  const dir = process.env.QORSV_RUN_DIR;
  if (!dir || !fs.existsSync(path.join(dir, 'qorsv'))) {
    throw new Error('QORSV_RUN_DIR must name the built program directory (build/run)');
  }
  return dir;
}

export function freePort() {
  return new Promise((resolve, reject) => {
    const probe = net.createServer();
    probe.once('error', reject);
    probe.listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

// Settings as config/config.xml holds them; an object value is a nested element
// ({ Tip: { Show_On_Startup: 'FALSE' } }).
function configXml(settings) {
  const elements = (entries, indent) =>
    Object.entries(entries)
      .map(([name, value]) =>
        typeof value === 'object'
          ? `${indent}<${name}>\r\n${elements(value, `${indent}  `)}${indent}</${name}>\r\n`
          : `${indent}<${name}>${value}</${name}>\r\n`,
      )
      .join('');
  return `<?xml version="1.0" encoding="iso-8859-1"?>\r\n<Configuration>\r\n${elements(settings, '  ')}</Configuration>\r\n`;
}

// The tips window opens by itself at start-up unless its setting says no; most tests want it
// closed, and say so.
export const noTips = { Tip: { Show_On_Startup: 'FALSE' } };

// One HTTP request to 127.0.0.1; resolves with {status, headers, body}.
export function request({ port, method = 'GET', path: target, headers = {}, body, timeoutMs = 20000 }) {
  if (body !== undefined) headers = { 'Content-Length': Buffer.byteLength(body), ...headers };
  return new Promise((resolve, reject) => {
    const outgoing = http.request(
      { host: '127.0.0.1', port, method, path: target, headers, timeout: timeoutMs, agent: false },
      (response) => {
        const chunks = [];
        response.on('data', (chunk) => chunks.push(chunk));
        response.on('end', () =>
          resolve({
            status: response.statusCode,
            headers: response.headers,
            body: Buffer.concat(chunks).toString('latin1'),
          }),
        );
      },
    );
    outgoing.on('timeout', () => outgoing.destroy(new Error(`no answer from port ${port}`)));
    outgoing.on('error', reject);
    if (body !== undefined) outgoing.write(body);
    outgoing.end();
  });
}

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Waits until check() returns a truthy value (which it returns), or fails after timeoutMs.
export async function waitFor(check, { timeoutMs = 10000, what = 'condition' } = {}) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}`);
    await sleep(50);
  }
}

// The first sanitizer report in a program's output, with some lines of its context.
export function sanitizerReport(output) {
  const at = output.search(/runtime error:|ERROR: (Address|Leak|Thread|UndefinedBehavior)Sanitizer|WARNING: ThreadSanitizer/);
  return at < 0 ? '' : output.slice(Math.max(0, at - 200), at + 4000);
}

export class QorsvServer {
  constructor({ settings = noTips, files = {} } = {}) {
    this.dir = fs.mkdtempSync(path.join(os.tmpdir(), 'qorsv_browser_'));
    fs.cpSync(runDir(), this.dir, { recursive: true, verbatimSymlinks: true });
    this.settings = settings;
    for (const [relative, content] of Object.entries(files)) this.write(relative, content);
    this.process = null;
    this.output = '';
  }

  path(relative) {
    return path.join(this.dir, relative);
  }

  write(relative, content) {
    const full = this.path(relative);
    fs.mkdirSync(path.dirname(full), { recursive: true });
    fs.writeFileSync(full, typeof content === 'string' ? Buffer.from(content, 'latin1') : content);
    return full;
  }

  read(relative) {
    return fs.readFileSync(this.path(relative), 'latin1');
  }

  exists(relative) {
    return fs.existsSync(this.path(relative));
  }

  // The day's log file text ('' until the first save).
  logText() {
    const dir = this.path('logs/http_server_log');
    return fs
      .readdirSync(dir)
      .filter((name) => name.endsWith('.log'))
      .map((name) => fs.readFileSync(path.join(dir, name), 'latin1'))
      .join('');
  }

  // The first start writes the settings given; later starts keep what the server stored and
  // change only the ports.
  writePorts() {
    const ports = { ListenPort: this.port, ConsolePort: this.consolePort };
    if (!this.configWritten) {
      this.write('config/config.xml', configXml({ ...ports, ...this.settings }));
      this.configWritten = true;
      return;
    }
    let text = this.read('config/config.xml');
    for (const [name, value] of Object.entries(ports)) {
      text = text.replace(new RegExp(`<${name}>[^<]*</${name}>`, 'i'), `<${name}>${value}</${name}>`);
    }
    this.write('config/config.xml', text);
  }

  // Starts qorsv and waits for its "Console: URL" line. Ports are fresh on each start, unless
  // samePorts asks for those of the previous start (pages of that run then reach this one).
  async start({ timeoutMs = 20000, samePorts = false } = {}) {
    if (!samePorts || !this.port) {
      this.port = await freePort();
      this.consolePort = await freePort();
    }
    this.writePorts();
    this.output = '';
    const child = spawn(this.path('qorsv'), [], { cwd: this.dir, stdio: ['ignore', 'pipe', 'pipe'] });
    this.process = child;
    started.add(child);
    this.exited = new Promise((resolve) => {
      child.once('exit', (code, signal) => {
        started.delete(child);
        resolve({ code, signal });
      });
    });
    const collect = (chunk) => {
      this.output += chunk.toString('latin1');
    };
    child.stdout.on('data', collect);
    child.stderr.on('data', collect);
    const line = await waitFor(
      () => {
        if (child.exitCode !== null) throw new Error(`qorsv ended at start: ${this.output}`);
        return /Console: (http:\S+)/.exec(this.output);
      },
      { timeoutMs, what: 'the Console line' },
    );
    this.consoleUrl = line[1];
    this.token = new URL(this.consoleUrl).searchParams.get('token');
    return this;
  }

  get running() {
    return this.process !== null && this.process.exitCode === null && this.process.signalCode === null;
  }

  // The close request (SIGTERM), then the wait; SIGKILL after timeoutMs. Resolves with the exit.
  async stop({ timeoutMs = 10000 } = {}) {
    if (!this.process) return null;
    const child = this.process;
    if (this.running) child.kill('SIGTERM');
    const timer = setTimeout(() => child.kill('SIGKILL'), timeoutMs);
    const exit = await this.exited;
    clearTimeout(timer);
    this.process = null;
    this.checkSanitizers();
    return exit;
  }

  // Waits for the program to end by itself (the close control, the shut-down switch).
  async waitForExit({ timeoutMs = 10000 } = {}) {
    if (!this.process) return null;
    const timer = setTimeout(() => this.process?.kill('SIGKILL'), timeoutMs);
    const exit = await this.exited;
    clearTimeout(timer);
    this.process = null;
    this.checkSanitizers();
    return exit;
  }

  // A sanitized build (make asan-test, make tsan-test) reports faults on standard error, often
  // only as the program ends; such a report fails the test.
  checkSanitizers() {
    const report = sanitizerReport(this.output);
    if (report) throw new Error(`qorsv reported a fault:\n${report}`);
  }

  async remove() {
    await this.stop();
    fs.rmSync(this.dir, { recursive: true, force: true });
  }

  // An HTTP request to the public listener; resolves with {status, body}.
  get(pathAndQuery, { host = 'localhost', timeoutMs = 20000 } = {}) {
    return request({ port: this.port, path: pathAndQuery, headers: { Host: host }, timeoutMs });
  }

  // A raw request to the operator server, for the refusal rules.
  operator({ method = 'GET', path: target = '/', headers = {}, body } = {}) {
    return request({
      port: this.consolePort,
      method,
      path: target,
      headers: { Host: `127.0.0.1:${this.consolePort}`, ...headers },
      body,
    });
  }

  // Opens an operator page and waits until its stream has delivered the whole state.
  async openPage(browser, pathname = '/', { context } = {}) {
    const owner = context ?? browser;
    const page = await owner.newPage();
    page.setDefaultTimeout(10000);
    const address = new URL(this.consoleUrl);
    address.pathname = pathname;
    await page.goto(address.toString());
    return page;
  }

  async openConsole(browser, options) {
    const page = await this.openPage(browser, '/', options);
    await page.locator('#connecting').waitFor({ state: 'hidden' });
    return page;
  }
}

export async function startServer(options) {
  const server = new QorsvServer(options);
  await server.start();
  return server;
}

// `options` go to chromium.launch as well (a proxy, for instance).
export function launchBrowser(options = {}) {
  return chromium.launch({
    ...options,
    executablePath: chromiumPath,
    headless: true,
    // Without the background-networking switches, chromium's own connections to the outside
    // are refused by this machine's closed network and slow every start.
    args: [
      '--headless',
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
    ],
  });
}
