#!/usr/bin/env bash
# gq in Vim with editors/vim's file type plugin formats a buffer through
# qvekfmt, giving what qvekfmt gives the file.
#
#   check_vim_format.sh VIM EDITOR_DIR QVEKFMT
set -eu
vim=$1
editor_dir=$2
qvekfmt=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
ln -s "$qvekfmt" "$work/bin/qvekfmt"
printf '#loop lda 1 * count\n\tjmp #loop\n' > "$work/a.qvs"
(cd "$work" && PATH=$work/bin:$PATH "$vim" -N -u NONE -i NONE -n -es --cmd "set runtimepath^=$editor_dir" \
    -c 'filetype plugin on' -c 'edit a.qvs' -c 'normal gggqG' -c 'write! b.qvs' -c 'qall!' < /dev/null) || true
"$qvekfmt" "$work/a.qvs" | cmp - "$work/b.qvs" || { echo "gq did not format as qvekfmt does:"; cat "$work/b.qvs"; exit 1; }
