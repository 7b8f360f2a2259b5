// Bundles the workbench page's script (main.js with CodeMirror and the shared page modules)
// into one file for build/run/ui/, so that nothing is fetched when the page runs.
//
//   node ui/workbench/bundle.mjs OUTPUT.js
//
// esbuild comes from the repository's node_modules. `make` installs it with npm ci; a build
// started without make (cmake --build) runs npm ci here when node_modules is missing or older
// than package-lock.json.

import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '../..');
const output = process.argv[2];
if (!output) {
  console.error('usage: node bundle.mjs OUTPUT.js');
  process.exit(2);
}

function installed() {
  const stamp = path.join(root, 'node_modules/.package-lock.json');
  return fs.existsSync(stamp) && fs.statSync(stamp).mtimeMs >= fs.statSync(path.join(root, 'package-lock.json')).mtimeMs;
}

let esbuild;
try {
  if (!installed()) {
    console.log('npm ci (the editor bundle needs esbuild and CodeMirror)');
    execFileSync('npm', ['ci', '--no-audit', '--no-fund', '--loglevel=error'], { cwd: root, stdio: 'inherit' });
  }
  esbuild = await import('esbuild');
} catch {
  console.error('esbuild is not installed: run `make` (it runs npm ci), or `npm ci` at the top of the repository');
  process.exit(1);
}

try {
  await esbuild.build({
    entryPoints: [path.join(here, 'main.js')],
    outfile: output,
    bundle: true,
    format: 'esm',
    target: 'chrome110',
    minify: true,
    sourcemap: true,
    legalComments: 'linked',
    logLevel: 'warning',
  });
} catch {
  process.exit(1);
}
