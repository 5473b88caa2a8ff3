#!/usr/bin/env bash
# gq in Vim with editors/vim's file type plugin formats through qvekfmt: over
# the whole buffer it gives what qvekfmt gives the file; over a range, those
# lines as formatting the whole file leaves them (its columns follow a label
# outside the range) and every other line as it was.
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
printf '#a_long_label lda 1 * count\n\tjmp #a_long_label\n  nop\n\tret\n' > "$work/a.qvs"
gq() {  # OUTPUT NORMAL_COMMANDS
    (cd "$work" && PATH=$work/bin:$PATH "$vim" -N -u NONE -i NONE -n -es --cmd "set runtimepath^=$editor_dir" \
        -c 'filetype plugin on' -c 'edit a.qvs' -c "normal $2" -c "write! $1" -c 'qall!' < /dev/null) || true
}
gq whole.qvs gggqG
"$qvekfmt" "$work/a.qvs" > "$work/formatted.qvs"
cmp "$work/formatted.qvs" "$work/whole.qvs" || { echo "gq did not format as qvekfmt does:"; cat "$work/whole.qvs"; exit 1; }
gq range.qvs 2Ggqj
{ sed -n 1p "$work/a.qvs"; sed -n 2,3p "$work/formatted.qvs"; sed -n 4p "$work/a.qvs"; } > "$work/expected.qvs"
cmp "$work/expected.qvs" "$work/range.qvs" || { echo "gq over lines 2 and 3 gave:"; cat "$work/range.qvs"; exit 1; }
