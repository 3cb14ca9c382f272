"""End-to-end conversions through tbxagent, read back with xlrd."""
import unittest

import xlrd

import conversion_util as cu
from conversion_util import pdfgen

# Column widths count 1/256 of the digit 0 of the workbook's default font.
DIGIT_EM = {"Verdana": 0.6357, "Arial": 0.5562}


def points_per_unit(book):
    font = book.font_list[0]
    return DIGIT_EM.get(font.name, 0.556) * font.height / 20.0 / 256


class SheetNames(unittest.TestCase):
    def test_sheets_follow_the_count_of_converted_pages(self):
        pdf = cu.path("twelve.pdf")
        pdfgen.write(pdf, [pdfgen.text(72, 700, "Content of page %d" % (i + 1)) for i in range(12)])
        book = cu.convert(pdf, cu.path("twelve.xls"), pages="5,9,12")
        self.assertEqual(book.sheet_names(), ["Page_1", "Page_2", "Page_3"])
        for sheet, page in zip(book.sheets(), (5, 9, 12)):
            cu.find_text(sheet, "Content of page %d" % page)


class TwoColumns(unittest.TestCase):
    def test_columns_stay_side_by_side_row_by_row(self):
        content, left, right = cu.two_column_page()
        pdf = cu.path("columns.pdf")
        pdfgen.write(pdf, [content])
        sheet = cu.convert(pdf, cu.path("columns.xls")).sheet_by_index(0)
        lpos = [cu.find_text(sheet, t)[:2] for t in left]
        rpos = [cu.find_text(sheet, t)[:2] for t in right]
        self.assertEqual(len({c for _, c in lpos}), 1, lpos)
        self.assertEqual(len({c for _, c in rpos}), 1, rpos)
        self.assertLess(lpos[0][1], rpos[0][1])
        self.assertEqual([r for r, _ in lpos], [r for r, _ in rpos])
        self.assertEqual([r for r, _ in lpos], sorted(r for r, _ in lpos))
        self.assertEqual(len(set(r for r, _ in lpos)), 10)

    def test_column_widths_have_the_page_sizes(self):
        content, _, _ = cu.two_column_page()
        pdf = cu.path("widths.pdf")
        pdfgen.write(pdf, [content])
        book = cu.convert(pdf, cu.path("widths.xls"))
        sheet = book.sheet_by_index(0)
        widths = {c: info.width for c, info in sheet.colinfo_map.items()}
        self.assertGreaterEqual(len(widths), 2, widths)
        # The right column starts 258 points right of the left one.
        _, lcol, _ = cu.find_text(sheet, "Left column line number 0 of the report")
        _, rcol, _ = cu.find_text(sheet, "Right column entry 0 with its words")
        span = sum(widths.get(c, 0) for c in range(lcol, rcol)) * points_per_unit(book)
        self.assertAlmostEqual(span, 330 - 72, delta=3)
        # Font heights and row heights stay within the format's units.
        for c in sheet.colinfo_map.values():
            self.assertLessEqual(c.width, 255 * 256)


class ListRows(unittest.TestCase):
    def test_a_label_without_value_keeps_the_later_values_on_their_rows(self):
        # A receipt: a title, then labels and prices in two columns; item 3 has no price.
        parts = [pdfgen.text(72, 720, "Receipt", "F2", 14)]
        for i in range(1, 9):
            parts.append(pdfgen.text(72, 690 - 18 * i, "Item %d" % i))
            if i != 3:
                parts.append(pdfgen.text(300, 690 - 18 * i, "%d.25" % (10 * i)))
        pdf = cu.path("pricelist.pdf")
        pdfgen.write(pdf, ["".join(parts)])
        sheet = cu.convert(pdf, cu.path("pricelist.xls")).sheet_by_index(0)
        numbers = {r: v for (r, c), (t, v) in cu.cells(sheet).items() if t == xlrd.XL_CELL_NUMBER}
        self.assertNotIn(cu.find_text(sheet, "Receipt")[0], numbers)
        for i in range(1, 9):
            row = cu.find_text(sheet, "Item %d" % i)[0]
            self.assertEqual(numbers.get(row), None if i == 3 else 10 * i + 0.25, "Item %d" % i)

    def test_values_centred_beside_labels_of_one_two_and_three_lines(self):
        # Without ruled tables: labels wrapped over lines (11 points apart,
        # 9 pt), each row's figures centred beside them, set flush right in
        # groups of digits parted by a thin space (two tenths of an em)
        # drawn as a string of its own, or by a no-break space inside one.
        size, thin = 9, 1.8

        def figure(right, y, value):
            if "\xa0" in value:
                return pdfgen.text(right - 0.556 * size * (len(value) - 0.5), y, value, "F1", size)
            out, x = [], right
            for group in reversed(value.split(" ")):
                x -= 0.556 * size * len(group)
                out.append(pdfgen.text(x, y, group, "F1", size))
                x -= thin
            return "".join(out)
        rows = [(["Carbon dioxide (CO2)"], "32 000 000", "12.5"), (["Methane (CH4)"], "7\xa0500", "3.1"),
                (["Chlorofluorocarbons", "(CFCs)"], "5 000", "0.4"), (["Nitrous oxide (N2O)"], "500 000", "6.0"),
                (["Hydrofluorocarbons and", "perfluorocarbons", "(HFCs and PFCs)"], "12 000", "1.1"),
                (["Sulphur hexafluoride", "(SF6)"], "250", "0.2"), (["Ozone (O3)"], "1 200", "0.9")]
        parts = [pdfgen.text(72, 740, "Emissions by gas", "F2", 11), pdfgen.text(72, 715, "Gas", "F2", size),
                 pdfgen.text(300, 715, "Tonnes", "F2", size), pdfgen.text(380, 715, "Share", "F2", size)]
        top = 700
        for lines, value, share in rows:
            for i, line in enumerate(lines):
                parts.append(pdfgen.text(72, top - 9 - 11 * i, line, "F1", size))
            middle = top - 9 - 11 * (len(lines) - 1) / 2
            parts += [figure(340, middle, value), pdfgen.text(380, middle, share, "F1", size)]
            top -= 11 * len(lines) + 6
        pdf = cu.path("centred.pdf")
        pdfgen.write(pdf, ["".join(parts)])
        sheet = cu.convert(pdf, cu.path("centred.xls"), options=["--no_graph"]).sheet_by_index(0)
        got = cu.cells(sheet)
        places, last = set(), -1
        for lines, value, share in rows:
            r, c, _ = cu.find_text(sheet, " ".join(lines))
            cells = sorted((col, v) for (row, col), (_, v) in got.items() if row == r)
            text = value.replace("\xa0", " ")
            self.assertEqual([v for _, v in cells], [" ".join(lines), text if " " in text else float(text), float(share)])
            places.add(tuple(col for col, _ in cells))
            self.assertGreater(r, last)
            last = r
        self.assertEqual(len(places), 1, places)


    def test_texts_of_three_sizes_side_by_side_share_their_row(self):
        # Page footers of 17, 12 and 11 pt whose base lines step down 3 and
        # 2 points: neighbours share a row, the outer two alone would not.
        # Beside them a 24 pt title whose box covers two 9 pt rows stays on
        # the row of its base line.
        parts = [pdfgen.text(45, 43.3, "Left footer", "F1", 17), pdfgen.text(200, 40.4, "Middle footer", "F1", 12),
                 pdfgen.text(330, 38.2, "Right footer", "F1", 11),
                 pdfgen.text(30, 656, "INVOICE", "F2", 24), pdfgen.text(300, 668, "Invoice Date", "F1", 9),
                 pdfgen.text(300, 657, "Jun 3, 2013", "F1", 9), pdfgen.text(450, 667, "Demo Inc.", "F1", 9),
                 pdfgen.text(450, 656, "Main Street", "F1", 9)]
        pdf = cu.path("footers.pdf")
        pdfgen.write(pdf, ["".join(parts)])
        sheet = cu.convert(pdf, cu.path("footers.xls")).sheet_by_index(0)
        rows = {s: cu.find_text(sheet, s)[0] for s in ("Left footer", "Middle footer", "Right footer", "INVOICE",
                                                       "Invoice Date", "Jun 3, 2013", "Demo Inc.", "Main Street")}
        self.assertEqual(rows["Left footer"], rows["Middle footer"])
        self.assertEqual(rows["Left footer"], rows["Right footer"])
        self.assertEqual(rows["INVOICE"], rows["Jun 3, 2013"])
        self.assertEqual(rows["Invoice Date"], rows["Demo Inc."])
        self.assertEqual(rows["Jun 3, 2013"], rows["Main Street"])


class UnruledTable(unittest.TestCase):
    def test_a_gap_every_row_shows_parts_two_columns_of_figures_and_their_header(self):
        # Two columns of figures set flush right at 220 and 250.5 (9 pt): the
        # widest figure of the second column starts 8 points after the first,
        # the header "Count" 4.5 points after "Share". On the second page one
        # header spans both columns and stays whole.
        def right(x, y, s, font="F1"):
            em = {"Share": 2.779, "Count": 2.888}.get(s) or sum(0.278 if c in ".," else 0.556 for c in s)
            return pdfgen.text(x - em * 9, y, s, font, 9)
        rows = [("Belgium", "15.9", "21"), ("Czech Republic", "11.0", "9"), ("Denmark", "103.5", "17"),
                ("Germany", "8.8", "1,203"), ("Estonia", "14.1", "3"), ("Ireland", "6.6", "45")]
        body = [pdfgen.text(72, 740, "Indicators by country", "F2", 11)]
        for i, (label, a, b) in enumerate(rows):
            y = 700 - 12 * i
            body += [pdfgen.text(72, y, label, "F1", 9), right(220, y, a), right(250.5, y, b)]
        heads = right(220, 716, "Share", "F2") + right(250.5, 716, "Count", "F2")
        spanning = pdfgen.text(196, 716, "Figures of the year", "F2", 9)
        pdf = cu.path("unruled_figures.pdf")
        pdfgen.write(pdf, ["".join(body) + heads, "".join(body) + spanning])
        book = cu.convert(pdf, cu.path("unruled_figures.xls"))
        for page, sheet in enumerate(book.sheets()):
            got = cu.cells(sheet)
            places = set()
            for label, a, b in rows:
                row, col, _ = cu.find_text(sheet, label)
                places.add(tuple(c for (r, c) in sorted(got) if r == row and c > col))
            self.assertEqual(len(places), 1, places)
            columns = places.pop()
            self.assertEqual(len(columns), 2, columns)
            if page == 0:
                self.assertEqual([cu.find_text(sheet, h)[1] for h in ("Share", "Count")], list(columns))
            else:
                cu.find_text(sheet, "Figures of the year")


    def test_rows_crossing_a_column_gap_are_parted_where_the_others_are(self):
        # Drawn as a statistics appendix draws it (8.5 pt): a sentence over
        # the whole table in its block, flush-right columns, a column of
        # one-digit minima (narrower than 10 points) 12 points right of the
        # one before, a title whose right end lies 3 points inside that
        # column, a label reaching within 16 points of its figure, and a
        # bold total row whose wider figures leave 4 points between them.
        size = 8.5

        def width(s):
            return sum(0.278 if c in ".,()" else 0.556 if c.isdigit() else 0.5 for c in s) * size

        def right(x, y, s, font="F1"):
            return pdfgen.text(x - width(s), y, s, font, size)

        def centre(x, y, s, font="F1"):
            return pdfgen.text(x - width(s) / 2, y, s, font, size)
        header = ("Variable", "Mean", "Std. Dev.", "Min", "Max")
        rows = [("Age", "50.8", "15.9", "21", "90"), ("Men", "0.47", "0.50", "0", "1"),
                ("East", "0.28", "0.45", "0", "1"), ("Household size", "2.43", "1.22", "1", "9"),
                ("Post secondary education", "0.12", "0.33", "0", "1"),
                ("Gross wealth (Euro)", "187,281", "384,198", "0", "7,720,000"),
                ("Gross financial wealth (Euro)", "38,855", "114,128", "0", "2,870,000")]
        total = ("Total", "187,281.5", "1,384,198", "12,345", "9,500,000")
        body = [pdfgen.text(83, 740, "Appendix C: Summary Statistics", "F4", 14),
                pdfgen.text(72, 712, "This table contains summary statistics for 2,012 respondents.", "F1", size)]
        for i, row in enumerate([header] + rows + [total]):
            y, font = 700 - 11 * i, "F2" if row is total else "F1"
            body += [pdfgen.text(72, y, row[0], "F2" if row is total else "F4", size), right(262, y, row[1], font),
                     right(320, y, row[2], font), centre(337, y, row[3], font), centre(400, y, row[4], font)]
        pdf = cu.path("crossing_rows.pdf")
        pdfgen.write(pdf, ["".join(body)])
        sheet = cu.convert(pdf, cu.path("crossing_rows.xls")).sheet_by_index(0)
        got = cu.cells(sheet)
        columns = None
        for row in [header] + rows + [total]:
            r, c, _ = cu.find_text(sheet, row[0])
            cells = sorted((col, v) for (rr, col), (_, v) in got.items() if rr == r)
            texts = [v if isinstance(v, str) else "%g" % v for _, v in cells]
            self.assertEqual(texts, [row[0]] + ["%g" % float(v) if "," not in v and v[0].isdigit() else v
                                               for v in row[1:]])
            if columns is None:
                columns = [col for col, _ in cells]
            self.assertEqual([col for col, _ in cells], columns, row[0])

class JustifiedText(unittest.TestCase):
    def test_the_last_word_of_a_justified_line_stays_in_its_cell(self):
        # Two columns of justified Courier (6 points a character); two lines
        # of the left one end with "the", flush with the margin, one above the other.
        def justified(x0, x1, y, line):
            words = line.split()
            gap = (x1 - x0 - 6 * sum(len(w) for w in words)) / (len(words) - 1)
            out, x = [], x0
            for w in words:
                out.append(pdfgen.text(x, y, w, "F4", 10))
                x += 6 * len(w) + gap
            return "".join(out)
        left = ["In most of the regions the monthly", "data streams appear unaware of the",
                "changes made by the offices and the", "readers of these reports need care"]
        right = ["Figures for the smaller countries", "are estimates based on partial",
                 "returns and should be read with", "care as the samples are small"]
        page = "".join(justified(72, 290, 700 - 12 * i, l) + justified(320, 520, 700 - 12 * i, r)
                       for i, (l, r) in enumerate(zip(left, right)))
        pdf = cu.path("justified.pdf")
        pdfgen.write(pdf, [page + pdfgen.text(72, 652, "with every figure.", "F4", 10)])
        sheet = cu.convert(pdf, cu.path("justified.xls")).sheet_by_index(0)
        for line in left + right:
            cu.find_text(sheet, line)


class Numbers(unittest.TestCase):
    def check(self, env=None):
        pdf = cu.path("numbers.pdf")
        pdfgen.write(pdf, [cu.numbers_page()])
        sheet = cu.convert(pdf, cu.path("numbers.xls"), env=env).sheet_by_index(0)
        for text, value in cu.NUMBER_LINES:
            if value is None:
                cu.find_text(sheet, text)
            else:
                cu.find_number(sheet, value)
        self.assertEqual(sum(1 for t, _ in cu.cells(sheet).values() if t == xlrd.XL_CELL_NUMBER),
                         sum(1 for _, v in cu.NUMBER_LINES if v is not None))

    def test_finite_decimal_numbers_become_number_cells(self):
        self.check()

    def test_a_decimal_comma_locale_changes_nothing(self):
        env = cu.decimal_comma_env()
        if env is None:
            self.skipTest("no locale with a decimal comma")
        self.check(env)


class Characters(unittest.TestCase):
    def test_kerned_characters_shown_one_per_string_stay_one_word(self):
        # Typesetters write "51.24" as one string per character with small
        # kerning steps; the sheet holds the number, not "5 1 .2 4".
        kerned = ("BT /F1 10 Tf 72 700 Td [(5)-4(1)-4(.)-2(2)-4(4)] TJ ET\n"
                  "BT /F1 10 Tf 72 650 Td [(C)-14(r)-16(e)-18(d)-21(i)-11(t)-11( )-32(D)-30(a)-18(y)] TJ ET\n")
        pdf = cu.path("kerned.pdf")
        pdfgen.write(pdf, [kerned])
        sheet = cu.convert(pdf, cu.path("kerned.xls")).sheet_by_index(0)
        cu.find_number(sheet, 51.24)
        cu.find_text(sheet, "Credit Day")

    def test_characters_above_the_basic_plane_survive(self):
        pdf = cu.path("astral.pdf")
        cu.astral_pdf(pdf)
        sheet = cu.convert(pdf, cu.path("astral.xls")).sheet_by_index(0)
        texts = [v for t, v in cu.cells(sheet).values() if t == xlrd.XL_CELL_TEXT]
        self.assertIn(cu.ASTRAL, [t.strip() for t in texts], texts)
        cu.find_text(sheet, "plain words")

    def test_a_long_cell_of_such_characters_reads_back_whole(self):
        # Over 4110 UTF-16 units the shared string goes on in a CONTINUE
        # record; the leading "C" puts the record end between two halves.
        text = "C" + "\U0001D400" * 2100
        pdf = cu.path("astral_long.pdf")
        cu.astral_pdf(pdf, b"BT /F5 6 Tf 10 700 Td (C" + b"A" * 2100 + b") Tj ET\n", width=14400)
        sheet = cu.convert(pdf, cu.path("astral_long.xls")).sheet_by_index(0)
        self.assertEqual([v.strip() for _, v in cu.cells(sheet).values()], [text])

    def test_brackets_of_right_to_left_text_read_as_the_page_shows_them(self):
        # The first two lines show "(shalom)": the page draws, left to right, "(",
        # the word's letters last to first, ")"; H2's codes read the other way.
        # Only brackets show whether a font's codes name the shapes drawn (H1)
        # or what is read (H2, as LibreOffice writes): a "<" drawn by H1 reads
        # ">", on the next page too; with no bracket anywhere it is never
        # turned on a guess.
        def cells_of(sheet):
            return [v for _, (_, v) in sorted(cu.cells(sheet).items())]
        pdf = cu.path("rtl_brackets.pdf")
        cu.hebrew_pdf(pdf, b"BT /H1 12 Tf 72 700 Td (\\(dcba\\)) Tj ET\n"
                           b"BT /H2 12 Tf 72 650 Td (\\(dcba\\)) Tj ET\n"
                           b"BT /H1 12 Tf 72 550 Td (3 < \\(dcba\\)) Tj ET\n"
                           b"BT /H2 12 Tf 72 500 Td (3 < \\(dcba\\)) Tj ET\n",
                      b"BT /H1 12 Tf 72 700 Td (18 < dcba) Tj ET\n"
                      b"BT /H2 12 Tf 72 650 Td (18 < dcba) Tj ET\n")
        book = cu.convert(pdf, cu.path("rtl_brackets.xls"))
        h = cu.HEBREW
        self.assertEqual(cells_of(book.sheet_by_index(0)), ["(" + h + ")"] * 2 + ["(" + h + ") > 3", "(" + h + ") < 3"])
        self.assertEqual(cells_of(book.sheet_by_index(1)), [h + " > 18", h + " < 18"])
        cu.hebrew_pdf(pdf, b"BT /H1 12 Tf 72 700 Td (18 < dcba) Tj ET\n")
        self.assertEqual(cells_of(cu.convert(pdf, cu.path("rtl_brackets.xls")).sheet_by_index(0)), [h + " < 18"])

    def test_clipped_text_is_not_written(self):
        # Report writers draw a text whole and clip it at its column; figures
        # stand over the hidden part. A character partly inside stays.
        clipped = ("q 72 690 51 20 re W n " + pdfgen.text(72, 700, "Visible part hidden tail words") + "Q\n" +
                   "q 72 640 34 20 re W n " + pdfgen.text(72, 650, "Visible part hidden") + "Q\n" +
                   pdfgen.text(170, 700, "26406576") + pdfgen.text(300, 600, "Free text"))
        pdf = cu.path("clipped.pdf")
        pdfgen.write(pdf, [clipped])
        sheet = cu.convert(pdf, cu.path("clipped.xls")).sheet_by_index(0)
        values = sorted(str(v) for _, v in cu.cells(sheet).values())
        self.assertEqual(values, sorted(["Visible part", "26406576.0", "Visible p", "Free text"]))

    def test_a_clip_edge_ends_the_text_it_cuts(self):
        # A particulars column clipped at its edge, its amounts drawn just
        # past the clip (the last letter before it shows in part): what
        # stands past the edge is never part of the clipped text. Text the
        # clip does not cut joins what follows as usual.
        def row(y, particulars, after, width=118):
            return ("q 72 %g %g 14 re W n " % (y - 4, width) + pdfgen.text(72, y, particulars) + "Q\n" +
                    pdfgen.text(72 + width + 2, y, after))
        page = (pdfgen.text(72, 700, "Particulars") + pdfgen.text(200, 700, "Dr.Amt") +
                row(686, "Bills 142, 141 of the month of May", "26406576") +
                row(672, "Cash deposit by cheque no 7781", "500.00") +
                row(658, "Opening", "balance", 38.5))
        pdf = cu.path("clip_edge.pdf")
        pdfgen.write(pdf, [page])
        sheet = cu.convert(pdf, cu.path("clip_edge.xls")).sheet_by_index(0)
        rows = [[v for v in sheet.row_values(r) if v != ""] for r in range(sheet.nrows)]
        self.assertEqual(rows, [["Particulars", "Dr.Amt"], ["Bills 142, 141 of the month", 26406576.0],
                                ["Cash deposit by cheque no", 500.0], ["Opening balance"]])

    def test_small_capitals_in_a_ruled_header_are_one_phrase(self):
        # "THRESHOLD FOR RELEASES" as a capital at 10 pt and smaller capitals
        # at 8 pt, no gap between, over two ruled columns (their rule stops
        # at the header).
        def t(x, y, s, size=10):
            return "BT /F1 %g Tf %g %g Td (%s) Tj ET\n" % (size, x, y, pdfgen.pdf_escape(s))
        lines = [(72, 720, 372, 720), (72, 702, 372, 702), (72, 684, 372, 684), (72, 666, 372, 666),
                 (72, 720, 72, 666), (172, 702, 172, 666), (272, 720, 272, 666), (372, 720, 372, 666)]
        page = ("".join(pdfgen.line(*l) for l in lines) +
                t(140, 707, "T") + t(146.11, 707, "HRESHOLD FOR RELEASES", 8) + t(276, 707, "Tonnes") +
                t(76, 689, "Air") + t(176, 689, "2001") + t(276, 689, "12.5") +
                t(76, 671, "Water") + t(176, 671, "2002") + t(276, 671, "7.25"))
        pdf = cu.path("small_caps.pdf")
        pdfgen.write(pdf, [page])
        sheet = cu.convert(pdf, cu.path("small_caps.xls")).sheet_by_index(0)
        rows = [[v for v in sheet.row_values(r) if v != ""] for r in range(sheet.nrows)]
        self.assertEqual(rows, [["THRESHOLD FOR RELEASES", "Tonnes"], ["Air", 2001.0, 12.5], ["Water", 2002.0, 7.25]])

    def test_actual_text_replaces_the_glyphs_of_its_span(self):
        # Small capitals drawn as lower-case glyphs; a span without ActualText
        # changes nothing; a span on two lines keeps the glyphs drawn; a span
        # the page never closes still gives its text. Writers that tag every
        # glyph give the later glyphs of a cluster an empty text, which the
        # cluster's text stands over (an empty text with nothing before it
        # keeps what the glyph shows); a span that moves its glyphs with its
        # own "cm" is placed where they stand, beside "Capital".
        def span(text, body):
            return "/Span <</ActualText (%s)>> BDC %s EMC " % (text, body)
        page = ("BT /F1 10 Tf 72 700 Td /Span <</ActualText (NORWAY)>> BDC (norway) Tj EMC ( is north) Tj ET\n"
                "BT /F1 10 Tf 72 670 Td (Big) Tj /Span <</ActualText <FEFF00E9>>> BDC (e) Tj EMC (che) Tj ET\n"
                "BT /F1 10 Tf 72 640 Td /Span <</Lang (en)>> BDC (sweden) Tj EMC ET\n"
                "BT /F1 10 Tf 72 610 Td /Span <</ActualText (one line)>> BDC (two) Tj 0 -30 Td (lines) Tj EMC ET\n"
                "BT /F1 10 Tf 72 520 Td " + "".join(span(c, "(%s) Tj" % c) for c in "Each") + "( glyph) Tj ET\n"
                "BT /F1 10 Tf 72 490 Td (Geogra) Tj " + span("ph", "(p) Tj") + span("", "(h) Tj") +
                "(y matters) Tj ET\n"
                "BT /F1 10 Tf 72 460 Td (Mitar) Tj " + span("", "(-) Tj") + "( shown) Tj ( ) Tj " +
                span("", "(as) Tj") + "( drawn) Tj ET\n"
                "BT /F1 10 Tf 72 430 Td (Capital) Tj ET " +
                span("NORWAY", "q 1 0 0 1 100 -40 cm BT /F1 10 Tf 72 470 Td (norway) Tj ET Q") + "\n"
                "BT /F1 10 Tf 72 400 Td /Span <</ActualText (Kept)>> BDC (kept) Tj ET\n")
        pdf = cu.path("actual_text.pdf")
        pdfgen.write(pdf, [page])
        sheet = cu.convert(pdf, cu.path("actual_text.xls")).sheet_by_index(0)
        rows = [" | ".join(str(v) for v in sheet.row_values(r) if str(v).strip()) for r in range(sheet.nrows)]
        self.assertEqual(rows, ["NORWAY is north", "Bigéche", "sweden", "two", "lines", "Each glyph",
                                "Geography matters", "Mitar shown as drawn", "Capital | NORWAY", "Kept"])

    def test_actual_text_of_right_to_left_glyphs_reads_from_the_right(self):
        # The page draws "shalom" left to right, last letter first: glyph d
        # shows HEBREW[3]. One span per glyph; a span over the whole word
        # (its text in reading order); a cluster of two glyphs whose text is
        # on the first drawn and whose second has an empty text.
        def span(text, body):
            return "/Span <</ActualText <FEFF%s>>> BDC %s EMC " % ("".join("%04X" % ord(c) for c in text), body)
        h = cu.HEBREW
        per_glyph = "".join(span(h[3 - i], "(%s) Tj" % c) for i, c in enumerate("dcba"))
        page = ("BT /H1 12 Tf 72 700 Td " + per_glyph + "( ) Tj " + per_glyph + "ET\n"
                "BT /H1 12 Tf 72 670 Td " + span(h, "(dcba) Tj") + "ET\n"
                "BT /H1 12 Tf 72 640 Td " + span(h[3], "(d) Tj") + span(h[2], "(c) Tj") +
                span(h[0] + h[1], "(b) Tj") + span("", "(a) Tj") + "ET\n")
        pdf = cu.path("actual_text_rtl.pdf")
        cu.hebrew_pdf(pdf, page.encode())
        sheet = cu.convert(pdf, cu.path("actual_text_rtl.xls")).sheet_by_index(0)
        self.assertEqual([v for _, (_, v) in sorted(cu.cells(sheet).items())], [h + " " + h, h, h])

    def test_actual_text_over_a_blank_adds_only_what_the_page_shows(self):
        # A soft hyphen or a zero-width space over a blank reads as nothing
        # (the word goes on where the blank stood); a blank tagged with the
        # dash or quote drawn beside it, before or after, adds nothing; a
        # blank that carries a stop of its own gives it.
        def blank(text):
            return "/Span <</ActualText %s>> BDC ( ) Tj EMC " % text
        page = ("BT /F1 10 Tf 72 700 Td (Mit) Tj " + blank("<FEFF00AD>") + "ET "
                "BT /F1 10 Tf 85.33 700 Td (arbeiter) Tj ET\n"
                "BT /F1 10 Tf 72 670 Td (\\225) Tj " + blank("<FEFF200B>") + "(Item) Tj ET\n"
                "BT /F1 10 Tf 72 640 Td (-) Tj " + blank("(-)") + "(Before) Tj ET\n"
                "BT /F1 10 Tf 72 610 Td (Quote) Tj " + blank("(`)") + "(`) Tj (after) Tj ET\n"
                "BT /F1 10 Tf 72 580 Td (Done) Tj " + blank("(.)") + "ET\n")
        pdf = cu.path("actual_text_blanks.pdf")
        pdfgen.write(pdf, [page])
        sheet = cu.convert(pdf, cu.path("actual_text_blanks.xls")).sheet_by_index(0)
        self.assertEqual([v for _, (_, v) in sorted(cu.cells(sheet).items())],
                         ["Mitarbeiter", "\u2022 Item", "- Before", "Quote `after", "Done."])

    def test_raised_marks_stay_beside_their_figures(self):
        # Marks raised 0.7 em stand nearer the row above than their own base
        # line; a digit mark right after a figure never joins its number.
        # Marks of 0.85 em after a decimal and after a figure are marks too,
        # and stay in their row; a digit of a smaller size on the figure's
        # base line is no mark. A table may set a figure's marks up to an em
        # apart (page 2): they never start a row of their own.
        def t(x, y, s, size=10, rise=0):
            return "BT /F1 %g Tf %g Ts %g %g Td (%s) Tj ET\n" % (size, rise, x, y, pdfgen.pdf_escape(s))
        page = (t(72, 700, "Country") + t(200, 700, "Amount") + t(300, 700, "Share") +
                t(380, 700, "Others") + t(410.01, 700, "(1", 6, 4) + t(415.35, 700, ")", 6, 4) +
                t(72, 686, "France") + t(200, 686, "987") + t(216.7, 686, "3", 6, 7) + t(300, 686, "12") +
                t(72, 672, "Spain") + t(200, 672, "41") + t(214.1, 672, "a", 6, 7) + t(300, 672, "7") +
                t(72, 658, "Italy") + t(200, 658, "3") + t(208.6, 658, "rd", 6, 7) + t(300, 658, "9") +
                t(72, 644, "Malta") + t(200, 644, "5") + t(300, 644, "8") + t(306, 644, "b", 6, -2) +
                t(72, 630, "Chile") + t(200, 630, "2.75") + t(219.5, 630, "a", 8.5, 7) + t(300, 630, "41") +
                t(311.2, 630, "7", 8.5, 7) +
                t(72, 616, "Peru") + t(200, 616, "2019") + t(222.3, 616, "1", 8.8) + t(300, 616, "3"))
        apart = (t(72, 700, "Year") + t(150, 700, "Rate") + t(250, 700, "Count") +
                 t(72, 686, "2011") + t(150, 686, "2.50") + t(250, 686, "38") +
                 t(72, 672, "2012") + t(150, 672, "2.75") + t(175.5, 672, "a", 6, 5) + t(250, 672, "41") +
                 t(267.2, 672, "7", 6, 5) +
                 t(72, 658, "2013") + t(150, 658, "3.00") + t(250, 658, "44"))
        pdf = cu.path("marks.pdf")
        pdfgen.write(pdf, [page, apart])
        book = cu.convert(pdf, cu.path("marks.xls"))
        sheet = book.sheet_by_index(1)
        self.assertEqual([[v for v in sheet.row_values(r) if v != ""] for r in range(sheet.nrows)],
                         [["Year", "Rate", "Count"], [2011.0, 2.5, 38.0], [2012.0, 2.75, "a", "41 7"],
                          [2013.0, 3.0, 44.0]])
        sheet = book.sheet_by_index(0)
        rows = [[sheet.cell(r, c).value for c in range(sheet.ncols)] for r in range(sheet.nrows)]
        self.assertEqual(rows, [["Country", "Amount", "Share", "Others(1)"], ["France", "987 3", 12.0, ""],
                                ["Spain", "41 a", 7.0, ""], ["Italy", "3 rd", 9.0, ""], ["Malta", 5.0, "8b", ""],
                                ["Chile", "2.75a", "41 7", ""], ["Peru", "20191", 3.0, ""]])

    def test_spacing_accents_drawn_over_letters_join_them(self):
        # As TeX draws them: the letter, then the accent moved back over it
        # (WinAnsi codes 0x88 circumflex, 0xB8 cedilla, 0x98 tilde, 0xB4
        # acute). An accent over no letter, and one after a figure, stay as
        # drawn. A circumflex and an acute over one letter make one letter,
        # in either order; an accent over a letter that takes none stays as
        # drawn even when it reaches the next letter.
        page = ("BT /F1 10 Tf 72 700 Td [(Ag) -111.5 (\\210) 444.5 (encia de Avia) -83.5 (\\270) 416.5 (c) "
                "-111.5 (\\230) 444.5 (ao)] TJ ET\n"
                "BT /F1 10 Tf 72 670 Td (Price 5\\264 each) Tj ET\n"
                "BT /F1 10 Tf 72 640 Td (Note) Tj ET BT /F1 10 Tf 110 640 Td (\\210) Tj ET\n"
                "BT /F1 10 Tf 72 610 Td [(ti) (e) 389 (\\210) 333 (\\264) -56 (ng vi) (e) 389 (\\264) 333 (\\210) -56 (t)] TJ ET\n"
                "BT /F1 10 Tf 72 580 Td [(x) 200 (\\264) 133 (ab)] TJ ET\n")
        pdf = cu.path("accents.pdf")
        pdfgen.write(pdf, [page])
        sheet = cu.convert(pdf, cu.path("accents.xls")).sheet_by_index(0)
        self.assertEqual(sorted(v for _, v in cu.cells(sheet).values()),
                         sorted(["Agência de Aviação", "Price 5\u00b4 each", "Note  \u02c6", "tiếng viết",
                                 "x\u00b4ab"]))

    def test_controls_blanks_and_soft_hyphens(self):
        # The font's map gives a tab (code 1), U+0000 (2), a C1 control (3), a
        # soft hyphen (4) and a no-break space (5).
        pairs = [(1, "0009"), (2, "0000"), (3, "0085"), (4, "00AD"), (5, "00A0")]
        lines = [b"[(Total\x01) -600 (Amount)]", b"[(4\x022)]", b"[(a\x03b)]", b"[(acido\x04basique)]",
                 b"[(426\x05)]", b"[(02134 )]"]
        content = b"".join(b"BT /M1 10 Tf 72 %d Td %s TJ ET\n" % (700 - 30 * i, l) for i, l in enumerate(lines))
        pdf = cu.path("controls.pdf")
        cu.mapped_pdf(pdf, content, pairs)
        sheet = cu.convert(pdf, cu.path("controls.xls")).sheet_by_index(0)
        self.assertEqual([v for _, (_, v) in sorted(cu.cells(sheet).items())],
                         ["Total Amount", 42.0, "ab", "acido-basique", 426.0, "02134"])

    def test_digits_of_fonts_coded_by_glyph_index(self):
        # G1 codes its glyphs by index in the font's standard order: 0x13 is
        # "0", 0x10 "-", and its codes come without a map as themselves. The
        # same controls from S1's map show nothing.
        content = (b"BT /G1 10 Tf 72 700 Td <0015001300140019> Tj ET\n"
                   b"BT /F1 10 Tf 72 670 Td (Unit: ) Tj /G1 10 Tf <00140018001000140019001600100015> Tj ET\n"
                   b"BT /F1 10 Tf 72 640 Td (Total) Tj /S1 10 Tf (\x01\x02) Tj ET\n")
        pdf = cu.path("glyph_index.pdf")
        cu.glyph_index_pdf(pdf, content)
        sheet = cu.convert(pdf, cu.path("glyph_index.xls")).sheet_by_index(0)
        self.assertEqual([v for _, (_, v) in sorted(cu.cells(sheet).items())],
                         [2016.0, "Unit: 15-163-2", "Total"])


class UnusualPages(unittest.TestCase):
    """Pages whose text used to be lost keep every character pdftotext finds."""

    def check_chars(self, pdf, book):
        for i, sheet in enumerate(book.sheets()):
            self.assertEqual(cu.sheet_chars(sheet), cu.pdftotext_chars(pdf, i + 1), sheet.name)

    def test_vertical_writing_reads_top_to_bottom_right_to_left(self):
        cols = cu.VERTICAL_COLUMNS
        all_vertical = "".join(cu.vertical_column(500 - 20 * i, 700, c) for i, c in enumerate(cols))
        # The middle column starts one glyph lower (an indented paragraph).
        indented = "".join(cu.vertical_column(500 - 16 * i, 700 - 12 * (i == 1), c) for i, c in enumerate(cols))
        mixed = (pdfgen.text(72, 700, "Horizontal title line") + cu.vertical_column(500, 700, cols[0]) +
                 cu.vertical_column(480, 700, cols[1]) + pdfgen.text(72, 600, "Second horizontal line"))
        pdf = cu.path("vertical.pdf")
        cu.vertical_pdf(pdf, [all_vertical, indented, mixed])
        book = cu.convert(pdf, cu.path("vertical.xls"))
        self.check_chars(pdf, book)
        texts = [[v for _, (_, v) in sorted(cu.cells(s).items())] for s in book.sheets()]
        self.assertEqual(texts[0], cols)
        self.assertEqual(texts[1], cols)
        # Horizontal text as before, then the vertical lines in the first column.
        self.assertEqual(texts[2], ["Horizontal title line", "Second horizontal line", cols[0], cols[1]])
        self.assertEqual(sorted(cu.cells(book.sheet_by_index(2))), [(0, 0), (1, 0), (2, 0), (3, 0)])

    def test_vertical_glyphs_placed_one_by_one_read_where_they_stand(self):
        def glyphs(x, y, dx, dy, chars):
            return "".join(cu.vertical_column(x + dx * i, y + dy * i, c) for i, c in enumerate(chars))
        cols = cu.VERTICAL_COLUMNS
        # Along a line (full and half width, the first beside a label on its
        # baseline: glyph tops 0.88 em above it), and down a column.
        along = (pdfgen.text(40, 689.44, "Label") + glyphs(100, 700, 12, 0, cols[0]) +
                 glyphs(100, 600, 6, 0, cols[1]))
        down = glyphs(300, 700, 0, -12, cols[2])
        pdf = cu.path("vertical_glyphs.pdf")
        cu.vertical_pdf(pdf, [along, down])
        book = cu.convert(pdf, cu.path("vertical_glyphs.xls"))
        self.check_chars(pdf, book)
        self.assertEqual(sorted(cu.cells(book.sheet_by_index(0)).items()),
                         [((0, 0), (xlrd.XL_CELL_TEXT, "Label")), ((0, 1), (xlrd.XL_CELL_TEXT, cols[0])),
                          ((1, 1), (xlrd.XL_CELL_TEXT, cols[1]))])
        self.assertEqual([v for _, v in cu.cells(book.sheet_by_index(1)).values()], [cols[2]])

    def test_text_beyond_14400_points_of_a_large_page_is_kept(self):
        pdf = cu.path("large.pdf")
        pdfgen.write(pdf, [pdfgen.text(72, 19900, "Top line") + pdfgen.text(300, 100, "Bottom right 12")],
                     media=(612, 20000))
        book = cu.convert(pdf, cu.path("large.xls"))
        self.check_chars(pdf, book)
        cu.find_text(book.sheet_by_index(0), "Bottom right 12")


class Fonts(unittest.TestCase):
    def test_cells_carry_the_font_of_their_text(self):
        pdf = cu.path("fonts.pdf")
        pdfgen.write(pdf, [cu.fonts_page()])
        book = cu.convert(pdf, cu.path("fonts.xls"))
        sheet = book.sheet_by_index(0)
        for text, name, height in (("Times text here", "Times New Roman", 240),
                                   ("Courier text here", "Courier New", 200),
                                   ("Helvetica text here", "Arial", 280)):
            _, _, cell = cu.find_text(sheet, text)
            font = book.font_list[book.xf_list[cell.xf_index].font_index]
            self.assertEqual((font.name, font.height), (name, height), text)
            self.assertEqual(book.xf_list[cell.xf_index].alignment.hor_align, 1)

    def test_symbol_glyphs_are_written_as_their_characters(self):
        # A Symbol face whose map gives private-use codes (U+F0B7 for the
        # bullet), as fonts without a map do, beside Times text: the cell
        # holds the bullet's character in the text's face; a line of Symbol
        # glyphs alone keeps the sheet's default face.
        page = (b"BT /M1 12 Tf 72 700 Td <B7> Tj ET BT /F3 12 Tf 84 700 Td (Budget approved) Tj ET\n"
                b"BT /M1 12 Tf 72 660 Td <B720AE> Tj ET\n")
        pdf = cu.path("symbol.pdf")
        cu.mapped_pdf(pdf, page, [(0xB7, "F0B7")], base=b"Symbol")
        book = cu.convert(pdf, cu.path("symbol.xls"))
        sheet = book.sheet_by_index(0)
        default = book.font_list[0].name
        for text, name in (("\u2022 Budget approved", "Times New Roman"), ("\u2022\u2192", default)):
            _, _, cell = cu.find_text(sheet, text)
            self.assertEqual(book.font_list[book.xf_list[cell.xf_index].font_index].name, name, text)


    def test_rows_are_as_tall_as_their_largest_font(self):
        # The sample's 16-point title; the 10-point rows keep the sheet's own height.
        pdf = cu.path("tall.pdf")
        pdfgen.write(pdf, pdfgen.sample_pages())
        sheet = cu.convert(pdf, cu.path("tall.xls")).sheet_by_index(0)
        r, _, _ = cu.find_text(sheet, "Quarterly report")
        self.assertIn(r, sheet.rowinfo_map)
        self.assertGreaterEqual(sheet.rowinfo_map[r].height, 16 * 20)
        r, _, _ = cu.find_text(sheet, "Totals are given in thousands.")
        self.assertLess(sheet.rowinfo_map[r].height, 16 * 20)


class Tables(unittest.TestCase):
    def test_ruled_table_cells_and_numbers(self):
        pdf = cu.path("table.pdf")
        pdfgen.write(pdf, pdfgen.sample_pages())
        book = cu.convert(pdf, cu.path("table.xls"))
        sheet = book.sheet_by_index(0)
        for text in ("Quarterly report", "Region", "North", "September", "Totals are given in thousands."):
            cu.find_text(sheet, text)
        for value in (1200, 1350.5, 1104.25, 870):
            cu.find_number(sheet, value)
        # The row of North holds its figures in page order.
        r, c, _ = cu.find_text(sheet, "North")
        row = [v for (rr, cc), (t, v) in sorted(cu.cells(sheet).items()) if rr == r and cc > c]
        self.assertEqual(row, [1200.0, 1350.5, 1410.0])
        # The text below the table comes after the table's rows.
        self.assertGreater(cu.find_text(sheet, "Totals are given in thousands.")[0],
                           cu.find_text(sheet, "West")[0])

    def test_ruled_table_cells_get_borders_and_row_heights(self):
        pdf = cu.path("ruled.pdf")
        pdfgen.write(pdf, pdfgen.sample_pages())
        book = cu.convert(pdf, cu.path("ruled.xls"))
        sheet = book.sheet_by_index(0)
        r, c, cell = cu.find_text(sheet, "North")
        border = book.xf_list[cell.xf_index].border
        self.assertEqual([border.top_line_style, border.bottom_line_style,
                          border.left_line_style, border.right_line_style], [1, 1, 1, 1])
        # Rows of 20 points: about 400 twips (rulings are found on whole pixels at 150 dpi).
        self.assertAlmostEqual(sheet.rowinfo_map[r].height, 400, delta=12)


if __name__ == "__main__":
    unittest.main()
