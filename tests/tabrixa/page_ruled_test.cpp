// A ruled table through the text pass: the rulings go to the line collector
// as the raster pass would hand them over, the page is played through the
// output device, and the page dump writes the table with its borders.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <GlobalParams.h>
#include <PDFDoc.h>
#include <goo/GooString.h>

#include "PDFR/pdf_ulin.h"
#include "XLS/xls_workbook.h"
#include "tests/support/mini_pdf.h"
#include "tabrixa/ExcelOutputDev.h"
#include "tabrixa/TextPage.h"
#include "tabrixa/tbx_conv.h"

namespace {

// Page points (origin bottom left) to raster pixels at 150 dpi (origin top left).
constexpr double px = 150.0 / 72.0;
double toX(double x) { return x * px; }
double toY(double y) { return (792.0 - y) * px; }

std::string textAt(const xls_core::worksheet* ws, unsigned r, unsigned c) {
    const auto* cell = dynamic_cast<const xls_core::label_t*>(ws->GetCell(r, c));
    if (!cell) return "<none>";
    return std::string(cell->GetText().begin(), cell->GetText().end());
}

}  // namespace

TEST(RuledTable, CellsBordersRowHeightsAndEmptyRows) {
    const double x0 = 72, y0 = 690;
    const std::vector<double> cols = {140, 90, 90};
    const int rows = 4;  // the last row stays empty
    const double rowH = 20;
    std::string content;
    const std::vector<std::vector<std::string>> data = {{"Region", "July", "August"}, {"North", "1200", "12 kg"},
                                                        {"South", "980.5", ""}};
    double y = y0;
    for (const auto& row : data) {
        double x = x0;
        for (size_t c = 0; c < row.size(); ++c) {
            if (!row[c].empty()) content += mini_pdf::text(x + 4, y - 14, row[c]);
            x += cols[c];
        }
        y -= rowH;
    }
    content += mini_pdf::text(x0, y0 - rows * rowH - 30, "Text below the table");
    const std::string pdf = std::string(TBX_BINARY_DIR) + "/page_ruled_test.pdf";
    mini_pdf::write(pdf, {content});

    xelvio_convertor converter(false);
    if (!globalParams) globalParams = std::make_unique<GlobalParams>();
    PDFDoc doc(std::make_unique<GooString>(pdf.c_str()));
    ASSERT_TRUE(doc.isOk());
    pdf_uline_processor collector(true);
    const double width = cols[0] + cols[1] + cols[2];
    for (int r = 0; r <= rows; ++r) {
        const double yy = toY(y0 - r * rowH);
        collector.set_line(toX(x0), toX(x0 + width) + 1.5, yy, yy + 1.5, nullptr);
    }
    double x = x0;
    for (size_t c = 0; c <= cols.size(); ++c) {
        collector.set_line(toX(x), toX(x) + 1.5, toY(y0), toY(y0 - rows * rowH) + 1.5, nullptr);
        if (c < cols.size()) x += cols[c];
    }

    ExcelOutputDev dev((std::string(TBX_BINARY_DIR) + "/page_ruled_test.xls").c_str(), 0, 0, 0);
    doc.displayPage(&dev, 1, 72.0, 72.0, 0, false, true, false);
    ASSERT_FALSE(collector.get_regions().empty()) << "no table was built from the rulings";
    xls_core::workbook wb;
    dev.getTextPage()->coalesce();
    dev.getTextPage()->dump(&wb, 0);
    ASSERT_EQ(wb.SheetCount(), 1u);
    const xls_core::worksheet* ws = wb.GetSheet(0);

    // The line below the table ends inside its first column, which so spans
    // two worksheet columns: merged, the second one empty with borders.
    EXPECT_EQ(textAt(ws, 0, 0), "Region");
    EXPECT_EQ(textAt(ws, 0, 1), "");
    EXPECT_EQ(ws->GetCell(0, 1)->GetXF()->Value().border_style[2], 1);
    bool merged = false;
    for (const auto& m : ws->Merges()) merged |= m.first_row == 1 && m.first_col == 0 && m.last_col == 1;
    EXPECT_TRUE(merged);
    EXPECT_EQ(textAt(ws, 0, 2), "July");
    EXPECT_EQ(textAt(ws, 1, 3), "12 kg");
    const auto* n = dynamic_cast<const xls_core::number_t*>(ws->GetCell(2, 2));
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->GetValue(), 980.5);
    // Empty cells of the table: borders, also in the empty last row, which counts.
    for (unsigned c = 0; c < 4; ++c) {
        const xls_core::cell_t* e = ws->GetCell(3, c);
        ASSERT_NE(e, nullptr) << c;
        EXPECT_EQ(e->GetXF()->Value().border_style[1], 1);
    }
    EXPECT_TRUE(ws->GetCell(2, 3)->GetXF()->Value().flags & xls_core::xf_wrap);
    EXPECT_EQ(ws->GetCell(0, 0)->GetXF()->Value().border_style[0], 1);
    // The text below starts after the table's four rows.
    EXPECT_EQ(textAt(ws, 4, 0), "Text below the table");
}
