#!/usr/bin/env python3
"""Draws memory pictures with qvekdump --svg, renders them with rsvg-convert
and checks pixels that must differ: used against unused program memory, one
file's statements against another's, and the kinds of pattern slot. A source
whose names and file names hold markup characters and bytes 0x80 to 0xFF must
render too, which it only does when they are escaped.

The colours of a picture's legends must stay apart (a CIE76 difference of at least
8) as normal vision and as full protanopia, deuteranopia and tritanopia see
them (the simulation matrices of Machado, Oliveira and Fernandes, 2009).

No two texts of a picture may overlap, nor leave it. Their boxes are computed
from the SVG with a font-metric estimate (a monospace advance of 0.6 em, two
for a wide character; 0.95 em above the baseline, 0.25 em below), and the
estimate is first checked against the ink rsvg-convert draws for a sample.

    render_svg.py QVEK QVEKDUMP EXAMPLES_DIR

Exits 77 (skipped) when rsvg-convert is not installed."""
import shutil
import struct
import subprocess
import sys
import tempfile
import unicodedata
import xml.etree.ElementTree as ET
import zlib
from pathlib import Path

from example_copy import assemble_example

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


def render(qvekdump, source, work, failures):
    svg, png = work / "picture.svg", work / "picture.png"
    subprocess.run([qvekdump, "--svg", source.name, "-o", svg.name], cwd=work, check=True, stderr=subprocess.DEVNULL)
    failures.extend(f"{source.name}: {o}" for o in overlaps(svg) + legend_colours_apart(svg))
    subprocess.run(["rsvg-convert", "--zoom", str(1 / SHRINK), svg.name, "-o", png.name], cwd=work, check=True)
    return read_png(png)


SVG = "{http://www.w3.org/2000/svg}"
ADVANCE, ASCENT, DESCENT = 0.6, 0.95, 0.25  # in em, as the picture's writer counts


def advances(text):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)


def text_boxes(svg):
    """(left, top, right, bottom, text) of every text shown, titles left out."""
    root = ET.parse(svg).getroot()
    default = float(root.get("font-size", "16"))
    boxes = []

    def walk(element, size):
        size = float(element.get("font-size", size))
        if element.tag == SVG + "text":
            shown = (element.text or "") + "".join(c.tail or "" for c in element)
            if shown:
                x, y = float(element.get("x")), float(element.get("y"))
                width = ADVANCE * size * advances(shown)
                left = x - width if element.get("text-anchor") == "end" else x
                boxes.append((left, y - ASCENT * size, left + width, y + DESCENT * size, shown))
            return
        for child in element:
            walk(child, size)

    walk(root, default)
    return boxes, float(root.get("width")), float(root.get("height"))


def overlaps(svg):
    """What overlaps, and what leaves the picture."""
    boxes, width, height = text_boxes(svg)
    found = [f"{b[4]!r} leaves the picture" for b in boxes
             if b[0] < 0 or b[1] < 0 or b[2] > width or b[3] > height]
    boxes.sort()
    for i, a in enumerate(boxes):
        for b in boxes[i + 1:]:
            if b[0] >= a[2]:
                break
            if b[1] < a[3] and a[1] < b[3]:
                found.append(f"{a[4]!r} and {b[4]!r} overlap")
    return found


# Linear-RGB matrices simulating each colour-vision deficiency at full severity.
VISION = {
    "normal vision": ((1, 0, 0), (0, 1, 0), (0, 0, 1)),
    "protanopia": ((0.152286, 1.052583, -0.204868), (0.114503, 0.786281, 0.099216), (-0.003882, -0.048116, 1.051998)),
    "deuteranopia": ((0.367322, 0.860646, -0.227968), (0.280085, 0.672501, 0.047413), (-0.011820, 0.042940, 0.968881)),
    "tritanopia": ((1.255528, -0.076749, -0.178779), (-0.078411, 0.930809, 0.147602), (0.004733, 0.691367, 0.303900)),
}


def lab_seen(colour, matrix):
    """CIE L*a*b* of an sRGB colour "#rrggbb" as a vision of the matrix sees it."""
    srgb = [int(colour[i:i + 2], 16) / 255 for i in (1, 3, 5)]
    linear = [c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4 for c in srgb]
    r, g, b = (min(1, max(0, sum(m * c for m, c in zip(row, linear)))) for row in matrix)
    xyz = (0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047, 0.2126 * r + 0.7152 * g + 0.0722 * b, \
        (0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883
    fx, fy, fz = (t ** (1 / 3) if t > 0.008856 else 7.787 * t + 16 / 116 for t in xyz)
    return 116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)


def legend_colours_apart(svg):
    """The swatches (stroked rectangles) of both legends differ, by at least 8
    in every vision; only white, empty memory in either grid, may repeat."""
    root, found = ET.parse(svg).getroot(), []
    colours = [rect.get("fill") for legend in root.iter(SVG + "g") if legend.get("id") == "legends"
               for rect in legend.iter(SVG + "rect") if rect.get("stroke")]
    shown = [c for c in colours if c != "#ffffff"]
    if len(set(shown)) != len(shown):
        found.append(f"the legends repeat a colour: {colours}")
    shown = sorted(set(colours))
    for vision, matrix in VISION.items():
        for i, a in enumerate(shown):
            for b in shown[i + 1:]:
                d = sum((p - q) ** 2 for p, q in zip(lab_seen(a, matrix), lab_seen(b, matrix))) ** 0.5
                if d < 8:
                    found.append(f"{a} and {b} differ by {d:.1f} in {vision}")
    return found


def check_estimate(work):
    """The ink of a sample stays within the box the estimate gives it."""
    sample = "#_MWgjy|\u00c9\u00ff"
    svg, png = work / "estimate.svg", work / "estimate.png"
    svg.write_text('<svg xmlns="http://www.w3.org/2000/svg" width="1200" height="200" font-family="monospace">'
                   '<rect width="1200" height="200" fill="#ffffff"/>'
                   f'<text x="100" y="120" font-size="100">{sample}</text></svg>', encoding="utf-8")
    subprocess.run(["rsvg-convert", svg.name, "-o", png.name], cwd=work, check=True)
    ink = [(x, y) for y, row in enumerate(read_png(png)) for x, p in enumerate(row) if p != (255, 255, 255)]
    xs, ys = [x for x, _ in ink], [y for _, y in ink]
    if min(xs) < 100 or max(xs) > 100 + ADVANCE * 100 * advances(sample) or \
            min(ys) < 120 - ASCENT * 100 or max(ys) > 120 + DESCENT * 100:
        return [f"the renderer's font draws outside the estimated box: x {min(xs)}..{max(xs)}, y {min(ys)}..{max(ys)}"]
    return []


def crowded(work):
    """A source whose labels crowd: neighbours one nibble apart, names of 80
    characters, labels at the ends of rows, many labelled pattern words with
    and without room beside them, and seven includes, one with a long name,
    so that eight files own nibbles."""
    includes = ["I" * 60 + ".INC"] + [f"PART{i}.INC" for i in range(6)]
    for include in includes:
        (work / include).write_text("#IN_" + include[:4] + " NOP\nRET\n")
    lines = [f"INC {include}" for include in includes]
    for i in range(48):
        name = "#" + ("L%d_" % i) * (1 + i % 7 * 3)
        lines.append(f"{name[:80]} NOP")
        lines.extend(["NOP"] * (i % 4))
    lines += ["ORG PGM H3F", "#ROW_END NOP", "ORG PGM H7E", "#TWO_BEFORE_END NOP", "#LAST NOP"]
    for k in range(48):
        slot = 2 * k + (k % 3 == 0)
        lines.append(f"PAT #P{k}_{'X' * (k % 20)} {k} H{2 * slot:X}")
    (work / "crowded.qvs").write_text("\n".join(lines) + "\n")
    return work / "crowded.qvs"


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
        assemble_example(qvek, examples, work)

        # A load file alone: instructions against unused memory, words against slots it does not write.
        rows = render(qvekdump, work / "main.ucd", work, failures)
        white = nibble(rows, 0xFFF)
        differ("load file: nibble 0x000 against 0xfff", nibble(rows, 0), white)
        differ("load file: pattern word against a slot beyond the file", slot(rows, 0x21), slot(rows, 1023))

        # The source: one colour a file, labelled words (zero or not) against free slots and those beyond.
        rows = render(qvekdump, work / "main.qvs", work, failures)
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
        rows = render(qvekdump, odd, work, failures)
        differ("odd names: the main source against the include", nibble(rows, 0), nibble(rows, 3))
        differ("odd names: a labelled word against an unlabelled one", slot(rows, 0), slot(rows, 1))
        differ("odd names: a word beyond the file against an empty slot there", slot(rows, 1023), slot(rows, 1000))

        failures.extend(check_estimate(work))
        render(qvekdump, crowded(work), work, failures)

    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
