#include "tabrixa/TextHelpers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cwctype>
#include <locale.h>
#include <wctype.h>

#include <fribidi.h>

#include "tabrixa/PageTables.h"
#include "tabrixa/TextBlock.h"
#include "tabrixa/TextLine.h"
#include "tabrixa/TextWord.h"
#include "TK/tk_utils.h"

namespace tbx {


double overlapRatio(double a1, double a2, double b1, double b2) { return tk_overlap_ratio(a1, a2, b1, b2); }

double overlapRatioMin(double a1, double a2, double b1, double b2) { return tk_overlap_ratio(a1, a2, b1, b2, true); }

int compareLines(const TextLine* a, const TextLine* b) {
    double fa = a->meanFontSize(), fb = b->meanFontSize();
    double ratio = std::fmin(fa, fb) / std::fmax(fa, fb);
    if (std::isnan(fa) || std::isnan(fb)) ratio = NAN;  // fmin/fmax would hide a NaN
    double s = (fb > fa && b->words && b->words->len > 1) ? fb : fa;
    if (s == 0.0) s = 8.0;
    if (a->rot == 1 || a->rot == 3) {
        if (overlapRatio(b->xMin, b->xMax, a->xMin, a->xMax) > 0.5) return 0;
        return signOf(b->base - a->base);
    }
    double ov = overlapRatio(a->yMin, a->yMax, b->yMin, b->yMax);
    if (ratio >= 0.6 && ov > 0.7) return 0;
    if (ratio < 0.6 && ov > 0.9) return 0;
    if (ratio > 0.7 && std::fabs(a->base - b->base) < 0.5 * s) return 0;
    return signOf(a->base - b->base);
}

int compareWordsXY(const TextWord* a, const TextWord* b) {
    double d = a->xMin - b->xMin;
    if (std::fabs(d) < 0.1) return signOf(a->yMin - b->yMin);
    return signOf(d);
}

namespace {
int twoKeys(double first, double second) {
    int c = signOf(first);
    return c != 0 ? c : signOf(second);
}
}  // namespace

int compareBlocksXY(const TextBlock* a, const TextBlock* b, int primaryRot) {
    switch (primaryRot) {
        case 0: return twoKeys(a->xMin - b->xMin, a->yMin - b->yMin);
        case 1: return twoKeys(a->yMin - b->yMin, b->xMax - a->xMax);
        case 2: return twoKeys(b->xMax - a->xMax, b->yMin - a->yMin);
        case 3: return twoKeys(b->yMax - a->yMax, a->xMax - b->xMax);
        default: return 0;
    }
}

int compareBlocksYX(const TextBlock* a, const TextBlock* b, int primaryRot) {
    switch (primaryRot) {
        case 0: return twoKeys(a->yMin - b->yMin, a->xMin - b->xMin);
        case 1: return twoKeys(b->xMax - a->xMax, a->yMin - b->yMin);
        case 2: return twoKeys(b->yMin - a->yMin, b->xMax - a->xMax);
        case 3: return twoKeys(a->xMax - b->xMax, b->yMax - a->yMax);
        default: return 0;
    }
}

int compareLinesAlong(const TextLine* a, const TextLine* b) {
    if (a->rot >= 0 && a->rot <= 3) {
        int c = a->compareAlong(b);
        if (c != 0) return c;
    }
    return compareLines(a, b);
}

int compareLinesInOrder(const TextLine* a, const TextLine* b) {
    int c = compareLines(a, b);
    return c != 0 ? c : a->compareAlong(b);
}

int compareLinesByCell(const TextLine* a, const TextLine* b) {
    auto key = [](int code) {
        long long c = std::llabs(static_cast<long long>(code));
        return c - c / cellCodeBase;
    };
    long long ka = key(a->cellCode), kb = key(b->cellCode);
    if (ka != kb) return ka < kb ? -1 : 1;
    int c = compareLines(a, b);
    return c != 0 ? c : a->compareAlong(b);
}

bool isInvisibleChar(Unicode c) {
    if (c < 0xAD) return false;  // the common case
    return c == 0xAD || c == 0x34F || c == 0x61C || c == 0x115F || c == 0x1160 || c == 0x17B4 || c == 0x17B5 ||
           (c >= 0x180B && c <= 0x180F) || (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x206F) || c == 0x3164 || (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF ||
           c == 0xFFA0 || (c >= 0xFFF0 && c <= 0xFFF8) || (c >= 0x1BCA0 && c <= 0x1BCA3) ||
           (c >= 0x1D173 && c <= 0x1D17A) || (c >= 0xE0000 && c <= 0xE0FFF);
}

bool isLowerCaseLetter(Unicode c) {
    if (c < 0x80) return c >= 'a' && c <= 'z';
    // The character classes of Unicode, whatever locale the process runs in.
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return utf8 && iswlower_l(static_cast<wint_t>(c), utf8);
}

bool unicodeTypeR(Unicode c) {
    const FriBidiCharType t = fribidi_get_bidi_type(c);
    return t == FRIBIDI_TYPE_RTL || t == FRIBIDI_TYPE_AL;
}

bool unicodeTypeL(Unicode c) { return fribidi_get_bidi_type(c) == FRIBIDI_TYPE_LTR; }

namespace {
// Brackets of a text in reading order that close none opened before them or
// stay open.
std::size_t unpairedBrackets(const std::vector<Unicode>& text) {
    std::vector<FriBidiBracketType> open;
    std::size_t unpaired = 0;
    for (Unicode c : text) {
        const FriBidiBracketType b = fribidi_get_bracket(c);
        if (b == FRIBIDI_NO_BRACKET) continue;
        if (FRIBIDI_IS_BRACKET_OPEN(b))
            open.push_back(FRIBIDI_BRACKET_ID(b));
        else if (!open.empty() && open.back() == FRIBIDI_BRACKET_ID(b))
            open.pop_back();
        else
            ++unpaired;
    }
    return unpaired + open.size();
}
}  // namespace

namespace {
// A line in page order read by the bidirectional algorithm: where each
// character of the reading order stands on the page, and the line with its
// right-to-left runs' mirrored characters turned (the shapes they show).
struct BidiLine {
    std::vector<Unicode> page, shapes;
    std::vector<FriBidiStrIndex> map;  // reading position -> page position

    bool read(const Unicode* text, int len, bool preferLR) {
        page.assign(text, text + (len > 0 ? len : 0));
        if (std::none_of(page.begin(), page.end(), unicodeTypeR)) return false;  // the common case
        const auto n = static_cast<FriBidiStrIndex>(page.size());
        std::vector<FriBidiCharType> types(page.size());
        fribidi_get_bidi_types(page.data(), n, types.data());
        int nL = 0, nR = 0;
        for (FriBidiCharType t : types) {
            if (t == FRIBIDI_TYPE_LTR) ++nL;
            if (t == FRIBIDI_TYPE_RTL || t == FRIBIDI_TYPE_AL) ++nR;
        }
        // The line's direction is its majority of strong letters, not its first
        // one: in page order the first letter of a right-to-left line is its last.
        FriBidiParType dir = (nR > nL || (nR == nL && !preferLR)) ? FRIBIDI_PAR_RTL : FRIBIDI_PAR_LTR;
        // Brackets are not paired: the pairing rule reads the logical order, and
        // this is the page's.
        const std::vector<FriBidiBracketType> brackets(page.size(), FRIBIDI_NO_BRACKET);
        std::vector<FriBidiLevel> levels(page.size());
        map.resize(page.size());
        for (FriBidiStrIndex i = 0; i < n; ++i) map[static_cast<std::size_t>(i)] = i;
        // Page order is the visual order; the bidirectional reordering applied to it
        // gives back the reading order (it only reverses runs by level). Marks are
        // reversed with their run: pages draw a right-to-left mark left of its letter.
        if (!fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), n, &dir, levels.data()) ||
            !fribidi_reorder_line(0, types.data(), n, 0, dir, levels.data(), nullptr, map.data()))
            return false;
        shapes = page;
        fribidi_shape_mirroring(levels.data(), n, shapes.data());
        return true;
    }
    std::vector<Unicode> reading(const std::vector<Unicode>& onPage) const {
        std::vector<Unicode> out(onPage.size());
        for (std::size_t i = 0; i < onPage.size(); ++i) out[i] = onPage[static_cast<std::size_t>(map[i])];
        return out;
    }
    // A right-to-left run shows a mirrored character as its mirror image. Some
    // writers give the code of the shape drawn, others (LibreOffice) the code
    // read; only brackets tell which, by pairing up in reading order: +1 when
    // the mirrored brackets pair better (the codes name shapes), -1 when the
    // brackets as given do, 0 when they cannot tell (none, or both ways alike).
    int codesNameShapes() const {
        const std::size_t unpairedMirrored = unpairedBrackets(reading(shapes));
        const std::size_t unpairedKept = unpairedBrackets(reading(page));
        return unpairedMirrored < unpairedKept ? 1 : unpairedMirrored > unpairedKept ? -1 : 0;
    }
};
}  // namespace

int codesNameShapes(const Unicode* text, int len, bool preferLR) {
    BidiLine line;
    return line.read(text, len, preferLR) ? line.codesNameShapes() : 0;
}

std::vector<Unicode> logicalOrder(const Unicode* text, int len, bool preferLR, int shapesElsewhere) {
    BidiLine line;
    if (!line.read(text, len, preferLR)) return line.page;
    int shapes = line.codesNameShapes();
    if (shapes == 0) shapes = shapesElsewhere;
    // Codes of shapes: every mirrored character of a right-to-left run is
    // turned back (a "<" drawn reads ">"); codes as read: every code stays.
    // When nothing tells, brackets are mirrored and every other code stays:
    // a "<" is never turned on a guess.
    if (shapes > 0) return line.reading(line.shapes);
    if (shapes < 0) return line.reading(line.page);
    std::vector<Unicode> v(line.page);
    for (std::size_t i = 0; i < v.size(); ++i)
        if (fribidi_get_bracket(v[i]) != FRIBIDI_NO_BRACKET) v[i] = line.shapes[i];
    return line.reading(v);
}

std::vector<Unicode> visualOrder(const std::vector<Unicode>& text) {
    if (std::none_of(text.begin(), text.end(), unicodeTypeR)) return text;
    std::vector<Unicode> v(text);
    const auto n = static_cast<FriBidiStrIndex>(v.size());
    std::vector<FriBidiCharType> types(v.size());
    std::vector<FriBidiBracketType> brackets(v.size());
    fribidi_get_bidi_types(v.data(), n, types.data());
    fribidi_get_bracket_types(v.data(), n, types.data(), brackets.data());
    FriBidiParType dir = FRIBIDI_PAR_ON;
    std::vector<FriBidiLevel> levels(v.size());
    if (!fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), n, &dir, levels.data()) ||
        !fribidi_reorder_line(0, types.data(), n, 0, dir, levels.data(), v.data(), nullptr))
        return text;
    return v;
}

}  // namespace tbx
