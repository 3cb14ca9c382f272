"""LibreOffice reads the same texts and numbers from a converted workbook as xlrd."""
import csv
import glob
import os
import shutil
import subprocess
import unittest

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


class LibreOfficeReadsTheSameCells(unittest.TestCase):
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


if __name__ == "__main__":
    unittest.main()
