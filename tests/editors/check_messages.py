#!/usr/bin/env python3
"""Reads qvek's messages as an editor does and checks the type, file and line
of every entry against the message's own format.

    check_messages.py problem-matcher NODE PACKAGE_JSON SRC_DIR GOLDEN_DIR
    check_messages.py errorformat VIM VIM_DIR SRC_DIR GOLDEN_DIR
    check_messages.py compilation EMACS EMACS_DIR SRC_DIR GOLDEN_DIR

The messages are the standard output of every golden case, and every message
format of the assembler's sources filled in with a range of files and lines.
A format with a %3.3d names that line, in the file of its last %s (a located
message's arguments end with them); a format without one names no place.
"""
import glob
import json
import os
import re
import subprocess
import sys
import tempfile

CONVERSION = re.compile(r"%[-+ #0-9.]*[a-z]")
LITERALS = re.compile(r'"(?:[^"\\\n]|\\.)*"(?:\s*"(?:[^"\\\n]|\\.)*")*')
FILES = ["a.qvs", "LEVEL1.INC", "SUB/DEEP.INC", "../x-y_z.qvs", "N.E.INC"]
LINES = ["001", "042", "999", "1234", "007"]


def formats(src_dir):
    """The messages of warning() and error(); qvekdump's own (tools/) are not qvek's."""
    for path in sorted(glob.glob(os.path.join(src_dir, "**", "*.cpp"), recursive=True)):
        if os.sep + "tools" + os.sep in path:
            continue
        with open(path, encoding="latin-1") as f:
            for run in LITERALS.finditer(f.read()):
                text = "".join(re.findall(r'"((?:[^"\\\n]|\\.)*)"', run.group()))
                text = text.encode("latin-1").decode("unicode_escape")
                if re.match(r"\n(WARNING|ERROR):-", text):
                    yield text[1:]


def place(fmt, values):
    """(type, file, line) the message names, file '' and line 0 for none."""
    kinds = [c[-1] for c in CONVERSION.findall(fmt)]
    kind = "W" if fmt.startswith("WARNING") else "E"
    if "d" not in kinds:
        return (kind, "", 0)
    last_s = max(i for i, k in enumerate(kinds) if k == "s")
    return (kind, values[last_s], int(values[kinds.index("d")]))


def messages(src_dir, golden_dir):
    """Output text, and the (line, place) of each message line in it, in order."""
    fmts = list(formats(src_dir))
    # The first line of each format, one group per conversion.
    patterns = [re.compile("(.+?)".join(map(re.escape, CONVERSION.split(f.split("\n")[0])))) for f in fmts]
    text, expected = [], []
    for stdout in sorted(glob.glob(os.path.join(golden_dir, "*", "stdout"))):
        with open(stdout, encoding="latin-1") as f:
            for line in f.read().split("\n"):
                text.append(line)
                if re.match(r"(WARNING|ERROR):-", line):
                    found = [(fmt, m) for fmt, p in zip(fmts, patterns) if (m := p.fullmatch(line))]
                    if not found:
                        sys.exit(f"{stdout}: no format in the sources gives {line!r}")
                    expected.append((line, place(found[0][0], found[0][1].groups())))
    for fmt in fmts:
        for file, number in zip(FILES, LINES):
            values = [number if c[-1] == "d" else file if c[-1] == "s" else "1f" for c in CONVERSION.findall(fmt)]
            filled = CONVERSION.sub(lambda m, v=iter(values): next(v), fmt)
            text.extend(filled.split("\n"))
            expected.append((filled.split("\n")[0], place(fmt, values)))
    return "\n".join(text) + "\n", expected


def problem_matcher(node, package_json, text, expected, work):
    """Each line alone, as a build task's output is read: a message with no line
    and every other line must give no problem."""
    script = """const fs = require('fs');
const p = JSON.parse(fs.readFileSync(process.argv[1])).contributes.problemMatchers[0].pattern;
const re = new RegExp(p.regexp);
console.log(JSON.stringify(fs.readFileSync(0, 'latin1').split('\\n').map((l) => {
  const m = re.exec(l);
  return m && [m[p.severity], m[p.file], +m[p.line], m[p.message]];
})));"""
    got = json.loads(subprocess.run([node, "-e", script, package_json], input=text.encode("latin-1"),
                                    stdout=subprocess.PIPE, check=True).stdout)
    severity = {"W": "warning", "E": "error"}  # read as VS Code does, in any case
    located = {line: [severity[k], f, n, line.split(":-", 1)[1].strip()] for line, (k, f, n) in expected if f}
    got = [g and [g[0].lower(), *g[1:]] for g in got]
    return [f"{line!r}: read as {g}, expected {located.get(line)}" for line, g in zip(text.split("\n"), got)
            if g != located.get(line)]


def errorformat(vim, vim_dir, text, expected, work):
    """The whole output at once, as :make reads it: one entry per message."""
    with open(os.path.join(work, "out"), "w", encoding="latin-1") as f:
        f.write(text)
    dump = ("for e in getqflist() | call add(g:got, e.type . '|' . (e.bufnr ? fnamemodify(bufname(e.bufnr), ':p')"
            " : '') . '|' . e.lnum) | endfor")
    subprocess.run([vim, "-N", "-u", "NONE", "-i", "NONE", "-n", "-es", "--cmd", f"set rtp^={vim_dir}",
                    "-c", "compiler qvek", "-c", "cgetfile out", "-c", "let g:got = []", "-c", dump,
                    "-c", "call writefile(g:got, 'got')", "-c", "qall!"], cwd=work, stdin=subprocess.DEVNULL)
    with open(os.path.join(work, "got"), encoding="latin-1") as f:
        got = f.read().splitlines()
    want = [f"{k}|{os.path.normpath(os.path.join(work, f)) if f else ''}|{n}" for _, (k, f, n) in expected]
    faults = [f"{line!r}: read as {g}, expected {w}" for (line, _), g, w in zip(expected, got, want) if g != w]
    return faults + ([f"{len(got)} entries for {len(want)} messages"] if len(got) != len(want) else [])


def compilation(emacs, emacs_dir, text, expected, work):
    """The whole output in a compilation buffer, beside Emacs' own patterns:
    a located entry on each message naming a place, and on no other line."""
    with open(os.path.join(work, "out"), "w", encoding="latin-1") as f:
        f.write(text)
    script = f"""(progn (add-to-list 'load-path {json.dumps(emacs_dir)}) (require 'qvek-mode)
  (with-temp-buffer
    (insert-file-contents-literally "out") (compilation-mode) (compilation--ensure-parse (point-max))
    (goto-char (point-min))
    (let (got)
      (while (not (eobp))
        (let* ((m (get-text-property (point) 'compilation-message))
               (loc (and m (compilation--message->loc m))))
          (push (if loc (format "%s|%s|%s" (if (eq (compilation--message->type m) 1) "W" "E")
                                (caar (compilation--loc->file-struct loc)) (compilation--loc->line loc))
                  "")
                got))
        (forward-line 1))
      (write-region (mapconcat #'identity (nreverse got) "\n") nil "got"))))"""
    subprocess.run([emacs, "--batch", "-Q", "--eval", script], cwd=work, stdin=subprocess.DEVNULL, check=True,
                   stderr=subprocess.DEVNULL)
    with open(os.path.join(work, "got"), encoding="latin-1") as f:
        got = f.read().split("\n")
    located = {line: f"{k}|{f}|{n}" for line, (k, f, n) in expected if f}
    return [f"{line!r}: read as {g!r}, expected {located.get(line, '')!r}"
            for line, g in zip(text.split("\n"), got) if g != located.get(line, "")]


def main():
    reader, tool = sys.argv[1:3]
    editor_file, src_dir, golden_dir = map(os.path.abspath, sys.argv[3:6])  # the readers run elsewhere
    text, expected = messages(src_dir, golden_dir)
    with tempfile.TemporaryDirectory() as work:
        check = {"problem-matcher": problem_matcher, "errorformat": errorformat, "compilation": compilation}[reader]
        faults = check(tool, editor_file, text, expected, os.path.realpath(work))
    print("\n".join(faults[:20]))
    print(f"{len(expected)} messages, {len(faults)} misread")
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
