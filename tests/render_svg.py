#!/usr/bin/env python3
"""Draws memory pictures with qvekdump --svg, renders them with rsvg-convert
and checks pixels that must differ: used against unused program memory, one
file's statements against another's, and the kinds of pattern slot. A source
whose names and file names hold markup characters and bytes 0x80 to 0xFF must
render too, which it only does when they are escaped.

    render_svg.py QVEK QVEKDUMP EXAMPLES_DIR

Exits 77 (skipped) when rsvg-convert is not installed."""
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib
from pathlib import Path

# Where the picture puts its grids, in pixels. Rendered at a quarter of its
# size, a cell is 3 pixels square and its middle pixel is the cell's colour.
CELL, PROGRAM_X, PATTERN_X, GRID_Y, SHRINK = 12, 60, 908, 76, 4


def read_png(path):
    """The pixels of an 8-bit RGB or RGBA PNG as rows of (r, g, b) tuples."""
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, "unexpected PNG format"
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    channels = 3 if colour == 2 else 4
    raw, stride, rows, previous = zlib.decompress(idat), width * channels, [], bytes(width * channels)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up, corner = previous[i], previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
        previous = line
    return rows


def render(qvekdump, source, work):
    svg, png = work / "picture.svg", work / "picture.png"
    subprocess.run([qvekdump, "--svg", source.name, "-o", svg.name], cwd=work, check=True)
    subprocess.run(["rsvg-convert", "--zoom", str(1 / SHRINK), svg.name, "-o", png.name], cwd=work, check=True)
    return read_png(png)


def cell(rows, left, column, row):
    return rows[(GRID_Y + row * CELL) // SHRINK + 1][(left + column * CELL) // SHRINK + 1]


def nibble(rows, address):
    return cell(rows, PROGRAM_X, address % 64, address // 64)


def slot(rows, k):
    return cell(rows, PATTERN_X, k % 32, k // 32)


def main():
    qvek, qvekdump, examples = sys.argv[1], sys.argv[2], Path(sys.argv[3])
    if shutil.which("rsvg-convert") is None:
        print("rsvg-convert is not installed (Debian: librsvg2-bin)")
        return 77
    failures = []

    def differ(what, a, b):
        if a == b:
            failures.append(f"{what}: both {a}")

    with tempfile.TemporaryDirectory() as folder:
        work = Path(folder)
        for f in examples.iterdir():
            if f.suffix in (".qvs", ".INC"):
                shutil.copy(f, work)
        subprocess.run([qvek, "-s", "main.qvs", "main.ucd"], cwd=work, check=True)

        # A load file alone: instructions against unused memory, words against slots it does not write.
        rows = render(qvekdump, work / "main.ucd", work)
        white = nibble(rows, 0xFFF)
        differ("load file: nibble 0x000 against 0xfff", nibble(rows, 0), white)
        differ("load file: pattern word against a slot beyond the file", slot(rows, 0x21), slot(rows, 1023))

        # The source: one colour a file, labelled words (zero or not) against free slots and those beyond.
        rows = render(qvekdump, work / "main.qvs", work)
        differ("source: main.qvs against ROUTINES.INC", nibble(rows, 0), nibble(rows, 0x100))
        differ("source: nibble 0x000 against 0xfff", nibble(rows, 0), nibble(rows, 0xFFF))
        differ("source: a labelled zero word against a free slot", slot(rows, 0x20), slot(rows, 0))
        differ("source: a free slot against one beyond the file", slot(rows, 0), slot(rows, 1023))

        # Markup characters, UTF-8 and other bytes 0x80 to 0xFF, a control character, in every kind of name.
        odd = work / "m&<\xe9>.qvs".encode("latin-1").decode("utf-8", "surrogateescape")
        include = "I&<\xff\"'>.INC".encode("latin-1").decode("utf-8", "surrogateescape")
        (work / include).write_bytes(b"NOP\nRET\n")
        odd.write_bytes(b"PAT #P&<\xc3\xa9\xff 1\nPAT 2\nPAT #FAR 3 H7FE\n#L\x01&\xc3\xa9 LDA 5\nINC "
                        + include.encode("utf-8", "surrogateescape") + b"\n")
        rows = render(qvekdump, odd, work)
        differ("odd names: the main source against the include", nibble(rows, 0), nibble(rows, 3))
        differ("odd names: a labelled word against an unlabelled one", slot(rows, 0), slot(rows, 1))
        differ("odd names: a word beyond the file against an empty slot there", slot(rows, 1023), slot(rows, 1000))

    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
