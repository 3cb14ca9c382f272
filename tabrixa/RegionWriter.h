// Writes one page region into the page's worksheet, from a given row down:
// grid layout (one cell per line or cell group, columns from the page grid,
// borders for ruled tables) or flow layout (block by block, nested regions
// in their vertical place).
#pragma once

#include "tabrixa/PageText.h"

namespace xls_core { class worksheet; }

namespace tbx {

class TextPage;
class PageGrid;
class PageRegion;
class PageTables;

class RegionWriter {
public:
    RegionWriter(TextPage& page, xls_core::worksheet& sheet, PageGrid& grid, const PageTables& tables)
        : page_(page), sheet_(sheet), grid_(grid), tables_(tables) {}

    // Writes the region starting at firstRow; returns the rows it used.
    int dumpRegion(PageRegion& region, int firstRow);
    // Writes the page's vertical text (rotations 1 and 3) one line per row in
    // the first column, block by block, so that no word of the page is lost;
    // returns the rows used.
    int dumpVertical(PageRegion& region, int firstRow);
    // What the writer kept of the cells it wrote: numbers, row heights and
    // fonts, the rows and texts the sheet's limits cut.
    const PageCells& cells() const { return cells_; }

private:
    class GridWriter;
    int dumpGrid(PageRegion& region, int firstRow);
    int dumpFlow(PageRegion& region, int firstRow);
    // Flow layout of a region of blocks side by side without nested
    // regions whose cells share a row somewhere: row by row (see
    // planFlowRows). -1 for other regions.
    int dumpSideBySide(PageRegion& region, int firstRow);

    TextPage& page_;
    xls_core::worksheet& sheet_;
    PageGrid& grid_;
    const PageTables& tables_;
    PageCells cells_;
};

}  // namespace tbx
