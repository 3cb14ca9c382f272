// The raster device of the first pass: a SplashOutputDev that withholds thin
// filled and stroked shapes as ruling lines (handing them to the collector)
// instead of painting them, and that rasterises no glyphs.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include <SplashOutputDev.h>
#include <splash/SplashPattern.h>

#include "PDFR/pdf_budget.h"
#include "PDFR/pdf_ulin.h"

class PDFDoc;
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

    // The raster pass of one page. A page whose raster would take more than
    // max_raster_bytes is played in horizontal bands of at most that size, and
    // its thin shapes reach the collector in page pixels, decided on the whole
    // shape as one raster would (a line across bands stays one line). False
    // when no raster could be made (too large, or refused): nothing was withheld.
    // The raster left behind holds the page from its first row on (the top band
    // of a banded page), so the late painting needs no offset.
    bool display_page(PDFDoc* doc, int page, double dpi, bool (*abort_check)(void*) = nullptr,
                      void* abort_data = nullptr);
    // Plays every page in bands of this many rows, however many bands that
    // makes (0: bands only where the raster is too large).
    void force_band_height(int rows) { forced_band_height_ = rows; }

    static constexpr double max_raster_bytes = 128.0 * 1024 * 1024;
    // Each band plays the whole page again: beyond this many the page is refused.
    static constexpr int max_bands = 128;

    // The page's budget (owned by the caller; null: none). A shape or image
    // beyond its own limit is not drawn (the page goes on); once the budget is
    // spent nothing more of the page is drawn and its forms and annotations
    // are skipped.
    void set_budget(pdf_page_budget* budget) { budget_ = budget; }

    void startPage(int pageNum, GfxState* state, XRef* xref) override;
    void fill(GfxState* state) override;
    void eoFill(GfxState* state) override;
    void stroke(GfxState* state) override;
    void clip(GfxState* state) override;
    void eoClip(GfxState* state) override;
    void clipToStrokePath(GfxState* state) override;
    bool useDrawForm() override { return over_budget(); }
    void drawForm(Ref) override {}
    bool tilingPatternFill(GfxState* state, Gfx* gfx, Catalog* catalog, GfxTilingPattern* tPat, const double* mat,
                           int x0, int y0, int x1, int y1, double xStep, double yStep) override;
    bool functionShadedFill(GfxState* state, GfxFunctionShading* shading) override;
    bool axialShadedFill(GfxState* state, GfxAxialShading* shading, double tMin, double tMax) override;
    bool radialShadedFill(GfxState* state, GfxRadialShading* shading, double tMin, double tMax) override;
    bool gouraudTriangleShadedFill(GfxState* state, GfxGouraudTriangleShading* shading) override;
    void drawImageMask(GfxState* state, Object* ref, Stream* str, int width, int height, bool invert,
                       bool interpolate, bool inlineImg) override;
    void drawImage(GfxState* state, Object* ref, Stream* str, int width, int height, GfxImageColorMap* colorMap,
                   bool interpolate, const int* maskColors, bool inlineImg) override;
    void drawMaskedImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                         GfxImageColorMap* colorMap, bool interpolate, Stream* maskStr, int maskWidth,
                         int maskHeight, bool maskInvert, bool maskInterpolate) override;
    void drawSoftMaskedImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                             GfxImageColorMap* colorMap, bool interpolate, Stream* maskStr, int maskWidth,
                             int maskHeight, GfxImageColorMap* maskColorMap, bool maskInterpolate) override;
    void setSoftMaskFromImageMask(GfxState* state, Object* ref, Stream* str, int width, int height, bool invert,
                                  bool inlineImg, double* baseMatrix) override;

    // No glyph is rasterised; Type 3 glyph procedures are not run.
    void updateFont(GfxState*) override {}
    void drawChar(GfxState*, double, double, double, double, double, double, CharCode, int, const Unicode*,
                  int) override {}
    bool interpretType3Chars() override { return false; }

private:
    // Whether the current path may be handed to the rasteriser (always
    // without a budget).
    bool affordable(GfxState* state, bool stroke);
    // Whether the page is over its budget now (checks it; false without one).
    bool over_budget() { return budget_ && budget_->exceeded(); }
    bool image_affordable(double pixels) { return !budget_ || budget_->allow_image(pixels); }
    // What to hand the core an image's data in: `str`, or for an inline image
    // whose JBIG2 headers were read ahead the stream `replay` then holds; null
    // when `pixels` (the image's and its mask's source pixels) or the bitmaps
    // the JBIG2 data of `str` or `maskStr` declares are beyond the limit.
    Stream* image_source(double pixels, Stream* str, bool inlineImg, std::unique_ptr<Stream>& replay,
                         Stream* maskStr = nullptr);

    // True when the shape was handed to the collector and must not be painted.
    bool withhold_fill(GfxState* state, bool eo);
    bool withhold_stroke(GfxState* state);
    bool on_page_raster();

    // A shape that may be withheld, as boxes in the current raster's pixels:
    // one for a fill, one per dash for a hair-line (the first one that
    // qualifies is withheld; `eligible` false: never).
    struct probe {
        pdf_splash_rules::pixel_box box;
        bool eligible = true;
    };
    // Banded page: records what this band sees of the shape, which is then
    // not painted in any band; it is decided after the last band.
    void defer(bool hair, const std::vector<probe>& probes, SplashPattern* pattern, double alpha);
    // Whether a filled box may be withheld: thin_fill on one raster and in
    // the top band; a lower band lets through every box that may be thin.
    bool thin_here(const pdf_splash_rules::pixel_box& box) const;
    // Banded page: the shape is no thin one as the top band measures it.
    void forget_deferred();
    // After the last band: the withheld shapes to the collector, in page order.
    void hand_over_deferred();

    // The band being played: its first page row, its height, whether it is
    // the page's top or bottom band.
    struct band_slice {
        bool on = false;  // the page is played in bands
        int top = 0, rows = 0;
        bool first = true, last = true;
    };
    struct deferred_probe : probe {
        bool seen = false, inside = true, outside = true;  // over the bands it crosses
    };
    struct deferred_shape {
        bool hair = false;
        std::vector<deferred_probe> probes;  // page pixels
        std::unique_ptr<pdf_uline_processor::pipe_holder> holder;
    };

    SplashColorMode mode_;
    int forced_band_height_ = 0;
    band_slice band_;
    int op_index_ = 0;                          // painting operation on the page raster
    std::map<int, deferred_shape> deferred_;    // by operation, while bands are played
    Splash* page_splash_ = nullptr;  // the page's own rasteriser, replaced by every startPage
    pdf_page_budget* budget_ = nullptr;
};
