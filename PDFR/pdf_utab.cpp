// Graphical table building: touching rulings of one colour become a table
// box, its long rulings become row and column edges, the edges become cells.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "PDFR/pdf_ulin.h"
#include "TK/tk_log.h"
#include "TK/tk_utils.h"

namespace {

bool is_horizontal(const pdf_uline_processor::line_item& l) { return l.yMax - l.yMin < 7.0; }
// Two rules closer than this (middles, pixels; about 4 points: no line of
// text fits between them) are one edge drawn double.
constexpr double double_rule = 8.5;
double width_of(const pdf_uline_processor::line_item& l) { return l.xMax - l.xMin; }
double height_of(const pdf_uline_processor::line_item& l) { return l.yMax - l.yMin; }

// Only lines at least this long one way join a table.
bool is_long(const pdf_uline_processor::line_item& l) { return width_of(l) >= 15.0 || height_of(l) >= 15.0; }

}  // namespace

// The page's long lines by colour, each colour's lines in a coarse grid. A
// table only looks at the colours it can take, and the grid's cells are never
// thinner than the join distance, so lines sharing one y (or one x) cannot
// crowd every cell; a colour with few lines is simply scanned.
class pdf_uline_processor::buckets {
public:
    void build(const std::vector<candidate>& lines) {
        for (size_t i = 0; i < lines.size(); ++i) {
            const line_item& l = lines[i].line;
            if (!is_long(l) || !finite_box(l)) continue;
            by_colour_[key(lines[i].holder->r, lines[i].holder->g, lines[i].holder->b)].members.push_back(
                static_cast<uint32_t>(i));
        }
        for (auto& kv : by_colour_) kv.second.index(lines);
    }
    // Calls f(i) for every line of a colour within 1 per channel of (r, g, b)
    // that may meet [xa, xb] x [ya, yb]; a line may come more than once.
    template <class F>
    void visit(int r, int g, int b, double xa, double xb, double ya, double yb, F&& f) const {
        for (int dr = -1; dr <= 1; ++dr)
            for (int dg = -1; dg <= 1; ++dg)
                for (int db = -1; db <= 1; ++db) {
                    if (!channel(r + dr) || !channel(g + dg) || !channel(b + db)) continue;
                    auto it = by_colour_.find(key(r + dr, g + dg, b + db));
                    if (it != by_colour_.end()) it->second.visit(xa, xb, ya, yb, f);
                }
    }

private:
    // Below this many lines a colour is scanned whole.
    static constexpr size_t plain_scan = 32;
    // Cells at least this many pixels each way: more than the 7 px join slack.
    static constexpr double min_cell = 16.0;

    struct group {
        std::vector<uint32_t> members;  // intake order
        double x0 = 0, y0 = 0, cw = 1, ch = 1;
        int nx = 0, ny = 0;
        std::vector<std::vector<uint32_t>> cells;  // empty: scan members

        void index(const std::vector<candidate>& lines) {
            if (members.size() < plain_scan) return;
            double x1 = 0, y1 = 0;
            for (size_t k = 0; k < members.size(); ++k) {
                const line_item& l = lines[members[k]].line;
                if (k == 0) x0 = l.xMin, x1 = l.xMax, y0 = l.yMin, y1 = l.yMax;
                x0 = std::min(x0, l.xMin), x1 = std::max(x1, l.xMax);
                y0 = std::min(y0, l.yMin), y1 = std::max(y1, l.yMax);
            }
            const double n = std::clamp(std::sqrt(static_cast<double>(members.size())), 1.0, 128.0);
            nx = static_cast<int>(std::clamp(std::floor((x1 - x0) / min_cell), 1.0, n));
            ny = static_cast<int>(std::clamp(std::floor((y1 - y0) / min_cell), 1.0, n));
            cw = std::max((x1 - x0) / nx, min_cell);
            ch = std::max((y1 - y0) / ny, min_cell);
            cells.assign(static_cast<size_t>(nx) * ny, {});
            for (uint32_t i : members) {
                const line_item& l = lines[i].line;
                for (int by = slot(l.yMin, y0, ch, ny); by <= slot(l.yMax, y0, ch, ny); ++by)
                    for (int bx = slot(l.xMin, x0, cw, nx); bx <= slot(l.xMax, x0, cw, nx); ++bx)
                        cells[static_cast<size_t>(by) * nx + bx].push_back(i);
            }
        }
        template <class F>
        void visit(double xa, double xb, double ya, double yb, F& f) const {
            if (cells.empty()) {
                for (uint32_t i : members) f(i);
                return;
            }
            for (int by = slot(ya, y0, ch, ny); by <= slot(yb, y0, ch, ny); ++by)
                for (int bx = slot(xa, x0, cw, nx); bx <= slot(xb, x0, cw, nx); ++bx)
                    for (uint32_t i : cells[static_cast<size_t>(by) * nx + bx]) f(i);
        }
    };

    static bool finite_box(const line_item& l) {
        return std::isfinite(l.xMin) && std::isfinite(l.xMax) && std::isfinite(l.yMin) && std::isfinite(l.yMax);
    }
    static bool channel(int v) { return v >= 0 && v <= 255; }
    static uint32_t key(int r, int g, int b) {
        return static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b);
    }
    // Cell of v along one axis, clamped to the grid (NaN goes to the first).
    static int slot(double v, double origin, double size, int count) {
        double k = std::floor((v - origin) / size);
        if (!(k > 0)) return 0;
        return k >= count - 1 ? count - 1 : static_cast<int>(k);
    }
    std::unordered_map<uint32_t, group> by_colour_;
};

namespace {

// Codes are id x 10000 + cell and tags id x 1000; both must stay in 32 bits.
constexpr int max_table_id = (std::numeric_limits<int32_t>::max() - (pdf_uline_processor::max_table_cells - 1)) /
                             pdf_uline_processor::max_table_cells;

}  // namespace

void pdf_uline_processor::tableBuilding() {
    tk_log::write(2, "tableBuilding");
    grouping_looks_ = 0;
    drop_taken();
    if (lines_.size() < 4) return;

    auto colour_of = [](const candidate& c) {
        return std::array<int, 3>{c.holder->r, c.holder->g, c.holder->b};
    };

    size_t seed = lines_.size();
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (width_of(lines_[i].line) >= 7.0 || height_of(lines_[i].line) >= 7.0) {
            seed = i;
            break;
        }
    }
    if (seed == lines_.size()) return;

    // Phase 1: grouping into table boxes.
    buckets near;
    near.build(lines_);
    size_t tail = lines_.size();
    int id = static_cast<int>(regions_.size()) + 1;
    while (seed < lines_.size() && id <= max_table_id) {
        const int32_t tag = id * 1000;
        line_item& s = lines_[seed].line;
        auto colour = colour_of(lines_[seed]);
        reg_item reg;
        reg.id = id;
        reg.r = static_cast<uint8_t>(colour[0]);
        reg.g = static_cast<uint8_t>(colour[1]);
        reg.b = static_cast<uint8_t>(colour[2]);
        reg.xMin = s.xMin;
        reg.xMax = s.xMax;
        reg.yMin = s.yMin;
        reg.yMax = s.yMax;
        if (width_of(s) >= 7.0) {
            reg.horiz_count = 1;
            reg.vert_count = 0;
            reg.thickness = height_of(s) / px_per_pt;
        } else {
            reg.horiz_count = 0;
            reg.vert_count = 1;
            reg.thickness = width_of(s) / px_per_pt;
        }
        if (reg.thickness < 0.3) reg.thickness = 0.3;
        s.tag = tag;

        // Lines join while they touch the (growing) box; the lines that end up
        // in the table do not depend on the order they are met in, so only
        // those near the box are looked at, again until none joins.
        for (bool grown = true; grown;) {
            grown = false;
            near.visit(reg.r, reg.g, reg.b, reg.xMin - 7.0, reg.xMax + 7.0, reg.yMin - 7.0, reg.yMax + 7.0,
                       [&](uint32_t i) {
                           ++grouping_looks_;
                           line_item& l = lines_[i].line;
                           if (l.tag != 0) return;
                           auto c = colour_of(lines_[i]);
                           // A ruling drawn in pieces (filled bars broken where
                           // they cross) continues along its own direction a
                           // little further than the box is looked around.
                           const double sx = is_horizontal(l) ? 7.0 : 4.0, sy = is_horizontal(l) ? 4.0 : 7.0;
                           bool joins = tk_overlap_ratio(reg.yMin - sy, reg.yMax + sy, l.yMin, l.yMax) > 0 &&
                                        tk_overlap_ratio(reg.xMin - sx, reg.xMax + sx, l.xMin, l.xMax) > 0 &&
                                        std::abs(c[0] - reg.r) < 2 && std::abs(c[1] - reg.g) < 2 &&
                                        std::abs(c[2] - reg.b) < 2;
                           if (!joins) return;
                           l.tag = tag;
                           reg.xMin = std::min(reg.xMin, l.xMin);
                           reg.xMax = std::max(reg.xMax, l.xMax);
                           reg.yMin = std::min(reg.yMin, l.yMin);
                           reg.yMax = std::max(reg.yMax, l.yMax);
                           grown = true;
                       });
        }
        regions_.push_back(std::move(reg));
        // The next table starts from the last long line no table has taken.
        while (tail > 0 && (lines_[tail - 1].line.tag != 0 || !is_long(lines_[tail - 1].line))) --tail;
        seed = tail > 0 ? tail - 1 : lines_.size();
        ++id;
    }

    // Phase 2: rows, columns and cells on the ordered lines.
    sort_lines();
    index_valid_ = false;
    std::vector<bool> walked(regions_.size() + 1, false);
    size_t p = 0;
    const size_t n = lines_.size();
    auto line = [&](size_t i) -> line_item& { return lines_[i].line; };
    while (p < n) {
        const int32_t T = line(p).tag;
        const size_t rid = static_cast<size_t>(T / 1000);
        if (T == 0 || rid == 0 || rid > regions_.size() || walked[rid]) {
            ++p;
            continue;
        }
        walked[rid] = true;
        reg_item& R = regions_[rid - 1];
        // The order keeps a table's lines together.
        const size_t p0 = p;
        size_t end = p;
        while (end < n && line(end).tag == T) ++end;
        std::vector<double> ys, xs;
        double last_row = 0.0, last_col = 0.0;

        // Rows: the topmost line F of the table's horizontal lines not yet
        // looked at and every other one whose middle lies within 7 px of
        // F's (the two rules of a double bar share a band of the order, their
        // pieces interleaved from the left). A row across the table is an
        // edge unless it lies within a double bar's width of the edge above
        // it; a row across some columns only stays on record as a partial rule.
        size_t hEnd = p;
        while (hEnd < n && line(hEnd).tag == T && is_horizontal(line(hEnd))) ++hEnd;
        std::vector<size_t> byMid;
        for (size_t m = p; m < hEnd; ++m) byMid.push_back(m);
        auto mid2 = [&](size_t m) { return line(m).yMin + line(m).yMax; };
        std::stable_sort(byMid.begin(), byMid.end(), [&](size_t a, size_t b) { return mid2(a) < mid2(b); });
        std::vector<size_t> row;
        for (size_t k = 0; k < byMid.size();) {
            const line_item& F = line(byMid[k]);
            size_t e = k + 1;
            while (e < byMid.size() && mid2(byMid[e]) - (F.yMin + F.yMax) < 7.0) ++e;
            row.assign(byMid.begin() + static_cast<long>(k), byMid.begin() + static_cast<long>(e));
            std::stable_sort(row.begin(), row.end(), [&](size_t a, size_t b) { return line(a).xMin < line(b).xMin; });
            double x0 = line(row.front()).xMin, xEnd = line(row.front()).xMax;
            bool gap = false;
            const auto keep_partial = [&] {
                if (xEnd - x0 >= 15.0)
                    R.partial_rules.push_back(
                        {x0 / px_per_pt, xEnd / px_per_pt, F.yMin / px_per_pt, F.yMax / px_per_pt});
            };
            for (size_t r = 1; r < row.size(); ++r) {
                const line_item& M = line(row[r]);
                if (std::fabs(M.xMin - xEnd) <= 7.0 || tk_overlap_ratio(M.xMin, M.xMax, x0, xEnd) >= 0) {
                    xEnd = std::max(xEnd, M.xMax);
                } else {
                    keep_partial();
                    gap = true;
                    x0 = M.xMin;
                    xEnd = M.xMax;
                }
            }
            const double mid = (F.yMax + F.yMin) * 0.5;
            const bool across = xEnd - line(row.front()).xMin > 0.8 * (R.xMax - R.xMin) && !gap;
            if (across && (last_row == 0.0 || std::fabs(mid - last_row) > double_rule)) {
                ys.push_back(mid);
                last_row = mid;
            } else {
                if (!across) keep_partial();
                for (size_t m : row) line(m).tag = 0;
            }
            k = e;
        }
        p = hEnd;

        while (p < n && line(p).tag == T && !is_horizontal(line(p))) {
            const line_item& F = line(p);
            size_t q = p + 1;
            while (q < n && line(q).tag == T && !is_horizontal(line(q)) &&
                   std::fabs((line(q).xMin + line(q).xMax) - (F.xMin + F.xMax)) < 7.0)
                ++q;
            double y0 = F.yMin, yEnd = F.yMax, lastLength = F.yMax - F.yMin;
            bool gap = false;
            for (size_t m = p + 1; m < q; ++m) {
                const line_item& M = line(m);
                // A rule drawn in pieces, one to a band of rows, leaves gaps
                // shorter than its pieces.
                const double length = M.yMax - M.yMin;
                if (std::fabs(M.yMin - yEnd) <= 7.0 || tk_overlap_ratio(M.yMin, M.yMax, y0, yEnd) >= 0 ||
                    M.yMin - yEnd <= std::min(lastLength, length))
                    yEnd = std::max(yEnd, M.yMax);
                else
                    gap = true;
                lastLength = length;
            }
            double mid = (F.xMax + F.xMin) * 0.5;
            if (std::fabs(R.yMax - yEnd) < 10.0 && !gap && yEnd - y0 > 0.5 * (R.yMax - R.yMin) &&
                (last_col == 0.0 || std::fabs(mid - last_col) > 7.0)) {
                xs.push_back(mid);
                last_col = mid;
            } else {
                for (size_t m = p; m < q; ++m) line(m).tag = 0;
            }
            p = q;
        }

        if (!xs.empty() && R.xMin + 10.0 < xs.front()) xs.insert(xs.begin(), R.xMin);
        if (!xs.empty() && xs.back() + 10.0 < R.xMax) xs.push_back(R.xMax);
        if (!ys.empty() && R.yMin + 10.0 < ys.front()) ys.insert(ys.begin(), R.yMin);
        if (!ys.empty() && ys.back() + 10.0 < R.yMax) ys.push_back(R.yMax);
        R.horiz_count = static_cast<int32_t>(ys.size());
        R.vert_count = static_cast<int32_t>(xs.size());

        // A table of max_table_cells cells or more would run into the next
        // table's codes: its lines stay plain lines, like a table too small.
        bool too_big = ys.size() >= 3 && xs.size() >= 3 &&
                       static_cast<double>(ys.size() - 1) * static_cast<double>(xs.size() - 1) >= max_table_cells;
        if (ys.size() < 3 || xs.size() < 3 || too_big) {
            for (size_t m = p0; m < end; ++m)
                if (line(m).tag == T) line(m).tag = 0;
            R.id = 0;
        } else {
            R.cellsBuilding(ys, xs);
        }
    }

    // Lines of a built table are spent; the rest stay candidates.
    for (const candidate& c : lines_)
        if (c.line.tag != 0) table_lines_.push_back(c.line);
    lines_.erase(std::remove_if(lines_.begin(), lines_.end(), [](const candidate& c) { return c.line.tag != 0; }),
                 lines_.end());
    built_regions_.clear();
    for (size_t k = 0; k < regions_.size(); ++k)
        if (regions_[k].id > 0 && !regions_[k].cells.empty()) built_regions_.push_back(k);
    tk_log::write(1, "tableBuilding: %d(%d) lines left", static_cast<int>(lines_.size()),
                  static_cast<int>(lines_.size()));
}

// The order the walk needs: by tag, horizontal before vertical, rows from the
// top (lines of a row from the left), columns from the left (lines of a
// column from the top). Lines within 7 px of each other share a row or column;
// the bands are formed once, anchored at their first line, so the order is a
// true ordering even where such lines chain.
void pdf_uline_processor::sort_lines() {
    struct key_t {
        int32_t tag;
        int vertical;
        size_t band;
        double along;
        size_t pos;
    };
    const size_t n = lines_.size();
    std::vector<key_t> keys(n);
    std::vector<size_t> order(n);
    for (size_t i = 0; i < n; ++i) {
        const line_item& l = lines_[i].line;
        keys[i] = {l.tag, is_horizontal(l) ? 0 : 1, 0, is_horizontal(l) ? l.xMin : l.yMin, i};
        order[i] = i;
    }
    // Bands: within one tag and orientation, by the lower edge across the lines.
    auto across_min = [&](size_t i) {
        return keys[i].vertical ? lines_[i].line.xMin : lines_[i].line.yMin;
    };
    auto across_max = [&](size_t i) {
        return keys[i].vertical ? lines_[i].line.xMax : lines_[i].line.yMax;
    };
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        if (keys[a].tag != keys[b].tag) return keys[a].tag < keys[b].tag;
        if (keys[a].vertical != keys[b].vertical) return keys[a].vertical < keys[b].vertical;
        return across_min(a) < across_min(b);
    });
    size_t band = 0;
    for (size_t k = 0; k < n;) {
        size_t anchor = order[k];
        double limit = across_max(anchor) + 7.0;
        size_t j = k;
        while (j < n && keys[order[j]].tag == keys[anchor].tag && keys[order[j]].vertical == keys[anchor].vertical &&
               !(across_min(order[j]) > limit)) {
            keys[order[j]].band = band;
            ++j;
        }
        ++band;
        k = j;
    }
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const key_t& ka = keys[a];
        const key_t& kb = keys[b];
        if (ka.tag != kb.tag) return ka.tag < kb.tag;
        if (ka.vertical != kb.vertical) return ka.vertical < kb.vertical;
        if (ka.band != kb.band) return ka.band < kb.band;
        if (ka.along != kb.along) return ka.along < kb.along;
        return ka.pos < kb.pos;
    });
    std::vector<candidate> sorted;
    sorted.reserve(n);
    for (size_t i : order) sorted.push_back(std::move(lines_[i]));
    lines_ = std::move(sorted);
}

void pdf_uline_processor::reg_item::cellsBuilding(std::vector<double> ys, std::vector<double> xs) {
    tk_log::write(1, "pdf_uline_processor::reg_item::cellsBuilding");
    cells.clear();
    row_edges.clear();
    col_edges.clear();
    for (double y : ys) row_edges.push_back(y / px_per_pt);
    for (double x : xs) col_edges.push_back(x / px_per_pt);
    // The cell lookup searches the edges, asked once per word; edges out of
    // order (or not numbers) are dropped here so it tries the cells one by one.
    auto ascending = [](const std::vector<double>& v) {
        for (size_t i = 1; i < v.size(); ++i)
            if (!(v[i - 1] < v[i])) return false;
        return true;
    };
    if (!ascending(row_edges) || !ascending(col_edges)) {
        row_edges.clear();
        col_edges.clear();
    }
    if (ys.size() >= 2 && xs.size() >= 2) {
        cells.reserve((ys.size() - 1) * (xs.size() - 1));
        for (size_t i = 0; i + 1 < ys.size(); ++i) {
            for (size_t j = 0; j + 1 < xs.size(); ++j) {
                cells.push_back({xs[j] / px_per_pt, xs[j + 1] / px_per_pt, ys[i] / px_per_pt, ys[i + 1] / px_per_pt});
                if (tk_log::active(1))
                    tk_log::write(1, "Cell%d_%d: xMin=%.2f,yMin=%.2f xMax=%.2f,yMax%.2f \n", static_cast<int>(i),
                                  static_cast<int>(j), xs[j], ys[i], xs[j + 1], ys[i + 1]);
            }
        }
    }
    xMin /= px_per_pt;
    xMax /= px_per_pt;
    yMin /= px_per_pt;
    yMax /= px_per_pt;
}
