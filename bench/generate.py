#!/usr/bin/env python3
"""Writes the benchmark workloads of qvek into a folder.

    generate.py tables|long FOLDER [--scale S] [--seed N]

tables  fills every table within its limit: about 4000 constants whose
        expressions chain earlier names, 1000 labelled pattern words, 1000
        labelled instructions whose operands are all names (program memory
        nearly full), spread over a main source and a 15-level include chain.
long    about a million lines: a main source that includes one body file
        (comments, blanks, instructions, ORG PGM 0) a thousand times.

--scale shrinks or grows the counts (tables: 0 < S <= 1; long: any S > 0, as
a multiple of a million lines). Each workload is written as FOLDER/main.qvs
and its include files; the chosen numbers are printed as one line of JSON.
The same seed and scale always give the same bytes.
"""

import argparse
import json
import os
import random
import sys

MASK = 0xFFFFFFFF

# The assembler's limits that the workloads must respect.
MAX_DEFINITIONS = 4096
MAX_LABELS = 1024
PATTERN_SLOTS = 1024
PROGRAM_NIBBLES = 4096
INCLUDE_DEPTH = 15


def write(folder, name, lines):
    with open(os.path.join(folder, name), "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def evaluate(tokens, values):
    """The value of a DEF expression, strictly left to right."""
    value, pending, inverting = 0, None, False
    for t in tokens:
        if t == "NOT":
            inverting = not inverting
        elif t in ("AND", "OR", "XOR"):
            pending = t
        else:
            operand = values[t] if t.startswith("#") else int(t[1:], 16)
            if inverting:
                operand = ~operand & MASK
            if pending == "AND":
                value &= operand
            elif pending == "OR":
                value |= operand
            elif pending == "XOR":
                value ^= operand
            else:
                value = operand
            pending = None
    return value


def constants(rng, count):
    """DEF lines whose expressions chain up to five earlier names, with their values."""
    names, values, lines = [], {}, []
    for i in range(count):
        name = "#K%04d" % i
        tokens = []
        # At most 5 values, 4 operators, 3 NOT and a closing mask: 14 of the 15 tokens a DEF reads.
        inversions = 0
        for v in range(rng.randint(3, 5)):
            if v > 0:
                tokens.append(rng.choice(("AND", "OR", "XOR", "OR")))
            if inversions < 3 and rng.random() < 0.15:
                inversions += 1
                tokens.append("NOT")
            tokens.append(rng.choice(names) if names and rng.random() < 0.9 else "H%X" % rng.getrandbits(32))
        # Every third constant fits a nibble or a byte, so that instructions can use it.
        if i % 3 == 1:
            tokens += ["AND", "HF"]
        elif i % 3 == 2:
            tokens += ["AND", "HFF"]
        values[name] = evaluate(tokens, values)
        names.append(name)
        lines.append("DEF %s %s" % (name, " ".join(tokens)))
    return lines, values


def tables(scale, seed):
    rng = random.Random(seed)
    n_constants = int(4000 * scale)
    n_patterns = int(1000 * scale)
    n_labels = int(1000 * scale)
    nibble_budget = int((PROGRAM_NIBBLES - 100) * scale)
    lines, values = constants(rng, n_constants)
    nibble = [k for k, v in values.items() if v < 16] or ["0"]
    byte = [k for k, v in values.items() if v < 256] or ["0"]
    # A pattern word takes a constant's value or a number.
    patterns = ["#P%04d" % i for i in range(n_patterns)]
    for p in patterns:
        value = rng.choice(list(values)) if values and rng.random() < 0.7 else "H%08X" % rng.getrandbits(32)
        lines.append("PAT %s %s" % (p, value))
    patterns = patterns or ["0"]

    # Instructions whose operands are all names; every label line is a target.
    labels = ["#L%04d" % i for i in range(n_labels)]
    used = 0
    program = []
    shapes = (("LDA", 3), ("LPP", 4), ("CAL", 4), ("JCB", 5), ("JMP", 5), ("DUS", 3), ("LMR", 2))
    i = 0
    while labels and used + 5 <= nibble_budget:
        word, size = rng.choice(shapes)
        if word in ("LDA", "DUS"):
            operands = rng.choice(byte)
        elif word == "LMR":
            operands = rng.choice(nibble)
        elif word == "LPP":
            operands = rng.choice(patterns)
        elif word == "JCB":
            operands = "%s %s" % (rng.choice(labels), rng.choice(nibble))
        else:
            operands = rng.choice(labels)
        label = labels[i] if i < len(labels) else ""
        program.append("%-8s%s %s" % (label, word, operands))
        used += size
        i += 1
    labelled = min(i, len(labels))
    # Labels that found no instruction of their own still name an address.
    for label in labels[i:]:
        if used + 1 > nibble_budget:
            break
        program.append("%-8sNOP" % label)
        used += 1
        labelled += 1
    lines += program

    # A main source and 15 include levels, each holding an equal share.
    files = INCLUDE_DEPTH + 1
    share = -(-len(lines) // files)
    parts = [lines[k * share:(k + 1) * share] for k in range(files)]
    names = ["main.qvs"] + ["T%02d.INC" % k for k in range(1, files)]
    return names, parts, {"constants": n_constants, "patterns": n_patterns, "labels": labelled,
                          "program_nibbles": used}


def write_tables(folder, scale, seed):
    names, parts, info = tables(scale, seed)
    for k, name in enumerate(names):
        body = ["* Share %d of the table-filling workload." % k] + parts[k]
        if k + 1 < len(names):
            body.append("        INC %s" % names[k + 1])
        write(folder, name, body)
    # Every file is read in chain order, once per pass.
    info.update(reads=names, lines=sum(len(p) + 1 for p in parts) + len(names) - 1)
    return info


BODY_LINES = 1000


def body(rng):
    """One body file of BODY_LINES lines and the nibbles it assembles to."""
    lines = ["* Body of the long workload: read once per INC in each pass.", "        ORG PGM 0"]
    used = 0
    while len(lines) < BODY_LINES:
        r = rng.random()
        if r < 0.15:
            lines.append("* %s" % rng.choice(("next step of the ramp", "wait for the trigger, then go on",
                                              "load the pattern pointer", "-------------------------------")))
        elif r < 0.25:
            lines.append("")
        else:
            word, operand, size = rng.choice((
                ("LDA", "#STEP", 3), ("DUS", "10", 3), ("LPP", "#RAMP", 4), ("CAL", "#SUB", 4),
                ("JCB", "#LOOP #COND", 5), ("JMP", "#LOOP", 5), ("LMR", "H3", 2), ("NOP", "", 1),
                ("IPP", "", 1), ("LSR", "#STATUS", 3)))
            comment = "* " + rng.choice(("step", "next word", "pulse", "count down")) if rng.random() < 0.4 else ""
            lines.append(("        %-4s %-12s %s" % (word, operand, comment)).rstrip())
            used += size
    return lines, used


def write_long(folder, scale, seed):
    rng = random.Random(seed)
    includes = max(1, int(round(1000 * scale)))
    lines, used = body(rng)
    write(folder, "BODY.INC", lines)
    routines = (used + 15) // 16 * 16
    assert routines + 16 < PROGRAM_NIBBLES
    main = [
        "* Long workload: the body file included %d times." % includes,
        "DEF #STEP H2A",
        "DEF #COND 1",
        "DEF #STATUS HFF AND NOT H0F",
        "PAT #RAMP H00FF00FF",
        "PAT #PULSE HFFFF0000",
    ]
    main += ["        INC BODY.INC"] * includes
    main += [
        "        ORG PGM H%X" % routines,
        "#SUB    NOP",
        "        RET",
        "#LOOP   LPP #PULSE",
        "        RET",
    ]
    write(folder, "main.qvs", main)
    return {"includes": includes, "body_lines": len(lines), "reads": ["main.qvs"] + ["BODY.INC"] * includes,
            "lines": len(main) + includes * len(lines)}


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("workload", choices=("tables", "long"))
    parser.add_argument("folder")
    parser.add_argument("--scale", type=float, default=1.0)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args(argv)
    if args.scale <= 0 or (args.workload == "tables" and args.scale > 1):
        parser.error("scale out of range for %s" % args.workload)
    os.makedirs(args.folder, exist_ok=True)
    make = write_tables if args.workload == "tables" else write_long
    info = make(args.folder, args.scale, args.seed)
    info.pop("reads")
    print(json.dumps(info))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
