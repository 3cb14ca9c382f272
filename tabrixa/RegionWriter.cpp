#include "tabrixa/RegionWriter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "TK/tk_log.h"
#include "XLS/xls_workbook.h"
#include "tabrixa/PageGrid.h"
#include "tabrixa/PageRegions.h"
#include "tabrixa/PageTables.h"
#include "tabrixa/PageText.h"
#include "tabrixa/TextHelpers.h"
#include "tabrixa/TextLine.h"
#include "tabrixa/TextPage.h"
#include "tabrixa/TextWord.h"

namespace tbx {

int PageRegion::gridLineCount() const {
    bool shortLined = false, backwards = false, hasNested = false, rowMarked = false;
    int rowSum = 0, maxRows = 0, total = 0;
    for (const auto& b : blocks) {
        double prevBase = 0.0, lastM = 0.0;
        int rows = 0, longest = 0;
        for (const TextLine* l : b->lines) {
            double m = l->meanFontSize();
            if (m == 0.0) m = 8.0;
            if (l->base > prevBase + 0.6 * m) ++rows;
            if (prevBase > l->base + 0.6 * m) backwards = true;
            longest = std::max(longest, l->len);
            lastM = m;
            prevBase = l->base;
        }
        if (longest < 2 && lastM < 30.0) shortLined = true;
        if (!b->subRegions.empty()) hasNested = true;
        if (!b->lines.empty() && b->markedLines * 100 / b->lineCount() > 15) rowMarked = true;
        rowSum += rows;
        maxRows = std::max(maxRows, rows);
        total += b->lineCount();
    }
    const double ratio = maxRows > 0 ? static_cast<double>(rowSum) / (blockCount() * static_cast<double>(maxRows))
                                     : std::numeric_limits<double>::quiet_NaN();
    if (borderWeight == 0 && parentBlockCount < 2 &&
        (hasNested || (rowMarked && blockCount() < 5) ||
         (blockCount() == 2 && !backwards && !shortLined && ratio > 0.3 && maxRows >= 5)))
        return 0;
    return total;
}

int RegionWriter::dumpRegion(PageRegion& region, int firstRow) {
    if (region.blocks.empty()) return 0;
    return region.gridLineCount() > 0 ? dumpGrid(region, firstRow) : dumpFlow(region, firstRow);
}

namespace {
std::uint32_t u32(int v) { return static_cast<std::uint32_t>(v); }
}  // namespace

int RegionWriter::dumpGrid(PageRegion& region, int firstRow) {
    const int B = region.blockCount();
    const bool table = region.isTable();
    const TableRecord* rec = table ? tables_.find(region.tableId) : nullptr;

    std::vector<TextLine*> lines;
    for (int bi = 0; bi < B; ++bi) {
        for (TextLine* l : region.blocks[static_cast<size_t>(bi)]->lines) {
            l->blockIndex = bi;
            lines.push_back(l);
        }
    }
    const int n = static_cast<int>(lines.size());
    if (n == 0) return 0;

    // Cell index of every line. Text regions number their cells here and keep
    // the index itself, so a region of any length never wraps onto its base.
    std::vector<int> cellOf(static_cast<size_t>(n));
    if (table) {
        sortWith(lines, compareLinesByCell);
        for (int i = 0; i < n; ++i) {
            const int code = std::abs(lines[static_cast<size_t>(i)]->cellCode);
            cellOf[static_cast<size_t>(i)] = code - (code / cellCodeBase) * cellCodeBase;
        }
    } else {
        sortWith(lines, compareLinesInOrder);
        const long long base = (static_cast<long long>(region.id) + 1) * cellCodeBase;
        long long r = 0;
        int prevBlock = 0;
        for (int i = 0; i < n; ++i) {
            TextLine* l = lines[static_cast<size_t>(i)];
            const int d = l->blockIndex - prevBlock;
            if (d < 0) {
                r += d + B;
            } else if (d > 0) {
                r += d;
            } else if (i > 0 &&
                       std::fabs(lines[static_cast<size_t>(i - 1)]->yMax - l->yMax) > 0.5 * l->meanFontSize()) {
                r += B;
            }
            const long long code = base + r;
            l->cellCode = code > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                                 : static_cast<int>(code);
            cellOf[static_cast<size_t>(i)] = static_cast<int>(std::min<long long>(r, std::numeric_limits<int>::max()));
            prevBlock = l->blockIndex;
        }
    }

    const int cellCount = rec ? static_cast<int>(rec->cells.size()) : 0;
    const int style = std::min(3, std::max(1, (region.borderWeight + 10) / 20));
    int prevCell = -1, lastEnd = 0, maxRow = 0, usedRows = 0;

    auto columnsOf = [&](double left, double right, int pos, int& first, int& last) {
        first = grid_.columnAt(left + 3.0);
        last = grid_.columnAt(right - 1.0);
        if (pos > 0 && lastEnd >= 0 && lastEnd >= first && last > first) ++first;
    };
    auto borders = [&](xls_core::cell_t* c) {
        for (int side = 0; side < 4; ++side) c->set_border(side, style);
    };
    // A table cell without text: wrap and borders, merged like a text cell.
    auto writeEmpty = [&](int c, int pos) {
        const TableCell* box = tables_.cell(region.tableId, c);
        if (!box) return;
        const int row = c / B;
        if (c % B == 0) lastEnd = -1;
        int first, last;
        columnsOf(box->xMin, box->xMax, pos, first, last);
        const std::uint32_t r = u32(firstRow + row);
        if (first < last && page_.pageCells.rowFits(r)) {
            tk_log::write(1, pos < n ? "Just before sh->merge (2)" : "Just before sh->merge (4)");
            sheet_.merge(r, u32(first), r, u32(last));
        }
        if (xls_core::cell_t* cell = putEmptyCell(sheet_, page_.pageCells, r, u32(first))) {
            cell->set_wrap(true);
            borders(cell);
        }
        for (int col = first + 1; col <= last; ++col)
            if (xls_core::cell_t* e = putEmptyCell(sheet_, page_.pageCells, r, u32(col))) borders(e);
        lastEnd = last;
        // Empty bordered rows are part of the table on the sheet.
        usedRows = std::max(usedRows, row + 1);
    };

    int i = 0;
    while (i < n) {
        const int cell = cellOf[static_cast<size_t>(i)];
        if (rec)
            for (int c = prevCell + 1; c < cell; ++c) writeEmpty(c, i);
        const int row = cell / B;
        const int slot = cell % B;
        if (row > maxRow) {
            lastEnd = -1;
            maxRow = row;
        }
        int k = 1;
        while (i + k < n && cellOf[static_cast<size_t>(i + k)] == cell) ++k;

        TextLine* f = lines[static_cast<size_t>(i)];
        double left, right;
        const TableCell* box = rec ? tables_.cell(region.tableId, cell) : nullptr;
        if (box) {
            if (page_.pageCells.rowFits(u32(firstRow + row)))
                sheet_.rowheight(u32(firstRow + row), rowHeightTwips(box->yMax - box->yMin));
            left = box->xMin;
            right = box->xMax;
        } else {
            const RegionBlock& b = *region.blocks[static_cast<size_t>(f->blockIndex)];
            left = b.xMin;
            right = b.xMax;
        }
        int first, last;
        columnsOf(left, right, i, first, last);

        const int j = i + k;
        if (j < n && lines[static_cast<size_t>(j)]->blockIndex > slot) {
            const RegionBlock& nb = *region.blocks[static_cast<size_t>(lines[static_cast<size_t>(j)]->blockIndex)];
            if (last >= grid_.columnAt(nb.xMin + 3.0)) {
                if (nb.xMax - nb.xMin < 10.0) {
                    ++k;
                } else if (last > first &&
                           overlapRatio(grid_.boundary(last), grid_.boundary(last + 1), left, right) < 0.55) {
                    --last;
                }
            }
        }
        const std::uint32_t r = u32(firstRow + row);
        if (first < last && page_.pageCells.rowFits(r)) {
            tk_log::write(1, "Just before sh->merge (3)");
            sheet_.merge(r, u32(first), r, u32(last));
        }

        std::wstring text;
        page_.appendLineText(text, f);
        const wchar_t* logText = L"sh->label6(%d,%d,%s)";
        bool numberAllowed = false;
        if (k == 1) {
            numberAllowed = f->words && !f->words->next && f->words->len >= 1;
            logText = numberAllowed ? L"sh->label4(%d,%d,%s)" : L"sh->label5(%d,%d,'%s')";
        } else {
            text += L' ';
            for (int m = 1; m < k; ++m) {
                const TextLine* l = lines[static_cast<size_t>(i + m)];
                text += L' ';
                page_.appendLineText(text, l);
                text += L' ';
            }
        }
        if (tk_log::active(1)) tk_log::write_wide(1, logText, static_cast<int>(r), first, text.c_str());
        xls_core::cell_t* out =
            putCellText(sheet_, page_.pageCells, r, u32(first), text, numberAllowed ? &text : nullptr);
        if (out) {
            out->set_halign(1);
            page_.setCellFont(f, out);
        }
        if (out && table) {
            out->set_wrap(true);
            borders(out);
            for (int col = first + 1; col <= last; ++col)
                if (xls_core::cell_t* e = putEmptyCell(sheet_, page_.pageCells, r, u32(col))) borders(e);
        }
        usedRows = std::max(usedRows, row + 1);
        prevCell = cell;
        lastEnd = last;
        i += k;
    }
    if (rec)
        for (int c = prevCell + 1; c < cellCount; ++c) writeEmpty(c, n);
    return std::max(usedRows, maxRow + 1);
}

int RegionWriter::dumpVertical(PageRegion& region, int firstRow) {
    int rows = 0;
    for (auto& b : region.blocks) {
        for (TextLine* l : b->lines) {
            if (!l->words || l->len < 1) continue;
            std::wstring text;
            page_.appendLineText(text, l);
            const std::uint32_t r = u32(firstRow + rows);
            if (xls_core::cell_t* out =
                    putCellText(sheet_, page_.pageCells, r, 0, text, l->words->next ? nullptr : &text)) {
                out->set_halign(1);
                page_.setCellFont(l, out);
            }
            ++rows;
        }
    }
    return rows;
}

int RegionWriter::dumpSideBySide(PageRegion& region, int firstRow) {
    if (region.blockCount() != 2) return -1;
    // Each block's cells as dumpLines makes them: lines in order, grouped.
    struct Cell {
        TextLine** lines;
        int count;
    };
    std::vector<TextLine*> taken[2];
    std::vector<Cell> cells[2];
    for (int b = 0; b < 2; ++b) {
        const RegionBlock& blk = *region.blocks[static_cast<size_t>(b)];
        if (!blk.subRegions.empty()) return -1;
        taken[b] = blk.lines;
        sortWith(taken[b], compareLinesInOrder);
        const int n = static_cast<int>(taken[b].size());
        for (int i = 0; i < n;) {
            if (TextPage::opensNoCell(taken[b][static_cast<size_t>(i)])) {
                ++i;
                continue;
            }
            const int j = page_.cellEnd(taken[b].data(), n, i);
            cells[b].push_back({taken[b].data() + i, j - i});
            i = j;
        }
    }
    // Rows: the two blocks' cells merged top down; cells whose first lines
    // stand on one row share it, a cell without a partner leaves the other
    // block's cell of that row empty.
    std::vector<std::pair<int, int>> rows;
    int shared = 0;
    size_t a = 0, b = 0;
    while (a < cells[0].size() || b < cells[1].size()) {
        const int c = a < cells[0].size() && b < cells[1].size()
                          ? compareLines(cells[0][a].lines[0], cells[1][b].lines[0])
                          : (a < cells[0].size() ? -1 : 1);
        if (c == 0) ++shared;
        rows.push_back({c <= 0 ? static_cast<int>(a++) : -1, c >= 0 ? static_cast<int>(b++) : -1});
    }
    // Two columns of running text without a common base line: block by block.
    if (shared == 0) return -1;
    int row = firstRow;
    for (const auto& r : rows) {
        int used = 0;
        for (int k = 0; k < 2; ++k) {
            const int i = k == 0 ? r.first : r.second;
            if (i < 0) continue;
            const RegionBlock& blk = *region.blocks[static_cast<size_t>(k)];
            const Cell& cell = cells[k][static_cast<size_t>(i)];
            used = std::max(used, page_.dumpLines(&sheet_, &grid_, row, blk.xMin, blk.xMax, cell.lines, cell.count));
        }
        row += used;
    }
    return row - firstRow;
}

int RegionWriter::dumpFlow(PageRegion& region, int firstRow) {
    // Two blocks side by side (a list of labels and values): their lines on
    // one base line go on one row.
    const int sideBySide = dumpSideBySide(region, firstRow);
    if (sideBySide >= 0) return sideBySide;
    int result = 0;
    for (auto& bp : region.blocks) {
        RegionBlock& b = *bp;
        const auto& nested = b.subRegions;
        size_t ni = 0, li = 0;
        int rows = 0;
        double limit = nested.empty() ? b.yMax : nested.front()->yMin;
        while (li < b.lines.size() || ni < nested.size()) {
            bool progress = false;
            std::vector<TextLine*> take;
            while (li < b.lines.size() && (b.lines[li]->base <= limit || std::isinf(limit))) take.push_back(b.lines[li++]);
            if (!take.empty()) {
                sortWith(take, compareLinesInOrder);
                rows += page_.dumpLines(&sheet_, &grid_, firstRow + rows, b.xMin, b.xMax, take.data(),
                                        static_cast<int>(take.size()));
                progress = true;
            }
            const bool nestedDue = ni < nested.size() && b.yMax > limit - 0.1;
            // Nothing fits under the limit: what is left still goes out, in
            // vertical order (a nested region first, then the lines below).
            if (nestedDue || (!progress && ni < nested.size())) {
                rows += dumpRegion(*nested[ni], firstRow + rows);
                ++ni;
                limit = ni < nested.size() ? nested[ni]->yMin : b.yMax;
                progress = true;
            }
            if (!progress) limit = std::numeric_limits<double>::infinity();
        }
        result = std::max(result, rows);
    }
    return result;
}

}  // namespace tbx
