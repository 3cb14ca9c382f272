#include "tabrixa/TextPool.h"

#include <cmath>

#include "tabrixa/TextHelpers.h"
#include "tabrixa/TextWord.h"

namespace tbx {

TextPool::~TextPool() {
    for (auto& b : buckets) deleteChain(b.second);
}

int TextPool::baseIdxOf(double base) {
    // Four points per bucket. A base beyond any page (huge text rise) is
    // kept inside int range; NaN goes to bucket 0.
    if (!(base == base)) return 0;
    if (base > 4.0e9) base = 4.0e9;
    if (base < -4.0e9) base = -4.0e9;
    return static_cast<int>(base * 0.25);
}

int TextPool::getBaseIdx(double base) const {
    int idx = baseIdxOf(base);
    if (idx < minBaseIdx) return minBaseIdx;
    if (idx > maxBaseIdx) return maxBaseIdx;
    return idx;
}

void TextPool::addWord(TextWord* word) {
    int idx = baseIdxOf(word->base);
    if (maxBaseIdx < minBaseIdx) {
        minBaseIdx = idx - 128;
        maxBaseIdx = idx + 128;
    } else if (idx < minBaseIdx) {
        minBaseIdx = idx - 128;
    } else if (idx > maxBaseIdx) {
        maxBaseIdx = idx + 128;
    }
    double prim = word->primaryCoord();
    TextWord* w0;
    TextWord* w1;
    if (cursor && idx == cursorBaseIdx && prim > cursor->primaryCoord()) {
        w0 = cursor;
        w1 = cursor->next;
    } else {
        w0 = nullptr;
        w1 = getPool(idx);
    }
    while (w1 && prim > w1->primaryCoord()) {
        w0 = w1;
        w1 = w1->next;
    }
    word->next = w1;
    if (w0)
        w0->next = word;
    else
        setPool(idx, word);
    cursor = word;
    cursorBaseIdx = idx;
}

TextWord* TextPool::getPool(int idx) const {
    auto it = buckets.find(idx);
    return it == buckets.end() ? nullptr : it->second;
}

void TextPool::setPool(int idx, TextWord* head) {
    if (head)
        buckets[idx] = head;
    else
        buckets.erase(idx);
}

void TextPool::unlink(int idx, TextWord* prev, TextWord* w) {
    if (prev)
        prev->next = w->next;
    else
        setPool(idx, w->next);
    w->next = nullptr;
    if (cursor == w) {
        cursor = nullptr;
        cursorBaseIdx = -1;
    }
}

int TextPool::nextNonEmpty(int idx) const {
    auto it = buckets.lower_bound(idx);
    return it == buckets.end() ? maxBaseIdx + 1 : it->first;
}

int TextPool::prevNonEmpty(int idx) const {
    auto it = buckets.upper_bound(idx);
    if (it == buckets.begin()) return minBaseIdx - 1;
    --it;
    return it->first;
}

int TextPool::wordCount() const {
    int n = 0;
    for (auto& b : buckets)
        for (TextWord* w = b.second; w; w = w->next) ++n;
    return n;
}

}  // namespace tbx
