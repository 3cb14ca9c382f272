// The page dump: one worksheet per laid-out page.
#include <GlobalParams.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <utility>
#include <vector>
#include <string>

#include "TK/tk_log.h"
#include "XLS/xls_globals.h"
#include "XLS/xls_workbook.h"
#include "tabrixa/GridPlan.h"
#include "tabrixa/PageGrid.h"
#include "tabrixa/PageRegions.h"
#include "tabrixa/PageTables.h"
#include "tabrixa/PageText.h"
#include "tabrixa/PageWarning.h"
#include "tabrixa/RegionWriter.h"
#include "tabrixa/TextBlock.h"
#include "tabrixa/TextLine.h"
#include "tabrixa/TextPage.h"

namespace tbx {

namespace {

// Fills a missing base line and drops lines without words from their block.
void cleanLines(TextBlock* blk) {
    TextLine* prev = nullptr;
    TextLine* l = blk->lines;
    while (l) {
        TextLine* next = l->next;
        if (l->base < 0.0) l->base = 0.72 * l->yMax + 0.28 * l->yMin;
        if (!l->words) {
            if (prev)
                prev->next = next;
            else
                blk->lines = next;
            if (blk->lastLine == l) blk->lastLine = prev;
            if (blk->lineCount > 0) --blk->lineCount;
            delete l;
        } else {
            prev = l;
        }
        l = next;
    }
}

// A number never runs over into the empty cell beside it as text does:
// where it does not fit, readers show "###"; a figure written as text runs
// over only into an empty neighbour, and is cut where that holds something.
// A column is made as wide as the widest such figure that starts in it and
// is not merged across further columns, measured in the cell's own font; a
// figure merged across columns widens the last of them by what the merge
// lacks. The other widths stay the grid's.
void widenForFigures(xls_core::worksheet& sheet, const PageCells& cells, const std::vector<unsigned>& widths,
                     double defaultDigit) {
    // First cells of ranges over several columns, with their last column.
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> merged;
    for (const auto& m : sheet.Merges())
        if (m.last_col > m.first_col) merged[{m.first_row, m.first_col}] = m.last_col;
    // The figures to show whole, with the text the page gives them.
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::wstring> figures(cells.numberTexts);
    for (const auto& place : cells.figureTexts) {
        const auto it = merged.find(place);
        const std::uint32_t next = (it != merged.end() ? it->second : place.second) + 1;
        const auto* label = dynamic_cast<const xls_core::label_t*>(sheet.GetCell(place.first, place.second));
        const xls_core::cell_t* after = next < xls_core::max_cols ? sheet.GetCell(place.first, next) : nullptr;
        const auto* afterLabel = dynamic_cast<const xls_core::label_t*>(after);
        if (!label || !after || (afterLabel && afterLabel->GetText().empty())) continue;
        figures[place] = std::wstring(label->GetText().begin(), label->GetText().end());
    }
    std::vector<unsigned> wanted(widths);
    auto unitsOf = [&](std::uint32_t row, std::uint32_t col, const std::wstring& text) -> unsigned {
        const xls_core::cell_t* cell = sheet.GetCell(row, col);
        const xls_core::font_t* font = cell && cell->GetXF() ? cell->GetXF()->GetFont() : nullptr;
        if (!font) return 0;
        const auto* number = dynamic_cast<const xls_core::number_t*>(cell);
        return figureWidthUnits(text, number ? number->GetValue() : NAN, font->GetName(), font->GetHeight(),
                                defaultDigit);
    };
    for (const auto& [place, text] : figures) {
        const auto [row, col] = place;
        if (col >= wanted.size() || merged.count(place)) continue;
        wanted[col] = std::max(wanted[col], unitsOf(row, col, text));
    }
    for (const auto& [place, text] : figures) {
        const auto it = merged.find(place);
        if (it == merged.end() || place.second >= wanted.size()) continue;
        const std::uint32_t last = std::min<std::uint32_t>(it->second, static_cast<std::uint32_t>(wanted.size() - 1));
        unsigned have = 0;
        for (std::uint32_t c = place.second; c <= last; ++c) have += wanted[c];
        const unsigned units = unitsOf(place.first, place.second, text);
        if (units > have) wanted[last] += units - have;
    }
    for (size_t i = 0; i < wanted.size(); ++i) {
        if (wanted[i] == widths[i]) continue;
        tk_log::write(1, ">>sh->colwidth(%d,%u) for a figure", static_cast<int>(i), wanted[i]);
        sheet.colwidth(static_cast<std::uint32_t>(i), wanted[i]);
    }
}

// A row is at least as tall as the largest font written in it (with the
// line spacing readers give a font), beyond the height of a row without one.
void fitRowHeights(xls_core::worksheet& sheet, const PageCells& cells) {
    constexpr unsigned plainRow = 264;  // twips: readers' row for the default font
    std::map<std::uint32_t, unsigned> heights(cells.rowHeights);
    for (const auto& [row, points] : cells.rowFonts) {
        const unsigned wanted = rowHeightTwips(1.2 * points);
        const auto it = heights.find(row);
        if (it != heights.end())
            it->second = std::max(it->second, wanted);
        else if (wanted > plainRow && row < xls_core::max_rows)
            heights[row] = wanted;
    }
    for (const auto& [row, height] : heights) sheet.rowheight(row, height);
}

}  // namespace

void TextPage::dump(xls_core::workbook* wb, int pageCount) {
    tk_log::write(2, "TextPage::dump");
    if (!wb) return;
    // Without the core's text encoding the page is not written. Missing
    // global settings do not stop the page: the map only gates the dump.
    if (globalParams && !globalParams->getTextEncoding()) return;

    for (TextBlock* blk : blocks)
        if (blk) cleanLines(blk);
    tk_log::write(1, "> \"undoing\" the layout");

    char name[32];
    std::snprintf(name, sizeof name, "Page_%d", pageCount + 1);
    xls_core::worksheet* sheet = wb->sheet(name);

    PageTables tables = PageTables::fromCollector();
    PageRegions regions;
    regions.build(blocks.data(), blockCount(), tables);
    splitColumns(regions, tables);
    PageGrid grid;
    grid.build(regions);

    // Widths are counted in digits of the workbook's default font.
    const xls_core::font_t* font = wb->Globals().GetDefaultFont();
    const double digit = font ? digitWidthPoints(font->GetName(), font->GetHeight()) : 0.0;
    const int columns = std::min(grid.columnCount(), PageGrid::maxColumns);
    std::vector<unsigned> widths(static_cast<size_t>(std::max(columns, 0)));
    for (int i = 0; i < columns; ++i) {
        const unsigned width = columnWidthUnits(grid.boundary(i + 1) - grid.boundary(i), digit);
        tk_log::write(1, ">>sh->colwidth(%d,%u)", i, width);
        sheet->colwidth(static_cast<std::uint32_t>(i), width);
        widths[static_cast<size_t>(i)] = width;
    }

    RegionWriter writer(*this, *sheet, grid, tables);
    // Regions follow each other down the sheet, but regions side by side on
    // the page (tables next to each other, whichever starts higher) start
    // on one row, each in its own columns.
    int row = 0, bandRows = 0;
    std::vector<const PageRegion*> band;
    for (auto& region : regions.regions) {
        if (region->blocks.empty() || region->id == PageRegion::verticalTextId) continue;
        const PageRegion& r = *region;
        auto apart = [&](const PageRegion* b) { return r.xMin >= b->xMax || r.xMax <= b->xMin; };
        auto level = [&](const PageRegion* b) { return r.yMin < b->yMax && r.yMax > b->yMin; };
        const bool beside = !band.empty() && std::all_of(band.begin(), band.end(), apart) &&
                            std::any_of(band.begin(), band.end(), level);
        if (!beside) {
            row += bandRows;
            bandRows = 0;
            band.clear();
        }
        band.push_back(&r);
        bandRows = std::max(bandRows, writer.dumpRegion(*region, row));
    }
    row += bandRows;
    // Vertical text has no place in the page's columns; it follows the rest.
    for (auto& region : regions.regions)
        if (region->id == PageRegion::verticalTextId) row += writer.dumpVertical(*region, row);
    uncoverMergedValues(*sheet);
    widenForFigures(*sheet, writer.cells(), widths, digit);
    fitRowHeights(*sheet, writer.cells());
    warnAboutLimits(pageNumber > 0 ? pageNumber : pageCount + 1, grid.columnCount(), writer.cells());
}

void TextPage::warnAboutLimits(int page, int columns, const PageCells& pageCells) const {
    const std::string name = pageName(page);
    if (columns > PageGrid::maxColumns)
        warnAboutPage(name + " has " + std::to_string(columns) + " columns, more than the " +
                      std::to_string(PageGrid::maxColumns) + " of a worksheet: the text of columns " +
                      std::to_string(PageGrid::maxColumns + 1) + " to " + std::to_string(columns) +
                      " is joined into the last column.");
    if (pageCells.rowsNeeded > xls_core::max_rows)
        warnAboutPage(name + " has " + std::to_string(pageCells.rowsNeeded) + " rows, more than the " +
                      std::to_string(xls_core::max_rows) + " of a worksheet: rows " +
                      std::to_string(xls_core::max_rows + 1) + " to " + std::to_string(pageCells.rowsNeeded) +
                      " are left out.");
    if (pageCells.cutTexts > 0)
        warnAboutPage(name + ": " + std::to_string(pageCells.cutTexts) +
                      (pageCells.cutTexts == 1 ? " cell text is" : " cell texts are") +
                      " longer than the " + std::to_string(xls_core::max_cell_chars) +
                      " characters a cell holds and cut there.");
}

}  // namespace tbx
