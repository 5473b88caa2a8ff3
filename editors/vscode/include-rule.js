// Which include files are qvek's: other assemblers name theirs .inc too, so an
// include file counts only when a .qvs source in its folder names it in an INC
// line (qvek upper-cases the name and opens it in its working folder).
'use strict';
const fs = require('fs');
const path = require('path');

/// Tells whether a source text names the file in an INC line (labels aside; the word upper-cased).
function namesInclude(sourceText, fileName) {
  const wanted = fileName;  // qvek opens the upper-cased word
  return sourceText.split(/\r\n|\r|\n/).some((line) => {
    const words = line.replace(/\*.*$/, '').trim().split(/[ \t]+/);
    if (words[0] && words[0].startsWith('#')) words.shift();
    return words.length >= 2 && words[0].toUpperCase() === 'INC' && words[1].toUpperCase() === wanted;
  });
}

/// Tells whether a file ending in .inc (any case) is qvek's under the qvek.includeFiles setting.
function isQvekInclude(filePath, setting) {
  if (!/\.inc$/i.test(filePath) || setting === 'none') return false;
  if (setting === 'all') return true;
  const folder = path.dirname(filePath);
  let names;
  try {
    names = fs.readdirSync(folder).filter((name) => /\.qvs$/i.test(name));
  } catch {
    return false;
  }
  return names.some((name) => {
    try {
      return namesInclude(fs.readFileSync(path.join(folder, name), 'latin1'), path.basename(filePath));
    } catch {
      return false;
    }
  });
}

module.exports = { namesInclude, isQvekInclude };
