// Bundles the workbench page's script (main.js with CodeMirror and the shared page modules)
// into one file for build/run/ui/, so that nothing is fetched when the page runs.
//
//   node ui/workbench/bundle.mjs OUTPUT.js
//
// esbuild comes from the repository's node_modules (`make` installs it with npm ci).

import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const output = process.argv[2];
if (!output) {
  console.error('usage: node bundle.mjs OUTPUT.js');
  process.exit(2);
}

let esbuild;
try {
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
