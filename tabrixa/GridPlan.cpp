#include "tabrixa/GridPlan.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <memory>

#include "tabrixa/PageRegions.h"
#include "tabrixa/PageTables.h"
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

struct Span {
    double lo, hi;
};

// The rule runs over most of the cell's width.
bool runsOver(const TablePartialRule& pr, const TableCell& c) {
    return std::min(c.xMax, pr.xMax) - std::max(c.xMin, pr.xMin) >= 0.5 * (c.xMax - c.xMin);
}

// The ruled row of a table line, from its cell code (B cells a row).
int ruledRowOf(const TextLine* l, int B) { return (std::abs(l->cellCode) % cellCodeBase) / B; }

// A list bullet standing alone: it goes with the item beside it.
bool bulletLine(const TextLine* l) { return l->words && !l->words->next && l->words->bullet && l->len <= 2; }

// Where a ruled column splits, and where the page rows it splits start.
struct ColumnSplit {
    std::vector<double> at;           // ascending
    int row = 0;                      // the ruled row of the first row split
    const TextLine* first = nullptr;  // a line of that row
    // The line stands above the rows split (a header line).
    bool above(int ruled, const TextLine* l) const {
        return ruled < row || (ruled == row && first && l->base < first->base && compareLines(l, first) != 0);
    }
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
        if (bulletLine(l)) continue;
        ls.push_back({l, ruledRowOf(l, B)});
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
    // A column of one line a row (the common case) has nothing to split.
    if (std::none_of(rows.begin(), rows.end(), [](const std::vector<Span>& r) { return r.size() > 1; })) return out;
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
    // the lines of three rows or more (two may be wrapped text). Above it in
    // its ruled row a line alone on its base line may cross them (a header
    // over the pieces); rows of several lines leave them too. Rows of the
    // ruled rows above are the table's header.
    std::vector<Span> gaps;
    size_t f = 0;
    for (; f < n; ++f) {
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
    out.first = heads[f];
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
        sortWith(ls, [&](const TextLine* a, const TextLine* b) {
            const int ra = ruledRowOf(a, B), rb = ruledRowOf(b, B);
            if (ra != rb) return ra < rb ? -1 : 1;
            const int c = compareLines(a, b);
            return c != 0 ? c : signOf(a->xMin - b->xMin);
        });
        int piece = 0;
        for (size_t i = 0; i < ls.size(); ++i) {
            TextLine* l = ls[i];
            const int row = ruledRowOf(l, B);
            const TextLine* prev = i > 0 ? ls[i - 1] : nullptr;
            const bool phrase = prev && ruledRowOf(prev, B) == row && split.above(row, l) &&
                                compareLines(prev, l) == 0 && l->xMin - prev->xMax < phraseGapEms * l->sizeOrDefault();
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
            bandBase.push_back(l->base);
        }
        band[i] = bands - 1;
    }
}

std::vector<RowCut> spanHeaders(RuledRow& r, const TableRecord& table) {
    const size_t n = r.size();
    const int B = r.slots;
    std::vector<RowCut> cuts;
    // The highest and lowest base line of each cell of the row (-1: none),
    // counting the lines that do not span.
    std::vector<int> topBand, lowBand;
    auto bandsOfCells = [&] {
        topBand.assign(static_cast<size_t>(B), -1);
        lowBand.assign(static_cast<size_t>(B), -1);
        for (size_t i = 0; i < n; ++i) {
            if (r[i].spanLo != r[i].spanHi) continue;
            const size_t slot = static_cast<size_t>(r.slotOf(i));
            const int b = r.band[i];
            topBand[slot] = topBand[slot] < 0 ? b : std::min(topBand[slot], b);
            lowBand[slot] = std::max(lowBand[slot], b);
        }
    };
    // A group header beside an edge whose rule starts below it: that rule
    // runs beside some line of cell t below band b, and a rule under the
    // header runs over most of both cells, above those lines.
    auto headsCell = [&](const TextLine* l, int slot, double edge, int t, int b) {
        const TableCell* own = table.cell(r.row * B + slot);
        const TableCell* next = table.cell(r.row * B + t);
        double top = std::numeric_limits<double>::infinity();
        bool ruled = false;
        for (size_t m = 0; m < n; ++m)
            if (r.slotOf(m) == t && r.band[m] > b) {
                top = std::min(top, r[m].line->yMin);
                ruled = ruled || table.ruledAt(edge, r[m].line->yMin, r[m].line->yMax);
            }
        if (!ruled || !own || !next) return false;
        for (const TablePartialRule& pr : table.partialRules)
            if (pr.y > l->yMax - 1.0 && pr.y < top + 1.0 && runsOver(pr, *own) && runsOver(pr, *next)) return true;
        return false;
    };
    bool spanSplit = false;
    auto spanPass = [&] {
        bandsOfCells();
        for (size_t i = 0; i < n; ++i) {
            if (r[i].spanLo != r[i].spanHi) continue;
            const TextLine* l = r[i].line;
            const int slot = r.slotOf(i);
            const int b = r.band[i];
            for (int dir = -1; dir <= 1; dir += 2) {
                for (int t = slot + dir; t >= 0 && t < B; t += dir) {
                    const TableCell* box = table.cell(r.row * B + t);
                    if (!box) break;
                    if (topBand[static_cast<size_t>(t)] >= 0 && topBand[static_cast<size_t>(t)] <= b) break;
                    // Well into the cell, across an edge whose rule stops short
                    // of the line, or beside an edge whose rule starts below it,
                    // over lines of the cell (the rulings are looked at only when needed).
                    const double reach = dir > 0 ? l->xMax - box->xMin : box->xMax - l->xMin;
                    const double edge = dir > 0 ? box->xMin : box->xMax;
                    const bool well = reach > 2.0 && reach > 0.25 * (l->xMax - l->xMin);
                    const bool open = !table.verticals.empty() && !table.ruledAt(edge, l->yMin, l->yMax);
                    if (!well && !(reach > 0.5 && open) &&
                        !(open && lowBand[static_cast<size_t>(t)] > b && headsCell(l, slot, edge, t, b)))
                        break;
                    spanSplit |= lowBand[static_cast<size_t>(t)] > b;
                    (dir > 0 ? r[i].spanHi : r[i].spanLo) = t;
                }
            }
        }
    };
    // A group header over several lines: a line on the next base line
    // below a spanning line, across an edge inside its span and mostly
    // under it, joins the header's cell and span.
    auto joinSecondLines = [&] {
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
                    moved = r.joined = true;
                }
            }
        }
    };
    // Twice: a header over other headers (spanning them) does not keep
    // them from spanning the cells beneath them; the second lines of the
    // headers found first join them before.
    spanPass();
    if (spanSplit) joinSecondLines();
    spanPass();
    if (!spanSplit) return cuts;
    joinSecondLines();
    // Each group header parts its cells below its last line from what
    // stands under it. The cells it covers hold nothing above that but other
    // group headers.
    for (size_t h = 0; h < n; ++h) {
        const int lo = r[h].spanLo, hi = r[h].spanHi;
        if (lo == hi) continue;
        int below = -1;
        for (size_t m = 0; m < n; ++m)
            if (r[m].cell == r[h].cell && r[m].spanLo == lo && r[m].spanHi == hi) below = std::max(below, r.band[m]);
        bool clash = false, under = false;
        for (size_t m = 0; m < n; ++m) {
            const int slot = r.slotOf(m);
            // Headers over the header (spanning too) stand above it.
            if (slot < lo || slot > hi || r[m].cell == r[h].cell || r[m].spanLo != r[m].spanHi) continue;
            clash = clash || r.band[m] <= below;
            under = under || r.band[m] > below;
        }
        if (clash) {
            // Then no line of the row spans: the cells keep their own.
            for (size_t m = 0; m < n; ++m) r[m].spanLo = r[m].spanHi = r.slotOf(m);
            cuts.clear();
            return cuts;
        }
        if (under) cuts.push_back({below, lo, hi});
    }
    return cuts;
}

std::vector<RowCut> ruleCuts(const RuledRow& r, const TableRecord& table) {
    std::vector<RowCut> cuts;
    const int B = r.slots;
    const TableCell* first = table.cell(r.row * B);
    if (!first || r.bands < 2) return cuts;
    for (const TablePartialRule& pr : table.partialRules) {
        if (!(pr.y > first->yMin + 1.0 && pr.y < first->yMax - 1.0)) continue;
        // Below the last base line above the rule.
        int b = -1;
        while (b + 1 < r.bands && r.bandBase[static_cast<size_t>(b) + 1] < pr.y) ++b;
        if (b < 0 || b + 1 >= r.bands) continue;
        // The cells the rule runs under, most of their width.
        int lo = B, hi = -1;
        for (int t = 0; t < B; ++t) {
            const TableCell* c = table.cell(r.row * B + t);
            if (c && runsOver(pr, *c)) {
                lo = std::min(lo, t);
                hi = std::max(hi, t);
            }
        }
        if (lo <= hi) cuts.push_back({b, lo, hi});
    }
    return cuts;
}

namespace {

// What a cell shows on one base line of a ruled row, for the wrap test.
struct Piece {
    double xMin = 1, xMax = 0, word = 0, size = 0;  // empty until a line is added
    bool figure = true;
    bool empty() const { return !(xMin <= xMax); }
};

// The lines of the ruled row on the base lines `keep` takes, by cell, each
// cell's in base-line order (indices into the row).
template <class Keep>
std::map<int, std::vector<size_t>> linesByCell(const RuledRow& r, Keep&& keep) {
    std::map<int, std::vector<size_t>> byCell;
    for (size_t i = 0; i < r.size(); ++i)
        if (keep(r.band[i])) byCell[r[i].cell].push_back(i);
    for (auto& entry : byCell)
        std::stable_sort(entry.second.begin(), entry.second.end(),
                         [&](size_t x, size_t y) { return r.band[x] < r.band[y]; });
    return byCell;
}

// A label wrapped over the base lines of several records (a table whose
// label cell stands beside a Count and a Percentage line): each next line
// starts in lower case and `wraps(cell, base line above, base line)` holds.
// Its lines are one text on the first record's sheet row, merged over the
// records down to its last line, rather than a piece beside each.
template <class Wraps>
void wrappedOverRecords(RuledRow& r, int firstBody, const std::vector<int>& rowOf, Wraps&& wraps) {
    auto startsLower = [](const TextLine* l) {
        return l->words && !l->words->text.empty() && isLowerCaseLetter(l->words->text[0]);
    };
    for (auto& [cell, idx] : linesByCell(r, [&](int band) { return band >= firstBody; })) {
        for (size_t k = 0; k < idx.size();) {
            // Lines sharing a base line go together; a chain grows by whole base lines.
            size_t e = k + 1;
            while (e < idx.size() && r.band[idx[e]] == r.band[idx[k]]) ++e;
            size_t end = e;  // past the chain's last line
            int last = r.band[idx[k]];
            while (end < idx.size()) {
                const int b = r.band[idx[end]];
                size_t next = end;
                while (next < idx.size() && r.band[idx[next]] == b) ++next;
                if (rowOf[static_cast<size_t>(b)] != rowOf[static_cast<size_t>(last)] &&
                    (!startsLower(r[idx[end]].line) || !wraps(cell, last, b)))
                    break;
                last = b;
                end = next;
            }
            const int first = rowOf[static_cast<size_t>(r.band[idx[k]])], lastRow = rowOf[static_cast<size_t>(last)];
            if (lastRow > first)
                for (size_t m = k; m < end; ++m) {
                    r[idx[m]].sub = first;
                    r[idx[m]].rows = lastRow - first + 1;
                }
            k = end;
        }
    }
}

}  // namespace

int splitRows(RuledRow& r, const TableRecord& table, const std::vector<RowCut>& cuts, bool tableFigures) {
    const size_t n = r.size();
    const int bands = r.bands;
    if (bands < 2 || (n < 3 && cuts.empty())) return 1;
    // The cells on each base line (by slot: the cells of one ruled row),
    // and each cell's piece there.
    const int B = r.slots;
    std::vector<std::vector<int>> cellsOn(static_cast<size_t>(bands));
    std::vector<Piece> pieces(static_cast<size_t>(B) * static_cast<size_t>(bands));
    auto piece = [&](int c, int b) -> Piece& {
        return pieces[static_cast<size_t>(b) * static_cast<size_t>(B) + static_cast<size_t>(c % B)];
    };
    for (size_t i = 0; i < n; ++i) {
        const int b = r.band[i];
        auto& cs = cellsOn[static_cast<size_t>(b)];
        if (std::find(cs.begin(), cs.end(), r[i].cell) == cs.end()) cs.push_back(r[i].cell);
        Piece& p = piece(r[i].cell, b);
        const TextLine* l = r[i].line;
        if (p.empty() || l->xMin < p.xMin) p.word = l->words ? l->words->xMax - l->words->xMin : 0.0;
        p.xMin = p.empty() ? l->xMin : std::min(p.xMin, l->xMin);
        p.xMax = std::max(p.xMax, l->xMax);
        p.size = std::max(p.size, l->sizeOrDefault());
        p.figure = p.figure && l->isFigure();
    }
    // The body starts where a cell stacks figures on one base line after
    // another; above it stands the header. In a table without figures and
    // a row without cuts (a group header, a rule under a header) every base
    // line that shows cells side by side starts a record; otherwise, with no
    // figures stacked, the row is a header.
    int firstBody = bands;
    std::vector<int> lastBand(static_cast<size_t>(B), -1);  // each cell's last base line so far
    for (int b = 0; b < bands; ++b)
        for (int c : cellsOn[static_cast<size_t>(b)]) {
            int& last = lastBand[static_cast<size_t>(c % B)];
            if (last >= 0 && piece(c, last).figure && piece(c, b).figure) firstBody = std::min(firstBody, last);
            last = b;
        }
    int partnered = 0;
    for (const auto& cs : cellsOn) partnered += cs.size() >= 2 ? 1 : 0;
    if (firstBody == bands && !tableFigures && partnered >= 2 && cuts.empty()) firstBody = 0;
    auto cutBelow = [&](int b) {
        for (const RowCut& c : cuts)
            if (c.band == b) return true;
        return false;
    };
    // The widest piece of each cell: a line no wider than it would have fitted.
    std::vector<double> widest(static_cast<size_t>(B), 0.0);
    for (size_t k = 0; k < pieces.size(); ++k)
        if (!pieces[k].empty())
            widest[k % static_cast<size_t>(B)] =
                std::max(widest[k % static_cast<size_t>(B)], pieces[k].xMax - pieces[k].xMin);
    // The piece on base line b continues the cell's piece above it: wrapped
    // text, whose next word would not have fitted after the line above, by
    // the cell's widest line (1) and also by most of the cell's width (2).
    auto continues = [&](int c, const Piece& above, const Piece& p) {
        if (above.figure || p.figure || !(p.xMin < above.xMax && above.xMin < p.xMax)) return 0;
        const TableCell* box = table.cell(c);
        const double need = (above.xMax - above.xMin) + wordSpaceEms * p.size + p.word;
        if (!box || !(need > widest[static_cast<size_t>(c % B)])) return 0;
        const double pad = std::clamp(above.xMin - box->xMin, 0.0, 6.0);
        return need > 0.75 * ((box->xMax - box->xMin) - 2.0 * pad) ? 2 : 1;
    };
    std::vector<int> rowOf(static_cast<size_t>(bands), 0);
    int rows = 0;
    for (int b = 0; b < std::min(firstBody, bands); ++b) {
        if (b > 0 && cutBelow(b - 1)) ++rows;
        rowOf[static_cast<size_t>(b)] = rows;
    }
    const int headerRows = firstBody > 0 ? rows + 1 : 0;
    // Each cell's lowest piece in the row being built (its base line, -1:
    // none yet), and how many cells the row holds.
    std::vector<int> inRow(static_cast<size_t>(B), -1);
    std::vector<int> rowCells;
    for (int b = firstBody; b < bands; ++b) {
        const auto& cs = cellsOn[static_cast<size_t>(b)];
        bool join = b > firstBody && !cutBelow(b - 1);
        if (join) {
            // A cell without a piece in the row joins only a label waiting
            // for its figures (one cell so far); the others continue theirs,
            // one of them filling its cell (a column whose text is narrower
            // than its cell may wrap early beside it).
            bool filled = false;
            for (int c : cs) {
                const int above = inRow[static_cast<size_t>(c % B)];
                const int wraps = above < 0 ? 0 : continues(c, piece(c, above), piece(c, b));
                if (above < 0)
                    join = join && rowCells.size() == 1;
                else if (wraps == 0)
                    join = false;
                filled = filled || wraps == 2;
            }
            join = join && filled;
        }
        if (!join) {
            if (b > 0) ++rows;
            for (int c : rowCells) inRow[static_cast<size_t>(c % B)] = -1;
            rowCells.clear();
        }
        for (int c : cs) {
            int& at = inRow[static_cast<size_t>(c % B)];
            if (at < 0) rowCells.push_back(c);
            at = b;
        }
        rowOf[static_cast<size_t>(b)] = rows;
    }
    if (rows == 0) return 1;
    for (size_t i = 0; i < n; ++i) r[i].sub = rowOf[static_cast<size_t>(r.band[i])];
    wrappedOverRecords(r, firstBody, rowOf, [&](int c, int above, int b) {
        if (continues(c, piece(c, above), piece(c, b)) == 0) return false;
        for (const RowCut& cut : cuts)
            if (cut.band >= above && cut.band < b && cut.lo <= c % B && c % B <= cut.hi) return false;
        return true;
    });
    // In the header, the lines of a cell between two cuts over it are one
    // text, standing over the header rows between those cuts.
    if (headerRows > 1) {
        for (const auto& entry : linesByCell(r, [&](int band) { return band < firstBody; })) {
            const std::vector<size_t>& idx = entry.second;
            const int slot = r.slotOf(idx.front());
            auto over = [&](const RowCut& c) { return c.lo <= slot && slot <= c.hi; };
            for (size_t k = 0; k < idx.size();) {
                size_t e = k + 1;
                while (e < idx.size() && std::none_of(cuts.begin(), cuts.end(), [&](const RowCut& c) {
                           return over(c) && c.band >= r.band[idx[e - 1]] && c.band < r.band[idx[e]];
                       }))
                    ++e;
                // From the row after the last cut over it above, to the row
                // of the next cut over it below.
                int sub = 0, end = headerRows;
                for (const RowCut& c : cuts)
                    if (over(c) && c.band < r.band[idx[k]]) sub = std::max(sub, rowOf[static_cast<size_t>(c.band) + 1]);
                for (const RowCut& c : cuts)
                    if (over(c) && c.band >= r.band[idx[e - 1]] && c.band + 1 < firstBody)
                        end = std::min(end, rowOf[static_cast<size_t>(c.band) + 1]);
                for (size_t m = k; m < e; ++m) {
                    r[idx[m]].sub = sub;
                    r[idx[m]].rows = end - sub;
                }
                k = e;
            }
        }
    }
    return rows + 1;
}

void planRuledRows(GridPlan& plan, const TableRecord& table) {
    const int B = plan.slots;
    auto& lines = plan.lines;
    const size_t n = lines.size();
    if (n == 0) return;
    const int cellCount = static_cast<int>(table.cells.size());
    plan.subRows.assign(static_cast<size_t>(std::max((cellCount + B - 1) / B, lines.back().cell / B + 1)), 1);
    const bool tableFigures =
        std::any_of(lines.begin(), lines.end(), [](const PlacedLine& p) { return p.line->isFigure(); });
    for (size_t i = 0; i < n;) {
        const int row = lines[i].cell / B;
        size_t j = i;
        while (j < n && lines[j].cell / B == row) ++j;
        RuledRow r(lines.data() + i, lines.data() + j, B);
        std::vector<RowCut> cuts = spanHeaders(r, table);
        const std::vector<RowCut> rules = ruleCuts(r, table);
        cuts.insert(cuts.end(), rules.begin(), rules.end());
        plan.subRows[static_cast<size_t>(row)] = splitRows(r, table, cuts, tableFigures);
        // Lines of a group header may have joined another cell: the row's
        // lines in cell order again.
        const auto from = lines.begin() + static_cast<long>(i), to = lines.begin() + static_cast<long>(j);
        if (r.joined)
            std::stable_sort(from, to, [](const PlacedLine& a, const PlacedLine& b) {
                return a.cell != b.cell ? a.cell < b.cell : a.line->base < b.line->base;
            });
        for (size_t m = i; m < j; ++m) {
            for (int t = lines[m].spanLo; t <= lines[m].spanHi; ++t)
                if (t != lines[m].cell % B) plan.covered.insert({row * B + t, lines[m].sub});
            for (int s = 1; s < lines[m].rows; ++s) plan.covered.insert({lines[m].cell, lines[m].sub + s});
        }
        i = j;
    }
    plan.rowStart.assign(plan.subRows.size() + 1, 0);
    for (size_t r = 0; r < plan.subRows.size(); ++r) plan.rowStart[r + 1] = plan.rowStart[r] + plan.subRows[r];
}

}  // namespace tbx
