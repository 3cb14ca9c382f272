#!/usr/bin/env python3
"""Conversion benchmark (not a test).

Generates a mixed text-and-table PDF (300 pages by default), converts it with
tbxagent and reads the same file with `pdftotext -layout` and `pdftoppm -r 150`,
then prints pages per second, peak memory and the ratios between them. The
conversion is also run on a third of the pages to show whether its memory
stays flat in the page count.

    bench/bench_convert.py --agent build/tabrixa/tbxagent [--pages 300] [--work /tmp/tbx_bench]
    bench/bench_convert.py --agent build/tabrixa/tbxagent --huge-page   (the 14400 pt page only)
"""
import argparse
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
import pdfgen  # noqa: E402

WORDS = ("revenue margin region quarter forecast budget account balance growth market "
         "supply order invoice customer product service total average change report").split()


def page(n):
    """Text paragraphs in two columns on even pages, a ruled table with text on odd pages."""
    parts = [pdfgen.text(72, 750, "Report page %d" % n, "F2", 14)]
    if n % 2 == 0:
        for col, x in enumerate((72, 320)):
            for i in range(40):
                words = " ".join(WORDS[(n + i * 3 + col + k) % len(WORDS)] for k in range(6))
                parts.append(pdfgen.text(x, 720 - 15 * i, words, "F1", 9))
    else:
        cols, rows = [120, 80, 80, 80, 80], [18] * 25
        parts.append(pdfgen.grid(72, 720, cols, rows))
        y = 720
        for r in range(25):
            x = 72
            for c, w in enumerate(cols):
                cell = WORDS[(n + r) % len(WORDS)] if c == 0 else "%d.%02d" % ((n * 31 + r * 7 + c) % 9000, r)
                parts.append(pdfgen.text(x + 3, y - 13, cell, "F1", 9))
                x += w
            y -= rows[r]
        for i in range(12):
            parts.append(pdfgen.text(72, 250 - 14 * i, " ".join(WORDS[(n + i + k) % len(WORDS)] for k in range(10)), "F3", 10))
    return "".join(parts)


def measure(cmd):
    """(seconds, peak resident KiB) of one command, run in a fresh child."""
    probe = ("import resource, subprocess, sys, time\n"
             "t = time.perf_counter()\n"
             "r = subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)\n"
             "t = time.perf_counter() - t\n"
             "print(r.returncode, t, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n")
    out = subprocess.run([sys.executable, "-c", probe] + cmd, capture_output=True, text=True, check=True).stdout
    rc, secs, kib = out.split()
    if int(rc) != 0:
        raise SystemExit("failed (%s): %s" % (rc, " ".join(cmd)))
    return float(secs), int(kib)


HUGE_SIDE = 14400  # points: the largest page side a PDF may declare


def huge_page_case(agent, work, side=HUGE_SIDE):
    """One square page (14400 x 14400 pt by default) with a ruled table: time and peak memory of its conversion.

    At 14400 pt its raster at 150 dpi would be 30000 x 30000 pixels; the conversion must stay within
    bounded memory and still find the table (the workbook's cells are counted through xlrd).
    """
    cols, rows = [900] * 6, [300] * 20
    x0, y0 = 1200, side - 1200
    parts = [pdfgen.text(x0, y0 + 200, "Huge page", "F2", 48), pdfgen.grid(x0, y0, cols, rows, width=1)]
    y = y0
    for r, h in enumerate(rows):
        x = x0
        for c, w in enumerate(cols):
            parts.append(pdfgen.text(x + 20, y - h / 2, "r%dc%d" % (r, c), "F1", 40))
            x += w
        y -= h
    pdf = os.path.join(work, "huge_page.pdf")
    xls = os.path.join(work, "huge_page.xls")
    pdfgen.write(pdf, ["".join(parts)], media=(side, side))
    secs, kib = measure([agent, "--src=" + pdf, "--dest=" + xls])
    found = table_cells(xls)
    print("huge page %d x %d pt, ruled table of %d x %d cells" % (side, side, len(rows), len(cols)))
    print("%-22s %10s %14s %s" % ("", "seconds", "peak MiB", "table"))
    print("%-22s %10.2f %14.1f %s   (aim: under 512 MiB)" % ("tbxagent", secs, kib / 1024, found))


def table_cells(xls):
    """'found' when the workbook has a bordered cell (a graphical table), 'missing' otherwise."""
    probe = ("import sys, xlrd\n"
             "b = xlrd.open_workbook(sys.argv[1], formatting_info=True)\n"
             "s = b.sheet_by_index(0)\n"
             "print(any(b.xf_list[s.cell_xf_index(r, c)].border.top_line_style\n"
             "          for r in range(s.nrows) for c in range(s.ncols)))\n")
    out = subprocess.run(["/usr/bin/python3", "-c", probe, xls], capture_output=True, text=True)
    if out.returncode != 0:
        return "unknown (xlrd: %s)" % out.stderr.strip().splitlines()[-1:]
    return "found" if out.stdout.strip() == "True" else "missing"


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--agent", default=os.path.join(HERE, "..", "build", "tabrixa", "tbxagent"))
    ap.add_argument("--pages", type=int, default=300)
    ap.add_argument("--work", default="/tmp/tbx_bench")
    ap.add_argument("--huge-page", action="store_true", help="run only the huge page case")
    ap.add_argument("--huge-side", type=float, default=HUGE_SIDE, help="side of the huge page in points")
    args = ap.parse_args()
    os.makedirs(args.work, exist_ok=True)
    if args.huge_page:
        huge_page_case(args.agent, args.work, args.huge_side)
        return

    pdf = os.path.join(args.work, "bench.pdf")
    small = os.path.join(args.work, "bench_small.pdf")
    pages = [page(n) for n in range(1, args.pages + 1)]
    pdfgen.write(pdf, pages)
    pdfgen.write(small, pages[: max(1, args.pages // 3)])
    xls = os.path.join(args.work, "bench.xls")

    conv = measure([args.agent, "--src=" + pdf, "--dest=" + xls])
    conv_small = measure([args.agent, "--src=" + small, "--dest=" + os.path.join(args.work, "bench_small.xls")])
    text = measure(["pdftotext", "-layout", pdf, "-"])
    # Without an output root pdftoppm writes to standard output, which is discarded.
    raster = measure(["pdftoppm", "-r", "150", pdf])

    n = args.pages
    print("pages: %d (file %.1f MiB, workbook %.1f MiB)" % (n, os.path.getsize(pdf) / 2**20, os.path.getsize(xls) / 2**20))
    print("%-22s %10s %12s %14s" % ("", "seconds", "pages/s", "peak MiB"))
    for name, (secs, kib) in (("tbxagent", conv), ("pdftotext -layout", text), ("pdftoppm -r 150", raster)):
        print("%-22s %10.2f %12.1f %14.1f" % (name, secs, n / secs, kib / 1024))
    both = text[0] + raster[0]
    print("time ratio  tbxagent / (pdftotext + pdftoppm): %.2f   (aim: 1.5 or less)" % (conv[0] / both))
    print("time ratio  tbxagent / pdftotext: %.2f   tbxagent / pdftoppm: %.2f" % (conv[0] / text[0], conv[0] / raster[0]))
    print("memory ratio  tbxagent / pdftotext: %.2f   tbxagent / pdftoppm: %.2f" % (conv[1] / text[1], conv[1] / raster[1]))
    print("memory growth  %d pages / %d pages: %.2f   (flat: close to 1)" %
          (n, max(1, n // 3), conv[1] / conv_small[1]))


if __name__ == "__main__":
    main()
