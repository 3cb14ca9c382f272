#!/usr/bin/env python3
"""Workbook memory benchmark (not a test).

Converts generated documents of dense pages (60 rows of 6 cells: texts and
numbers) of two lengths, 1000 and 8000 pages by default, and prints for each
the seconds, the seconds per page, the seconds of the workbook's write (the
time after the last page) and the peak resident memory; then the ratio of the
two peaks. The aim: the long document's peak within 1.5 times the short one's.

    bench/bench_memory.py --agent build/tabrixa/tbxagent [--pages 1000 8000] [--work /tmp/tbx_membench]
    bench/bench_memory.py --write-only --pages 200 --work DIR   (writes DIR/dense_200.pdf and ends)
"""
import argparse
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
import pdfgen  # noqa: E402

WORDS = ("north south east west total average margin stock order price").split()


def dense_page(n):
    """60 rows of 6 cells: a word, then numbers; a bold title in its own font."""
    parts = [pdfgen.text(40, 770, "Ledger page %d" % n, "F2", 12)]
    for r in range(60):
        y = 745 - 12 * r
        parts.append(pdfgen.text(40, y, WORDS[(n + r) % len(WORDS)], "F1", 8))
        for c in range(1, 6):
            parts.append(pdfgen.text(40 + 95 * c, y, "%d.%02d" % ((n * 37 + r * 11 + c) % 99999, (r + c) % 100),
                                     "F1", 8))
    return "".join(parts)


def make(work, pages):
    path = os.path.join(work, "dense_%d.pdf" % pages)
    if not os.path.exists(path):
        pdfgen.write(path, [dense_page(n) for n in range(1, pages + 1)])
    return path


def measure(agent, pdf, xls):
    """(seconds, seconds of the write after the last page, peak resident KiB)."""
    probe = ("import resource, subprocess, sys, time, os\n"
             "xls = sys.argv[1]\n"
             "t = time.perf_counter()\n"
             "p = subprocess.Popen(sys.argv[2:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)\n"
             "# The write starts when the program opens a file in the workbook's folder\n"
             "# (named or not), other than the document.\n"
             "folder = os.path.dirname(os.path.abspath(xls)) + '/'\n"
             "def writing():\n"
             "    try:\n"
             "        fds = os.listdir('/proc/%d/fd' % p.pid)\n"
             "        links = [os.readlink('/proc/%d/fd/%s' % (p.pid, fd)) for fd in fds]\n"
             "    except OSError:\n"
             "        return False\n"
             "    return any(l.startswith(folder) and not l.endswith('.pdf') for l in links)\n"
             "w = None\n"
             "while p.poll() is None:\n"
             "    if w is None and writing():\n"
             "        w = time.perf_counter()\n"
             "    time.sleep(0.002)\n"
             "end = time.perf_counter()\n"
             "print(p.returncode, end - t, end - (w or end), resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n")
    if os.path.exists(xls):
        os.remove(xls)
    out = subprocess.run([sys.executable, "-c", probe, xls, agent, "--src=" + pdf, "--dest=" + xls],
                         capture_output=True, text=True, check=True).stdout
    rc, secs, write, kib = out.split()
    if int(rc) != 0:
        raise SystemExit("failed (%s): %s" % (rc, pdf))
    return float(secs), float(write), int(kib)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--agent", default=os.path.join(HERE, "..", "build", "tabrixa", "tbxagent"))
    ap.add_argument("--pages", type=int, nargs="+", default=[1000, 8000])
    ap.add_argument("--work", default="/tmp/tbx_membench")
    ap.add_argument("--write-only", action="store_true", help="only generate the documents")
    args = ap.parse_args()
    os.makedirs(args.work, exist_ok=True)
    pdfs = [make(args.work, n) for n in args.pages]
    if args.write_only:
        return
    print("%-8s %10s %12s %12s %12s %12s" % ("pages", "seconds", "ms/page", "write s", "peak MiB", "workbook MiB"))
    peaks = []
    for n, pdf in zip(args.pages, pdfs):
        xls = os.path.join(args.work, "dense_%d.xls" % n)
        secs, write, kib = measure(args.agent, pdf, xls)
        peaks.append(kib)
        print("%-8d %10.2f %12.2f %12.2f %12.1f %12.1f" % (n, secs, 1000 * secs / n, write, kib / 1024,
                                                          os.path.getsize(xls) / 2**20))
    if len(peaks) > 1:
        print("peak ratio %d / %d pages: %.2f   (aim: 1.5 or less)" % (args.pages[-1], args.pages[0],
                                                                     peaks[-1] / peaks[0]))


if __name__ == "__main__":
    main()
