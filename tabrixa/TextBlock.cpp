#include "tabrixa/TextBlock.h"

#include <algorithm>
#include <cmath>
#include <list>
#include <map>
#include <unordered_set>
#include <utility>
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

// l stands on an earlier row than nl with room to spare: their boxes do not
// meet across the reading direction (rows of rotations 1 and 3 run from
// right to left).
bool whollyBefore(const TextLine* l, const TextLine* nl) {
    return (nl->rot == 1 || nl->rot == 3) ? l->xMin > nl->xMax : l->yMax < nl->yMin;
}

// Column gaps of an upright block: spans along the line that part the
// words of its rows at one place. Figures of two columns set flush right
// may stand closer than the words of one line can, yet a gap that the rows
// show at one place, clearly wider than a word space, is an edge between
// columns. A span counts where at least three rows, all of them, leave it
// free between their words, or four rows and all but one in five: a title
// or a sentence over the whole block, a long label, or a bold total row
// whose wider figures narrow the gap do not hide the columns of the rest.
// Such a row is parted too, at its widest gap reaching into the span, when
// that gap is wider than a word space (for two figures: than the thin or
// no-break space that groups their digits).
struct FreeColumns {
    // Where every row leaves the block free between its words (what a
    // header line above the block may be parted at).
    std::vector<std::pair<double, double>> spans;
    std::unordered_set<const TextWord*> lineStarts;  // words a line never continues into
    // Words standing apart in their rows: after a gap wider than a word
    // space and half as wide again as the row's narrowest other gap (or,
    // in a row of two words, an em).
    std::vector<const TextWord*> apart;
};

// A gap between two words of a row that no word space makes: between two
// figures, wider than the thin or no-break space grouping digits.
bool widerThanWordSpace(const TextWord& a, const TextWord& b, double gap) {
    const double size = std::max(a.fontSize, b.fontSize);
    if (a.isFigure() && b.isFigure()) return gap >= figureGroupEms * size;
    return gap >= columnGapEms * size;
}

FreeColumns freeColumns(const TextPool* p) {
    FreeColumns out;
    std::vector<const TextWord*> ws;
    double size = 0.0;
    for (int b = p->nextNonEmpty(p->minBaseIdx); b <= p->maxBaseIdx; b = p->nextNonEmpty(b + 1))
        for (const TextWord* w = p->getPool(b); w; w = w->next) {
            ws.push_back(w);
            size = std::max(size, w->fontSize);
        }
    if (ws.size() < 6) return out;
    std::stable_sort(ws.begin(), ws.end(), [](const TextWord* a, const TextWord* b) { return a->base < b->base; });
    // Rows: words on one base line, left to right, and the gap before each
    // word but the first: from the end of the word before it reaching
    // furthest to its start (hi <= lo where they overlap: no gap).
    struct Gap {
        double lo, hi;
        const TextWord *before, *start;
        double width() const { return hi - lo; }
    };
    std::vector<std::vector<const TextWord*>> rows;
    std::vector<std::vector<Gap>> rowGaps;
    for (size_t i = 0; i < ws.size();) {
        size_t j = i + 1;
        while (j < ws.size() && ws[j]->base - ws[i]->base < 0.5 * ws[i]->fontSize) ++j;
        auto& row = rows.emplace_back(ws.begin() + static_cast<long>(i), ws.begin() + static_cast<long>(j));
        std::sort(row.begin(), row.end(), [](const TextWord* a, const TextWord* b) { return a->xMin < b->xMin; });
        auto& gaps = rowGaps.emplace_back();
        const TextWord* reacher = row.front();
        for (size_t k = 1; k < row.size(); ++k) {
            gaps.push_back({reacher->xMax, row[k]->xMin, reacher, row[k]});
            if (row[k]->xMax > reacher->xMax) reacher = row[k];
        }
        i = j;
    }
    if (rows.size() < 3) return out;
    for (const auto& gaps : rowGaps) {
        // The narrowest gap and the next: the narrowest of the others for each.
        double least = INFINITY, second = INFINITY;
        for (const Gap& g : gaps) {
            const double w = std::max(g.width(), 0.0);
            if (w < least)
                second = least, least = w;
            else
                second = std::min(second, w);
        }
        for (const Gap& g : gaps) {
            const double narrowest = std::max(g.width(), 0.0) == least ? second : least;
            const double size = g.start->fontSize;
            if (g.width() >= columnGapEms * size && g.width() >= (std::isinf(narrowest) ? size : 1.5 * narrowest))
                out.apart.push_back(g.start);
        }
    }
    // Along the line, how many rows leave each stretch free between their
    // words: events (x, change for every row, change for the rows that
    // count). A row of lone characters (marks drawn apart from their line,
    // such as accents or vector arrows) shows no columns and does not count.
    struct Event {
        double x;
        int all, counted;
    };
    std::vector<Event> ev;
    int countedRows = 0;
    for (size_t r = 0; r < rows.size(); ++r) {
        const int counts =
            std::any_of(rows[r].begin(), rows[r].end(), [](const TextWord* w) { return w->len > 1; }) ? 1 : 0;
        countedRows += counts;
        for (const Gap& g : rowGaps[r])
            if (g.hi > g.lo) {
                ev.push_back({g.lo, 1, counts});
                ev.push_back({g.hi, -1, -counts});
            }
    }
    std::sort(ev.begin(), ev.end(), [](const Event& a, const Event& b) { return a.x < b.x; });
    const double minWidth = 0.5 * size;
    const int allRows = static_cast<int>(rows.size());
    // Stretches between consecutive event places, with their free rows.
    struct Stretch {
        double x0, x1;
        int all, counted;
    };
    std::vector<Stretch> parts;
    int allFree = 0, freeRows = 0;
    for (size_t k = 0; k < ev.size();) {
        const double x = ev[k].x;
        for (; k < ev.size() && ev[k].x == x; ++k) {
            allFree += ev[k].all;
            freeRows += ev[k].counted;
        }
        if (k < ev.size()) parts.push_back({x, ev[k].x, allFree, freeRows});
    }
    // Where every row leaves the block free: for header lines above it.
    for (size_t k = 0; k < parts.size();) {
        size_t j = k;
        while (j < parts.size() && parts[j].all == allRows) ++j;
        if (j > k && parts[j - 1].x1 - parts[k].x0 >= minWidth) out.spans.emplace_back(parts[k].x0, parts[j - 1].x1);
        k = std::max(j, k + 1);
    }
    // Where rows part columns: a core that all rows, or four rows and all
    // but one in five, leave free, as far as half of them still do (a
    // long label across the core leaves two pieces of one gap).
    auto core = [&](const Stretch& p) {
        return p.counted >= 3 &&
               (p.counted == countedRows || (p.counted >= 4 && 5 * (countedRows - p.counted) <= countedRows));
    };
    auto part = [&](const Stretch& p) { return p.counted >= 3 && 2 * p.counted >= countedRows; };
    std::vector<std::pair<double, double>> spans;
    for (size_t k = 0; k < parts.size();) {
        size_t j = k;
        double widestCore = 0.0, coreFrom = NAN;
        while (j < parts.size() && (part(parts[j]) || core(parts[j]))) {
            if (core(parts[j])) {
                if (std::isnan(coreFrom)) coreFrom = parts[j].x0;
                widestCore = std::max(widestCore, parts[j].x1 - coreFrom);
            } else {
                coreFrom = NAN;
            }
            ++j;
        }
        if (widestCore >= minWidth) spans.emplace_back(parts[k].x0, parts[j - 1].x1);
        k = std::max(j, k + 1);
    }
    // A gap every row shows parts them all, marks and lone characters too.
    spans.insert(spans.end(), out.spans.begin(), out.spans.end());
    std::sort(spans.begin(), spans.end());
    // Every row ends its lines at its widest gap reaching into each span: a
    // gap over half the span or more, and in a row with such a gap also a
    // narrower one wider than a word space. A row without such a gap (a
    // sentence running over the columns) is left whole.
    std::vector<const TextWord*> narrower;
    for (const auto& gaps : rowGaps) {
        narrower.clear();
        bool holds = false;
        size_t from = 0;  // both ends of the gaps grow along the row
        for (const auto& g : spans) {
            while (from < gaps.size() && gaps[from].hi <= g.first) ++from;
            const Gap* widest = nullptr;
            for (size_t k = from; k < gaps.size() && gaps[k].lo < g.second; ++k)
                if (gaps[k].hi > gaps[k].lo && (!widest || gaps[k].width() > widest->width())) widest = &gaps[k];
            if (!widest) continue;
            if (std::min(widest->hi, g.second) - std::max(widest->lo, g.first) >= 0.5 * (g.second - g.first)) {
                holds = true;
                out.lineStarts.insert(widest->start);
            } else if (widerThanWordSpace(*widest->before, *widest->start, widest->width())) {
                narrower.push_back(widest->start);
            }
        }
        if (holds) out.lineStarts.insert(narrower.begin(), narrower.end());
    }
    return out;
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
    FreeColumns free;
    if (R == 0) free = freeColumns(p);
    columnGaps = std::move(free.spans);
    // Column groups of fewer than four words that all end at the block's
    // right edge: the same last word of justified lines one above the other
    // (flush with the margin, so at the same place), not a column of a table.
    std::map<int, int> marginGroups;  // group -> its words; -1 when one leaves the edge
    if (R == 0)
        for (int b = p->nextNonEmpty(p->minBaseIdx); b <= p->maxBaseIdx; b = p->nextNonEmpty(b + 1))
            for (const TextWord* w = p->getPool(b); w; w = w->next) {
                if (w->colGroup == 0) continue;
                int& n = marginGroups[w->colGroup];
                if (n >= 0) n = std::fabs(w->xMax - xMax) < 0.1 ? n + 1 : -1;
            }
    // A group whose column other rows use (a word of theirs standing apart
    // across it) is a column of a table, not the last words of lines.
    if (!marginGroups.empty()) {
        std::map<int, std::pair<double, double>> extent;
        for (int b = p->nextNonEmpty(p->minBaseIdx); b <= p->maxBaseIdx; b = p->nextNonEmpty(b + 1))
            for (const TextWord* w = p->getPool(b); w; w = w->next) {
                const auto it = marginGroups.find(w->colGroup);
                if (it == marginGroups.end() || it->second <= 0 || it->second >= 4) continue;
                auto [e, fresh] = extent.try_emplace(w->colGroup, w->xMin, w->xMax);
                if (!fresh) e->second = {std::min(e->second.first, w->xMin), std::max(e->second.second, w->xMax)};
            }
        for (const TextWord* w : free.apart)
            for (const auto& [group, span] : extent)
                if (w->colGroup != group && w->xMin < span.second && w->xMax > span.first) marginGroups[group] = -1;
    }
    auto atMargin = [&](const TextWord* w) {
        const auto it = marginGroups.find(w->colGroup);
        return it != marginGroups.end() && it->second > 0 && it->second < 4;
    };
    std::list<TextLine*> order;  // the lines in row order
    for (TextLine* l = lines; l; l = l->next) order.push_back(l);
    auto lastPos = order.end();  // where the line built last stands in it
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
        // The widest and the narrowest gap between the line's words so far.
        double widestGap = -1.0, narrowestGap = -1.0;
        int gaps = 0;

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
                    // The last word of a justified line (evenly spaced, of
                    // three words or more) stays in it though it heads a
                    // group at the margin, unless a wider gap than the
                    // line's own keeps it apart.
                    if (x->base >= minBase && x->base <= maxBase &&
                        (x->colGroup == last->colGroup || x->colGroup == 0 || last->colGroup == 0 ||
                         (gaps >= 2 && narrowestGap >= 0.6 * widestGap && atMargin(x) &&
                          last->gapAlong(x) <= 1.25 * widestGap + 0.05 * size)) &&
                        x->cellCode == last->cellCode && last->gapAlong(x) >= -0.33 * size)
                        break;
                }
                if (x && last->gapAlong(x) < 1.5 * size && (!best || x->primaryCoord() < best->primaryCoord())) {
                    best = x;
                    bestPrev = prev;
                    bestBucket = b;
                }
            }
            if (!best || free.lineStarts.count(best) || clippedApart(*last, *best)) break;
            p->unlink(bestBucket, bestPrev, best);
            const double gap = last->gapAlong(best);
            widestGap = gaps ? std::max(widestGap, gap) : gap;
            narrowestGap = gaps ? std::min(narrowestGap, gap) : gap;
            ++gaps;
            line->addWord(best);
            last = best;
        }

        // Into row order: after the line built last when it comes after
        // that one; first when it does not come after the first line (rows
        // of rotated text are built last row first); else from the last line
        // that stands wholly before it (a line started a few buckets early
        // is followed by the ones it skipped). Walking from the first line
        // would cost the block's length for every line.
        std::list<TextLine*>::iterator pos;
        if (lastLine && lineComesAfter(line, lastLine)) {
            pos = std::next(lastPos);
        } else if (order.empty() || !lineComesAfter(line, order.front())) {
            pos = order.begin();
        } else {
            pos = order.end();
            while (pos != order.begin() && !whollyBefore(*std::prev(pos), line)) --pos;
            if (pos != order.begin()) --pos;
        }
        while (pos != order.end() && lineComesAfter(line, *pos)) ++pos;
        lastPos = order.insert(pos, line);

        line->coalesce(uMap);
        lastLine = line;
        charCount += line->len;
        ++lineCount;
    }
    lines = order.empty() ? nullptr : order.front();
    for (auto it = order.begin(); it != order.end(); ++it)
        (*it)->next = std::next(it) == order.end() ? nullptr : *std::next(it);

    numberColumns();
}

void TextBlock::endLineAfter(TextLine* line, TextWord* word, const UnicodeMap* uMap) {
    TextWord* rest = word->next;
    if (!rest) return;
    TextWord* head = line->words;
    word->next = nullptr;
    word->spaceAfter = false;
    charCount -= line->len;
    // The line is built again from its first words, the rest makes a new one.
    line->words = line->lastWord = nullptr;
    line->xMin = 0, line->xMax = -1, line->yMin = 0, line->yMax = -1;
    line->colGroup = 0;
    for (TextWord* w = head; w;) {
        TextWord* nx = w->next;
        line->addWord(w);
        w = nx;
    }
    auto* tail = new TextLine(this, line->rot, rest->base);
    for (TextWord* w = rest; w;) {
        TextWord* nx = w->next;
        tail->addWord(w);
        w = nx;
    }
    tail->next = line->next;
    line->next = tail;
    if (lastLine == line) lastLine = tail;
    ++lineCount;
    line->coalesce(uMap);
    tail->coalesce(uMap);
    charCount += line->len + tail->len;
    numberColumns();
}

namespace {
// Position of the middle of character k of a line, along rotation r, in the
// sense of primaryOf (growing along the reading direction).
double midAlong(const TextLine* l, int k, int r) {
    const double m = 0.5 * (l->edge[static_cast<size_t>(k)] + l->edge[static_cast<size_t>(k) + 1]);
    return (r == 2 || r == 3) ? -m : m;
}
}  // namespace

// Column numbers of every character: a line starts at the greatest column
// that the lines before it along the reading direction reach at its start
// (the column after the end of a line it lies wholly behind, else the column
// of that line's first character whose middle is not before it).
//
// Taken pairwise this costs lines x lines. Lines come sorted by their start,
// and what an earlier line gives only grows with that start, so each earlier
// line keeps the character it reached and is asked again only when the start
// moves on; a line wholly behind gives its final column once and leaves, and
// one that cannot beat the greatest column reached leaves as well.
void TextBlock::numberColumns() {
    const int R = rot;
    std::vector<TextLine*> sorted;
    for (TextLine* l = lines; l; l = l->next) sorted.push_back(l);
    sortWith(sorted, compareLinesAlong);
    columnCount = 0;

    struct Reach {
        const TextLine* line;
        int k;  // first character whose middle is not before the start asked
    };
    std::vector<Reach> open;
    size_t asked = 0;  // open[0, asked) answered for the start `at`
    int behind = 0;    // greatest final column of the lines left behind
    int best = 0;      // greatest column reached at `at`
    double at = 0;
    auto columnAt = [&](Reach& r, const TextLine* li, double p, bool& done) {
        const TextLine* lj = r.line;
        done = gapAlongOf(lj->rot, *lj, *li) >= 0;
        if (done) return lj->col[static_cast<size_t>(lj->len)] + 1;
        while (r.k < lj->len && p >= midAlong(lj, r.k, R)) ++r.k;
        return lj->col[static_cast<size_t>(r.k)];
    };
    for (size_t i = 0; i < sorted.size(); ++i) {
        TextLine* li = sorted[i];
        const double p = primaryOf(R, li->xMin, li->xMax, li->yMin, li->yMax);
        int c = 0;
        if (i > 0 && p < at) {
            // Out of order (the sort's tolerances): ask every earlier line afresh.
            for (size_t j = 0; j < i; ++j) {
                Reach r{sorted[j], 0};
                bool done;
                c = std::max(c, columnAt(r, li, p, done));
            }
        } else {
            if (i == 0 || p > at) {
                asked = 0;
                best = behind;
                at = p;
            }
            size_t keep = asked;
            for (size_t j = asked; j < open.size(); ++j) {
                bool done;
                const int v = columnAt(open[j], li, p, done);
                best = std::max(best, v);
                if (done)
                    behind = std::max(behind, v);
                else if (open[j].line->col[static_cast<size_t>(open[j].line->len)] + 1 > best)
                    open[keep++] = open[j];
            }
            open.resize(keep);
            asked = keep;
            c = std::max(c, best);
        }
        for (int& v : li->col) v += c;
        columnCount = std::max(columnCount, li->col[static_cast<size_t>(li->len)]);
        open.push_back({li, 0});
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
