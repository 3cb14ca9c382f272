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


def letter(make):
    return lambda: (make(), (612, 792))


PAGES = {"dots": letter(dots_page), "hairlines": letter(hairlines_page), "lines": lines_page}


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--agent", default=os.path.join(HERE, "..", "build", "tabrixa", "tbxagent"))
    ap.add_argument("--work", default="/tmp/tbx_worst")
    ap.add_argument("--only", choices=sorted(PAGES), help="run one of the pages")
    args = ap.parse_args()
    os.makedirs(args.work, exist_ok=True)
    print("%-10s %10s %10s %10s %8s" % ("page", "tbxagent", "pdftotext", "pdftoppm", "ratio"))
    for name, make in PAGES.items():
        if args.only and name != args.only:
            continue
        pdf = os.path.join(args.work, name + ".pdf")
        content, media = make()
        pdfgen.write(pdf, [content], media=media)
        conv = measure([args.agent, "--src=" + pdf, "--dest=" + os.path.join(args.work, name + ".xls")])
        text = measure(["pdftotext", "-layout", pdf, "-"])
        raster = measure(["pdftoppm", "-r", "150", pdf])
        print("%-10s %10.2f %10.2f %10.2f %8.2f   (aim: 3 or less)" %
              (name, conv[0], text[0], raster[0], conv[0] / (text[0] + raster[0])))


if __name__ == "__main__":
    main()
