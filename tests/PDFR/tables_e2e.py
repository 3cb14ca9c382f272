#!/usr/bin/python3
"""Ruled tables through the console program, read back with xlrd.

usage: tables_e2e.py TBXAGENT SOURCE_DIR GROUP
GROUP: ruled, merged, colours, beside, pieces, filled, no_graph, huge, whole_pixels.
"""
import os
import subprocess
import sys
import tempfile

import xlrd


def fail(msg):
    print("FAIL: " + msg)
    sys.exit(1)


def texts_at(y0, x0, col_widths, row_heights, rows):
    """Text snippets, one per cell, 4 pt in from the left and 6 pt up from the cell's bottom."""
    out = ""
    top = y0
    for r, row in enumerate(rows):
        bottom = top - row_heights[r]
        x = x0
        for k, value in enumerate(row):
            if value is not None:
                out += pdfgen.text(x + 4, bottom + 6, value)
            x += col_widths[k]
        top = bottom
    return out


def convert(agent, content, *extra, media=(612, 792), out=None):
    with tempfile.TemporaryDirectory(prefix="tbx_tables_") as work:
        src = os.path.join(work, "in.pdf")
        dest = os.path.join(work, "out.xls")
        with open(src, "wb") as f:
            f.write(pdfgen.build([content], media=media))
        run = subprocess.run([agent, "--src=" + src, "--dest=" + dest] + list(extra), capture_output=True,
                             text=True, timeout=120)
        if run.returncode != 0:
            fail("tbxagent exit %d: %s%s" % (run.returncode, run.stdout, run.stderr))
        if out is not None:
            out.append(run.stdout + run.stderr)
        book = xlrd.open_workbook(dest, formatting_info=True)  # read whole into memory
    hidden = merges_check.hidden_values(book)
    if hidden:
        fail("merged ranges hide values: %r" % hidden)
    return book, book.sheet_by_index(0)


def find(sheet, text):
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            v = sheet.cell_value(r, c)
            if (v if isinstance(v, str) else repr(v)).strip() == text:
                return r, c
    fail("text %r not in the sheet:\n%s" % (text, dump(sheet)))


def value(sheet, r, c):
    v = sheet.cell_value(r, c)
    return v.strip() if isinstance(v, str) else v


def dump(sheet):
    return "\n".join(repr([sheet.cell_value(r, c) for c in range(sheet.ncols)]) for r in range(sheet.nrows))


def bordered(book, sheet, r, c):
    b = book.xf_list[sheet.cell_xf_index(r, c)].border
    return all(s > 0 for s in (b.left_line_style, b.right_line_style, b.top_line_style, b.bottom_line_style))


def check_grid(book, sheet, rows):
    """The texts stand in rows and columns as given (None: not checked), every one bordered."""
    r0, c0 = find(sheet, rows[0][0])
    cols = [c0]
    for k in range(1, len(rows[0])):
        r, c = find(sheet, rows[0][k])
        if r != r0 or c <= cols[-1]:
            fail("%r not right of %r on one row:\n%s" % (rows[0][k], rows[0][k - 1], dump(sheet)))
        cols.append(c)
    for i, row in enumerate(rows):
        for k, want in enumerate(row):
            if want is None:
                continue
            got = value(sheet, r0 + i, cols[k])
            if got != want:
                fail("row %d column %d: %r, want %r:\n%s" % (i, k, got, want, dump(sheet)))
            if not bordered(book, sheet, r0 + i, cols[k]):
                fail("cell %r has no border" % (want,))
    return r0, cols


FRUIT = [["Name", "Qty", "Price"], ["Apple", 12.0, 3.5], ["Pear", 7.0, 4.25]]
FRUIT_TEXT = [["Name", "Qty", "Price"], ["Apple", "12", "3.50"], ["Pear", "7", "4.25"]]


def ruled(agent):
    content = pdfgen.text(72, 740, "Stock list") + pdfgen.grid(72, 700, [100, 120, 90], [20, 20, 20])
    content += texts_at(700, 72, [100, 120, 90], [20, 20, 20], FRUIT_TEXT)
    book, sheet = convert(agent, content)
    check_grid(book, sheet, FRUIT)
    r, c = find(sheet, "Stock list")
    if bordered(book, sheet, r, c):
        fail("text outside the table has borders")


def no_graph(agent):
    content = pdfgen.grid(72, 700, [100, 120, 90], [20, 20, 20])
    content += texts_at(700, 72, [100, 120, 90], [20, 20, 20], FRUIT_TEXT)
    book, sheet = convert(agent, content, "--no_graph")
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            if bordered(book, sheet, r, c):
                fail("a table was built with graphical tables off")
    find(sheet, "Apple")


def merged(agent):
    # Two tables with different column edges share the sheet's columns: the
    # wide cells of the lower table span merged ranges.
    content = pdfgen.grid(72, 700, [100, 100, 100], [20, 20, 20])
    content += texts_at(700, 72, [100, 100, 100], [20, 20, 20], FRUIT_TEXT)
    content += pdfgen.grid(72, 600, [150, 150], [20, 20, 20])
    content += texts_at(600, 72, [150, 150], [20, 20, 20], [["Region", "Total"], ["North", "120"], ["South", "95"]])
    book, sheet = convert(agent, content)
    check_grid(book, sheet, FRUIT)
    r0, cols = check_grid(book, sheet, [["Region", "Total"], ["North", 120.0], ["South", 95.0]])
    spans = {(rlo, clo): (rhi, chi) for rlo, rhi, clo, chi in sheet.merged_cells}
    for i in range(3):
        for c in cols:
            if (r0 + i, c) not in spans:
                fail("cell at row %d column %d is not merged: %r" % (r0 + i, c, sheet.merged_cells))
            rhi, chi = spans[(r0 + i, c)]
            if rhi != r0 + i + 1 or chi - c != 2:
                fail("merge at row %d column %d spans %r" % (r0 + i, c, (rhi, chi)))
    # The upper table's first column has no edge of the lower one inside it.
    r, c = find(sheet, "Name")
    if any(rlo <= r < rhi and clo <= c < chi for rlo, rhi, clo, chi in sheet.merged_cells):
        fail("the cell Name is merged: %r" % (sheet.merged_cells,))
    # A title across a column rule that starts below it, held by the cell
    # right of that rule; under it the cells left of the rule are empty. The
    # sheet's column edge stays where the rule is: the empty cells are not
    # merged over the cities beside them (convert checks that no merge hides
    # a value), and the cities' column starts 220 points right of the table.
    content = "".join(pdfgen.line(72, y, 402, y) for y in (700, 680, 660, 640, 620))
    content += pdfgen.line(72, 700, 72, 620) + pdfgen.line(182, 700, 182, 620)
    content += pdfgen.line(292, 680, 292, 620) + pdfgen.line(402, 700, 402, 620)
    content += pdfgen.text(270, 686, "Calendar Year - 2012")
    content += texts_at(680, 72, [110, 110, 110], [20, 20, 20],
                        [["Physician", "Related Entity", "City / State"], ["AALAEI, B", None, "HIGHLAND, IN"],
                         ["AAMODT, D", None, "ALBUQUERQUE, NM"]])
    book, sheet = convert(agent, content)
    r0, cols = check_grid(book, sheet, [["Physician", "Related Entity", "City / State"],
                                        ["AALAEI, B", "", "HIGHLAND, IN"], ["AAMODT, D", "", "ALBUQUERQUE, NM"]])
    font = book.font_list[0]  # widths count 1/256 of its digit
    unit = {"Verdana": 0.6357, "Arial": 0.5562}[font.name] * font.height / 20.0 / 256
    start = sum(sheet.colinfo_map[c].width for c in range(cols[0], cols[2])) * unit
    if abs(start - 220) > 3:
        fail("the cities' column starts %.1f points into the table, not 220:\n%s" % (start, dump(sheet)))


def colours(agent):
    content = pdfgen.grid(72, 700, [80, 80], [20, 20, 20], 0.75, (0, 0, 0))
    content += pdfgen.grid(232, 700, [80, 80], [20, 20, 20], 0.75, (1, 0, 0))
    content += texts_at(700, 72, [80, 80], [20, 20, 20], [["A1", "B1"], ["A2", "B2"], ["A3", "B3"]])
    content += texts_at(700, 232, [80, 80], [20, 20, 20], [["C1", "D1"], ["C2", "D2"], ["C3", "D3"]])
    book, sheet = convert(agent, content)
    left = check_grid(book, sheet, [["A1", "B1"], ["A2", "B2"], ["A3", "B3"]])
    right = check_grid(book, sheet, [["C1", "D1"], ["C2", "D2"], ["C3", "D3"]])
    if min(right[1]) <= max(left[1]):
        fail("the second table does not stand right of the first:\n" + dump(sheet))


def beside(agent):
    # Three ruled tables side by side, the middle one starting highest and
    # the left one lowest (24 and 15 points): they keep their places left to
    # right and start on one row of the sheet.
    content, tables = "", []
    for k, (top, head, names) in enumerate(((700, "North", ["Oslo", "Bergen", "Bodo"]),
                                            (724, "Centre", ["Lyon", "Dijon", "Tours"]),
                                            (715, "South", ["Rome", "Bari", "Pisa"]))):
        x = 72 + 180 * k
        rows = [[head, head[0] + " pop."]] + [[n, "%d" % (100 * k + 10 * i + 5)] for i, n in enumerate(names)]
        content += pdfgen.grid(x, top, [80, 60], [20] * 4) + texts_at(top, x, [80, 60], [20] * 4, rows)
        tables.append([rows[0]] + [[n, float(v)] for n, v in rows[1:]])
    book, sheet = convert(agent, content)
    places = [check_grid(book, sheet, rows) for rows in tables]
    if len({r for r, _ in places}) != 1 or [c[0] for _, c in places] != sorted(c[0] for _, c in places):
        fail("the tables are not side by side, left to right: %r\n%s" % (places, dump(sheet)))


def pieces(agent):
    # Rulings drawn as many short thin filled rectangles.
    content = ""
    for r in range(4):
        y = 700 - 20 * r
        for k in range(30):
            content += pdfgen.rect(72 + k * 10, y - 0.4, 10, 0.8)
    for k in range(4):
        x = 72 + 100 * k
        for r in range(6):
            content += pdfgen.rect(x - 0.4, 640 + r * 10, 0.8, 10)
    content += texts_at(700, 72, [100, 100, 100], [20, 20, 20], FRUIT_TEXT)
    book, sheet = convert(agent, content)
    check_grid(book, sheet, FRUIT)


def filled(agent):
    # A grid drawn as filled bars only (in units of 0.12 pt, as some
    # writers draw them): the bar above a cell, a light padding bar under
    # it, and the vertical rules in pieces broken where they cross those,
    # by joints too short to count as rulings. Cells are shaded through
    # even-odd clips. Each condition spans two rows, its label (one of two
    # lines) on the first; the rule between them runs beside the labels only.
    u = 0.12
    xs = [467, 1219, 1733, 2378, 3018]
    rows = [("group", ["Condition", "Measure", "Men", "Women"])]
    for label, counts, shares in (("Asthma", ("31", "22"), ("6.3%", "4.4%")),
                                  (["Chronic fatigue", "syndrome"], ("19", "4"), ("3.8%", "0.8%")),
                                  ("Depression", ("48", "12"), ("9.7%", "2.4%")),
                                  ("Diabetes", ("1", "1"), ("0.2%", "0.2%"))):
        rows += [("group", [label, "Count"] + list(counts)), ("sub", [None, "Percentage"] + list(shares))]
    content, top = "", 6200
    for kind, cells in rows:
        bar = 12 if kind == "group" else 6
        for c in range(4):
            left, grey = xs[c] + (12 if c == 0 else 6), 0.88 if c < 2 else 0.95
            width = xs[c + 1] - left
            content += "q %g %g %g %g re %g %g %g %g re W* n %g g %g %g %g %g re f Q\n" % (
                left * u, (top - 112) * u, width * u, 112 * u, (left + 8) * u, (top - 100) * u, (width - 16) * u,
                86 * u, grey, left * u, (top - 112) * u, width * u, 112 * u)
            if kind == "group" or c > 0:
                content += pdfgen.rect(left * u, (top - bar) * u, width * u, bar * u)
            content += pdfgen.rect(left * u, (top - bar - 13) * u, width * u, 13 * u, (grey, grey, grey))
        for k, x in enumerate(xs):
            w = 12 if k in (0, 4) else 6
            content += pdfgen.rect(x * u, (top - bar - 13) * u, w * u, (bar + 13) * u)
            content += pdfgen.rect(x * u, (top - 112) * u, w * u, (99 - bar) * u)
        for c, t in enumerate(cells):
            for i, s in enumerate([] if t is None else t if isinstance(t, list) else [t]):
                content += pdfgen.text((xs[c] + 20) * u, (top - 100) * u - 10.3 * i, s, "F1", 9)
        top -= 112
    content = pdfgen.text(62, 760, "Table 3.1: Conditions") + content
    # The same rows without ruled tables, each text where it stands.
    for options in ((), ("--no_graph",)):
        book, sheet = convert(agent, content, *options)
        if options:
            r0 = find(sheet, "Condition")[0]
            cols = [find(sheet, t)[1] for t in rows[0][1]]
        else:
            r0, cols = check_grid(book, sheet, [rows[0][1]])
        label = []
        for i, (kind, cells) in enumerate(rows):
            want = [float(v) if v[-1].isdigit() else v for v in cells[1:]]
            got = [value(sheet, r0 + i, c) for c in cols]
            if kind == "group":
                label = cells[0] if isinstance(cells[0], list) else [cells[0]]
            # A label's second line stands beside the second row, or the
            # whole label (its lines parted by blanks) beside the first.
            if isinstance(got[0], str):
                got[0] = " ".join(got[0].split())
            if kind == "group":
                whole = got[0] == " ".join(label)
                labels = (" ".join(label),) if whole else (label[0],)
            else:
                labels = ("",) if whole else (label[-1],)
            if got[1:] != want or got[0] not in labels:
                fail("%s row %d: %r, want %r beside %r:\n%s" % (options, i, got, labels, want, dump(sheet)))


def huge(agent):
    # A 14400 pt page, whose raster is made in bands: rulings 1000 pt long
    # cross many of them and still make one table. A page ten times as tall
    # gets no raster at all: the user is told, and its text is kept.
    cols, rows = [1000, 1200, 900], [500, 500, 500]
    content = pdfgen.grid(3000, 9000, cols, rows) + texts_at(9000, 3000, cols, rows, FRUIT_TEXT)
    book, sheet = convert(agent, content, media=(14400, 14400))
    check_grid(book, sheet, FRUIT)
    said = []
    content = pdfgen.grid(72, 149700, cols, rows) + texts_at(149700, 72, cols, rows, FRUIT_TEXT)
    book, sheet = convert(agent, content, media=(14400, 150000), out=said)
    if "Page 1 is too large to look for ruled tables" not in said[0]:
        fail("no warning for a page without raster: %r" % said)
    find(sheet, "Apple")


def whole_pixels(agent):
    # Rulings on whole pixels (every 12 pt from the top) on a page just taller
    # than one raster holds at this width (12640 pt, made in bands) and on one
    # just below (12630 pt): a table each of hair-lines, wide strokes and
    # filled rules, two lines of text in every first-column cell beside one
    # line in the second column: wrapped text that stays in one cell.
    for height in (12630, 12640):
        content = ""
        for t, ruling in enumerate(("hair", "wide", "filled")):
            top = height - 96 - 240 * t
            if ruling == "filled":
                for r in range(4):
                    content += pdfgen.rect(72, top - 48 * r - 0.96, 288, 0.96)
                for c in range(3):
                    content += pdfgen.rect(72 + 144 * c, top - 144, 0.96, 144)
            else:
                content += pdfgen.grid(72, top, [144, 144], [48, 48, 48], width=0 if ruling == "hair" else 1.2)
            for r in range(3):
                for c in range(2):
                    x, y = 72 + 144 * c + 6, top - 48 * r - 18
                    content += pdfgen.text(x, y, "%s%d%d first" % (ruling, r, c))
                    if c == 0:
                        content += pdfgen.text(x, y - 14, "%s%d%d second" % (ruling, r, c))
        book, sheet = convert(agent, content, media=(612, height))
        cells = [value(sheet, r, c) for r in range(sheet.nrows) for c in range(sheet.ncols)]
        firsts = [v for v in cells if isinstance(v, str) and "0 first" in v]
        if len(firsts) != 9 or any(v.split(" first")[0] + " second" not in v for v in firsts):
            fail("page of %d pt: the cells' lines were parted:\n%s" % (height, dump(sheet)))


def main():
    agent, source_dir, group = sys.argv[1:4]
    global pdfgen, merges_check
    sys.path.insert(0, os.path.join(source_dir, "tools"))
    import pdfgen
    import merges_check
    {"ruled": ruled, "merged": merged, "colours": colours, "beside": beside, "pieces": pieces, "filled": filled, "no_graph": no_graph, "huge": huge,
     "whole_pixels": whole_pixels}[group](agent)
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
