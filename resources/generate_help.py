#!/usr/bin/env python3
"""Writes the plug-in's help document as a PDF from a plain-text source.

The source is ASCII text: "# ", "## " and "### " start headings, "- " starts a list item, a line
indented by four spaces is shown as is in a fixed-width font, and a blank line ends a paragraph.
The PDF uses only the standard Helvetica and Courier fonts (nothing is embedded) on A4 pages,
and holds no date, so the same source always gives the same file. Python standard library only.

    generate_help.py SOURCE.txt OUTPUT.pdf
"""

import sys

PAGE_W, PAGE_H = 595, 842
MARGIN_X, MARGIN_TOP, MARGIN_BOTTOM = 64, 64, 72
TEXT_W = PAGE_W - 2 * MARGIN_X

# Advance widths (1/1000 em) of the printable ASCII characters 32..126 in the standard fonts.
HELVETICA = [
    278, 278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278,
    556, 556, 556, 556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556,
    1015, 667, 667, 722, 722, 667, 611, 778, 722, 278, 500, 667, 556, 833, 722, 778,
    667, 778, 722, 667, 611, 722, 667, 944, 667, 667, 611, 278, 278, 278, 469, 556,
    333, 556, 556, 500, 556, 556, 278, 556, 556, 222, 222, 500, 222, 833, 556, 556,
    556, 556, 333, 500, 278, 556, 500, 722, 500, 500, 500, 334, 260, 334, 584]
HELVETICA_BOLD = [
    278, 333, 474, 556, 556, 889, 722, 238, 333, 333, 389, 584, 278, 333, 278, 278,
    556, 556, 556, 556, 556, 556, 556, 556, 556, 556, 333, 333, 584, 584, 584, 611,
    975, 722, 722, 722, 722, 667, 611, 778, 722, 278, 556, 722, 611, 833, 722, 778,
    667, 778, 722, 667, 611, 722, 667, 944, 667, 667, 611, 333, 278, 333, 584, 556,
    333, 556, 611, 556, 611, 556, 333, 611, 611, 278, 278, 556, 278, 889, 611, 611,
    611, 611, 389, 556, 333, 611, 556, 778, 556, 556, 500, 389, 280, 389, 584]

FONTS = {"F1": ("Helvetica", HELVETICA), "F2": ("Helvetica-Bold", HELVETICA_BOLD), "F3": ("Courier", None)}

# (font, size, leading, space before) of each kind of block.
STYLES = {
    "h1": ("F2", 22.0, 28.0, 0.0),
    "h2": ("F2", 15.0, 20.0, 14.0),
    "h3": ("F2", 12.0, 16.0, 10.0),
    "p": ("F1", 10.5, 14.0, 6.0),
    "li": ("F1", 10.5, 14.0, 3.0),
    "pre": ("F3", 9.5, 13.0, 6.0),
}
BULLET_INDENT = 14.0


def text_width(text, font, size):
    widths = FONTS[font][1]
    if widths is None:
        return 600 * len(text) * size / 1000.0
    return sum(widths[ord(c) - 32] for c in text) * size / 1000.0


def wrap(text, font, size, width):
    lines, line = [], ""
    for word in text.split():
        candidate = word if not line else line + " " + word
        if line and text_width(candidate, font, size) > width:
            lines.append(line)
            line = word
        else:
            line = candidate
    if line:
        lines.append(line)
    return lines


def parse(source):
    """Blocks of (kind, text) from the source lines."""
    blocks, paragraph = [], []

    def flush():
        if paragraph:
            blocks.append(("p", " ".join(paragraph)))
            paragraph.clear()

    for number, raw in enumerate(source.splitlines(), 1):
        if any(ord(c) < 32 or ord(c) > 126 for c in raw):
            raise ValueError("line %d: only printable ASCII is allowed" % number)
        line = raw.rstrip()
        if not line:
            flush()
        elif line.startswith("    "):
            flush()
            blocks.append(("pre", line[4:]))
        elif line.startswith("#"):
            flush()
            level = len(line) - len(line.lstrip("#"))
            blocks.append(("h%d" % min(level, 3), line[level:].strip()))
        elif line.startswith("- "):
            flush()
            blocks.append(("li", line[2:].strip()))
        elif blocks and blocks[-1][0] == "li" and not paragraph and raw.startswith("  "):
            blocks[-1] = ("li", blocks[-1][1] + " " + line.strip())
        else:
            paragraph.append(line.strip())
    flush()
    return blocks


def escape(text):
    return text.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)")


def lay_out(blocks):
    """Pages, each a list of (font, size, x, y, text)."""
    pages, page = [], []
    y = PAGE_H - MARGIN_TOP

    def new_page():
        nonlocal page, y
        pages.append(page)
        page = []
        y = PAGE_H - MARGIN_TOP

    for kind, text in blocks:
        font, size, leading, before = STYLES[kind]
        indent = BULLET_INDENT if kind == "li" else 0.0
        lines = [text] if kind == "pre" else wrap(text, font, size, TEXT_W - indent)
        # Headings keep at least two lines of what follows on their page.
        needed = leading * (len(lines) + (2 if kind.startswith("h") else 0))
        if page and y - before - needed < MARGIN_BOTTOM:
            new_page()
        elif page:
            y -= before
        for i, line in enumerate(lines):
            if y - leading < MARGIN_BOTTOM:
                new_page()
            y -= leading
            if kind == "li" and i == 0:
                page.append((font, size, MARGIN_X + 2.0, y, "-"))
            page.append((font, size, MARGIN_X + indent, y, line))
    pages.append(page)
    return pages


def page_stream(items, number, count):
    out = []
    for font, size, x, y, text in items + [("F1", 9.0, PAGE_W / 2.0 - 20.0, MARGIN_BOTTOM / 2.0,
                                            "Page %d of %d" % (number, count))]:
        out.append("BT /%s %.1f Tf %.2f %.2f Td (%s) Tj ET" % (font, size, x, y, escape(text)))
    return "\n".join(out).encode("ascii")


def write_pdf(pages, path, title):
    objects = []  # bodies, object number = index + 1

    def add(body):
        objects.append(body)
        return len(objects)

    catalog = add(None)
    pages_obj = add(None)
    info = add(b"<< /Title (" + escape(title).encode("ascii") + b") /Producer (Brisalto help generator) >>")
    font_objs = {name: add(("<< /Type /Font /Subtype /Type1 /BaseFont /%s /Encoding /WinAnsiEncoding >>"
                            % base).encode("ascii"))
                 for name, (base, _) in FONTS.items()}
    resources = " ".join("/%s %d 0 R" % (name, num) for name, num in font_objs.items())

    kids = []
    for index, items in enumerate(pages):
        stream = page_stream(items, index + 1, len(pages))
        content = add(b"<< /Length %d >>\nstream\n" % len(stream) + stream + b"\nendstream")
        kids.append(add(("<< /Type /Page /Parent %d 0 R /MediaBox [0 0 %d %d] /Resources << /Font << %s >> >> "
                         "/Contents %d 0 R >>" % (pages_obj, PAGE_W, PAGE_H, resources, content)).encode("ascii")))

    objects[catalog - 1] = b"<< /Type /Catalog /Pages %d 0 R >>" % pages_obj
    objects[pages_obj - 1] = ("<< /Type /Pages /Kids [%s] /Count %d >>"
                              % (" ".join("%d 0 R" % k for k in kids), len(kids))).encode("ascii")

    data = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(data))
        data += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(data)
    data += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for offset in offsets:
        data += b"%010d 00000 n \n" % offset
    data += (b"trailer\n<< /Size %d /Root %d 0 R /Info %d 0 R >>\nstartxref\n%d\n%%%%EOF\n"
             % (len(objects) + 1, catalog, info, xref))

    with open(path + ".part", "wb") as f:
        f.write(data)
    import os
    os.replace(path + ".part", path)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[1], encoding="ascii") as f:
        blocks = parse(f.read())
    title = next((text for kind, text in blocks if kind == "h1"), "Help")
    write_pdf(lay_out(blocks), argv[2], title + " Help")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
