#!/usr/bin/env python3
"""The JSON symbol map is valid JSON whatever bytes the names hold.

    check_symbols_json.py QVEKDUMP

Writes sources whose constants, program labels, pattern labels and include
file carry random bytes (every byte a token may hold, 0x80 to 0xFF, quotes,
backslashes and control characters included), runs qvekdump --symbols=json on
each and reads the map back: every name must come back as the assembler stored
it, read as Latin-1.
"""

import json
import os
import random
import subprocess
import sys
import tempfile

# Bytes a token cannot hold: the line reader drops, ends or splits at these.
NOT_IN_TOKENS = set(b"\0\t\n\v\f\r *")
TOKEN_BYTES = [b for b in range(1, 256) if b not in NOT_IN_TOKENS]


def stored(name):
    """A name as the assembler stores it: the line reader upper-cases a to z only."""
    return bytes(b - 32 if 0x61 <= b <= 0x7A else b for b in name).decode("latin-1")


def random_name(rng):
    return b"#" + bytes(rng.choice(TOKEN_BYTES) for _ in range(rng.randint(1, 24)))


def main():
    qvekdump = os.path.abspath(sys.argv[1])
    rng = random.Random(7)
    with tempfile.TemporaryDirectory() as work:
        for round_ in range(30):
            constants = [random_name(rng) for _ in range(5)]
            labels = [random_name(rng) for _ in range(5)]
            patterns = [random_name(rng) for _ in range(3)]
            include = bytes(rng.choice([b for b in TOKEN_BYTES if b != ord("/")]) for _ in range(8)).upper()
            lines = [b"DEF %s %d" % (name, i) for i, name in enumerate(constants)]
            lines += [b"%s NOP" % name for name in labels]
            lines += [b"PAT %s %d" % (name, i) for i, name in enumerate(patterns)]
            lines.append(b"INC " + include)
            with open(os.path.join(work, "main.qvs"), "wb") as f:
                f.write(b"\n".join(lines) + b"\n")
            with open(os.path.join(work.encode(), include), "wb") as f:
                f.write(b"RET\n")
            run = subprocess.run([qvekdump, "--symbols=json", "main.qvs"], cwd=work, capture_output=True)
            assert run.returncode == 0, (round_, lines, run.stderr)
            try:
                map_ = json.loads(run.stdout.decode("ascii"))  # every byte beyond ASCII is escaped
            except (UnicodeDecodeError, json.JSONDecodeError) as e:
                sys.exit("round %d: not JSON (%s):\n%r" % (round_, e, run.stdout))
            assert map_["version"] == 1
            assert [c["name"] for c in map_["constants"]] == [stored(n) for n in constants], round_
            assert [l["name"] for l in map_["labels"]] == [stored(n) for n in labels], round_
            assert [p["label"] for p in map_["patterns"]] == [stored(n) for n in patterns], round_
            assert map_["files"] == ["main.qvs", stored(include)], round_
            assert map_["statements"][-1]["includes"] == ["main.qvs", stored(include)], round_
            os.remove(os.path.join(work.encode(), include))
    print("30 maps of odd names read back whole")


if __name__ == "__main__":
    main()
