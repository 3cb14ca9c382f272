// The page writers on hand-made lines: line cells, numbers, fonts, regions,
// ruled tables, long text regions, flow layout and the page dump.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "TK/tk_errh.h"
#include "XLS/xls_globals.h"
#include "XLS/xls_workbook.h"
#include "page_fixture.h"
#include "tabrixa/PageGrid.h"
#include "tabrixa/PageRegions.h"
#include "tabrixa/PageTables.h"
#include "tabrixa/RegionWriter.h"
#include "tabrixa/TextPage.h"

using page_fixture::Blocks;
using page_fixture::LineStyle;
using page_fixture::inCell;
using page_fixture::u32;

namespace {

std::string textAt(const xls_core::worksheet* ws, unsigned r, unsigned c) {
    const auto* cell = dynamic_cast<const xls_core::label_t*>(ws->GetCell(r, c));
    if (!cell) return "<none>";
    std::string out;
    for (char16_t ch : cell->GetText()) out += ch < 128 ? static_cast<char>(ch) : '?';
    return out;
}

bool numberAt(const xls_core::worksheet* ws, unsigned r, unsigned c, double& v) {
    const auto* cell = dynamic_cast<const xls_core::number_t*>(ws->GetCell(r, c));
    if (!cell) return false;
    v = cell->GetValue();
    return true;
}

bool hasMerge(const xls_core::worksheet* ws, unsigned r, unsigned c0, unsigned c1) {
    for (const auto& m : ws->Merges())
        if (m.first_row == r && m.last_row == r && m.first_col == c0 && m.last_col == c1) return true;
    return false;
}

tbx::PageGrid gridOf(const std::vector<double>& bounds) {
    tbx::PageGrid g;
    auto it = bounds.begin();
    g.reset(*it);
    double prev = *it++;
    for (; it != bounds.end(); ++it) {
        g.addSpan(prev, *it);
        prev = *it;
    }
    return g;
}

}  // namespace

// A page, a workbook with one sheet "S" and a block to put lines into.
struct Sheet : ::testing::Test {
    xls_core::workbook wb;
    xls_core::worksheet* ws = wb.sheet("S");
    tbx::TextPage page;
    tbx::PageCells cells;
    Blocks f;
};

TEST_F(Sheet, DumpLines_LinesOnOneBaselineShareAMergedCell) {
    auto* b = f.block();
    tbx::TextLine* lines[] = {f.line(b, 50, 100, u32("Total:")), f.line(b, 150, 100, u32("1234"))};
    tbx::PageGrid g = gridOf({50, 100, 200, 300});
    EXPECT_EQ(page.dumpLines(ws, cells, &g, 5, 50, 300, lines, 2), 1);
    EXPECT_EQ(textAt(ws, 5, 0), "Total: 1234");
    EXPECT_TRUE(hasMerge(ws, 5, 0, 2));
}

TEST_F(Sheet, DumpLines_NumbersTinyLinesAndLongLines) {
    auto* b = f.block();
    std::string longText;
    for (int i = 0; i < 300; ++i) longText += "word ";
    longText += "end";
    LineStyle tiny;
    tiny.size = 0.4;  // one character 0.2 points wide
    tbx::TextLine* lines[] = {
        f.line(b, 50, 100, u32("42")),       f.line(b, 50, 120, u32(".")), f.line(b, 50, 140, u32("42 %")),
        f.line(b, 50, 160, u32("inf")),      f.line(b, 50, 180, u32(longText)),
    };
    // The tiny line: one character whose box is 0.2 points wide.
    lines[1]->xMax = lines[1]->xMin + 0.2;
    tbx::PageGrid g = gridOf({50, 300});
    EXPECT_EQ(page.dumpLines(ws, cells, &g, 0, 50, 300, lines, 5), 4);
    double v = 0;
    ASSERT_TRUE(numberAt(ws, 0, 0, v));
    EXPECT_EQ(v, 42.0);
    EXPECT_EQ(textAt(ws, 1, 0), "42 %");
    EXPECT_EQ(textAt(ws, 2, 0), "inf");
    EXPECT_EQ(textAt(ws, 3, 0), longText);
    EXPECT_EQ(textAt(ws, 4, 0), "<none>");
}

TEST_F(Sheet, DumpLines_TextJoiningANumberCellKeepsThePageCharacters) {
    // Two blocks whose lines meet in one worksheet column.
    auto* b = f.block();
    tbx::TextLine* numbers[] = {f.line(b, 50, 100, u32("12.50")), f.line(b, 50, 120, u32("1e5"))};
    tbx::TextLine* refs[] = {f.line(b, 60, 100, u32("Ref")), f.line(b, 60, 120, u32("Ref"))};
    tbx::PageGrid g = gridOf({50, 300});
    ASSERT_EQ(page.dumpLines(ws, cells, &g, 0, 50, 300, numbers, 2), 2);
    ASSERT_EQ(page.dumpLines(ws, cells, &g, 0, 50, 300, refs, 2), 2);
    EXPECT_EQ(textAt(ws, 0, 0), "12.50 Ref");
    EXPECT_EQ(textAt(ws, 1, 0), "1e5 Ref");
}

TEST_F(Sheet, BlanksThePageShowsNeverEndACell) {
    // A figure with a trailing no-break space (or a figure space, a narrow
    // no-break space, a plain blank) is a number; texts lose their end blanks
    // but keep the ones inside.
    auto* b = f.block();
    tbx::TextLine* lines[] = {f.line(b, 50, 100, U"426\u00A0"), f.line(b, 50, 120, U"\u202F12.5\u2007"),
                              f.line(b, 50, 140, U"7 "),         f.line(b, 50, 160, U"02134\u00A0"),
                              f.line(b, 50, 180, U"1\u00A0000"),  f.line(b, 50, 200, U"Year\u00A0")};
    tbx::PageGrid g = gridOf({50, 300});
    ASSERT_EQ(page.dumpLines(ws, cells, &g, 0, 50, 300, lines, 6), 6);
    double v = 0;
    EXPECT_TRUE(numberAt(ws, 0, 0, v) && v == 426.0);
    EXPECT_TRUE(numberAt(ws, 1, 0, v) && v == 12.5);
    EXPECT_TRUE(numberAt(ws, 2, 0, v) && v == 7.0);
    EXPECT_EQ(textAt(ws, 3, 0), "02134");
    EXPECT_EQ(textAt(ws, 4, 0), "1?000");
    EXPECT_EQ(textAt(ws, 5, 0), "Year");
}

TEST_F(Sheet, NoMergedRangeHidesAValue) {
    // Readers show a merged range's first cell only. A range over a value
    // on its first row ends before it; one over a value on a later row ends
    // above it; a range over empty (bordered) cells stays; a range left with
    // one cell goes, and what the narrowed ranges freed can be merged again.
    tbx::putCellText(*ws, cells, 0, 0, L"Title", nullptr);
    tbx::putCellText(*ws, cells, 0, 2, L"HIGHLAND, IN", nullptr);
    ws->merge(0, 0, 0, 3);
    const std::wstring n = L"7";
    tbx::putCellText(*ws, cells, 3, 1, n, &n);
    ws->merge(2, 0, 4, 1);
    tbx::putEmptyCell(*ws, cells, 6, 1);
    ws->merge(6, 0, 6, 1);
    tbx::putCellText(*ws, cells, 8, 1, L"period", nullptr);
    ws->merge(8, 0, 8, 1);
    EXPECT_EQ(tbx::uncoverMergedValues(*ws), 3u);
    EXPECT_TRUE(hasMerge(ws, 0, 0, 1));
    ASSERT_EQ(ws->Merges().size(), 3u);
    const auto& rows = ws->Merges()[1];
    EXPECT_EQ(rows.first_row * 1000 + rows.last_row * 100 + rows.first_col * 10 + rows.last_col, 2201u);
    EXPECT_TRUE(hasMerge(ws, 6, 0, 1));
    EXPECT_TRUE(ws->merge(0, 2, 0, 3));
    EXPECT_TRUE(ws->merge(3, 0, 3, 0) && ws->merge(8, 0, 8, 0));
}

TEST_F(Sheet, DumpLines_CellFontFromTheLine) {
    auto* b = f.block();
    LineStyle narrow;
    narrow.size = 10.5;
    narrow.fontClass = "f11";
    LineStyle times;
    times.size = 12;
    times.fontClass = "f20";
    tbx::TextLine* lines[] = {f.line(b, 50, 100, u32("Narrow text"), narrow), f.line(b, 50, 140, u32("Serif"), times)};
    tbx::PageGrid g = gridOf({50, 300});
    ASSERT_EQ(page.dumpLines(ws, cells, &g, 0, 50, 300, lines, 2), 2);
    const xls_core::font_t* f0 = ws->GetCell(0, 0)->GetXF()->GetFont();
    const xls_core::font_t* f1 = ws->GetCell(1, 0)->GetXF()->GetFont();
    ASSERT_TRUE(f0 && f1);
    EXPECT_EQ(f0->GetHeight(), 210);
    EXPECT_NE(f0->GetName(), "Times New Roman");
    EXPECT_EQ(f1->GetHeight(), 240);
    EXPECT_EQ(f1->GetName(), "Times New Roman");
    EXPECT_EQ(ws->GetCell(1, 0)->GetXF()->Value().valign, 0);
}

TEST(Regions, TwoColumnsMakeOneRegionOfTwoBlocks) {
    Blocks f;
    auto* left = f.block();
    auto* right = f.block();
    for (int i = 0; i < 6; ++i) {
        f.line(left, 50, 100 + 12 * i, u32("Left column text " + std::to_string(i)));
        f.line(right, 320, 100 + 12 * i, u32("Right column text " + std::to_string(i)));
    }
    auto blocks = f.array();
    tbx::PageRegions regions;
    regions.build(blocks.data(), 2, tbx::PageTables());
    ASSERT_EQ(regions.regions.size(), 1u);
    const tbx::PageRegion& r = *regions.regions[0];
    EXPECT_EQ(r.id, 0);
    ASSERT_EQ(r.blockCount(), 2);
    EXPECT_EQ(r.blocks[0]->lineCount(), 6);
    EXPECT_EQ(r.blocks[1]->lineCount(), 6);
    EXPECT_LT(r.blocks[0]->xMax, r.blocks[1]->xMin);
    // Flow layout: each column written downwards from the region's first row.
    EXPECT_EQ(r.gridLineCount(), 0);
}

TEST(Regions, VerticalTextAndTinyLinesAreNeverWritten) {
    Blocks f;
    auto* vertical = f.block(1);
    f.line(vertical, 20, 30, u32("Sideways"));
    auto* text = f.block();
    f.line(text, 50, 100, u32("Body"));
    tbx::TextLine* tiny = f.line(text, 50, 300, u32("."));
    tiny->xMax = tiny->xMin + 0.2;
    auto blocks = f.array();
    tbx::PageRegions regions;
    regions.build(blocks.data(), 2, tbx::PageTables());
    ASSERT_EQ(regions.regions.size(), 2u);
    EXPECT_EQ(regions.regions[0]->id, tbx::PageRegion::verticalTextId);
    ASSERT_EQ(regions.regions[1]->blockCount(), 1);
    EXPECT_EQ(regions.regions[1]->blocks[0]->lineCount(), 1);

    Blocks g;
    f.line(g.block(3), 20, 30, u32("Only sideways"));
    auto onlyVertical = g.array();
    regions.build(onlyVertical.data(), 1, tbx::PageTables());
    ASSERT_EQ(regions.regions.size(), 1u);
    EXPECT_EQ(regions.regions[0]->id, tbx::PageRegion::verticalTextId);
}

namespace {
// A ruled table of 3 rows x 2 columns at x 100..300, y 100..160.
tbx::PageTables threeByTwo(double thickness = 0.5) {
    return page_fixture::uniformTable(100, 300, 100, 160, 2, 3, thickness);
}
}  // namespace

TEST(TableRegions, CellsNumbersBordersAndEmptyRows) {
    tbx::PageTables tables = threeByTwo(0.3);
    Blocks f;
    auto* b = f.block();
    f.line(b, 104, 115, u32("Item"), inCell(0));
    f.line(b, 104, 135, u32("12 kg"), inCell(2));
    f.line(b, 204, 135, u32("1234.5"), inCell(3));
    auto* after = f.block();
    f.line(after, 100, 200, u32("Below the table"));
    auto blocks = f.array();
    tbx::PageRegions regions;
    regions.build(blocks.data(), 2, tables);
    ASSERT_EQ(regions.regions.size(), 2u);
    tbx::PageRegion& table = *regions.regions[0];
    ASSERT_TRUE(table.isTable());
    EXPECT_EQ(table.blockCount(), 2);
    int taken = 0;
    for (const tbx::TextLine* l : regions.lines) taken += l->cellCode < 0;
    EXPECT_EQ(taken, 3);

    xls_core::workbook wb;
    xls_core::worksheet* ws = wb.sheet("S");
    tbx::TextPage page;
    tbx::PageGrid grid;
    grid.build(regions);
    tbx::RegionWriter writer(page, *ws, grid, tables);
    // The last row of the table holds no text but is drawn: it counts.
    EXPECT_EQ(writer.dumpRegion(table, 0), 3);
    EXPECT_EQ(textAt(ws, 0, 0), "Item");
    EXPECT_EQ(textAt(ws, 1, 0), "12 kg");
    double v = 0;
    // The text below the table splits its first column: boundaries 100, 175, 200, 300.
    ASSERT_EQ(grid.columnCount(), 3);
    EXPECT_TRUE(hasMerge(ws, 0, 0, 1));
    ASSERT_TRUE(numberAt(ws, 1, 2, v)) << textAt(ws, 1, 2);
    EXPECT_EQ(v, 1234.5);
    for (auto rc : {std::pair<unsigned, unsigned>{0, 1}, {0, 2}, {2, 0}, {2, 1}, {2, 2}}) {
        EXPECT_EQ(textAt(ws, rc.first, rc.second), "") << rc.first << "," << rc.second;
        const auto& xf = ws->GetCell(rc.first, rc.second)->GetXF()->Value();
        // Only the first column of a merged cell wraps; every column has borders.
        EXPECT_EQ((xf.flags & xls_core::xf_wrap) != 0, rc.second != 1);
        for (int side = 0; side < 4; ++side) EXPECT_EQ(xf.border_style[side], 1);
    }
    // Thickness 0.3: weight 6, style (6 + 10) / 20 = 0 raised to thin.
    EXPECT_EQ(ws->GetCell(0, 0)->GetXF()->Value().border_style[2], 1);
    EXPECT_EQ(writer.dumpRegion(*regions.regions[1], 3), 1);
    EXPECT_EQ(textAt(ws, 3, 0), "Below the table");
    EXPECT_EQ(textAt(ws, 2, 0), "");
}

TEST(TableRegions, ThickLinesGiveTheHeaviestBorder) {
    tbx::PageTables tables = threeByTwo(2.5);
    Blocks f;
    auto* b = f.block();
    f.line(b, 104, 115, u32("Word"), inCell(0));
    f.line(b, 104, 155, u32("Two words"), inCell(4));
    auto blocks = f.array();
    tbx::PageRegions regions;
    regions.build(blocks.data(), 1, tables);
    ASSERT_EQ(regions.regions.size(), 1u);
    xls_core::workbook wb;
    xls_core::worksheet* ws = wb.sheet("S");
    tbx::TextPage page;
    tbx::PageGrid grid;
    grid.build(regions);
    tbx::RegionWriter writer(page, *ws, grid, tables);
    EXPECT_EQ(writer.dumpRegion(*regions.regions[0], 0), 3);
    EXPECT_EQ(ws->GetCell(0, 0)->GetXF()->Value().border_style[0], 3);
    EXPECT_EQ(textAt(ws, 2, 0), "Two words");
    EXPECT_EQ(textAt(ws, 2, 1), "");
}

TEST_F(Sheet, TextRegions_TenThousandLinesNeverWrapOntoEarlierRows) {
    tbx::TextBlock* cols[3] = {f.block(), f.block(), f.block()};
    const int rows = 3400;  // 10200 lines in a grid of three blocks
    for (int i = 0; i < rows; ++i)
        for (int c = 0; c < 3; ++c) f.line(cols[c], 50 + 150 * c, 20 + 12 * i, u32(std::string(1, char('A' + c)) + std::to_string(i)));
    auto region = std::make_unique<tbx::PageRegion>(0);
    for (int c = 0; c < 3; ++c) {
        tbx::TextLine* l = cols[c]->lines;
        auto rb = std::make_unique<tbx::RegionBlock>(l);
        for (l = l->next; l; l = l->next) rb->addLine(l);
        region->addBlock(std::move(rb));
    }
    region->finish();
    tbx::PageRegions regions;
    regions.regions.push_back(std::move(region));
    tbx::PageGrid grid;
    grid.build(regions);
    ASSERT_EQ(grid.columnCount(), 3);
    tbx::PageTables none;
    tbx::RegionWriter writer(page, *ws, grid, none);
    ASSERT_GT(regions.regions[0]->gridLineCount(), 0);
    EXPECT_EQ(writer.dumpRegion(*regions.regions[0], 0), rows);
    EXPECT_EQ(ws->CellCount(), 3u * rows);
    EXPECT_EQ(textAt(ws, 0, 0), "A0");
    EXPECT_EQ(textAt(ws, 66, 1), "B66");
    EXPECT_EQ(textAt(ws, rows - 1, 2), "C" + std::to_string(rows - 1));
}

TEST_F(Sheet, FlowLayout_WhatCannotBePlacedIsStillWrittenInOrder) {
    auto* b = f.block();
    tbx::TextLine* first = f.line(b, 50, 100, u32("First line"));
    tbx::TextLine* second = f.line(b, 50, 112, u32("Second line"));
    tbx::TextLine* third = f.line(b, 50, 400, u32("Far below"));
    auto* nb = f.block();
    tbx::TextLine* inner1 = f.line(nb, 60, 300, u32("Nested left"));
    tbx::TextLine* inner2 = f.line(nb, 200, 300, u32("Nested right"));
    tbx::TextLine* inner3 = f.line(nb, 60, 312, u32("Nested next"));

    tbx::PageRegion region(0);
    auto block = std::make_unique<tbx::RegionBlock>(first);
    block->addLine(second);
    block->addLine(third);
    auto nested = std::make_unique<tbx::PageRegion>(0);
    auto n1 = std::make_unique<tbx::RegionBlock>(inner1);
    n1->addLine(inner3);
    nested->addBlock(std::move(n1));
    nested->addBlock(std::make_unique<tbx::RegionBlock>(inner2));
    nested->finish();
    nested->parentBlockCount = 1;
    block->subRegions.push_back(std::move(nested));
    // A box that no longer holds its lines and nested region.
    block->yMax = 105;
    block->xMax = 400;
    region.addBlock(std::move(block));

    tbx::PageRegions regions;
    tbx::PageGrid grid;
    grid.reset(50);
    grid.addSpan(50, 200);
    grid.addSpan(200, 400);
    tbx::PageTables none;
    tbx::RegionWriter writer(page, *ws, grid, none);
    ASSERT_EQ(region.gridLineCount(), 0);
    const int used = writer.dumpRegion(region, 0);
    EXPECT_EQ(used, 5);
    EXPECT_EQ(textAt(ws, 0, 0), "First line");
    EXPECT_EQ(textAt(ws, 1, 0), "Second line");
    EXPECT_EQ(textAt(ws, 2, 0), "Nested left");
    EXPECT_EQ(textAt(ws, 2, 1), "Nested right");
    EXPECT_EQ(textAt(ws, 3, 0), "Nested next");
    EXPECT_EQ(textAt(ws, 4, 0), "Far below");
}

TEST(PageDump, SheetNamedByPagesConvertedWithColumnsAndCells) {
    Blocks f;
    auto* left = f.block();
    auto* right = f.block();
    for (int i = 0; i < 6; ++i) {
        f.line(left, 50, 100 + 12 * i, u32("Left " + std::to_string(i) + " text"));
        f.line(right, 320, 100 + 12 * i, u32("Right " + std::to_string(i) + " text"));
    }
    tbx::TextLine* noBase = f.line(right, 320, -1.0, u32("Late"));
    noBase->yMin = 300;
    noBase->yMax = 310;
    tbx::TextPage page;
    page.blocks = f.release();
    xls_core::workbook wb;
    page.dump(&wb, 2);
    ASSERT_EQ(wb.SheetCount(), 1u);
    const xls_core::worksheet* ws = wb.GetSheet(0);
    EXPECT_EQ(noBase->base, 0.72 * 310 + 0.28 * 300);
    EXPECT_EQ(textAt(ws, 0, 0), "Left 0 text");
    EXPECT_EQ(textAt(ws, 0, 1), "Right 0 text");
    EXPECT_EQ(textAt(ws, 5, 1), "Right 5 text");
    EXPECT_EQ(textAt(ws, 6, 1), "Late");

    // Vertical text comes after the rest of the page, one line per row.
    tbx::TextPage sideways;
    Blocks g;
    auto* up = g.block(3);
    g.line(up, 20, 30, u32("Sideways"));
    g.line(up, 40, 30, u32("2024"));
    g.line(g.block(0), 100, 100, u32("Across"));
    sideways.blocks = g.release();
    sideways.dump(&wb, 3);
    ASSERT_EQ(wb.SheetCount(), 2u);
    const xls_core::worksheet* ws2 = wb.GetSheet(1);
    EXPECT_EQ(ws2->CellCount(), 3u);
    EXPECT_EQ(textAt(ws2, 0, 0), "Across");
    EXPECT_EQ(textAt(ws2, 1, 0), "Sideways");
    double v = 0;
    EXPECT_TRUE(numberAt(ws2, 2, 0, v));
    EXPECT_EQ(v, 2024.0);
}

namespace {
// Collects the reports, as the wizard's handler does.
struct RecordingHandler : error_handler {
    std::vector<std::string> reports;
    void handle(const tk_exception& e, int) override { reports.push_back(e.what()); }
};
}  // namespace

TEST(PageDump, MoreColumnsThanASheetHoldsStayWithinItsLastColumn) {
    RecordingHandler said;
    Blocks f;
    LineStyle tiny;
    tiny.size = 2.0;
    for (int i = 0; i < 400; ++i) {  // 400 columns 12 points apart
        auto* b = f.block();
        f.line(b, 10.0 + 12.0 * i, 100, u32(std::string(1, char('a' + i % 26))), tiny);
        f.line(b, 10.0 + 12.0 * i, 103, u32(std::string(1, char('a' + i % 26))), tiny);
    }
    tbx::TextPage page;
    page.blocks = f.release();
    xls_core::workbook wb;
    ASSERT_NO_THROW(page.dump(&wb, 0));
    const xls_core::worksheet* ws = wb.GetSheet(0);
    EXPECT_GT(ws->CellCount(), 0u);
    for (const auto& m : ws->Merges()) EXPECT_LE(m.last_col, 255u);
    // The row reaches the sheet's last column, and nothing goes beyond it.
    bool last = false;
    for (unsigned r = 0; r < 8; ++r) last |= ws->GetCell(r, 255) != nullptr;
    EXPECT_TRUE(last);
    // Every character of the page is somewhere on the sheet.
    std::string all;
    for (unsigned r = 0; r < 4; ++r)
        for (unsigned c = 0; c < 256; ++c) all += textAt(ws, r, c);
    EXPECT_EQ(std::count(all.begin(), all.end(), 'z'), 2 * 15);
    EXPECT_EQ(said.reports, std::vector<std::string>{
                                "Page 1 has 399 columns, more than the 256 of a worksheet: the text of columns 257 "
                                "to 399 is joined into the last column."});
}

TEST(PageDump, MoreRowsAndLongerTextsThanASheetHoldsWarnOnceAndTheRestIsWritten) {
    RecordingHandler said;
    Blocks f;
    auto* b = f.block();
    LineStyle small;
    small.size = 4.0;
    const int rows = 65540;
    for (int i = 0; i < rows; ++i) f.line(b, 50, 10 + 5.0 * i, U"r" + u32(std::to_string(i + 1)), small);
    auto* right = f.block();
    const std::u32string longWord(40000, U'x');
    for (int i = 0; i < 2; ++i) f.line(right, 400, 10 + 5.0 * i, longWord, small);
    tbx::TextPage page;
    page.pageNumber = 7;
    page.blocks = f.release();
    xls_core::workbook wb;
    ASSERT_NO_THROW(page.dump(&wb, 0));
    const xls_core::worksheet* ws = wb.GetSheet(0);
    EXPECT_EQ(textAt(ws, 65535, 0), "r65536");
    size_t longest = 0;
    for (unsigned c = 0; c < 4; ++c) longest = std::max(longest, textAt(ws, 1, c).size());
    EXPECT_EQ(longest, 32767u);
    EXPECT_EQ(said.reports,
              (std::vector<std::string>{"Page 7 has 65540 rows, more than the 65536 of a worksheet: rows 65537 to "
                                        "65540 are left out.",
                                        "Page 7: 2 cell texts are longer than the 32767 characters a cell holds "
                                        "and cut there."}));
}

TEST_F(Sheet, DumpLines_TextMeetingEarlierTextInOneCellIsKeptAfterIt) {
    auto* b = f.block();
    tbx::TextLine* left[] = {f.line(b, 50, 100, u32("12"))};
    tbx::TextLine* right[] = {f.line(b, 58, 100, u32("kg"))};
    tbx::PageGrid g = gridOf({50, 300});
    // Two blocks whose columns fall into one worksheet column, written side by side.
    EXPECT_EQ(page.dumpLines(ws, cells, &g, 0, 50, 55, left, 1), 1);
    EXPECT_EQ(page.dumpLines(ws, cells, &g, 0, 58, 70, right, 1), 1);
    EXPECT_EQ(textAt(ws, 0, 0), "12 kg");
}

TEST(TextRegionRules, EachRuleDecidesItsCase) {
    struct Line {
        int block;
        double x, base;
        std::string text;
        int rowMark;
    };
    struct Cell {
        unsigned row, col;
        std::string text;
    };
    const std::string a24(24, 'a'), b20(20, 'b');
    const struct {
        const char* rule;
        std::vector<double> grid;
        std::vector<Line> lines;
        std::vector<Cell> cells;
        std::vector<std::array<unsigned, 2>> merges;  // columns merged on row 0
    } cases[] = {
        // The first block (50..170) reaches into column 150..190 of the next block.
        {"a cell gives back its last column when it covers under 0.55 of it; the next cell starts after it",
         {50, 100, 150, 190, 300, 400}, {{0, 50, 100, a24, 0}, {1, 140, 100, b20, 0}},
         {{0, 0, a24}, {0, 2, b20}}, {{0, 1}}},
        {"and keeps it when it covers 0.6 of it", {50, 100, 150, 183, 300, 400},
         {{0, 50, 100, a24, 0}, {1, 140, 100, b20, 0}}, {{0, 0, a24}, {0, 2, b20}}, {{0, 2}}},
        {"a row-marked region of three blocks is written row by row",
         {50, 150, 250, 350},
         {{0, 50, 100, "a0", 0}, {0, 50, 112, "a1", 0}, {1, 150, 112, "b1", 3}, {2, 250, 100, "c0", 0}},
         {{0, 0, "a0"}, {1, 0, "a1"}, {1, 1, "b1"}, {0, 2, "c0"}}, {}},
        {"two lines of a block 4 pt apart share a cell", {50, 300}, {{0, 50, 100, "aa", 0}, {0, 52, 104, "bb", 0}},
         {{0, 0, "aa  bb"}}, {}},
        {"6 pt apart they do not", {50, 300}, {{0, 50, 100, "aa", 0}, {0, 52, 106, "bb", 0}},
         {{0, 0, "aa"}, {1, 0, "bb"}}, {}},
        {"lines of two blocks with bases 4 pt apart stand on one row", {50, 150, 250},
         {{0, 50, 104, "LL", 0}, {1, 150, 100, "RR", 0}}, {{0, 0, "LL"}, {0, 1, "RR"}}, {}},
        {"6 pt apart they do not", {50, 150, 250}, {{0, 50, 106, "LL", 0}, {1, 150, 100, "RR", 0}},
         {{0, 1, "RR"}, {1, 0, "LL"}}, {}},
    };
    for (const auto& c : cases) {
        Blocks f;
        auto* tb = f.block();
        std::vector<std::vector<tbx::TextLine*>> byBlock;
        for (const Line& l : c.lines) {
            tbx::TextLine* line = f.line(tb, l.x, l.base, u32(l.text));
            line->blockIndex = l.rowMark;
            byBlock.resize(std::max(byBlock.size(), static_cast<size_t>(l.block) + 1));
            byBlock[static_cast<size_t>(l.block)].push_back(line);
        }
        tbx::PageRegion region(0);
        for (const auto& lines : byBlock) {
            auto rb = std::make_unique<tbx::RegionBlock>(lines[0]);
            for (size_t i = 1; i < lines.size(); ++i) rb->addLine(lines[i]);
            region.addBlock(std::move(rb));
        }
        region.finish();
        xls_core::workbook wb;
        xls_core::worksheet* ws = wb.sheet("S");
        tbx::TextPage page;
        tbx::PageGrid grid = gridOf(c.grid);
        tbx::PageTables none;
        tbx::RegionWriter(page, *ws, grid, none).dumpRegion(region, 0);
        for (const Cell& cell : c.cells) EXPECT_EQ(textAt(ws, cell.row, cell.col), cell.text) << c.rule;
        for (const auto& m : c.merges) EXPECT_TRUE(hasMerge(ws, 0, m[0], m[1])) << c.rule;
    }
}
