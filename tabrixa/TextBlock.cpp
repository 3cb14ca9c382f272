#include "tabrixa/TextBlock.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "tabrixa/TextHelpers.h"
#include "tabrixa/TextLine.h"
#include "tabrixa/TextPage.h"
#include "tabrixa/TextPool.h"
#include "tabrixa/TextWord.h"

namespace tbx {

TextBlock::TextBlock(TextPage* p, int rotation)
    : page(p), rot(rotation), spanMin(0), spanMax(p ? p->pageWidth : 0), pool(new TextPool) {}

TextBlock::~TextBlock() {
    delete pool;
    deleteChain(lines);
}

void TextBlock::addWord(TextWord* w) {
    pool->addWord(w);
    widenBox(*this, *w);
}

namespace {

bool isDuplicate(const TextWord* w0, const TextWord* w2, int rot, double pri, double sec) {
    if (w2->len != w0->len) return false;
    for (int i = 0; i < w0->len; ++i)
        if (w2->text[i] != w0->text[i]) return false;
    double tx = (rot == 0 || rot == 2) ? pri : sec;
    double ty = (rot == 0 || rot == 2) ? sec : pri;
    return std::fabs(w0->xMin - w2->xMin) < tx && std::fabs(w0->xMax - w2->xMax) < tx &&
           std::fabs(w0->yMin - w2->yMin) < ty && std::fabs(w0->yMax - w2->yMax) < ty;
}

// The new line comes after l: row order first, then along the reading direction.
bool lineComesAfter(const TextLine* nl, const TextLine* l) {
    int c = compareLines(nl, l);
    if (c != 0) return c > 0;
    if (nl->rot == l->rot) return nl->primaryCoord() > l->primaryCoord();
    return (nl->rot == 0 || nl->rot == 2) ? nl->xMin > l->xMin : nl->yMin > l->yMin;
}

}  // namespace

void TextBlock::coalesce(const UnicodeMap* uMap) {
    TextPool* p = pool;
    const int R = rot;

    // Duplicated words (fake bold, drop shadows): keep the first copy.
    for (int b0 = p->nextNonEmpty(p->minBaseIdx); b0 <= p->maxBaseIdx; b0 = p->nextNonEmpty(b0 + 1)) {
        for (TextWord* w0 = p->getPool(b0); w0; w0 = w0->next) {
            double pri = 0.1 * w0->fontSize, sec = 0.2 * w0->fontSize;
            int bMax = (R == 0 || R == 3) ? p->getBaseIdx(w0->base + sec) : p->getBaseIdx(w0->base - sec);
            bool found = true;
            while (found) {
                found = false;
                for (int b = b0; !found && b <= bMax; b = p->nextNonEmpty(b + 1)) {
                    TextWord* prev = (b == b0) ? w0 : nullptr;
                    for (TextWord* w2 = prev ? w0->next : p->getPool(b); w2; prev = w2, w2 = w2->next) {
                        if (isDuplicate(w0, w2, R, pri, sec)) {
                            p->unlink(b, prev, w2);
                            delete w2;
                            found = true;
                            break;
                        }
                    }
                }
            }
        }
    }

    // Close words inherit their left neighbour's column group.
    for (int b = p->nextNonEmpty(p->minBaseIdx); b <= p->maxBaseIdx; b = p->nextNonEmpty(b + 1)) {
        double prevXMax = 0.0;
        int prevGroup = 0;
        for (TextWord* w = p->getPool(b); w; w = w->next) {
            if (prevXMax != 0.0 && w->fontSize / 3.0 > w->xMin - prevXMax) w->colGroup = prevGroup;
            prevGroup = w->colGroup;
            prevXMax = w->xMax;
        }
    }

    // Lines.
    lastLine = nullptr;
    lineCount = 0;
    charCount = 0;
    int s = p->minBaseIdx;
    while (true) {
        s = p->nextNonEmpty(s);
        if (s > p->maxBaseIdx) break;
        int startBucket = s;
        TextWord* first = p->getPool(s);
        for (int b = s + 1; b <= s + 3 && b <= p->maxBaseIdx; ++b) {
            TextWord* w = p->getPool(b);
            if (w && w->primaryCoord() < first->primaryCoord()) {
                startBucket = b;
                first = w;
            }
        }
        TextWord* w = first;
        p->unlink(startBucket, nullptr, w);
        TextLine* line = new TextLine(this, w->rot, w->base);
        line->addWord(w);
        TextWord* last = w;

        const double size = w->fontSize;
        const double d = size > 25.0 ? 0.7 * 0.7 * size : 0.7 * size;
        const double minBase = w->base - d, maxBase = w->base + d;
        const int bFirst = p->getBaseIdx(minBase), bLast = p->getBaseIdx(maxBase);
        while (true) {
            TextWord* best = nullptr;
            TextWord* bestPrev = nullptr;
            int bestBucket = 0;
            for (int b = p->nextNonEmpty(bFirst); b <= bLast; b = p->nextNonEmpty(b + 1)) {
                TextWord* prev = nullptr;
                TextWord* x = p->getPool(b);
                for (; x; prev = x, x = x->next) {
                    if (x->base >= minBase && x->base <= maxBase &&
                        (x->colGroup == last->colGroup || x->colGroup == 0 || last->colGroup == 0) &&
                        x->cellCode == last->cellCode && last->gapAlong(x) >= -0.33 * size)
                        break;
                }
                if (x && last->gapAlong(x) < 1.5 * size && (!best || x->primaryCoord() < best->primaryCoord())) {
                    best = x;
                    bestPrev = prev;
                    bestBucket = b;
                }
            }
            if (!best) break;
            p->unlink(bestBucket, bestPrev, best);
            line->addWord(best);
            last = best;
        }

        TextLine* prevLine;
        TextLine* cur;
        if (lastLine && lineComesAfter(line, lastLine)) {
            prevLine = lastLine;
            cur = lastLine->next;
        } else {
            prevLine = nullptr;
            cur = lines;
        }
        while (cur && lineComesAfter(line, cur)) {
            prevLine = cur;
            cur = cur->next;
        }
        line->next = cur;
        if (prevLine)
            prevLine->next = line;
        else
            lines = line;

        line->coalesce(uMap);
        lastLine = line;
        charCount += line->len;
        ++lineCount;
    }

    // Column numbers of every character.
    std::vector<TextLine*> sorted;
    for (TextLine* l = lines; l; l = l->next) sorted.push_back(l);
    sortWith(sorted, compareLinesAlong);
    columnCount = 0;
    for (size_t i = 0; i < sorted.size(); ++i) {
        TextLine* li = sorted[i];
        int c = 0;
        for (size_t j = 0; j < i; ++j) {
            const TextLine* lj = sorted[j];
            int c2;
            if (gapAlongOf(lj->rot, *lj, *li) >= 0) {
                c2 = lj->col[lj->len] + 1;
            } else {
                int k = 0;
                for (; k < lj->len; ++k) {
                    double m = 0.5 * (lj->edge[k] + lj->edge[k + 1]);
                    bool before;
                    switch (R) {
                        default:
                        case 0: before = li->xMin >= m; break;
                        case 1: before = li->yMin >= m; break;
                        case 2: before = m >= li->xMax; break;
                        case 3: before = m >= li->yMax; break;
                    }
                    if (!before) break;
                }
                c2 = lj->col[k];
            }
            c = std::max(c, c2);
        }
        for (int& v : li->col) v += c;
        columnCount = std::max(columnCount, li->col[li->len]);
    }
}

bool TextBlock::liesBelow(const TextBlock* other) const {
    switch (page ? page->primaryRot : 0) {
        default:
        case 0: return xMin >= other->spanMin && xMax <= other->spanMax && yMin > other->yMin;
        case 1: return yMin >= other->spanMin && yMax <= other->spanMax && xMax < other->xMax;
        case 2: return xMin >= other->spanMin && xMax <= other->spanMax && yMax < other->yMax;
        case 3: return yMin >= other->spanMin && yMax <= other->spanMax && xMin > other->xMin;
    }
}

void TextBlock::narrowFreeSpan(const TextBlock* other) {
    int pr = page ? page->primaryRot : 0;
    double nearEdge, farEdge, oMin, oMax;
    if (pr == 1 || pr == 3) {
        if (!(other->xMin < xMax && other->xMax > xMin)) return;
        nearEdge = yMin, farEdge = yMax, oMin = other->yMin, oMax = other->yMax;
    } else {
        if (!(other->yMin < yMax && other->yMax > yMin)) return;
        nearEdge = xMin, farEdge = xMax, oMin = other->xMin, oMax = other->xMax;
    }
    if (oMin < nearEdge) {
        double lo = std::min(oMax, nearEdge);
        if (lo > spanMin) spanMin = lo;
    }
    if (oMax > farEdge) {
        double hi = std::max(oMin, farEdge);
        if (hi < spanMax) spanMax = hi;
    }
}

}  // namespace tbx
