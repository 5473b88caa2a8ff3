#!/usr/bin/env bash
# The README's command for the VS Code extension, then a look inside the .vsix:
# it must hold the TextMate grammar (byte for byte the one of editors/textmate),
# the language configuration, and the client with the library it loads.
set -euo pipefail
cd "$(dirname "$0")/.."

npm --prefix editors/vscode ci && npm --prefix editors/vscode run package
python3 - editors/vscode/qvek.vsix editors/textmate/qvek.tmLanguage.json <<'PY'
import json, sys, zipfile
vsix, grammar = sys.argv[1:3]
with zipfile.ZipFile(vsix) as z:
    names = set(z.namelist())
    manifest = json.loads(z.read("extension/package.json"))
    def held(relative):
        return "extension/" + relative.removeprefix("./")
    wanted = [held(manifest["contributes"]["grammars"][0]["path"]),
              held(manifest["contributes"]["languages"][0]["configuration"]),
              held(manifest["main"]),
              "extension/node_modules/vscode-languageclient/node.js"]
    missing = [n for n in wanted if n not in names]
    if missing:
        sys.exit(f"check_vsix: {vsix} lacks {', '.join(missing)}")
    with open(grammar, "rb") as f:
        if z.read(wanted[0]) != f.read():
            sys.exit(f"check_vsix: the grammar in {vsix} differs from {grammar}")
PY
echo "check_vsix: the extension packages with its grammar, language configuration and client"
