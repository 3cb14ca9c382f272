#include "tabrixa/GridPlan.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

#include "tabrixa/PageRegions.h"
#include "tabrixa/PageTables.h"
#include "tabrixa/PageText.h"
#include "tabrixa/TextHelpers.h"
#include "tabrixa/TextLine.h"
#include "tabrixa/TextWord.h"

namespace tbx {

int GridPlan::sheetRowOf(int row) const {
    if (rowStart.empty()) return row;
    return static_cast<size_t>(row) < subRows.size() ? rowStart[static_cast<size_t>(row)]
                                                      : rowStart.back() + row - static_cast<int>(subRows.size());
}

int GridPlan::subRowsOf(int row) const {
    return static_cast<size_t>(row) < subRows.size() ? subRows[static_cast<size_t>(row)] : 1;
}

namespace {

double sizeOf(const TextLine* l) {
    const double m = l->meanFontSize();
    return std::isfinite(m) && m > 0.0 ? m : 8.0;
}

struct Span {
    double lo, hi;
};

// Where a ruled column splits, and where the page rows it splits start.
struct ColumnSplit {
    std::vector<double> at;  // ascending
    int row = 0;             // the ruled row of the first row split,
    double base = 0;         // and its base line
    // The line stands above the rows split (a header line).
    bool above(int ruled, const TextLine* l) const {
        return ruled < row || (ruled == row && l->base < base && compareLines(l, lineAtBase) != 0);
    }
    const TextLine* lineAtBase = nullptr;
};

// Where ruled column `slot` (the lines of its block) splits: the middles of
// the gaps that every page row from its first row of pieces down leaves.
ColumnSplit columnSplits(const RegionBlock& block, int slot, int B, const TableRecord& table) {
    // The column's lines by ruled row, then base line.
    struct Placed {
        const TextLine* line;
        int row;
    };
    std::vector<Placed> ls;
    double size = 0.0;
    for (const TextLine* l : block.lines) {
        const int code = std::abs(l->cellCode);
        ls.push_back({l, (code % cellCodeBase) / B});
        for (const TextWord* w = l->words; w; w = w->next) size = std::max(size, w->fontSize);
    }
    ColumnSplit out;
    if (ls.size() < 2 || !(size > 0.0)) return out;
    std::stable_sort(ls.begin(), ls.end(), [](const Placed& a, const Placed& b) {
        return a.row != b.row ? a.row < b.row : a.line->base < b.line->base;
    });
    // Each page row (with its ruled row): the spans its lines cover.
    std::vector<std::vector<Span>> rows;
    std::vector<int> ruledRow;
    std::vector<const TextLine*> heads;
    for (const Placed& p : ls) {
        if (heads.empty() || p.row != ruledRow.back() || compareLines(heads.back(), p.line) != 0) {
            rows.emplace_back();
            ruledRow.push_back(p.row);
            heads.push_back(p.line);
        }
        rows.back().push_back({p.line->xMin, p.line->xMax});
    }
    const size_t n = rows.size();
    for (auto& r : rows)
        std::sort(r.begin(), r.end(), [](const Span& a, const Span& b) { return a.lo < b.lo; });
    // A row is in pieces where its lines stand further apart than the words
    // of a phrase; the gap the rows share must stay at least a word space wide.
    const double apart = phraseGapEms * size, least = wordSpaceEms * size;
    // What the rows below each row cover, joined.
    std::vector<std::vector<Span>> below(n);
    for (size_t r = n - 1; r > 0; --r) {
        std::vector<Span> all(below[r]);
        all.insert(all.end(), rows[r].begin(), rows[r].end());
        std::sort(all.begin(), all.end(), [](const Span& a, const Span& b) { return a.lo < b.lo; });
        for (const Span& x : all) {
            if (!below[r - 1].empty() && x.lo <= below[r - 1].back().hi)
                below[r - 1].back().hi = std::max(below[r - 1].back().hi, x.hi);
            else
                below[r - 1].push_back(x);
        }
    }
    // Gaps less the spans that reach into them (pieces at least `least` wide).
    auto less = [&](const std::vector<Span>& gaps, const std::vector<Span>& spans) {
        std::vector<Span> kept;
        for (Span g : gaps) {
            for (const Span& w : spans) {
                if (!(w.lo < g.hi && g.lo < w.hi)) continue;
                if (w.lo - g.lo >= least) kept.push_back({g.lo, w.lo});
                g.lo = std::max(g.lo, w.hi);
            }
            if (g.hi - g.lo >= least) kept.push_back(g);
        }
        return kept;
    };
    // The topmost row f whose own gaps survive every row below it and part
    // the lines of three rows or more (two may be wrapped text). Above it in its ruled row a line alone
    // on its base line may cross them (a header over the pieces); rows of
    // several lines leave them too. Rows of the ruled rows above are the
    // table's header.
    std::vector<Span> gaps;
    size_t f = 0;
    for (; f < n && gaps.empty(); ++f) {
        std::vector<Span> own;
        double reach = rows[f].front().hi;
        for (size_t k = 1; k < rows[f].size(); ++k) {
            if (rows[f][k].lo - reach >= apart) own.push_back({reach, rows[f][k].lo});
            reach = std::max(reach, rows[f][k].hi);
        }
        if (own.empty()) continue;
        gaps = less(own, below[f]);
        for (size_t r = f; r-- > 0 && ruledRow[r] == ruledRow[f] && !gaps.empty();)
            if (rows[r].size() > 1) gaps = less(gaps, rows[r]);
        gaps.erase(std::remove_if(gaps.begin(), gaps.end(),
                                  [&](const Span& g) {
                                      int parted = 0;
                                      for (size_t r = f; r < n && parted < 3; ++r) {
                                          bool left = false, right = false;
                                          for (const Span& w : rows[r]) {
                                              left = left || w.hi <= g.lo;
                                              right = right || w.lo >= g.hi;
                                          }
                                          parted += left && right ? 1 : 0;
                                      }
                                      return parted < 3;
                                  }),
                   gaps.end());
        if (!gaps.empty()) break;
    }
    if (gaps.empty()) return out;
    out.row = ruledRow[f];
    out.base = heads[f]->base;
    out.lineAtBase = heads[f];
    // Every piece keeps room for a cell of its own.
    const TableCell* cell = table.cell(slot);
    double from = cell ? cell->xMin : block.xMin;
    const double to = cell ? cell->xMax : block.xMax;
    for (const Span& g : gaps) {
        const double x = (g.lo + g.hi) / 2;
        if (x - from >= 10.0 && to - x >= 10.0) {
            out.at.push_back(x);
            from = x;
        }
    }
    return out;
}

}  // namespace

bool splitColumns(PageRegion& region, TableRecord& table) {
    const int B = region.blockCount();
    if (B < 1 || table.columnCount() != B || table.cells.size() % static_cast<size_t>(B) != 0) return false;
    const int rows = static_cast<int>(table.cells.size()) / B;
    std::vector<ColumnSplit> splits;
    int added = 0;
    for (int s = 0; s < B; ++s) {
        splits.push_back(columnSplits(*region.blocks[static_cast<size_t>(s)], s, B, table));
        added += static_cast<int>(splits.back().at.size());
    }
    const int nb = B + added;
    // Cell codes hold fewer cells than cellCodeBase.
    if (added == 0 || static_cast<long long>(rows) * nb >= cellCodeBase) return false;
    std::vector<int> firstCol(static_cast<size_t>(B) + 1, 0);
    for (int s = 0; s < B; ++s)
        firstCol[static_cast<size_t>(s) + 1] =
            firstCol[static_cast<size_t>(s)] + 1 + static_cast<int>(splits[static_cast<size_t>(s)].at.size());
    std::vector<TableCell> cells;
    cells.reserve(static_cast<size_t>(rows) * static_cast<size_t>(nb));
    for (int r = 0; r < rows; ++r)
        for (int s = 0; s < B; ++s) {
            const TableCell& c = table.cells[static_cast<size_t>(r * B + s)];
            double x = c.xMin;
            for (double e : splits[static_cast<size_t>(s)].at) {
                cells.push_back({x, e, c.yMin, c.yMax});
                x = e;
            }
            cells.push_back({x, c.xMax, c.yMin, c.yMax});
        }
    table.openLeft.assign(static_cast<size_t>(nb), false);
    std::vector<std::unique_ptr<RegionBlock>> blocks;
    for (int s = 0; s < B; ++s) {
        const ColumnSplit& split = splits[static_cast<size_t>(s)];
        const auto& sp = split.at;
        RegionBlock& old = *region.blocks[static_cast<size_t>(s)];
        const int base = firstCol[static_cast<size_t>(s)];
        for (size_t k = 0; k <= sp.size(); ++k) {
            const TableCell& c = cells[static_cast<size_t>(base) + k];
            blocks.push_back(std::make_unique<RegionBlock>(c.xMin, c.xMax, old.yMin, old.yMax));
            if (k > 0) table.openLeft[static_cast<size_t>(base) + k] = true;
        }
        // Each line goes to the piece of its middle, but the words of one
        // phrase of a header (one base line, a word space apart) stay in the
        // piece the phrase starts in, which they span.
        std::vector<TextLine*> ls(old.lines);
        auto ruledRowOf = [&](const TextLine* l) { return (std::abs(l->cellCode) % cellCodeBase) / B; };
        std::stable_sort(ls.begin(), ls.end(), [&](const TextLine* a, const TextLine* b) {
            const int ra = ruledRowOf(a), rb = ruledRowOf(b);
            if (ra != rb) return ra < rb;
            const int c = compareLines(a, b);
            return c != 0 ? c < 0 : a->xMin < b->xMin;
        });
        int piece = 0;
        for (size_t i = 0; i < ls.size(); ++i) {
            TextLine* l = ls[i];
            const int row = ruledRowOf(l);
            const TextLine* prev = i > 0 ? ls[i - 1] : nullptr;
            const bool phrase = prev && ruledRowOf(prev) == row && split.above(row, l) && compareLines(prev, l) == 0 &&
                                l->xMin - prev->xMax < phraseGapEms * sizeOf(l);
            if (!phrase)
                piece = static_cast<int>(std::upper_bound(sp.begin(), sp.end(), (l->xMin + l->xMax) / 2) - sp.begin());
            const int t = std::abs(l->cellCode) / cellCodeBase;
            l->cellCode = -(t * cellCodeBase + row * nb + base + piece);
            RegionBlock& b = *blocks[static_cast<size_t>(base + piece)];
            b.lines.push_back(l);
            b.baseMin = b.lines.size() == 1 ? l->base : std::min(b.baseMin, l->base);
            b.baseMax = std::max(b.baseMax, l->base);
        }
    }
    table.cells.swap(cells);
    table.vertCount = nb + 1;
    region.blocks.swap(blocks);
    return true;
}

void splitColumns(PageRegions& regions, PageTables& tables) {
    std::vector<PageRegion*> todo;
    for (auto& r : regions.regions) todo.push_back(r.get());
    while (!todo.empty()) {
        PageRegion* r = todo.back();
        todo.pop_back();
        if (r->isTable())
            if (TableRecord* t = tables.edit(r->tableId)) splitColumns(*r, *t);
        for (auto& b : r->blocks)
            for (auto& n : b->subRegions) todo.push_back(n.get());
    }
}

GridPlan placeLines(PageRegion& region) {
    GridPlan plan;
    const int B = region.blockCount();
    plan.slots = B;
    std::vector<TextLine*> lines;
    for (int bi = 0; bi < B; ++bi) {
        for (TextLine* l : region.blocks[static_cast<size_t>(bi)]->lines) {
            l->blockIndex = bi;
            lines.push_back(l);
        }
    }
    const int n = static_cast<int>(lines.size());
    plan.lines.reserve(lines.size());
    if (region.isTable()) {
        sortWith(lines, compareLinesByCell);
        for (TextLine* l : lines) {
            const int code = std::abs(l->cellCode);
            plan.lines.push_back({l, code - (code / cellCodeBase) * cellCodeBase});
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
            plan.lines.push_back({l, static_cast<int>(std::min<long long>(r, std::numeric_limits<int>::max()))});
            prevBlock = l->blockIndex;
        }
    }
    for (PlacedLine& p : plan.lines) p.spanLo = p.spanHi = p.cell % B;
    return plan;
}

namespace {

bool figureLine(const TextLine* l) { return isFigureText(l->text.data(), l->text.size()); }

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
        const double need = (ps[a].xMax - ps[a].xMin) + wordSpaceEms * nx.size + nx.word;
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

}  // namespace

RuledRow::RuledRow(PlacedLine* f, PlacedLine* l, int s) : first(f), last(l), slots(s) {
    row = f < l ? f->cell / s : 0;
    const size_t n = size();
    std::vector<size_t> order(n);
    for (size_t i = 0; i < n; ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return first[a].line->base < first[b].line->base; });
    band.assign(n, 0);
    const TextLine* head = nullptr;
    for (size_t i : order) {
        const TextLine* l = first[i].line;
        if (!head || compareLines(head, l) != 0) {
            head = l;
            ++bands;
        }
        band[i] = bands - 1;
    }
}

int spanHeaders(RuledRow& r, const TableRecord& table) {
    const size_t n = r.size();
    const int B = r.slots;
    bool spanSplit = false;
    int cut = -1;  // the lowest base line of a spanning line
    // The highest and lowest base line of each cell of the row (-1: none).
    std::vector<int> topBand(static_cast<size_t>(B), -1), lowBand(static_cast<size_t>(B), -1);
    for (size_t i = 0; i < n; ++i) {
        const size_t slot = static_cast<size_t>(r.slotOf(i));
        const int b = r.band[i];
        topBand[slot] = topBand[slot] < 0 ? b : std::min(topBand[slot], b);
        lowBand[slot] = std::max(lowBand[slot], b);
    }
    for (size_t i = 0; i < n; ++i) {
        const TextLine* l = r[i].line;
        const int slot = r.slotOf(i);
        const int b = r.band[i];
        for (int dir = -1; dir <= 1; dir += 2) {
            for (int t = slot + dir; t >= 0 && t < B; t += dir) {
                const TableCell* box = table.cell(r.row * B + t);
                if (!box) break;
                // Well into the cell, or across an edge whose rule stops short
                // of the line (the rulings are looked at only when needed).
                const double reach = dir > 0 ? l->xMax - box->xMin : box->xMax - l->xMin;
                const double edge = dir > 0 ? box->xMin : box->xMax;
                const bool well = reach > 2.0 && reach > 0.25 * (l->xMax - l->xMin);
                if (!well && !(reach > 0.5 && !table.verticals.empty() && !table.ruledAt(edge, l->yMin, l->yMax)))
                    break;
                if (topBand[static_cast<size_t>(t)] >= 0 && topBand[static_cast<size_t>(t)] <= b) break;
                spanSplit |= lowBand[static_cast<size_t>(t)] > b;
                cut = std::max(cut, b);
                (dir > 0 ? r[i].spanHi : r[i].spanLo) = t;
            }
        }
    }
    if (!spanSplit) return 1;
    // A group header over several lines: a line on the next base line
    // below a spanning line, across an edge inside its span and mostly
    // under it, joins the header's cell and span.
    for (bool moved = true; moved;) {
        moved = false;
        for (size_t h = 0; h < n; ++h) {
            const int lo = r[h].spanLo, hi = r[h].spanHi;
            if (lo == hi) continue;
            const TextLine* head = r[h].line;
            for (size_t m = 0; m < n; ++m) {
                const TextLine* l = r[m].line;
                const int slot = r.slotOf(m);
                if (r[m].spanLo != r[m].spanHi || slot < lo || slot > hi || r.band[m] != r.band[h] + 1) continue;
                const double under = std::min(l->xMax, head->xMax) - std::max(l->xMin, head->xMin);
                bool across = false;
                for (int t = lo + 1; t <= hi && !across; ++t) {
                    const TableCell* box = table.cell(r.row * B + t);
                    across = box && l->xMin < box->xMin && box->xMin < l->xMax;
                }
                if (!across || under < 0.5 * (l->xMax - l->xMin)) continue;
                r[m].cell = r[h].cell;
                r[m].spanLo = lo;
                r[m].spanHi = hi;
                cut = std::max(cut, r.band[m]);
                moved = true;
            }
        }
    }
    // Two sheet rows: the group headers (and what stands beside them in
    // the cells they span) above, the rest of those cells below; the
    // other cells of the row are written whole over both.
    std::vector<bool> involved(static_cast<size_t>(B), false), covered(static_cast<size_t>(B), false);
    for (size_t i = 0; i < n; ++i) {
        const int lo = r[i].spanLo, hi = r[i].spanHi;
        if (lo == hi) continue;
        for (int t = lo; t <= hi; ++t) {
            involved[static_cast<size_t>(t)] = true;
            if (t != r.slotOf(i)) covered[static_cast<size_t>(t)] = true;
        }
    }
    bool clash = false;
    for (size_t i = 0; i < n; ++i) {
        const size_t slot = static_cast<size_t>(r.slotOf(i));
        if (!involved[slot]) {
            r[i].whole = true;
            continue;
        }
        r[i].sub = r.band[i] <= cut ? 0 : 1;
        // A covered cell must hold nothing in the upper row.
        if (r[i].sub == 0 && covered[slot]) clash = true;
    }
    if (!clash) return 2;
    for (size_t i = 0; i < n; ++i) {
        r[i].sub = 0;
        r[i].spanLo = r[i].spanHi = r.slotOf(i);
        r[i].whole = false;
    }
    return 1;
}

int splitRows(RuledRow& r, const TableRecord& table) {
    const size_t n = r.size();
    const int bands = r.bands;
    if (bands < 2 || n < 3) return 1;
    // The cells on each base line.
    std::vector<std::vector<int>> cellsOn(static_cast<size_t>(bands));
    for (size_t i = 0; i < n; ++i) {
        auto& cs = cellsOn[static_cast<size_t>(r.band[i])];
        if (std::find(cs.begin(), cs.end(), r[i].cell) == cs.end()) cs.push_back(r[i].cell);
    }
    int shared = 0;
    for (const auto& cs : cellsOn) shared += cs.size() >= 2 ? 1 : 0;
    if (shared < 2) return 1;
    // The runs of lines of one cell (a group header's lines may have joined
    // a cell out of order).
    auto runEnd = [&](size_t i) {
        size_t j = i;
        while (j < n && r[j].cell == r[i].cell) ++j;
        return j;
    };
    // Rows of a table stack figures in a cell, beside the lines of other
    // cells; lines of text beside each other (a header over several lines,
    // a year under a heading) stay in their cells.
    bool figures = false;
    for (size_t i = 0; i < n && !figures;) {
        const size_t j = runEnd(i);
        int stacked = 0, lastBand = -1;
        for (size_t m = i; m < j; ++m) {
            if (r.band[m] != lastBand && figureLine(r[m].line)) {
                ++stacked;
                lastBand = r.band[m];
            }
        }
        figures = stacked >= 2;
        i = j;
    }
    if (!figures) return 1;

    bool split = false;
    for (size_t i = 0; i < n && !split;) {
        const size_t j = runEnd(i);
        std::vector<std::pair<const TextLine*, int>> own;
        bool partnered = false;
        int firstBand = bands;
        for (size_t m = i; m < j; ++m) firstBand = std::min(firstBand, r.band[m]);
        for (size_t m = i; m < j; ++m) {
            const int b = r.band[m];
            own.emplace_back(r[m].line, b);
            if (b != firstBand && cellsOn[static_cast<size_t>(b)].size() >= 2) partnered = true;
        }
        const TableCell* box = table.cell(r[i].cell);
        if (partnered && box && !wrapsInCell(std::move(own), *box)) split = true;
        i = j;
    }
    if (!split) return 1;
    // Above the first figures stand the headers: a header line on a base
    // line of its own continues its cell's line above it (a header over two
    // lines stays one cell). Below, every base line is a row of the page.
    int firstFigures = bands;
    for (size_t i = 0; i < n; ++i)
        if (figureLine(r[i].line)) firstFigures = std::min(firstFigures, r.band[i]);
    std::vector<int> subOfBand(static_cast<size_t>(bands), -1);
    for (size_t i = 0; i < n;) {
        const size_t j = runEnd(i);
        std::vector<size_t> own;
        for (size_t m = i; m < j; ++m) own.push_back(m);
        std::stable_sort(own.begin(), own.end(), [&](size_t a, size_t b) { return r.band[a] < r.band[b]; });
        int prev = -1;
        for (size_t m : own) {
            const int b = r.band[m];
            const bool joins = prev >= 0 && b < firstFigures && cellsOn[static_cast<size_t>(b)].size() == 1;
            r[m].sub = joins ? prev : b;
            prev = r[m].sub;
            subOfBand[static_cast<size_t>(prev)] = 0;
        }
        i = j;
    }
    // Base lines left without a line of their own take no sheet row.
    int subs = 0;
    for (int& v : subOfBand)
        if (v == 0) v = subs++;
    for (size_t i = 0; i < n; ++i) r[i].sub = subOfBand[static_cast<size_t>(r[i].sub)];
    return subs;
}

void planRuledRows(GridPlan& plan, const TableRecord& table) {
    const int B = plan.slots;
    auto& lines = plan.lines;
    const size_t n = lines.size();
    if (n == 0) return;
    const int cellCount = static_cast<int>(table.cells.size());
    plan.subRows.assign(static_cast<size_t>(std::max((cellCount + B - 1) / B, lines.back().cell / B + 1)), 1);
    for (size_t i = 0; i < n;) {
        const int row = lines[i].cell / B;
        size_t j = i;
        while (j < n && lines[j].cell / B == row) ++j;
        RuledRow r(lines.data() + i, lines.data() + j, B);
        int subs = spanHeaders(r, table);
        if (subs == 1) subs = splitRows(r, table);
        plan.subRows[static_cast<size_t>(row)] = subs;
        // Lines of a group header may have joined another cell: the row's
        // lines in cell order again.
        const auto from = lines.begin() + static_cast<long>(i), to = lines.begin() + static_cast<long>(j);
        if (!std::is_sorted(from, to, [](const PlacedLine& a, const PlacedLine& b) { return a.cell < b.cell; }))
            std::stable_sort(from, to, [](const PlacedLine& a, const PlacedLine& b) {
                return a.cell != b.cell ? a.cell < b.cell : a.line->base < b.line->base;
            });
        for (size_t m = i; m < j; ++m)
            for (int t = lines[m].spanLo; t <= lines[m].spanHi; ++t)
                if (t != lines[m].cell % B) plan.covered.insert({row * B + t, lines[m].sub});
        i = j;
    }
    plan.rowStart.assign(plan.subRows.size() + 1, 0);
    for (size_t r = 0; r < plan.subRows.size(); ++r) plan.rowStart[r + 1] = plan.rowStart[r] + plan.subRows[r];
}

}  // namespace tbx
