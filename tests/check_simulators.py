#!/usr/bin/env python3
"""The example's memory images as their real consumers read them.

    check_simulators.py CONSUMER QVEK QVEKDUMP EXAMPLES_DIR DOC

CONSUMER iverilog or verilator: the Verilog lines of DOC (docs/qvekdump.md)
load the --readmemh files of the example into memories of the documented
widths and print every word; the words the files hold must be the load
file's, and the others unloaded. CONSUMER objcopy: objcopy -I ihex -O binary
reads the --ihex files, and the bytes must be the load file's words, least
significant byte first. The load file's words are read here from its text,
independently of qvekdump. Exits 77 (skipped) when the consumer is missing.
"""
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

from example_copy import assemble_example

WORDS = 1024  # both memories hold 1024 words: 16-bit program words, 32-bit pattern words
PACKAGES = {"iverilog": "iverilog", "verilator": "verilator", "objcopy": "binutils"}


def load_file_words(ucd):
    """(program words, pattern words) of a configuration-tool load file: rows
    of 16-bit values after each segment's addr= line; a pattern word is two of
    them, its low half first."""
    segments, current = {}, None
    for line in ucd.read_text(encoding="latin-1").splitlines():
        if line.startswith("addr="):
            current = segments.setdefault("pattern" if "Pat" in line else "program", [])
        elif line.startswith("#"):
            current = None
        elif current is not None:
            current.extend(int(v, 16) for v in line.split())
    halves = segments["pattern"]
    return segments["program"], [halves[i] | halves[i + 1] << 16 for i in range(0, len(halves), 2)]


def verilog_lines(doc):
    return re.search(r"```verilog\n(.*?)```", doc.read_text(), re.S).group(1)


def simulate(consumer, doc, work):
    """The words the simulator holds after the documented lines ran: None for an unloaded one."""
    (work / "load.v").write_text(f"""module load;
{verilog_lines(doc)}
  integer i;
  initial begin
    #1;
    for (i = 0; i < {WORDS}; i = i + 1) $display("program %h", program_memory[i]);
    for (i = 0; i < {WORDS}; i = i + 1) $display("pattern %h", pattern_memory[i]);
    $finish;
  end
endmodule
""")
    if consumer == "iverilog":
        subprocess.run(["iverilog", "-o", "load.vvp", "load.v"], cwd=work, check=True)
        run = ["vvp", "-n", "load.vvp"]
    else:
        subprocess.run(["verilator", "--binary", "-Wno-fatal", "--Mdir", "obj", "-o", "load", "load.v"], cwd=work,
                       check=True, stdout=subprocess.DEVNULL)
        run = ["obj/load"]
    out = subprocess.run(run, cwd=work, check=True, stdout=subprocess.PIPE, text=True).stdout
    held = {"program": [], "pattern": []}
    for memory, value in re.findall(r"^(program|pattern) (\S+)$", out, re.M):
        held[memory].append(None if "x" in value.lower() else int(value, 16))
    return held


def main():
    consumer, qvek, qvekdump, examples, doc = sys.argv[1], sys.argv[2], sys.argv[3], Path(sys.argv[4]), Path(sys.argv[5])
    if shutil.which(consumer) is None:
        print(f"{consumer} is not installed (Debian: {PACKAGES[consumer]}): skipped")
        return 77
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        work = Path(folder)
        assemble_example(qvek, examples, work)
        program, pattern = load_file_words(work / "main.ucd")
        expected = {"program": program, "pattern": pattern}
        names = {"program": ("pgm.mem", "pgm.hex"), "pattern": ("pat.mem", "pat.hex")}
        for memory, (mem, hex_name) in names.items():
            subprocess.run([qvekdump, "--readmemh", memory, "main.ucd", "-o", mem], cwd=work, check=True)
            subprocess.run([qvekdump, "--ihex", memory, "main.ucd", "-o", hex_name], cwd=work, check=True)

        if consumer == "objcopy":
            for memory, (_, hex_name) in names.items():
                subprocess.run(["objcopy", "-I", "ihex", "-O", "binary", hex_name, memory + ".bin"], cwd=work,
                               check=True)
                size = 2 if memory == "program" else 4
                want = b"".join(w.to_bytes(size, "little") for w in expected[memory])
                got = (work / (memory + ".bin")).read_bytes()
                if got != want:
                    at = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))
                    failures.append(f"{memory}: objcopy reads {len(got)} bytes, the load file holds {len(want)}; "
                                    f"first difference at byte {at}")
        else:
            held = simulate(consumer, doc, work)
            for memory, words in expected.items():
                # Verilator's memories hold two states: an unloaded word reads as 0.
                unloaded = 0 if consumer == "verilator" else None
                want = words + [unloaded] * (WORDS - len(words))
                if held[memory] != want:
                    bad = next((i for i, (a, b) in enumerate(zip(held[memory], want)) if a != b), None)
                    failures.append(f"{memory}: {consumer} holds {len(held[memory])} words; word {bad} is "
                                    f"{held[memory][bad] if bad is not None else '-'}, the load file's "
                                    f"{want[bad] if bad is not None else '-'}")
    for failure in failures:
        print(failure)
    if not failures:
        print(f"{consumer}: the example's images load as the load file holds them")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
