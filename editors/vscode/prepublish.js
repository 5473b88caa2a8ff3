// Gathers what the .vsix holds before packaging: the one TextMate grammar of
// editors/textmate and the repository's LICENSE are copied in (never a second
// copy kept in step by hand), and the client with the library it loads is
// bundled into dist/extension.js, so the package needs no node_modules.
'use strict';
const fs = require('fs');
const path = require('path');
const esbuild = require('esbuild');

const copies = [
  [path.join(__dirname, '..', 'textmate', 'qvek.tmLanguage.json'), path.join(__dirname, 'syntaxes', 'qvek.tmLanguage.json')],
  [path.join(__dirname, '..', '..', 'LICENSE'), path.join(__dirname, 'LICENSE')],
];
for (const [from, to] of copies) {
  fs.mkdirSync(path.dirname(to), { recursive: true });
  fs.copyFileSync(from, to);
}

esbuild.buildSync({
  entryPoints: [path.join(__dirname, 'extension.js')],
  outfile: path.join(__dirname, 'dist', 'extension.js'),
  bundle: true,
  platform: 'node',
  format: 'cjs',
  target: 'node18',
  external: ['vscode'],  // the editor provides it at run time
  minify: true,
  logLevel: 'warning',
});
