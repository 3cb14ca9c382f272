#!/usr/bin/env python3
"""Worst-case page benchmark (not a test).

Generated one-page files that once took the converter minutes:
- dots: 60000 dots of a 2 pt font over the page, then a line of 12 pt text;
- hairlines: 20000 hair-lines at one height, each of its own colour;
- lines: 70000 lines of text on one tall page, more rows than a worksheet
  holds (the converter warns and writes the first 65536).
Each is converted with tbxagent and read with `pdftotext -layout` and
`pdftoppm -r 150`; the script prints the seconds and the ratio
tbxagent / (pdftotext + pdftoppm), which should stay at 3 or less.

    bench/bench_worst.py --agent build/tabrixa/tbxagent [--work /tmp/tbx_worst]
"""
import argparse
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
sys.path.insert(0, HERE)
import pdfgen  # noqa: E402
from bench_convert import measure  # noqa: E402

AFTER_DOTS = "normal text after the dots"


def dots_page(count=60000):
    """A dotted background of `count` 2 pt dots, then one line of 12 pt text."""
    cols = 250
    parts = ["BT /F1 2 Tf\n"]
    for k in range(count):
        r, c = divmod(k, cols)
        parts.append("1 0 0 1 %.2f %.2f Tm (.) Tj\n" % (6 + c * 2.4, 780 - (r % 300) * 2.55))
    parts.append("ET\n")
    parts.append(pdfgen.text(72, 400, AFTER_DOTS, "F1", 12))
    return "".join(parts)


def hairlines_page(count=20000):
    """`count` horizontal hair-lines at one height, overlapping, of pairwise distinct colours."""
    parts = [pdfgen.text(72, 740, "Hair-lines", "F1", 12)]
    for k in range(count):
        rgb = ((k % 128) * 2 / 255.0, (k // 128 % 128) * 2 / 255.0, 0.5)
        x = 20 + (k * 7) % 450
        parts.append("%.4f %.4f %.4f RG 0.1 w %g 400 m %g 400 l S\n" % (rgb + (x, x + 120)))
    return "".join(parts)


def lines_page(count=70000, step=4.0):
    """`count` short lines of 3.5 pt text, one under the other, on a page tall enough for them."""
    height = count * step + 40
    parts = ["BT /F1 3.5 Tf\n"]
    for i in range(count):
        parts.append("1 0 0 1 10 %.2f Tm (Line %d) Tj\n" % (height - 20 - i * step, i + 1))
    parts.append("ET\n")
    return "".join(parts), (100, height)


def rotated_lines_page(count=70000, step=4.0, quarter=1):
    """The `lines` page turned a quarter (90 degrees, or 270 with quarter=3): each
    line reads up (or down) the page, the lines follow one another across it."""
    width = count * step + 40
    c, s = (0, 1) if quarter == 1 else (0, -1)
    parts = ["BT /F1 3.5 Tf\n"]
    for i in range(count):
        x = 20 + i * step if quarter == 1 else width - 20 - i * step
        parts.append("%d %d %d %d %.2f 20 Tm (Line %d) Tj\n" % (c, s, -s, c, x, i + 1))
    parts.append("ET\n")
    return "".join(parts), (width, 100)


FONT = b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"


def nested_forms_pdf(depth, fanout=10, own_fonts=True):
    """A page that draws a form which draws the next form `fanout` times, `depth`
    levels deep: the innermost form, one line of text, is drawn fanout ** depth
    times from a file of a few KB. With own_fonts every form brings its own
    font resources (a new font object at every drawing); otherwise all use the
    page's font."""
    def stream(body, res):
        return b"<< /Type /XObject /Subtype /Form /BBox [0 0 612 792] /Resources << %s >> /Length %d >>\n" \
               b"stream\n%s\nendstream" % (res, len(body), body)
    fonts = b"/Font << /F1 %s >>" % FONT if own_fonts else b""
    objs = [stream(b"BT /F1 10 Tf 72 700 Td (Alpha Beta 123) Tj 0 -14 Td (Gamma 4.5) Tj ET", fonts)]
    for _ in range(depth):
        objs.append(stream(b"q /X Do Q\n" * fanout, b"/XObject << /X %d 0 R >> %s" % (len(objs), fonts)))
    content = b"/X Do\n"
    n = len(objs)
    objs += [FONT,
             b"<< /Length %d >>\nstream\n%s\nendstream" % (len(content), content),
             b"<< /Type /Page /Parent %d 0 R /MediaBox [0 0 612 792] /Contents %d 0 R "
             b"/Resources << /Font << /F1 %d 0 R >> /XObject << /X %d 0 R >> >> >>" % (n + 4, n + 2, n + 1, n),
             b"<< /Type /Pages /Kids [%d 0 R] /Count 1 >>" % (n + 3),
             b"<< /Type /Catalog /Pages %d 0 R >>" % (n + 4)]
    return pdfgen.assemble(objs, n + 5)


def shared_resources_pdf(pages=1000, forms=1000):
    """A document of `pages` pages that share one resource dictionary of
    `forms` forms, each page drawing one of them: the checks before a page is
    played must look at shared resources once, not once per page."""
    form = b"<< /Type /XObject /Subtype /Form /BBox [0 0 1 1] /Resources << /Font << /F1 1 0 R >> >> " \
           b"/Length 12 >>\nstream\n0 0 1 1 re f\nendstream"
    objs = [FONT] + [form] * forms
    names = b" ".join(b"/X%d %d 0 R" % (i, i + 2) for i in range(forms))
    objs.append(b"<< /Font << /F1 1 0 R >> /XObject << %s >> >>" % names)
    res = len(objs)
    tree = res + 2 * pages + 1
    kids = []
    for p in range(pages):
        body = b"BT /F1 12 Tf 72 700 Td (page %d) Tj ET /X%d Do" % (p + 1, p % forms)
        objs.append(b"<< /Length %d >>\nstream\n%s\nendstream" % (len(body), body))
        objs.append(b"<< /Type /Page /Parent %d 0 R /MediaBox [0 0 612 792] /Resources %d 0 R /Contents %d 0 R >>"
                    % (tree, res, len(objs)))
        kids.append(b"%d 0 R" % len(objs))
    objs.append(b"<< /Type /Pages /Kids [%s] /Count %d >>" % (b" ".join(kids), pages))
    objs.append(b"<< /Type /Catalog /Pages %d 0 R >>" % tree)
    return pdfgen.assemble(objs, len(objs))


# Pages whose figures are growth ratios of tbxagent alone (pdftotext itself
# takes minutes on the larger ones).
AGENT_ONLY = {"forms-1e4", "forms-1e5", "repeat-1e4", "repeat-1e5", "shared-1e3", "shared-2e3"}


def letter(make):
    return lambda: (make(), (612, 792))


PAGES = {"dots": letter(dots_page), "hairlines": letter(hairlines_page), "lines": lines_page,
         "rotated90": rotated_lines_page, "rotated270": lambda: rotated_lines_page(quarter=3),
         "forms-1e4": lambda: nested_forms_pdf(4), "forms-1e5": lambda: nested_forms_pdf(5),
         "repeat-1e4": lambda: nested_forms_pdf(4, own_fonts=False),
         "repeat-1e5": lambda: nested_forms_pdf(5, own_fonts=False),
         "shared-1e3": shared_resources_pdf, "shared-2e3": lambda: shared_resources_pdf(2000, 2000)}


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--agent", default=os.path.join(HERE, "..", "build", "tabrixa", "tbxagent"))
    ap.add_argument("--work", default="/tmp/tbx_worst")
    ap.add_argument("--only", help="comma-separated pages to run, of: " + ", ".join(PAGES))
    args = ap.parse_args()
    os.makedirs(args.work, exist_ok=True)
    print("%-10s %10s %10s %10s %8s" % ("page", "tbxagent", "pdftotext", "pdftoppm", "ratio"))
    times = {}
    for name, make in PAGES.items():
        if args.only and name not in args.only.split(","):
            continue
        pdf = os.path.join(args.work, name + ".pdf")
        made = make()
        if isinstance(made, bytes):
            with open(pdf, "wb") as f:
                f.write(made)
        else:
            content, media = made
            pdfgen.write(pdf, [content], media=media)
        conv = measure([args.agent, "--src=" + pdf, "--dest=" + os.path.join(args.work, name + ".xls")])
        times[name] = conv[0]
        if name in AGENT_ONLY:
            print("%-10s %10.2f %10s %10s %8s   %8d KiB" % (name, conv[0], "-", "-", "-", conv[1]))
            continue
        text = measure(["pdftotext", "-layout", pdf, "-"])
        raster = measure(["pdftoppm", "-r", "150", pdf])
        print("%-10s %10.2f %10.2f %10.2f %8.2f   (aim: 3 or less)  %8d KiB" %
              (name, conv[0], text[0], raster[0], conv[0] / (text[0] + raster[0]), conv[1]))
    for turned in ("rotated90", "rotated270"):
        if turned in times and "lines" in times:
            print("%s / lines: %.2f   (aim: 1.5 or less)" % (turned, times[turned] / times["lines"]))
    if "shared-1e3" in times and "shared-2e3" in times:
        print("shared: 2 x the pages and forms take %.1f x the time   (linear: about 2)" %
              (times["shared-2e3"] / times["shared-1e3"]))
    for kind in ("forms", "repeat"):
        if kind + "-1e4" in times and kind + "-1e5" in times:
            print("%s: 10 x the drawings take %.1f x the time   (linear: about 10)" %
                  (kind, times[kind + "-1e5"] / times[kind + "-1e4"]))


if __name__ == "__main__":
    main()
