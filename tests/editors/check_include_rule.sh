#!/usr/bin/env bash
# Every editor decides alike which files are qvek's: a .qvs source always; an
# include file when an INC line of a .qvs source in its folder names it (in
# any case, after a label, before a comment or more words), as qvek opens it:
# upper-cased; no other .inc file.
#
#   check_include_rule.sh REPO_DIR    (editors not installed are left out; none: exit 77)
set -u
repo=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
printf '* PLAIN.INC is named only here\n#L  inc  Common.inc * the constants\n        INC SUB.INC EXTRA\n' > main.qvs
printf 'NOP\n' > COMMON.INC
printf 'NOP\n' > PLAIN.INC
printf 'NOP\n' > SUB.INC
printf 'x\n' > other.inc
printf 'x\n' > common.inc  # qvek opens COMMON.INC for it
cases=("main.qvs|qvek" "COMMON.INC|qvek" "SUB.INC|qvek" "PLAIN.INC|not" "other.inc|not" "common.inc|not")

failures=0
tried=0
check() {  # EDITOR FILE GOT
    local want
    for c in "${cases[@]}"; do [ "${c%|*}" = "$2" ] && want=${c#*|}; done
    [ "$3" = qvek ] || set -- "$1" "$2" not
    if [ "$3" != "$want" ]; then echo "$1: $2 is $3, expected $want"; failures=$((failures + 1)); fi
}
for c in "${cases[@]}"; do
    f=${c%|*}
    if command -v vim > /dev/null; then
        vim -N -u NONE -i NONE -n -es --cmd "set rtp^=$repo/editors/vim" -c 'filetype on' -c "edit $f" \
            -c "call writefile([&filetype], 'got')" -c 'qa!' < /dev/null
        check vim "$f" "$(cat got)"
    fi
    if command -v nvim > /dev/null; then
        nvim --headless --clean --cmd "set rtp^=$repo/editors/nvim" -c "lua require('qvek').setup({ cmd = { 'true' } })" \
            -c "edit $f" -c "call writefile([&filetype], 'got')" -c 'qa!' < /dev/null > /dev/null 2>&1
        check nvim "$f" "$(cat got)"
    fi
    if command -v node > /dev/null; then
        got=$(node -e "const r = require(process.argv[1]); console.log(/\.qvs$/i.test(process.argv[2]) ||
                       r.isQvekInclude(process.argv[2], 'named') ? 'qvek' : 'not')" \
                  "$repo/editors/vscode/include-rule.js" "$work/$f")
        check vscode "$f" "$got"
    fi
    if command -v emacs > /dev/null; then
        got=$(emacs --batch -Q -L "$repo/editors/emacs" -l qvek-mode --eval \
                  "(with-current-buffer (find-file-noselect \"$f\") (princ (if (eq major-mode 'qvek-mode) 'qvek 'not)))" 2>/dev/null)
        check emacs "$f" "$got"
    fi
done
for e in vim nvim node emacs; do command -v $e > /dev/null && tried=$((tried + 1)); done
[ "$tried" -gt 0 ] || { echo "no editor installed: skipped"; exit 77; }
[ "$failures" -eq 0 ] || exit 1
echo "check_include_rule: $tried editors agree"
