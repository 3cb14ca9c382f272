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

// A ruling from (x0, y0) down or right to (x1, y1), page points.
struct Ruling {
    double x0, y0, x1, y1;
};

// Plays one page of `content` with the rulings handed to the line collector
// as the raster pass would, and dumps it into `wb`; the page's worksheet.
const xls_core::worksheet* playRuled(xls_core::workbook& wb, const std::string& name, const std::string& content,
                                     const std::vector<Ruling>& rulings) {
    const std::string pdf = std::string(TBX_BINARY_DIR) + "/" + name + ".pdf";
    mini_pdf::write(pdf, {content});
    xelvio_convertor converter(false);
    if (!globalParams) globalParams = std::make_unique<GlobalParams>();
    PDFDoc doc(std::make_unique<GooString>(pdf.c_str()));
    EXPECT_TRUE(doc.isOk());
    pdf_uline_processor collector(true);
    for (const Ruling& r : rulings)
        collector.set_line(toX(r.x0), toX(r.x1) + 1.5, toY(r.y0), toY(r.y1) + 1.5, nullptr);
    ExcelOutputDev dev((std::string(TBX_BINARY_DIR) + "/" + name + ".xls").c_str(), 0, 0, 0);
    doc.displayPage(&dev, 1, 72.0, 72.0, 0, false, true, false);
    EXPECT_FALSE(collector.get_regions().empty()) << "no table was built from the rulings";
    dev.getTextPage()->coalesce();
    dev.getTextPage()->dump(&wb, 0);
    return wb.SheetCount() == 1 ? wb.GetSheet(0) : nullptr;
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
    std::vector<Ruling> rulings;
    const double width = cols[0] + cols[1] + cols[2];
    for (int r = 0; r <= rows; ++r) rulings.push_back({x0, y0 - r * rowH, x0 + width, y0 - r * rowH});
    double x = x0;
    for (size_t c = 0; c <= cols.size(); ++c) {
        rulings.push_back({x, y0, x, y0 - rows * rowH});
        if (c < cols.size()) x += cols[c];
    }
    xls_core::workbook wb;
    const xls_core::worksheet* ws = playRuled(wb, "page_ruled_test", content, rulings);
    ASSERT_NE(ws, nullptr);

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

TEST(RuledTable, AWordDrawnInPiecesAcrossAColumnEdgeStaysWhole) {
    // A header spanning two columns: the middle ruling starts below it, yet
    // the column edge runs through the header row. "Fuel" is drawn as two
    // kerned pieces, "Fu" left of the edge and "el" right of it.
    const double x0 = 72, y0 = 690, w = 150, rowH = 20;
    std::vector<Ruling> rulings;
    for (int r = 0; r <= 3; ++r) rulings.push_back({x0, y0 - r * rowH, x0 + 2 * w, y0 - r * rowH});
    rulings.push_back({x0, y0, x0, y0 - 3 * rowH});
    rulings.push_back({x0 + w, y0 - rowH, x0 + w, y0 - 3 * rowH});
    rulings.push_back({x0 + 2 * w, y0, x0 + 2 * w, y0 - 3 * rowH});
    // "Percent Fu" is 49.47 points wide in 10-point Helvetica: it ends half a point before the edge.
    std::string content = "BT /F1 10 Tf 172 676 Td [(Percent Fu) -20 (el Savings)] TJ ET\n";
    for (int r = 1; r <= 2; ++r)
        for (int c = 0; c < 2; ++c)
            content += mini_pdf::text(x0 + c * w + 4, y0 - r * rowH - 14, std::string(1, char('a' + 2 * r + c)));
    xls_core::workbook wb;
    const xls_core::worksheet* ws = playRuled(wb, "page_ruled_pieces_test", content, rulings);
    ASSERT_NE(ws, nullptr);
    std::string all;
    for (unsigned r = 0; r < 3; ++r)
        for (unsigned c = 0; c < 4; ++c) all += "|" + textAt(ws, r, c);
    // The header is one phrase over both columns: one cell merged across them.
    EXPECT_EQ(textAt(ws, 0, 0), "Percent Fuel Savings") << all;
    bool merged = false;
    for (const auto& m : ws->Merges()) merged |= m.first_row == 0 && m.first_col == 0 && m.last_col == 1;
    EXPECT_TRUE(merged) << all;
}

TEST(RuledTable, PiecesOnEitherSideOfAColumnRulingStayApart) {
    // "1200" right-aligned against the column edge, "USD" just after it: one
    // string with a 0.6-point kerning step, a gap that kerned pieces of one
    // word also leave.
    const double x0 = 72, y0 = 690, w = 100, rowH = 20;
    std::vector<Ruling> rulings;
    for (int r = 0; r <= 2; ++r) rulings.push_back({x0, y0 - r * rowH, x0 + 2 * w, y0 - r * rowH});
    for (int c = 0; c <= 2; ++c) rulings.push_back({x0 + c * w, y0, x0 + c * w, y0 - 2 * rowH});
    // "1200" is 22.24 points wide in 10-point Helvetica.
    std::string content = "BT /F1 10 Tf 149.46 676 Td [(1200) -60 (USD)] TJ ET\n";
    content += mini_pdf::text(x0 + 4, y0 - rowH - 14, "Fee");
    content += mini_pdf::text(x0 + w + 4, y0 - rowH - 14, "Due");
    xls_core::workbook wb;
    const xls_core::worksheet* ws = playRuled(wb, "page_ruled_edge_test", content, rulings);
    ASSERT_NE(ws, nullptr);
    const auto* n = dynamic_cast<const xls_core::number_t*>(ws->GetCell(0, 0));
    ASSERT_NE(n, nullptr) << textAt(ws, 0, 0);
    EXPECT_EQ(n->GetValue(), 1200.0);
    EXPECT_EQ(textAt(ws, 0, 1), "USD");
}

namespace {

// A table ruled between its columns (widths `cols`, from x 72) whose ruled
// rows each hold page rows of one line per column ("" for none), 12 points
// apart; rules around every ruled row.
struct RuledTable {
    std::vector<double> cols;
    std::vector<std::vector<std::vector<std::string>>> ruledRows;

    std::string content() const {
        std::string out;
        double top = 690;
        for (const auto& rr : ruledRows) {
            double base = top - 14;
            for (const auto& line : rr) {
                double x = 72;
                for (size_t c = 0; c < line.size(); ++c) {
                    if (!line[c].empty()) out += mini_pdf::text(x + 4, base, line[c]);
                    x += cols[c];
                }
                base -= 12;
            }
            top -= 12.0 * static_cast<double>(rr.size()) + 8;
        }
        return out;
    }
    std::vector<Ruling> rulings() const {
        double width = 0, top = 690;
        for (double w : cols) width += w;
        std::vector<Ruling> out{{72, top, 72 + width, top}};
        for (const auto& rr : ruledRows) {
            top -= 12.0 * static_cast<double>(rr.size()) + 8;
            out.push_back({72, top, 72 + width, top});
        }
        double x = 72;
        for (size_t c = 0; c <= cols.size(); ++c) {
            out.push_back({x, 690, x, top});
            if (c < cols.size()) x += cols[c];
        }
        return out;
    }
};

// Row and column of the cell whose text (or number) is `s`; -1, -1 when none.
std::pair<int, int> findCell(const xls_core::worksheet* ws, const std::string& s) {
    for (unsigned r = 0; r < 40; ++r)
        for (unsigned c = 0; c < 20; ++c) {
            const auto* n = dynamic_cast<const xls_core::number_t*>(ws->GetCell(r, c));
            if (textAt(ws, r, c) == s || (n && std::to_string(static_cast<long long>(n->GetValue())) == s))
                return {static_cast<int>(r), static_cast<int>(c)};
        }
    return {-1, -1};
}

}  // namespace

TEST(RuledTable, RowsSideBySideInOneRuledCellBecomeSheetRows) {
    // Rules between the columns, under the header and above the total only:
    // the body's ruled cells hold five rows of the page. "Fringe Benefits"
    // has no 2020 figure, "Travel" a value over two lines.
    const RuledTable t{{150, 80, 80},
                       {{{"Item", "2019", "2020"}},
                        {{"Salaries", "1,314,000", "1,400,000"},
                         {"Fringe Benefits", "352,000", ""},
                         {"Travel", "4,500", "4,700"},
                         {"", "(estimate)", ""},
                         {"Other", "7", "8"}},
                        {{"Total", "1,670,507", "1,404,708"}}}};
    xls_core::workbook wb;
    const xls_core::worksheet* ws = playRuled(wb, "page_ruled_rows_test", t.content(), t.rulings());
    ASSERT_NE(ws, nullptr);
    const auto item = findCell(ws, "Item"), y19 = findCell(ws, "2019"), y20 = findCell(ws, "2020");
    ASSERT_GE(item.first, 0);
    const int r0 = item.first + 1;
    const std::vector<std::string> labels = {"Salaries", "Fringe Benefits", "Travel", "", "Other", "Total"};
    for (size_t k = 0; k < labels.size(); ++k)
        if (!labels[k].empty()) {
            EXPECT_EQ(findCell(ws, labels[k]), std::make_pair(r0 + int(k), item.second)) << k;
        }
    // Figures are numbers again, each on its label's row.
    EXPECT_EQ(findCell(ws, "1,314,000"), std::make_pair(r0, y19.second));
    EXPECT_EQ(findCell(ws, "1,400,000"), std::make_pair(r0, y20.second));
    EXPECT_EQ(findCell(ws, "352,000"), std::make_pair(r0 + 1, y19.second));
    ASSERT_NE(dynamic_cast<const xls_core::number_t*>(ws->GetCell(unsigned(r0 + 4), unsigned(y20.second))), nullptr);
    EXPECT_EQ(findCell(ws, "8"), std::make_pair(r0 + 4, y20.second));
    EXPECT_EQ(textAt(ws, unsigned(r0 + 1), unsigned(y20.second)), "");  // the missing value
    EXPECT_EQ(findCell(ws, "(estimate)"), std::make_pair(r0 + 3, y19.second));
    EXPECT_EQ(textAt(ws, unsigned(r0 + 3), unsigned(item.second)), "");
    EXPECT_EQ(findCell(ws, "1,670,507"), std::make_pair(r0 + 5, y19.second));
    // The ruled cell's borders go around its five rows, none between them.
    const auto& first = ws->GetCell(unsigned(r0), unsigned(y19.second))->GetXF()->Value();
    const auto& mid = ws->GetCell(unsigned(r0 + 2), unsigned(y19.second))->GetXF()->Value();
    const auto& last = ws->GetCell(unsigned(r0 + 4), unsigned(y19.second))->GetXF()->Value();
    EXPECT_EQ(first.border_style[1], 1);  // top
    EXPECT_EQ(first.border_style[0], 0);
    EXPECT_EQ(mid.border_style[0] + mid.border_style[1], 0);
    EXPECT_EQ(mid.border_style[2] * mid.border_style[3], 1);  // sides
    EXPECT_EQ(last.border_style[0], 1);  // bottom
    EXPECT_EQ(last.border_style[1], 0);
}

TEST(RuledTable, ARuleEveryFewRows) {
    std::vector<std::vector<std::vector<std::string>>> rr = {{{"State", "Cases", "Rate"}}};
    const char* states[] = {"Alabama", "Alaska", "Arizona", "Arkansas", "California", "Colorado"};
    for (int g = 0; g < 2; ++g) {
        rr.emplace_back();
        for (int k = 0; k < 3; ++k)
            rr.back().push_back({states[3 * g + k], std::to_string(100 + 3 * g + k), std::to_string(3 * g + k) + ".5"});
    }
    const RuledTable t{{120, 70, 70}, rr};
    xls_core::workbook wb;
    const xls_core::worksheet* ws = playRuled(wb, "page_ruled_every_test", t.content(), t.rulings());
    ASSERT_NE(ws, nullptr);
    const auto head = findCell(ws, "State");
    ASSERT_GE(head.first, 0);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(findCell(ws, states[k]), std::make_pair(head.first + 1 + k, head.second)) << k;
        const auto n = findCell(ws, std::to_string(100 + k));
        EXPECT_EQ(n.first, head.first + 1 + k) << k;
    }
}

TEST(RuledTable, ColumnRulesOnlyWithAHeaderOverTwoLines) {
    // One ruled row holds the header and the body, a rule above the total:
    // the header's second line stays with its cell, every body row is a
    // row; Arizona has no figure of cases.
    const RuledTable t{{120, 70, 70},
                       {{{"State", "Cases", "Rate per"},
                         {"", "", "thousand"},
                         {"Alabama", "100", "3.5"},
                         {"Alaska", "101", "4.5"},
                         {"Arizona", "", "5.5"}},
                        {{"Total", "201", "4.5"}}}};
    xls_core::workbook wb;
    const xls_core::worksheet* ws = playRuled(wb, "page_ruled_columns_test", t.content(), t.rulings());
    ASSERT_NE(ws, nullptr);
    const auto head = findCell(ws, "State"), cases = findCell(ws, "Cases");
    ASSERT_GE(head.first, 0);
    EXPECT_EQ(findCell(ws, "Rate per  thousand").first, head.first);
    EXPECT_EQ(findCell(ws, "Alabama").first, head.first + 1);
    EXPECT_EQ(findCell(ws, "101"), std::make_pair(head.first + 2, cases.second));
    EXPECT_EQ(findCell(ws, "Arizona").first, head.first + 3);
    EXPECT_EQ(textAt(ws, unsigned(head.first + 3), unsigned(cases.second)), "");
    EXPECT_EQ(findCell(ws, "Total").first, head.first + 4);
}

TEST(RuledTable, WrappedTextAndHeadersOverTwoLinesStayOneCell) {
    // A header cell over two lines beside one-line ones; a term and its
    // definition both wrapped over two lines, the definition's second line a
    // date (a figure); a note wrapped in a fully ruled cell beside a figure.
    const RuledTable t{{90, 190, 60},
                       {{{"Term", "Definition", "Share of"}, {"", "", "total"}},
                        {{"Reporting", "Amounts are given in thousands of", "12"}, {"date", "31.12.2019", ""}},
                        {{"Note", "Figures before the merger are restated", "30"}, {"", "on the new basis.", ""}}}};
    xls_core::workbook wb;
    const xls_core::worksheet* ws = playRuled(wb, "page_ruled_wrapped_test", t.content(), t.rulings());
    ASSERT_NE(ws, nullptr);
    EXPECT_GE(findCell(ws, "Share of  total").first, 0);
    EXPECT_GE(findCell(ws, "Reporting  date").first, 0);
    EXPECT_GE(findCell(ws, "Amounts are given in thousands of  31.12.2019").first, 0);
    EXPECT_GE(findCell(ws, "Figures before the merger are restated  on the new basis.").first, 0);
    // The control: the same two columns with short lines are rows of the page.
    const RuledTable rows{{90, 190, 60},
                          {{{"Term", "Definition", "Share"}},
                           {{"Salaries", "Amounts", "12"}, {"Fringe", "31.12.2019", "7"}}}};
    xls_core::workbook wb2;
    const xls_core::worksheet* ws2 = playRuled(wb2, "page_ruled_rows2_test", rows.content(), rows.rulings());
    ASSERT_NE(ws2, nullptr);
    EXPECT_EQ(findCell(ws2, "Fringe").first, findCell(ws2, "Salaries").first + 1);
    EXPECT_EQ(findCell(ws2, "31.12.2019").first, findCell(ws2, "Salaries").first + 1);
}

TEST(RuledTable, TextAcrossARuleStaysInItsRowAndGroupHeadersSpanTheirColumns) {
    // Columns at 72, 186, 246, 306, 376; the rule between the two middle
    // columns starts below the group header "Pre-Pawn sales", over two lines,
    // which stands over it off centre (8 of its 44 points left of the edge;
    // "sales" mostly left of it).
    // The label runs 6 points past its cell, the amount starts 3 points
    // before its own.
    std::vector<Ruling> rulings = {{72, 690, 376, 690}, {72, 644, 376, 644}, {72, 620, 376, 620}};
    for (double x : {72.0, 186.0, 306.0, 376.0}) rulings.push_back({x, 690, x, 620});
    rulings.push_back({246, 658, 246, 620});
    std::string content = mini_pdf::text(76, 676, "Item") + mini_pdf::text(238, 676, "Pre-Pawn") +
                          mini_pdf::text(233, 664, "sales") + mini_pdf::text(310, 676, "Total") +
                          mini_pdf::text(190, 652, "Handgun") + mini_pdf::text(250, 652, "Long Gun") +
                          mini_pdf::text(310, 664, "units") + mini_pdf::text(76, 630, "Intercompany eliminations") +
                          mini_pdf::text(190, 630, "12") + mini_pdf::text(250, 630, "7") +
                          mini_pdf::text(303, 630, "98765.25") + mini_pdf::text(76, 590, "Below the table");
    xls_core::workbook wb;
    const xls_core::worksheet* ws = playRuled(wb, "page_ruled_cross_test", content, rulings);
    ASSERT_NE(ws, nullptr);
    const auto item = findCell(ws, "Item"), group = findCell(ws, "Pre-Pawn  sales");
    const auto hand = findCell(ws, "Handgun"), lng = findCell(ws, "Long Gun"), total = findCell(ws, "Total  units");
    ASSERT_GE(item.first, 0);
    const int r = item.first;
    // The group header on the header's first row, merged over its two
    // columns; the sub-headers below it; the cells beside written once over both rows.
    EXPECT_EQ(group, std::make_pair(r, hand.second));
    EXPECT_EQ(hand.first, r + 1);
    EXPECT_EQ(lng.first, r + 1);
    EXPECT_EQ(total.first, r);
    bool groupMerged = false, itemMerged = false;
    for (const auto& m : ws->Merges()) {
        groupMerged |= int(m.first_row) == r && int(m.last_row) == r && int(m.first_col) == hand.second &&
                       int(m.last_col) == lng.second;
        itemMerged |= int(m.first_row) == r && int(m.last_row) == r + 1 && int(m.first_col) == item.second;
    }
    EXPECT_TRUE(groupMerged);
    EXPECT_TRUE(itemMerged);
    // The body row keeps the whole label and the amount, a number in its column.
    EXPECT_EQ(findCell(ws, "Intercompany eliminations"), std::make_pair(r + 2, item.second));
    const auto* n = dynamic_cast<const xls_core::number_t*>(ws->GetCell(unsigned(r + 2), unsigned(total.second)));
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->GetValue(), 98765.25);
    // Nothing of the table follows it; the text below it comes next.
    EXPECT_EQ(findCell(ws, "Below the table").first, r + 3);
}

TEST(RuledTable, ARuledColumnHoldingColumnsOfThePageIsSplitThere) {
    // Rules around column groups only: Region | Sales (Units, Value) |
    // Costs (Units, Value). "Units sold" is a header over two lines in its
    // sub-column, "Sales" and "Costs" group headers over both; the labels
    // have several words. Drawn three ways: the group rules whole, the
    // group rules in pieces one to two rows with short gaps, and a control
    // with the sub-columns ruled too; all three give the same cells.
    const char* labels[] = {"New York", "Los Angeles", "Chicago", "Dallas Fort Worth", "Miami"};
    std::string content = mini_pdf::text(76, 672, "Region") + mini_pdf::text(212, 680, "Sales") +
                          mini_pdf::text(332, 680, "Costs");
    for (double x : {176.0, 296.0})
        content += mini_pdf::text(x, 668, "Units") + mini_pdf::text(x, 658, "sold") + mini_pdf::text(x + 60, 668, "Value");
    for (int k = 0; k < 5; ++k) {
        const double y = 638 - 12 * k;
        content += mini_pdf::text(76, y, labels[k]) + mini_pdf::text(176, y, std::to_string(12 + k)) +
                   mini_pdf::text(236, y, std::to_string(1200 + k) + ".5") + mini_pdf::text(296, y, std::to_string(7 + k)) +
                   mini_pdf::text(356, y, std::to_string(700 + k) + ".25");
    }
    auto rulings = [](int style) {
        std::vector<Ruling> out = {{72, 690, 412, 690}, {72, 650, 412, 650}, {72, 584, 412, 584}};
        for (double x : {72.0, 412.0}) out.push_back({x, 690, x, 584});
        for (double x : {172.0, 292.0}) {
            if (style != 1) {
                out.push_back({x, 690, x, 584});
                continue;
            }
            out.push_back({x, 690, x, 650});
            for (double y = 650; y > 590; y -= 24) out.push_back({x, y - 1, x, std::max(584.0, y - 19)});
        }
        if (style == 2)  // starting below the group headers
            for (double x : {232.0, 352.0}) out.push_back({x, 676, x, 584});
        return out;
    };
    std::vector<std::string> seen;
    for (int style = 0; style < 3; ++style) {
        xls_core::workbook wb;
        const xls_core::worksheet* ws =
            playRuled(wb, "page_ruled_split_test" + std::to_string(style), content, rulings(style));
        ASSERT_NE(ws, nullptr);
        const auto units = findCell(ws, "Units  sold"), value = findCell(ws, "Value"), region = findCell(ws, "Region");
        ASSERT_GE(units.first, 0) << style;
        EXPECT_EQ(value.first, units.first) << style;
        EXPECT_GT(value.second, units.second) << style;
        // Each figure is a number cell of its own, beside its label.
        std::string cells;
        for (int k = 0; k < 5; ++k) {
            const auto label = findCell(ws, labels[k]);
            EXPECT_EQ(label, std::make_pair(units.first + 1 + k, region.second)) << style << k;
            // The group rule beside the labels is a rule, in pieces too.
            EXPECT_EQ(ws->GetCell(unsigned(label.first), unsigned(label.second))->GetXF()->Value().border_style[3], 1)
                << style << k;
            const auto* u = dynamic_cast<const xls_core::number_t*>(ws->GetCell(unsigned(label.first), unsigned(units.second)));
            const auto* v = dynamic_cast<const xls_core::number_t*>(ws->GetCell(unsigned(label.first), unsigned(value.second)));
            ASSERT_TRUE(u && v) << style << " " << k << " " << textAt(ws, unsigned(label.first), unsigned(units.second));
            EXPECT_EQ(u->GetValue(), 12 + k);
            EXPECT_EQ(v->GetValue(), 1200 + k + 0.5);
        }
        // A group header stands above its sub-columns, merged over them.
        const auto sales = findCell(ws, "Sales");
        EXPECT_EQ(sales, std::make_pair(units.first - 1, units.second)) << style;
        bool merged = false;
        for (const auto& m : ws->Merges())
            merged |= int(m.first_row) == sales.first && int(m.first_col) == units.second &&
                      int(m.last_col) == value.second;
        EXPECT_TRUE(merged) << style;
        std::string layout;
        for (unsigned r = 0; r < 12; ++r)
            for (unsigned c = 0; c < 10; ++c) layout += textAt(ws, r, c) + "|";
        seen.push_back(layout);
    }
    EXPECT_EQ(seen[1], seen[0]);
    EXPECT_EQ(seen[2], seen[0]);
}

namespace {

// The sheet's cells, row by row, and its merged ranges: for failure messages.
std::string sheetText(const xls_core::worksheet* ws) {
    std::string out;
    for (unsigned r = 0; r < 20; ++r) {
        for (unsigned c = 0; c < 12; ++c) {
            const auto* n = dynamic_cast<const xls_core::number_t*>(ws->GetCell(r, c));
            out += (n ? std::to_string(n->GetValue()) : textAt(ws, r, c)) + "|";
        }
        out += "\n";
    }
    for (const auto& m : ws->Merges())
        out += std::to_string(m.first_row) + "," + std::to_string(m.first_col) + ".." + std::to_string(m.last_row) +
               "," + std::to_string(m.last_col) + " ";
    return out;
}

// A merged range from `from` to (lastRow, lastCol).
bool mergedOver(const xls_core::worksheet* ws, std::pair<int, int> from, int lastRow, int lastCol) {
    for (const auto& m : ws->Merges())
        if (int(m.first_row) == from.first && int(m.first_col) == from.second && int(m.last_row) == lastRow &&
            int(m.last_col) == lastCol)
            return true;
    return false;
}

}  // namespace

TEST(RuledTable, RulesUnderHeaderLevelsPartTheirRows) {
    // Three header levels, each ruled underneath across the data columns
    // only; the column rules run through the body only, so the header and
    // the body share one ruled row. "Margin of error" stands over two lines.
    std::vector<Ruling> rulings = {{72, 700, 412, 700}, {72, 592, 412, 592}, {72, 578, 412, 578},
                                   {172, 685, 412, 685}, {174, 670, 290, 670}, {294, 670, 410, 670},
                                   {172, 645, 412, 645}, {72, 700, 72, 578},   {172, 700, 172, 578},
                                   {412, 700, 412, 578}};
    for (double x : {232.0, 292.0, 352.0}) rulings.push_back({x, 645, x, 578});
    std::string content = mini_pdf::text(76, 672, "Category") + mini_pdf::text(268, 689, "Disability") +
                          mini_pdf::text(221, 674, "2005") + mini_pdf::text(341, 674, "2010");
    for (double x : {172.0, 292.0})
        content += mini_pdf::text(x + 4, 658, "Number") + mini_pdf::text(x + 64, 658, "Margin of") +
                   mini_pdf::text(x + 64, 648, "error (+/-)");
    const char* labels[] = {"All ages", "With a disability", "Severe", "Aged 6 and older", "Total"};
    for (int k = 0; k < 5; ++k) {
        const double y = k < 4 ? 633 - 12 * k : 582;
        content += mini_pdf::text(76, y, labels[k]);
        for (int c = 0; c < 4; ++c) content += mini_pdf::text(176 + 60 * c, y, std::to_string(10 * k + c));
    }
    xls_core::workbook wb;
    const xls_core::worksheet* ws = playRuled(wb, "page_ruled_levels_test", content, rulings);
    ASSERT_NE(ws, nullptr);
    const auto top = findCell(ws, "Disability"), y05 = findCell(ws, "2005"), y10 = findCell(ws, "2010");
    const auto number = findCell(ws, "Number"), margin = findCell(ws, "Margin of  error (+/-)");
    ASSERT_GE(top.first, 0);
    // Each level its own row, merged over the columns beneath it.
    EXPECT_EQ(y05.first, top.first + 1);
    EXPECT_EQ(y10.first, top.first + 1);
    EXPECT_EQ(number, std::make_pair(top.first + 2, y05.second));
    EXPECT_EQ(margin.first, top.first + 2);
    EXPECT_TRUE(mergedOver(ws, y05, y05.first, margin.second)) << sheetText(ws);
    EXPECT_TRUE(mergedOver(ws, top, top.first, y10.second + 1)) << sheetText(ws);
    // The header cell no rule parts stands over all three rows.
    const auto category = findCell(ws, "Category");
    EXPECT_EQ(category.first, top.first);
    EXPECT_TRUE(mergedOver(ws, category, top.first + 2, category.second));
    // The body below: a row each, its figures numbers.
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(findCell(ws, labels[k]), std::make_pair(top.first + 3 + k, category.second)) << k;
        EXPECT_NE(dynamic_cast<const xls_core::number_t*>(ws->GetCell(unsigned(top.first + 3 + k), unsigned(margin.second))),
                  nullptr)
            << k;
    }
}

TEST(RuledTable, AGroupHeaderOverARuleStartingBelowItAndADoubleBar) {
    // "Sales" stands left of the rule between its two columns, which starts
    // below the rule under "Sales"; a double bar closes the header, drawn
    // column by column.
    const std::vector<Ruling> rulings = {{72, 690, 292, 690}, {172, 672, 292, 672}, {72, 652, 171, 652},
                                         {173, 652, 292, 652},  {72, 648.2, 171, 648.2}, {173, 648.2, 292, 648.2}, {72, 620, 292, 620}, {72, 690, 72, 620},
                                         {172, 690, 172, 620}, {232, 672, 232, 620}, {292, 690, 292, 620}};
    const std::string content = mini_pdf::text(76, 668, "Region") + mini_pdf::text(190, 677, "Sales") +
                                mini_pdf::text(176, 658, "Units") + mini_pdf::text(236, 658, "Value") +
                                mini_pdf::text(76, 638, "North") + mini_pdf::text(176, 638, "12") +
                                mini_pdf::text(236, 638, "30.5") + mini_pdf::text(76, 626, "South") +
                                mini_pdf::text(176, 626, "7") + mini_pdf::text(236, 626, "8.25");
    xls_core::workbook wb;
    const xls_core::worksheet* ws = playRuled(wb, "page_ruled_group_test", content, rulings);
    ASSERT_NE(ws, nullptr);
    const auto sales = findCell(ws, "Sales"), units = findCell(ws, "Units"), value = findCell(ws, "Value");
    ASSERT_GE(sales.first, 0);
    EXPECT_EQ(units, std::make_pair(sales.first + 1, sales.second));
    EXPECT_EQ(value.first, sales.first + 1);
    EXPECT_TRUE(mergedOver(ws, sales, sales.first, value.second));
    const auto region = findCell(ws, "Region");
    EXPECT_TRUE(mergedOver(ws, region, sales.first + 1, region.second));
    // No empty row between the bars.
    EXPECT_EQ(findCell(ws, "North"), std::make_pair(sales.first + 2, region.second));
    EXPECT_EQ(findCell(ws, "South"), std::make_pair(sales.first + 3, region.second));
}

TEST(RuledTable, RecordsAreRowsAndWrappedTextContinuesItsRecord) {
    // Column rules only: a description wrapped by width, a label with its
    // figures on its last line, and a table without figures (Term |
    // Definition) whose records are rows all the same.
    const RuledTable items{{130, 50, 60},
                           {{{"Item", "Qty", "Price"}},
                            {{"Steel bracket with zinc", "12", "4.5"},
                             {"coating for outdoor use", "", ""},
                             {"Bolt", "40", "0.2"},
                             {"Net cash provided by", "", ""},
                             {"operating activities", "1234", "7"}}}};
    xls_core::workbook wb;
    const xls_core::worksheet* ws = playRuled(wb, "page_ruled_records_test", items.content(), items.rulings());
    ASSERT_NE(ws, nullptr);
    const auto steel = findCell(ws, "Steel bracket with zinc  coating for outdoor use");
    ASSERT_GE(steel.first, 0) << sheetText(ws);
    EXPECT_EQ(findCell(ws, "12").first, steel.first);
    EXPECT_EQ(findCell(ws, "Bolt"), std::make_pair(steel.first + 1, steel.second));
    EXPECT_EQ(findCell(ws, "Net cash provided by  operating activities"), std::make_pair(steel.first + 2, steel.second));
    EXPECT_EQ(findCell(ws, "1234").first, steel.first + 2);
    const RuledTable terms{{70, 200},
                           {{{"Term", "Definition"}},
                            {{"Asset", "A resource with economic value"},
                             {"", "that an entity controls"},
                             {"Liability", "A present obligation"},
                             {"Equity", "The residual interest"}}}};
    xls_core::workbook wb2;
    const xls_core::worksheet* ws2 = playRuled(wb2, "page_ruled_terms_test", terms.content(), terms.rulings());
    ASSERT_NE(ws2, nullptr);
    const auto asset = findCell(ws2, "Asset");
    ASSERT_GE(asset.first, 0);
    EXPECT_EQ(findCell(ws2, "A resource with economic value  that an entity controls").first, asset.first);
    EXPECT_EQ(findCell(ws2, "Liability").first, asset.first + 1);
    EXPECT_EQ(findCell(ws2, "A present obligation").first, asset.first + 1);
    EXPECT_EQ(findCell(ws2, "Equity").first, asset.first + 2);
    // Records of wrapped notes, two to a ruled row, each behind a bullet
    // drawn apart from it: the bullet stays with its item.
    std::vector<std::vector<std::vector<std::string>>> notes = {{{"Topic", "Notes"}}};
    for (int k = 0; k < 2; ++k) {
        notes.emplace_back();
        for (int m = 0; m < 2; ++m) {
            const std::string n = std::to_string(2 * k + m);
            notes.back().push_back({"Topic " + n, "Reported as the total of every"});
            notes.back().push_back({"", "region and every year " + n});
        }
    }
    // The notes' text moves 10 points right of its bullet.
    const RuledTable noted{{90, 210}, notes};
    std::string content = noted.content();
    for (size_t p = 0; (p = content.find("Tf 166 ", p)) != std::string::npos; p += 7) content.replace(p, 7, "Tf 176 ");
    for (double y : {656.0, 632.0, 600.0, 576.0}) content += mini_pdf::text(166, y, "\x95");
    xls_core::workbook wb3;
    const xls_core::worksheet* ws3 = playRuled(wb3, "page_ruled_bullets_test", content, noted.rulings());
    ASSERT_NE(ws3, nullptr);
    for (int k = 0; k < 4; ++k) {
        const auto topic = findCell(ws3, "Topic " + std::to_string(k));
        ASSERT_GE(topic.first, 0) << sheetText(ws3);
        const std::string note = textAt(ws3, unsigned(topic.first), unsigned(topic.second + 1));
        EXPECT_EQ(note.substr(1), "  Reported as the total of every  region and every year " + std::to_string(k))
            << sheetText(ws3);
    }
}

TEST(RuledTable, ALabelWrappedBesideTwoRecordsIsOneCellOverThem) {
    // Each ruled row a label beside its Count and Percentage lines. A label
    // wrapped onto the Percentage line ("syndrome") belongs to both records;
    // a label starting in upper case on that line ("Diabetes") is a record of
    // its own, though the one above fills its cell too.
    const RuledTable t{{80, 60, 45, 45},
                       {{{"Condition", "", "Suffered", "Treated"}},
                        {{"Allergy", "Count", "93", "77"}, {"", "Percentage", "18.8%", "15.6%"}},
                        {{"Chronic fatigue", "Count", "19", "4"}, {"syndrome", "Percentage", "3.8%", "0.8%"}},
                        {{"Sexually transmit", "Count", "7", "6"}, {"Diabetes", "Count", "1", "1"}}}};
    xls_core::workbook wb;
    const xls_core::worksheet* ws = playRuled(wb, "page_ruled_wrapped_label_test", t.content(), t.rulings());
    ASSERT_NE(ws, nullptr);
    const auto label = findCell(ws, "Chronic fatigue  syndrome");
    ASSERT_GE(label.first, 0) << sheetText(ws);
    EXPECT_EQ(findCell(ws, "19").first, label.first);
    EXPECT_EQ(findCell(ws, "3.8%").first, label.first + 1);
    EXPECT_TRUE(mergedOver(ws, label, label.first + 1, label.second)) << sheetText(ws);
    const auto diabetes = findCell(ws, "Diabetes");
    EXPECT_EQ(diabetes, std::make_pair(findCell(ws, "Sexually transmit").first + 1, label.second)) << sheetText(ws);
}
