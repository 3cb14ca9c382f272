// The Workbook stream: records, formats, fonts, cells, shared strings and the
// INDEX/DBCELL pointers, read back with the test-side record walker.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "TK/tk_except.h"
#include "XLS/xls_assert.h"
#include "XLS/xls_globals.h"
#include "XLS/xls_unit.h"
#include "XLS/xls_workbook.h"
#include "tests/XLS/biff_walk.h"

using namespace xls_core;
using biff_walk::records;
using biff_walk::u16;
using biff_walk::u32;

namespace {

std::vector<biff_walk::record> of_type(const std::vector<biff_walk::record>& all, std::uint16_t type)
{
    std::vector<biff_walk::record> out;
    for (auto& r : all)
        if (r.type == type)
            out.push_back(r);
    return out;
}

std::vector<std::uint8_t> body(const std::vector<std::uint8_t>& s, const biff_walk::record& r)
{
    return std::vector<std::uint8_t>(s.begin() + r.pos + 4, s.begin() + r.pos + 4 + r.len);
}

// Records of the sheet that starts at `bof` (up to its EOF).
std::vector<biff_walk::record> sheet_records(const std::vector<biff_walk::record>& all, std::size_t bof)
{
    std::vector<biff_walk::record> out;
    bool in = false;
    for (auto& r : all) {
        if (r.pos == bof)
            in = true;
        if (in)
            out.push_back(r);
        if (in && r.type == rec_eof)
            break;
    }
    return out;
}

// "name/height" of the FONT record that the cell record at (row, col) names
// through its XF record.
std::string written_font(const std::vector<std::uint8_t>& s, std::uint32_t row, std::uint32_t col)
{
    auto all = records(s);
    auto fonts = of_type(all, rec_font);
    auto xfs = of_type(all, rec_xf);
    for (auto& r : all) {
        if ((r.type != rec_label && r.type != rec_labelsst && r.type != rec_number) || u16(s, r.pos + 4) != row ||
            u16(s, r.pos + 6) != col)
            continue;
        std::uint16_t fi = u16(s, xfs.at(u16(s, r.pos + 8)).pos + 4);
        auto b = body(s, fonts.at(fi < 4 ? fi : fi - 1u));
        return std::string(b.begin() + 16, b.end()) + "/" + std::to_string(u16(b, 0));
    }
    return "no cell";
}

}  // namespace

TEST(XlsUnit, UnicodeStringsInTheThreeCountModes)
{
    CUnit a, b, c, e;
    a.AddUnicodeString(u"abc", CUnit::count16);
    b.AddUnicodeString(u"abc", CUnit::count8);
    c.AddUnicodeString(u"abc", CUnit::no_count);
    e.AddUnicodeString(u"", CUnit::count16);
    EXPECT_EQ(a.Bytes(), (std::vector<std::uint8_t>{3, 0, 0, 'a', 'b', 'c'}));
    EXPECT_EQ(b.Bytes(), (std::vector<std::uint8_t>{3, 0, 'a', 'b', 'c'}));
    EXPECT_EQ(c.Bytes(), (std::vector<std::uint8_t>{0, 'a', 'b', 'c'}));
    EXPECT_EQ(e.Bytes(), (std::vector<std::uint8_t>{0, 0, 0}));

    CUnit w;
    w.AddUnicodeString(u"ab\u00e9cd", CUnit::count16);
    EXPECT_EQ(w.Size(), 13u);
    EXPECT_EQ(CUnit::UnicodeStringLength(u"ab\u00e9cd", CUnit::count16), 13u);
    EXPECT_EQ(w.Bytes()[2], 1);
    EXPECT_EQ(w.Bytes()[7], 0xE9);
    EXPECT_EQ(w.Bytes()[8], 0x00);

    // 8-bit text is Latin-1: the byte 0xE9 is U+00E9, not an assertion.
    CUnit n;
    n.AddUnicodeString(std::string("Caf\xe9"), CUnit::count8);
    EXPECT_EQ(n.Bytes(), (std::vector<std::uint8_t>{4, 1, 'C', 0, 'a', 0, 'f', 0, 0xE9, 0}));
}

TEST(XlsUnit, SetWordAtPastTheEndWritesOnlyTheInsideByte)
{
    CUnit u;
    u.AppendWord(0);
    EXPECT_FALSE(u.SetWordAt(0x1234, 1));
    EXPECT_EQ(u.Bytes(), (std::vector<std::uint8_t>{0, 0x34}));
    EXPECT_TRUE(u.SetDwordAt(0, 0) == false);
}

TEST(XlsStorage, LongRecordsAreCarriedOnInContinueRecords)
{
    struct { std::size_t body; std::vector<std::size_t> pieces; } cases[] = {
        {8224, {8224}}, {8225, {8224, 1}}, {16448, {8224, 8224}}, {20000, {8224, 8224, 3552}}, {0, {0}}};
    for (auto& c : cases) {
        CRecord r(0x0017);
        for (std::size_t i = 0; i < c.body; ++i)
            r.AppendByte(static_cast<std::uint8_t>(i * 7));
        CDataStorage s;
        s.AddRaw(std::vector<std::uint8_t>{1, 2});
        EXPECT_EQ(s.Add(r), 2u);
        bool ok;
        auto recs = records(std::vector<std::uint8_t>(s.Bytes().begin() + 2, s.Bytes().end()), &ok);
        ASSERT_TRUE(ok);
        ASSERT_EQ(recs.size(), c.pieces.size()) << c.body;
        std::vector<std::uint8_t> joined;
        for (std::size_t k = 0; k < recs.size(); ++k) {
            EXPECT_EQ(recs[k].type, k == 0 ? 0x0017 : 0x003C);
            EXPECT_EQ(recs[k].len, c.pieces[k]);
            auto b = body(std::vector<std::uint8_t>(s.Bytes().begin() + 2, s.Bytes().end()), recs[k]);
            joined.insert(joined.end(), b.begin(), b.end());
        }
        EXPECT_EQ(joined, r.Bytes());
        EXPECT_EQ(CDataStorage::EncodedSize(c.body), s.Size() - 2);
    }
}

TEST(XlsGlobals, OneSheetWorkbookHasTheFixedGlobalRecords)
{
    workbook wb;
    wb.sheet("Page_1");
    auto s = wb.WorkbookStream();
    bool ok;
    auto all = records(s, &ok);
    ASSERT_TRUE(ok);
    std::vector<std::uint16_t> types;
    for (auto& r : all) {
        types.push_back(r.type);
        if (r.type == rec_eof)
            break;
    }
    std::vector<std::uint16_t> want = {rec_bof, rec_codepage, rec_window1, rec_datemode};
    want.insert(want.end(), 5, rec_font);
    want.insert(want.end(), 21, rec_xf);
    want.insert(want.end(), 6, rec_style);
    for (auto t : {rec_palette, rec_boundsheet, rec_supbook, rec_externsheet, rec_eof})
        want.push_back(t);
    EXPECT_EQ(types, want);

    auto xfs = of_type(all, rec_xf);
    const std::uint16_t fmt[5] = {43, 41, 44, 42, 9};
    for (int i = 16; i <= 20; ++i) {
        auto b = body(s, xfs[i]);
        EXPECT_EQ(u16(b, 0), 5) << i;
        EXPECT_EQ(u16(b, 2), fmt[i - 16]) << i;
        EXPECT_EQ(b[9], 0xF8) << i;
    }
    auto x15 = body(s, xfs[15]);
    EXPECT_EQ(u16(x15, 4), 0x0001);   // cell XF, locked
    EXPECT_EQ(x15[6], 0x20);          // bottom aligned
    EXPECT_EQ(u16(x15, 18), 0x20C0);  // pattern colours 64 and 65
    auto x1 = body(s, xfs[1]);
    EXPECT_EQ(u16(x1, 0), 1);
    EXPECT_EQ(u16(x1, 4), 0xFFF5);
    EXPECT_EQ(x1[9], 0xF4);

    auto pal = body(s, of_type(all, rec_palette)[0]);
    EXPECT_EQ(u16(pal, 0), 56);
    EXPECT_EQ(u32(pal, 2 + 4 * (47 - 8)), 0x00E3E3E3u);
    EXPECT_EQ(u32(pal, 2 + 4 * (10 - 8)), 0x000000FFu);   // red: FF 00 00 00

    auto fonts = of_type(all, rec_font);
    auto f4 = body(s, fonts[4]);
    EXPECT_EQ(u16(f4, 0), 200);
    EXPECT_EQ(u16(f4, 6), 400);
    EXPECT_EQ(std::string(f4.begin() + 16, f4.end()), "Verdana");
}

TEST(XlsGlobals, ExternSheetAndBoundSheetPositionsWithManySheets)
{
    workbook wb;
    for (int i = 1; i <= 1400; ++i)
        wb.sheet("Page_" + std::to_string(i))->number(0, 0, i);
    auto s = wb.WorkbookStream();
    bool ok;
    auto all = records(s, &ok);
    ASSERT_TRUE(ok);
    auto bounds = of_type(all, rec_boundsheet);
    auto bofs = of_type(all, rec_bof);
    ASSERT_EQ(bounds.size(), 1400u);
    ASSERT_EQ(bofs.size(), 1401u);
    for (std::size_t i = 0; i < bounds.size(); ++i) {
        ASSERT_EQ(u32(s, bounds[i].pos + 4), bofs[i + 1].pos) << i;
        EXPECT_EQ(u16(s, bofs[i + 1].pos + 6), 0x0010);
    }
    // EXTERNSHEET of 2 + 6 * 1400 bytes needs one CONTINUE.
    auto ext = of_type(all, rec_externsheet)[0];
    EXPECT_EQ(ext.len, 8224u);
    EXPECT_EQ(u16(s, ext.pos + 4), 1400);
    std::size_t next = ext.pos + 4 + ext.len;
    EXPECT_EQ(u16(s, next), rec_continue);
    EXPECT_EQ(u16(s, next + 2), 2 + 6 * 1400 - 8224);
    // Entries 0, i, i, the one cut by the record end included.
    std::vector<std::uint8_t> joined(s.begin() + ext.pos + 4, s.begin() + ext.pos + 4 + 8224);
    joined.insert(joined.end(), s.begin() + next + 4, s.begin() + next + 4 + u16(s, next + 2));
    for (std::uint16_t i = 0; i < 1400; ++i) {
        ASSERT_EQ(u16(joined, 2 + 6 * i), 0);
        ASSERT_EQ(u16(joined, 4 + 6 * i), i);
        ASSERT_EQ(u16(joined, 6 + 6 * i), i);
    }
    // Only the first sheet is the selected one.
    auto w2 = of_type(all, rec_window2);
    EXPECT_EQ(u16(s, w2[0].pos + 4), 0x06BE);
    EXPECT_EQ(u16(s, w2[1].pos + 4), 0x00BE);
}

TEST(XlsGlobals, ThreeSheetsExternSheetEntries)
{
    workbook wb;
    wb.sheet("Page_1");
    wb.sheet("Page_2");
    wb.sheet("Page_3");
    auto s = wb.WorkbookStream();
    auto all = records(s);
    auto ext = of_type(all, rec_externsheet)[0];
    EXPECT_EQ(ext.len, 20u);
    auto b = body(s, ext);
    EXPECT_EQ(b, (std::vector<std::uint8_t>{3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 2, 0, 2, 0}));
    auto bs = of_type(all, rec_boundsheet);
    for (int i = 0; i < 3; ++i) {
        auto nb = body(s, bs[i]);
        EXPECT_EQ(std::string(nb.begin() + 8, nb.end()), "Page_" + std::to_string(i + 1));
    }
}

// INDEX names DEFCOLWIDTH and every DBCELL; each DBCELL names its first ROW
// and its first cell.
static void check_index_pointers(const std::vector<std::uint8_t>& s, std::size_t expected_blocks)
{
    bool ok;
    auto all = records(s, &ok);
    ASSERT_TRUE(ok);
    std::map<std::size_t, std::uint16_t> type_at;
    for (auto& r : all)
        type_at[r.pos] = r.type;
    auto indexes = of_type(all, rec_index);
    ASSERT_FALSE(indexes.empty());
    std::size_t blocks = 0;
    for (auto& ix : indexes) {
        // The INDEX of a sheet with thousands of row blocks is continued.
        auto b = body(s, ix);
        for (std::size_t p = ix.pos + 4 + ix.len; p < s.size() && u16(s, p) == rec_continue; p += 4 + u16(s, p + 2))
            b.insert(b.end(), s.begin() + p + 4, s.begin() + p + 4 + u16(s, p + 2));
        EXPECT_EQ(type_at[u32(b, 12)], rec_defcolwidth);
        for (std::size_t k = 16; k < b.size(); k += 4) {
            std::size_t db = u32(b, k);
            ASSERT_EQ(type_at[db], rec_dbcell) << k;
            std::size_t first_row = db - u32(s, db + 4);
            ASSERT_EQ(type_at[first_row], rec_row);
            if (u16(s, db + 2) > 4) {
                std::size_t first_cell = first_row + u16(s, db + 8);
                std::uint16_t t = type_at[first_cell];
                EXPECT_TRUE(t == rec_number || t == rec_label || t == rec_labelsst) << t;
            }
            ++blocks;
        }
    }
    EXPECT_EQ(blocks, expected_blocks);
}

TEST(XlsSheet, RowBlocksAndIndexPointers)
{
    workbook wb;
    worksheet* a = wb.sheet("A");
    for (std::uint32_t r = 0; r < 17; ++r)
        a->number(r, 0, r);
    a->colwidth(0, 3000);
    a->colwidth(3, 1000);
    worksheet* b = wb.sheet("B");
    b->label(0, 0, u"x");
    b->label(0, 2, std::string(300, 'y'));   // LABELSST
    b->number(0, 1, 2.5);
    b->rowheight(0, 400);
    auto s = wb.WorkbookStream();
    check_index_pointers(s, 3);

    auto all = records(s);
    auto rows = of_type(all, rec_row);
    ASSERT_EQ(rows.size(), 18u);
    auto dbs = of_type(all, rec_dbcell);
    ASSERT_EQ(dbs.size(), 3u);
    EXPECT_EQ(dbs[0].len, 4u + 2 * 16);
    EXPECT_EQ(dbs[1].len, 4u + 2 * 1);
    EXPECT_EQ(dbs[2].len, 4u + 2 * 3);
    // Sheet B's ROW: columns 0..2, height 400 (flags 0x00C0), XF 15.
    auto rb = body(s, rows[17]);
    EXPECT_EQ(u16(rb, 0), 0);
    EXPECT_EQ(u16(rb, 2), 0);
    EXPECT_EQ(u16(rb, 4), 3);
    EXPECT_EQ(u16(rb, 6), 400);
    EXPECT_EQ(u16(rb, 12), 0x00C0);
    EXPECT_EQ(u16(rb, 14), 15);
    auto ra = body(s, rows[0]);
    EXPECT_EQ(u16(ra, 6), 264);
    EXPECT_EQ(u16(ra, 12), 0x0080);

    auto cols = of_type(all, rec_colinfo);
    ASSERT_EQ(cols.size(), 2u);
    EXPECT_EQ(body(s, cols[0]), (std::vector<std::uint8_t>{0, 0, 0, 0, 0xB8, 0x0B, 15, 0, 0, 0, 0, 0}));
    EXPECT_EQ(u16(s, cols[1].pos + 4), 3);

    auto dims = of_type(all, rec_dimension);
    EXPECT_EQ(body(s, dims[0]), (std::vector<std::uint8_t>{0, 0, 0, 0, 17, 0, 0, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(body(s, dims[1]), (std::vector<std::uint8_t>{0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 3, 0, 0, 0}));
}

TEST(XlsSheet, ManyRowsKeepPointersRightWhenTheIndexIsContinued)
{
    // 4096 row blocks make an INDEX longer than one record.
    workbook wb;
    worksheet* sh = wb.sheet("Big");
    for (std::uint32_t r = 0; r < max_rows; ++r)
        sh->number(r, r % 3, r);
    sh->number(65535, 255, 1);
    auto s = wb.WorkbookStream();
    check_index_pointers(s, 4096);
}

TEST(XlsSheet, RowHeightRowsWithoutCells)
{
    workbook wb;
    worksheet* sh = wb.sheet("S");
    sh->rowheight(1, 300);
    sh->rowheight(9, 500);   // beyond the last row with cells: no ROW
    sh->number(3, 4, 1.5);
    auto s = wb.WorkbookStream();
    auto all = records(s);
    auto rows = of_type(all, rec_row);
    ASSERT_EQ(rows.size(), 2u);
    auto r0 = body(s, rows[0]);
    EXPECT_EQ(u16(r0, 0), 1);
    EXPECT_EQ(u16(r0, 2), 1);
    EXPECT_EQ(u16(r0, 4), 1);
    EXPECT_EQ(u16(r0, 6), 300);
    auto n = of_type(all, rec_number)[0];
    auto nb = body(s, n);
    EXPECT_EQ(std::vector<std::uint8_t>(nb.begin() + 6, nb.end()),
              (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0xF8, 0x3F}));
    check_index_pointers(s, 1);
}

TEST(XlsSheet, EmptySheetHasZeroBounds)
{
    workbook wb;
    worksheet* sh = wb.sheet("Empty");
    sh->colwidth(2, 700);
    auto s = wb.WorkbookStream();
    auto all = records(s);
    std::size_t bof = of_type(all, rec_bof)[1].pos;
    std::vector<std::uint16_t> types;
    for (auto& r : sheet_records(all, bof))
        types.push_back(r.type);
    EXPECT_EQ(types, (std::vector<std::uint16_t>{rec_bof, rec_index, rec_defaultrowheight, rec_colinfo,
                                                 rec_defcolwidth, rec_dimension, rec_window2, rec_eof}));
    auto ix = body(s, of_type(all, rec_index)[0]);
    EXPECT_EQ(ix.size(), 16u);
    EXPECT_EQ(u32(ix, 4), 0u);
    EXPECT_EQ(u32(ix, 8), 0u);
    auto dim = body(s, of_type(all, rec_dimension)[0]);
    EXPECT_EQ(dim, std::vector<std::uint8_t>(14, 0));
    check_index_pointers(s, 0);
}

TEST(XlsSheet, LaterCellReplacesEarlierAndSecondWidthWins)
{
    workbook wb;
    worksheet* sh = wb.sheet("S");
    sh->label(2, 3, std::string(400, 'a'));
    sh->label(2, 5, std::string(300, 'b'));
    sh->number(2, 3, 7);          // replaces the long label: its SST entry goes
    sh->colwidth(1, 100);
    sh->colwidth(1, 200);
    EXPECT_EQ(sh->CellCount(), 2u);
    EXPECT_NE(dynamic_cast<const number_t*>(sh->GetCell(2, 3)), nullptr);
    auto s = wb.WorkbookStream();
    auto all = records(s);
    auto sst = of_type(all, rec_sst)[0];
    std::uint32_t total = 0;
    auto strs = biff_walk::sst_strings(s, sst.pos, &total);
    ASSERT_EQ(strs.size(), 1u);
    EXPECT_EQ(total, 1u);
    EXPECT_EQ(strs[0], std::u16string(300, u'b'));
    auto lsst = of_type(all, rec_labelsst)[0];
    EXPECT_EQ(u32(s, lsst.pos + 10), 0u);
    auto cols = of_type(all, rec_colinfo);
    ASSERT_EQ(cols.size(), 1u);
    EXPECT_EQ(u16(s, cols[0].pos + 8), 200);
}

TEST(XlsCells, LabelKindsAndSharedStrings)
{
    workbook wb;
    worksheet* sh = wb.sheet("S");
    sh->label(0, 0, std::u16string(255, u'x'));
    sh->label(1, 0, std::u16string(256, u'y'));
    sh->label(2, 0, std::u16string(256, u'y'));   // equal texts stay two entries
    sh->label(3, 0, u"\u00e9t\u00e9");
    sh->label(4, 0, std::wstring(L"\u20ac\U0001F600"));   // a surrogate pair in the record
    auto s = wb.WorkbookStream();
    auto all = records(s);
    auto labels = of_type(all, rec_label);
    ASSERT_EQ(labels.size(), 3u);
    EXPECT_EQ(labels[0].len, 6u + 3 + 255);
    EXPECT_EQ(labels[1].len, 6u + 3 + 6);
    EXPECT_EQ(s[labels[1].pos + 4 + 8], 1);   // two bytes per character
    EXPECT_EQ(labels[2].len, 6u + 3 + 6);
    EXPECT_EQ(u16(s, labels[2].pos + 4 + 9), 0x20AC);
    EXPECT_EQ(u16(s, labels[2].pos + 4 + 11), 0xD83D);
    EXPECT_EQ(u16(s, labels[2].pos + 4 + 13), 0xDE00);
    auto lsst = of_type(all, rec_labelsst);
    ASSERT_EQ(lsst.size(), 2u);
    EXPECT_EQ(u32(s, lsst[0].pos + 10), 0u);
    EXPECT_EQ(u32(s, lsst[1].pos + 10), 1u);
    std::uint32_t total = 0;
    auto strs = biff_walk::sst_strings(s, of_type(all, rec_sst)[0].pos, &total);
    EXPECT_EQ(total, 2u);
    EXPECT_EQ(strs, (std::vector<std::u16string>{std::u16string(256, u'y'), std::u16string(256, u'y')}));
}

TEST(XlsCells, LongTextsAreSplitAcrossContinueRecords)
{
    std::vector<std::u16string> texts;
    texts.push_back(std::u16string(5000, u'a'));
    texts.push_back(std::u16string(5000, u'b'));        // moves whole to a CONTINUE
    texts.push_back(std::u16string(9000, u'c'));        // longer than a record
    std::u16string wide;
    for (int i = 0; i < 5000; ++i)
        wide.push_back(static_cast<char16_t>(0x400 + i % 64));
    texts.push_back(wide);                              // 10003 bytes, two-byte characters
    texts.push_back(std::u16string(max_cell_chars, u'z'));
    texts.push_back(u"short but over two hundred fifty five " + std::u16string(250, u'.'));

    workbook wb;
    worksheet* sh = wb.sheet("S");
    for (std::size_t i = 0; i < texts.size(); ++i)
        sh->label(static_cast<std::uint32_t>(i), 0, texts[i]);
    auto s = wb.WorkbookStream();
    bool ok;
    auto all = records(s, &ok);
    ASSERT_TRUE(ok);
    for (auto& r : all)
        ASSERT_LE(r.len, 8224u);
    auto sst = of_type(all, rec_sst)[0];
    auto strs = biff_walk::sst_strings(s, sst.pos);
    EXPECT_EQ(strs, texts);
    // The second string starts a CONTINUE of its own; no string header is cut.
    EXPECT_EQ(sst.len, 8u + 3 + 5000);
    std::size_t c1 = sst.pos + 4 + sst.len;
    EXPECT_EQ(u16(s, c1), rec_continue);
    EXPECT_EQ(u16(s, c1 + 4), 5000);

    // Past the cell limit the text is refused.
    EXPECT_THROW(sh->label(9, 0, std::u16string(max_cell_chars + 1, u'q')), tk_exception);

    // Characters above U+FFFF, with the pairs at either parity of the record
    // ends: no piece ends between the two halves of a pair.
    for (std::size_t lead : {0, 1}) {
        std::u16string astral(lead, u'x');
        for (int i = 0; i < 10000; ++i)
            astral += u"\U0001D400";
        auto sst = CGlobalRecords::EncodeSST({&astral});
        bool whole;
        records(sst, &whole);
        ASSERT_TRUE(whole);
        std::vector<std::u16string> read;
        ASSERT_NO_THROW(read = biff_walk::sst_strings(sst, 0)) << lead;
        EXPECT_EQ(read, std::vector<std::u16string>{astral});
    }
}

TEST(XlsCells, NonFiniteNumbersBecomeText)
{
    workbook wb;
    worksheet* sh = wb.sheet("S");
    sh->number(0, 0, std::numeric_limits<double>::infinity());
    sh->number(0, 1, -std::numeric_limits<double>::infinity());
    sh->number(0, 2, std::nan(""));
    sh->number(0, 3, -0.0);
    auto* l = dynamic_cast<const label_t*>(sh->GetCell(0, 0));
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->GetText(), u"inf");
    EXPECT_EQ(dynamic_cast<const label_t*>(sh->GetCell(0, 1))->GetText(), u"-inf");
    EXPECT_EQ(dynamic_cast<const label_t*>(sh->GetCell(0, 2))->GetText(), u"nan");
    EXPECT_NE(dynamic_cast<const number_t*>(sh->GetCell(0, 3)), nullptr);
    auto all = records(wb.WorkbookStream());
    EXPECT_EQ(of_type(all, rec_number).size(), 1u);
}

TEST(XlsLimits, RowsColumnsWidthsHeights)
{
    workbook wb;
    worksheet* sh = wb.sheet("S");
    EXPECT_NO_THROW(sh->label(65535, 255, "last"));
    EXPECT_THROW(sh->label(65536, 0, "x"), tk_exception);
    EXPECT_THROW(sh->number(0, 256, 1), tk_exception);
    EXPECT_THROW(sh->label(0, 256, u"x"), tk_exception);
    EXPECT_THROW(sh->merge(0, 0, 65536, 1), tk_exception);
    EXPECT_THROW(sh->merge(0, 250, 0, 256), tk_exception);
    EXPECT_THROW(sh->colwidth(256, 100), tk_exception);
    EXPECT_THROW(sh->rowheight(65536, 100), tk_exception);
    EXPECT_NO_THROW(sh->colwidth(255, 1000000));
    EXPECT_NO_THROW(sh->rowheight(65535, 0));
    sh->rowheight(5, 20000);
    sh->label(5, 0, "x");
    try {
        sh->label(70000, 1, "x");
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level(), tk_level_error);
        EXPECT_NE(std::string(e.what()).find("65535"), std::string::npos);
    }
    EXPECT_EQ(sh->CellCount(), 2u);
    auto s = wb.WorkbookStream();
    auto all = records(s);
    auto col = of_type(all, rec_colinfo)[0];
    EXPECT_EQ(u16(s, col.pos + 8), 65280);
    auto rows = of_type(all, rec_row);
    EXPECT_EQ(u16(s, rows[0].pos + 4 + 6), 8192);
    EXPECT_EQ(u16(s, rows.back().pos + 4), 65535);
    EXPECT_EQ(u16(s, rows.back().pos + 4 + 6), 2);
    EXPECT_EQ(u16(s, rows.back().pos + 4 + 4), 256);
    check_index_pointers(s, 1);
}

TEST(XlsMerge, OverlapsAndDuplicatesAreRefused)
{
    workbook wb;
    worksheet* sh = wb.sheet("S");
    EXPECT_TRUE(sh->merge(0, 0, 0, 3));
    EXPECT_FALSE(sh->merge(0, 0, 0, 3));     // duplicate
    EXPECT_FALSE(sh->merge(0, 3, 1, 5));     // shares (0, 3)
    EXPECT_FALSE(sh->merge(0, 2, 0, 2));
    EXPECT_TRUE(sh->merge(0, 4, 2, 5));
    EXPECT_FALSE(sh->merge(2, 0, 2, 4));     // reaches (2, 4)
    EXPECT_TRUE(sh->merge(1, 0, 2, 3));
    EXPECT_FALSE(sh->merge(3, 2, 1, 1));     // reversed
    EXPECT_EQ(sh->Merges().size(), 3u);

    worksheet* many = wb.sheet("T");
    for (std::uint32_t i = 0; i < 1028; ++i)
        ASSERT_TRUE(many->merge(i, 0, i, 1));
    auto s = wb.WorkbookStream();
    auto mc = of_type(records(s), rec_mergedcells);
    ASSERT_EQ(mc.size(), 3u);
    EXPECT_EQ(u16(s, mc[0].pos + 4), 3);
    EXPECT_EQ(body(s, mc[0]), (std::vector<std::uint8_t>{3, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 2, 0, 4, 0, 5,
                                                        0, 1, 0, 2, 0, 0, 0, 3, 0}));
    EXPECT_EQ(u16(s, mc[1].pos + 4), 1027);
    EXPECT_EQ(u16(s, mc[2].pos + 4), 1);
    EXPECT_EQ(u16(s, mc[2].pos + 6), 1027);
}

TEST(XlsWorkbook, SheetNamesAreChecked)
{
    workbook wb;
    EXPECT_NO_THROW(wb.sheet("Page_1"));
    EXPECT_THROW(wb.sheet(""), tk_exception);
    EXPECT_THROW(wb.sheet(std::string(32, 'a')), tk_exception);
    EXPECT_NO_THROW(wb.sheet(std::string(31, 'a')));
    EXPECT_THROW(wb.sheet("PAGE_1"), tk_exception);
    for (const char* bad : {"a:b", "a\\b", "a/b", "a?b", "a*b", "a[b", "a]b"})
        EXPECT_THROW(wb.sheet(bad), tk_exception) << bad;
    EXPECT_NO_THROW(wb.sheet("Caf\xe9"));
    EXPECT_THROW(wb.sheet("CAF\xc9"), tk_exception);
    EXPECT_EQ(wb.SheetCount(), 3u);
}

TEST(XlsFormats, EqualFormatsShareOneXF)
{
    workbook wb;
    worksheet* sh = wb.sheet("S");
    cell_t* a = sh->label(0, 0, u"a");
    cell_t* b = sh->label(0, 1, u"b");
    EXPECT_EQ(a->GetXF()->GetIndex(), 15);
    xf_t* xa = a->set_halign(1);
    xf_t* xb = b->set_halign(1);
    EXPECT_EQ(xa, xb);
    EXPECT_EQ(xa->GetIndex(), 21);
    EXPECT_EQ(wb.Globals().XFCount(), 22u);
    EXPECT_EQ(xa->Value().used & 0x10, 0x10);

    // Alignment 0 equals XF 15's values but is a user XF of its own.
    cell_t* c = sh->number(1, 0, 1);
    xf_t* xc = c->set_halign(0);
    EXPECT_EQ(xc->GetIndex(), 22);
    xf_value_t v15 = wb.Globals().DefaultCellXF()->Value();
    xf_value_t vc = xc->Value();
    vc.flags &= static_cast<std::uint8_t>(~xf_user);
    EXPECT_TRUE(vc == v15);
    EXPECT_EQ(sh->number(1, 1, 2)->set_halign(0), xc);

    // A border on a cell XF colours the side 64 and marks the border group.
    xf_t* xd = sh->number(2, 0, 1)->set_border(0, 1);
    EXPECT_EQ(xd->Value().border_colour[0], 64);
    EXPECT_EQ(xd->Value().border_style[0], 1);
    EXPECT_EQ(xd->Value().used & 0x20, 0x20);

    xf_value_t f;
    xf_t::SetFormat(f, 36);
    EXPECT_EQ(f.format, 0);
    xf_t::SetFormat(f, 23);
    EXPECT_EQ(f.format, 37);
}

TEST(XlsFormats, OutOfRangeOptionsRaiseTheAssertion)
{
    workbook wb;
    cell_t* c = wb.sheet("S")->number(0, 0, 1);
    try {
        c->set_valign(4);
        FAIL();
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(),
                     "Assertion failed: va_option < _NUM_VALIGN_OPTIONS at line 962 (\?\?\?) in ../../XLS/extformat");
    }
    try {
        c->set_halign(-1);
        FAIL();
    } catch (const xls_assertion& e) {
        EXPECT_STREQ(e.what(), "Assertion failed: ha_option >= 0 at line 943 (\?\?\?) in ../../XLS/extformat");
    }
    EXPECT_THROW(c->set_border(5, 1), xls_assertion);
    EXPECT_THROW(c->set_border(0, 8), xls_assertion);
    EXPECT_EQ(c->GetXF()->GetIndex(), 15);
    EXPECT_EQ(xls_assertion_text(nullptr, nullptr, 7, nullptr), "Assertion failed: ??? at line 7 in [unidentified source file]");
}

TEST(XlsFonts, FontsArePooledByValueAndReachTheirRecords)
{
    workbook wb;
    worksheet* sh = wb.sheet("S");
    const char* names[3] = {"Arial", "Times New Roman", "Courier New"};
    for (std::uint32_t i = 0; i < 10000; ++i) {
        cell_t* c = sh->label(i / 100, i % 100, u"text");
        c->set_halign(1);
        c->set_font_height(i % 2 ? 200 : 240);
        c->set_font_name(names[i % 3]);
        c->set_valign(0);
    }
    // 3 names x 2 heights; the intermediate Verdana 240 is made but no cell
    // keeps it, so it is not written.
    EXPECT_LE(wb.Globals().FontCount(), 5u + 7u);
    EXPECT_LE(wb.Globals().XFCount(), 21u + 30u);
    auto s = wb.WorkbookStream();
    auto all = records(s);
    auto fonts = of_type(all, rec_font);
    EXPECT_EQ(fonts.size(), 5u + 6u);
    EXPECT_EQ(of_type(all, rec_xf).size(), 21u + 6u);
    // Font records numbered 0, 1, 2, 3, 5, 6, ...: every XF names a written font.
    std::map<std::uint16_t, std::string> by_index;
    for (std::size_t i = 0; i < fonts.size(); ++i) {
        auto b = body(s, fonts[i]);
        std::uint16_t idx = static_cast<std::uint16_t>(i < 4 ? i : i + 1);
        by_index[idx] = std::string(b.begin() + 16, b.end()) + "/" + std::to_string(u16(b, 0));
    }
    const cell_t* c7 = sh->GetCell(0, 7);   // i = 7: height 200, Times New Roman
    std::uint16_t fi = c7->GetXF()->GetFont()->GetIndex();
    EXPECT_GE(fi, 6);
    EXPECT_EQ(by_index[fi], "Times New Roman/200");
    for (auto& x : of_type(all, rec_xf))
        EXPECT_EQ(by_index.count(u16(s, x.pos + 4)), 1u);

    // Heights are clamped; a name outside ASCII is Latin-1.
    cell_t* d = sh->number(200, 0, 1);
    d->set_font_height(5);
    EXPECT_EQ(d->GetXF()->GetFont()->GetHeight(), 20);
    d->set_font_height(100000);
    EXPECT_EQ(d->GetXF()->GetFont()->GetHeight(), 8191);
    ASSERT_NO_THROW(d->set_font_name("Caf\xe9 Sans"));
    // Written as a 16-bit name: the 0xE9 byte stays the character U+00E9.
    s = wb.WorkbookStream();
    std::u16string written;
    for (auto& f : of_type(records(s), rec_font)) {
        auto b = body(s, f);
        if (b[15] != 1)
            continue;
        for (std::size_t k = 0; k < b[14]; ++k)
            written.push_back(static_cast<char16_t>(u16(b, 16 + 2 * k)));
    }
    EXPECT_EQ(written, u"Caf\u00e9 Sans");
}

TEST(XlsFonts, OnlyFontsInUseCountAndTheLimitsReuseTheNearest)
{
    // 400 sizes set height first, name second: the in-between Verdana fonts
    // are not written and do not count toward the limit.
    workbook wb;
    worksheet* sh = wb.sheet("S");
    for (int i = 0; i < 400; ++i) {
        cell_t* c = sh->label(static_cast<std::uint32_t>(i), 0, u"t");
        c->set_font_height(100 + i);
        c->set_font_name("Arial");
    }
    auto s = wb.WorkbookStream();
    EXPECT_EQ(of_type(records(s), rec_font).size(), 5u + 400);
    EXPECT_EQ(written_font(s, 399, 0), "Arial/499");

    // Past 510 fonts (or 4000 formats) in use, a cell gets the nearest font
    // written of its face and style, with its own other format fields.
    workbook wb2;
    worksheet* sh2 = wb2.sheet("S");
    for (int i = 0; i < 1000; ++i) {
        auto row = static_cast<std::uint32_t>(i);
        sh2->number(row, 0, 1)->set_font_name("Arial");
        for (std::uint32_t side = 0; side < 4; ++side) {
            cell_t* c = sh2->number(row, side + 1, 1);
            c->set_font_name("Arial");
            c->set_font_height(100 + i);
            c->set_border(static_cast<int>(side), 1);
        }
    }
    s = wb2.WorkbookStream();
    bool ok;
    auto all = records(s, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(of_type(all, rec_font).size(), max_font_records);
    EXPECT_EQ(of_type(all, rec_xf).size(), max_xf_records);
    // The fonts written are Arial 200 (the first cell's), then Arial 100 to
    // 604 in the order they were made; the formats run out in row 994.
    const struct {
        std::uint32_t row, col;
        const char* font;
    } expected[] = {{0, 0, "Arial/200"}, {503, 1, "Arial/603"}, {504, 2, "Arial/604"},
                    {505, 3, "Arial/604"}, {900, 4, "Arial/604"}, {999, 4, "Arial/604"}};
    for (auto& e : expected)
        EXPECT_EQ(written_font(s, e.row, e.col), e.font) << e.row;
    auto xfs = of_type(all, rec_xf);
    for (std::uint32_t row : {994u, 999u})
        for (std::uint32_t side = 0; side < 4; ++side) {
            const cell_t* c = sh2->GetCell(row, side + 1);
            ASSERT_LT(c->GetXF()->GetIndex(), max_xf_records);
            // The XF written keeps the cell's border.
            auto b = body(s, xfs[c->GetXF()->GetIndex()]);
            std::uint32_t borders = u32(b, 10);
            const int shift[4] = {12, 8, 0, 4};   // bottom, top, left, right
            EXPECT_EQ((borders >> shift[side]) & 0xF, 1u) << row << " " << side;
        }
}
