#!/usr/bin/env python3
"""Table-page benchmark (not a test).

Generated pages of ruled tables as statistical reports draw them: 25 columns
ruled between them, rules only under the header and every five rows (so each
ruled cell holds five rows of the page), a group header over two columns whose
dividing rule starts below it, and a fully ruled table of the same figures for
comparison. Each file is converted with tbxagent (and, with --baseline, with
an earlier build) and read with `pdftotext -layout`; the script prints seconds,
pages per second and peak memory, and the ratio new / baseline.

    bench/bench_tables.py --agent build/tabrixa/tbxagent [--baseline OLD/tbxagent] [--pages 200]
"""
import argparse
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
sys.path.insert(0, HERE)
import pdfgen  # noqa: E402
from bench_convert import measure  # noqa: E402

COLS = 25
ROWS = 50


def table_page(n, every):
    """One page: a title, a group header, then ROWS rows of COLS columns, a rule every `every` rows."""
    x0, top, label_w, col_w, pitch = 20, 740, 60, 22, 11
    width = label_w + (COLS - 1) * col_w
    parts = [pdfgen.text(x0, 770, "Monthly statistics, page %d" % n, "F2", 12)]
    xs = [x0, x0 + label_w] + [x0 + label_w + col_w * k for k in range(1, COLS)]
    head = top - 2 * pitch - 4
    bottom = head - ROWS * pitch - 4
    # The group header stands over columns 1 and 2; the rule between them starts below it.
    parts.append(pdfgen.text(xs[2] - 14, top - pitch + 2, "Sales", "F1", 7))
    for k in range(COLS):
        parts.append(pdfgen.text(xs[k] + 2, top - 2 * pitch + 2, "State" if k == 0 else "C%d" % k, "F1", 7))
    for k, x in enumerate(xs + [x0 + width]):
        parts.append(pdfgen.line(x, top - (pitch if k == 2 else 0), x, bottom))
    for y in (top, head, bottom):
        parts.append(pdfgen.line(x0, y, x0 + width, y))
    for r in range(ROWS):
        base = head - (r + 1) * pitch + 2
        if every and r and r % every == 0:
            parts.append(pdfgen.line(x0, base + pitch - 3, x0 + width, base + pitch - 3))
        parts.append(pdfgen.text(xs[0] + 2, base, "State %d" % (r + 1), "F1", 7))
        for k in range(1, COLS):
            parts.append(pdfgen.text(xs[k] + 2, base, "%d" % ((n * 131 + r * 17 + k * 7) % 9000), "F1", 7))
    return "".join(parts)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--agent", default=os.path.join(HERE, "..", "build", "tabrixa", "tbxagent"))
    ap.add_argument("--baseline", help="an earlier tbxagent to compare with")
    ap.add_argument("--pages", type=int, default=200)
    ap.add_argument("--work", default="/tmp/tbx_tables")
    args = ap.parse_args()
    os.makedirs(args.work, exist_ok=True)
    cases = (("rule every 5 rows", 5), ("column rules only", 0), ("fully ruled", 1))
    print("%d pages of %d x %d cells each" % (args.pages, ROWS, COLS))
    print("%-20s %-22s %10s %10s %10s" % ("case", "program", "seconds", "pages/s", "peak MiB"))
    for name, every in cases:
        pdf = os.path.join(args.work, "tables_%d.pdf" % every)
        pdfgen.write(pdf, [table_page(n, every) for n in range(1, args.pages + 1)])
        runs = [("tbxagent", [args.agent, "--src=" + pdf, "--dest=" + pdf[:-4] + ".xls"])]
        if args.baseline:
            runs.append(("baseline", [args.baseline, "--src=" + pdf, "--dest=" + pdf[:-4] + "_old.xls"]))
        runs.append(("pdftotext -layout", ["pdftotext", "-layout", pdf, "-"]))
        got = {}
        for prog, cmd in runs:
            secs, kib = measure(cmd)
            got[prog] = (secs, kib)
            print("%-20s %-22s %10.2f %10.1f %10.1f" % (name, prog, secs, args.pages / secs, kib / 1024))
        if args.baseline:
            print("%-20s time new / baseline: %.2f   memory new / baseline: %.2f" %
                  (name, got["tbxagent"][0] / got["baseline"][0], got["tbxagent"][1] / got["baseline"][1]))


if __name__ == "__main__":
    main()
