#!/usr/bin/env bash
# Opens the highlighting sample in Vim with the syntax and ftdetect files of
# editors/vim, and checks the file type and the expected classes.
#
#   check_vim.sh VIM EDITOR_DIR SAMPLE EXPECTED
set -eu
vim=$1
editor_dir=$2
sample=$3
expected=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$sample" "$work/sample.qvs"

# One line per character: line, column, syntax group (empty outside any group).
cat > "$work/dump.vim" <<'VIM'
let s:out = ['filetype ' . &filetype]
for s:l in range(1, line('$'))
  for s:c in range(1, len(getline(s:l)))
    call add(s:out, s:l . ' ' . s:c . ' ' . synIDattr(synID(s:l, s:c, 1), 'name'))
  endfor
endfor
call writefile(s:out, expand('<sfile>:h') . '/groups')
qall!
VIM
(cd "$work" && "$vim" -N -u NONE -i NONE -n -es \
    --cmd "set runtimepath^=$editor_dir" \
    -c 'filetype on' -c 'syntax on' -c 'edit sample.qvs' -c "source $work/dump.vim" </dev/null) || true
[ -f "$work/groups" ] || { echo "vim wrote no result"; exit 1; }

LC_ALL=C awk -v sample="$work/sample.qvs" '
    function class(g) {
        if (g == "qvekComment" || g == "qvekTodo") return "comment"
        if (g == "qvekLabel") return "label"
        if (g == "qvekName") return "name"
        if (g ~ /^qvek(Branch|Instruction|Directive|Operator)$/) return "keyword"
        if (g == "qvekSegment") return "segment"
        if (g == "qvekIncludeFile") return "file"
        if (g == "qvekNumber") return "number"
        if (g == "") return "none"
        return "unknown group " g
    }
    FNR == 1 && FILENAME ~ /groups$/ {
        if ($0 != "filetype qvek") { print "file type is not qvek: " $0; failures++ }
        next
    }
    FILENAME ~ /groups$/ { group[$1 " " $2] = $3; next }
    /^#/ || $0 == "" { next }
    {
        split($0, f, "|")
        n = f[1]; token = f[2]; expected = f[3]
        if (!(n in text)) {
            line = ""; for (i = 1; i <= n; i++) getline line < sample; close(sample)
            text[n] = line; from[n] = 1
        }
        rest = substr(text[n], from[n]); at = index(rest, token)
        if (at == 0) { print "line " n ": token " token " not found"; failures++; next }
        start = from[n] + at - 1; from[n] = start + length(token)
        for (c = start; c < start + length(token); c++) {
            got = class(group[n " " c])
            if (got != expected) { print "line " n ": " token " has " got " at column " c ", expected " expected; failures++; break }
        }
    }
    END { exit failures > 0 }
' "$work/groups" "$expected"
