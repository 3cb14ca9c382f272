#include <gtest/gtest.h>

#include "tabrixa/PageGrid.h"
#include "tabrixa/PageRegions.h"

using tbx::PageGrid;

namespace {
std::vector<double> spans(double minX, std::initializer_list<std::pair<double, double>> list) {
    PageGrid g;
    g.reset(minX);
    for (auto s : list) g.addSpan(s.first, s.second);
    return g.boundaries();
}
}  // namespace

TEST(PageGrid, FirstSpanStartsAtTheLeftmostEdge) {
    EXPECT_EQ(spans(50, {{50, 200}}), (std::vector<double>{50, 200}));
    EXPECT_EQ(spans(30, {{50, 200}}), (std::vector<double>{30, 50, 200}));
    EXPECT_EQ(spans(45, {{50, 200}}), (std::vector<double>{45, 200}));
}

TEST(PageGrid, EdgesSnapToNearbyBoundaries) {
    EXPECT_EQ(spans(100, {{100, 300}, {104, 300}}), (std::vector<double>{100, 300}));
    EXPECT_EQ(spans(100, {{100, 300}, {150, 300}}), (std::vector<double>{100, 150, 300}));
    // Just beyond the last boundary: the boundary moves; farther out: a new column.
    EXPECT_EQ(spans(100, {{100, 300}, {300, 305}}), (std::vector<double>{100, 305}));
    EXPECT_EQ(spans(100, {{100, 300}, {300, 320}}), (std::vector<double>{100, 300, 320}));
}

TEST(PageGrid, AColumnStartingNearWhereTextEndsMovesThatBoundary) {
    // A title from 100 to 388.7, then columns starting at 385.5 and 330.
    PageGrid g;
    g.reset(100);
    g.addSpan(100, 388.7, true);
    g.addSpan(330, 385.5);
    g.addSpan(385.5, 440);
    EXPECT_EQ(g.boundaries(), (std::vector<double>{100, 330, 385.5, 440}));
    // Where text starts stays: a start near it, or an end, snaps to it.
    g.addSpan(383, 500, true);
    g.addSpan(332, 440);
    EXPECT_EQ(g.boundaries(), (std::vector<double>{100, 330, 385.5, 440, 500}));
}

TEST(PageGrid, NarrowSpansSnapLessReadily) {
    // Width 4: divisor 3, snapping distance 3.33 keeps both edges of the span.
    EXPECT_EQ(spans(0, {{0, 100}, {40, 44}}), (std::vector<double>{0, 40, 44, 100}));
    // Width 9 and more snaps within 10.
    EXPECT_EQ(spans(0, {{0, 100}, {40, 49}}), (std::vector<double>{0, 40, 100}));
    // Reversed and empty spans add nothing or only what fits; never hang.
    EXPECT_EQ(spans(0, {{0, 100}, {60, 50}}), (std::vector<double>{0, 100}));
    EXPECT_EQ(spans(0, {{0, 100}, {50, 50}}), (std::vector<double>{0, 50, 100}));
}

TEST(PageGrid, ColumnAtCountsBoundariesStrictlyLeft) {
    PageGrid g;
    g.reset(0);
    g.addSpan(0, 100);
    g.addSpan(100, 200);
    ASSERT_EQ(g.columnCount(), 2);
    EXPECT_EQ(g.columnAt(-5), 0);
    EXPECT_EQ(g.columnAt(0), 0);
    EXPECT_EQ(g.columnAt(100), 0);
    EXPECT_EQ(g.columnAt(100.5), 1);
    EXPECT_EQ(g.columnAt(1000), 1);
}

TEST(PageGrid, ColumnsNeverGoBeyondTheWorksheetLimit) {
    PageGrid g;
    g.reset(0);
    for (int i = 0; i < 400; ++i) g.addSpan(20.0 * i, 20.0 * i + 20.0);
    EXPECT_GT(g.columnCount(), PageGrid::maxColumns);
    EXPECT_EQ(g.columnAt(20.0 * 300 + 5), PageGrid::maxColumns - 1);
    EXPECT_EQ(g.columnAt(1e9), PageGrid::maxColumns - 1);
}

TEST(PageGrid, BuiltFromRegionsSkipsVerticalTextAndSplitsNestedColumns) {
    tbx::PageRegions regions;
    auto vertical = std::make_unique<tbx::PageRegion>(tbx::PageRegion::verticalTextId);
    vertical->xMin = 0;
    vertical->addBlock(std::make_unique<tbx::RegionBlock>(0, 10, 0, 100));
    regions.regions.push_back(std::move(vertical));

    auto r = std::make_unique<tbx::PageRegion>(0);
    auto left = std::make_unique<tbx::RegionBlock>(50, 300, 0, 100);
    auto nested = std::make_unique<tbx::PageRegion>(0);
    nested->addBlock(std::make_unique<tbx::RegionBlock>(100, 180, 10, 50));
    nested->addBlock(std::make_unique<tbx::RegionBlock>(200, 280, 10, 50));
    left->subRegions.push_back(std::move(nested));
    r->addBlock(std::move(left));
    r->addBlock(std::make_unique<tbx::RegionBlock>(320, 500, 0, 100));
    regions.regions.push_back(std::move(r));

    PageGrid g;
    g.build(regions);
    // The nested region ends 20 points short of its block: that rest is a column too.
    EXPECT_EQ(g.boundaries(), (std::vector<double>{50, 100, 200, 280, 300, 320, 500}));
    EXPECT_EQ(g.columnCount(), 6);

    tbx::PageRegions onlyVertical;
    onlyVertical.regions.push_back(std::make_unique<tbx::PageRegion>(tbx::PageRegion::verticalTextId));
    g.build(onlyVertical);
    EXPECT_EQ(g.columnCount(), 0);
}
