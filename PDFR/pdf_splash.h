// The raster device of the first pass: a SplashOutputDev that withholds thin
// filled and stroked shapes as ruling lines (handing them to the collector)
// instead of painting them, and that rasterises no glyphs.
#pragma once

#include <memory>

#include <SplashOutputDev.h>
#include <splash/SplashPattern.h>

#include "PDFR/pdf_ulin.h"

class Splash;
class SplashPath;

// The paint of a withheld shape on the page's rasteriser: a copy of its
// pattern, its alpha and the rectangle of the clip it was drawn under (clip
// paths cannot be copied from outside the rasteriser; only the rectangle is kept).
class pdf_splash_paint : public pdf_line_paint {
public:
    pdf_splash_paint(SplashPattern* pattern_copy, double alpha) : pattern(pattern_copy), alpha(alpha) {}
    std::unique_ptr<SplashPattern> pattern;
    double alpha;
    bool has_clip = false;
    double clip_x0 = 0, clip_y0 = 0, clip_x1 = 0, clip_y1 = 0;
};

// Paints withheld boxes back through the rasteriser's public operations.
class pdf_splash_canvas : public pdf_uline_processor::canvas {
public:
    explicit pdf_splash_canvas(Splash* splash) : splash_(splash) {}
    void fill_box(const pdf_uline_processor::pipe_holder& how, int x0, int x1, int y0, int y1) override;

private:
    Splash* splash_;
};

// The decisions of the hooks, on whole device pixels; kept apart from the
// device so they can be checked on their own.
namespace pdf_splash_rules {

enum class clip_result { inside, outside, partial };

struct pixel_box {
    int xMin = 0, yMin = 0, xMax = 0, yMax = 0;  // inclusive
};

// The clip rectangle (fractional, as the rasteriser keeps it) and whether
// any clip path narrows it further.
struct clip_rect {
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    bool has_paths = false;
};

clip_result test_rect(const clip_rect& clip, const pixel_box& box);
clip_result test_span(const clip_rect& clip, int x0, int x1, int y);

// A filled box is withheld when it is thin one way (at most 4) and long the
// other (at least 11), and wholly inside the clip.
bool thin_fill(const pixel_box& box);

// The pixel box a fill of these device-space points covers. With stroke
// adjustment the rasteriser snaps the sides of a single axis-parallel
// rectangle (both pairs for a filled one, the long sides for a stroke
// outline): each snapped edge rounds to a pixel boundary, at least one pixel apart.
pixel_box fill_box(const double* xs, const double* ys, int count, bool snap_x, bool snap_y);

}  // namespace pdf_splash_rules

class pdf_splash_dev : public SplashOutputDev {
public:
    // The same arguments as SplashOutputDev's.
    pdf_splash_dev(SplashColorMode colorMode, int bitmapRowPad, bool reverseVideo, SplashColorPtr paperColor,
                   bool bitmapTopDown = true);
    ~pdf_splash_dev() override;

    void startPage(int pageNum, GfxState* state, XRef* xref) override;
    void fill(GfxState* state) override;
    void eoFill(GfxState* state) override;
    void stroke(GfxState* state) override;

    // No glyph is rasterised; Type 3 glyph procedures are not run.
    void updateFont(GfxState*) override {}
    void drawChar(GfxState*, double, double, double, double, double, double, CharCode, int, const Unicode*,
                  int) override {}
    bool interpretType3Chars() override { return false; }

private:
    // True when the shape was handed to the collector and must not be painted.
    bool withhold_fill(GfxState* state, bool eo);
    bool withhold_stroke(GfxState* state);
    bool on_page_raster();

    SplashColorMode mode_;
    Splash* page_splash_ = nullptr;  // the page's own rasteriser, replaced by every startPage
};
