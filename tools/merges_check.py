#!/usr/bin/python3
"""Lists the values that merged ranges of workbooks hide.

Readers show only the first cell of a merged range: a text or a number in any
other cell of it is there for xlrd, invisible in a spreadsheet program.

usage: merges_check.py XLS...   (exit 1 when a workbook hides a value)
The end-to-end tests check every workbook they convert with hidden_values.
"""
import sys

import xlrd


def hidden_values(book):
    """(sheet name, (first row, last row, first column, last column), (row, column), value) of every value
    a merged range covers; the book must be opened with formatting_info=True."""
    out = []
    for sheet in book.sheets():
        for rlo, rhi, clo, chi in sheet.merged_cells:
            for r in range(rlo, min(rhi, sheet.nrows)):
                for c in range(clo, min(chi, sheet.ncols)):
                    if (r, c) == (rlo, clo):
                        continue
                    cell = sheet.cell(r, c)
                    if cell.ctype == xlrd.XL_CELL_NUMBER or (cell.ctype == xlrd.XL_CELL_TEXT and cell.value.strip()):
                        out.append((sheet.name, (rlo, rhi - 1, clo, chi - 1), (r, c), cell.value))
    return out


def main(paths):
    found = 0
    for path in paths:
        for sheet, rng, place, value in hidden_values(xlrd.open_workbook(path, formatting_info=True)):
            print("%s: sheet %s: range %r hides %r at %r" % (path, sheet, rng, value, place))
            found += 1
    print("%d workbooks, %d hidden values" % (len(paths), found))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
