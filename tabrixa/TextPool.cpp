#include "tabrixa/TextPool.h"

#include <algorithm>
#include <cmath>

#include "tabrixa/TextHelpers.h"
#include "tabrixa/TextWord.h"

namespace tbx {

TextPool::~TextPool() {
    for (auto& b : buckets) deleteChain(b.second);
    for (auto& p : pending) delete p.second;
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
    word->next = nullptr;
    pending.emplace_back(idx, word);
}

void TextPool::settle() const {
    if (pending.empty()) return;
    // A word goes before the words of its bucket that it does not come
    // after: among equal places the word added later comes first.
    auto key = [](const TextWord* w) { return nanFirst(w->primaryCoord()); };
    // By bucket, and within one the word added later first.
    std::reverse(pending.begin(), pending.end());
    std::stable_sort(pending.begin(), pending.end(), [&key](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : key(a.second) < key(b.second);
    });
    for (std::size_t i = 0; i < pending.size();) {
        const int idx = pending[i].first;
        TextWord* old = nullptr;
        if (auto it = buckets.find(idx); it != buckets.end()) old = it->second;
        TextWord* head = nullptr;
        TextWord** tail = &head;
        while ((i < pending.size() && pending[i].first == idx) || old) {
            TextWord* take;
            if (i < pending.size() && pending[i].first == idx && (!old || key(pending[i].second) <= key(old))) {
                take = pending[i++].second;
            } else {
                take = old;
                old = old->next;
            }
            *tail = take;
            tail = &take->next;
        }
        *tail = nullptr;
        buckets[idx] = head;
    }
    pending.clear();
}

TextWord* TextPool::getPool(int idx) const {
    settle();
    auto it = buckets.find(idx);
    return it == buckets.end() ? nullptr : it->second;
}

void TextPool::setPool(int idx, TextWord* head) {
    settle();
    if (head)
        buckets[idx] = head;
    else
        buckets.erase(idx);
}

void TextPool::unlink(int idx, TextWord* prev, TextWord* w) {
    settle();
    if (prev)
        prev->next = w->next;
    else
        setPool(idx, w->next);
    w->next = nullptr;
}

int TextPool::nextNonEmpty(int idx) const {
    settle();
    auto it = buckets.lower_bound(idx);
    return it == buckets.end() ? maxBaseIdx + 1 : it->first;
}

int TextPool::prevNonEmpty(int idx) const {
    settle();
    auto it = buckets.upper_bound(idx);
    if (it == buckets.begin()) return minBaseIdx - 1;
    --it;
    return it->first;
}

int TextPool::wordCount() const {
    settle();
    int n = 0;
    for (auto& b : buckets)
        for (TextWord* w = b.second; w; w = w->next) ++n;
    return n;
}

}  // namespace tbx
