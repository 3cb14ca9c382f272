#include "tabrixa/RegionWriter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "TK/tk_log.h"
#include "XLS/xls_workbook.h"
#include "tabrixa/FlowRows.h"
#include "tabrixa/GridPlan.h"
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

// Writes a region as its plan places the lines: cell by cell, a ruled
// table's cells without text between them, merges, borders, row heights.
class RegionWriter::GridWriter {
public:
    GridWriter(RegionWriter& w, PageRegion& region, const GridPlan& plan, const TableRecord* table, int firstRow)
        : w_(w), region_(region), plan_(plan), table_(table), firstRow_(firstRow), B_(plan.slots),
          n_(plan.lines.size()), style_(std::min(3, std::max(1, (region.borderWeight + 10) / 20))) {}

    // Returns the rows used.
    int write() {
        size_t i = 0;
        while (i < n_) i += writeCell(i);
        if (table_)
            for (int c = prevCell_ + 1; c < static_cast<int>(table_->cells.size()); ++c) writeEmpty(c, n_);
        return std::max(usedRows_, plan_.sheetRowOf(maxRow_) + plan_.subRowsOf(maxRow_));
    }

private:
    // The sheet columns of a cell from `left` to `right`: it does not start
    // inside the cell written before it in its row (pos: the line at hand).
    void columnsOf(double left, double right, size_t pos, int& first, int& last) const {
        first = w_.grid_.columnAt(left + 3.0);
        last = w_.grid_.columnAt(right - 1.0);
        if (pos > 0 && lastEnd_ >= 0 && lastEnd_ >= first && last > first) ++first;
    }
    // The borders of a cell over table columns lo..hi: the top one where it
    // starts its ruled cell (which may be split over sheet rows), the bottom
    // one where it ends it, the sides where the ruled column was not split.
    void borders(xls_core::cell_t* c, bool top, bool bottom, int lo, int hi) const {
        for (int side = 0; side < 4; ++side) {
            if ((side == 0 && !bottom) || (side == 1 && !top)) continue;
            if (table_ && ((side == 2 && table_->openAt(lo)) || (side == 3 && table_->openAt(hi + 1)))) continue;
            c->set_border(side, style_);
        }
    }
    // An empty place of table column `slot` on sheet row r: merged over its
    // columns, wrapped and bordered.
    void writeBlank(std::uint32_t r, int first, int last, int sub, int subs, int slot, const char* mergeLog) {
        if (first < last && w_.cells_.countRow(r)) {
            if (mergeLog) tk_log::write(1, mergeLog);
            w_.sheet_.merge(r, u32(first), r, u32(last));
        }
        for (int col = first; col <= last; ++col)
            if (xls_core::cell_t* e = putEmptyCell(w_.sheet_, w_.cells_, r, u32(col))) {
                if (col == first) e->set_wrap(true);
                borders(e, sub == 0, sub + 1 == subs, slot, slot);
            }
    }
    // A table cell without text: wrap and borders, merged like a text cell.
    void writeEmpty(int c, size_t pos) {
        const TableCell* box = table_->cell(c);
        if (!box) return;
        const int row = c / B_;
        if (c % B_ == 0) lastEnd_ = -1;
        int first, last;
        columnsOf(box->xMin, box->xMax, pos, first, last);
        const int subs = plan_.subRowsOf(row);
        for (int sub = 0; sub < subs; ++sub) {
            if (plan_.covered.count({c, sub})) continue;
            writeBlank(u32(firstRow_ + plan_.sheetRowOf(row) + sub), first, last, sub, subs, c % B_,
                       pos < n_ ? "Just before sh->merge (2)" : "Just before sh->merge (4)");
        }
        lastEnd_ = last;
        // Empty bordered rows are part of the table on the sheet.
        usedRows_ = std::max(usedRows_, plan_.sheetRowOf(row) + subs);
    }
    // Writes the lines ls of one cell (top down) at sheet row r, columns
    // first..last, over `rows` sheet rows: one line of one word may be a
    // number, more lines are joined into one text.
    void writeText(const std::vector<TextLine*>& ls, std::uint32_t r, int first, int last, int sub, int subs,
                   int rows, int lo, int hi) {
        if ((first < last || rows > 1) && w_.cells_.countRow(r + u32(rows - 1))) {
            tk_log::write(1, "Just before sh->merge (3)");
            w_.sheet_.merge(r, u32(first), r + u32(rows - 1), u32(last));
        }
        TextLine* f = ls.front();
        std::wstring text;
        w_.page_.appendLineText(text, f);
        const wchar_t* logText = L"sh->label6(%d,%d,%s)";
        bool numberAllowed = false;
        if (ls.size() == 1) {
            numberAllowed = f->words && !f->words->next && f->words->len >= 1;
            logText = numberAllowed ? L"sh->label4(%d,%d,%s)" : L"sh->label5(%d,%d,'%s')";
        } else {
            text += L' ';
            for (size_t m = 1; m < ls.size(); ++m) {
                text += L' ';
                w_.page_.appendLineText(text, ls[m]);
                text += L' ';
            }
        }
        if (tk_log::active(1)) tk_log::write_wide(1, logText, static_cast<int>(r), first, text.c_str());
        xls_core::cell_t* out =
            putCellText(w_.sheet_, w_.cells_, r, u32(first), text, numberAllowed ? &text : nullptr);
        if (out) {
            out->set_halign(1);
            w_.page_.setCellFont(f, out, w_.cells_);
        }
        if (out && region_.isTable()) {
            out->set_wrap(true);
            borders(out, sub == 0, sub + rows == subs, lo, hi);
            for (int dr = 0; dr < rows; ++dr)
                for (int col = dr == 0 ? first + 1 : first; col <= last; ++col)
                    if (xls_core::cell_t* e = putEmptyCell(w_.sheet_, w_.cells_, r + u32(dr), u32(col)))
                        borders(e, sub == 0, sub + rows == subs, lo, hi);
        }
    }
    // The columns of the cells slots lo..hi of ruled row `row` (a group
    // header's span) for the cell of line i at slot `slot`, columns
    // first..last: those columns themselves when it spans no other cell.
    void spanned(int row, int slot, int lo, int hi, size_t i, int first, int last, int& sFirst, int& sLast) const {
        sFirst = first;
        sLast = last;
        if (!table_ || (lo == slot && hi == slot)) return;
        const TableCell* a = table_->cell(row * B_ + lo);
        const TableCell* z = table_->cell(row * B_ + hi);
        if (!a || !z) return;
        // Spanning back over the cell before it, the header starts where that cell does.
        columnsOf(a->xMin, z->xMax, lo < slot ? 0 : i, sFirst, sLast);
        // A grid column that mostly lies beyond the spanned cells (a
        // line of the next cell starting early) is not spanned.
        if (sLast > sFirst &&
            overlapRatio(w_.grid_.boundary(sLast), w_.grid_.boundary(sLast + 1), a->xMin, z->xMax) < 0.55)
            --sLast;
    }
    // Writes the cell of plan line i (with the empty cells before it);
    // returns the lines it took.
    size_t writeCell(size_t i) {
        const auto& lines = plan_.lines;
        const int cell = lines[i].cell;
        if (table_)
            for (int c = prevCell_ + 1; c < cell; ++c) writeEmpty(c, i);
        const int row = cell / B_;
        const int slot = cell % B_;
        if (row > maxRow_) {
            lastEnd_ = -1;
            maxRow_ = row;
        }
        const int subs = plan_.subRowsOf(row);
        const int top = plan_.sheetRowOf(row);
        size_t k = 1;
        while (i + k < n_ && lines[i + k].cell == cell) ++k;

        TextLine* f = lines[i].line;
        double left, right;
        const TableCell* box = table_ ? table_->cell(cell) : nullptr;
        if (box) {
            for (int sub = 0; sub < subs; ++sub)
                if (w_.cells_.countRow(u32(firstRow_ + top + sub)))
                    w_.cells_.rowHeights[u32(firstRow_ + top + sub)] = rowHeightTwips((box->yMax - box->yMin) / subs);
            left = box->xMin;
            right = box->xMax;
        } else {
            const RegionBlock& b = *region_.blocks[static_cast<size_t>(f->blockIndex)];
            left = b.xMin;
            right = b.xMax;
        }
        int first, last;
        columnsOf(left, right, i, first, last);

        const size_t j = i + k;
        if (j < n_ && lines[j].line->blockIndex > slot) {
            const RegionBlock& nb = *region_.blocks[static_cast<size_t>(lines[j].line->blockIndex)];
            if (last >= w_.grid_.columnAt(nb.xMin + 3.0)) {
                // A narrow column's text joins the cell before it, unless the
                // row is written base line by base line.
                if (nb.xMax - nb.xMin < 10.0) {
                    if (subs == 1) ++k;
                } else if (last > first &&
                           overlapRatio(w_.grid_.boundary(last), w_.grid_.boundary(last + 1), left, right) < 0.55) {
                    --last;
                }
            }
        }
        auto linesOf = [&](size_t from, size_t to) {
            std::vector<TextLine*> ls;
            for (size_t m = from; m < to; ++m) ls.push_back(lines[m].line);
            return ls;
        };
        if (subs == 1) {
            int lo = slot, hi = slot;
            for (size_t m = i; m < i + k; ++m) {
                lo = std::min(lo, lines[m].spanLo);
                hi = std::max(hi, lines[m].spanHi);
            }
            int sFirst, sLast;
            spanned(row, slot, lo, hi, i, first, last, sFirst, sLast);
            writeText(linesOf(i, i + k), u32(firstRow_ + top), sFirst, sLast, 0, 1, 1, lo, hi);
            last = std::max(last, sLast);
        } else {
            // Each base line of the cell on its sub-row (over several when
            // the plan says so); sub-rows it has no line on stay empty inside
            // the cell's borders.
            std::vector<std::vector<TextLine*>> bySub(static_cast<size_t>(subs));
            std::vector<std::pair<int, int>> spanOfSub(static_cast<size_t>(subs), {slot, slot});
            std::vector<int> rowsOfSub(static_cast<size_t>(subs), 1);
            for (size_t m = i; m < i + k; ++m) {
                const size_t sub = static_cast<size_t>(lines[m].sub);
                bySub[sub].push_back(lines[m].line);
                rowsOfSub[sub] = std::max(rowsOfSub[sub], lines[m].rows);
                spanOfSub[sub].first = std::min(spanOfSub[sub].first, lines[m].spanLo);
                spanOfSub[sub].second = std::max(spanOfSub[sub].second, lines[m].spanHi);
            }
            for (int sub = 0; sub < subs; ++sub) {
                const std::uint32_t r = u32(firstRow_ + top + sub);
                auto& ls = bySub[static_cast<size_t>(sub)];
                if (!ls.empty()) {
                    const auto [lo, hi] = spanOfSub[static_cast<size_t>(sub)];
                    int sFirst, sLast;
                    spanned(row, slot, lo, hi, i, first, last, sFirst, sLast);
                    sortWith(ls, compareLinesInOrder);
                    writeText(ls, r, sFirst, sLast, sub, subs, rowsOfSub[static_cast<size_t>(sub)], lo, hi);
                    continue;
                }
                if (!plan_.covered.count({cell, sub})) writeBlank(r, first, last, sub, subs, slot, nullptr);
            }
        }
        usedRows_ = std::max(usedRows_, top + subs);
        prevCell_ = cell;
        lastEnd_ = last;
        return k;
    }

    RegionWriter& w_;
    PageRegion& region_;
    const GridPlan& plan_;
    const TableRecord* table_;  // the ruled table, or null
    const int firstRow_, B_;
    const size_t n_;
    const int style_;  // border style
    int prevCell_ = -1, lastEnd_ = 0, maxRow_ = 0, usedRows_ = 0;
};

int RegionWriter::dumpGrid(PageRegion& region, int firstRow) {
    GridPlan plan = placeLines(region);
    if (plan.lines.empty()) return 0;
    const TableRecord* table = region.isTable() ? tables_.find(region.tableId) : nullptr;
    if (table) planRuledRows(plan, *table);
    return GridWriter(*this, region, plan, table, firstRow).write();
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
                    putCellText(sheet_, cells_, r, 0, text, l->words->next ? nullptr : &text)) {
                out->set_halign(1);
                page_.setCellFont(l, out, cells_);
            }
            ++rows;
        }
    }
    return rows;
}

int RegionWriter::dumpSideBySide(PageRegion& region, int firstRow) {
    if (region.blockCount() < 2) return -1;
    std::vector<const RegionBlock*> blocks;
    for (const auto& b : region.blocks) {
        if (!b->subRegions.empty()) return -1;
        blocks.push_back(b.get());
    }
    const FlowRows plan = planFlowRows(page_, blocks);
    // Columns of running text without a common base line, or more than two
    // of them: block by block.
    if (plan.shared == 0 || (blocks.size() > 2 && plan.columnsOfText)) return -1;
    int row = firstRow;
    for (const auto& r : plan.rows) {
        for (size_t b = 0; b < blocks.size(); ++b) {
            if (r[b] < 0) continue;
            const FlowCell& cell = plan.cells[b][static_cast<size_t>(r[b])];
            page_.dumpCell(&sheet_, cells_, &grid_, row, blocks[b]->xMin, blocks[b]->xMax, cell.lines.data(),
                           static_cast<int>(cell.lines.size()));
        }
        ++row;
    }
    return row - firstRow;
}

int RegionWriter::dumpFlow(PageRegion& region, int firstRow) {
    // Blocks side by side (a list of labels and values): their cells on one
    // row go on one sheet row.
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
                rows += page_.dumpLines(&sheet_, cells_, &grid_, firstRow + rows, b.xMin, b.xMax, take.data(),
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
