// The page's view of the collector's ruled tables.
#include <gtest/gtest.h>

#include "PDFR/pdf_ulin.h"
#include "tabrixa/PageTables.h"

TEST(PageTables, NoCollectorMeansNoTables) {
    ASSERT_FALSE(pdf_uline_processor::exists());
    EXPECT_TRUE(tbx::PageTables::fromCollector().empty());
}

TEST(PageTables, SnapshotOfTheCollectorsTables) {
    pdf_uline_processor collector(true);
    // A 2 x 2 grid of 1.5-pixel rulings at 150 dpi: x 200..600, y 200..400 pixels.
    for (double y : {200.0, 300.0, 400.0}) collector.set_line(200, 601.5, y, y + 1.5, nullptr);
    for (double x : {200.0, 400.0, 600.0}) collector.set_line(x, x + 1.5, 200, 401.5, nullptr);
    collector.tableBuilding();
    const tbx::PageTables tables = tbx::PageTables::fromCollector();
    ASSERT_FALSE(tables.empty());
    const tbx::TableRecord* t = tables.find(1);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->columnCount(), 2);
    ASSERT_EQ(t->cells.size(), 4u);
    EXPECT_NEAR(t->xMin, 200 / pdf_uline_processor::px_per_pt, 1.0);
    EXPECT_NEAR(t->xMax, 600 / pdf_uline_processor::px_per_pt, 1.5);
    EXPECT_GE(t->thickness, 0.3);
    ASSERT_NE(tables.cell(1, 3), nullptr);
    EXPECT_GT(tables.cell(1, 3)->xMin, tables.cell(1, 2)->xMin);
    EXPECT_EQ(tables.cell(1, 4), nullptr);
    EXPECT_EQ(tables.find(2), nullptr);
    EXPECT_EQ(tables.find(0), nullptr);
}
