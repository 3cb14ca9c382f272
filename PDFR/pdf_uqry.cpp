// The text pass's questions: is a run of text underlined, in which table cell
// does a box lie. Both are asked per character or word, so they go through
// indexes by position while keeping the first match in list order.
#include <algorithm>
#include <cmath>

#include "PDFR/pdf_ulin.h"
#include "TK/tk_log.h"

namespace {

constexpr double px_per_2pt = 2 * pdf_uline_processor::px_per_pt;  // for a doubled middle
// Wider than the 2.0 tolerance of the test so rounding never hides a match.
constexpr double index_slack = 2.5;

// Same colour within 2 per channel; text with a channel near white matches any
// line that also has a channel near white.
bool colours_match(int r, int g, int b, int lr, int lg, int lb) {
    if (std::abs(r - lr) <= 2 && std::abs(g - lg) <= 2 && std::abs(b - lb) <= 2) return true;
    if (std::abs(r - 255) > 2 && std::abs(g - 255) > 2 && std::abs(b - 255) > 2) return false;
    return lr >= 253 || lg >= 253 || lb >= 253;
}

}  // namespace

void pdf_uline_processor::build_candidate_index() {
    candidate_index_.clear();
    candidate_index_.reserve(lines_.size());
    for (size_t i = 0; i < lines_.size(); ++i) {
        const line_item& l = lines_[i].line;
        candidate_index_.emplace_back((l.yMax + l.yMin) / px_per_2pt, i);
    }
    std::sort(candidate_index_.begin(), candidate_index_.end());
    index_valid_ = true;
}

bool pdf_uline_processor::process_as_underline(double x1, double x2, double y, int r, int g, int b) {
    const bool trace = tk_log::active(1);
    if (trace) {
        tk_log::write(1, "pdf_uline_processor::process_as_underline");
        tk_log::write(1, "Text coordinates: %lg,%lg,%lg", x1, x2, y);
    }

    // Known underlines first, the earliest recognised one that fits.
    size_t best = underlines_.size();
    for (auto it = underline_index_.lower_bound(y - index_slack);
         it != underline_index_.end() && it->first <= y + index_slack; ++it) {
        const line_item& u = underlines_[it->second];
        double mid = (u.yMax + u.yMin) * 0.5;
        if (trace) tk_log::write(1, "Comparing with: %lg,%lg,%lg", u.xMin, u.xMax, mid);
        if (x1 >= u.xMin - 0.5 && u.xMax + 0.5 >= x2 && std::fabs(mid - y) <= 2.0) best = std::min(best, it->second);
    }
    if (best < underlines_.size()) {
        const line_item& u = underlines_[best];
        if (trace) tk_log::write(1, "GOT UNDERLINE (%lg,%lg,%lg)", u.xMin, u.xMax, y);
        return true;
    }

    // Candidate lines next, the first in list order that fits.
    if (!index_valid_) build_candidate_index();
    size_t first = lines_.size();
    auto it = std::lower_bound(candidate_index_.begin(), candidate_index_.end(),
                               std::make_pair(y - index_slack, size_t{0}));
    for (; it != candidate_index_.end() && it->first <= y + index_slack; ++it) {
        const size_t i = it->second;
        if (i >= first || lines_[i].taken) continue;
        const line_item& l = lines_[i].line;
        const pipe_holder& h = *lines_[i].holder;
        double lx1 = l.xMin / px_per_pt, lx2 = l.xMax / px_per_pt, lmid = (l.yMax + l.yMin) / px_per_2pt;
        if (trace) tk_log::write(1, "Comparing with: %lg,%lg,%lg", lx1, lx2, lmid);
        if (x1 >= lx1 - 0.5 && lx2 + 0.5 >= x2 && std::fabs(lmid - y) <= 2.0 && colours_match(r, g, b, h.r, h.g, h.b))
            first = i;
    }
    if (first == lines_.size()) return false;

    candidate& c = lines_[first];
    line_item u;
    u.xMin = c.line.xMin / px_per_pt;
    u.xMax = c.line.xMax / px_per_pt;
    u.yMin = y;
    u.yMax = y;
    if (trace) tk_log::write(1, "GOT UNDERLINE (%lg,%lg,%lg)", u.xMin, u.xMax, y);
    underline_index_.emplace((u.yMax + u.yMin) * 0.5, underlines_.size());
    underlines_.push_back(u);
    // The line leaves the candidates: not asked again and never painted.
    c.taken = true;
    c.holder->paint.reset();
    return true;
}

int pdf_uline_processor::process_is_inCell(double x1, double x2, double y1, double y2) const {
    const bool trace = tk_log::active(1);
    if (trace) {
        tk_log::write(1, "pdf_uline_processor::process_is_inCell");
        tk_log::write(1, "Text coordinates: %lg,%lg,%lg,%lg", x1, x2, y1, y2);
    }
    for (size_t at : built_regions_) {
        const reg_item& reg = regions_[at];
        if (trace)
            tk_log::write(1, "Compare with region(%f,%f,%f,%f,%d)", reg.xMin, reg.xMax, reg.yMin, reg.yMax, reg.id);
        int k = reg.is_inCell(x1, x2, y1, y2);
        if (k >= 0) return reg.id * max_table_cells + k;
    }
    return 0;
}

namespace {

// First band i of the ascending edges with lo > e[i] - 2.5 and e[i+1] + 2.5 > hi, or -1.
long first_band(const std::vector<double>& e, double lo, double hi) {
    // e[i+1] + 2.5 > hi holds from some band on, e[i] - 2.5 < lo up to some band.
    auto it = std::partition_point(e.begin() + 1, e.end(), [&](double v) { return !(v + 2.5 > hi); });
    if (it == e.end()) return -1;
    long i = static_cast<long>(it - e.begin()) - 1;
    return lo > e[static_cast<size_t>(i)] - 2.5 ? i : -1;
}

}  // namespace

int pdf_uline_processor::reg_item::is_inCell(double x1, double x2, double y1, double y2) const {
    if (tk_log::active(1))
        tk_log::write(1, "pdf_uline_processor::reg_item::is_inCell: x=%lg..%lg,y=%lg..%lg", x1, x2, y1, y2);
    if (!(y1 > yMin - 2.5 && yMax + 2.5 > y2 && x1 > xMin - 2.5 && xMax + 2.5 > x2)) return -1;

    // Cells built from edges form a grid: the first cell in row-major order is
    // the first fitting row with the first fitting column.
    const size_t nr = row_edges.size() >= 2 ? row_edges.size() - 1 : 0;
    const size_t nc = col_edges.size() >= 2 ? col_edges.size() - 1 : 0;
    if (nr && nc && cells.size() == nr * nc) {
        long i = first_band(row_edges, y1, y2);
        if (i < 0) return -1;
        long j = first_band(col_edges, x1, x2);
        if (j < 0) return -1;
        return static_cast<int>(static_cast<size_t>(i) * nc + static_cast<size_t>(j));
    }
    for (size_t k = 0; k < cells.size(); ++k) {
        const cell_item& c = cells[k];
        if (y1 > c.yMin - 2.5 && c.yMax + 2.5 > y2 && x1 > c.xMin - 2.5 && c.xMax + 2.5 > x2)
            return static_cast<int>(k);
    }
    return -1;
}

int pdf_uline_processor::process_cell_holding_most(double x1, double x2, double y1, double y2) const {
    for (size_t at : built_regions_) {
        const reg_item& reg = regions_[at];
        int k = reg.cell_holding_most(x1, x2, y1, y2);
        if (k >= 0) return reg.id * max_table_cells + k;
    }
    return 0;
}

namespace {

// The band of the ascending edges that overlaps [lo, hi] most, when it holds
// at least `least` of its length; -1 otherwise. Only the bands from the first
// that ends after lo up to the last that starts before hi overlap it: a word
// far from the table costs a search, not a walk over every band.
long most_band(const std::vector<double>& e, double lo, double hi, double least) {
    long best = -1;
    double most = 0.0;
    const auto from = std::partition_point(e.begin() + 1, e.end(), [&](double v) { return v <= lo; });
    for (size_t i = static_cast<size_t>(from - e.begin()) - 1; i + 1 < e.size() && e[i] < hi; ++i) {
        const double o = std::min(hi, e[i + 1]) - std::max(lo, e[i]);
        if (o > most) {
            most = o;
            best = static_cast<long>(i);
        }
    }
    return best >= 0 && most >= least * (hi - lo) ? best : -1;
}

}  // namespace

int pdf_uline_processor::reg_item::cell_holding_most(double x1, double x2, double y1, double y2) const {
    const size_t nr = row_edges.size() >= 2 ? row_edges.size() - 1 : 0;
    const size_t nc = col_edges.size() >= 2 ? col_edges.size() - 1 : 0;
    if (!nr || !nc || cells.size() != nr * nc || !(x1 < x2) || !(y1 < y2)) return -1;
    const bool inside = y1 > yMin - 2.5 && yMax + 2.5 > y2 && x1 > xMin - 2.5 && xMax + 2.5 > x2;
    const double least = inside ? 0.0 : 0.5;
    const long i = most_band(row_edges, y1, y2, least);
    const long j = most_band(col_edges, x1, x2, least);
    if (i < 0 || j < 0) return -1;
    return static_cast<int>(static_cast<size_t>(i) * nc + static_cast<size_t>(j));
}
