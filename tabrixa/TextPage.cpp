#include "tabrixa/TextPage.h"

#include <cmath>
#include <memory>

#include <GfxFont.h>
#include <GfxState.h>

#include "tabrixa/TextBlock.h"
#include "tabrixa/TextFlow.h"
#include "tabrixa/TextFontRef.h"
#include "tabrixa/TextHelpers.h"
#include "tabrixa/TextLine.h"
#include "tabrixa/TextPool.h"
#include "tabrixa/TextWord.h"

namespace tbx {

namespace {
// Tiny characters counted per page before further ones are dropped.
constexpr int maxTinyChars = 50000;

// A font of vertical writing (a Type 0 font with a vertical CMap, such as
// Identity-V) advances its glyphs down the text space's y axis.
bool verticalWriting(GfxState* state) {
    const std::shared_ptr<GfxFont>& font = state->getFont();
    return font && font->getWMode() == 1;
}
}  // namespace

TextPage::TextPage() {
    for (auto& p : pools) p = new TextPool;
}

TextPage::~TextPage() {
    clear();
    for (auto& p : pools) {
        delete p;
        p = nullptr;
    }
}

void TextPage::clear() {
    delete curWord;
    curWord = nullptr;
    for (TextWord* w : heldGlyphs) delete w;
    heldGlyphs.clear();
    for (auto& p : pools) {
        delete p;
        p = nullptr;
    }
    clearLayout();
    for (auto& f : fonts) delete f.second;
    fonts.clear();
}

void TextPage::clearLayout() {
    deleteChain(flows);
    for (TextBlock* b : blocks) delete b;
    blocks.clear();
    deleteChain(blockList);  // blocks still on the building list (never put into the array)
}

void TextPage::startPage() {
    clear();
    charPos = 0;
    curFont = nullptr;
    curFontSize = 0;
    nest = 0;
    nTinyChars = 0;
    lastCharOverlap = false;
    clearSpans();
    for (auto& p : pools) p = new TextPool;
    primaryRot = -1;
    primaryLR = true;
}

TextFontRef* TextPage::findOrAddFont(GfxState* state) {
    const std::shared_ptr<GfxFont>& f = state ? state->getFont() : std::shared_ptr<GfxFont>();
    if (!f) {
        curFont = nullptr;  // poppler announces "no font" at page start
        return nullptr;
    }
    const Ref* id = f->getID();
    TextFontRef*& entry = fonts[{id->num, id->gen}];
    if (!entry) entry = new TextFontRef(f);
    curFont = entry;
    return curFont;
}

// From the font's transform, a quarter turn on for vertical writing.
int textRotation(GfxState* state) {
    double m[4];
    state->getFontTransMat(&m[0], &m[1], &m[2], &m[3]);
    const std::shared_ptr<GfxFont>& font = state->getFont();
    if (font && font->getType() == fontType3) {
        const double* fm = font->getFontMatrix();
        double m2[4];
        m2[0] = fm[0] * m[0] + fm[1] * m[2];
        m2[1] = fm[0] * m[1] + fm[1] * m[3];
        m2[2] = fm[2] * m[0] + fm[3] * m[2];
        m2[3] = fm[2] * m[1] + fm[3] * m[3];
        for (int i = 0; i < 4; ++i) m[i] = m2[i];
    }
    int rot;
    if (std::fabs(m[0] * m[3]) > std::fabs(m[1] * m[2]))
        rot = (m[3] < 0) ? 0 : 2;
    else
        rot = (m[2] > 0) ? 1 : 3;
    // Vertical writing runs a quarter turn clockwise from the font's upright
    // baseline: upright glyphs in columns read top to bottom, right to left,
    // the order of text rotated by 90 degrees.
    if (verticalWriting(state)) rot = (rot + 1) % 4;
    return rot;
}

namespace {

// A character box wholly outside the clip region is hidden: report writers
// draw a long text whole and clip it at its column. The box runs from the
// glyph's origin over its advance, and a font size either way across the
// line, so that a character partly inside stays.
bool clippedAway(GfxState* state, int rot, double x, double y, double w, double h, double size) {
    double cx0, cy0, cx1, cy1;
    state->getClipBBox(&cx0, &cy0, &cx1, &cy1);
    double x0 = std::fmin(x, x + w), x1 = std::fmax(x, x + w);
    double y0 = std::fmin(y, y + h), y1 = std::fmax(y, y + h);
    const double across = std::isfinite(size) ? std::fabs(size) : 0.0;
    if (rot == 0 || rot == 2)
        y0 -= across, y1 += across;
    else
        x0 -= across, x1 += across;
    return x0 >= cx1 || x1 <= cx0 || y0 >= cy1 || y1 <= cy0;
}
}  // namespace

void TextPage::beginWord(GfxState* state, double x, double y) {
    // Inside a span the glyphs wait for its end: its strings open no word.
    if (actualTextDepth > 0) return;
    // A span's text goes on only with the next span's.
    if (spanWordOpen) closeWord();
    stringCharPos = charPos;
    openWord(state, x, y);
}

void TextPage::openWord(GfxState* state, double x, double y) {
    if (curWord) {
        ++nest;
        return;
    }
    curWord = new TextWord(state, textRotation(state), x, y, charPos, curFont, curFontSize);
}

void TextPage::addChar(GfxState* state, double x, double y, double dx, double dy, CharCode code, int nBytes,
                       const Unicode* u, int uLen) {
    double sp = state->getCharSpace();
    if (code == 32) sp += state->getWordSpace();
    double dx2, dy2;
    // Vertical writing spaces its glyphs along y, without horizontal scaling.
    if (verticalWriting(state))
        state->textTransformDelta(0, sp, &dx2, &dy2);
    else
        state->textTransformDelta(sp * state->getHorizScaling(), 0, &dx2, &dy2);
    dx -= dx2;
    dy -= dy2;
    double w1, h1, x1, y1;
    state->transformDelta(dx, dy, &w1, &h1);
    state->transform(x, y, &x1, &y1);

    // Off the page (or not a position at all).
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(w1) || !std::isfinite(h1) || x1 + w1 < 0 ||
        x1 > pageWidth || y1 + h1 < 0 || y1 > pageHeight || w1 > pageWidth || h1 > pageHeight) {
        charPos += nBytes;
        return;
    }
    if (clippedAway(state, curWord ? curWord->rot : textRotation(state), x1, y1, w1, h1, curFontSize)) {
        // The string's word ends at the clip's edge (or starts there): what
        // stands beyond that edge is no part of it.
        if (curWord && curWord->len > 0)
            curWord->cutByClip();
        else if (lastPlacedWord && lastPlacedWord->charPos >= stringCharPos)
            lastPlacedWord->cutByClip();  // after a blank of the string
        else if (curWord)
            curWord->clippedBefore = true;
        charPos += nBytes;
        return;
    }

    // Only characters of a tiny font count: a narrow character of a readable
    // one (an "l", a stop) is text, and must survive a crowd of dots before it.
    if (std::fabs(w1) < 3 && std::fabs(h1) < 3 && !(curFontSize >= 3)) {
        if (++nTinyChars > maxTinyChars) {
            charPos += nBytes;
            return;
        }
    }

    Unicode glyphChar;
    if (curFont && u && uLen == 1 && (glyphChar = curFont->glyphChar(code, u[0])) != u[0]) u = &glyphChar;
    if (!blankSpan.glyphs.empty()) settleBlankSpan(u, uLen, x1, y1);
    // Inside an ActualText span the glyphs wait for the span's end.
    if (actualTextDepth > 0) {
        holdSpanGlyph(state, x, y, dx, dy, x1, y1, w1, h1, code, nBytes, u, uLen);
        return;
    }
    lastPlacedForEmptyText = false;
    placeChar(state, x, y, dx, dy, x1, y1, w1, h1, code, nBytes, u, uLen);
}

void TextPage::placeChar(GfxState* state, double x, double y, double dx, double dy, double x1, double y1, double w1,
                         double h1, CharCode code, int nBytes, const Unicode* u, int uLen) {
    // Controls show nothing; a tab parts words as a blank does.
    Unicode shown[8];
    std::vector<Unicode> shownLong;
    if (u && uLen > 0) {
        Unicode* out = shown;
        if (uLen > 8) {
            shownLong.resize(static_cast<std::size_t>(uLen));
            out = shownLong.data();
        }
        // A Symbol face without a map gives private-use codes that readers
        // would draw as boxes in any cell font.
        const FontClass::PrivateCodes codes =
            curFont ? curFont->fontClass().privateCodes : FontClass::PrivateCodes::none;
        int n = 0;
        for (int i = 0; i < uLen; ++i)
            if (!isDroppedControl(u[i])) out[n++] = privateCodeChar(u[i], codes);
        if (n == 1 && out[0] == 9) out[0] = 32;
        u = out;
        uLen = n;
    }

    if (uLen == 1 && u && u[0] == 32) {
        if (curWord) ++curWord->charLen;
        charPos += nBytes;
        finishWord();
        return;
    }

    if (curWord && curWord->len > 0) {
        double base, gap, delta;
        const double lastEdge = curWord->edge[curWord->len - 1];
        switch (curWord->rot) {
            default:
            case 0: base = y1, gap = x1 - curWord->xMax, delta = x1 - lastEdge; break;
            case 1: base = x1, gap = y1 - curWord->yMax, delta = y1 - lastEdge; break;
            case 2: base = y1, gap = curWord->xMin - x1, delta = lastEdge - x1; break;
            case 3: base = x1, gap = curWord->yMin - y1, delta = lastEdge - y1; break;
        }
        const double s = curWord->fontSize;
        const bool overlap = overstrikesWord(delta, base - curWord->base, s);
        // A word keeps one font (a span's text may be taken up by the next span's).
        if (lastCharOverlap || curFontSize != s || curFont != curWord->font ||
            !continuesWordAt(gap, base - curWord->base, delta, s))
            finishWord();
        lastCharOverlap = overlap;
    } else {
        lastCharOverlap = false;
    }

    if (uLen > 0 && u) {
        if (!curWord) openWord(state, x, y);
        const int r = curWord->rot;
        if ((r == 0 && w1 < 0) || (r == 1 && h1 < 0) || (r == 2 && w1 > 0) || (r == 3 && h1 > 0)) {
            finishWord();
            openWord(state, x + dx, y + dy);
            x1 += w1;
            y1 += h1;
            w1 = -w1;
            h1 = -h1;
        }
        w1 /= uLen;
        h1 /= uLen;
        if (curWord->len == 0 && isBullet(code) && isBullet(u[0])) curWord->bullet = true;
        for (int i = 0; i < uLen; ++i) curWord->addChar(state, x1 + i * w1, y1 + i * h1, w1, h1, u[i]);
        lastPlacedWord = curWord;
    }
    if (curWord) curWord->charLen += nBytes;
    charPos += nBytes;
}

void TextPage::endWord() {
    if (actualTextDepth > 0) return;
    finishWord();
}

void TextPage::finishWord() {
    if (nest > 0) {
        --nest;
        return;
    }
    closeWord();
}

void TextPage::closeWord() {
    spanWordOpen = false;
    if (curWord) {
        TextWord* w = curWord;
        curWord = nullptr;
        addWord(w);
    }
}

void TextPage::addWord(TextWord* word) {
    if (!word) return;
    if (word->len == 0) {
        delete word;
        return;
    }
    if (word->len == 1 && word->verticalWriting()) {
        heldGlyphs.push_back(word);
        return;
    }
    fileWord(word);
}

void TextPage::fileWord(TextWord* word) {
    int r = (word->rot >= 0 && word->rot <= 3) ? word->rot : 0;
    if (!pools[r]) pools[r] = new TextPool;
    pools[r]->addWord(word);
}

namespace {
// How far glyph b stands after glyph a along the line that their font's upright
// glyphs would be written on, when b stands there beside a (on a's line, at
// most a glyph and a half apart); 0 when it does not. Glyphs of one column, or
// of columns going right to left, are never beside each other.
double stepBeside(const TextWord* a, const TextWord* b) {
    const double s = a->fontSize;
    if (a->rot != b->rot || b->fontSize != s || !(s > 0)) return 0;
    // Across its column a vertical glyph is placed by its base; the upright
    // line runs along +x, +y, -x, -y for rotations 1, 2, 3, 0.
    const double step = (a->rot == 1 || a->rot == 2) ? b->base - a->base : a->base - b->base;
    const bool sameLine = std::fabs(b->edge[0] - a->edge[0]) <= 0.2 * s;
    return sameLine && step >= 0.3 * s && step <= 2.5 * s ? step : 0;
}
}  // namespace

void TextPage::fileHeldGlyphs() {
    std::vector<TextWord*> held;
    held.swap(heldGlyphs);
    const std::size_t n = held.size();
    // step[i]: from glyph i - 1 to glyph i, in the order they were drawn.
    std::vector<double> step(n + 1, 0.0);
    for (std::size_t i = 1; i < n; ++i) step[i] = stepBeside(held[i - 1], held[i]);
    for (std::size_t i = 0; i < n; ++i) {
        TextWord* w = held[i];
        const double before = step[i], after = step[i + 1];
        if (before > 0 || after > 0) {
            // The glyph's own width is not known here; the steps to its
            // neighbours bound it, so that narrow glyphs do not overlap.
            double width = w->fontSize;
            if (before > 0) width = std::fmin(width, before);
            if (after > 0) width = std::fmin(width, after);
            w->turnUpright(0.5 * width);
        }
        fileWord(w);
    }
}

bool TextPage::isBullet(CharCode code) {
    switch (code) {
        case 1: case 2: case 3: case 4: case 128: case 149: case 150: case 165: case 183: case 216: case 8226:
            return true;
        default:
            return false;
    }
}

int TextPage::wordCount() const {
    int n = 0;
    for (const TextPool* p : pools)
        if (p) n += p->wordCount();
    n += static_cast<int>(heldGlyphs.size());
    return n;
}

}  // namespace tbx
