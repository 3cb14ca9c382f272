// The region builder's finer rules: row marks, nested regions, ruled tables
// inside and outside columns.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "page_fixture.h"
#include "tabrixa/PageRegions.h"
#include "tabrixa/PageTables.h"

using page_fixture::Blocks;
using page_fixture::LineStyle;
using page_fixture::u32;

using page_fixture::inCell;
using page_fixture::uniformTable;

TEST(RegionBlocks, RowMarksCountFromThreeForTheFirstLineAndTwoForOthers) {
    Blocks f;
    auto* b = f.block();
    tbx::TextLine* a = f.line(b, 50, 100, u32("first"));
    tbx::TextLine* c = f.line(b, 50, 112, u32("second"));
    tbx::TextLine* d = f.line(b, 50, 124, u32("third"));
    a->blockIndex = 2;
    c->blockIndex = 2;
    d->blockIndex = 100;
    tbx::RegionBlock rb(a);
    EXPECT_EQ(rb.markedLines, 0);
    rb.addLine(c);
    rb.addLine(d);
    EXPECT_EQ(rb.markedLines, 1);
    EXPECT_EQ(a->blockIndex + c->blockIndex + d->blockIndex, 0);
    EXPECT_EQ(rb.baseMin, 100);
    EXPECT_EQ(rb.baseMax, 124);
}

TEST(RegionBlocks, ADissolvedNestedRegionJoinsItsBlockInBaseOrder) {
    Blocks f;
    auto* b = f.block();
    tbx::TextLine* top = f.line(b, 50, 100, u32("top line"));
    tbx::TextLine* l1 = f.line(b, 60, 130, u32("left one"));
    tbx::TextLine* r1 = f.line(b, 200, 130, u32("right one"));
    tbx::TextLine* l2 = f.line(b, 60, 142, u32("left two"));
    tbx::RegionBlock block(top);
    auto nested = std::make_unique<tbx::PageRegion>();
    auto left = std::make_unique<tbx::RegionBlock>(l1);
    left->addLine(l2);
    nested->addBlock(std::move(left));
    nested->addBlock(std::make_unique<tbx::RegionBlock>(r1));
    block.nested = std::move(nested);
    block.closeNested(true);
    EXPECT_TRUE(block.subRegions.empty());
    EXPECT_EQ(block.lines, (std::vector<tbx::TextLine*>{top, l1, r1, l2}));

    // The same region, not dissolved, stays nested: two blocks, two lines.
    tbx::RegionBlock keep(top);
    nested = std::make_unique<tbx::PageRegion>();
    left = std::make_unique<tbx::RegionBlock>(l1);
    left->addLine(l2);
    nested->addBlock(std::move(left));
    nested->addBlock(std::make_unique<tbx::RegionBlock>(r1));
    keep.nested = std::move(nested);
    keep.closeNested(false);
    ASSERT_EQ(keep.subRegions.size(), 1u);
    EXPECT_EQ(keep.lines.size(), 1u);
    EXPECT_GE(keep.yMax, l2->yMax);
}

TEST(TableRegions, ATableInsideAColumnNestsInIt) {
    tbx::PageTables tables = uniformTable(100, 300, 150, 190, 2, 2);
    Blocks f;
    auto* text = f.block();
    f.line(text, 50, 100, u32("A wide paragraph line that spans the whole column of the page text"));
    f.line(text, 50, 112, u32("and a second line of the same wide paragraph in the column here"));
    auto* tb = f.block();
    f.line(tb, 104, 165, u32("a"), inCell(0));
    f.line(tb, 204, 185, u32("d"), inCell(3));
    auto blocks = f.array();
    tbx::PageRegions regions;
    regions.build(blocks.data(), 2, tables);
    ASSERT_EQ(regions.regions.size(), 1u);
    const tbx::PageRegion& r = *regions.regions[0];
    ASSERT_EQ(r.blockCount(), 1);
    const tbx::RegionBlock& b = *r.blocks[0];
    ASSERT_EQ(b.subRegions.size(), 1u);
    const tbx::PageRegion& t = *b.subRegions[0];
    EXPECT_TRUE(t.isTable());
    EXPECT_EQ(t.parentBlockCount, 1);
    ASSERT_EQ(t.blockCount(), 2);
    EXPECT_EQ(t.blocks[0]->lineCount(), 1);
    EXPECT_EQ(t.blocks[1]->lineCount(), 1);
    EXPECT_GE(b.yMax, 190);
    // Nested regions are written in flow layout, in their vertical place.
    EXPECT_EQ(r.gridLineCount(), 0);
}

TEST(TableRegions, ATableBesideTheTextStandsAlone) {
    // Four columns: cell index 6 is in column 2.
    tbx::PageTables tables = uniformTable(100, 500, 150, 190, 4, 2);
    Blocks f;
    auto* text = f.block();
    f.line(text, 50, 100, u32("Heading above"));
    auto* tb = f.block();
    f.line(tb, 104, 165, u32("first"), inCell(0));
    f.line(tb, 304, 185, u32("seven"), inCell(6));
    auto* after = f.block();
    f.line(after, 50, 250, u32("Text after the table"));
    auto blocks = f.array();
    tbx::PageRegions regions;
    regions.build(blocks.data(), 3, tables);
    ASSERT_EQ(regions.regions.size(), 3u);
    EXPECT_EQ(regions.regions[0]->id, 0);
    EXPECT_FALSE(regions.regions[0]->isTable());
    const tbx::PageRegion& t = *regions.regions[1];
    EXPECT_EQ(t.id, 1);
    ASSERT_TRUE(t.isTable());
    ASSERT_EQ(t.blockCount(), 4);
    EXPECT_EQ(t.blocks[2]->lineCount(), 1);
    EXPECT_EQ(t.blocks[0]->lineCount(), 1);
    EXPECT_EQ(regions.regions[2]->id, 2);
}

TEST(TableRegions, LinesOfAnUnknownTableStayText) {
    Blocks f;
    auto* b = f.block();
    f.line(b, 50, 100, u32("orphan"), inCell(3));
    auto blocks = f.array();
    tbx::PageRegions regions;
    regions.build(blocks.data(), 1, tbx::PageTables());
    ASSERT_EQ(regions.regions.size(), 1u);
    EXPECT_FALSE(regions.regions[0]->isTable());
    EXPECT_EQ(regions.regions[0]->blocks[0]->lineCount(), 1);
}

namespace {
// Regions of a page as text: "[3,3] [1]" is a region of two blocks of three
// lines and a region of one block of one line; a nested region follows its
// block in parentheses.
std::string shape(const tbx::PageRegion& r) {
    std::string s = "[";
    for (const auto& b : r.blocks) {
        if (s.size() > 1) s += ',';
        s += std::to_string(b->lineCount());
        for (const auto& n : b->subRegions) s += "(" + shape(*n) + ")";
    }
    return s + "]";
}
}  // namespace

TEST(RegionRules, EachRuleDecidesItsCase) {
    struct Line {
        double x, base;
        int chars, colGroup;
    };
    // Three lines of 'chars' characters (5 pt each) at x, 12 pt apart from base 100.
    auto paragraph = [](double x, int chars) {
        return std::vector<Line>{{x, 100, chars, 0}, {x, 112, chars, 0}, {x, 124, chars, 0}};
    };
    auto plus = [](std::vector<Line> a, const std::vector<Line>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const struct {
        const char* rule;
        std::vector<Line> lines;
        const char* regions;
    } cases[] = {
        {"a row crossing both columns starts a region",
         plus(plus(paragraph(50, 20), paragraph(250, 20)), {{50, 136, 60, 0}}), "[3,3] [1]"},
        {"a row splitting a block between two column groups starts a region",
         plus(paragraph(50, 60), {{50, 136, 10, 1}, {200, 136, 10, 2}}), "[3] [1,1]"},
        {"a line over half of a block (0.5) joins it", plus(paragraph(50, 20), {{100, 136, 40, 0}}), "[4]"},
        {"a line over 0.4 of a block does not", plus(paragraph(50, 20), {{110, 136, 40, 0}}), "[3] [1]"},
    };
    for (const auto& c : cases) {
        Blocks f;
        auto* b = f.block();
        for (const Line& l : c.lines) {
            LineStyle style;
            style.colGroup = l.colGroup;
            f.line(b, l.x, l.base, u32(std::string(static_cast<size_t>(l.chars), 'x')), style);
        }
        auto blocks = f.array();
        tbx::PageRegions regions;
        regions.build(blocks.data(), 1, tbx::PageTables());
        std::string got;
        for (const auto& r : regions.regions) got += (got.empty() ? "" : " ") + shape(*r);
        EXPECT_EQ(got, c.regions) << c.rule;
    }
}

TEST(PageRegionsWork, ADottedPageIsCutIntoRegionsLookingAtFewBlocksPerLine) {
    // 900 columns of 4 dots: every row meets every column of its region,
    // which must not cost every block for every line of every row.
    Blocks f;
    LineStyle dot;
    dot.size = 2.0;
    for (int c = 0; c < 900; ++c) {
        auto* b = f.block();
        for (int r = 0; r < 4; ++r) f.line(b, 6 + 2.4 * c, 20 + 2.55 * r, u32("."), dot);
    }
    std::vector<tbx::TextBlock*> blocks = f.array();
    tbx::PageRegions regions;
    regions.build(blocks.data(), static_cast<int>(blocks.size()), tbx::PageTables());
    // Every dot is in some region. The row tests of each line go over the
    // rest of its row (900 x 900 / 2 lines for each of the 4 rows), and each
    // of those lines meets only the blocks beside it: block by block it would
    // meet all 900 blocks.
    size_t placed = 0;
    for (const auto& r : regions.regions)
        for (const auto& b : r->blocks) placed += b->lines.size();
    EXPECT_EQ(placed, 900u * 4u);
    const size_t rowLines = 4u * 900u * 900u / 2u;
    EXPECT_LT(regions.blockLooks, 4 * rowLines) << regions.blockLooks;
}
