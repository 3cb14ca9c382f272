"""LibreOffice reads the same texts and numbers from a converted workbook as xlrd."""
import csv
import glob
import os
import re
import shutil
import subprocess
import unittest
import xml.etree.ElementTree as ET

import xlrd

import conversion_util as cu
from conversion_util import pdfgen


def libreoffice_csv(xls):
    """{sheet name: rows} as LibreOffice exports every sheet to CSV."""
    outdir = cu.path("lo_csv")
    shutil.rmtree(outdir, ignore_errors=True)
    os.makedirs(outdir)
    profile = "file://" + cu.path("lo_profile")
    cmd = ["soffice", "-env:UserInstallation=" + profile, "--headless", "--convert-to",
           "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1",
           "--outdir", outdir, xls]
    subprocess.run(cmd, capture_output=True, text=True, timeout=240, check=True)
    stem = os.path.splitext(os.path.basename(xls))[0]
    out = {}
    for f in glob.glob(os.path.join(outdir, "*.csv")):
        name = os.path.basename(f)[len(stem) + 1:-4]
        with open(f, newline="", encoding="utf-8") as fh:
            out[name] = list(csv.reader(fh))
    return out


def libreoffice_convert(xls, fmt):
    """The workbook converted by LibreOffice into the format fmt; returns the new file's path."""
    outdir = cu.path("lo_" + fmt)
    shutil.rmtree(outdir, ignore_errors=True)
    os.makedirs(outdir)
    cmd = ["soffice", "-env:UserInstallation=file://" + cu.path("lo_profile"), "--headless", "--convert-to", fmt,
           "--outdir", outdir, xls]
    subprocess.run(cmd, capture_output=True, text=True, timeout=240, check=True)
    return os.path.join(outdir, os.path.splitext(os.path.basename(xls))[0] + "." + fmt)


def libreoffice_column_widths(xls):
    """Column widths in points of the first sheet as LibreOffice lays it out."""
    fods = libreoffice_convert(xls, "fods")
    ns = {"style": "urn:oasis:names:tc:opendocument:xmlns:style:1.0",
          "table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
          "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0"}
    root = ET.parse(fods).getroot()
    unit = {"in": 72.0, "cm": 72 / 2.54, "mm": 72 / 25.4, "pt": 1.0}
    styles = {}
    for st in root.iter("{%s}style" % ns["style"]):
        props = st.find("style:table-column-properties", ns)
        if props is not None:
            w = props.get("{%s}column-width" % ns["style"])
            num = re.match(r"([0-9.]+)([a-z]+)", w)
            styles[st.get("{%s}name" % ns["style"])] = float(num.group(1)) * unit[num.group(2)]
    table = root.find(".//table:table", ns)
    widths = []
    for col in table.findall("table:table-column", ns):
        repeat = int(col.get("{%s}number-columns-repeated" % ns["table"], "1"))
        widths += [styles.get(col.get("{%s}style-name" % ns["table"]), 0.0)] * min(repeat, 300)
    return widths


def libreoffice_shown_text(xls):
    """The text LibreOffice shows of a workbook: printed to PDF, read back by pdftotext."""
    pdf = libreoffice_convert(xls, "pdf")
    return subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True, text=True, check=True).stdout


class LibreOfficeReadsTheSameCells(unittest.TestCase):
    def test_numbers_in_narrow_columns_are_shown_whole(self):
        if not shutil.which("soffice"):
            self.skipTest("LibreOffice is not installed")
        # Columns of 7-digit figures 44 points apart: the grid's columns are
        # narrower than the figures in the sheet's default font.
        figures = ["%d" % (1234567 + 1111 * r + 7 * c) for r in range(6) for c in range(4)]
        parts = [pdfgen.text(72, 740, "Tight figures", "F2", 12)]
        for i, f in enumerate(figures):
            parts.append(pdfgen.text(72 + 44 * (i % 4), 700 - 14 * (i // 4), f))
        # A column of numbers 20 points wide, two of them wider figures
        # written as text ("12,273") with a word beside them further right.
        for r, no in enumerate(["1", "2", "12,273", "4", "15,606", "6"]):
            figures.append(no)
            parts.append(pdfgen.text(72, 560 - 14 * r, no, "F1", 9))
            parts.append(pdfgen.text(92 if len(no) < 2 else 110, 560 - 14 * r, "Item %d" % r, "F1", 9))
        pdf = cu.path("lo_narrow.pdf")
        pdfgen.write(pdf, ["".join(parts)])
        xls = cu.path("lo_narrow.xls")
        cu.convert(pdf, xls)
        shown = libreoffice_shown_text(xls)
        self.assertNotIn("###", shown)
        self.assertEqual([f for f in figures if f not in shown.split()], [], shown)


    def test_a_number_merged_across_narrow_columns_is_shown_whole(self):
        if not shutil.which("soffice"):
            self.skipTest("LibreOffice is not installed")
        # Three columns of short words 20 points apart; the figure below them
        # spans all three, merged, yet is wider than they are in the sheet.
        parts = []
        for r in range(5):
            for k, word in enumerate(("ab", "cd", "ef")):
                parts.append(pdfgen.text(72 + 20 * k, 700 - 14 * r, word))
        parts.append(pdfgen.text(72, 600, "12345678901234"))
        pdf = cu.path("lo_merged.pdf")
        pdfgen.write(pdf, ["".join(parts)])
        xls = cu.path("lo_merged.xls")
        sheet = cu.convert(pdf, xls).sheet_by_index(0)
        r, c = cu.find_number(sheet, 12345678901234)
        self.assertTrue(any(r0 == r and c0 == c and c1 > c + 1 for r0, _, c0, c1 in sheet.merged_cells))
        shown = libreoffice_shown_text(xls)
        self.assertNotIn("###", shown)
        self.assertIn("12345678901234", shown.split(), shown)

    def test_texts_and_numbers_match_xlrd(self):
        if not shutil.which("soffice"):
            self.skipTest("LibreOffice is not installed")
        content, _, _ = cu.two_column_page()
        pdf = cu.path("lo.pdf")
        pdfgen.write(pdf, [content, cu.numbers_page(), cu.fonts_page()] + pdfgen.sample_pages())
        xls = cu.path("lo.xls")
        book = cu.convert(pdf, xls)
        sheets = libreoffice_csv(xls)
        self.assertEqual(sorted(sheets), sorted(book.sheet_names()))
        compared = 0
        for sheet in book.sheets():
            rows = sheets[sheet.name]
            for (r, c), (t, v) in cu.cells(sheet).items():
                got = rows[r][c] if r < len(rows) and c < len(rows[r]) else None
                self.assertIsNotNone(got, (sheet.name, r, c, v))
                if t == xlrd.XL_CELL_NUMBER:
                    self.assertEqual(float(got), v, (sheet.name, r, c))
                else:
                    self.assertEqual(got.strip(), v.strip(), (sheet.name, r, c))
                compared += 1
            # Nothing LibreOffice shows is unknown to xlrd.
            shown = sum(1 for row in rows for x in row if x.strip())
            self.assertEqual(shown, len(cu.cells(sheet)), sheet.name)
        self.assertGreater(compared, 40)

    def test_columns_show_the_widths_of_the_page(self):
        if not shutil.which("soffice"):
            self.skipTest("LibreOffice is not installed")
        content, left, right = cu.two_column_page()
        pdf = cu.path("lo_widths.pdf")
        pdfgen.write(pdf, [content])
        xls = cu.path("lo_widths.xls")
        sheet = cu.convert(pdf, xls).sheet_by_index(0)
        _, lcol, _ = cu.find_text(sheet, left[0])
        _, rcol, _ = cu.find_text(sheet, right[0])
        widths = libreoffice_column_widths(xls)
        # The right column starts 258 points right of the left one on the page.
        self.assertAlmostEqual(sum(widths[lcol:rcol]), 330 - 72, delta=258 * 0.03)


if __name__ == "__main__":
    unittest.main()
