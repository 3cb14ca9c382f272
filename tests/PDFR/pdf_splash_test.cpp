// The raster device's hooks on generated pages at 150 dpi: which shapes are
// withheld, with which box, and that painting them back afterwards gives the
// raster the plain device would have made.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <tuple>
#include <string>
#include <vector>

#include <GlobalParams.h>
#include <PDFDoc.h>
#include <Stream.h>
#include <SplashOutputDev.h>
#include <splash/SplashBitmap.h>

#include "PDFR/pdf_splash.h"
#include "PDFR/pdf_ulin.h"
#include "tests/support/mini_pdf.h"

namespace {

using ulp = pdf_uline_processor;
using rules = pdf_splash_rules::pixel_box;

// Points of a pixel coordinate at 150 dpi (0.48 pt per pixel); y from the top.
double px(double p) { return p * 0.48; }
double py(double p) { return 792 - p * 0.48; }

// A filled rectangle given in device pixels (left, top, width, height).
std::string rect_px(double x, double y, double w, double h, double r = 0, double g = 0, double b = 0,
                    const char* op = "f") {
    char buf[200];
    std::snprintf(buf, sizeof buf, "%g %g %g rg %g %g %g %g re %s\n", r, g, b, px(x), py(y + h), px(w), px(h), op);
    return buf;
}

// A stroked two-point line in device pixels with a line width in points.
std::string line_px(double x0, double y0, double x1, double y1, double width, double r = 0, double g = 0,
                    double b = 0) {
    char buf[200];
    std::snprintf(buf, sizeof buf, "%g %g %g RG %g w %g %g m %g %g l S\n", r, g, b, width, px(x0), py(y0), px(x1),
                  py(y1));
    return buf;
}

struct raster {
    int w = 0, h = 0;
    std::vector<unsigned char> rgb;
    unsigned char at(int x, int y, int c) const { return rgb[(static_cast<size_t>(y) * w + x) * 3 + c]; }
    bool white(int x, int y) const { return at(x, y, 0) == 255 && at(x, y, 1) == 255 && at(x, y, 2) == 255; }
    // Box of every non-white pixel; xMin > xMax when there is none.
    rules ink() const {
        rules b{w, h, -1, -1};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (!white(x, y)) {
                    b.xMin = std::min(b.xMin, x);
                    b.xMax = std::max(b.xMax, x);
                    b.yMin = std::min(b.yMin, y);
                    b.yMax = std::max(b.yMax, y);
                }
        return b;
    }
};

raster grab(SplashBitmap* bm) {
    raster r;
    r.w = bm->getWidth();
    r.h = bm->getHeight();
    r.rgb.resize(static_cast<size_t>(r.w) * r.h * 3);
    for (int y = 0; y < r.h; ++y)
        std::copy_n(bm->getDataPtr() + static_cast<size_t>(y) * bm->getRowSize(), r.w * 3, &r.rgb[y * r.w * 3]);
    return r;
}

class pdf_splash : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!globalParams) globalParams = std::make_unique<GlobalParams>();
    }

    // The document is read from memory: test programs may run side by side.
    std::unique_ptr<PDFDoc> open(const std::string& content) { return open_bytes(mini_pdf::build({content})); }

    std::unique_ptr<PDFDoc> open_bytes(const std::string& bytes) {
        buffers_.push_back(std::make_unique<std::string>(bytes));
        std::string& b = *buffers_.back();
        auto doc = std::make_unique<PDFDoc>(new MemStream(b.data(), 0, static_cast<Goffset>(b.size()), Object(objNull)));
        EXPECT_TRUE(doc->isOk());
        return doc;
    }

    // The page through the plain device.
    raster plain(const std::string& content) {
        auto doc = open(content);
        SplashColor paper = {255, 255, 255};
        SplashOutputDev dev(splashModeRGB8, 1, false, paper, true);
        dev.startDoc(doc.get());
        doc->displayPage(&dev, 1, 150, 150, 0, false, true, false);
        return grab(dev.getBitmap());
    }

    // The page through the hooked device; the raster before and after undo_lines.
    void hooked(const std::string& content, raster& before, raster* after = nullptr) {
        auto doc = open(content);
        SplashColor paper = {255, 255, 255};
        pdf_splash_dev dev(splashModeRGB8, 1, false, paper, true);
        dev.startDoc(doc.get());
        doc->displayPage(&dev, 1, 150, 150, 0, false, true, false);
        before = grab(dev.getBitmap());
        if (after) {
            collector.undo_lines(dev.getSplash());
            *after = grab(dev.getBitmap());
        }
    }

    std::vector<std::unique_ptr<std::string>> buffers_;  // before the collector: outlives every document
    std::unique_ptr<ulp> owned = std::make_unique<ulp>(true);
    ulp& collector = *owned;
};

TEST_F(pdf_splash, rules_for_boxes_and_clips) {
    using namespace pdf_splash_rules;
    EXPECT_TRUE(thin_fill({0, 0, 11, 4}));
    EXPECT_FALSE(thin_fill({0, 0, 10, 4}));
    EXPECT_FALSE(thin_fill({0, 0, 11, 5}));
    EXPECT_TRUE(thin_fill({0, 0, 4, 11}));
    clip_rect clip{10.0, 10.0, 100.0, 100.0, false};
    EXPECT_EQ(test_rect(clip, {10, 10, 99, 99}), clip_result::inside);
    EXPECT_EQ(test_rect(clip, {10, 10, 100, 99}), clip_result::partial);
    EXPECT_EQ(test_rect(clip, {100, 10, 120, 99}), clip_result::outside);
    clip.has_paths = true;
    EXPECT_EQ(test_rect(clip, {20, 20, 30, 30}), clip_result::partial);
    // Snapped rectangles: edges round to pixel boundaries, never below one pixel.
    double xs[] = {10.4, 30.6, 30.6, 10.4, 10.4}, ys[] = {5.2, 5.2, 5.4, 5.4, 5.2};
    rules b = fill_box(xs, ys, 5, true, true);
    EXPECT_EQ(std::make_tuple(b.xMin, b.xMax, b.yMin, b.yMax), std::make_tuple(10, 30, 5, 5));
    b = fill_box(xs, ys, 5, false, false);
    EXPECT_EQ(std::make_tuple(b.xMin, b.xMax, b.yMin, b.yMax), std::make_tuple(10, 30, 5, 5));
}

TEST_F(pdf_splash, thin_filled_rectangles_are_withheld_with_the_box_the_plain_device_paints) {
    // Heights 3, 5 and 6 px span 2, 4 and 5 pixel rows beyond the first.
    struct shape {
        double x, y, w, h;
        bool withheld;
    };
    const shape shapes[] = {
        {100, 100, 200, 3, true},  {100, 200, 200, 5, true},  {100, 300, 200, 6, false},
        {400, 100, 3, 11, false},  {400, 200, 3, 12, true},   {500, 100.3, 150.2, 2.6, true},
        {500, 200.7, 1.2, 40, true},
    };
    for (const shape& s : shapes) {
        SCOPED_TRACE(testing::Message() << s.x << "," << s.y << " " << s.w << "x" << s.h);
        std::string page = rect_px(s.x, s.y, s.w, s.h, 0.2, 0.4, 0.6);
        raster ref = plain(page);
        rules want = ref.ink();
        raster got;
        hooked(page, got);
        ASSERT_EQ(collector.line_count(), s.withheld ? 1u : 0u);
        if (s.withheld) {
            EXPECT_GT(got.ink().xMin, got.ink().xMax) << "nothing painted";
            ulp::line_item l = collector.get_lines()[0];
            EXPECT_EQ(l.xMin, want.xMin);
            EXPECT_EQ(l.xMax, want.xMax);
            EXPECT_EQ(l.yMin, want.yMin);
            EXPECT_EQ(l.yMax, want.yMax);
            const ulp::pipe_holder* h = collector.holder_at(0);
            EXPECT_TRUE(h->noClip);
            EXPECT_EQ(std::make_tuple(h->r, h->g, h->b), std::make_tuple(51, 102, 153));
        } else {
            EXPECT_EQ(got.rgb, ref.rgb);
        }
        collector.flush();
    }
}

TEST_F(pdf_splash, withheld_boxes_match_the_plain_device_at_any_position) {
    // Rectangles, wide strokes and hair-lines at fractional positions: whatever
    // is withheld has the box the plain device inks, and painting it back gives
    // its raster.
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> pos(50, 900), len(8, 300), thin(0.2, 6), width(0.1, 2.5);
    for (int i = 0; i < 50; ++i) {
        std::string page;
        bool across = rng() % 2;
        double x = pos(rng), y = pos(rng), l = len(rng), t = thin(rng);
        if (i % 5 == 4)
            page = across ? line_px(x, y, x + l, y, 0) : line_px(x, y, x, y + l, 0);
        else if (i % 2)
            page = across ? rect_px(x, y, l, t) : rect_px(x, y, t, l);
        else
            page = across ? (i % 4 ? line_px(x, y, x + l, y, width(rng)) : line_px(x + l, y, x, y, width(rng)))
                          : (i % 4 ? line_px(x, y, x, y + l, width(rng)) : line_px(x, y + l, x, y, width(rng)));
        SCOPED_TRACE(page);
        raster ref = plain(page), before, after;
        hooked(page, before, &after);
        if (collector.line_count() == 1) {
            rules want = ref.ink();
            auto got = collector.get_lines()[0];
            EXPECT_EQ(std::make_tuple(got.xMin, got.xMax, got.yMin, got.yMax),
                      std::make_tuple(double(want.xMin), double(want.xMax), double(want.yMin), double(want.yMax)));
            // The box is painted back solid; the plain device leaves the pixels
            // at the start of a stroke partly covered. Nothing else differs.
            for (int y = 0; y < ref.h; ++y)
                for (int x = 0; x < ref.w; ++x) {
                    if (ref.at(x, y, 0) == after.at(x, y, 0)) continue;
                    bool edge = (x == want.xMin || x == want.xMax || y == want.yMin || y == want.yMax) &&
                                x >= want.xMin && x <= want.xMax && y >= want.yMin && y <= want.yMax;
                    ASSERT_TRUE(edge && after.at(x, y, 0) < ref.at(x, y, 0)) << x << "," << y;
                }
        } else {
            EXPECT_EQ(collector.line_count(), 0u);
            EXPECT_EQ(after.rgb, ref.rgb);
        }
        collector.flush();
    }
}

TEST_F(pdf_splash, even_odd_fills_and_clips) {
    raster got;
    hooked(rect_px(100, 100, 200, 3, 0, 0, 0, "f*"), got);
    EXPECT_EQ(collector.line_count(), 1u);
    collector.flush();
    // A clip that cuts the rectangle: painted as usual.
    char clip[120];
    std::snprintf(clip, sizeof clip, "q %g %g %g %g re W n\n", px(150), py(400), px(400), px(400));
    std::string cut = std::string(clip) + rect_px(100, 100, 200, 3) + "Q\n";
    hooked(cut, got);
    EXPECT_EQ(collector.line_count(), 0u);
    EXPECT_EQ(got.rgb, plain(cut).rgb);
    // A clip that holds it whole: withheld.
    std::snprintf(clip, sizeof clip, "q %g %g %g %g re W n\n", px(50), py(400), px(400), px(400));
    hooked(std::string(clip) + rect_px(100, 100, 200, 3) + "Q\n", got);
    EXPECT_EQ(collector.line_count(), 1u);
}

TEST_F(pdf_splash, hair_lines_by_direction_and_shape) {
    raster got;
    // Horizontal: withheld as one row.
    hooked(line_px(100.5, 300.5, 400.5, 300.5, 0), got);
    ASSERT_EQ(collector.line_count(), 1u);
    auto l = collector.get_lines()[0];
    EXPECT_EQ(l.yMin, l.yMax);
    EXPECT_EQ(l.yMin, 300);
    EXPECT_EQ(l.xMin, 100);
    EXPECT_EQ(l.xMax, 400);
    EXPECT_TRUE(collector.holder_at(0)->noClip);
    collector.flush();
    // Steep and long: withheld; steep but short: painted.
    hooked(line_px(200.5, 100.5, 202.5, 300.5, 0), got);
    ASSERT_EQ(collector.line_count(), 1u);
    l = collector.get_lines()[0];
    EXPECT_EQ(std::make_tuple(l.xMin, l.xMax, l.yMin, l.yMax), std::make_tuple(200.0, 202.0, 100.0, 300.0));
    collector.flush();
    hooked(line_px(200.5, 100.5, 200.5, 110.5, 0), got);
    EXPECT_EQ(collector.line_count(), 0u);
    // Shallow diagonal and a hair-line rectangle outline: painted.
    std::string shallow = line_px(100.5, 100.5, 400.5, 150.5, 0);
    hooked(shallow, got);
    EXPECT_EQ(collector.line_count(), 0u);
    EXPECT_EQ(got.rgb, plain(shallow).rgb);
    char outline[160];
    std::snprintf(outline, sizeof outline, "0 w %g %g %g %g re S\n", px(100), py(300), px(300), px(200));
    hooked(outline, got);
    EXPECT_EQ(collector.line_count(), 0u);
    EXPECT_EQ(got.rgb, plain(outline).rgb);
    // A horizontal hair-line only partly inside the clip is withheld, to be
    // painted back with clip tests.
    char clip[120];
    std::snprintf(clip, sizeof clip, "q %g %g %g %g re W n\n", px(200), py(400), px(400), px(400));
    std::string clipped = std::string(clip) + line_px(100.5, 300.5, 400.5, 300.5, 0) + "Q\n";
    raster after;
    hooked(clipped, got, &after);
    ASSERT_EQ(collector.line_count(), 1u);
    EXPECT_FALSE(collector.holder_at(0)->noClip);
    EXPECT_EQ(after.rgb, plain(clipped).rgb);  // only the part inside that clip
}

TEST_F(pdf_splash, a_dashed_hair_line_gives_its_first_dash_and_paints_the_others) {
    std::string page = "[20 10] 5 d\n" + line_px(100.5, 300.5, 700.5, 300.5, 0);
    raster before, after;
    hooked(page, before, &after);
    ASSERT_EQ(collector.line_count(), 1u);
    auto l = collector.get_lines()[0];
    EXPECT_EQ(l.xMin, 100);
    EXPECT_EQ(l.xMax, 131);  // 15 pt of the first dash left after the phase
    EXPECT_EQ(l.yMin, 300);
    EXPECT_FALSE(before.white(170, 300));  // a later dash is painted at once
    EXPECT_TRUE(before.white(110, 300));
    EXPECT_EQ(after.rgb, plain(page).rgb);
}

TEST_F(pdf_splash, wide_strokes_one_pixel_grids_and_thick_lines) {
    raster got;
    // A 1 px grid of stroked rules: every rule withheld, nothing painted.
    std::string grid;
    for (int i = 0; i < 4; ++i) grid += line_px(100, 100 + i * 40, 400, 100 + i * 40, 0.48);
    for (int i = 0; i < 4; ++i) grid += line_px(100 + i * 100, 100, 100 + i * 100, 220, 0.48);
    hooked(grid, got);
    EXPECT_EQ(collector.line_count(), 8u);
    EXPECT_GT(got.ink().xMin, got.ink().xMax);
    collector.flush();
    // A 10 px thick line is painted.
    std::string thick = line_px(100, 300, 400, 300, 4.8);
    hooked(thick, got);
    EXPECT_EQ(collector.line_count(), 0u);
    EXPECT_EQ(got.rgb, plain(thick).rgb);
}

TEST_F(pdf_splash, text_leaves_no_glyph_in_the_raster) {
    raster got;
    hooked(mini_pdf::text(72, 700, "Total 1234", 1, 24) + mini_pdf::text(72, 600, "Times", 3, 24), got);
    EXPECT_GT(got.ink().xMin, got.ink().xMax);
}

// A page whose content draws a half-transparent group and a Type 3 glyph,
// each holding a thin rectangle, beside a plain thin rectangle. (An opaque
// group is drawn straight onto the page by the core, like any content.)
std::string group_and_type3_pdf() {
    const std::string thin = rect_px(100, 300, 400, 3);
    const std::string content = rect_px(100, 100, 400, 3) + "q /GS gs /G Do Q\nBT /T3 100 Tf " +
                                std::to_string(px(100)) + " " + std::to_string(py(600)) + " Td (a) Tj ET\n";
    const std::string glyph = "1000 0 d0 0 0 1000 20 re f\n";
    std::vector<std::string> objs = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 6 0 R "
        "/Resources << /XObject << /G 4 0 R >> /Font << /T3 5 0 R >> /ExtGState << /GS << /ca 0.5 >> >> >> >>",
        "<< /Type /XObject /Subtype /Form /BBox [0 0 612 792] /Group << /S /Transparency >> /Length " +
            std::to_string(thin.size()) + " >>\nstream\n" + thin + "\nendstream",
        "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0 0 0.001 0 0] "
        "/CharProcs << /a 7 0 R >> /Encoding << /Type /Encoding /Differences [97 /a] >> /FirstChar 97 "
        "/LastChar 97 /Widths [1000] /Resources << >> >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
        "<< /Length " + std::to_string(glyph.size()) + " >>\nstream\n" + glyph + "\nendstream",
    };
    return mini_pdf::assemble(objs, 1);
}

TEST_F(pdf_splash, groups_are_painted_and_type3_glyphs_are_not_run) {
    auto doc = open_bytes(group_and_type3_pdf());
    SplashColor paper = {255, 255, 255};
    pdf_splash_dev dev(splashModeRGB8, 1, false, paper, true);
    dev.startDoc(doc.get());
    doc->displayPage(&dev, 1, 150, 150, 0, false, true, false);
    raster got = grab(dev.getBitmap());
    // Only the plain rectangle was withheld; the group's was painted in its
    // own raster and composited; the glyph left nothing.
    ASSERT_EQ(collector.line_count(), 1u);
    EXPECT_EQ(collector.get_lines()[0].yMin, 100);
    EXPECT_TRUE(got.white(300, 101));
    EXPECT_FALSE(got.white(300, 301));
    for (int y = 560; y < 610; ++y)
        for (int x = 100; x < 320; ++x) ASSERT_TRUE(got.white(x, y)) << x << "," << y;
}

TEST_F(pdf_splash, undo_lines_paints_back_exactly_what_was_withheld_in_its_colour) {
    std::string page = rect_px(100, 100, 200, 3, 1, 0, 0) + rect_px(100, 200.4, 300.3, 2.2, 0, 0.5, 0) +
                       rect_px(400, 100, 2, 200, 0, 0, 1) + line_px(100.5, 400.5, 500.5, 400.5, 0, 0.3, 0.3, 0.3) +
                       line_px(600.5, 100.5, 600.5, 500.5, 0, 0.7, 0.1, 0.9) + line_px(100, 600, 500, 600, 0.5) +
                       rect_px(700, 100, 100, 100, 0.5, 0.5, 0.5);  // a box: painted at once
    raster before, after;
    hooked(page, before, &after);
    EXPECT_EQ(collector.line_count(), 6u);
    raster ref = plain(page);
    EXPECT_NE(before.rgb, ref.rgb);
    ASSERT_EQ(after.rgb.size(), ref.rgb.size());
    size_t differ = 0;
    for (size_t i = 0; i < ref.rgb.size(); ++i) differ += ref.rgb[i] != after.rgb[i];
    EXPECT_EQ(differ, 0u);
}

TEST_F(pdf_splash, without_a_collector_the_device_paints_everything) {
    std::string page = rect_px(100, 100, 200, 3) + line_px(100.5, 300.5, 400.5, 300.5, 0);
    raster ref = plain(page);
    owned.reset();
    raster got;
    hooked(page, got);
    EXPECT_EQ(got.rgb, ref.rgb);
}

}  // namespace

namespace {

// What the collector holds after the raster pass, for comparing two passes.
struct held {
    ulp::line_item line;
    bool noClip;
    uint8_t r, g, b;
    bool operator==(const held& o) const {
        return std::make_tuple(line.xMin, line.xMax, line.yMin, line.yMax, noClip, r, g, b) ==
               std::make_tuple(o.line.xMin, o.line.xMax, o.line.yMin, o.line.yMax, o.noClip, o.r, o.g, o.b);
    }
};

std::ostream& operator<<(std::ostream& os, const held& h) {
    return os << h.line.xMin << ".." << h.line.xMax << " x " << h.line.yMin << ".." << h.line.yMax
              << (h.noClip ? " noClip" : "") << " rgb " << int(h.r) << "," << int(h.g) << "," << int(h.b);
}

// The lines the raster pass hands over and the tables built from them.
struct pass_result {
    std::vector<held> lines;
    std::vector<std::vector<double>> tables;  // id, box, then the cells' boxes
};

pass_result raster_pass(ulp& collector, PDFDoc* doc, int band_height) {
    SplashColor paper = {255, 255, 255};
    pdf_splash_dev dev(splashModeRGB8, 1, false, paper, true);
    dev.force_band_height(band_height);
    dev.startDoc(doc);
    EXPECT_TRUE(dev.display_page(doc, 1, 150));
    pass_result out;
    for (size_t i = 0; i < collector.line_count(); ++i) {
        const ulp::pipe_holder* h = collector.holder_at(i);
        out.lines.push_back({collector.get_lines()[i], h->noClip, h->r, h->g, h->b});
    }
    collector.tableBuilding();
    for (const ulp::reg_item& r : collector.get_regions()) {
        out.tables.push_back({double(r.id), r.xMin, r.xMax, r.yMin, r.yMax});
        for (const ulp::cell_item& c : r.cells)
            out.tables.back().insert(out.tables.back().end(), {c.xMin, c.xMax, c.yMin, c.yMax});
    }
    collector.flush();
    return out;
}

}  // namespace

TEST_F(pdf_splash, bands_give_the_lines_and_tables_of_the_whole_page) {
    // Rulings across band edges (stroked, filled, hair-line, dashed), thin
    // shapes cut by a clip or by the page's edge, and a ruled grid: bands of
    // 37 rows hand over the same lines, in the same order, as one raster.
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> pos(-20, 1100), len(8, 600), thin(0.2, 4.5), width(0.1, 2.0);
    std::string page;
    for (int i = 0; i < 120; ++i) {
        const double x = pos(rng), y = pos(rng) * 1.5, l = len(rng), t = thin(rng), c = (i % 3) * 0.3;
        const bool across = i % 2;
        switch (i % 6) {
        case 0: page += across ? rect_px(x, y, l, t, c) : rect_px(x, y, t, l, 0, c); break;
        case 1: page += across ? line_px(x, y, x + l, y, width(rng)) : line_px(x, y + l, x, y, width(rng)); break;
        case 2: page += across ? line_px(x, y, x + l, y, 0) : line_px(x + 1.7, y, x, y + l, 0, c, 0, c); break;
        case 3: page += "q [" + std::to_string(7 + i % 40) + " 9] 3 d\n" + line_px(x, y, x + 2, y + l, 0) + "Q\n"; break;
        case 4: {
            char clip[160];
            std::snprintf(clip, sizeof clip, "q %g %g %g %g re W n\n", px(x), py(y + 300), px(250), px(300));
            page += clip + (across ? rect_px(x - 20, y + 150, 300, t) : line_px(x + 100, y - 40, x + 100, y + 200, 0)) +
                    "Q\n";
            break;
        }
        default: page += rect_px(x, 1630 + t * 4, t, l); break;  // reaching past the page's bottom edge
        }
    }
    std::string grid;
    for (int k = 0; k < 5; ++k) grid += line_px(300, 700.3 + 111.1 * k, 900, 700.3 + 111.1 * k, 0.75, 0, 0.6, 0.2);
    for (int k = 0; k < 4; ++k) grid += rect_px(300 + 200 * k, 700.3, 1.6, 444.4, 0, 0.6, 0.2);
    page += grid;

    auto pass = [&](int band_height) { return raster_pass(collector, open(page).get(), band_height); };
    auto whole = pass(0), banded = pass(37);
    EXPECT_GT(whole.lines.size(), 40u);
    EXPECT_EQ(banded.lines, whole.lines);
    EXPECT_TRUE(std::any_of(whole.tables.begin(), whole.tables.end(), [](auto& t) { return t[0] > 0; }));
    EXPECT_EQ(banded.tables, whole.tables);
}

TEST_F(pdf_splash, bands_keep_rulings_on_whole_pixels) {
    // Edges on whole pixels (every 12 pt) are where a band's matrix, which
    // carries the band's offset, can round to another pixel than the page's.
    // Three ruled grids (hair-lines, filled rules, wide strokes) at the top
    // of the page, across the edge of bands of 6575 rows and inside lower
    // bands, measured from
    // the top on a page of 12630 pt (the tallest of its width made in one
    // raster) and of 12640 pt (made in bands of its own). The filled rules
    // are 1 to 6 px thick: up to 5 px (4 px as the rasteriser measures a box
    // on whole pixels) they are rulings, at 6 px they are painted.
    auto page = [](double height, double thick) {
        std::string out;
        char buf[200];
        auto line = [&](double x0, double r0, double x1, double r1, double w, const char* op) {
            std::snprintf(buf, sizeof buf, "%g w %g %g m %g %g l %s\n", w, x0 * 0.48, height - r0 * 0.48, x1 * 0.48,
                          height - r1 * 0.48, op);
            out += buf;
        };
        auto rule = [&](double x, double r, double w, double h) {
            std::snprintf(buf, sizeof buf, "%g %g %g %g re f\n", x * 0.48, height - (r + h) * 0.48, w * 0.48,
                          h * 0.48);
            out += buf;
        };
        for (double top : {200.0, 6550.0, 9000.0, 20000.0}) {
            for (int k = 0; k < 4; ++k) {
                const double r = top + 25 * k;
                line(100, r, 350, r, 0, "S");
                rule(450, r, 250, thick);
                line(800, r, 1050, r, 0.96, "S");
            }
            for (int k = 0; k < 3; ++k) {
                const double x = 100 + 125 * k, bottom = top + 75;
                line(x, top, x, bottom, 0, "S");
                rule(x + 350, top, thick, 75);
                line(x + 700, top, x + 700, bottom, 0.96, "S");
            }
        }
        return mini_pdf::build({out}, 612, height);
    };
    for (const double thick : {1, 2, 4, 5, 6}) {
        SCOPED_TRACE(thick);
        const std::string tallest = page(12630, thick);
        const pass_result whole = raster_pass(collector, open_bytes(tallest).get(), 0);
        const bool ruling = thick <= 5;
        ASSERT_EQ(whole.lines.size(), ruling ? 84u : 56u);
        ASSERT_EQ(std::count_if(whole.tables.begin(), whole.tables.end(), [](auto& t) { return t[0] > 0; }),
                  ruling ? 12 : 8);
        for (const pass_result& banded : {raster_pass(collector, open_bytes(tallest).get(), 6575),
                                          raster_pass(collector, open_bytes(page(12640, thick)).get(), 0)}) {
            EXPECT_EQ(banded.lines, whole.lines);
            EXPECT_EQ(banded.tables, whole.tables);
        }
    }
}

TEST_F(pdf_splash, bands_decide_thin_rules_once_on_the_whole_page) {
    // Filled rules of 1 to 6 px on whole and half pixels, all in the lower
    // band of an A0 page (bands of its own, and bands of 100 rows): one
    // raster measures a 5 px rule on whole pixels as 4 px, thin; a band's
    // matrix may round it to 5 px. Thinness is decided once, as one raster
    // decides it: up to 5 px the rules are withheld in every band, at 6 px none is.
    const double height = 3370, width = 2384;
    for (const double thick : {1, 2, 4, 5, 6}) {
        SCOPED_TRACE(thick);
        std::string content;
        char buf[160];
        for (int k = 0; k < 40; ++k) {
            const double row = 6760 + 4 * k + (k % 3) * 0.5, col = 100 + 13 * k;
            std::snprintf(buf, sizeof buf, "%g %g %g %g re f\n%g %g %g %g re f\n", col * 0.48,
                          height - (row + thick) * 0.48, 300.0, thick * 0.48, (col + 1000) * 0.48,
                          height - (row + 60) * 0.48, thick * 0.48, 60 * 0.48);
            content += buf;
        }
        const std::string pdf = mini_pdf::build({content}, width, height);
        const pass_result whole = raster_pass(collector, open_bytes(pdf).get(), 100000);
        ASSERT_EQ(whole.lines.size(), thick <= 5 ? 80u : 0u);
        for (int band : {0, 100})
            EXPECT_EQ(raster_pass(collector, open_bytes(pdf).get(), band).lines, whole.lines) << band;
    }
}

// JBIG2 data of an inline 16 x 16 image mask whose headers declare a page and
// a generic region of size x size pixels.
std::string inline_jbig2(unsigned size) {
    auto be = [](unsigned v, int bytes) {
        std::string s;
        for (int i = bytes - 1; i >= 0; --i) s += static_cast<char>((v >> (8 * i)) & 0xff);
        return s;
    };
    auto segment = [&](unsigned number, int type, const std::string& data) {
        return be(number, 4) + static_cast<char>(type) + '\0' + '\1' + be(static_cast<unsigned>(data.size()), 4) + data;
    };
    const std::string page = be(size, 4) + be(size, 4) + std::string(11, '\0');
    const std::string region = be(size, 4) + be(size, 4) + std::string(9, '\0') + "\x08\x03\xff\xfd\xff\x02\xfe\xfe\xfe" +
                               std::string(16, '\0');
    return "q 200 0 0 200 72 400 cm BI /W 16 /H 16 /IM true /F /JBIG2Decode ID " + segment(0, 48, page) +
           segment(1, 38, region) + " EI Q\n" + rect_px(100, 100, 400, 30);
}

TEST_F(pdf_splash, jbig2_images_are_drawn_unless_their_data_declares_too_many_pixels) {
    // Its data is read ahead for its headers, then handed to the core whole.
    raster sound;
    hooked(inline_jbig2(16), sound);
    EXPECT_EQ(sound.rgb, plain(inline_jbig2(16)).rgb);
    EXPECT_GT(sound.ink().yMax, 700);  // the image, below the rectangle
    // 10^10 pixels: the core would decode for minutes; the content after it is drawn.
    auto doc = open(inline_jbig2(100000));
    SplashColor paper = {255, 255, 255};
    pdf_splash_dev dev(splashModeRGB8, 1, false, paper, true);
    pdf_page_budget budget;
    budget.start();
    dev.set_budget(&budget);
    dev.startDoc(doc.get());
    doc->displayPage(&dev, 1, 150, 150, 0, false, true, false);
    const rules ink = grab(dev.getBitmap()).ink();
    EXPECT_EQ(std::make_tuple(ink.xMin, ink.yMin, ink.xMax, ink.yMax), std::make_tuple(100, 100, 499, 129));
    EXPECT_FALSE(budget.spent());
}

// An inline image mask of `size` x `size` filled with a tiling pattern of
// black squares, then a rectangle below it.
std::string pattern_mask_doc(unsigned size) {
    const std::string tile = "0 0 0 rg 0 0 10 10 re f";
    const std::string content = "q /Pattern cs /P1 scn 200 0 0 200 72 400 cm BI /W " + std::to_string(size) +
                                " /H " + std::to_string(size) + " /IM true ID " + std::string(32, '\0') + " EI Q\n" +
                                rect_px(100, 100, 400, 30);
    return mini_pdf::assemble(
        {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
         "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << /Pattern << /P1 5 0 R "
         ">> >> >>",
         "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
         "<< /Type /Pattern /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] /XStep 10 /YStep 10 "
         "/Resources << >> /Length " + std::to_string(tile.size()) + " >>\nstream\n" + tile + "\nendstream"},
        1);
}

TEST_F(pdf_splash, a_pattern_through_an_image_mask_over_the_limit_reads_none_of_its_pixels) {
    // The core scales every source pixel of a mask it paints a pattern
    // through (10^10 here: minutes, where no callback is asked). A small
    // one is painted as the plain device paints it.
    auto draw = [&](unsigned size, pdf_page_budget* budget) {
        auto doc = open_bytes(pattern_mask_doc(size));
        SplashColor paper = {255, 255, 255};
        if (!budget) {
            SplashOutputDev dev(splashModeRGB8, 1, false, paper, true);
            dev.startDoc(doc.get());
            doc->displayPage(&dev, 1, 150, 150, 0, false, true, false);
            return grab(dev.getBitmap());
        }
        pdf_splash_dev dev(splashModeRGB8, 1, false, paper, true);
        budget->start();
        dev.set_budget(budget);
        dev.startDoc(doc.get());
        doc->displayPage(&dev, 1, 150, 150, 0, false, true, false);
        return grab(dev.getBitmap());
    };
    pdf_page_budget small, huge;
    EXPECT_EQ(draw(16, &small).rgb, draw(16, nullptr).rgb);
    const rules ink = draw(100000, &huge).ink();
    EXPECT_EQ(ink.yMin, 100);  // the rectangle after it is drawn
    EXPECT_GE(ink.xMax, 499);
    EXPECT_FALSE(huge.spent());
}
