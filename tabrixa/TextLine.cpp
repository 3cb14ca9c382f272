#include "tabrixa/TextLine.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include <UnicodeMap.h>

#include "tabrixa/PageText.h"
#include "tabrixa/TextHelpers.h"
#include "tabrixa/TextMarks.h"
#include "tabrixa/TextWord.h"

namespace tbx {

namespace {
// Truncation toward zero that stays defined for any double.
int truncToInt(double v) {
    if (!(v == v)) return 0;
    if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(v);
}
}  // namespace

TextLine::TextLine(TextBlock* block, int rotation, double baseLine) : base(baseLine), blk(block), rot(rotation) {}

TextLine::~TextLine() {
    deleteChain(words);
}

void TextLine::addWord(TextWord* w) {
    w->next = nullptr;
    TextWord* prev = lastWord;
    if (words) {
        if (lastWord == words && words->len == 1 && w->len >= 2) base = w->base;
        lastWord->next = w;
    } else {
        words = w;
        cellCode = w->cellCode;
    }
    if (colGroup == 0 && w->colGroup != 0) colGroup = w->colGroup;
    // Raise and lowering against the previous word, only when the line had words before.
    if (!(xMin > xMax) && prev) {
        double db = std::fabs(w->base - prev->base);
        double sw = w->fontSize, sp = prev->fontSize;
        if (db > 0.7 && !prev->superscript && !prev->subscript && std::min(sw, sp) > db) {
            if (prev->yMin > w->yMin) {
                if (sp > sw) w->superscript = truncToInt(sp - sw + prev->yMin - w->yMin);
                if (sw > sp) prev->subscript = truncToInt(sw - sp + prev->yMin - w->yMin);
            } else if (w->yMax > prev->yMax) {
                if (sp > sw) w->subscript = truncToInt(sp - sw + w->yMax - prev->yMax);
                if (sw > sp) prev->superscript = truncToInt(sw - sp + w->yMax - prev->yMax);
            }
        }
    }
    widenBox(*this, *w);
    lastWord = w;
    if (w->colGroup == 0 && colGroup != 0) w->colGroup = colGroup;
}

void TextLine::coalesce(const UnicodeMap* uMap) {
    if (words && words->next) {
        double s0 = words->fontSize;
        double space;
        TextWord* second = words->next;
        if (words->len > 1 || second->len > 1) {
            space = wordBreakEms * s0;
        } else {
            double minSpace = words->gapAlong(second);
            for (TextWord *w0 = second, *w1 = second->next; w1 && minSpace > 0; w0 = w1, w1 = w1->next) {
                if (w1->len > 1) minSpace = 0;
                minSpace = std::min(minSpace, w0->gapAlong(w1));
            }
            // Kerned text shown one character per string has gaps of a few
            // thousandths of the size; 1.3 x the smallest of them would put
            // blanks inside words ("$ 5 1 .2 4"). A gap that would not break a
            // word while it is drawn (0.1 x size) never makes a blank here either.
            if (minSpace <= 0)
                space = wordBreakEms * s0;
            else
                space = std::max(wordBreakEms * s0, std::min(1.3 * minSpace, columnGapEms * s0));
        }
        TextWord* w0 = words;
        TextWord* w1 = w0->next;
        while (w1) {
            if (w0->gapAlong(w1) >= space || clippedApart(*w0, *w1)) {
                w0->spaceAfter = true;
                w0 = w1;
                w1 = w1->next;
            } else if (w0->font == w1->font && std::fabs(w0->fontSize - w1->fontSize) < 0.05 * s0 &&
                       w1->charPos == w0->charPos + w0->charLen) {
                w0->merge(w1);
                w0->next = w1->next;
                delete w1;
                w1 = w0->next;
            } else {
                // A figure and a raised digit beside it (a footnote mark)
                // never read as one number.
                if (isDigitCode(w0->text[w0->len - 1]) && isDigitCode(w1->text[0]) && isRaisedMark(*w0, *w1))
                    w0->spaceAfter = true;
                w0 = w1;
                w1 = w1->next;
            }
        }
        lastWord = w0;
    }

    len = 0;
    for (TextWord* w = words; w; w = w->next) len += w->len + (w->spaceAfter ? 1 : 0);
    text.assign(len, 0);
    edge.assign(len + 1, 0.0);
    int i = 0;
    for (TextWord* w = words; w; w = w->next) {
        for (int j = 0; j < w->len; ++j) {
            text[i] = w->text[j];
            edge[i] = w->edge[j];
            ++i;
        }
        double farEdge = w->len > 0 ? w->edge[w->len] : 0.0;
        edge[i] = farEdge;
        if (w->spaceAfter) {
            text[i] = 32;
            ++i;
            edge[i] = farEdge;
        }
    }

    col.assign(len + 1, 0);
    convertedLen = 0;
    bool unicodeOut = uMap && uMap->isUnicode();
    for (i = 0; i < len; ++i) {
        col[i] = convertedLen;
        if (unicodeOut) {
            ++convertedLen;
        } else if (uMap) {
            char buf[8];
            convertedLen += uMap->mapUnicode(text[i], buf, sizeof buf);
        }
    }
    col[len] = convertedLen;
    hyphenated = len > 0 && text[len - 1] == '-';
}

double TextLine::meanFontSize() const {
    double sum = 0, count = 0;
    for (const TextWord* w = words; w; w = w->next) {
        if (w->fontSize > 0) sum += w->len * w->fontSize;
        count += w->len;
    }
    return sum / count;  // 0 / 0 for a line without characters: NaN on purpose
}

double TextLine::sizeOrDefault() const {
    const double m = meanFontSize();
    return std::isfinite(m) && m > 0.0 ? m : 8.0;
}

bool TextLine::isFigure() const { return isFigureText(text.data(), text.size()); }

int TextLine::compareAlong(const TextLine* other) const {
    double d;
    if (rot == other->rot) {
        switch (rot) {
            case 0: d = xMin - other->xMin; break;
            case 1: d = yMin - other->yMin; break;
            case 2: d = other->xMax - xMax; break;
            case 3: d = other->yMax - yMax; break;
            default: d = xMin - other->xMin; break;
        }
    } else {
        d = (rot == 1 || rot == 3) ? yMin - other->yMin : xMin - other->xMin;
    }
    return signOf(d);
}

double TextLine::primaryCoord() const {
    return primaryOf(rot, xMin, xMax, yMin, yMax);
}

}  // namespace tbx
