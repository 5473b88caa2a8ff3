// The extension ships the one TextMate grammar of editors/textmate; packaging
// copies it in, so there is never a second copy to keep in step by hand.
'use strict';
const fs = require('fs');
const path = require('path');

const from = path.join(__dirname, '..', 'textmate', 'qvek.tmLanguage.json');
const to = path.join(__dirname, 'syntaxes', 'qvek.tmLanguage.json');
fs.mkdirSync(path.dirname(to), { recursive: true });
fs.copyFileSync(from, to);
