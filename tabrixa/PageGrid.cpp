#include "tabrixa/PageGrid.h"

#include <algorithm>
#include <cmath>

#include "tabrixa/PageRegions.h"

namespace tbx {

void PageGrid::clear() {
    bounds.clear();
    nColumns = 0;
    minX_ = 9999.0;
}

void PageGrid::reset(double minX) {
    bounds.clear();
    nColumns = 0;
    minX_ = minX;
}

double PageGrid::boundary(int i) const {
    if (bounds.empty()) return 0.0;
    if (i < 0) return bounds.front();
    if (i >= static_cast<int>(bounds.size())) return bounds.back();
    return bounds[static_cast<size_t>(i)];
}

void PageGrid::build(const PageRegions& regions) {
    clear();
    size_t reserve = 0;
    for (const auto& r : regions.regions) {
        if (r->id == PageRegion::verticalTextId) continue;
        minX_ = std::min(minX_, r->xMin);
        for (const auto& b : r->blocks) {
            size_t most = 1;
            for (const auto& n : b->subRegions) most = std::max(most, n->blocks.size());
            reserve += most;
        }
    }
    bounds.reserve(2 * reserve + 5);
    for (const auto& r : regions.regions) {
        if (r->id == PageRegion::verticalTextId) continue;
        const int n = r->blockCount();
        for (int j = 0; j < n; ++j) {
            const RegionBlock& b = *r->blocks[static_cast<size_t>(j)];
            if (b.subRegions.empty()) {
                addSpan(b.xMin, j + 1 < n ? r->blocks[static_cast<size_t>(j + 1)]->xMin : b.xMax);
                continue;
            }
            for (const auto& nested : b.subRegions) {
                const auto& nb = nested->blocks;
                if (nb.empty()) continue;
                if (nb.front()->xMin - b.xMin > 10.0) addSpan(b.xMin, nb.front()->xMin);
                for (size_t k = 0; k < nb.size(); ++k)
                    addSpan(nb[k]->xMin, k + 1 < nb.size() ? nb[k + 1]->xMin : nb[k]->xMax);
                if (b.xMax - nb.back()->xMax > 10.0) addSpan(nb.back()->xMax, b.xMax);
            }
        }
    }
}

// Inserts x where it is farther than d from both neighbours; an x just past
// the last boundary moves that boundary instead.
void PageGrid::placeEdge(double x, double d) {
    size_t i = 0;
    while (i < bounds.size() && bounds[i] <= x) ++i;
    if (i < bounds.size()) {
        const bool leftClear = (i == 0) || x > bounds[i - 1] + d;
        if (leftClear && bounds[i] > x + d) bounds.insert(bounds.begin() + static_cast<long>(i), x);
    } else if (x > bounds.back() + d) {
        bounds.push_back(x);
    } else if (x > bounds.back()) {
        bounds.back() = x;
    }
}

void PageGrid::addSpan(double x1, double x2) {
    if (!(x1 <= x2)) return;  // also refuses NaN edges
    const double w = x2 - x1;
    // Narrow spans snap less readily; a zero width would need an unbounded divisor.
    double n = 1.0;
    if (w < 9.0) n = w > 0.0 ? std::max(2.0, std::min(std::ceil(9.0 / w), 1.0e6)) : 1.0e6;
    // ceil may land one above the smallest n with 9/n <= w through rounding.
    if (n > 2.0 && 9.0 / (n - 1.0) <= w) n -= 1.0;
    const double d = 10.0 / n;
    if (bounds.empty()) {
        bounds.push_back(minX_);
        if (x1 - minX_ > 10.0) bounds.push_back(x1);
        bounds.push_back(x2);
    } else {
        placeEdge(x1, d);
        placeEdge(x2, d);
    }
    nColumns = static_cast<int>(bounds.size()) - 1;
}

int PageGrid::columnAt(double x) const {
    int i = 0;
    while (i < nColumns && bounds[static_cast<size_t>(i)] < x) ++i;
    const int col = i > 0 ? i - 1 : 0;
    return std::min(col, maxColumns - 1);
}

}  // namespace tbx
