#include "tabrixa/PageGrid.h"

#include <algorithm>
#include <cmath>

#include "tabrixa/PageRegions.h"

namespace tbx {

void PageGrid::clear() {
    bounds.clear();
    textEnds.clear();
    nColumns = 0;
    minX_ = 9999.0;
}

void PageGrid::reset(double minX) {
    bounds.clear();
    textEnds.clear();
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
                const bool last = j + 1 == n;
                addSpan(b.xMin, last ? b.xMax : r->blocks[static_cast<size_t>(j + 1)]->xMin, last);
                continue;
            }
            for (const auto& nested : b.subRegions) {
                const auto& nb = nested->blocks;
                if (nb.empty()) continue;
                if (nb.front()->xMin - b.xMin > 10.0) addSpan(b.xMin, nb.front()->xMin);
                for (size_t k = 0; k < nb.size(); ++k) {
                    const bool last = k + 1 == nb.size();
                    addSpan(nb[k]->xMin, last ? nb[k]->xMax : nb[k + 1]->xMin, last);
                }
                if (b.xMax - nb.back()->xMax > 10.0) addSpan(nb.back()->xMax, b.xMax, true);
            }
        }
    }
}

// Inserts x where it is farther than d from both neighbours; an x just past
// the last boundary moves that boundary instead. Where text starts near a
// boundary placed only by where other text ends, that boundary moves to
// the start: columns begin where their text does, and a line ending by
// chance a few points right of a column's start would otherwise take that
// column's first cells into the column before it.
void PageGrid::placeEdge(double x, double d, bool endsText) {
    size_t i = 0;
    while (i < bounds.size() && bounds[i] <= x) ++i;
    // x snapped to boundary k: a start moves a boundary of an end there,
    // unless a boundary of a start lies within d of x on the other side.
    auto snapTo = [&](size_t k) {
        if (endsText || !textEnds[k]) return;
        const size_t other = k < i ? k + 1 : k - 1;
        if (other < bounds.size() && !textEnds[other] && std::fabs(bounds[other] - x) <= d) return;
        bounds[k] = x;
        textEnds[k] = false;
    };
    if (i == bounds.size()) {
        if (x > bounds.back() + d) {
            bounds.push_back(x);
            textEnds.push_back(endsText);
        } else if (x > bounds.back()) {
            bounds.back() = x;
            textEnds.back() = textEnds.back() && endsText;
        } else {
            snapTo(i - 1);  // x is the last boundary
        }
        return;
    }
    const bool leftNear = i > 0 && x <= bounds[i - 1] + d;
    const bool rightNear = bounds[i] <= x + d;
    if (!leftNear && !rightNear) {
        bounds.insert(bounds.begin() + static_cast<long>(i), x);
        textEnds.insert(textEnds.begin() + static_cast<long>(i), endsText);
    } else {
        snapTo(rightNear && (!leftNear || bounds[i] - x < x - bounds[i - 1]) ? i : i - 1);
    }
}

void PageGrid::addSpan(double x1, double x2, bool endsText) {
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
        textEnds.push_back(false);
        if (x1 - minX_ > 10.0) {
            bounds.push_back(x1);
            textEnds.push_back(false);
        }
        bounds.push_back(x2);
        textEnds.push_back(endsText);
    } else {
        placeEdge(x1, d, false);
        placeEdge(x2, d, endsText);
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
