"""Shared pieces of the end-to-end conversion tests: PDF fixtures, running
tbxagent, and reading the workbook back with xlrd."""
import os
import subprocess
import sys

SOURCE_DIR = os.environ["TBX_SOURCE_DIR"]
AGENT = os.environ["TBX_AGENT"]
WORK = os.environ.get("TBX_WORK_DIR", "/tmp/tbx_conversion")
sys.path.insert(0, os.path.join(SOURCE_DIR, "tools"))
import merges_check  # noqa: E402
import pdfgen  # noqa: E402
import xlrd  # noqa: E402

os.makedirs(WORK, exist_ok=True)


def path(name):
    return os.path.join(WORK, name)


def convert(pdf, xls, pages=None, env=None, options=()):
    """Runs tbxagent; returns the opened workbook (formatting info on), in which no merge hides a value."""
    if os.path.exists(xls):
        os.remove(xls)
    cmd = [AGENT, "--src=" + pdf, "--dest=" + xls] + list(options)
    if pages:
        cmd.append("--pages=" + pages)
    run_env = dict(os.environ)
    run_env.update(env or {})
    res = subprocess.run(cmd, capture_output=True, text=True, timeout=300, env=run_env)
    if res.returncode != 0:
        raise AssertionError("tbxagent failed (%d): %s %s" % (res.returncode, res.stdout, res.stderr))
    book = xlrd.open_workbook(xls, formatting_info=True)
    # Readers show only a merged range's first cell.
    hidden = merges_check.hidden_values(book)
    if hidden:
        raise AssertionError("merged ranges hide values: %r" % hidden)
    return book


def cells(sheet):
    """{(row, col): (ctype, value)} of the non-empty cells."""
    out = {}
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                continue
            if cell.ctype == xlrd.XL_CELL_TEXT and not cell.value.strip():
                continue
            out[(r, c)] = (cell.ctype, cell.value)
    return out


def find_text(sheet, text):
    """(row, col, cell) of the first text cell whose stripped text is `text`."""
    for (r, c), (t, v) in sorted(cells(sheet).items()):
        if t == xlrd.XL_CELL_TEXT and v.strip() == text:
            return r, c, sheet.cell(r, c)
    raise AssertionError("%r not in sheet %s: %s" % (text, sheet.name, sorted(cells(sheet).values())))


def find_number(sheet, value):
    for (r, c), (t, v) in sorted(cells(sheet).items()):
        if t == xlrd.XL_CELL_NUMBER and v == value:
            return r, c
    raise AssertionError("number %r not in sheet %s: %s" % (value, sheet.name, sorted(cells(sheet).values())))


def two_column_page():
    left = ["Left column line number %d of the report" % i for i in range(10)]
    right = ["Right column entry %d with its words" % i for i in range(10)]
    parts = []
    for i in range(10):
        parts.append(pdfgen.text(72, 700 - 14 * i, left[i], "F1", 10))
        parts.append(pdfgen.text(330, 700 - 14 * i, right[i], "F1", 10))
    return "".join(parts), left, right


NUMBER_LINES = [("1234.5", 1234.5), ("12 kg", None), ("-42", -42.0), ("inf", None), ("0x1A", None),
                ("nan", None), ("2.5e3", 2500.0), ("1,5", None), ("4111111111111111", None), ("02134", None),
                ("12.50", 12.5)]


def numbers_page():
    return "".join(pdfgen.text(72, 700 - 24 * i, s, "F1", 10) for i, (s, _) in enumerate(NUMBER_LINES))


def fonts_page():
    return (pdfgen.text(72, 700, "Times text here", "F3", 12) +
            pdfgen.text(72, 660, "Courier text here", "F4", 10) +
            pdfgen.text(72, 620, "Helvetica text here", "F1", 14))


def to_unicode_cmap(digits, pairs):
    """A ToUnicode CMap stream body for codes of `digits` hex digits: (code, UTF-16BE hex) pairs."""
    rows = "".join("<%0*X> <%s>\n" % (digits, code, hex16) for code, hex16 in pairs)
    body = ("/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
            "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
            "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
            "1 begincodespacerange\n<%s> <%s>\nendcodespacerange\n"
            "%d beginbfchar\n%sendbfchar\nendcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n"
            % ("0" * digits, "F" * digits, len(pairs), rows))
    return body.encode()


def stream(body):
    return b"<< /Length %d >>\nstream\n" % len(body) + body + b"\nendstream"


# Codes 0x41 and 0x42 of font F5 map to U+1D400 and U+1F600 through its ToUnicode map.
ASTRAL = "\U0001D400\U0001F600"
_CMAP = to_unicode_cmap(2, [(0x41, "D835DC00"), (0x42, "D83DDE00")])


def astral_pdf(out_path, content=None, width=612):
    """One page: by default 'AB' in F5 (two characters above U+FFFF), then
    'plain' in F1."""
    if content is None:
        content = (b"BT /F5 12 Tf 72 700 Td (AB) Tj ET\n"
                   b"BT /F1 12 Tf 72 660 Td (plain words) Tj ET\n")
    objs = [
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
        stream(_CMAP),
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding /ToUnicode 2 0 R >>",
        stream(content),
        b"<< /Type /Page /Parent 6 0 R /MediaBox [0 0 %d 792] /Contents 4 0 R " % width +
        b"/Resources << /Font << /F1 1 0 R /F5 3 0 R >> >> >>",
        b"<< /Type /Pages /Kids [5 0 R] /Count 1 >>",
        b"<< /Type /Catalog /Pages 6 0 R >>",
    ]
    with open(out_path, "wb") as f:
        f.write(pdfgen.assemble(objs, 7))


def mapped_pdf(out_path, content, pairs, base=b"Helvetica /Encoding /WinAnsiEncoding"):
    """One page with fonts F1 (Helvetica), F3 (Times-Roman) and M1 (`base`,
    Helvetica by default, whose ToUnicode map gives the (code, UTF-16BE hex)
    pairs; other codes read as the font's encoding gives them)."""
    objs = [
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
        stream(to_unicode_cmap(2, pairs)),
        b"<< /Type /Font /Subtype /Type1 /BaseFont /%s /ToUnicode 2 0 R >>" % base,
        stream(content),
        b"<< /Type /Page /Parent 6 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
        b"/Resources << /Font << /F1 1 0 R /M1 3 0 R /F3 8 0 R >> >> >>",
        b"<< /Type /Pages /Kids [5 0 R] /Count 1 >>",
        b"<< /Type /Catalog /Pages 6 0 R >>",
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman /Encoding /WinAnsiEncoding >>",
    ]
    with open(out_path, "wb") as f:
        f.write(pdfgen.assemble(objs, 7))


def glyph_index_pdf(out_path, content):
    """One page with fonts F1 (Helvetica), G1 (Arial coded by glyph index: a
    Type 0 font with Identity-H, not embedded, without a map) and S1 (Symbol,
    whose map gives U+0001 for code 1 and U+0013 for code 2)."""
    objs = [
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
        b"<< /Type /FontDescriptor /FontName /Arial /Flags 32 /FontBBox [-665 -325 2000 1040] "
        b"/ItalicAngle 0 /Ascent 905 /Descent -212 /CapHeight 716 /StemV 80 >>",
        b"<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Arial /CIDSystemInfo "
        b"<< /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /FontDescriptor 2 0 R /DW 556 >>",
        b"<< /Type /Font /Subtype /Type0 /BaseFont /Arial /Encoding /Identity-H /DescendantFonts [3 0 R] >>",
        stream(to_unicode_cmap(2, [(1, "0001"), (2, "0013")])),
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Symbol /ToUnicode 5 0 R >>",
        stream(content),
        b"<< /Type /Page /Parent 9 0 R /MediaBox [0 0 612 792] /Contents 7 0 R "
        b"/Resources << /Font << /F1 1 0 R /G1 4 0 R /S1 6 0 R >> >> >>",
        b"<< /Type /Pages /Kids [8 0 R] /Count 1 >>",
        b"<< /Type /Catalog /Pages 9 0 R >>",
    ]
    with open(out_path, "wb") as f:
        f.write(pdfgen.assemble(objs, 10))


# Right-to-left text: codes a to d of fonts H1 and H2 show HEBREW[i]. H1 names
# each bracket by its shape; H2, as writers that mirror glyphs themselves do,
# names a bracket's shape by its mirror image, the character read.
HEBREW = "\u05e9\u05dc\u05d5\u05dd"


def hebrew_pdf(out_path, *pages):
    """Pages (content streams, bytes) with fonts H1 and H2."""
    letters = [(0x61 + i, "%04X" % ord(c)) for i, c in enumerate(HEBREW)]
    objs = [stream(to_unicode_cmap(2, letters)),
            stream(to_unicode_cmap(2, letters + [(0x28, "0029"), (0x29, "0028")])),
            b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding /ToUnicode 1 0 R >>",
            b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding /ToUnicode 2 0 R >>"]
    pages_id = len(objs) + 1 + 2 * len(pages)
    kids = []
    for content in pages:
        objs.append(stream(content))
        objs.append(b"<< /Type /Page /Parent %d 0 R /MediaBox [0 0 612 792] /Contents %d 0 R "
                    b"/Resources << /Font << /H1 3 0 R /H2 4 0 R >> >> >>" % (pages_id, len(objs)))
        kids.append(b"%d 0 R" % len(objs))
    objs.append(b"<< /Type /Pages /Kids [%s] /Count %d >>" % (b" ".join(kids), len(kids)))
    objs.append(b"<< /Type /Catalog /Pages %d 0 R >>" % pages_id)
    with open(out_path, "wb") as f:
        f.write(pdfgen.assemble(objs, len(objs)))


# Vertical writing: font V1 is a Type 0 font with the vertical CMap Identity-V and
# no font program; code i + 1 shows VERTICAL[i].
VERTICAL = "縦書きの日本語文章を右から左へ読みます"
VERTICAL_COLUMNS = [VERTICAL[0:7], VERTICAL[7:13], VERTICAL[13:19]]


def vertical_column(x, y, chars, size=12):
    """A column of vertical text whose first glyph's top centre is at (x, y)."""
    codes = "".join("%04X" % (VERTICAL.index(c) + 1) for c in chars)
    return "BT /V1 %g Tf %g %g Td <%s> Tj ET\n" % (size, x, y, codes)


def vertical_pdf(out_path, pages):
    """Pages (content streams) with fonts F1 (Helvetica) and V1 (vertical writing)."""
    objs = [
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
        stream(to_unicode_cmap(4, [(i + 1, "%04X" % ord(c)) for i, c in enumerate(VERTICAL)])),
        b"<< /Type /FontDescriptor /FontName /TestMincho /Flags 4 /FontBBox [0 -120 1000 880] "
        b"/ItalicAngle 0 /Ascent 880 /Descent -120 /CapHeight 700 /StemV 80 >>",
        b"<< /Type /Font /Subtype /CIDFontType0 /BaseFont /TestMincho /CIDSystemInfo "
        b"<< /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /FontDescriptor 3 0 R /DW 1000 >>",
        b"<< /Type /Font /Subtype /Type0 /BaseFont /TestMincho /Encoding /Identity-V "
        b"/DescendantFonts [4 0 R] /ToUnicode 2 0 R >>",
    ]
    pages_id = len(objs) + 1 + 2 * len(pages)
    kids = []
    for content in pages:
        objs.append(stream(content.encode()))
        objs.append(b"<< /Type /Page /Parent %d 0 R /MediaBox [0 0 612 792] /Contents %d 0 R "
                    b"/Resources << /Font << /F1 1 0 R /V1 5 0 R >> >> >>" % (pages_id, len(objs)))
        kids.append(b"%d 0 R" % len(objs))
    objs.append(b"<< /Type /Pages /Kids [%s] /Count %d >>" % (b" ".join(kids), len(kids)))
    objs.append(b"<< /Type /Catalog /Pages %d 0 R >>" % pages_id)
    with open(out_path, "wb") as f:
        f.write(pdfgen.assemble(objs, len(objs)))


def pdftotext_chars(pdf, page):
    """The characters pdftotext finds on a page, white space aside, as a sorted text."""
    res = subprocess.run(["pdftotext", "-f", str(page), "-l", str(page), "-enc", "UTF-8", pdf, "-"],
                         capture_output=True, check=True)
    return "".join(sorted(c for c in res.stdout.decode("utf-8") if not c.isspace()))


def sheet_chars(sheet):
    """The characters of a sheet's cells, white space aside, as a sorted text."""
    out = []
    for t, v in cells(sheet).values():
        text = v if t == xlrd.XL_CELL_TEXT else ("%d" % v if v == int(v) else repr(v))
        out.extend(c for c in text if not c.isspace())
    return "".join(sorted(out))


def decimal_comma_env():
    """Environment of a German locale (compiled into the work folder when the
    system has none), or None when it cannot be had."""
    locdir = path("locales")
    target = os.path.join(locdir, "de_DE.UTF-8")
    if not os.path.isdir(target):
        os.makedirs(locdir, exist_ok=True)
        subprocess.run(["localedef", "-i", "de_DE", "-f", "UTF-8", target], capture_output=True)
    if not os.path.isdir(target):
        return None
    return {"LOCPATH": locdir, "LC_ALL": "de_DE.UTF-8", "LANG": "de_DE.UTF-8"}
