#!/usr/bin/python3
"""Opens the sample workbooks of xls_sample_writer with real readers.

usage: xls_readers.py xlrd|olefile|libreoffice|gnumeric SAMPLE_DIR
Exit code 77 when the reader is not installed (the test is then skipped).
"""
import csv
import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77


def load_long_texts(d):
    with open(os.path.join(d, "long.json"), encoding="utf-8") as f:
        return json.load(f)


def check_xlrd(d):
    try:
        import xlrd
    except ImportError:
        return SKIP
    book = xlrd.open_workbook(os.path.join(d, "basic.xls"), formatting_info=True)
    assert book.sheet_names() == ["Page_1", "Page_2", "Page_3"], book.sheet_names()
    s = book.sheet_by_index(0)
    assert s.cell_value(0, 0) == "Name"
    assert s.cell_value(0, 1) == "Caf\u00e9 \u20ac"
    assert s.cell_type(1, 0) == xlrd.XL_CELL_NUMBER and s.cell_value(1, 0) == 1234.5
    assert s.cell_value(1, 1) == -0.25
    assert s.cell_value(8, 2) == "Latin-1 \u00e9"
    assert sorted(s.merged_cells) == [(2, 3, 0, 4), (4, 6, 1, 3)], s.merged_cells
    assert s.colinfo_map[0].width == 5000 and s.colinfo_map[1].width == 2560
    assert s.rowinfo_map[2].height == 600, s.rowinfo_map[2].height
    assert s.rowinfo_map[7].height == 300
    xf = book.xf_list[s.cell_xf_index(2, 0)]
    font = book.font_list[xf.font_index]
    assert font.name == "Arial" and font.height == 240, (font.name, font.height)
    assert xf.alignment.hor_align == 1
    xf = book.xf_list[s.cell_xf_index(4, 1)]
    b = xf.border
    assert (b.top_line_style, b.bottom_line_style, b.left_line_style, b.right_line_style) == (2, 2, 2, 2)
    assert xf.alignment.text_wrapped == 1 and xf.alignment.vert_align == 0
    assert book.sheet_by_index(1).cell_value(0, 0) == 2
    assert book.sheet_by_index(2).nrows == 0

    book = xlrd.open_workbook(os.path.join(d, "long.xls"), formatting_info=True)
    s = book.sheet_by_index(0)
    texts = load_long_texts(d)
    for i, t in enumerate(texts):
        got = s.cell_value(i, 0)
        assert got == t, "long text %d: %d characters read, %d written" % (i, len(got), len(t))
    assert s.cell_value(len(texts), 0) == 42

    book = xlrd.open_workbook(os.path.join(d, "many.xls"), formatting_info=True, on_demand=True)
    assert book.nsheets == 1400
    for i in (0, 1, 699, 1399):
        s = book.sheet_by_index(i)
        assert book.sheet_names()[i] == "Page_%d" % (i + 1)
        assert s.cell_value(0, 0) == i + 1
        assert s.cell_value(1, 0) == "sheet " + chr(ord("a") + (i + 1) % 26)

    book = xlrd.open_workbook(os.path.join(d, "fonts.xls"), formatting_info=True)
    s = book.sheet_by_index(0)
    assert len(book.font_list) < 20, len(book.font_list)
    assert len(book.xf_list) < 40, len(book.xf_list)
    names = ["Arial", "Times New Roman", "Courier New"]
    heights = [200, 240, 320]
    for i in range(0, 10000, 7):
        r, c = divmod(i, 50)
        assert s.cell_value(r, c) == "t%d" % (i % 3)
        xf = book.xf_list[s.cell_xf_index(r, c)]
        f = book.font_list[xf.font_index]
        assert (f.name, f.height) == (names[i % 3], heights[i % 3]), (i, f.name, f.height)
        assert xf.alignment.hor_align == 1 and xf.alignment.vert_align == 0

    book = xlrd.open_workbook(os.path.join(d, "limits.xls"), formatting_info=True)
    s = book.sheet_by_index(0)
    assert (s.nrows, s.ncols) == (65536, 256), (s.nrows, s.ncols)
    assert s.cell_value(65535, 255) == "last" and s.cell_value(65535, 0) == 65535
    assert s.colinfo_map[255].width == 1000

    book = xlrd.open_workbook(os.path.join(d, "empty.xls"), formatting_info=True)
    assert book.sheet_by_index(0).nrows == 0

    book = xlrd.open_workbook(os.path.join(d, "big.xls"), formatting_info=True)
    s = book.sheet_by_index(0)
    assert s.nrows == 65536
    for r in (0, 1, 4095, 4096, 65535):
        t = s.cell_value(r, 0)
        assert len(t) == 250 and t.startswith("row " + chr(ord("a") + r % 26)), (r, t[:10])
        assert t.endswith(chr(ord("A") + r % 26))
    return 0


def check_olefile(d):
    try:
        import olefile
    except ImportError:
        return SKIP
    for path in sorted(glob.glob(os.path.join(d, "*.xls"))):
        assert olefile.isOleFile(path), path
        ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_INCORRECT)
        assert not ole.parsing_issues, (path, ole.parsing_issues)
        streams = sorted(ole.listdir())
        assert streams == [["\x05DocumentSummaryInformation"], ["\x05SummaryInformation"], ["Workbook"]], streams
        meta = ole.get_metadata()
        app = meta.creating_application
        if isinstance(app, bytes):
            app = app.decode("utf-8", "replace")
        assert app == "Tabrixa", (path, meta.creating_application)
        assert meta.codepage == 1200 and meta.codepage_doc == 1200
        assert meta.create_time is not None and meta.create_time.year >= 2020, meta.create_time
        data = ole.openstream("Workbook").read()
        assert data[:2] == b"\x09\x08", path
        ole.close()
    # The big sample lists its FAT sectors in two DIFAT sectors.
    with open(os.path.join(d, "big.xls"), "rb") as f:
        header = f.read(512)
    assert int.from_bytes(header[72:76], "little") == 2, header[68:76]
    assert int.from_bytes(header[44:48], "little") > 109 + 127
    return 0


def read_csv(path, encoding="utf-8"):
    with open(path, newline="", encoding=encoding) as f:
        return list(csv.reader(f))


def compare_long(rows, texts, reader):
    for i, t in enumerate(texts):
        got = rows[i][0] if i < len(rows) and rows[i] else ""
        assert got == t, "%s: long text %d: %d characters read, %d written" % (reader, i, len(got), len(t))
    assert float(rows[len(texts)][0]) == 42


def check_libreoffice(d):
    exe = shutil.which("libreoffice") or shutil.which("soffice")
    if not exe:
        return SKIP
    texts = load_long_texts(d)
    with tempfile.TemporaryDirectory(prefix="xls_lo_") as tmp:
        profile = "file://" + os.path.join(tmp, "profile")
        out = os.path.join(tmp, "out")
        for name in ("long.xls", "basic.xls"):
            subprocess.run([exe, "-env:UserInstallation=" + profile, "--headless", "--convert-to",
                            "csv:Text - txt - csv (StarCalc):44,34,76", "--outdir", out,
                            os.path.join(d, name)], check=True, timeout=300,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        compare_long(read_csv(os.path.join(out, "long.csv")), texts, "LibreOffice")
        rows = read_csv(os.path.join(out, "basic.csv"))
        assert rows[0][:2] == ["Name", "Caf\u00e9 \u20ac"], rows[0]
        assert float(rows[1][0]) == 1234.5
        assert rows[8][2] == "Latin-1 \u00e9"
    return 0


def check_gnumeric(d):
    exe = shutil.which("ssconvert")
    if not exe:
        return SKIP
    texts = load_long_texts(d)
    with tempfile.TemporaryDirectory(prefix="xls_gn_") as tmp:
        out = os.path.join(tmp, "long.csv")
        subprocess.run([exe, os.path.join(d, "long.xls"), out], check=True, timeout=300,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        compare_long(read_csv(out), texts, "Gnumeric")
        out = os.path.join(tmp, "basic.csv")
        subprocess.run([exe, os.path.join(d, "basic.xls"), out], check=True, timeout=300,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        rows = read_csv(out)
        assert rows[0][:2] == ["Name", "Caf\u00e9 \u20ac"], rows[0]
        assert float(rows[1][0]) == 1234.5
    return 0


def main():
    checks = {"xlrd": check_xlrd, "olefile": check_olefile, "libreoffice": check_libreoffice,
              "gnumeric": check_gnumeric}
    if len(sys.argv) != 3 or sys.argv[1] not in checks:
        print(__doc__)
        return 2
    rc = checks[sys.argv[1]](sys.argv[2])
    print("%s: %s" % (sys.argv[1], "skipped" if rc == SKIP else "ok"))
    return rc


if __name__ == "__main__":
    sys.exit(main())
