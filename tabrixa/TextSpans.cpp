// ActualText spans: the glyphs drawn inside a marked-content span with
// /ActualText wait for its end; then the span's text takes their place.
#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include <GfxState.h>

#include "tabrixa/TextHelpers.h"
#include "tabrixa/TextPage.h"
#include "tabrixa/TextWord.h"

namespace tbx {

namespace {

// Coordinate of a device point along the reading direction of rotation rot.
double alongOf(int rot, double x, double y) {
    switch (rot) {
        default:
        case 0: return x;
        case 1: return y;
        case 2: return -x;
        case 3: return -y;
    }
}

// The same of a word's edge (x for rotations 0 and 2, y for 1 and 3).
double edgeAlong(int rot, double e) { return (rot == 0 || rot == 1) ? e : -e; }

// Coordinate of a device point across the line: where its base line lies.
double baseOf(int rot, double x, double y) { return (rot == 0 || rot == 2) ? y : x; }

// Something a reader sees: neither a blank nor a control.
bool hasVisibleChar(const std::vector<Unicode>& text) {
    return std::any_of(text.begin(), text.end(), [](Unicode c) { return !isBlank(c) && c >= 32; });
}

// Where a span's glyphs stand along their line, when they stand in one run
// along one base line, drawn forwards or backwards (right-to-left writers
// draw a cluster's glyphs from the right): from lo to hi, on base line base.
struct Run {
    double lo = 0, hi = 0, base = 0;
};

template <class Glyph>
bool oneRun(const std::vector<Glyph>& glyphs, int rot, double size, Run& run) {
    if (glyphs.empty()) return false;
    const Glyph& g0 = glyphs.front();
    run.base = baseOf(rot, g0.x1, g0.y1);
    run.lo = HUGE_VAL, run.hi = -HUGE_VAL;
    int forwards = 0, backwards = 0;
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        const Glyph& g = glyphs[i];
        const double a0 = alongOf(rot, g.x1, g.y1), a1 = alongOf(rot, g.x1 + g.w1, g.y1 + g.h1);
        if (std::fabs(baseOf(rot, g.x1, g.y1) - run.base) > 0.5) return false;
        if (i > 0) {
            const double step = a0 - alongOf(rot, glyphs[i - 1].x1, glyphs[i - 1].y1);
            if (step > 0.2 * size) ++forwards;
            if (step < -0.2 * size) ++backwards;
        }
        run.lo = std::fmin(run.lo, std::fmin(a0, a1));
        run.hi = std::fmax(run.hi, std::fmax(a0, a1));
    }
    return !(forwards > 0 && backwards > 0) && run.lo <= run.hi;
}

}  // namespace

bool TextPage::Span::blanks() const {
    return std::all_of(glyphs.begin(), glyphs.end(),
                       [](const SpanGlyph& g) { return g.u.size() == 1 && isBlank(g.u[0]); });
}

int TextPage::Span::bytes() const {
    int n = 0;
    for (const SpanGlyph& g : glyphs) n += g.nBytes;
    return n;
}

void TextPage::beginActualText(const Unicode* text, int len) {
    if (actualTextDepth++ > 0) return;  // an inner span: the outer one's text stands for all
    openSpan = Span();
    // Invisible characters read as nothing (a soft hyphen over a blank is no
    // hyphen the page shows).
    for (int i = 0; text && i < len; ++i)
        if (!isInvisibleChar(text[i])) openSpan.text.push_back(text[i]);
}

void TextPage::holdSpanGlyph(GfxState* state, double x, double y, double dx, double dy, double x1, double y1,
                             double w1, double h1, CharCode code, int nBytes, const Unicode* u, int uLen) {
    if (openSpan.glyphs.empty()) {
        // The glyphs are placed where they stand, with the first one's state
        // and font, whatever the span changes before its end.
        openSpan.state.reset(state->copy(true));  // with its own path
        openSpan.font = curFont;
        openSpan.fontSize = curFontSize;
    }
    openSpan.glyphs.push_back(
        {x, y, dx, dy, x1, y1, w1, h1, code, nBytes, std::vector<Unicode>(u, u + (u && uLen > 0 ? uLen : 0))});
}

void TextPage::endActualText() {
    if (actualTextDepth == 0 || --actualTextDepth > 0) return;
    Span span = std::move(openSpan);
    openSpan = Span();
    if (span.glyphs.empty()) return;  // nothing shown, nothing to place
    if (span.blanks() && hasVisibleChar(span.text)) {
        // A blank that carries a character: some writers tag the blank beside
        // a bullet or a dash with that same character, which the page shows
        // once. The glyph after it is not known yet.
        if (!echoesLastPlaced(span)) {
            blankSpan = std::move(span);
            return;
        }
        span.text.clear();
    }
    placeSpan(span);
}

bool TextPage::echoesLastPlaced(const Span& span) const {
    const TextWord* w = lastPlacedWord;
    const std::size_t n = span.text.size();
    const int rot = textRotation(span.state.get());
    Run run;
    if (!w || w->rot != rot || static_cast<std::size_t>(w->len) < n ||
        !std::equal(span.text.begin(), span.text.end(), w->text.end() - static_cast<std::ptrdiff_t>(n)) ||
        !oneRun(span.glyphs, rot, std::fabs(span.fontSize), run))
        return false;
    return std::fabs(run.base - w->base) <= 0.5 &&
           std::fabs(run.lo - edgeAlong(rot, w->edge[w->len])) <= 0.3 * std::fabs(span.fontSize);
}

void TextPage::settleBlankSpan(const Unicode* u, int uLen, double x1, double y1) {
    Span span = std::move(blankSpan);
    blankSpan = Span();
    const int rot = textRotation(span.state.get());
    const double size = std::fabs(span.fontSize);
    Run run;
    const bool echo = u && uLen > 0 && span.text.size() == static_cast<std::size_t>(uLen) &&
                      std::equal(span.text.begin(), span.text.end(), u) && oneRun(span.glyphs, rot, size, run) &&
                      std::fabs(baseOf(rot, x1, y1) - run.base) <= 0.5 &&
                      std::fabs(alongOf(rot, x1, y1) - run.hi) <= 0.3 * size;
    if (echo) span.text.clear();
    // The glyph after it has opened its string's word: that word starts
    // with the glyph, after what the blank gives.
    if (curWord && curWord->len == 0 && nest == 0) {
        delete curWord;
        curWord = nullptr;
    }
    placeSpan(span);
    if (actualTextDepth == 0 && spanWordOpen) closeWord();
}

void TextPage::placeSpan(Span& span) {
    // Placed in the span's own font, whatever the page has set since.
    TextFontRef* const font = curFont;
    const double size = curFontSize;
    curFont = span.font;
    curFontSize = span.fontSize;
    if (!span.text.empty()) {
        lastPlacedForEmptyText = false;
        placeSpanText(span, visualOrder(span.text));
    } else if (span.blanks()) {
        // An empty text over blanks leaves the blanks.
        lastPlacedForEmptyText = false;
        placeSpanGlyphs(span);
    } else if (!coversSpan(span)) {
        // Over glyphs with no text before them to stand over them, it would
        // lose what the page shows.
        placeSpanGlyphs(span);
        lastPlacedForEmptyText = true;
    }
    // The word a span's text ends in may go on with the next span's.
    spanWordOpen = curWord != nullptr;
    curFont = font;
    curFontSize = size;
}

void TextPage::placeSpanGlyphs(Span& span) {
    for (const SpanGlyph& g : span.glyphs)
        placeChar(span.state.get(), g.x, g.y, g.dx, g.dy, g.x1, g.y1, g.w1, g.h1, g.code, g.nBytes, g.u.data(),
                  static_cast<int>(g.u.size()));
}

void TextPage::placeSpanText(Span& span, const std::vector<Unicode>& text) {
    GfxState* state = span.state.get();
    const int rot = textRotation(state);
    Run run;
    // Glyphs spread over lines, or drawn back and forth, are kept as drawn:
    // one place cannot stand for them.
    if (!oneRun(span.glyphs, rot, std::fabs(span.fontSize), run)) {
        placeSpanGlyphs(span);
        return;
    }
    const int nBytes = span.bytes();
    // Over the run's whole advance, one equal share per character from the
    // run's start, in the order the text stands on the page (so that blanks
    // in the text part words).
    const SpanGlyph& g0 = span.glyphs.front();
    const double step = (run.hi - run.lo) / static_cast<double>(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const double a = run.lo + static_cast<double>(i) * step;
        double x1, y1, w1 = 0, h1 = 0;
        switch (rot) {
            default:
            case 0: x1 = a, y1 = run.base, w1 = step; break;
            case 1: x1 = run.base, y1 = a, h1 = step; break;
            case 2: x1 = -a, y1 = run.base, w1 = -step; break;
            case 3: x1 = run.base, y1 = -a, h1 = -step; break;
        }
        placeChar(state, g0.x, g0.y, 0, 0, x1, y1, w1, h1, i == 0 ? g0.code : 0, i == 0 ? nBytes : 0, &text[i], 1);
    }
}

bool TextPage::coversSpan(const Span& span) {
    // An empty text over glyphs that go on from the text before them (the
    // later glyphs of a cluster whose first glyph carries the cluster's
    // text, a hyphen that reads as nothing): that text stands over their
    // advance too.
    TextWord* w = lastPlacedForEmptyText ? nullptr : lastPlacedWord;
    const int rot = textRotation(span.state.get());
    Run run;
    if (!w || w->len == 0 || w->rot != rot || !oneRun(span.glyphs, rot, std::fabs(span.fontSize), run))
        return false;
    const double end = edgeAlong(rot, w->edge[w->len]), lastStart = edgeAlong(rot, w->edge[w->len - 1]);
    if (!continuesWordAt(run.lo - end, run.base - w->base, run.lo - lastStart, w->fontSize)) return false;
    const double far = edgeAlong(rot, run.hi);
    w->edge[w->len] = far;
    switch (rot) {
        default:
        case 0: w->xMax = std::fmax(w->xMax, far); break;
        case 1: w->yMax = std::fmax(w->yMax, far); break;
        case 2: w->xMin = std::fmin(w->xMin, far); break;
        case 3: w->yMin = std::fmin(w->yMin, far); break;
    }
    const int nBytes = span.bytes();
    if (w->charPos + w->charLen == charPos) w->charLen += nBytes;
    charPos += nBytes;
    return true;
}

void TextPage::finishSpans() {
    // A span the page never closes still gives its glyphs.
    while (actualTextDepth > 0) endActualText();
    if (!blankSpan.glyphs.empty()) {
        Span span = std::move(blankSpan);
        blankSpan = Span();
        placeSpan(span);
    }
    // Words leave the intake: nothing may be added to them any more.
    lastPlacedWord = nullptr;
}

void TextPage::clearSpans() {
    actualTextDepth = 0;
    openSpan = Span();
    blankSpan = Span();
    spanWordOpen = false;
    lastPlacedWord = nullptr;
}

}  // namespace tbx
