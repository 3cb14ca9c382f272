#!/usr/bin/env python3
"""Writes small PDF files from page content streams, for the sample and the tests.

Pages are content-stream texts; fonts F1 (Helvetica), F2 (Helvetica-Bold),
F3 (Times-Roman) and F4 (Courier) are available on every page.
"""
import sys
import zlib

FONTS = {"F1": "Helvetica", "F2": "Helvetica-Bold", "F3": "Times-Roman", "F4": "Courier"}


def pdf_escape(text):
    return text.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)")


def text(x, y, s, font="F1", size=10):
    """A content-stream snippet showing s at (x, y) in PDF user space."""
    return "BT /%s %g Tf %g %g Td (%s) Tj ET\n" % (font, size, x, y, pdf_escape(s))


def rect(x, y, w, h, rgb=(0, 0, 0)):
    return "%g %g %g rg %g %g %g %g re f\n" % (rgb + (x, y, w, h))


def line(x1, y1, x2, y2, width=0.5, rgb=(0, 0, 0)):
    return "%g %g %g RG %g w %g %g m %g %g l S\n" % (rgb + (width, x1, y1, x2, y2))


def grid(x0, y0, col_widths, row_heights, width=0.75, rgb=(0, 0, 0)):
    """Ruling lines of a table whose top-left corner is (x0, y0)."""
    out = []
    total_w = sum(col_widths)
    total_h = sum(row_heights)
    y = y0
    out.append(line(x0, y, x0 + total_w, y, width, rgb))
    for h in row_heights:
        y -= h
        out.append(line(x0, y, x0 + total_w, y, width, rgb))
    x = x0
    out.append(line(x, y0, x, y0 - total_h, width, rgb))
    for w in col_widths:
        x += w
        out.append(line(x, y0, x, y0 - total_h, width, rgb))
    return "".join(out)


def assemble(objs, root):
    """The bytes of a PDF file of the given object bodies (object i+1 is objs[i])."""
    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for i, body in enumerate(objs):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % (i + 1) + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)
    for off in offsets:
        out += b"%010d 00000 n \n" % off
    out += b"trailer\n<< /Size %d /Root %d 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, root, xref)
    return bytes(out)


def build(pages, media=(612, 792), compress=True):
    """The bytes of a PDF whose pages have the given content streams."""
    objs = []  # bodies, object i+1

    def add(body):
        objs.append(body)
        return len(objs)

    font_ids = {}
    for name, base in FONTS.items():
        font_ids[name] = add(b"<< /Type /Font /Subtype /Type1 /BaseFont /%s /Encoding /WinAnsiEncoding >>" % base.encode())
    font_dict = b" ".join(b"/%s %d 0 R" % (n.encode(), i) for n, i in font_ids.items())
    pages_id = len(objs) + 1 + 2 * len(pages)
    page_ids = []
    for content in pages:
        data = content.encode("latin-1")
        if compress:
            data = zlib.compress(data)
            cid = add(b"<< /Length %d /Filter /FlateDecode >>\nstream\n" % len(data) + data + b"\nendstream")
        else:
            cid = add(b"<< /Length %d >>\nstream\n" % len(data) + data + b"\nendstream")
        page_ids.append(add(b"<< /Type /Page /Parent %d 0 R /MediaBox [0 0 %g %g] /Contents %d 0 R "
                            b"/Resources << /Font << %s >> >> >>" % (pages_id, media[0], media[1], cid, font_dict)))
    kids = b" ".join(b"%d 0 R" % i for i in page_ids)
    assert add(b"<< /Type /Pages /Kids [%s] /Count %d >>" % (kids, len(page_ids))) == pages_id
    catalog = add(b"<< /Type /Catalog /Pages %d 0 R >>" % pages_id)
    return assemble(objs, catalog)


def write(path, pages, **kw):
    with open(path, "wb") as f:
        f.write(build(pages, **kw))


def sample_pages():
    """The bundled sample: a titled report page with a ruled table, and a text page."""
    p1 = [text(72, 740, "Quarterly report", "F2", 16),
          text(72, 715, "Figures of the third quarter, by region.", "F1", 10)]
    cols = [140, 90, 90, 90]
    rows = [20] * 5
    p1.append(grid(72, 690, cols, rows))
    data = [["Region", "July", "August", "September"],
            ["North", "1200", "1350.5", "1410"],
            ["South", "980", "1012", "1104.25"],
            ["East", "1500", "1490", "1620"],
            ["West", "760", "805", "870"]]
    y = 690
    for r, row in enumerate(data):
        x = 72
        for c, cell in enumerate(row):
            p1.append(text(x + 4, y - 14, cell, "F2" if r == 0 else "F1", 10))
            x += cols[c]
        y -= rows[r]
    p1.append(text(72, 570, "Totals are given in thousands.", "F3", 9))
    p2 = [text(72, 740, "Notes", "F2", 14)]
    notes = ["Sales rose in every region in September.",
             "The East region remains the largest.",
             "Figures for the fourth quarter follow in January."]
    for i, n in enumerate(notes):
        p2.append(text(72, 715 - 14 * i, n, "F1", 10))
    return ["".join(p1), "".join(p2)]


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: pdfgen.py OUTPUT.pdf   (writes the bundled sample)")
    write(sys.argv[1], sample_pages())
