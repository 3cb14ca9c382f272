#include "tabrixa/RegionWriter.h"

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <limits>
#include <set>
#include <string>
#include <utility>
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

double sizeOf(const TextLine* l) {
    const double m = l->meanFontSize();
    return std::isfinite(m) && m > 0.0 ? m : 8.0;
}

// A line of figures: digits with their signs and separators only.
bool figureLine(const TextLine* l) {
    bool digit = false;
    for (Unicode c : l->text) {
        if (c >= '0' && c <= '9')
            digit = true;
        else if (!std::wcschr(L" .,%$()+-/", static_cast<wchar_t>(c)) || c == 0)
            return false;
    }
    return digit;
}

// The lines of one ruled cell (with their base lines) are wrapped text: in
// each stack of lines (a line and the next one below it that it overlaps),
// the first word of the next line would not have fitted after the line
// before it, by the widest line of the stack. Lines of separate rows stacked
// in one cell rarely all do; stacked figures may, and are never wrapped text.
// The lines come sorted by base line, then from the left.
bool wrapsInPieces(const std::vector<std::pair<const TextLine*, int>>& ls, const TableCell& box, double joinEms) {
    // Pieces of text: the lines of the cell, those of one base line joined
    // across gaps of up to joinEms.
    struct Piece {
        double xMin, xMax, word, size;
        int band;
    };
    std::vector<Piece> ps;
    for (const auto& [l, band] : ls) {
        const double size = sizeOf(l);
        if (!ps.empty() && ps.back().band == band && l->xMin - ps.back().xMax < joinEms * size) {
            ps.back().xMax = std::max(ps.back().xMax, l->xMax);
            continue;
        }
        ps.push_back({l->xMin, l->xMax, l->words ? l->words->xMax - l->words->xMin : 0.0, size, band});
    }
    const size_t n = ps.size();
    std::vector<size_t> root(n), next(n, n);
    for (size_t a = 0; a < n; ++a) root[a] = a;
    auto find = [&](size_t a) {
        while (root[a] != a) a = root[a] = root[root[a]];
        return a;
    };
    // The next line of a stack stands on the cell's next base line.
    for (size_t a = 0; a < n; ++a) {
        int nextBand = -1;
        for (size_t b = a + 1; b < n; ++b) {
            if (ps[b].band == ps[a].band) continue;
            if (nextBand >= 0 && ps[b].band != nextBand) break;
            nextBand = ps[b].band;
            if (ps[a].xMin < ps[b].xMax && ps[b].xMin < ps[a].xMax) {
                next[a] = b;
                root[find(b)] = find(a);
                break;
            }
        }
    }
    std::vector<double> widest(n, 0.0);
    double pad = std::numeric_limits<double>::infinity();
    for (size_t a = 0; a < n; ++a) {
        widest[find(a)] = std::max(widest[find(a)], ps[a].xMax - ps[a].xMin);
        pad = std::min(pad, ps[a].xMin - box.xMin);
    }
    // Wrapped lines also fill most of the cell's width, inside its margins.
    const double room = 0.75 * ((box.xMax - box.xMin) - 2.0 * std::clamp(pad, 0.0, 6.0));
    for (size_t a = 0; a < n; ++a) {
        if (next[a] == n) continue;
        const Piece& nx = ps[next[a]];
        const double need = (ps[a].xMax - ps[a].xMin) + 0.25 * nx.size + nx.word;
        if (need <= widest[find(a)] || need <= room) return false;
    }
    return true;
}

// Wrapped text, taken line by line, or with the pieces of a justified line
// (its words spread a few ems apart) joined; a gap between two text columns
// of one cell may be as narrow.
bool wrapsInCell(std::vector<std::pair<const TextLine*, int>> ls, const TableCell& box) {
    if (std::all_of(ls.begin(), ls.end(), [](const auto& l) { return figureLine(l.first); })) return false;
    std::stable_sort(ls.begin(), ls.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second < b.second : a.first->xMin < b.first->xMin;
    });
    return wrapsInPieces(ls, box, 0.0) || wrapsInPieces(ls, box, 4.0);
}

// A ruled cell may hold several rows of the page when the table has no rule
// between them. The lines of a ruled row are split over sheet rows by base
// line when cells of the row stand side by side on two base lines or more,
// one of them stacking figures, unless every cell whose later lines have
// partners beside them holds wrapped text. Sets subOf for the lines
// [i0, i1) (all of one ruled row) and returns the sheet rows the row takes.
//
// A line reaching well into neighbouring cells that hold nothing on its base
// line or above, or across an edge whose rule starts below it (a group
// header), spans them: spanLo and spanHi get the first and last column slot
// it covers. When such a cell holds lines below, the row is split in two so
// that the header stands above them; the cells of the row it does not span
// go into `whole`, written once over both sheet rows.
int ruledSubRows(const std::vector<TextLine*>& lines, std::vector<int>& cellOf, int i0, int i1, int B,
                 const PageTables& tables, int tableId, std::vector<int>& subOf, std::vector<int>& spanLo,
                 std::vector<int>& spanHi, std::set<int>& whole) {
    std::vector<int> order;
    for (int i = i0; i < i1; ++i) order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return lines[static_cast<size_t>(a)]->base < lines[static_cast<size_t>(b)]->base;
    });
    std::vector<int> band(static_cast<size_t>(i1 - i0));
    int bands = 0;
    const TextLine* head = nullptr;
    for (int i : order) {
        const TextLine* l = lines[static_cast<size_t>(i)];
        if (!head || compareLines(head, l) != 0) {
            head = l;
            ++bands;
        }
        band[static_cast<size_t>(i - i0)] = bands - 1;
    }
    bool spanSplit = false;
    int cut = -1;  // the lowest base line of a spanning line
    const int row = cellOf[static_cast<size_t>(i0)] / B;
    const TableRecord* rec = tables.find(tableId);
    // The highest and lowest base line of each cell of the row (-1: none).
    std::vector<int> topBand(static_cast<size_t>(B), -1), lowBand(static_cast<size_t>(B), -1);
    for (int i = i0; i < i1; ++i) {
        const size_t slot = static_cast<size_t>(cellOf[static_cast<size_t>(i)] % B);
        const int b = band[static_cast<size_t>(i - i0)];
        topBand[slot] = topBand[slot] < 0 ? b : std::min(topBand[slot], b);
        lowBand[slot] = std::max(lowBand[slot], b);
    }
    for (int i = i0; i < i1; ++i) {
        const TextLine* l = lines[static_cast<size_t>(i)];
        const int slot = cellOf[static_cast<size_t>(i)] % B;
        const int b = band[static_cast<size_t>(i - i0)];
        for (int dir = -1; dir <= 1; dir += 2) {
            for (int t = slot + dir; t >= 0 && t < B; t += dir) {
                const TableCell* box = tables.cell(tableId, row * B + t);
                if (!box) break;
                // Well into the cell, or across an edge whose rule stops short
                // of the line (the rulings are looked at only when needed).
                const double reach = dir > 0 ? l->xMax - box->xMin : box->xMax - l->xMin;
                const double edge = dir > 0 ? box->xMin : box->xMax;
                const bool well = reach > 2.0 && reach > 0.25 * (l->xMax - l->xMin);
                if (!well && !(reach > 0.5 && rec && !rec->verticals.empty() && !rec->ruledAt(edge, l->yMin, l->yMax)))
                    break;
                if (topBand[static_cast<size_t>(t)] >= 0 && topBand[static_cast<size_t>(t)] <= b) break;
                spanSplit |= lowBand[static_cast<size_t>(t)] > b;
                cut = std::max(cut, b);
                (dir > 0 ? spanHi : spanLo)[static_cast<size_t>(i)] = t;
            }
        }
    }
    if (spanSplit) {
        // A group header over several lines: a line on the next base line
        // below a spanning line, across an edge inside its span and mostly
        // under it, joins the header's cell and span.
        for (bool moved = true; moved;) {
            moved = false;
            for (int h = i0; h < i1; ++h) {
                const int lo = spanLo[static_cast<size_t>(h)], hi = spanHi[static_cast<size_t>(h)];
                if (lo == hi) continue;
                const TextLine* head = lines[static_cast<size_t>(h)];
                for (int m = i0; m < i1; ++m) {
                    const TextLine* l = lines[static_cast<size_t>(m)];
                    const int slot = cellOf[static_cast<size_t>(m)] % B;
                    if (spanLo[static_cast<size_t>(m)] != spanHi[static_cast<size_t>(m)] || slot < lo || slot > hi ||
                        band[static_cast<size_t>(m - i0)] != band[static_cast<size_t>(h - i0)] + 1)
                        continue;
                    const double under = std::min(l->xMax, head->xMax) - std::max(l->xMin, head->xMin);
                    bool across = false;
                    for (int t = lo + 1; t <= hi && !across; ++t) {
                        const TableCell* box = tables.cell(tableId, row * B + t);
                        across = box && l->xMin < box->xMin && box->xMin < l->xMax;
                    }
                    if (!across || under < 0.5 * (l->xMax - l->xMin)) continue;
                    cellOf[static_cast<size_t>(m)] = cellOf[static_cast<size_t>(h)];
                    spanLo[static_cast<size_t>(m)] = lo;
                    spanHi[static_cast<size_t>(m)] = hi;
                    cut = std::max(cut, band[static_cast<size_t>(m - i0)]);
                    moved = true;
                }
            }
        }
        // Two sheet rows: the group headers (and what stands beside them in
        // the cells they span) above, the rest of those cells below; the
        // other cells of the row are written whole over both.
        std::vector<bool> involved(static_cast<size_t>(B), false), covered(static_cast<size_t>(B), false);
        for (int i = i0; i < i1; ++i) {
            const int lo = spanLo[static_cast<size_t>(i)], hi = spanHi[static_cast<size_t>(i)];
            if (lo == hi) continue;
            for (int t = lo; t <= hi; ++t) {
                involved[static_cast<size_t>(t)] = true;
                if (t != cellOf[static_cast<size_t>(i)] % B) covered[static_cast<size_t>(t)] = true;
            }
        }
        bool clash = false;
        for (int i = i0; i < i1; ++i) {
            const size_t slot = static_cast<size_t>(cellOf[static_cast<size_t>(i)] % B);
            if (!involved[slot]) {
                whole.insert(cellOf[static_cast<size_t>(i)]);
                continue;
            }
            subOf[static_cast<size_t>(i)] = band[static_cast<size_t>(i - i0)] <= cut ? 0 : 1;
            // A covered cell must hold nothing in the upper row.
            if (subOf[static_cast<size_t>(i)] == 0 && covered[slot]) clash = true;
        }
        if (!clash) return 2;
        for (int i = i0; i < i1; ++i) {
            subOf[static_cast<size_t>(i)] = 0;
            spanLo[static_cast<size_t>(i)] = spanHi[static_cast<size_t>(i)] = cellOf[static_cast<size_t>(i)] % B;
            whole.erase(cellOf[static_cast<size_t>(i)]);
        }
    }
    if (bands < 2 || i1 - i0 < 3) return 1;
    // The cells on each base line.
    std::vector<std::vector<int>> cellsOn(static_cast<size_t>(bands));
    for (int i = i0; i < i1; ++i) {
        auto& cs = cellsOn[static_cast<size_t>(band[static_cast<size_t>(i - i0)])];
        if (std::find(cs.begin(), cs.end(), cellOf[static_cast<size_t>(i)]) == cs.end())
            cs.push_back(cellOf[static_cast<size_t>(i)]);
    }
    int shared = 0;
    for (const auto& cs : cellsOn) shared += cs.size() >= 2 ? 1 : 0;
    if (shared < 2) return 1;
    // Rows of a table stack figures in a cell, beside the lines of other
    // cells; lines of text beside each other (a header over several lines,
    // a year under a heading) stay in their cells.
    bool figures = false;
    for (int i = i0; i < i1 && !figures;) {
        int j = i, stacked = 0, lastBand = -1;
        for (; j < i1 && cellOf[static_cast<size_t>(j)] == cellOf[static_cast<size_t>(i)]; ++j) {
            const int b = band[static_cast<size_t>(j - i0)];
            if (b != lastBand && figureLine(lines[static_cast<size_t>(j)])) {
                ++stacked;
                lastBand = b;
            }
        }
        figures = stacked >= 2;
        i = j;
    }
    if (!figures) return 1;

    bool split = false;
    for (int i = i0; i < i1 && !split;) {
        const int cell = cellOf[static_cast<size_t>(i)];
        int j = i;
        while (j < i1 && cellOf[static_cast<size_t>(j)] == cell) ++j;
        std::vector<std::pair<const TextLine*, int>> own;
        bool partnered = false;
        int firstBand = bands;
        for (int m = i; m < j; ++m) firstBand = std::min(firstBand, band[static_cast<size_t>(m - i0)]);
        for (int m = i; m < j; ++m) {
            const int b = band[static_cast<size_t>(m - i0)];
            own.emplace_back(lines[static_cast<size_t>(m)], b);
            if (b != firstBand && cellsOn[static_cast<size_t>(b)].size() >= 2) partnered = true;
        }
        const TableCell* box = tables.cell(tableId, cell);
        if (partnered && box && !wrapsInCell(std::move(own), *box)) split = true;
        i = j;
    }
    if (!split) return 1;
    // Above the first figures stand the headers: a header line on a base
    // line of its own continues its cell's line above it (a header over two
    // lines stays one cell). Below, every base line is a row of the page.
    int firstFigures = bands;
    for (int i = i0; i < i1; ++i)
        if (figureLine(lines[static_cast<size_t>(i)]))
            firstFigures = std::min(firstFigures, band[static_cast<size_t>(i - i0)]);
    std::vector<int> subOfBand(static_cast<size_t>(bands), -1);
    for (int i = i0; i < i1;) {
        int j = i;
        while (j < i1 && cellOf[static_cast<size_t>(j)] == cellOf[static_cast<size_t>(i)]) ++j;
        std::vector<int> own;
        for (int m = i; m < j; ++m) own.push_back(m);
        std::stable_sort(own.begin(), own.end(), [&](int a, int b) {
            return band[static_cast<size_t>(a - i0)] < band[static_cast<size_t>(b - i0)];
        });
        int prev = -1;
        for (int m : own) {
            const int b = band[static_cast<size_t>(m - i0)];
            const bool joins = prev >= 0 && b < firstFigures && cellsOn[static_cast<size_t>(b)].size() == 1;
            subOf[static_cast<size_t>(m)] = joins ? prev : b;
            prev = subOf[static_cast<size_t>(m)];
            subOfBand[static_cast<size_t>(prev)] = 0;
        }
        i = j;
    }
    // Base lines left without a line of their own take no sheet row.
    int subs = 0;
    for (int& v : subOfBand)
        if (v == 0) v = subs++;
    for (int i = i0; i < i1; ++i)
        subOf[static_cast<size_t>(i)] = subOfBand[static_cast<size_t>(subOf[static_cast<size_t>(i)])];
    return subs;
}

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

    // Sheet rows of every ruled row: a ruled row holding rows of the page
    // side by side becomes one sheet row per base line (subOf of its lines).
    std::vector<int> subOf(static_cast<size_t>(n), 0);
    std::vector<int> subRows;
    // Column slots each line spans (a group header), and the (cell, sub-row)
    // places such spans cover.
    std::vector<int> spanLo(static_cast<size_t>(n)), spanHi(static_cast<size_t>(n));
    for (size_t i = 0; i < static_cast<size_t>(n); ++i) spanLo[i] = spanHi[i] = cellOf[i] % B;
    std::set<std::pair<int, int>> covered;
    std::set<int> whole;  // cells written once over all sub-rows of their row
    if (rec) {
        subRows.assign(static_cast<size_t>(std::max((cellCount + B - 1) / B, cellOf.back() / B + 1)), 1);
        for (int i = 0; i < n;) {
            const int row = cellOf[static_cast<size_t>(i)] / B;
            int j = i;
            while (j < n && cellOf[static_cast<size_t>(j)] / B == row) ++j;
            subRows[static_cast<size_t>(row)] =
                ruledSubRows(lines, cellOf, i, j, B, tables_, region.tableId, subOf, spanLo, spanHi, whole);
            // Lines of a group header may have joined another cell: the row's
            // lines in cell order again.
            if (!std::is_sorted(cellOf.begin() + i, cellOf.begin() + j)) {
                std::vector<int> idx;
                for (int m = i; m < j; ++m) idx.push_back(m);
                std::stable_sort(idx.begin(), idx.end(), [&](int a, int b) {
                    const int ca = cellOf[static_cast<size_t>(a)], cb = cellOf[static_cast<size_t>(b)];
                    if (ca != cb) return ca < cb;
                    return lines[static_cast<size_t>(a)]->base < lines[static_cast<size_t>(b)]->base;
                });
                // Only the row's own range is copied: a copy of the whole
                // vector for every such row would grow with the table squared.
                auto permute = [&](auto& v) {
                    const std::vector copy(v.begin() + i, v.begin() + j);
                    for (int m = i; m < j; ++m)
                        v[static_cast<size_t>(m)] = copy[static_cast<size_t>(idx[static_cast<size_t>(m - i)] - i)];
                };
                permute(lines);
                permute(cellOf);
                permute(subOf);
                permute(spanLo);
                permute(spanHi);
            }
            for (int m = i; m < j; ++m)
                for (int t = spanLo[static_cast<size_t>(m)]; t <= spanHi[static_cast<size_t>(m)]; ++t)
                    if (t != cellOf[static_cast<size_t>(m)] % B)
                        covered.insert({row * B + t, subOf[static_cast<size_t>(m)]});
            i = j;
        }
    }
    std::vector<int> rowStart(subRows.size() + 1, 0);
    for (size_t r = 0; r < subRows.size(); ++r) rowStart[r + 1] = rowStart[r] + subRows[r];
    // Sheet row (from firstRow) of the first sub-row of a row, and its count.
    auto sheetRowOf = [&](int row) {
        return static_cast<size_t>(row) < subRows.size() ? rowStart[static_cast<size_t>(row)]
                                                          : rowStart.back() + row - static_cast<int>(subRows.size());
    };
    auto subRowsOf = [&](int row) {
        return static_cast<size_t>(row) < subRows.size() ? subRows[static_cast<size_t>(row)] : 1;
    };

    int prevCell = -1, lastEnd = 0, maxRow = 0, usedRows = 0;

    auto columnsOf = [&](double left, double right, int pos, int& first, int& last) {
        first = grid_.columnAt(left + 3.0);
        last = grid_.columnAt(right - 1.0);
        if (pos > 0 && lastEnd >= 0 && lastEnd >= first && last > first) ++first;
    };
    // The four borders, less the top one inside a ruled cell split over
    // sheet rows (sub-row sub of subs) and the bottom one.
    auto borders = [&](xls_core::cell_t* c, int sub, int subs) {
        for (int side = 0; side < 4; ++side) {
            if ((side == 0 && sub + 1 < subs) || (side == 1 && sub > 0)) continue;
            c->set_border(side, style);
        }
    };
    // An empty place of a table cell on sheet row r: merged over its
    // columns, wrapped and bordered.
    auto writeBlank = [&](std::uint32_t r, int first, int last, int sub, int subs, const char* mergeLog) {
        if (first < last && cells_.countRow(r)) {
            if (mergeLog) tk_log::write(1, mergeLog);
            sheet_.merge(r, u32(first), r, u32(last));
        }
        for (int col = first; col <= last; ++col)
            if (xls_core::cell_t* e = putEmptyCell(sheet_, cells_, r, u32(col))) {
                if (col == first) e->set_wrap(true);
                borders(e, sub, subs);
            }
    };
    // A table cell without text: wrap and borders, merged like a text cell.
    auto writeEmpty = [&](int c, int pos) {
        const TableCell* box = tables_.cell(region.tableId, c);
        if (!box) return;
        const int row = c / B;
        if (c % B == 0) lastEnd = -1;
        int first, last;
        columnsOf(box->xMin, box->xMax, pos, first, last);
        const int subs = subRowsOf(row);
        for (int sub = 0; sub < subs; ++sub) {
            if (covered.count({c, sub})) continue;
            writeBlank(u32(firstRow + sheetRowOf(row) + sub), first, last, sub, subs,
                       pos < n ? "Just before sh->merge (2)" : "Just before sh->merge (4)");
        }
        lastEnd = last;
        // Empty bordered rows are part of the table on the sheet.
        usedRows = std::max(usedRows, sheetRowOf(row) + subs);
    };
    // Writes the lines ls of one cell (top down) at sheet row r, columns
    // first..last: one line of one word may be a number, more lines are
    // joined into one text.
    auto writeText = [&](const std::vector<TextLine*>& ls, std::uint32_t r, int first, int last, int sub, int subs,
                         int rows) {
        if ((first < last || rows > 1) && cells_.countRow(r + u32(rows - 1))) {
            tk_log::write(1, "Just before sh->merge (3)");
            sheet_.merge(r, u32(first), r + u32(rows - 1), u32(last));
        }
        TextLine* f = ls.front();
        std::wstring text;
        page_.appendLineText(text, f);
        const wchar_t* logText = L"sh->label6(%d,%d,%s)";
        bool numberAllowed = false;
        if (ls.size() == 1) {
            numberAllowed = f->words && !f->words->next && f->words->len >= 1;
            logText = numberAllowed ? L"sh->label4(%d,%d,%s)" : L"sh->label5(%d,%d,'%s')";
        } else {
            text += L' ';
            for (size_t m = 1; m < ls.size(); ++m) {
                text += L' ';
                page_.appendLineText(text, ls[m]);
                text += L' ';
            }
        }
        if (tk_log::active(1)) tk_log::write_wide(1, logText, static_cast<int>(r), first, text.c_str());
        xls_core::cell_t* out =
            putCellText(sheet_, cells_, r, u32(first), text, numberAllowed ? &text : nullptr);
        if (out) {
            out->set_halign(1);
            page_.setCellFont(f, out, cells_);
        }
        if (out && table) {
            out->set_wrap(true);
            borders(out, sub, subs);
            for (int dr = 0; dr < rows; ++dr)
                for (int col = dr == 0 ? first + 1 : first; col <= last; ++col)
                    if (xls_core::cell_t* e = putEmptyCell(sheet_, cells_, r + u32(dr), u32(col)))
                        borders(e, sub, subs);
        }
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
        const int subs = subRowsOf(row);
        const int top = sheetRowOf(row);
        int k = 1;
        while (i + k < n && cellOf[static_cast<size_t>(i + k)] == cell) ++k;

        TextLine* f = lines[static_cast<size_t>(i)];
        double left, right;
        const TableCell* box = rec ? tables_.cell(region.tableId, cell) : nullptr;
        if (box) {
            for (int sub = 0; sub < subs; ++sub)
                if (cells_.countRow(u32(firstRow + top + sub)))
                    cells_.rowHeights[u32(firstRow + top + sub)] =
                        rowHeightTwips((box->yMax - box->yMin) / subs);
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
                // A narrow column's text joins the cell before it, unless the
                // row is written base line by base line.
                if (nb.xMax - nb.xMin < 10.0) {
                    if (subs == 1) ++k;
                } else if (last > first &&
                           overlapRatio(grid_.boundary(last), grid_.boundary(last + 1), left, right) < 0.55) {
                    --last;
                }
            }
        }
        // The columns of the cells a group header spans.
        auto spanned = [&](int lo, int hi, int& sFirst, int& sLast) {
            sFirst = first;
            sLast = last;
            if (!rec || (lo == slot && hi == slot)) return;
            const TableCell* a = tables_.cell(region.tableId, row * B + lo);
            const TableCell* z = tables_.cell(region.tableId, row * B + hi);
            if (!a || !z) return;
            // Spanning back over the cell before it, the header starts where that cell does.
            columnsOf(a->xMin, z->xMax, lo < slot ? 0 : i, sFirst, sLast);
            // A grid column that mostly lies beyond the spanned cells (a
            // line of the next cell starting early) is not spanned.
            if (sLast > sFirst &&
                overlapRatio(grid_.boundary(sLast), grid_.boundary(sLast + 1), a->xMin, z->xMax) < 0.55)
                --sLast;
        };
        if (subs == 1) {
            int lo = slot, hi = slot;
            for (int m = i; m < i + k; ++m) {
                lo = std::min(lo, spanLo[static_cast<size_t>(m)]);
                hi = std::max(hi, spanHi[static_cast<size_t>(m)]);
            }
            int sFirst, sLast;
            spanned(lo, hi, sFirst, sLast);
            writeText(std::vector<TextLine*>(lines.begin() + i, lines.begin() + i + k), u32(firstRow + top), sFirst,
                      sLast, 0, 1, 1);
            last = std::max(last, sLast);
        } else if (whole.count(cell)) {
            std::vector<TextLine*> ls(lines.begin() + i, lines.begin() + i + k);
            sortWith(ls, compareLinesInOrder);
            writeText(ls, u32(firstRow + top), first, last, 0, 1, subs);
        } else {
            // Each base line of the cell on its sub-row; sub-rows it has no
            // line on stay empty inside the cell's borders.
            std::vector<std::vector<TextLine*>> bySub(static_cast<size_t>(subs));
            std::vector<std::pair<int, int>> spanOfSub(static_cast<size_t>(subs), {slot, slot});
            for (int m = i; m < i + k; ++m) {
                const size_t sub = static_cast<size_t>(subOf[static_cast<size_t>(m)]);
                bySub[sub].push_back(lines[static_cast<size_t>(m)]);
                spanOfSub[sub].first = std::min(spanOfSub[sub].first, spanLo[static_cast<size_t>(m)]);
                spanOfSub[sub].second = std::max(spanOfSub[sub].second, spanHi[static_cast<size_t>(m)]);
            }
            for (int sub = 0; sub < subs; ++sub) {
                const std::uint32_t r = u32(firstRow + top + sub);
                auto& ls = bySub[static_cast<size_t>(sub)];
                if (!ls.empty()) {
                    int sFirst, sLast;
                    spanned(spanOfSub[static_cast<size_t>(sub)].first, spanOfSub[static_cast<size_t>(sub)].second,
                            sFirst, sLast);
                    sortWith(ls, compareLinesInOrder);
                    writeText(ls, r, sFirst, sLast, sub, subs, 1);
                    continue;
                }
                if (!covered.count({cell, sub})) writeBlank(r, first, last, sub, subs, nullptr);
            }
        }
        usedRows = std::max(usedRows, top + subs);
        prevCell = cell;
        lastEnd = last;
        i += k;
    }
    if (rec)
        for (int c = prevCell + 1; c < cellCount; ++c) writeEmpty(c, n);
    return std::max(usedRows, sheetRowOf(maxRow) + subRowsOf(maxRow));
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
            used = std::max(used, page_.dumpLines(&sheet_, cells_, &grid_, row, blk.xMin, blk.xMax, cell.lines,
                                                  cell.count));
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
