// The collector's own logic: intake, table building, the text questions and
// the late painting, on lines given directly in device pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <tuple>
#include <vector>

#include "PDFR/pdf_ulin.h"

namespace {

using ulp = pdf_uline_processor;

constexpr double kPx = ulp::px_per_pt;

void add(ulp& c, double x1, double x2, double y1, double y2, uint8_t r = 0, uint8_t g = 0, uint8_t b = 0) {
    c.set_line(x1, x2, y1, y2, std::make_unique<ulp::pipe_holder>(nullptr, true, r, g, b));
}

// Rulings of a grid: horizontal lines 2 px thick at every y, vertical ones at every x.
void add_grid(ulp& c, const std::vector<double>& xs, const std::vector<double>& ys, uint8_t r = 0, uint8_t g = 0,
              uint8_t b = 0) {
    for (double y : ys) add(c, xs.front(), xs.back(), y - 1, y + 1, r, g, b);
    for (double x : xs) add(c, x - 1, x + 1, ys.front(), ys.back(), r, g, b);
}

struct box_call {
    int x0, x1, y0, y1;
    uint8_t r;
    bool noClip;
    bool operator==(const box_call& o) const {
        return std::tie(x0, x1, y0, y1, r, noClip) == std::tie(o.x0, o.x1, o.y0, o.y1, o.r, o.noClip);
    }
};

class recording_canvas : public ulp::canvas {
public:
    void fill_box(const ulp::pipe_holder& how, int x0, int x1, int y0, int y1) override {
        calls.push_back({x0, x1, y0, y1, how.r, how.noClip});
    }
    std::vector<box_call> calls;
};

TEST(pdf_ulin, set_line_orders_the_ends_and_keeps_the_holder_with_its_line) {
    ulp c(true);
    add(c, 1, 2, 3, 4, 7);
    add(c, 30, 10, 5, 5, 9);
    auto lines = c.get_lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].xMin, 10);
    EXPECT_EQ(lines[1].xMax, 30);
    EXPECT_EQ(lines[1].yMin, 5);
    EXPECT_EQ(lines[1].yMax, 5);
    EXPECT_EQ(lines[1].tag, 0);
    ASSERT_NE(c.holder_at(1), nullptr);
    EXPECT_EQ(c.holder_at(1)->r, 9);
    // A missing holder is taken as a black line that has nothing to replay.
    c.set_line(0, 1, 0, 1, nullptr);
    ASSERT_NE(c.holder_at(2), nullptr);
    EXPECT_EQ(c.holder_at(2)->r, 0);
}

TEST(pdf_ulin, a_second_collector_is_an_internal_error) {
    ulp c(true);
    EXPECT_THROW(ulp second(true), tk_mail_assertion);
    EXPECT_EQ(&ulp::instance(), &c);
}

TEST(pdf_ulin, undo_lines_paints_whole_pixel_rows_once_and_skips_taken_lines) {
    ulp c(true);
    EXPECT_THROW(c.undo_lines(static_cast<Splash*>(nullptr)), tk_mail_assertion);
    recording_canvas empty;
    c.undo_lines(empty);
    EXPECT_TRUE(empty.calls.empty());

    add(c, 10.9, 50.2, 40.7, 40.7, 1);  // one row, truncated
    add(c, 10, 20, 40.0, 52.0, 2);      // thirteen rows
    add(c, 10, 20, 10.0, 12.5, 3);      // rows 10..12
    add(c, 200, 300, 417, 417, 4);      // becomes an underline below
    ASSERT_TRUE(c.process_as_underline(100, 140, 200, 4, 0, 0));

    recording_canvas canvas;
    c.undo_lines(canvas);
    std::vector<box_call> want = {{10, 50, 40, 40, 1, true}, {10, 20, 40, 52, 2, true}, {10, 20, 10, 12, 3, true}};
    EXPECT_EQ(canvas.calls, want);

    // Nothing is painted twice, and the lines stay until the end of the page.
    recording_canvas again;
    c.undo_lines(again);
    EXPECT_TRUE(again.calls.empty());
    EXPECT_EQ(c.line_count(), 3u);
}

TEST(pdf_ulin, flush_empties_lines_underlines_and_tables) {
    ulp c(true);
    add_grid(c, {100, 200, 300}, {100, 150, 200});
    add(c, 200, 300, 417, 417);
    add(c, 500, 600, 800, 800);
    c.tableBuilding();
    ASSERT_TRUE(c.process_as_underline(100, 140, 200, 0, 0, 0));
    ASSERT_FALSE(c.get_regions().empty());
    c.flush();
    EXPECT_EQ(c.line_count(), 0u);
    EXPECT_TRUE(c.get_underlines().empty());
    EXPECT_TRUE(c.get_regions().empty());
    EXPECT_FALSE(c.process_as_underline(100, 140, 200, 0, 0, 0));
    EXPECT_EQ(c.process_is_inCell(50, 60, 50, 60), 0);
}

TEST(pdf_ulin, too_few_or_too_short_lines_make_no_table) {
    ulp c(true);
    add(c, 0, 200, 10, 11);
    add(c, 0, 200, 50, 51);
    add(c, 0, 200, 90, 91);
    c.tableBuilding();
    EXPECT_TRUE(c.get_regions().empty());
    c.flush();
    for (int i = 0; i < 4; ++i) add(c, i * 10, i * 10 + 6, 5, 6);
    c.tableBuilding();
    EXPECT_TRUE(c.get_regions().empty());
    EXPECT_EQ(c.line_count(), 4u);
}

TEST(pdf_ulin, a_ruled_grid_becomes_a_table_of_cells_in_points) {
    ulp c(true);
    add(c, 700, 800, 900, 901);  // far away: stays a plain line
    add_grid(c, {100, 200, 300}, {100, 150, 200}, 10, 20, 30);
    c.tableBuilding();
    ASSERT_EQ(c.get_regions().size(), 2u);  // the far line seeds a table of its own
    const ulp::reg_item& t = c.get_regions()[0];
    EXPECT_EQ(t.id, 0);
    const ulp::reg_item& g = c.get_regions()[1];
    EXPECT_EQ(g.id, 2);
    EXPECT_EQ(g.horiz_count, 3);
    EXPECT_EQ(g.vert_count, 3);
    EXPECT_EQ(std::make_tuple(g.r, g.g, g.b), std::make_tuple(10, 20, 30));
    EXPECT_NEAR(g.thickness, 2 / kPx, 1e-9);
    ASSERT_EQ(g.cells.size(), 4u);
    auto near = [](const ulp::cell_item& cell, double x0, double x1, double y0, double y1) {
        return std::fabs(cell.xMin - x0 / kPx) < 1e-9 && std::fabs(cell.xMax - x1 / kPx) < 1e-9 &&
               std::fabs(cell.yMin - y0 / kPx) < 1e-9 && std::fabs(cell.yMax - y1 / kPx) < 1e-9;
    };
    EXPECT_TRUE(near(g.cells[0], 100, 200, 100, 150));
    EXPECT_TRUE(near(g.cells[1], 200, 300, 100, 150));
    EXPECT_TRUE(near(g.cells[2], 100, 200, 150, 200));
    EXPECT_TRUE(near(g.cells[3], 200, 300, 150, 200));
    EXPECT_NEAR(g.xMin, 99 / kPx, 1e-9);
    EXPECT_NEAR(g.yMax, 201 / kPx, 1e-9);
    EXPECT_EQ(c.region(2), &g);
    EXPECT_EQ(c.region(1), nullptr);  // rejected
    // The grid's rulings left the candidates; the far line stays.
    auto left = c.get_lines();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].xMin, 700);
    EXPECT_EQ(left[0].tag, 0);
}

TEST(pdf_ulin, colour_and_distance_decide_whether_a_line_joins) {
    // A channel off by 1 joins; off by 2 does not (and starts a table of its own).
    for (int diff : {1, 2}) {
        ulp c(true);
        add_grid(c, {100, 200, 300}, {100, 150, 200}, 100, 100, 100);
        add(c, 150, 151, 100, 200, 100, static_cast<uint8_t>(100 + diff), 100);  // an extra column
        c.tableBuilding();
        EXPECT_EQ(c.get_regions()[0].vert_count, diff == 1 ? 4 : 3) << diff;
        EXPECT_EQ(c.get_regions().size(), diff == 1 ? 1u : 2u) << diff;
    }
    // A line whose range ends exactly 4 px above the box only touches the
    // widened box; a line of zero height lying there is inside it.
    for (bool flat : {false, true}) {
        ulp c(true);
        add(c, 100, 300, 100, 102);  // seed: box y 100..102
        add(c, 100, 300, flat ? 96 : 90, 96);
        add(c, 100, 300, 150, 150);
        add(c, 100, 300, 300, 300);
        c.tableBuilding();
        ASSERT_GE(c.get_regions().size(), 1u);
        EXPECT_EQ(c.get_regions()[0].yMin, flat ? 96 : 100) << flat;
    }
}

TEST(pdf_ulin, rows_and_columns_follow_the_edge_rules) {
    ulp c(true);
    // Double top rule 5 px apart: one row edge. Middle column stops 30 px
    // short of the bottom: no column edge. No outer rules at left and right:
    // the box edges are used.
    std::vector<double> xs = {100, 200, 300};
    add(c, 60, 340, 100, 101);
    add(c, 60, 340, 105, 106);
    add(c, 60, 340, 150, 151);
    add(c, 60, 340, 250, 251);
    add(c, 200, 201, 100, 251);
    add(c, 250, 251, 100, 220);  // stops short
    add(c, 300, 301, 100, 251);
    c.tableBuilding();
    ASSERT_EQ(c.get_regions().size(), 1u);
    const auto& g = c.get_regions()[0];
    EXPECT_EQ(g.id, 1);
    EXPECT_EQ(g.horiz_count, 3);  // 100.5 (double rule), 150.5, 250.5
    EXPECT_EQ(g.vert_count, 4);   // box left 60, 200.5, 300.5, box right 340
    ASSERT_EQ(g.cells.size(), 6u);
    EXPECT_NEAR(g.cells[0].xMin, 60 / kPx, 1e-9);
    EXPECT_NEAR(g.cells[2].xMax, 340 / kPx, 1e-9);
    EXPECT_NEAR(g.cells[0].yMin, 100.5 / kPx, 1e-9);
    // The second rule of the double line and the short column's ruling were
    // not taken: they stay candidate lines.
    auto left = c.get_lines();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].yMin, 105);
    EXPECT_EQ(left[1].xMin, 250);
}

TEST(pdf_ulin, touching_tables_of_different_colours_stay_apart) {
    ulp c(true);
    add_grid(c, {100, 200, 300}, {100, 150, 200}, 0, 0, 0);
    add_grid(c, {300, 400, 500}, {100, 150, 200}, 200, 0, 0);
    c.tableBuilding();
    ASSERT_EQ(c.get_regions().size(), 2u);
    EXPECT_EQ(c.get_regions()[0].id, 1);
    EXPECT_EQ(c.get_regions()[1].id, 2);
    EXPECT_EQ(c.get_regions()[1].r, 200);
    EXPECT_EQ(c.get_regions()[0].cells.size(), 4u);
    EXPECT_EQ(c.get_regions()[1].cells.size(), 4u);
    EXPECT_EQ(c.line_count(), 0u);
}

TEST(pdf_ulin, a_rejected_table_keeps_its_place_and_its_lines) {
    ulp c(true);
    // Two rows only: one row of cells is not a table.
    add(c, 100, 300, 100, 101);
    add(c, 100, 300, 150, 151);
    add(c, 100, 101, 100, 151);
    add(c, 200, 201, 100, 151);
    add(c, 300, 301, 100, 151);
    c.tableBuilding();
    ASSERT_EQ(c.get_regions().size(), 1u);
    EXPECT_EQ(c.get_regions()[0].id, 0);
    EXPECT_TRUE(c.get_regions()[0].cells.empty());
    EXPECT_EQ(c.get_regions()[0].xMax, 301);  // still in pixels
    auto left = c.get_lines();
    EXPECT_EQ(left.size(), 5u);
    for (const auto& l : left) EXPECT_EQ(l.tag, 0);
    EXPECT_EQ(c.process_is_inCell(60, 70, 55, 60), 0);
}

TEST(pdf_ulin, rows_drawn_as_jittered_pieces_in_any_order_build_the_same_table) {
    // Each row rule is drawn as short pieces whose y wobbles by a pixel, fed in
    // a shuffled order: the pieces of a row are not at one y, yet must come
    // together, from the left, for the row to be seen.
    std::vector<std::tuple<double, double, double, double>> pieces;
    for (int row = 0; row < 6; ++row) {
        double y = 100 + row * 30;
        for (int k = 0; k < 10; ++k) {
            double dy = (k % 3) - 1;
            pieces.emplace_back(100 + k * 40, 100 + k * 40 + 40, y + dy, y + dy + 2);
        }
    }
    for (int col = 0; col < 5; ++col) pieces.emplace_back(100 + col * 100, 101 + col * 100, 100, 252);
    std::mt19937 rng(7);
    for (int round = 0; round < 5; ++round) {
        std::shuffle(pieces.begin(), pieces.end(), rng);
        ulp c(true);
        for (auto& p : pieces) add(c, std::get<0>(p), std::get<1>(p), std::get<2>(p), std::get<3>(p));
        c.tableBuilding();
        ASSERT_FALSE(c.get_regions().empty());
        const auto* t = c.region(1);
        ASSERT_NE(t, nullptr) << round;
        EXPECT_EQ(t->horiz_count, 6) << round;
        EXPECT_EQ(t->vert_count, 5) << round;
        EXPECT_EQ(t->cells.size(), 20u) << round;
        EXPECT_EQ(c.line_count(), 0u) << round;
    }
}

// Grouping as stated: passes over the whole list in order until one joins
// nothing; the next table starts from the last long line left over.
std::vector<std::array<double, 4>> reference_boxes(std::vector<ulp::line_item> lines, const std::vector<int>& colour) {
    auto ratio = [](double a1, double a2, double b1, double b2) {
        if (a1 == a2) return (b1 <= a1 && a1 <= b2) ? 1.0 : 0.0;
        if (b1 == b2) return (a1 <= b1 && b1 <= a2) ? 1.0 : 0.0;
        return (std::min(a2, b2) - std::max(a1, b1)) / std::min(a2 - a1, b2 - b1);
    };
    std::vector<std::array<double, 4>> boxes;
    if (lines.size() < 4) return boxes;
    size_t seed = lines.size();
    for (size_t i = 0; i < lines.size() && seed == lines.size(); ++i)
        if (lines[i].xMax - lines[i].xMin >= 7 || lines[i].yMax - lines[i].yMin >= 7) seed = i;
    while (seed < lines.size()) {
        std::array<double, 4> b = {lines[seed].xMin, lines[seed].xMax, lines[seed].yMin, lines[seed].yMax};
        int col = colour[seed];
        lines[seed].tag = 1;
        size_t cand;
        bool joined;
        do {
            joined = false;
            cand = lines.size();
            for (size_t i = 0; i < lines.size(); ++i) {
                auto& l = lines[i];
                if (l.tag || !(l.xMax - l.xMin >= 15 || l.yMax - l.yMin >= 15)) continue;
                // 7 px along the line's own direction, 4 across it.
                const bool flat = l.yMax - l.yMin < 7;
                const double sx = flat ? 7 : 4, sy = flat ? 4 : 7;
                if (ratio(b[2] - sy, b[3] + sy, l.yMin, l.yMax) > 0 && ratio(b[0] - sx, b[1] + sx, l.xMin, l.xMax) > 0 &&
                    colour[i] == col) {
                    l.tag = 1;
                    b = {std::min(b[0], l.xMin), std::max(b[1], l.xMax), std::min(b[2], l.yMin),
                         std::max(b[3], l.yMax)};
                    joined = true;
                } else {
                    cand = i;
                }
            }
        } while (joined);
        boxes.push_back(b);
        seed = cand;
    }
    return boxes;
}

TEST(pdf_ulin, grouping_finds_the_tables_that_passes_over_the_whole_list_find) {
    std::mt19937 rng(11);
    for (int round = 0; round < 200; ++round) {
        std::uniform_real_distribution<double> pos(0, 1200), len(2, 300), thick(0, 3);
        std::vector<ulp::line_item> lines;
        std::vector<int> colour;
        int n = 4 + static_cast<int>(rng() % 120);
        for (int i = 0; i < n; ++i) {
            ulp::line_item l;
            double x = std::floor(pos(rng)), y = std::floor(pos(rng)), a = std::floor(len(rng)),
                   t = std::floor(thick(rng));
            if (rng() % 2) l = {0, x, x + a, y, y + t};
            else l = {0, x, x + t, y, y + a};
            lines.push_back(l);
            colour.push_back(static_cast<int>(rng() % 3 == 0) * 100);
        }
        ulp c(true);
        for (size_t i = 0; i < lines.size(); ++i)
            add(c, lines[i].xMin, lines[i].xMax, lines[i].yMin, lines[i].yMax, static_cast<uint8_t>(colour[i]));
        c.tableBuilding();
        auto want = reference_boxes(lines, colour);
        const auto& got = c.get_regions();
        ASSERT_EQ(got.size(), want.size()) << round;
        for (size_t k = 0; k < got.size(); ++k) {
            double scale = got[k].id ? kPx : 1.0;  // built tables are in points
            EXPECT_NEAR(got[k].xMin * scale, want[k][0], 1e-6) << round << " " << k;
            EXPECT_NEAR(got[k].xMax * scale, want[k][1], 1e-6) << round << " " << k;
            EXPECT_NEAR(got[k].yMin * scale, want[k][2], 1e-6) << round << " " << k;
            EXPECT_NEAR(got[k].yMax * scale, want[k][3], 1e-6) << round << " " << k;
        }
    }
}

TEST(pdf_ulin, hair_lines_at_one_height_each_of_its_own_colour_group_looking_at_few_lines) {
    // Each line is a table of its own; none may cost a look at every other line.
    ulp c(true);
    const int n = 20000;
    for (int i = 0; i < n; ++i) {
        double x = 10 + (i * 7) % 900;
        add(c, x, x + 250, 400, 400, static_cast<uint8_t>(i % 128 * 2), static_cast<uint8_t>(i / 128 % 128 * 2),
            static_cast<uint8_t>(i / 16384 * 2));
    }
    c.tableBuilding();
    EXPECT_EQ(c.get_regions().size(), static_cast<size_t>(n));
    EXPECT_EQ(c.line_count(), static_cast<size_t>(n));
    // Indexed by colour each table looks at a handful of lines; looking at
    // every line for every table would be n x n.
    EXPECT_LT(c.grouping_looks(), static_cast<size_t>(4 * n)) << c.grouping_looks();
}

TEST(pdf_ulin, a_table_of_ten_thousand_cells_is_refused_and_its_lines_stay_plain) {
    auto grid = [](int n) {
        std::vector<double> e;
        for (int i = 0; i <= n; ++i) e.push_back(10 + i * 10.0);
        return e;
    };
    {
        ulp c(true);
        add_grid(c, grid(100), grid(100));  // 100 x 100 cells
        c.tableBuilding();
        ASSERT_EQ(c.get_regions().size(), 1u);
        EXPECT_EQ(c.get_regions()[0].id, 0);
        EXPECT_EQ(c.line_count(), 202u);
        EXPECT_EQ(c.process_is_inCell(12 / kPx, 14 / kPx, 12 / kPx, 14 / kPx), 0);
    }
    {
        ulp c(true);
        add_grid(c, grid(99), grid(100));  // 9900 cells: a table
        c.tableBuilding();
        ASSERT_EQ(c.get_regions().size(), 1u);
        EXPECT_EQ(c.get_regions()[0].id, 1);
        EXPECT_EQ(c.get_regions()[0].cells.size(), 9900u);
        // The last cell still answers with a code of table 1.
        double x = 10 + 98 * 10 + 5, y = 10 + 99 * 10 + 5;
        EXPECT_EQ(c.process_is_inCell((x - 1) / kPx, (x + 1) / kPx, (y - 1) / kPx, (y + 1) / kPx), 10000 + 9899);
    }
}

TEST(pdf_ulin, underline_question_matches_position_and_colour) {
    ulp c(true);
    EXPECT_FALSE(c.process_as_underline(100, 140, 200, 0, 0, 0));
    add(c, 200, 300, 417, 417);
    EXPECT_TRUE(c.process_as_underline(100, 140, 200, 0, 0, 0));
    ASSERT_EQ(c.get_underlines().size(), 1u);
    EXPECT_NEAR(c.get_underlines()[0].xMin, 96.0, 1e-3);
    EXPECT_NEAR(c.get_underlines()[0].xMax, 144.0, 1e-3);
    EXPECT_EQ(c.get_underlines()[0].yMin, 200);
    EXPECT_EQ(c.line_count(), 0u);
    // Now answered by the known underline (with the wider tolerance around it).
    EXPECT_TRUE(c.process_as_underline(100, 120, 201.5, 0, 0, 0));
    EXPECT_FALSE(c.process_as_underline(100, 120, 202.5, 0, 0, 0));
    EXPECT_FALSE(c.process_as_underline(95, 120, 200, 0, 0, 0));

    ulp::instance().flush();
    add(c, 200, 289, 417, 417);  // ends at 138.7 pt
    EXPECT_FALSE(c.process_as_underline(100, 140, 200, 0, 0, 0));
    EXPECT_TRUE(c.process_as_underline(100, 139, 200, 0, 0, 0));

    c.flush();
    add(c, 200, 300, 417, 417, 255, 0, 0);
    EXPECT_FALSE(c.process_as_underline(100, 140, 200, 0, 0, 0));
    EXPECT_TRUE(c.process_as_underline(100, 140, 200, 0, 0, 255));  // near-white channel on both
    c.flush();
    add(c, 200, 300, 417, 417, 255, 255, 255);
    EXPECT_FALSE(c.process_as_underline(100, 140, 200, 0, 0, 0));
    EXPECT_TRUE(c.process_as_underline(100, 140, 200, 254, 255, 253));
}

TEST(pdf_ulin, underline_takes_the_first_matching_line_in_list_order) {
    ulp c(true);
    // Both fit; the second has the nearer middle, the first comes first.
    add(c, 0, 300, 418, 418);  // middle 200.64 pt
    add(c, 0, 400, 416, 417);  // middle 199.92 pt
    ASSERT_TRUE(c.process_as_underline(10, 100, 200, 0, 0, 0));
    EXPECT_NEAR(c.get_underlines()[0].xMax, 300 / kPx, 1e-9);
    auto left = c.get_lines();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].xMax, 400);
    // A question that only the remaining line answers takes it next.
    ASSERT_TRUE(c.process_as_underline(150, 190, 200, 0, 0, 0));
    EXPECT_EQ(c.line_count(), 0u);
    EXPECT_EQ(c.get_underlines().size(), 2u);
}

TEST(pdf_ulin, cell_codes_name_the_table_and_the_first_cell_holding_the_box) {
    ulp c(true);
    // Table 1: 2 x 2 cells; table 2: 2 rows x 3 columns, red.
    add_grid(c, {100, 200, 300}, {100, 150, 200});
    add_grid(c, {100, 200, 300, 400}, {400, 450, 500}, 255, 0, 0);
    c.tableBuilding();
    ASSERT_NE(c.region(2), nullptr);
    const auto& t2 = *c.region(2);
    const auto& cell5 = t2.cells[5];
    EXPECT_EQ(c.process_is_inCell(cell5.xMin + 1, cell5.xMax - 1, cell5.yMin + 1, cell5.yMax - 1), 20005);
    const auto& cell0 = c.region(1)->cells[0];
    EXPECT_EQ(c.process_is_inCell(cell0.xMin + 1, cell0.xMax - 1, cell0.yMin + 1, cell0.yMax - 1), 10000);
    // Overhanging a cell by exactly 2.5 on its left is out of it (and of the table).
    EXPECT_EQ(c.process_is_inCell(cell0.xMin - 2.5, cell0.xMax - 1, cell0.yMin + 1, cell0.yMax - 1), 0);
    // A box across two cells is in neither; a box overhanging by 2 still fits.
    EXPECT_EQ(c.process_is_inCell(cell0.xMin + 1, cell0.xMax + 10, cell0.yMin + 1, cell0.yMax - 1), 0);
    EXPECT_EQ(c.process_is_inCell(cell0.xMin - 2, cell0.xMax + 2, cell0.yMin + 1, cell0.yMax - 1), 10000);
}

TEST(pdf_ulin, grid_lookup_agrees_with_a_scan_of_every_cell) {
    ulp::reg_item grid;
    grid.id = 1;
    grid.xMin = 200;  // pixels, like the edges
    grid.xMax = 805;
    grid.yMin = 100;
    grid.yMax = 600;
    grid.cellsBuilding({100, 104, 150, 300, 310, 600}, {200, 203, 260, 500, 800, 805});
    ulp::reg_item scan = grid;
    scan.row_edges.clear();  // no edges: every cell is tried in order
    scan.col_edges.clear();
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> xd(80, 400), yd(40, 300), wd(0, 40);
    int hits = 0;
    for (int i = 0; i < 20000; ++i) {
        double x1 = xd(rng), y1 = yd(rng);
        double x2 = x1 + wd(rng), y2 = y1 + wd(rng) / 3;
        int a = grid.is_inCell(x1, x2, y1, y2);
        ASSERT_EQ(a, scan.is_inCell(x1, x2, y1, y2)) << x1 << " " << x2 << " " << y1 << " " << y2;
        hits += a >= 0;
    }
    EXPECT_GT(hits, 1000);
}

TEST(pdf_ulin, edges_out_of_order_leave_the_lookup_to_the_cells) {
    ulp::reg_item r;
    r.id = 1;
    r.xMin = 100;
    r.xMax = 300;
    r.yMin = 100;
    r.yMax = 400;
    r.cellsBuilding({100, 300, 200, 400}, {100, 200, 300});
    ASSERT_EQ(r.cells.size(), 6u);
    EXPECT_TRUE(r.row_edges.empty());
    EXPECT_TRUE(r.col_edges.empty());
    // The first cell in row-major order that holds the box, as a scan finds it.
    EXPECT_EQ(r.is_inCell(50, 60, 50, 60), 0);
    EXPECT_EQ(r.is_inCell(100, 110, 160, 170), 5);  // only the third row (200..400 px) reaches down there
    EXPECT_EQ(r.is_inCell(50, 110, 50, 60), -1);   // across two columns
}

}  // namespace

TEST(pdf_ulin, each_edge_rule_decides_its_case) {
    // A 2 x 2 grid (box x 99..301, y 99..201 for 2 px rulings) and one more ruling.
    struct edge_case {
        const char* rule;
        double ruling;  // thickness of the grid's rulings, px
        std::vector<std::array<double, 4>> extra;
        int rows, cols;
    };
    const edge_case cases[] = {
        {"a row of 160 px, under 0.8 of the table, is no row", 2, {{100, 260, 174, 176}}, 3, 3},
        {"a row of 165 px, over 0.8 of the table, is a row", 2, {{100, 265, 174, 176}}, 4, 3},
        {"a row with a gap of 20 px is no row", 2, {{99, 265, 174, 176}, {285, 301, 174, 176}}, 3, 3},
        {"a row whose pieces are 5 px apart is a row", 2, {{99, 190, 174, 176}, {195, 301, 174, 176}}, 4, 3},
        {"a column over no more than half the height is no column", 2, {{249, 251, 152, 201}}, 3, 3},
        {"a column over more than half the height is a column", 2, {{249, 251, 148, 201}}, 3, 4},
        {"hair-lines: the thickness is raised to 0.3 pt", 0.5, {}, 3, 3},
    };
    for (const edge_case& e : cases) {
        ulp c(true);
        const double h = e.ruling / 2;
        for (double y : {100.0, 150.0, 200.0}) add(c, 99, 301, y - h, y + h);
        for (double x : {100.0, 200.0, 300.0}) add(c, x - h, x + h, 99, 201);
        for (const auto& l : e.extra) add(c, l[0], l[1], l[2], l[3]);
        c.tableBuilding();
        ASSERT_EQ(c.get_regions().size(), 1u) << e.rule;
        const ulp::reg_item& t = c.get_regions()[0];
        EXPECT_EQ(t.horiz_count, e.rows) << e.rule;
        EXPECT_EQ(t.vert_count, e.cols) << e.rule;
        EXPECT_DOUBLE_EQ(t.thickness, std::max(0.3, e.ruling / kPx)) << e.rule;
    }
    // The rulings of an accepted table are not underlines; the same ruling
    // before table building is one.
    for (bool built : {false, true}) {
        ulp c(true);
        add_grid(c, {100, 200, 300}, {100, 150, 200});
        if (built) c.tableBuilding();
        EXPECT_EQ(c.process_as_underline(60, 90, 150 / kPx, 0, 0, 0), !built) << built;
    }
}
