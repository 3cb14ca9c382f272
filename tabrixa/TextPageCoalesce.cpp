// End of page: words into cells and column groups, blocks, reading order and flows.
#include <algorithm>
#include <cmath>
#include <vector>

#include <GlobalParams.h>

#include "PDFR/pdf_ulin.h"
#include "tabrixa/PageTables.h"
#include "tabrixa/TextBlock.h"
#include "tabrixa/TextFlow.h"
#include "tabrixa/TextHelpers.h"
#include "tabrixa/TextLine.h"
#include "tabrixa/TextMarks.h"
#include "tabrixa/TextPage.h"
#include "tabrixa/TextPool.h"
#include "tabrixa/TextWord.h"

namespace tbx {

namespace {

// Strictly earlier along the reading direction, by a's rotation (words or blocks).
template <class T>
bool earlierAlong(const T* a, const T* b) {
    return primaryOf(a->rot, a->xMin, a->xMax, a->yMin, a->yMax) <
           primaryOf(a->rot, b->xMin, b->xMax, b->yMin, b->yMax);
}

// How far below a the block b starts, by a's rotation.
double secondaryDistance(const TextBlock* a, const TextBlock* b) {
    switch (a->rot) {
        default:
        case 0: return b->yMin - a->yMax;
        case 1: return a->xMin - b->xMax;
        case 2: return a->yMin - b->yMax;
        case 3: return b->xMin - a->xMax;
    }
}

// Along-the-line extent of a word or block, by rotation.
template <class T>
double lo(const T* t, int rot) { return (rot == 0 || rot == 2) ? t->xMin : t->yMin; }
template <class T>
double hi(const T* t, int rot) { return (rot == 0 || rot == 2) ? t->xMax : t->yMax; }

double firstWordSize(const TextBlock* b) {
    return (b->lines && b->lines->words) ? b->lines->words->fontSize : 0.0;
}

double firstLineMean(const TextBlock* b) { return b->lines ? b->lines->meanFontSize() : NAN; }

}  // namespace

namespace {

// The page's vertical rulings in points, by x, for the word-piece test.
using VerticalRuling = TableRuling;
std::vector<VerticalRuling> verticalRulings(const pdf_uline_processor& ul) {
    std::vector<VerticalRuling> out;
    auto add = [&out](const pdf_uline_processor::line_item& l) {
        if (const auto r = verticalRuling(l)) out.push_back(*r);
    };
    for (const auto& l : ul.get_table_lines()) add(l);
    for (const auto& l : ul.get_lines()) add(l);
    std::sort(out.begin(), out.end(), [](const VerticalRuling& a, const VerticalRuling& b) { return a.x < b.x; });
    return out;
}

// A ruling stands between two horizontal pieces (within half a point of the
// gap, across their middle height): a table's column edge, not kerning.
bool rulingBetween(const TextWord* a, const TextWord* b, const std::vector<VerticalRuling>& rulings) {
    if (a->rot != 0 && a->rot != 2) return false;
    const TextWord* left = a->rot == 0 ? a : b;
    const TextWord* right = a->rot == 0 ? b : a;
    const double x0 = std::min(left->xMax, right->xMin) - 0.5, x1 = std::max(left->xMax, right->xMin) + 0.5;
    const double y = (std::max(a->yMin, b->yMin) + std::min(a->yMax, b->yMax)) / 2;
    auto it = std::lower_bound(rulings.begin(), rulings.end(), x0,
                               [](const VerticalRuling& r, double x) { return r.x < x; });
    for (; it != rulings.end() && it->x <= x1; ++it)
        if (it->yMin <= y && y <= it->yMax) return true;
    return false;
}

// b goes on the word a ends, by the word rules of the intake: each string
// closes its word, so a word drawn as kerned pieces ([(Fu) -20 (el)] TJ)
// arrives as several words that follow each other in the content stream.
bool continuesWord(const TextWord* a, const TextWord* b, const std::vector<VerticalRuling>& rulings) {
    if (a->len == 0 || b->len == 0 || b->rot != a->rot || b->charPos != a->charPos + a->charLen) return false;
    if (b->fontSize != a->fontSize) return false;
    const double edgeDelta = b->edge[0] - a->edge[static_cast<size_t>(a->len - 1)];
    if (!continuesWordAt(a->gapAlong(b), b->base - a->base, edgeDelta, a->fontSize)) return false;
    return !rulingBetween(a, b, rulings);
}

// The box around the words [i, j) of a list.
struct WordsBox {
    double x0, x1, y0, y1;
};
WordsBox boxOf(const std::vector<TextWord*>& ws, size_t i, size_t j) {
    WordsBox b{ws[i]->xMin, ws[i]->xMax, ws[i]->yMin, ws[i]->yMax};
    for (size_t k = i + 1; k < j; ++k) {
        b.x0 = std::min(b.x0, ws[k]->xMin), b.x1 = std::max(b.x1, ws[k]->xMax);
        b.y0 = std::min(b.y0, ws[k]->yMin), b.y1 = std::max(b.y1, ws[k]->yMax);
    }
    return b;
}

// The cell of a word drawn in pieces is decided once for the whole word: the
// cell that holds all of it, else the cell of its start. Asked piece by piece,
// a grid line through a spanning header would cut the word in two.
void wholeWordCells(const std::vector<TextWord*>& words, const pdf_uline_processor& ul,
                    const std::vector<VerticalRuling>& rulings) {
    std::vector<TextWord*> stream(words);
    std::stable_sort(stream.begin(), stream.end(),
                     [](const TextWord* a, const TextWord* b) { return a->charPos < b->charPos; });
    for (size_t i = 0; i + 1 < stream.size();) {
        size_t j = i + 1;
        while (j < stream.size() && continuesWord(stream[j - 1], stream[j], rulings)) ++j;
        if (j - i > 1) {
            const WordsBox b = boxOf(stream, i, j);
            int code = ul.process_is_inCell(b.x0, b.x1, b.y0, b.y1);
            if (code == 0) code = stream[i]->cellCode;
            for (size_t k = i; k < j; ++k) stream[k]->cellCode = code;
        }
        i = j;
    }
}

// Words of one phrase (on one base line, a word space apart, no ruling
// between them) share a cell: the one holding most of the phrase. A phrase
// across a column edge whose rule stops short of it (a group header over
// two columns) stays whole, in the row it stands in. Words of another size
// belong to it when nothing parts them (small capitals: a capital, then
// smaller capitals).
void phraseCells(std::vector<TextWord*> words, const pdf_uline_processor& ul,
                 const std::vector<VerticalRuling>& rulings) {
    words.erase(std::remove_if(words.begin(), words.end(),
                               [](const TextWord* w) { return w->rot != 0 || w->len == 0; }),
                words.end());
    std::stable_sort(words.begin(), words.end(), [](const TextWord* a, const TextWord* b) {
        return a->base != b->base ? a->base < b->base : a->xMin < b->xMin;
    });
    auto joins = [&](const TextWord* a, const TextWord* b) {
        const double fs = a->fontSize;
        const double gap = b->xMin - a->xMax;
        const bool sameSize = std::fabs(b->fontSize - fs) < 0.05 * fs;
        return std::fabs(a->base - b->base) < 0.25 * fs && (sameSize || gap <= wordBreakEms * fs) &&
               gap > -0.1 * fs && gap < phraseGapEms * fs && !rulingBetween(a, b, rulings);
    };
    for (size_t i = 0; i < words.size();) {
        size_t j = i + 1;
        bool mixed = false;
        while (j < words.size() && joins(words[j - 1], words[j])) {
            mixed |= words[j]->cellCode != words[i]->cellCode;
            ++j;
        }
        if (mixed) {
            const WordsBox b = boxOf(words, i, j);
            int code = ul.process_is_inCell(b.x0, b.x1, b.y0, b.y1);
            if (code == 0) code = ul.process_cell_holding_most(b.x0, b.x1, b.y0, b.y1);
            if (code != 0)
                for (size_t k = i; k < j; ++k) words[k]->cellCode = code;
        }
        i = j;
    }
}

// A header row set directly above blocks of rows ends its lines where a gap
// between its words, clearly wider than a word space, meets a gap of the
// rows below: one between those blocks or one that every row of a block
// shows. The header of two columns of figures set flush right ("Share
// Count") may stand closer than the words of a line can.
void headersFollowColumnGaps(TextBlock* list, const UnicodeMap* uMap) {
    // Blocks of rows by their top, so that a line finds those right below it
    // without a walk over every block of the page.
    std::vector<TextBlock*> rowBlocks;
    for (TextBlock* b = list; b; b = b->next)
        if (b->rot == 0 && b->lineCount >= 3) rowBlocks.push_back(b);
    if (rowBlocks.empty()) return;
    std::sort(rowBlocks.begin(), rowBlocks.end(),
              [](const TextBlock* a, const TextBlock* b) { return a->yMin < b->yMin; });
    std::vector<std::pair<double, double>> covered, free;
    for (TextBlock* head = list; head; head = head->next) {
        if (head->rot != 0) continue;
        for (TextLine* l = head->lines; l; l = l->next) {
            if (!l->words || !l->words->next) continue;
            const double size = l->words->fontSize;
            bool wide = false;
            for (const TextWord* w = l->words; w->next && !wide; w = w->next)
                wide = w->next->xMin - w->xMax >= columnGapEms * size;
            if (!wide) continue;
            // What the blocks of rows right below the line cover.
            covered.clear();
            auto it = std::upper_bound(rowBlocks.begin(), rowBlocks.end(), l->yMax - 0.2 * size,
                                       [](double y, const TextBlock* b) { return y < b->yMin; });
            for (; it != rowBlocks.end() && (*it)->yMin - l->yMax < 1.5 * size; ++it) {
                const TextBlock* b = *it;
                if (b == head || b->xMax <= l->xMin || b->xMin >= l->xMax) continue;
                double x = b->xMin;
                for (const auto& g : b->columnGaps) {
                    covered.emplace_back(x, g.first);
                    x = g.second;
                }
                covered.emplace_back(x, b->xMax);
            }
            if (covered.empty()) continue;
            std::sort(covered.begin(), covered.end());
            free.clear();
            double reach = covered.front().second;
            for (const auto& c : covered) {
                if (c.first > reach) free.emplace_back(reach, c.first);
                reach = std::max(reach, c.second);
            }
            for (TextWord* w = l->words; w && w->next; w = w->next) {
                const double x0 = w->xMax, x1 = w->next->xMin;
                if (x1 - x0 < columnGapEms * size) continue;
                if (std::any_of(free.begin(), free.end(),
                                [&](const auto& g) { return x0 <= g.second && x1 >= g.first; })) {
                    head->endLineAfter(l, w, uMap);  // the rest is l->next, looked at next
                    break;
                }
            }
        }
    }
}

}  // namespace

void TextPage::assignCellsAndGroups() {
    pdf_uline_processor* ul = tk_singleton<pdf_uline_processor>::find();
    if (!ul || !ul->tables_mode()) return;
    const std::vector<VerticalRuling> rulings = verticalRulings(*ul);  // the same for every rotation
    std::vector<TextWord*> words;
    for (int rot = 0; rot < 4; ++rot) {
        TextPool* pool = pools[rot];
        words.clear();
        for (int b = pool->nextNonEmpty(pool->minBaseIdx); b <= pool->maxBaseIdx; b = pool->nextNonEmpty(b + 1)) {
            for (TextWord* w = pool->getPool(b); w; w = w->next) {
                w->cellCode = ul->process_is_inCell(w->xMin, w->xMax, w->yMin, w->yMax);
                // A word across a rule (text running past its cell) stays in
                // the cell that holds most of it.
                if (w->cellCode == 0 && (rot == 0 || rot == 2))
                    w->cellCode = ul->process_cell_holding_most(w->xMin, w->xMax, w->yMin, w->yMax);
                words.push_back(w);
            }
        }
        wholeWordCells(words, *ul, rulings);
        phraseCells(words, *ul, rulings);
        const int n = static_cast<int>(words.size());
        if (n < 4) continue;
        sortWith(words, compareWordsXY);
        int group = 1;
        int i = 0;
        while (i < n) {
            const TextWord* ref = words[i];
            const double refXMin = ref->xMin, refXMax = ref->xMax, s = ref->layoutSize();
            double prevBase = ref->base;
            int run = 1;
            bool rightEdge = false;
            while (i + run < n) {
                const TextWord* w = words[i + run];
                if (!(std::fabs(w->xMin - refXMin) < 0.1)) break;
                rightEdge = std::fabs(w->xMax - refXMax) < 0.1;
                if (std::fabs(w->base - prevBase) > 4 * s && !rightEdge && run < 4) {
                    i += run;
                    run = 1;
                } else {
                    ++run;
                }
                prevBase = w->base;
            }
            if (run >= 4 || rightEdge) {
                for (int k = i; k < i + run; ++k) words[k]->colGroup = group;
                ++group;
            }
            i += run;
        }
    }
}

void TextPage::buildBlocks(const UnicodeMap* uMap) {
    int rotChars[4] = {0, 0, 0, 0};
    TextBlock* listTail = nullptr;
    for (int rot = 0; rot < 4; ++rot) {
        TextPool* pool = pools[rot];
        int start = pool->minBaseIdx;
        while (true) {
            int b = pool->nextNonEmpty(start);
            if (b > pool->maxBaseIdx) break;
            start = b;
            int startBucket = b;
            TextWord* first = pool->getPool(b);
            for (int bb = b + 1; bb <= b + 3 && bb <= pool->maxBaseIdx; ++bb) {
                TextWord* w = pool->getPool(bb);
                if (w && earlierAlong(w, first)) {
                    first = w;
                    startBucket = bb;
                }
            }
            pool->unlink(startBucket, nullptr, first);

            TextBlock* blk = new TextBlock(this, rot);
            blk->addWord(first);
            const double fs = first->fontSize;
            double minBase = first->base, maxBase = first->base;
            const double colSpace1 = 0.3 * fs, colSpace2 = 1.0 * fs, lineSpace = 1.5 * fs,
                         intraLineSpace = 0.7 * fs;
            auto overlapsAlong = [&](const TextWord* w, double slack) {
                return lo(w, rot) < hi(blk, rot) + slack && hi(w, rot) > lo(blk, rot) - slack;
            };
            auto sizeWithin = [&](const TextWord* w, double f) { return std::fabs(w->fontSize - fs) < f * fs; };
            // Words of a bucket are in order along the line: from the first
            // that starts beyond the block (widened by slack) on, none overlaps it.
            auto beyond = [&](const TextWord* w, double slack) {
                switch (rot) {
                    default:
                    case 0: return w->xMin >= blk->xMax + slack;
                    case 1: return w->yMin >= blk->yMax + slack;
                    case 2: return w->xMax <= blk->xMin - slack;
                    case 3: return w->yMax <= blk->yMin - slack;
                }
            };
            // Takes every word of bucket idx that passes (each must overlap the
            // block along the line, widened by slack); returns the base of the last one taken.
            auto takeAll = [&](int idx, double slack, auto&& pass, bool& took, double& lastBase) {
                TextWord* prev = nullptr;
                TextWord* w = pool->getPool(idx);
                while (w && !beyond(w, slack)) {
                    TextWord* nx = w->next;
                    if (pass(w)) {
                        pool->unlink(idx, prev, w);
                        blk->addWord(w);
                        took = true;
                        lastBase = w->base;
                    } else {
                        prev = w;
                    }
                    w = nx;
                }
            };

            // The buckets the last beside-step looked through in vain, and the
            // block's extent along the line then: while that extent holds, a
            // word they kept back is kept back again, so only buckets the
            // growing base range adds need a look (a tall block would
            // otherwise be searched once for every line it takes).
            bool besideValid = false;
            int besideIdxLo = 0, besideIdxHi = 0;
            double besideAlongLo = 0, besideAlongHi = 0;

            bool found;
            do {
                found = false;
                // Above.
                {
                    bool took = false;
                    double lastBase = minBase;
                    const double lim = minBase - lineSpace;
                    const int bLo = pool->getBaseIdx(lim);
                    for (int idx = pool->prevNonEmpty(pool->getBaseIdx(minBase)); idx >= bLo && idx >= pool->minBaseIdx;
                         idx = pool->prevNonEmpty(idx - 1)) {
                        takeAll(idx, 0,
                                [&](const TextWord* w) {
                                    return w->base < minBase && w->base >= lim && overlapsAlong(w, 0) &&
                                           sizeWithin(w, 0.05);
                                },
                                took, lastBase);
                    }
                    if (took) minBase = lastBase, found = true;
                }
                // Below.
                {
                    bool took = false;
                    double lastBase = maxBase;
                    const double lim = maxBase + lineSpace;
                    const int bHi = pool->getBaseIdx(lim);
                    for (int idx = pool->nextNonEmpty(pool->getBaseIdx(maxBase)); idx <= bHi;
                         idx = pool->nextNonEmpty(idx + 1)) {
                        takeAll(idx, 0,
                                [&](const TextWord* w) {
                                    return w->base > maxBase && w->base <= lim && overlapsAlong(w, 0) &&
                                           sizeWithin(w, 0.05);
                                },
                                took, lastBase);
                    }
                    if (took) maxBase = lastBase, found = true;
                }
                // The same lines, beside the block.
                {
                    bool took = false;
                    double lastBase = 0;
                    const double lo2 = minBase - intraLineSpace, hi2 = maxBase + intraLineSpace;
                    const int bLo = pool->getBaseIdx(lo2), bHi = pool->getBaseIdx(hi2);
                    const double alongLo = lo(blk, rot), alongHi = hi(blk, rot);
                    const bool sameExtent = besideValid && alongLo == besideAlongLo && alongHi == besideAlongHi;
                    auto scan = [&](int from, int to) {
                        for (int idx = pool->nextNonEmpty(from); idx <= to; idx = pool->nextNonEmpty(idx + 1)) {
                            takeAll(idx, colSpace1,
                                    [&](const TextWord* w) {
                                        return w->base >= lo2 && w->base <= hi2 && overlapsAlong(w, colSpace1) &&
                                               sizeWithin(w, 0.6);
                                    },
                                    took, lastBase);
                        }
                    };
                    if (sameExtent) {
                        // The edge buckets again: their words' bases may have come into range.
                        scan(bLo, std::min(besideIdxLo, bHi));
                        scan(std::max(besideIdxHi, std::min(besideIdxLo, bHi) + 1), bHi);
                    } else {
                        scan(bLo, bHi);
                    }
                    besideValid = !took;
                    besideIdxLo = std::min(bLo, sameExtent ? besideIdxLo : bLo);
                    besideIdxHi = std::max(bHi, sameExtent ? besideIdxHi : bHi);
                    besideAlongLo = alongLo;
                    besideAlongHi = alongHi;
                    if (took) found = true;
                }
                if (found) continue;

                // One to three words just before, then just after the block.
                for (int side = 0; side < 2; ++side) {
                    auto fits = [&](const TextWord* w) {
                        if (!(w->base >= minBase - intraLineSpace && w->base <= maxBase + intraLineSpace)) return false;
                        if (!sizeWithin(w, 0.2)) return false;
                        if (side == 0) return hi(w, rot) <= lo(blk, rot) && hi(w, rot) > lo(blk, rot) - colSpace2;
                        return lo(w, rot) >= hi(blk, rot) && lo(w, rot) < hi(blk, rot) + colSpace2;
                    };
                    int n = 0;
                    for (int idx = pool->nextNonEmpty(pool->getBaseIdx(minBase - intraLineSpace));
                         idx <= pool->getBaseIdx(maxBase + intraLineSpace); idx = pool->nextNonEmpty(idx + 1)) {
                        for (TextWord* w = pool->getPool(idx); w; w = w->next) {
                            if (fits(w)) {
                                ++n;
                                break;
                            }
                        }
                    }
                    if (n < 1 || n > 3) continue;
                    for (int idx = pool->nextNonEmpty(pool->getBaseIdx(minBase - intraLineSpace));
                         idx <= pool->getBaseIdx(maxBase + intraLineSpace); idx = pool->nextNonEmpty(idx + 1)) {
                        TextWord* prev = nullptr;
                        TextWord* w = pool->getPool(idx);
                        while (w && !fits(w)) {
                            prev = w;
                            w = w->next;
                        }
                        if (!w) continue;
                        pool->unlink(idx, prev, w);
                        if (w->base < minBase)
                            minBase = w->base;
                        else if (w->base > maxBase)
                            maxBase = w->base;
                        blk->addWord(w);
                        found = true;
                    }
                }
            } while (found);

            blk->coalesce(uMap);
            if (listTail)
                listTail->next = blk;
            else
                blockList = blk;
            listTail = blk;
            rotChars[rot] += blk->charCount;
            if (primaryRot < 0 || rotChars[rot] > rotChars[primaryRot]) primaryRot = rot;
        }
    }
}

void TextPage::buildFlows() {
    const int n = static_cast<int>(blocks.size());
    std::vector<TextBlock*> left(blocks);
    int firstLeft = 0;
    auto advanceFirst = [&]() {
        while (firstLeft < n && !left[firstLeft]) ++firstLeft;
    };
    TextFlow* flowTail = nullptr;
    advanceFirst();
    while (firstLeft < n) {
        int choiceIdx = firstLeft;
        TextBlock* choice = left[firstLeft];
        for (int j = firstLeft + 1; j < n; ++j) {
            TextBlock* c = left[j];
            if (!c) continue;
            if (secondaryDistance(choice, c) > 0) break;
            if (earlierAlong(c, choice)) {
                choice = c;
                choiceIdx = j;
            }
        }
        left[choiceIdx] = nullptr;
        advanceFirst();
        TextFlow* flow = new TextFlow(this, choice);
        if (flowTail)
            flowTail->next = flow;
        else
            flows = flow;
        flowTail = flow;

        choice->stackLink = nullptr;
        TextBlock* stack = choice;
        while (stack) {
            TextBlock* top = stack;
            const double allowed = 2.5 * firstWordSize(top);
            TextBlock* cand = nullptr;
            int candIdx = -1;
            for (int j = firstLeft; j < n; ++j) {
                TextBlock* e = left[j];
                if (!e) continue;
                if (secondaryDistance(top, e) > allowed) break;
                if (cand && secondaryDistance(cand, e) > 0) break;
                if (e->liesBelow(top) && (!cand || earlierAlong(e, cand))) {
                    cand = e;
                    candIdx = j;
                }
            }
            bool accept = false;
            if (cand) {
                accept = !(firstLineMean(cand) > firstLineMean(flow->lastBlock));
                if (accept) {
                    if (primaryRot == 1 || primaryRot == 3)
                        accept = cand->yMin >= flow->spanMin && cand->yMax <= flow->spanMax;
                    else
                        accept = cand->xMin >= flow->spanMin && cand->xMax <= flow->spanMax;
                }
            }
            if (accept) {
                left[candIdx] = nullptr;
                advanceFirst();
                flow->addBlock(cand);
                cand->stackLink = stack;
                stack = cand;
            } else {
                stack = stack->stackLink;
            }
        }
    }
}

void TextPage::coalesce() {
    // A span left open by the page gives its glyphs all the same.
    finishSpans();
    // A word still open (a string without its end) belongs to the page too.
    nest = 0;
    closeWord();
    fileHeldGlyphs();
    // A second call on the same page starts over from the pools only.
    clearLayout();

    // The encoding map belongs to poppler's global settings.
    const UnicodeMap* uMap = globalParams ? globalParams->getTextEncoding() : nullptr;
    primaryRot = -1;
    for (auto& p : pools)
        if (!p) p = new TextPool;

    if (pools[0]) seatRaisedMarks(*pools[0]);
    for (TextPool* p : pools) combineAccents(*p);
    assignCellsAndGroups();
    buildBlocks(uMap);
    headersFollowColumnGaps(blockList, uMap);

    int lr = 0;
    for (TextBlock* b = blockList; b; b = b->next)
        for (TextLine* l = b->lines; l; l = l->next)
            for (TextWord* w = l->words; w; w = w->next)
                for (int i = 0; i < w->len; ++i) {
                    if (unicodeTypeL(w->text[i]))
                        ++lr;
                    else if (unicodeTypeR(w->text[i]))
                        --lr;
                }
    primaryLR = lr >= 0;

    blocks.clear();
    for (TextBlock* b = blockList; b; b = b->next) blocks.push_back(b);
    blockList = nullptr;  // the array owns them now
    noteBracketCodes();
    const int pr = primaryRot;
    sortWith(blocks, [pr](const TextBlock* a, const TextBlock* b) { return compareBlocksXY(a, b, pr); });

    for (int i = 0; i < blockCount(); ++i) {
        TextBlock* B = blocks[i];
        int firstCol = 0;
        for (int j = 0; j < i; ++j) {
            const TextBlock* E = blocks[j];
            double bLo, eLo, eHi;
            bool after;
            switch (pr) {
                default:
                case 0: after = B->xMin > E->xMax, bLo = B->xMin, eLo = E->xMin, eHi = E->xMax; break;
                case 1: after = B->yMin > E->yMax, bLo = B->yMin, eLo = E->yMin, eHi = E->yMax; break;
                case 2: after = B->xMax < E->xMin, bLo = B->xMax, eLo = E->xMax, eHi = E->xMin; break;
                case 3: after = B->yMax < E->yMin, bLo = B->yMax, eLo = E->yMax, eHi = E->yMin; break;
            }
            int v;
            if (after)
                v = E->firstColumn + E->columnCount + 3;
            else if (eHi == eLo)
                v = E->firstColumn;
            else {
                double f = (bLo - eLo) / (eHi - eLo) * E->columnCount;
                v = E->firstColumn + (std::isfinite(f) ? static_cast<int>(std::fmax(std::fmin(f, 1e9), -1e9)) : 0);
            }
            if (v > firstCol) firstCol = v;
        }
        B->firstColumn = firstCol;
        for (TextLine* l = B->lines; l; l = l->next)
            for (int& c : l->col) c += firstCol;
    }

    sortWith(blocks, [pr](const TextBlock* a, const TextBlock* b) { return compareBlocksYX(a, b, pr); });
    // Free stretches: only blocks that overlap across the reading direction
    // narrow each other, and the narrowing commutes, so sorting by that axis
    // lets each block meet only its overlapping neighbours.
    {
        const bool yAxis = !(pr == 1 || pr == 3);
        std::vector<TextBlock*> byLo(blocks);
        std::stable_sort(byLo.begin(), byLo.end(), [yAxis](const TextBlock* a, const TextBlock* b) {
            double ka = yAxis ? a->yMin : a->xMin, kb = yAxis ? b->yMin : b->xMin;
            if (!(ka == ka)) ka = 0;  // keeps the order a strict weak one
            if (!(kb == kb)) kb = 0;
            return ka < kb;
        });
        for (size_t i = 0; i < byLo.size(); ++i) {
            TextBlock* a = byLo[i];
            const double aHi = yAxis ? a->yMax : a->xMax;
            for (size_t j = i + 1; j < byLo.size(); ++j) {
                TextBlock* b = byLo[j];
                if ((yAxis ? b->yMin : b->xMin) >= aHi) break;
                a->narrowFreeSpan(b);
                b->narrowFreeSpan(a);
            }
        }
    }

    buildFlows();
}

}  // namespace tbx
