#!/usr/bin/env python3
"""Tokenises the highlighting sample with the TextMate grammar, as an editor
does for grammars made of match rules (at each place the rule matching
earliest wins, the first listed on a tie), and checks the expected classes.

    check_textmate.py GRAMMAR SAMPLE EXPECTED
"""
import json
import re
import sys

CLASSES = [  # scope prefix, class of the expectations
    ("comment.", "comment"),
    ("entity.name.label.", "label"),
    ("variable.other.name.", "name"),
    ("keyword.", "keyword"),
    ("support.constant.segment.", "segment"),
    ("string.unquoted.filename.", "file"),
    ("constant.numeric.", "number"),
]


def rules(grammar, patterns):
    """The match rules of a pattern list, includes resolved, in order."""
    for p in patterns:
        if "include" in p:
            yield from rules(grammar, grammar["repository"][p["include"].lstrip("#")]["patterns"])
        elif "match" in p:
            yield re.compile(p["match"]), p
        else:
            raise SystemExit(f"rule without match: {p}")


def classify(scope):
    for prefix, cls in CLASSES:
        if scope.startswith(prefix):
            return cls
    raise SystemExit(f"scope {scope} has no class")


def classes_of_line(compiled, line):
    result = ["none"] * len(line)
    pos = 0
    while pos < len(line):
        best = None
        for regex, rule in compiled:
            m = regex.search(line, pos)
            if m and (best is None or m.start() < best[0].start()):
                best = (m, rule)
        if best is None:
            break
        m, rule = best
        if "name" in rule:
            result[m.start():m.end()] = [classify(rule["name"])] * (m.end() - m.start())
        for group, capture in rule.get("captures", {}).items():
            g = int(group)
            if m.start(g) >= 0:
                result[m.start(g):m.end(g)] = [classify(capture["name"])] * (m.end(g) - m.start(g))
        pos = m.end() if m.end() > pos else pos + 1
    return result


def main():
    grammar_path, sample_path, expected_path = sys.argv[1:4]
    with open(grammar_path, encoding="utf-8") as f:
        grammar = json.load(f)  # also proves the file is valid JSON
    if grammar.get("scopeName") != "source.qvek":
        raise SystemExit("scopeName is not source.qvek")
    compiled = list(rules(grammar, grammar["patterns"]))
    with open(sample_path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    failures = 0
    searched = {}  # line number -> where the next token is looked for
    with open(expected_path, encoding="utf-8") as f:
        for entry in f:
            entry = entry.rstrip("\n")
            if not entry or entry.startswith("#"):
                continue
            number, token, expected = entry.split("|")
            n = int(number)
            line = lines[n - 1]
            start = line.find(token, searched.get(n, 0))
            if start < 0:
                raise SystemExit(f"line {n}: token {token!r} not found")
            searched[n] = start + len(token)
            got = set(classes_of_line(compiled, line + "\n")[start:start + len(token)])
            if got != {expected}:
                print(f"line {n}: {token!r} is {sorted(got)}, expected {expected}")
                failures += 1
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
