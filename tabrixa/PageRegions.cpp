#include "tabrixa/PageRegions.h"

#include <algorithm>
#include <cmath>

#include "tabrixa/PageTables.h"
#include "tabrixa/TextBlock.h"
#include "tabrixa/TextHelpers.h"
#include "tabrixa/TextLine.h"

namespace tbx {

namespace {

// The overlap ratio passes the limit (strictly, or at least when
// `inclusive`); a point interval passes when it lies inside the other.
bool overlapsX(double a0, double a1, double b0, double b1, bool inclusive) {
    // Intervals apart never pass; settling them here keeps the row tests,
    // which meet every block for every line of a row, cheap.
    if (a0 <= a1 && b0 <= b1 && (a1 < b0 || b1 < a0)) return false;
    const double r = overlapRatio(a0, a1, b0, b1);
    return inclusive ? r >= 0.01 : r > 0.01;
}

int truncMark(double distance) {
    const double v = distance + 0.45;
    if (!(v < 1.0e6)) return 1000000;  // far apart (or NaN): never a row mark of 2..99
    return static_cast<int>(v);
}

bool tableLine(const TextLine* l) { return l->cellCode >= cellCodeBase; }

}  // namespace

// The blocks of a region by left edge, so that a line meets only the blocks
// it may overlap instead of every block: the row tests ask this for every
// line of a row, and a page of dots has long rows and many blocks. Blocks
// without an ordered extent are always offered, and so is every block to a
// line without one. Kept with the region and sorted again only when a
// block's extent has changed since.
class RegionSpans {
public:
    void update(const PageRegion& region) {
        const size_t n = region.blocks.size();
        bool same = seen_.size() == n;
        for (size_t k = 0; same && k < n; ++k)
            same = seen_[k].first == region.blocks[k]->xMin && seen_[k].second == region.blocks[k]->xMax;
        if (same) return;
        seen_.clear();
        byLeft_.clear();
        always_.clear();
        for (size_t k = 0; k < n; ++k) {
            const RegionBlock& b = *region.blocks[k];
            seen_.emplace_back(b.xMin, b.xMax);
            (b.xMin <= b.xMax ? byLeft_ : always_).push_back(static_cast<int>(k));
        }
        std::stable_sort(byLeft_.begin(), byLeft_.end(), [&](int a, int b) { return left(a) < left(b); });
        reach_.resize(byLeft_.size());
        for (size_t q = 0; q < byLeft_.size(); ++q)
            reach_[q] = q ? std::max(reach_[q - 1], right(byLeft_[q])) : right(byLeft_[q]);
    }
    // Calls f(k) for every block k that may overlap [x0, x1], in no set order.
    template <class F>
    void visit(double x0, double x1, F&& f) const {
        if (!(x0 <= x1)) {
            for (size_t k = 0; k < seen_.size(); ++k) f(static_cast<int>(k));
            return;
        }
        for (int k : always_) f(k);
        size_t q = static_cast<size_t>(std::upper_bound(byLeft_.begin(), byLeft_.end(), x1,
                                                        [&](double v, int k) { return v < left(k); }) -
                                       byLeft_.begin());
        // Blocks left of q start at or before x1; going left, once none reaches x0 none can meet.
        while (q-- > 0 && !(reach_[q] < x0))
            if (!(right(byLeft_[q]) < x0)) f(byLeft_[q]);
    }

private:
    double left(int k) const { return seen_[static_cast<size_t>(k)].first; }
    double right(int k) const { return seen_[static_cast<size_t>(k)].second; }
    std::vector<std::pair<double, double>> seen_;  // each block's extent when last sorted
    std::vector<int> byLeft_, always_;
    std::vector<double> reach_;  // greatest right edge of byLeft_[0..q]
};



double layoutSize(const TextLine* line) { return line->words ? line->meanFontSize() : 7.0; }

// ---------------------------------------------------------------- RegionBlock

RegionBlock::RegionBlock(TextLine* line)
    : xMin(line->xMin), xMax(line->xMax), baseMin(line->base), baseMax(line->base), yMin(line->yMin),
      yMax(line->yMax), colGroup(line->colGroup), rot(line->rot), blk(line->blk) {
    markedLines = (line->blockIndex >= 3 && line->blockIndex <= 99) ? 1 : 0;
    line->blockIndex = 0;
    lines.push_back(line);
}

RegionBlock::RegionBlock(double x0, double x1, double y0, double y1)
    : xMin(x0), xMax(x1), baseMin(y0), baseMax(0), yMin(y0), yMax(y1) {}

RegionBlock::~RegionBlock() = default;

void RegionBlock::addLine(TextLine* line, const PageTables* tables) {
    if (line->blockIndex >= 2 && line->blockIndex <= 99) ++markedLines;
    line->blockIndex = 0;
    lines.push_back(line);
    const TableCell* cell = nullptr;
    if (tableLine(line)) {
        const int t = line->cellCode / cellCodeBase;
        cell = tables ? tables->cell(t, line->cellCode - t * cellCodeBase) : nullptr;
        line->cellCode = -line->cellCode;
    }
    if (cell) {
        // A ruled column is as wide as its cells, also where a line runs
        // past its rule (a title across a rule that stops short of it): the
        // page's columns take their edges from the rules.
        yMin = std::min(yMin, line->yMin);
        yMax = std::max(yMax, line->yMax);
        growBox(*this, *cell);
    } else {
        growBox(*this, *line);
    }
    baseMin = std::min(baseMin, line->base);
    baseMax = std::max(baseMax, line->base);
    blk = line->blk;
    if (colGroup == 0) colGroup = line->colGroup;
}

void RegionBlock::widenBy(const PageRegion& r) {
    growBox(*this, r);
    if (!r.blocks.empty()) {
        baseMin = std::min(baseMin, r.baseMin);
        baseMax = std::max(baseMax, r.baseMax);
    }
}

void RegionBlock::closeNested(bool dissolve) {
    if (!nested) return;
    std::unique_ptr<PageRegion> n = std::move(nested);
    const bool keep = !dissolve && (n->borderWeight != 0 || (n->maxLineCount() >= 2 && n->blockCount() >= 2));
    if (keep) {
        widenBy(*n);
        subRegions.push_back(std::move(n));
        return;
    }
    for (auto& b : n->blocks) {
        for (TextLine* l : b->lines) addLine(l);
        b->lines.clear();
    }
    std::stable_sort(lines.begin(), lines.end(), [](const TextLine* a, const TextLine* b) {
        if (a->base != b->base) return a->base < b->base;
        return a->xMin < b->xMin;
    });
}

// ---------------------------------------------------------------- PageRegion

PageRegion::PageRegion() = default;
PageRegion::PageRegion(int regionId) : id(regionId) {}
PageRegion::~PageRegion() = default;

const RegionSpans& PageRegion::spansOfBlocks() const {
    if (!spans) spans = std::make_unique<RegionSpans>();
    spans->update(*this);
    return *spans;
}

void PageRegion::widenBy(const RegionBlock& b) {
    growBox(*this, b);
    baseMin = std::min(baseMin, b.baseMin);
    baseMax = std::max(baseMax, b.baseMax);
    maxLines = std::max(maxLines, b.lineCount());
}

void PageRegion::recomputeExtent() {
    if (blocks.empty()) return;
    const RegionBlock& f = *blocks.front();
    xMin = f.xMin;
    xMax = f.xMax;
    yMin = f.yMin;
    yMax = f.yMax;
    baseMin = f.baseMin;
    baseMax = f.baseMax;
    for (const auto& b : blocks) widenBy(*b);
}

void PageRegion::addBlock(std::unique_ptr<RegionBlock> block) {
    if (blocks.empty() && borderWeight == 0) {
        rot = block->rot;
        baseMin = block->baseMin;
        baseMax = block->baseMax;
        yMin = block->yMin;
        yMax = block->yMax;
        xMin = block->xMin;
        xMax = block->xMax;
        maxLines = block->lineCount();
    } else {
        growBox(*this, *block);
        if (blocks.empty()) {
            baseMin = block->baseMin;
            baseMax = block->baseMax;
        } else {
            baseMin = std::min(baseMin, block->baseMin);
            baseMax = std::max(baseMax, block->baseMax);
        }
        maxLines = std::max(maxLines, block->lineCount());
    }
    blocks.push_back(std::move(block));
}

static int compareRegionBlocks(const RegionBlock* a, const RegionBlock* b) {
    double d;
    switch (a->rot) {
        case 0: d = a->xMin - b->xMin; break;
        case 1: d = a->yMin - b->yMin; break;
        case 2: d = b->xMax - a->xMax; break;
        case 3: d = b->yMax - a->yMax; break;
        default: return 0;
    }
    return d < -1.1 ? -1 : (d > 1.1 ? 1 : 0);
}

void PageRegion::finish() {
    if (blocks.empty()) return;
    std::vector<RegionBlock*> order;
    for (auto& b : blocks) order.push_back(b.release());
    sortWith(order, compareRegionBlocks);
    for (size_t i = 0; i < order.size(); ++i) blocks[i].reset(order[i]);
    for (const auto& b : blocks) widenBy(*b);
}

int PageRegion::maxLineCount() {
    for (const auto& b : blocks) maxLines = std::max(maxLines, b->lineCount());
    return maxLines;
}

bool PageRegion::blockTakesLine(const TextLine* line, int k) {
    const RegionBlock& b = *blocks[static_cast<size_t>(k)];
    // A block clearly apart from the line (both of some width) passes none of
    // the tests below; settled here, since every line meets every block.
    const double lw = line->xMax - line->xMin, bw = b.xMax - b.xMin;
    if (lw > 0 && bw > 0) {
        const double gap = std::max(b.xMin - line->xMax, line->xMin - b.xMax);
        if (gap > 0.04 * std::max(lw, bw)) return false;
    }
    const double ox = overlapRatio(line->xMin, line->xMax, b.xMin, b.xMax);
    const double oy = overlapRatio(line->yMin, line->yMax, yMin, yMax);
    const bool column = b.colGroup == 0 || b.colGroup == line->colGroup || b.nested != nullptr;
    if (ox > 0.45) return true;
    if (ox > 0.01 && oy > 0.98) return column;
    if (overlapRatioMin(line->xMin, line->xMax, b.xMin, b.xMax) > -0.03 && oy > 0.98 && maxLineCount() == 1 &&
        k == blockCount() - 1)
        return column;
    if (ox > 0.25 && oy > 0.25) return column;
    return false;
}

bool PageRegion::overlapsBlocksX(double x0, double x1) const {
    for (const auto& b : blocks)
        if (overlapsX(x0, x1, b->xMin, b->xMax, false)) return true;
    return false;
}

bool PageRegion::touchesBlocksX(double x0, double x1) const {
    for (const auto& b : blocks)
        if (overlapsX(x0, x1, b->xMin, b->xMax, true)) return true;
    return false;
}

void PageRegion::clear() { blocks.clear(); }

// ---------------------------------------------------------------- PageRegions

PageRegions::~PageRegions() = default;

void PageRegions::clear() {
    regions.clear();
    lines.clear();
    rowEnds.clear();
}

int PageRegions::rowEnd(int i) const {
    // The lines do not move while the regions are built: each row end is found once.
    const bool memo = rowEnds.size() == lines.size();
    if (memo && rowEnds[static_cast<size_t>(i)] >= 0) return rowEnds[static_cast<size_t>(i)];
    const int end = findRowEnd(i);
    if (memo) rowEnds[static_cast<size_t>(i)] = end;
    return end;
}

int PageRegions::findRowEnd(int i) const {
    const int n = static_cast<int>(lines.size());
    const TextLine* r = lines[static_cast<size_t>(i)];
    int j = i;
    for (; j < n; ++j) {
        const TextLine* l = lines[static_cast<size_t>(j)];
        const double tol = l->words ? 0.7 * l->meanFontSize() : 7.0;
        const bool sameRow = std::fabs(l->base - r->base) <= tol ||
                             overlapRatio(l->yMin, l->yMax, r->yMin, r->yMax) >= 0.4;
        if (!sameRow || !(r->xMin <= l->xMin + 0.5)) break;
    }
    return std::max(j, i + 1);
}

bool PageRegions::rowCrossesBlocks(const PageRegion& region, int i) {
    TextLine* r = lines[static_cast<size_t>(i)];
    const int end = rowEnd(i);
    const RegionSpans& spans = region.spansOfBlocks();
    for (int j = i; j < end; ++j) {
        TextLine* l = lines[static_cast<size_t>(j)];
        const int mark = truncMark(std::fabs(l->base - r->base));
        l->blockIndex = std::max(l->blockIndex, mark);
        r->blockIndex = std::max(r->blockIndex, mark);
        int hits = 0;
        spans.visit(l->xMin, l->xMax, [&](int k) {
            ++blockLooks;
            const RegionBlock& b = *region.blocks[static_cast<size_t>(k)];
            if (overlapsX(l->xMin, l->xMax, b.xMin, b.xMax, false)) ++hits;
        });
        if (hits >= 2) return true;
    }
    return false;
}

namespace {
// The lines of a row counted against one block: 0 while fewer than two
// touch it; then 1, or 2 when the first two belong to different column groups.
struct SplitCount {
    int counted = 0;
    int group = 0;
    int result = 0;
    void add(const TextLine* l) {
        if (++counted == 1)
            group = l->colGroup;
        else if (counted == 2)
            result = (l->colGroup != 0 && group != 0 && l->colGroup != group) ? 2 : 1;
    }
};
}  // namespace

int PageRegions::rowSplitsBlocks(const PageRegion& region, int i) const {
    const int end = rowEnd(i);
    const RegionSpans& spans = region.spansOfBlocks();
    std::vector<SplitCount> counts(static_cast<size_t>(region.blockCount()));
    for (int j = i; j < end; ++j) {
        const TextLine* l = lines[static_cast<size_t>(j)];
        spans.visit(l->xMin, l->xMax, [&](int k) {
            ++blockLooks;
            const RegionBlock& b = *region.blocks[static_cast<size_t>(k)];
            if (overlapsX(l->xMin, l->xMax, b.xMin, b.xMax, true)) counts[static_cast<size_t>(k)].add(l);
        });
    }
    // The first block, in the region's order, that two lines of the row touch.
    for (const SplitCount& c : counts)
        if (c.result) return c.result;
    return 0;
}

int PageRegions::rowSplitsRegionBlock(const RegionBlock& block, int i) const {
    SplitCount c;
    const int end = rowEnd(i);
    for (int j = i; j < end && !c.result; ++j) {
        const TextLine* l = lines[static_cast<size_t>(j)];
        if (overlapsX(l->xMin, l->xMax, block.xMin, block.xMax, true)) c.add(l);
    }
    return c.result;
}

bool PageRegions::lineLeavesRegion(const PageRegion& region, int i) const {
    const TextLine* L = lines[static_cast<size_t>(i)];
    const double sL = layoutSize(L);
    if (overlapRatio(L->yMin, L->yMax, region.yMin, region.yMax) > 0.45) return false;
    double ref = sL;
    if (i > 0) {
        const TextLine* prev = lines[static_cast<size_t>(i - 1)];
        ref = layoutSize(prev);
        if (std::fabs(prev->base - L->base) < (L->words ? 0.4 * sL : 4.0)) return false;
    }
    const int b = region.blockCount();
    if (b == 0) return false;
    int n = 0;
    const int total = static_cast<int>(lines.size());
    for (int j = i; j < total; ++j) {
        const TextLine* l = lines[static_cast<size_t>(j)];
        const double s = layoutSize(l);
        if (b > 2) {
            for (int k = 0; k < b; ++k) {
                const RegionBlock& B = *region.blocks[static_cast<size_t>(k)];
                if (k > 0 && (std::fabs(B.xMin - l->xMin) < 0.1 || std::fabs(B.xMax - l->xMax) < 0.1) &&
                    l->yMin - region.yMax < 8 * s)
                    return false;
                if (B.xMin <= l->xMin + 0.1 && l->xMax <= B.xMax + 0.1) {
                    for (const TextLine* bl : B.lines)
                        if (std::fabs(bl->xMin - l->xMin) < 0.1 || std::fabs(bl->xMax - l->xMax) < 0.1)
                            return false;
                }
            }
        }
        const double tol = l->words ? 0.95 * s : 7.0;
        const bool yOverlap = overlapRatio(l->yMin, l->yMax, L->yMin, L->yMax) >= 0.05;
        if (std::fabs(l->base - L->base) > tol || !yOverlap) break;
        ++n;
    }
    if (n > 0) {
        const double nb = static_cast<double>(n) / b;
        const double bn = static_cast<double>(b) / n;
        if ((nb < 0.5 || bn < 0.5) && region.maxLines >= 6 && b > 3) return true;
    }
    const double sizeRatio = ref / sL;
    if (sizeRatio < 0.5 || sizeRatio > 2.0) return true;
    if (region.maxLines > 2 && L->yMax - 0.1 > region.yMax &&
        overlapRatio(region.xMin, region.xMax, L->xMin, L->xMax) < 0.0)
        return true;
    if (L->yMin - region.yMax > 4 * sL) return true;
    if (n < 3) return false;
    return rowSplitsBlocks(region, i) != 0;
}

void PageRegions::addRegion(std::unique_ptr<PageRegion> region) {
    for (auto& b : region->blocks) closeNestedOf(*region, *b);
    regions.push_back(std::move(region));
}

void PageRegions::closeNestedOf(PageRegion& current, RegionBlock& b) {
    if (!b.nested) return;
    if (b.nested->blockCount() > 0) {
        b.nested->finish();
        b.nested->id = static_cast<int>(b.subRegions.size());
        b.closeNested(current.blockCount() > 3);
        current.widenBy(b);
    }
    b.nested.reset();
}

void PageRegions::closeCurrent(std::unique_ptr<PageRegion>& current, int& counter) {
    current->finish();
    addRegion(std::move(current));
    ++counter;
    current = std::make_unique<PageRegion>(counter);
}

void PageRegions::build(TextBlock** blocks, int blockCount, const PageTables& tables) {
    clear();
    std::vector<TextBlock*> sideways;
    for (int bi = 0; bi < blockCount; ++bi) {
        TextBlock* blk = blocks[bi];
        if (!blk) continue;
        if (blk->rot == 1 || blk->rot == 3) {
            if (blk->lines) sideways.push_back(blk);
            continue;
        }
        for (TextLine* l = blk->lines; l; l = l->next) lines.push_back(l);
    }
    // Vertical text in its own reading order, whatever the page's main
    // direction: top-to-bottom columns from right to left, bottom-to-top ones
    // from left to right (the page's order when that rotation is its main one).
    sortWith(sideways, [](const TextBlock* a, const TextBlock* b) {
        return a->rot != b->rot ? (a->rot < b->rot ? -1 : 1) : compareBlocksYX(a, b, a->rot);
    });
    if (!sideways.empty()) {
        regions.push_back(std::make_unique<PageRegion>(PageRegion::verticalTextId));
        PageRegion* vertical = regions.back().get();
        for (TextBlock* blk : sideways) {
            auto rb = std::make_unique<RegionBlock>(blk->lines);
            for (TextLine* l = blk->lines->next; l; l = l->next) rb->addLine(l);
            vertical->addBlock(std::move(rb));
        }
    }
    sortWith(lines, compareLinesInOrder);
    rowEnds.assign(lines.size(), -1);

    std::unique_ptr<PageRegion> current;
    int counter = 0;
    if (!lines.empty() && lines.front()->cellCode < cellCodeBase) current = std::make_unique<PageRegion>(0);
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        const TextLine* line = lines[static_cast<size_t>(i)];
        if ((line->len == 1 && std::fabs(line->xMax - line->xMin) < 0.3) || line->cellCode < 0) continue;
        if (tableLine(line) && tables.find(line->cellCode / cellCodeBase))
            handleTableLine(current, counter, i, tables);
        else
            handleTextLine(current, counter, i);
    }
    if (current && current->blockCount() > 0) {
        current->finish();
        addRegion(std::move(current));
    }
    rowEnds.clear();
}

void PageRegions::handleTableLine(std::unique_ptr<PageRegion>& current, int& counter, int i,
                                  const PageTables& tables) {
    const int t = lines[static_cast<size_t>(i)]->cellCode / cellCodeBase;
    const TableRecord& rec = *tables.find(t);
    auto table = std::make_unique<PageRegion>();
    // A table's thickness is at least 0.3 points; the weight marks the region as a table.
    table->borderWeight = std::max(6, static_cast<int>(rec.thickness * 20.0));
    table->tableId = t;
    table->xMin = rec.xMin;
    table->xMax = rec.xMax;
    table->yMin = rec.yMin;
    table->yMax = rec.yMax;
    const int cols = std::min(rec.columnCount(), static_cast<int>(rec.cells.size()));
    for (int c = 0; c < cols; ++c) {
        const TableCell& cell = rec.cells[static_cast<size_t>(c)];
        table->blocks.push_back(std::make_unique<RegionBlock>(cell.xMin, cell.xMax, table->yMin, table->yMax));
    }
    PageRegion* tab = table.get();

    RegionBlock* host = nullptr;
    if (current && current->blockCount() > 0) {
        for (auto& bp : current->blocks) {
            if (bp->xMin <= tab->xMin && tab->xMax <= bp->xMax) {
                host = bp.get();
                break;
            }
        }
    }
    if (host) {
        closeNestedOf(*current, *host);
        tab->parentBlockCount = current->blockCount();
        tab->id = static_cast<int>(host->subRegions.size());
        host->nested = std::move(table);
        host->closeNested(false);
        current->widenBy(*host);
    } else {
        if (current && current->blockCount() > 0) {
            current->finish();
            addRegion(std::move(current));
            ++counter;
        }
        tab->id = counter;
    }

    for (size_t j = static_cast<size_t>(i); j < lines.size(); ++j) {
        TextLine* l = lines[j];
        if (!tableLine(l) || l->cellCode / cellCodeBase != t) continue;
        RegionBlock& b = *tab->blocks[static_cast<size_t>((l->cellCode - t * cellCodeBase) % cols)];
        b.addLine(l, &tables);
        tab->widenBy(b);
    }

    if (host) {
        host->widenBy(*tab);
        current->widenBy(*host);
    } else {
        regions.push_back(std::move(table));
        ++counter;
        current = std::make_unique<PageRegion>(counter);
    }
}

void PageRegions::handleTextLine(std::unique_ptr<PageRegion>& current, int& counter, int i) {
    TextLine* line = lines[static_cast<size_t>(i)];
    if (!current) current = std::make_unique<PageRegion>(counter);
    const bool crosses = rowCrossesBlocks(*current, i);
    const int splits = rowSplitsBlocks(*current, i);
    if (current->blockCount() > 0 && (crosses || splits == 2 || lineLeavesRegion(*current, i)))
        closeCurrent(current, counter);

    int k = -1;
    for (int b = 0; b < current->blockCount(); ++b) {
        if (current->blockTakesLine(line, b)) {
            k = b;
            break;
        }
    }
    if (k < 0) {
        auto nb = std::make_unique<RegionBlock>(line);
        if (current->touchesBlocksX(nb->xMin, nb->xMax) &&
            overlapRatio(current->yMin, current->yMax, nb->yMin, nb->yMax) < 0.01)
            closeCurrent(current, counter);
        current->addBlock(std::move(nb));
        return;
    }

    RegionBlock& B = *current->blocks[static_cast<size_t>(k)];
    if (B.nested) {
        PageRegion& N = *B.nested;
        const bool nCrosses = rowCrossesBlocks(N, i);
        const int nSplits = rowSplitsBlocks(N, i);
        const double dist = std::fabs(N.yMax - line->base);
        const bool close = N.blockCount() == 0 || nCrosses || nSplits != 0 ||
                           (dist > 10.0 && !N.overlapsBlocksX(line->xMin, line->xMax)) || dist > 40.0;
        if (close) {
            closeNestedOf(*current, B);
        } else {
            int m = -1;
            for (int b = 0; b < N.blockCount(); ++b) {
                if (N.blockTakesLine(line, b)) {
                    m = b;
                    break;
                }
            }
            if (m >= 0) {
                RegionBlock& nb = *N.blocks[static_cast<size_t>(m)];
                nb.addLine(line);
                N.widenBy(nb);
            } else {
                N.addBlock(std::make_unique<RegionBlock>(line));
                N.recomputeExtent();
            }
            B.widenBy(N);
            current->widenBy(B);
            return;
        }
    }

    if (rowSplitsRegionBlock(B, i) == 0) {
        B.addLine(line);
        current->widenBy(B);
        return;
    }
    auto n = std::make_unique<PageRegion>();
    n->parentBlockCount = current->blockCount();
    n->addBlock(std::make_unique<RegionBlock>(line));
    B.nested = std::move(n);
    B.widenBy(*B.nested);
    current->widenBy(B);
}

}  // namespace tbx
