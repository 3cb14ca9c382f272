// Where the lines of a region written in grid layout go, worked out before
// anything is written: each line's cell, its sheet row inside its ruled row
// and the cells of its row it spans. The steps, in order: ruled columns that
// hold several columns of the page split (splitColumns, before the page's
// columns are made), lines into cells (placeLines), then for every row of a
// ruled table the group headers that span the cells beneath them
// (spanHeaders), the rules under some columns only (ruleCuts) and the sheet
// rows of the header and of the records the row holds (splitRows);
// planRuledRows runs the row steps.
#pragma once

#include <cstddef>
#include <set>
#include <utility>
#include <vector>

namespace tbx {

class TextLine;
class PageRegion;
class PageRegions;
class PageTables;
struct TableRecord;

// A line and its place on the sheet.
struct PlacedLine {
    TextLine* line = nullptr;
    int cell = 0;  // index in the ruled table, or the running cell of a text region
    int sub = 0;   // sheet row inside its ruled row, from 0
    // First and last slot (cell of its row) the line spans: its own unless
    // it is a group header.
    int spanLo = 0, spanHi = 0;
    // Sheet rows its cell's text stands over, merged, from `sub` on (a
    // header cell beside others of several rows).
    int rows = 1;
};

struct GridPlan {
    int slots = 1;  // cells in a row: the region's block count
    // The lines by cell; lines of one cell in the order they are written.
    std::vector<PlacedLine> lines;
    // Ruled tables: the sheet rows each ruled row takes, and the (cell,
    // sheet row) places a group header covers.
    std::vector<int> subRows;
    std::set<std::pair<int, int>> covered;

    // Sheet rows (from the region's first) of ruled row `row`: where its
    // first one is, and how many it takes. Rows past the plan take one.
    int sheetRowOf(int row) const;
    int subRowsOf(int row) const;

    std::vector<int> rowStart;  // sheetRowOf of each row of subRows, and the total after them
};

// Split columns. A ruled column may hold several columns of the page: from
// its first page row whose lines stand further apart than the words of a
// phrase down, every page row leaves a gap there free (at least a word space
// of the column's largest font), and at least three rows show lines on both
// sides of it. Above that row in its ruled row a line alone on its base line
// may cross the gap (a header over the pieces, which it then spans), rows of
// several lines leave it too; the ruled rows above are the table's header.
// The column is split in the gap's middle: the table gets a column there
// (and a cell in each row), its left edge open (no rule), the region a block
// per piece, and the lines the codes of their new cells. Returns whether a
// column was split.
bool splitColumns(PageRegion& region, TableRecord& table);
// splitColumns for every ruled table of the page's regions, nested ones too.
void splitColumns(PageRegions& regions, PageTables& tables);

// Lines into cells: the region's lines in cell order with their cells. A
// ruled table's lines keep the cell their code names; a text region numbers
// its cells here (writing the codes back into the lines), so that a region
// of any length never wraps onto its base.
GridPlan placeLines(PageRegion& region);

// The lines of one ruled row as the row's steps see them: a range of a
// plan's lines in cell order, with the base line each stands on (lines that
// compareLines puts on one row share a band; bands count from the top).
struct RuledRow {
    PlacedLine* first = nullptr;
    PlacedLine* last = nullptr;
    int row = 0, slots = 1;
    std::vector<int> band;  // of each line of the range
    int bands = 0;
    std::vector<double> bandBase;  // the base line of each band's first line
    bool joined = false;           // a line joined a group header's cell

    RuledRow(PlacedLine* first, PlacedLine* last, int slots);
    std::size_t size() const { return static_cast<size_t>(last - first); }
    PlacedLine& operator[](std::size_t i) const { return first[i]; }
    int slotOf(std::size_t i) const { return first[i].cell % slots; }
};

// Where sheet rows part in a ruled row: below base line `band`, in the
// cells of slots lo..hi (a rule under them, or a group header over them).
struct RowCut {
    int band = 0, lo = 0, hi = 0;
};

// Spans and merges. A line reaching well into neighbouring cells that hold
// nothing on its base line or above, across an edge whose rule stops short
// of it, or beside an edge whose rule starts below it over lines of the
// next cell with a rule under it over both cells (a group header), spans
// them. A line on the next base line mostly under a group header and across
// an edge it spans joins the header's cell. Each group header over lines of the cells it spans parts
// them from it: the cuts returned. When a cell it covers holds something on
// its base lines, no line of the row spans.
std::vector<RowCut> spanHeaders(RuledRow& r, const TableRecord& table);

// The rules across some columns only that run through the ruled row, as cuts
// below the last base line above each.
std::vector<RowCut> ruleCuts(const RuledRow& r, const TableRecord& table);

// The sheet rows of a ruled row; decided from where lines stand. The body
// starts at the first base line where a cell stacks figures (in a table
// without figures, tableFigures false, and a row without cuts: where base
// lines show cells side by side, a record on each; else, no figures
// stacked, the row is all header). Above it the header:
// one sheet row between cuts, each cell's lines between two cuts over it one
// text over the rows between them. Below, each base line starts a record
// unless its cells all continue the wrapped text of the record above (a
// line that would not have fitted after the one above, never a figure; one
// of them filling most of its cell) or a label waiting for its figures, or a
// cut parts it. Sets the lines' sheet rows and returns how many the row
// takes (1: not split).
int splitRows(RuledRow& r, const TableRecord& table, const std::vector<RowCut>& cuts, bool tableFigures);

// Every ruled row of a table through spanHeaders and splitRows; the lines
// of each row again in cell order (a group header's lines may have joined
// another cell), the sheet rows of each ruled row and the covered places.
void planRuledRows(GridPlan& plan, const TableRecord& table);

}  // namespace tbx
