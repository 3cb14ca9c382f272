// The raster device's hooks. poppler's rasteriser cannot be changed from
// outside, so each fill and stroke is first measured here the way the
// rasteriser would measure it; a thin shape is handed to the collector and the
// base device never sees it, anything else is painted by the base as usual.
#include "PDFR/pdf_splash.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <GfxState.h>
#include <PDFDoc.h>
#include <Page.h>
#include <splash/Splash.h>
#include <splash/SplashBitmap.h>
#include <splash/SplashClip.h>
#include <splash/SplashPath.h>

#include "PDFR/pdf_jbig2.h"
#include "TK/tk_log.h"

namespace pdf_splash_rules {

// The clip rectangle covers [xMin, xMax) x [yMin, yMax); pixels are unit squares.
clip_result test_rect(const clip_rect& clip, const pixel_box& box) {
    if (box.xMax + 1.0 <= clip.xMin || box.xMin >= clip.xMax || box.yMax + 1.0 <= clip.yMin || box.yMin >= clip.yMax)
        return clip_result::outside;
    if (box.xMin >= clip.xMin && box.xMax + 1.0 <= clip.xMax && box.yMin >= clip.yMin && box.yMax + 1.0 <= clip.yMax &&
        !clip.has_paths)
        return clip_result::inside;
    return clip_result::partial;
}

bool thin_fill(const pixel_box& box) {
    const int w = box.xMax - box.xMin;
    const int h = box.yMax - box.yMin;
    return (w <= 4 && h >= 11) || (h <= 4 && w >= 11);
}

namespace {

int clamp_int(double v) {
    if (!(v > -1e9)) return -1000000000;
    if (!(v < 1e9)) return 1000000000;
    return static_cast<int>(v);
}

// Anti-aliased scanning works on quarter pixels: a box edge is the quarter
// pixel that holds the coordinate, brought back to whole pixels.
int aa_pixel(double v) {
    int q = clamp_int(std::floor(v * 4.0));
    return q >= 0 ? q / 4 : -((-q + 3) / 4);
}

bool equal(double a, double b) { return a == b; }

}  // namespace

pixel_box fill_box(const double* xs, const double* ys, int count, bool snap_x, bool snap_y) {
    pixel_box box;
    if (count <= 0) return box;
    double x0 = xs[0], x1 = xs[0], y0 = ys[0], y1 = ys[0];
    for (int i = 1; i < count; ++i) {
        x0 = std::min(x0, xs[i]);
        x1 = std::max(x1, xs[i]);
        y0 = std::min(y0, ys[i]);
        y1 = std::max(y1, ys[i]);
    }
    if ((snap_x || snap_y) && (count == 4 || count == 5)) {
        // Opposite sides must both be vertical or both horizontal.
        auto pt = [&](int i) { return i % 4; };
        bool pair_a = (equal(xs[pt(0)], xs[pt(1)]) && equal(xs[pt(2)], xs[pt(3)])) ||
                      (equal(ys[pt(0)], ys[pt(1)]) && equal(ys[pt(2)], ys[pt(3)]));
        bool pair_b = (equal(xs[pt(1)], xs[pt(2)]) && equal(xs[pt(3)], xs[pt(4)])) ||
                      (equal(ys[pt(1)], ys[pt(2)]) && equal(ys[pt(3)], ys[pt(4)]));
        bool closed = count == 4 || (equal(xs[4], xs[0]) && equal(ys[4], ys[0]));
        if (pair_a && pair_b && closed) {
            // Each edge rounds to a pixel boundary; an edge pair that rounds
            // together keeps one pixel.
            auto snap = [](double lo, double hi, int& first, int& last) {
                int a = clamp_int(std::floor(lo + 0.5));
                int b = clamp_int(std::floor(hi + 0.5));
                if (b == a) b = a + 1;
                first = a;
                last = b - 1;
            };
            if (snap_x)
                snap(x0, x1, box.xMin, box.xMax);
            else
                box.xMin = aa_pixel(x0), box.xMax = aa_pixel(x1);
            if (snap_y)
                snap(y0, y1, box.yMin, box.yMax);
            else
                box.yMin = aa_pixel(y0), box.yMax = aa_pixel(y1);
            return box;
        }
    }
    box.xMin = aa_pixel(x0);
    box.xMax = aa_pixel(x1);
    box.yMin = aa_pixel(y0);
    box.yMax = aa_pixel(y1);
    return box;
}

}  // namespace pdf_splash_rules

using namespace pdf_splash_rules;

namespace {

// The path in user space, subpath by subpath, as the base device converts it.
void convert_path(const GfxPath* path, bool drop_empty, SplashPath& out) {
    for (int i = 0; i < path->getNumSubpaths(); ++i) {
        const GfxSubpath* sub = path->getSubpath(i);
        const int n = sub->getNumPoints();
        if (n <= 0 || (drop_empty && n <= 1)) continue;
        out.moveTo(sub->getX(0), sub->getY(0));
        int j = 1;
        while (j < n) {
            if (sub->getCurve(j) && j + 2 < n) {
                out.curveTo(sub->getX(j), sub->getY(j), sub->getX(j + 1), sub->getY(j + 1), sub->getX(j + 2),
                            sub->getY(j + 2));
                j += 3;
            } else {
                out.lineTo(sub->getX(j), sub->getY(j));
                ++j;
            }
        }
        if (sub->isClosed()) out.close();
    }
}

// A user-space point through the rasteriser's matrix.
double device_x(const SplashCoord* m, double x, double y) { return x * m[0] + y * m[2] + m[4]; }
double device_y(const SplashCoord* m, double x, double y) { return x * m[1] + y * m[3] + m[5]; }

// Device-space points of a path and how many subpaths it has.
struct device_points {
    std::vector<double> xs, ys;
    int subpaths = 0;
    bool curves = false;
};

// Four corners (a fifth closing one) of an axis-parallel rectangle.
bool box_is_rectangle(const device_points& d) {
    const size_t n = d.xs.size();
    if (n != 4 && n != 5) return false;
    if (n == 5 && (d.xs[4] != d.xs[0] || d.ys[4] != d.ys[0])) return false;
    auto side = [&](size_t a, size_t b) { return d.xs[a] == d.xs[b % 4] || d.ys[a] == d.ys[b % 4]; };
    return side(0, 1) && side(1, 2) && side(2, 3) && side(3, 4);
}

device_points to_device(SplashPath& path, const SplashCoord* m) {
    device_points d;
    for (int i = 0; i < path.getLength(); ++i) {
        double x, y;
        unsigned char f;
        path.getPoint(i, &x, &y, &f);
        if (f & splashPathFirst) ++d.subpaths;
        if (f & splashPathCurve) d.curves = true;
        d.xs.push_back(device_x(m, x, y));
        d.ys.push_back(device_y(m, x, y));
    }
    return d;
}

clip_rect clip_of(Splash* s) {
    SplashClip* c = s->getClip();
    return clip_rect{c->getXMin(), c->getYMin(), c->getXMax(), c->getYMax(), c->getNumPaths() > 0};
}

// The colour a pattern paints at pixel (0, 0), as 8-bit RGB.
void colour_at_origin(SplashPattern* pattern, SplashColorMode mode, uint8_t& r, uint8_t& g, uint8_t& b) {
    SplashColor c = {0};
    pattern->getColor(0, 0, c);
    switch (mode) {
    case splashModeMono1:
    case splashModeMono8:
        r = g = b = c[0];
        break;
    default:
        r = c[0];
        g = c[1];
        b = c[2];
        break;
    }
}

// Bytes of one raster pixel in this colour mode (a bit of a mono raster counted as a byte).
int bytes_per_pixel(SplashColorMode mode) {
    switch (mode) {
    case splashModeMono1:
    case splashModeMono8:
        return 1;
    case splashModeRGB8:
    case splashModeBGR8:
        return 3;
    case splashModeDeviceN8:
        return SPOT_NCOMPS + 4;
    default:
        return 4;
    }
}

// A straight piece of a path in user space.
struct segment {
    double x0, y0, x1, y1;
};

// The "on" pieces of one segment under a dash pattern, as the rasteriser
// dashes it (negative lengths count as 0; a pattern of zeros draws nothing).
std::vector<segment> dash_pieces(const segment& seg, const std::vector<double>& pattern, double phase) {
    if (pattern.empty()) return {seg};
    std::vector<double> dash;
    double total = 0;
    for (double d : pattern) {
        dash.push_back(d > 0 ? d : 0);
        total += dash.back();
    }
    if (!(total > 0)) return {};
    phase -= std::floor(phase / total) * total;
    size_t idx = 0;
    bool on = true;
    while (phase > 0 && idx < dash.size() && phase >= dash[idx]) {
        on = !on;
        phase -= dash[idx];
        ++idx;
    }
    if (idx == dash.size()) return {};
    double left = dash[idx] - phase;  // of the current dash entry
    const double len = std::hypot(seg.x1 - seg.x0, seg.y1 - seg.y0);
    std::vector<segment> out;
    if (!(len > 0)) {
        if (on) out.push_back(seg);
        return out;
    }
    double at = 0;
    // Bounded: zero-length entries only flip the state.
    for (size_t guard = 0; at < len && guard < 1000000; ++guard) {
        double step = std::min(left, len - at);
        if (on && step > 0) {
            double t0 = at / len, t1 = (at + step) / len;
            out.push_back({seg.x0 + (seg.x1 - seg.x0) * t0, seg.y0 + (seg.y1 - seg.y0) * t0,
                           seg.x0 + (seg.x1 - seg.x0) * t1, seg.y0 + (seg.y1 - seg.y0) * t1});
        }
        at += step;
        left -= step;
        if (left <= 0) {
            idx = (idx + 1) % dash.size();
            on = !on;
            left = dash[idx];
        }
    }
    return out;
}

// Strokes every piece but one, undashed, with the rasteriser's current paint.
void paint_pieces(Splash* s, const std::vector<segment>& pieces, size_t skip) {
    SplashPath rest;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i == skip) continue;
        rest.moveTo(pieces[i].x0, pieces[i].y0);
        rest.lineTo(pieces[i].x1, pieces[i].y1);
    }
    if (rest.getLength() == 0) return;
    s->saveState();
    s->setLineDash({}, 0);
    s->stroke(&rest);
    s->restoreState();
}

}  // namespace

void pdf_splash_canvas::fill_box(const pdf_uline_processor::pipe_holder& how, int x0, int x1, int y0, int y1) {
    auto* paint = dynamic_cast<const pdf_splash_paint*>(how.paint.get());
    if (!splash_ || !paint || !paint->pattern) return;
    Splash* s = splash_;
    s->saveState();
    SplashCoord identity[6] = {1, 0, 0, 1, 0, 0};
    s->setMatrix(identity);
    s->setStrokeAdjust(false);
    s->setFillPattern(paint->pattern->copy());
    s->setFillAlpha(paint->alpha);
    SplashBitmap* bitmap = s->getBitmap();
    if (how.noClip && bitmap) {
        s->clipResetToRect(0, 0, bitmap->getWidth(), bitmap->getHeight());
    } else if (paint->has_clip && bitmap) {
        // A clip kept from another band of the page may reach past this raster.
        s->clipResetToRect(std::max(0.0, paint->clip_x0), std::max(0.0, paint->clip_y0),
                           std::min<double>(bitmap->getWidth(), paint->clip_x1),
                           std::min<double>(bitmap->getHeight(), paint->clip_y1));
    }
    // The far edges sit just inside the last pixel, as the rasteriser places
    // snapped edges, so exactly the pixels x0..x1, y0..y1 are covered.
    SplashPath path;
    path.moveTo(x0, y0);
    path.lineTo(x1 + 1 - 0.01, y0);
    path.lineTo(x1 + 1 - 0.01, y1 + 1 - 0.01);
    path.lineTo(x0, y1 + 1 - 0.01);
    path.close();
    s->fill(&path, false);
    s->restoreState();
}

pdf_splash_dev::pdf_splash_dev(SplashColorMode colorMode, int bitmapRowPad, bool reverseVideo,
                               SplashColorPtr paperColor, bool bitmapTopDown)
    : SplashOutputDev(colorMode, bitmapRowPad, reverseVideo, paperColor, bitmapTopDown), mode_(colorMode) {}

pdf_splash_dev::~pdf_splash_dev() = default;

bool pdf_splash_dev::display_page(PDFDoc* doc, int page, double dpi, bool (*abort_check)(void*), void* abort_data) {
    band_ = band_slice();
    deferred_.clear();
    Page* p = doc->getPage(page);
    if (!p) {
        doc->displayPage(this, page, dpi, dpi, 0, false, true, false, abort_check, abort_data, &pdf_page_budget::annotation_callback,
                         budget_);
        return true;
    }
    // The page's raster as the core sizes it for the whole page.
    int rotate = p->getRotate();
    if (rotate >= 360) rotate -= 360;
    else if (rotate < 0) rotate += 360;
    GfxState whole(dpi, dpi, p->getCropBox(), rotate, true);
    const int w = std::max(1, clamp_int(whole.getPageWidth() + 0.5));
    const int h = std::max(1, clamp_int(whole.getPageHeight() + 0.5));
    // Colour components and the alpha channel the core keeps beside them.
    const double row_bytes = static_cast<double>(w) * (bytes_per_pixel(mode_) + 1);
    auto raster_made = [&](int rows) {
        SplashBitmap* b = getBitmap();
        return b && b->getWidth() == w && b->getHeight() == rows;
    };
    int rows = forced_band_height_ > 0 ? forced_band_height_
                                       : static_cast<int>(std::min<double>(h, max_raster_bytes / row_bytes));
    if (forced_band_height_ <= 0 && row_bytes * h <= max_raster_bytes) rows = h;
    if (rows >= h) {
        doc->displayPage(this, page, dpi, dpi, 0, false, true, false, abort_check, abort_data, &pdf_page_budget::annotation_callback,
                         budget_);
        return raster_made(h);
    }
    if (rows < 1 || (forced_band_height_ <= 0 && (h + static_cast<long long>(rows) - 1) / rows > max_bands))
        return false;
    // The slices cover the crop box exactly like the whole page; they clip to
    // their own raster, so the crop box needs no clip of its own. The bottom
    // band comes first: the raster left is the page's top.
    bool made = true;
    const int bands = (h + rows - 1) / rows;
    for (int k = bands - 1; k >= 0 && made; --k) {
        const int top = k * rows;
        band_ = band_slice{true, top, std::min(rows, h - top), k == 0, k == bands - 1};
        doc->displayPageSlice(this, page, dpi, dpi, 0, false, false, false, 0, top, w, band_.rows, abort_check,
                              abort_data, &pdf_page_budget::annotation_callback, budget_);
        made = raster_made(band_.rows);
        if ((abort_check && abort_check(abort_data)) || over_budget()) break;
    }
    if (made) hand_over_deferred();
    deferred_.clear();
    return made;
}

void pdf_splash_dev::startPage(int pageNum, GfxState* state, XRef* xref) {
    SplashOutputDev::startPage(pageNum, state, xref);
    page_splash_ = getSplash();
    op_index_ = 0;
}

void pdf_splash_dev::defer(bool hair, const std::vector<probe>& probes, SplashPattern* pattern, double alpha) {
    Splash* s = getSplash();
    deferred_shape& d = deferred_[op_index_];
    // Every band plays the same operations, so the shape is known by its
    // place among them, never by its box: each band's matrix carries its own
    // offset, and a box on whole pixels can round to another pixel there.
    if (d.holder && (d.hair != hair || d.probes.size() != probes.size())) return;  // ran otherwise
    // The top band's matrix is the whole page's (its slice starts at the
    // page's first row), so its boxes are the ones one raster would measure.
    if (!d.holder || band_.top == 0) {
        d.hair = hair;
        d.probes.resize(probes.size());
        for (size_t i = 0; i < probes.size(); ++i) {
            d.probes[i].box = probes[i].box;
            d.probes[i].box.yMin += band_.top;
            d.probes[i].box.yMax += band_.top;
            d.probes[i].eligible = probes[i].eligible;
        }
        d.holder = std::make_unique<pdf_uline_processor::pipe_holder>();
        colour_at_origin(pattern, mode_, d.holder->r, d.holder->g, d.holder->b);
        auto paint = std::make_unique<pdf_splash_paint>(pattern->copy(), alpha);
        SplashClip* c = s->getClip();
        paint->clip_x0 = c->getXMin();
        paint->clip_y0 = c->getYMin() + band_.top;
        paint->clip_x1 = c->getXMax();
        paint->clip_y1 = c->getYMax() + band_.top;
        d.holder->paint = std::move(paint);
    }
    // The part of each box in this band's rows (a box may reach past the first
    // and last rows of the page) against this band's clip, both in this band's
    // own pixels: the box is inside the page's clip when every part is,
    // outside when every part is. The raster's own bounds stop just short of
    // its last row; inside the page the band's first and last rows are no edge.
    clip_rect clip = clip_of(s);
    if (!band_.first && clip.yMin <= 0) clip.yMin = -1e9;
    if (!band_.last && clip.yMax > band_.rows - 0.01) clip.yMax = 1e9;
    for (size_t i = 0; i < probes.size(); ++i) {
        pixel_box part = probes[i].box;
        if (!band_.first) part.yMin = std::max(part.yMin, 0);
        if (!band_.last) part.yMax = std::min(part.yMax, band_.rows - 1);
        if (part.yMin > part.yMax) continue;
        const clip_result cr = test_rect(clip, part);
        deferred_probe& p = d.probes[i];
        p.seen = true;
        p.inside = p.inside && cr == clip_result::inside;
        p.outside = p.outside && cr == clip_result::outside;
    }
}

bool pdf_splash_dev::thin_here(const pixel_box& box) const {
    if (!band_.on || band_.first) return thin_fill(box);
    // A lower band's matrix carries its offset and may round an edge to
    // another pixel than the page's: it only records where a shape that may be
    // thin lies; the top band, measuring as one raster, decides once.
    const int w = box.xMax - box.xMin, h = box.yMax - box.yMin;
    return (w <= 5 && h >= 10) || (h <= 5 && w >= 10);
}

void pdf_splash_dev::forget_deferred() {
    // The top band measures as one raster: a shape it does not withhold is
    // not withheld, whatever another band's rounding made of it.
    if (band_.on && band_.top == 0) deferred_.erase(op_index_);
}

void pdf_splash_dev::hand_over_deferred() {
    pdf_uline_processor* col = pdf_uline_processor::find();
    if (!col) return;
    // The rules of the whole-page hooks: a fill wholly inside the clip; the
    // first dash of a hair-line not wholly outside it.
    for (auto& [op, d] : deferred_) {
        for (const deferred_probe& p : d.probes) {
            if (!p.eligible || !p.seen || (d.hair ? p.outside : !p.inside)) continue;
            d.holder->noClip = p.inside;
            static_cast<pdf_splash_paint*>(d.holder->paint.get())->has_clip = !p.inside;
            col->set_line(p.box.xMin, p.box.xMax, p.box.yMin, p.box.yMax, std::move(d.holder));
            break;
        }
    }
}

bool pdf_splash_dev::on_page_raster() {
    // Type 3 caches, tiles, soft masks and groups paint into rasterisers of
    // their own, whose coordinates are not the page's.
    return page_splash_ && getSplash() == page_splash_;
}

namespace {
double finite_or(double v, double fallback) { return std::isfinite(v) ? v : fallback; }
}  // namespace

// What the rasteriser walks for the current path under the current clip: each
// segment of a fill is scanned over the rows it crosses (four sub-rows each,
// anti-aliased), a wide stroke's outline over its width too; a hair-line is
// drawn pixel by pixel; a dash pattern makes a piece per dash. A curve counts by its control polygon,
// which bounds the flattened curve, plus the pieces flattening makes of it.
bool pdf_splash_dev::affordable(GfxState* state, bool stroke) {
    if (!budget_) return true;
    if (budget_->exceeded()) return false;
    double cx0, cy0, cx1, cy1;
    state->getClipBBox(&cx0, &cy0, &cx1, &cy1);
    cx0 = finite_or(cx0, 0), cy0 = finite_or(cy0, 0), cx1 = finite_or(cx1, 0), cy1 = finite_or(cy1, 0);
    const double clip_w = std::max(0.0, cx1 - cx0), clip_h = std::max(0.0, cy1 - cy0);
    const double width = stroke ? std::min(clip_h, std::fabs(finite_or(state->getTransformedLineWidth(), 0))) : 0;
    // Strokes narrower than a pixel are drawn pixel by pixel, not scanned.
    const bool hair = stroke && width < 1;
    double dash_start = 0, dash_total = 0;
    if (stroke)
        for (double d : state->getLineDash(&dash_start)) dash_total += d > 0 ? d : 0;
    dash_total = state->transformWidth(dash_total);
    const GfxPath* path = state->getPath();
    double work = 0;
    for (int i = 0; i < path->getNumSubpaths(); ++i) {
        const GfxSubpath* sub = path->getSubpath(i);
        double px = 0, py = 0;
        for (int j = 0; j < sub->getNumPoints(); ++j) {
            double x, y;
            state->transform(sub->getX(j), sub->getY(j), &x, &y);
            x = finite_or(x, 1e12), y = finite_or(y, 1e12);
            if (j > 0) {
                const double dx = std::fabs(x - px), dy = std::fabs(std::clamp(y, cy0, cy1) - std::clamp(py, cy0, cy1));
                if (hair) work += std::min(std::max(dx, dy), clip_w + clip_h) + 1;
                else work += std::min(dy + width, clip_h) * 4 + 1;
                if (dash_total > 0) work += std::min(std::hypot(dx, std::fabs(y - py)) / dash_total, 1e12) * 4;
            }
            if (sub->getCurve(j)) work += 16;
            px = x, py = y;
        }
        if (work > budget_->get_limits().shape_work) break;
    }
    return budget_->allow_shape(work);
}

void pdf_splash_dev::clip(GfxState* state) {
    if (affordable(state, false)) SplashOutputDev::clip(state);
}

void pdf_splash_dev::eoClip(GfxState* state) {
    if (affordable(state, false)) SplashOutputDev::eoClip(state);
}

void pdf_splash_dev::clipToStrokePath(GfxState* state) {
    if (affordable(state, true)) SplashOutputDev::clipToStrokePath(state);
}

bool pdf_splash_dev::tilingPatternFill(GfxState* state, Gfx* gfx, Catalog* catalog, GfxTilingPattern* tPat,
                                       const double* mat, int x0, int y0, int x1, int y1, double xStep,
                                       double yStep) {
    if (over_budget()) return true;
    return SplashOutputDev::tilingPatternFill(state, gfx, catalog, tPat, mat, x0, y0, x1, y1, xStep, yStep);
}

bool pdf_splash_dev::functionShadedFill(GfxState* state, GfxFunctionShading* shading) {
    return over_budget() || SplashOutputDev::functionShadedFill(state, shading);
}

bool pdf_splash_dev::axialShadedFill(GfxState* state, GfxAxialShading* shading, double tMin, double tMax) {
    return over_budget() || SplashOutputDev::axialShadedFill(state, shading, tMin, tMax);
}

bool pdf_splash_dev::radialShadedFill(GfxState* state, GfxRadialShading* shading, double tMin, double tMax) {
    return over_budget() || SplashOutputDev::radialShadedFill(state, shading, tMin, tMax);
}

bool pdf_splash_dev::gouraudTriangleShadedFill(GfxState* state, GfxGouraudTriangleShading* shading) {
    return over_budget() || SplashOutputDev::gouraudTriangleShadedFill(state, shading);
}

// Images are scaled from all of their source pixels, however small they are
// drawn; the core skips the data of an inline image that is not drawn.
// JBIG2 data also asks for the bitmaps its own headers declare.
Stream* pdf_splash_dev::image_source(double pixels, Stream* str, bool inlineImg, std::unique_ptr<Stream>& replay,
                                     Stream* maskStr) {
    if (!image_affordable(pixels) || !image_affordable(pdf_jbig2_declared_pixels(str, inlineImg, replay)))
        return nullptr;
    std::unique_ptr<Stream> none;  // a mask's data is never inline
    if (maskStr && !image_affordable(pdf_jbig2_declared_pixels(maskStr, false, none))) return nullptr;
    return replay ? replay.get() : str;
}

void pdf_splash_dev::drawImageMask(GfxState* state, Object* ref, Stream* str, int width, int height, bool invert,
                                   bool interpolate, bool inlineImg) {
    std::unique_ptr<Stream> replay;
    if (Stream* data = image_source(double(width) * height, str, inlineImg, replay))
        SplashOutputDev::drawImageMask(state, ref, data, width, height, invert, interpolate, inlineImg);
}

// An image mask filled with a pattern becomes the mask the pattern is painted
// through. For one over the limit a single blank pixel stands in: no source
// pixel of it is read, and the core finds the mask it will take away again.
void pdf_splash_dev::setSoftMaskFromImageMask(GfxState* state, Object* ref, Stream* str, int width, int height,
                                              bool invert, bool inlineImg, double* baseMatrix) {
    std::unique_ptr<Stream> replay;
    if (Stream* data = image_source(double(width) * height, str, inlineImg, replay)) {
        SplashOutputDev::setSoftMaskFromImageMask(state, ref, data, width, height, invert, inlineImg, baseMatrix);
        return;
    }
    // A sample that paints nothing: 1, or 0 when the mask is inverted.
    static const char blank[] = {'\x80', '\x00'};
    MemStream none(invert ? blank + 1 : blank, 0, 1, Object(objNull));
    SplashOutputDev::setSoftMaskFromImageMask(state, ref, &none, 1, 1, invert, false, baseMatrix);
}

void pdf_splash_dev::drawImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                               GfxImageColorMap* colorMap, bool interpolate, const int* maskColors, bool inlineImg) {
    std::unique_ptr<Stream> replay;
    if (Stream* data = image_source(double(width) * height, str, inlineImg, replay))
        SplashOutputDev::drawImage(state, ref, data, width, height, colorMap, interpolate, maskColors, inlineImg);
}

void pdf_splash_dev::drawMaskedImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                                     GfxImageColorMap* colorMap, bool interpolate, Stream* maskStr, int maskWidth,
                                     int maskHeight, bool maskInvert, bool maskInterpolate) {
    std::unique_ptr<Stream> none;
    if (image_source(double(width) * height + double(maskWidth) * maskHeight, str, false, none, maskStr))
        SplashOutputDev::drawMaskedImage(state, ref, str, width, height, colorMap, interpolate, maskStr, maskWidth,
                                         maskHeight, maskInvert, maskInterpolate);
}

void pdf_splash_dev::drawSoftMaskedImage(GfxState* state, Object* ref, Stream* str, int width, int height,
                                         GfxImageColorMap* colorMap, bool interpolate, Stream* maskStr,
                                         int maskWidth, int maskHeight, GfxImageColorMap* maskColorMap,
                                         bool maskInterpolate) {
    std::unique_ptr<Stream> none;
    if (image_source(double(width) * height + double(maskWidth) * maskHeight, str, false, none, maskStr))
        SplashOutputDev::drawSoftMaskedImage(state, ref, str, width, height, colorMap, interpolate, maskStr,
                                             maskWidth, maskHeight, maskColorMap, maskInterpolate);
}

void pdf_splash_dev::fill(GfxState* state) {
    tk_log::write(1, "SplashOutputDev::fill");
    if (state->getFillColorSpace()->isNonMarking()) return;
    if (!affordable(state, false)) return;
    if (auto* col = pdf_uline_processor::find()) col->set_simple_path(state->getPath()->getNumSubpaths() == 1);
    if (withhold_fill(state, false)) return;
    SplashOutputDev::fill(state);
}

void pdf_splash_dev::eoFill(GfxState* state) {
    if (state->getFillColorSpace()->isNonMarking()) return;
    if (!affordable(state, false)) return;
    if (withhold_fill(state, true)) return;
    SplashOutputDev::eoFill(state);
}

void pdf_splash_dev::stroke(GfxState* state) {
    tk_log::write(1, "SplashOutputDev::stroke");
    if (state->getStrokeColorSpace()->isNonMarking()) return;
    if (!affordable(state, true)) return;
    if (auto* col = pdf_uline_processor::find()) {
        const GfxPath* p = state->getPath();
        col->set_simple_path(p->getNumSubpaths() == 1 && p->getSubpath(0)->getNumPoints() == 2);
    }
    if (withhold_stroke(state)) return;
    SplashOutputDev::stroke(state);
}

bool pdf_splash_dev::withhold_fill(GfxState* state, bool /*eo: the box does not depend on the rule*/) {
    pdf_uline_processor* col = pdf_uline_processor::find();
    if (!col || !on_page_raster()) return false;
    ++op_index_;
    Splash* s = getSplash();
    if (!s->getVectorAntialias()) return false;  // only anti-aliased fills are measured
    SplashPath path;
    convert_path(state->getPath(), true, path);
    if (path.getLength() == 0) return false;
    device_points d = to_device(path, s->getMatrix());
    const bool snap = s->getStrokeAdjust() && d.subpaths == 1 && !d.curves;
    pixel_box box = fill_box(d.xs.data(), d.ys.data(), static_cast<int>(d.xs.size()), snap, snap);
    if (!thin_here(box)) {
        forget_deferred();
        return false;
    }
    SplashPattern* pattern = s->getFillPattern();
    if (!pattern) return false;
    if (band_.on) {
        defer(false, {probe{box, true}}, pattern, s->getFillAlpha());
        return true;
    }
    if (test_rect(clip_of(s), box) != clip_result::inside) return false;

    auto holder = std::make_unique<pdf_uline_processor::pipe_holder>();
    colour_at_origin(pattern, mode_, holder->r, holder->g, holder->b);
    holder->paint = std::make_unique<pdf_splash_paint>(pattern->copy(), s->getFillAlpha());
    holder->noClip = true;
    col->set_line(box.xMin, box.xMax, box.yMin, box.yMax, std::move(holder));
    col->set_simple_path(false);
    return true;
}

bool pdf_splash_dev::withhold_stroke(GfxState* state) {
    pdf_uline_processor* col = pdf_uline_processor::find();
    if (!col || !on_page_raster()) return false;
    ++op_index_;
    Splash* s = getSplash();
    SplashPattern* pattern = s->getStrokePattern();
    if (!pattern) return false;
    SplashPath path;
    convert_path(state->getPath(), false, path);
    if (path.getLength() == 0) return false;
    const SplashCoord* m = s->getMatrix();

    auto hand_over = [&](double x0, double x1, double y0, double y1, bool noClip) {
        auto holder = std::make_unique<pdf_uline_processor::pipe_holder>();
        colour_at_origin(pattern, mode_, holder->r, holder->g, holder->b);
        auto paint = std::make_unique<pdf_splash_paint>(pattern->copy(), s->getStrokeAlpha());
        if (!noClip) {
            SplashClip* c = s->getClip();
            paint->has_clip = true;
            paint->clip_x0 = c->getXMin();
            paint->clip_y0 = c->getYMin();
            paint->clip_x1 = c->getXMax();
            paint->clip_y1 = c->getYMax();
        }
        holder->paint = std::move(paint);
        holder->noClip = noClip;
        col->set_line(x0, x1, y0, y1, std::move(holder));
        col->set_simple_path(false);
        return true;
    };

    if (s->getLineWidth() == 0) {
        // Hair-line: only a simple path (one two-point segment) is looked at;
        // a dash pattern splits it into pieces, of which the first that
        // qualifies is withheld and the others are painted.
        if (!col->simple_path()) return false;
        device_points user;
        for (int i = 0; i < path.getLength(); ++i) {
            double x, y;
            unsigned char f;
            path.getPoint(i, &x, &y, &f);
            user.xs.push_back(x);
            user.ys.push_back(y);
        }
        if (user.xs.size() != 2) return false;
        double dash_start = 0;
        const std::vector<double>& dash = state->getLineDash(&dash_start);
        std::vector<segment> pieces =
            dash_pieces({user.xs[0], user.ys[0], user.xs[1], user.ys[1]}, dash, dash_start);
        // Each dash: a horizontal one qualifies, a steep one when it is long
        // and narrow, a shallow one never.
        std::vector<probe> probes;
        for (const segment& u : pieces) {
            const double fx0 = device_x(m, u.x0, u.y0), fy0 = device_y(m, u.x0, u.y0);
            const double fx1 = device_x(m, u.x1, u.y1), fy1 = device_y(m, u.x1, u.y1);
            int x0 = clamp_int(std::floor(fx0)), y0 = clamp_int(std::floor(fy0));
            int x1 = clamp_int(std::floor(fx1)), y1 = clamp_int(std::floor(fy1));
            probe p;
            if (y0 == y1) {
                if (x0 > x1) std::swap(x0, x1);
                p.box = {x0, y0, x1, y0};
            } else if (std::fabs((fx1 - fx0) / (fy1 - fy0)) <= 1) {
                if (y0 > y1) {
                    std::swap(x0, x1);
                    std::swap(y0, y1);
                }
                p.box = {std::min(x0, x1), y0, std::max(x0, x1), y1};
                p.eligible = col->tables_mode() && std::abs(x1 - x0) <= 4 && std::abs(y1 - y0) >= 11;
            } else {
                p.eligible = false;
            }
            probes.push_back(p);
        }
        if (band_.on) {
            defer(true, probes, pattern, s->getStrokeAlpha());
            return true;
        }
        const clip_rect clip = clip_of(s);
        for (size_t k = 0; k < probes.size(); ++k) {
            if (!probes[k].eligible) continue;
            const pixel_box& box = probes[k].box;
            clip_result cr = test_rect(clip, box);
            if (cr == clip_result::outside) continue;
            if (pieces.size() > 1) paint_pieces(s, pieces, k);
            return hand_over(box.xMin, box.xMax, box.yMin, box.yMax, cr == clip_result::inside);
        }
        return false;
    }

    // Wide stroke: its outline is filled, so the fill rule decides.
    if (!s->getVectorAntialias()) return false;
    std::unique_ptr<SplashPath> outline(s->makeStrokePath(&path, s->getLineWidth(), true));
    if (!outline || outline->getLength() == 0) return false;
    device_points d = to_device(*outline, m);
    // Stroke adjustment snaps the two sides of a stroke and the end where
    // the path finishes; the end where it starts keeps its partial pixel.
    const bool snap = s->getStrokeAdjust() && d.subpaths == 1 && !d.curves;
    const auto [min_x, max_x] = std::minmax_element(d.xs.begin(), d.xs.end());
    const auto [min_y, max_y] = std::minmax_element(d.ys.begin(), d.ys.end());
    const bool along_x = *max_x - *min_x >= *max_y - *min_y;
    pixel_box box = fill_box(d.xs.data(), d.ys.data(), static_cast<int>(d.xs.size()), snap && !along_x,
                             snap && along_x);
    if (snap && path.getLength() == 2 && box_is_rectangle(d)) {
        double sx, sy, ex, ey;
        unsigned char f;
        path.getPoint(0, &sx, &sy, &f);
        path.getPoint(1, &ex, &ey, &f);
        const double start = along_x ? device_x(m, sx, sy) : device_y(m, sx, sy);
        const double end = along_x ? device_x(m, ex, ey) : device_y(m, ex, ey);
        int& far_edge = end >= start ? (along_x ? box.xMax : box.yMax) : (along_x ? box.xMin : box.yMin);
        const double edge = end >= start ? (along_x ? *max_x : *max_y) : (along_x ? *min_x : *min_y);
        far_edge = clamp_int(std::floor(edge + 0.5)) - (end >= start ? 1 : 0);
    }
    if (!thin_here(box)) {
        forget_deferred();
        return false;
    }
    if (band_.on) {
        defer(false, {probe{box, true}}, pattern, s->getStrokeAlpha());
        return true;
    }
    if (test_rect(clip_of(s), box) != clip_result::inside) return false;
    return hand_over(box.xMin, box.xMax, box.yMin, box.yMax, true);
}
