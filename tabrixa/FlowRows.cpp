#include "tabrixa/FlowRows.h"

#include <algorithm>
#include <cmath>

#include "tabrixa/PageRegions.h"
#include "tabrixa/TextHelpers.h"
#include "tabrixa/TextLine.h"
#include "tabrixa/TextPage.h"
#include "tabrixa/TextWord.h"

namespace tbx {

namespace {

double middle(const TextLine* l) { return 0.5 * (l->yMin + l->yMax); }

// Every line of the blocks by base line, with its block.
struct Placed {
    double base;
    const TextLine* line;
    size_t block;
};

// What stands after block b along the reading direction, beside its lines
// from base lo to base hi, is one row holding a figure: the middle of the
// first figure, else NaN.
double figuresBeside(const std::vector<Placed>& byBase, const RegionBlock& blk, size_t b, bool leftToRight,
                     double lo, double hi) {
    auto it = std::lower_bound(byBase.begin(), byBase.end(), lo,
                               [](const Placed& p, double v) { return p.base < v; });
    const TextLine* first = nullptr;
    double figure = NAN;
    for (; it != byBase.end() && it->base <= hi; ++it) {
        if (it->block == b || (leftToRight ? it->line->xMin < blk.xMax : it->line->xMax > blk.xMin)) continue;
        if (!first)
            first = it->line;
        else if (compareLines(first, it->line) != 0)
            return NAN;
        if (std::isnan(figure) && it->line->isFigure()) figure = middle(it->line);
    }
    return figure;
}

// Cell c of a block continues the cell above it, u (a label wrapped over
// lines): right under it, and either the line above filled its cell (the
// next word would not have fitted after it) or the figures beside stand
// between the first line and the last (a label centred on its value).
bool continuesCell(const FlowCell& u, const FlowCell& c, const RegionBlock& blk, size_t b, bool leftToRight,
                   const std::vector<Placed>& byBase) {
    const TextLine* first = u.lines.front();
    const TextLine* above = u.lines.back();
    const TextLine* next = c.lines.front();
    const double size = above->sizeOrDefault();
    if (std::fabs(next->sizeOrDefault() - size) > 0.05 * size || !next->words) return false;
    if (first->isFigure() || next->isFigure()) return false;  // a label, not figures
    const double drop = next->base - above->base;
    if (!(drop > 0.0 && drop <= 1.4 * size)) return false;
    const bool aligned = std::fabs(next->xMin - first->xMin) <= size ||
                         std::fabs((next->xMin + next->xMax) - (first->xMin + first->xMax)) <= 2.0 * size;
    if (!aligned) return false;
    const double figure =
        figuresBeside(byBase, blk, b, leftToRight, first->base - 0.3 * size, c.lines.back()->base + 0.3 * size);
    if (std::isnan(figure)) return false;
    if (figure > middle(first) + 0.25 * size && figure < middle(c.lines.back()) - 0.25 * size) return true;
    double end = above->xMax;
    for (const TextLine* l : u.lines)
        if (l->base == above->base) end = std::max(end, l->xMax);
    const double word = next->words->xMax - next->words->xMin;
    return end - std::min(first->xMin, above->xMin) + wordSpaceEms * size + word > blk.xMax - blk.xMin;
}

// Running text: four lines or more, three in four of them of three words or
// more across four fifths of the block's width at least.
bool runningText(const RegionBlock& blk) {
    const double width = blk.xMax - blk.xMin;
    int full = 0;
    for (const TextLine* l : blk.lines) {
        int words = 0;
        for (const TextWord* w = l->words; w && words < 3; w = w->next) ++words;
        if (words >= 3 && l->xMax - l->xMin >= 0.8 * width) ++full;
    }
    return blk.lineCount() >= 4 && 4 * full >= 3 * blk.lineCount();
}

// Two cells of different blocks stand on one row: their first lines do,
// or the middle of one lies between the middles of the first and the last
// line of the other, a label wrapped over lines.
bool shareRow(const FlowCell& a, const FlowCell& b) {
    if (compareLines(a.lines.front(), b.lines.front()) == 0) return true;
    auto between = [](const FlowCell& outer, const FlowCell& inner) {
        if (compareLines(outer.lines.front(), outer.lines.back()) == 0) return false;
        const double m = 0.5 * (middle(inner.lines.front()) + middle(inner.lines.back()));
        return middle(outer.lines.front()) <= m && m <= middle(outer.lines.back());
    };
    return between(a, b) || between(b, a);
}

// Lines on one row whose base lines also stand within half the smaller
// size: a large title beside two smaller rows overlaps both, but its base
// line is on only one of them.
bool sameBaseLine(const TextLine* a, const TextLine* b) {
    return compareLines(a, b) == 0 &&
           std::fabs(a->base - b->base) < 0.5 * std::min(a->sizeOrDefault(), b->sizeOrDefault());
}

}  // namespace

FlowRows planFlowRows(const TextPage& page, const std::vector<const RegionBlock*>& blocks) {
    FlowRows out;
    const size_t n = blocks.size();
    out.cells.resize(n);
    std::vector<std::vector<FlowCell>> raw(n);
    std::vector<Placed> byBase;
    for (size_t b = 0; b < n; ++b) {
        std::vector<TextLine*> lines = blocks[b]->lines;
        sortWith(lines, compareLinesInOrder);
        const int count = static_cast<int>(lines.size());
        for (int i = 0; i < count;) {
            if (TextPage::opensNoCell(lines[static_cast<size_t>(i)])) {
                ++i;
                continue;
            }
            const int j = page.cellEnd(lines.data(), count, i);
            raw[b].push_back({std::vector<TextLine*>(lines.begin() + i, lines.begin() + j)});
            for (const TextLine* l : raw[b].back().lines) byBase.push_back({l->base, l, b});
            i = j;
        }
    }
    std::sort(byBase.begin(), byBase.end(), [](const Placed& x, const Placed& y) { return x.base < y.base; });
    int running = 0;
    for (size_t b = 0; b < n; ++b) {
        const bool prose = runningText(*blocks[b]);
        running += prose;
        for (FlowCell& c : raw[b]) {
            if (!prose && !out.cells[b].empty() &&
                continuesCell(out.cells[b].back(), c, *blocks[b], b, page.primaryLR, byBase))
                out.cells[b].back().lines.insert(out.cells[b].back().lines.end(), c.lines.begin(), c.lines.end());
            else
                out.cells[b].push_back(std::move(c));
        }
    }
    out.columnsOfText = running > 1;

    // Top down: the cell starting highest, and the next cell of every other
    // block that stands on its row.
    std::vector<size_t> next(n, 0);
    while (true) {
        size_t top = n;
        for (size_t b = 0; b < n; ++b)
            if (next[b] < out.cells[b].size() &&
                (top == n || out.cells[b][next[b]].lines.front()->base < out.cells[top][next[top]].lines.front()->base))
                top = b;
        if (top == n) break;
        // A cell joins the row when it shares the top cell's row, or its
        // first line stands on the base line of any cell already in it: lines of
        // different sizes side by side drift apart by more than one pair of
        // them shows. A wrapped label centred on a value is only looked for
        // beside the top cell; chained, it would pull in the next row.
        std::vector<int> row(n, -1);
        row[top] = static_cast<int>(next[top]);
        int used = 1;
        for (bool grew = true; grew;) {
            grew = false;
            for (size_t b = 0; b < n; ++b) {
                if (row[b] >= 0 || next[b] >= out.cells[b].size()) continue;
                const FlowCell& c = out.cells[b][next[b]];
                for (size_t a = 0; a < n; ++a) {
                    if (row[a] < 0) continue;
                    const FlowCell& in = out.cells[a][static_cast<size_t>(row[a])];
                    if (a == top ? !shareRow(in, c) : !sameBaseLine(in.lines.front(), c.lines.front())) continue;
                    row[b] = static_cast<int>(next[b]);
                    ++used;
                    grew = true;
                    break;
                }
            }
        }
        for (size_t b = 0; b < n; ++b)
            if (row[b] >= 0) ++next[b];
        if (used > 1) ++out.shared;
        out.rows.push_back(std::move(row));
    }
    return out;
}

}  // namespace tbx
