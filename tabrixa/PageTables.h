// The ruled tables of the page being written, as the layout reads them: a
// snapshot of the line collector's table list taken when the page is dumped.
#pragma once

#include <optional>
#include <vector>

#include "PDFR/pdf_ulin.h"

namespace tbx {

// A table line's cell code is table number x cellCodeBase + cell index, as the collector gives it.
constexpr int cellCodeBase = pdf_uline_processor::max_table_cells;

struct TableCell {
    double xMin = 0, xMax = 0, yMin = 0, yMax = 0;
};

// A vertical ruling of a table, in points.
struct TableRuling {
    double x = 0, yMin = 0, yMax = 0;
};
// A horizontal rule of a table across some of its columns only, in points.
struct TablePartialRule {
    double y = 0, xMin = 0, xMax = 0;
};

// The vertical ruling a collected line (in pixels) makes when it is taller than wide.
std::optional<TableRuling> verticalRuling(const pdf_uline_processor::line_item& l);

struct TableRecord {
    int id = 0;  // 0: rejected table, never referred to
    double xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    double thickness = 0.3;
    int vertCount = 0;  // column edges
    std::vector<TableCell> cells;  // row-major
    std::vector<TableRuling> verticals;
    std::vector<TablePartialRule> partialRules;  // rules that make no row edge
    // Columns whose left edge is no rule: a ruled column holding several
    // columns of the page was split there (empty: every edge is a rule).
    std::vector<bool> openLeft;

    int columnCount() const { return vertCount - 1; }
    // Cell c, or null when there is none.
    const TableCell* cell(int c) const {
        return c >= 0 && c < static_cast<int>(cells.size()) ? &cells[static_cast<size_t>(c)] : nullptr;
    }
    // No rule stands at the left edge of column `col`.
    bool openAt(int col) const {
        return col >= 0 && col < static_cast<int>(openLeft.size()) && openLeft[static_cast<size_t>(col)];
    }
    // A vertical ruling runs at x (within the cell lookup's slack) through
    // the middle of [y0, y1]; false also when the table has none on record.
    bool ruledAt(double x, double y0, double y1) const;
};

class PageTables {
public:
    PageTables() = default;
    // The collector's current tables; empty when there is no collector.
    static PageTables fromCollector();

    void add(TableRecord table) { tables_.push_back(std::move(table)); }
    // Table number t (1-based position in the list), or null when the number
    // is out of range, the table was rejected or it has no usable columns.
    const TableRecord* find(int t) const;
    // Cell c of table t, or null.
    const TableCell* cell(int t, int c) const;
    // Table number t to change (split columns), or null as find.
    TableRecord* edit(int t) { return const_cast<TableRecord*>(find(t)); }
    bool empty() const { return tables_.empty(); }

private:
    std::vector<TableRecord> tables_;
};

}  // namespace tbx
