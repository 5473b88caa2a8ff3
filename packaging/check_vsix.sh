#!/usr/bin/env bash
# The README's command for the VS Code extension, then a look inside the .vsix:
# it must hold exactly the bundled client, the TextMate grammar (byte for byte
# the one of editors/textmate), the language configuration, the manifest, the
# README and the LICENSE (the repository's), and the bundle must load with
# nothing but the editor's own module beside it.
set -euo pipefail
cd "$(dirname "$0")/.."

npm --prefix editors/vscode ci && npm --prefix editors/vscode run package
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - editors/vscode/qvek.vsix editors/textmate/qvek.tmLanguage.json LICENSE "$work" <<'PY'
import json, sys, zipfile
vsix, grammar, license, work = sys.argv[1:5]
with zipfile.ZipFile(vsix) as z:
    names = set(z.namelist())
    manifest = json.loads(z.read("extension/package.json"))
    def held(relative):
        return "extension/" + relative.removeprefix("./")
    main = held(manifest["main"])
    wanted = {held(manifest["contributes"]["grammars"][0]["path"]),
              held(manifest["contributes"]["languages"][0]["configuration"]),
              main, "extension/package.json", "extension/readme.md", "extension/LICENSE.txt",
              "extension.vsixmanifest", "[Content_Types].xml"}
    if names != wanted:
        sys.exit(f"check_vsix: {vsix} lacks {sorted(wanted - names)}, and holds more: {sorted(names - wanted)}")
    for inside, outside in ((held(manifest["contributes"]["grammars"][0]["path"]), grammar),
                            ("extension/LICENSE.txt", license)):
        with open(outside, "rb") as f:
            if z.read(inside) != f.read():
                sys.exit(f"check_vsix: {inside} in {vsix} differs from {outside}")
    if manifest.get("license") != "MIT":
        sys.exit("check_vsix: the manifest does not name the MIT license")
    with open(f"{work}/extension.js", "wb") as f:
        f.write(z.read(main))
PY
# The editor's module as a stand-in, a class for every name the client asks
# for: loading the bundle must need nothing else.
mkdir -p "$work/node_modules/vscode"
echo 'module.exports = new Proxy({}, { get: () => class {} });' > "$work/node_modules/vscode/index.js"
(cd "$work" && node -e "const e = require('./extension.js');
if (typeof e.activate !== 'function' || typeof e.deactivate !== 'function') process.exit(1);" 2>&1 | tail -5) ||
    { echo "check_vsix: the bundled extension does not load"; exit 1; }
echo "check_vsix: the extension packages in $(unzip -Z1 editors/vscode/qvek.vsix | wc -l) files: bundle, grammar, configuration, README, LICENSE"
