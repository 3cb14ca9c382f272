#include "tabrixa/TextHelpers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

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

std::vector<Unicode> logicalOrder(const Unicode* text, int len, bool preferLR) {
    std::vector<Unicode> v(text, text + (len > 0 ? len : 0));
    if (std::none_of(v.begin(), v.end(), unicodeTypeR)) return v;  // the common case: nothing to turn
    const auto n = static_cast<FriBidiStrIndex>(v.size());
    std::vector<FriBidiCharType> types(v.size());
    fribidi_get_bidi_types(v.data(), n, types.data());
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
    const std::vector<FriBidiBracketType> brackets(v.size(), FRIBIDI_NO_BRACKET);
    std::vector<FriBidiLevel> levels(v.size());
    std::vector<FriBidiStrIndex> map(v.size());
    for (FriBidiStrIndex i = 0; i < n; ++i) map[static_cast<std::size_t>(i)] = i;
    // Page order is the visual order; the bidirectional reordering applied to it
    // gives back the reading order (it only reverses runs by level). Marks are
    // reversed with their run: pages draw a right-to-left mark left of its letter.
    if (!fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), n, &dir, levels.data()) ||
        !fribidi_reorder_line(0, types.data(), n, 0, dir, levels.data(), nullptr, map.data()))
        return v;
    auto reading = [&map](const std::vector<Unicode>& page) {
        std::vector<Unicode> out(page.size());
        for (std::size_t i = 0; i < page.size(); ++i) out[i] = page[static_cast<std::size_t>(map[i])];
        return out;
    };
    // A right-to-left run shows a mirrored character as its mirror image. Some
    // writers give the code of the shape drawn, others (LibreOffice) the code
    // read; only brackets tell which, by pairing up in reading order. When
    // the mirrored brackets pair better, the codes name shapes and every
    // mirrored character of the run is turned back (a "<" drawn reads ">");
    // when the brackets as given pair better, every code stays. When the
    // brackets cannot tell (none, or both ways alike), brackets are mirrored
    // and every other code stays as given: a "<" is never turned on a guess.
    std::vector<Unicode> shapes(v);
    fribidi_shape_mirroring(levels.data(), n, shapes.data());
    std::vector<Unicode> mirrored = reading(shapes), kept = reading(v);
    const std::size_t unpairedMirrored = unpairedBrackets(mirrored), unpairedKept = unpairedBrackets(kept);
    if (unpairedMirrored < unpairedKept) return mirrored;
    if (unpairedMirrored > unpairedKept) return kept;
    for (std::size_t i = 0; i < v.size(); ++i)
        if (fribidi_get_bracket(v[i]) != FRIBIDI_NO_BRACKET) v[i] = shapes[i];
    return reading(v);
}

}  // namespace tbx
