#include "tabrixa/TextHelpers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

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
    return (c >= 0x0590 && c <= 0x08FF) ||    // Hebrew, Arabic, Syriac, Thaana, NKo, ...
           (c >= 0xFB1D && c <= 0xFDFF) ||    // Hebrew and Arabic presentation forms A
           (c >= 0xFE70 && c <= 0xFEFF) ||    // Arabic presentation forms B
           (c >= 0x10800 && c <= 0x10FFF) ||  // historic right-to-left scripts
           (c >= 0x1E800 && c <= 0x1EFFF);
}

bool unicodeTypeL(Unicode c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (unicodeTypeR(c)) return false;
    if (c == 0xAA || c == 0xB5 || c == 0xBA) return true;
    if (c >= 0xC0 && c <= 0x2B8) return c != 0xD7 && c != 0xF7;  // Latin letters
    if (c >= 0x0370 && c <= 0x058F) return c != 0x0375 && c != 0x037E && c != 0x0384 && c != 0x0385 && c != 0x0387;
    if (c >= 0x0900 && c <= 0x1FFF) return true;  // Indic, South-East Asian, Georgian, Latin/Greek extended
    if (c >= 0x2C00 && c <= 0x2DFF) return true;
    if (c >= 0x3040 && c <= 0x9FFF) return true;  // kana, CJK
    if (c >= 0xA000 && c <= 0xD7FF) return true;  // Yi, Hangul
    if (c >= 0xF900 && c <= 0xFB1C) return true;  // CJK compatibility, Latin ligatures
    if ((c >= 0xFF21 && c <= 0xFF3A) || (c >= 0xFF41 && c <= 0xFF5A) || (c >= 0xFF66 && c <= 0xFFDC)) return true;
    if (c >= 0x10000 && c <= 0x107FF) return true;
    if (c >= 0x11000 && c <= 0x1E7FF) return true;
    if (c >= 0x20000 && c <= 0x3FFFF) return true;
    return false;
}

namespace {
// Turns every maximal stretch that starts and ends with a character of class
// `turn` and holds no character of class `stop` (neutrals in between go along).
void turnRuns(std::vector<Unicode>& v, const std::vector<signed char>& cls, int turn, int stop) {
    const std::size_t n = v.size();
    std::size_t i = 0;
    while (i < n) {
        if (cls[i] != turn) {
            ++i;
            continue;
        }
        std::size_t end = i, j = i + 1;  // end: last character of class `turn` in the stretch
        for (; j < n && cls[j] != stop; ++j)
            if (cls[j] == turn) end = j;
        std::reverse(v.begin() + static_cast<std::ptrdiff_t>(i), v.begin() + static_cast<std::ptrdiff_t>(end) + 1);
        i = end + 1;
    }
}
}  // namespace

std::vector<Unicode> logicalOrder(const Unicode* text, int len, bool preferLR) {
    std::vector<Unicode> v(text, text + (len > 0 ? len : 0));
    if (std::none_of(v.begin(), v.end(), unicodeTypeR)) return v;  // the common case: nothing to turn
    std::vector<signed char> cls(v.size(), 0);  // 1: left-to-right (digits too), -1: right-to-left
    int nL = 0, nR = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (unicodeTypeR(v[i]))
            cls[i] = -1, ++nR;
        else if (unicodeTypeL(v[i]) || (v[i] >= '0' && v[i] <= '9'))
            cls[i] = 1, ++nL;
    }
    if (nR > nL || (nR == nL && !preferLR)) {
        std::reverse(v.begin(), v.end());
        std::reverse(cls.begin(), cls.end());
        turnRuns(v, cls, 1, -1);
    } else {
        turnRuns(v, cls, -1, 1);
    }
    return v;
}

}  // namespace tbx
