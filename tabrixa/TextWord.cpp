#include "tabrixa/TextWord.h"

#include <algorithm>
#include <cmath>

#include <GfxFont.h>
#include <GfxState.h>

#include "PDFR/pdf_ulin.h"
#include "PDFR/pdf_wget.h"
#include "TK/tk_log.h"
#include "tabrixa/PageText.h"
#include "tabrixa/TextFontRef.h"
#include "tabrixa/TextHelpers.h"

namespace tbx {

TextWord::TextWord(int rotation, double baseLine, double size) : rot(rotation), base(baseLine), fontSize(size) {
    const FontClass& fc = noFontClass();
    fontClass = fc.fontClass;
    winFontName = fc.winFontName;
    spaceRatio = fc.spaceRatio;
}

TextWord::TextWord(GfxState* state, int rotation, double x, double y, int pos, TextFontRef* fontRef, double size)
    : rot(rotation), charPos(pos), font(fontRef), fontSize(size) {
    GfxRGB rgb;
    state->getFillRGB(&rgb);
    colorR = rgb.r / 255;
    colorG = rgb.g / 255;
    colorB = rgb.b / 255;

    double dx0, dy0;
    state->transform(x, y, &dx0, &dy0);
    state->getClipBBox(&clip.xMin, &clip.yMin, &clip.xMax, &clip.yMax);

    GfxFont* f = fontRef ? fontRef->font() : nullptr;
    const FontClass& fc = fontRef ? fontRef->fontClass() : noFontClass();
    fontClass = fc.fontClass;
    winFontName = fc.winFontName;
    spaceRatio = fc.spaceRatio;
    bold = fc.bold;
    italic = fc.italic;
    symbolFace = fc.symbolFace;

    // The width of a blank in the word's screen font. A size that cannot be
    // divided by, or a face that cannot be opened, keeps the class's ratio.
    if (!winFontName.empty() && std::isfinite(fontSize) && fontSize > 0) {
        pdf_width_getter& wg = tk_singleton<pdf_width_getter>::instance();
        wg.set_font(winFontName, static_cast<float>(fontSize * 1.0), bold, italic);
        if (wg.has_font()) spaceRatio = wg.get_width(" ") * 72.0 / fontSize;
    }

    double ascent, descent;
    if (verticalWriting()) {
        // A glyph of vertical writing is centred on its column's line.
        ascent = 0.5 * fontSize;
        descent = -0.5 * fontSize;
    } else if (f) {
        ascent = f->getAscent() * fontSize;
        descent = f->getDescent() * fontSize;
    } else {
        ascent = 0.95 * fontSize;
        descent = -0.35 * fontSize;
    }
    double* lo;
    double* hi;
    double pos0;
    switch (rot) {
        default:
        case 0:
            yMin = dy0 - ascent, yMax = dy0 - descent, base = dy0;
            lo = &yMin, hi = &yMax, pos0 = dy0;
            break;
        case 1:
            xMin = dx0 + descent, xMax = dx0 + ascent, base = dx0;
            lo = &xMin, hi = &xMax, pos0 = dx0;
            break;
        case 2:
            yMin = dy0 + descent, yMax = dy0 + ascent, base = dy0;
            lo = &yMin, hi = &yMax, pos0 = dy0;
            break;
        case 3:
            xMin = dx0 - ascent, xMax = dx0 - descent, base = dx0;
            lo = &xMin, hi = &xMax, pos0 = dx0;
            break;
    }
    if (*lo == *hi) {
        *lo = pos0;
        *hi = pos0 + 1.0;
    }
}

void TextWord::addChar(GfxState*, double x, double y, double dx, double dy, Unicode u) {
    if (tk_log::active(1))
        tk_log::write(1, "TextWord::addChar(x=%lg, y=%lg, y_base=%f, c='%c', c16='%x%x') ", x, y, base,
                      static_cast<int>(u & 0xFF), static_cast<unsigned>(u >> 8), static_cast<unsigned>(u & 255));
    text.push_back(u);
    edge.resize(len + 2);
    switch (rot) {
        default:
        case 0:
            if (len == 0) xMin = x;
            edge[len] = x;
            xMax = edge[len + 1] = x + dx;
            break;
        case 1:
            if (len == 0) yMin = y;
            edge[len] = y;
            yMax = edge[len + 1] = y + dy;
            break;
        case 2:
            if (len == 0) xMax = x;
            edge[len] = x;
            xMin = edge[len + 1] = x + dx;
            break;
        case 3:
            if (len == 0) yMax = y;
            edge[len] = y;
            yMin = edge[len + 1] = y + dy;
            break;
    }
    ++len;
    if (pdf_uline_processor* ul = tk_singleton<pdf_uline_processor>::find()) {
        if (ul->process_as_underline(std::min(xMin, x), x + dx, y, colorR, colorG, colorB)) underlined = true;
    }
}

void TextWord::merge(TextWord* w) {
    tk_log::write(1, "TextWord::merge");
    growBox(*this, *w);
    text.resize(len + w->len);
    edge.resize(len + w->len + 1);
    for (int i = 0; i < w->len; ++i) {
        text[len + i] = w->text[i];
        edge[len + i] = w->edge[i];
    }
    edge[len + w->len] = w->len > 0 ? w->edge[w->len] : (len > 0 ? edge[len] : 0.0);
    len += w->len;
    charLen += w->charLen;
}

bool TextWord::verticalWriting() const {
    const GfxFont* f = font ? font->font() : nullptr;
    return f && f->getWMode() == 1;
}

void TextWord::turnUpright(double halfWidth) {
    if (len == 0) return;
    // Down its column the glyph runs from its top (edge[0]) by its advance; that
    // side stays, across the new line. The baseline lies the font's ascent
    // below the top, the way the column runs.
    const double top = edge[0];
    const GfxFont* f = font ? font->font() : nullptr;
    const double ascent = (f ? f->getAscent() : 0.95) * fontSize;
    const double lo = base - halfWidth, hi = base + halfWidth;
    rot = (rot + 3) % 4;
    base = top + (edge[len] >= top ? ascent : -ascent);
    if (rot == 0 || rot == 2)
        xMin = lo, xMax = hi;
    else
        yMin = lo, yMax = hi;
    const bool forward = rot == 0 || rot == 1;
    edge.assign(static_cast<std::size_t>(len) + 1, forward ? hi : lo);
    edge[0] = forward ? lo : hi;
}

double TextWord::gapAlong(const TextWord* other) const { return gapAlongOf(rot, *this, *other); }

bool TextWord::isFigure() const { return isFigureText(text.data(), static_cast<std::size_t>(len)); }

void TextWord::cutByClip() {
    clippedAfter = true;
    if (len == 0) return;
    double& far = edge[static_cast<std::size_t>(len)];
    switch (rot) {
        default:
        case 0: far = xMax = std::fmax(edge[len - 1], std::fmin(far, clip.xMax)); break;
        case 1: far = yMax = std::fmax(edge[len - 1], std::fmin(far, clip.yMax)); break;
        case 2: far = xMin = std::fmin(edge[len - 1], std::fmax(far, clip.xMin)); break;
        case 3: far = yMin = std::fmin(edge[len - 1], std::fmax(far, clip.yMin)); break;
    }
}

bool clippedApart(const TextWord& a, const TextWord& b) {
    return (a.clippedAfter && gapAlongOf(a.rot, a.clip, b) >= 0) ||
           (b.clippedBefore && gapAlongOf(a.rot, a, b.clip) >= 0);
}

double TextWord::primaryCoord() const {
    return primaryOf(rot, xMin, xMax, yMin, yMax);
}

}  // namespace tbx
