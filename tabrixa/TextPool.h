// Words of one rotation, bucketed by baseline (four points per bucket) and
// ordered along the line inside a bucket.
#pragma once

#include <map>
#include <utility>
#include <vector>

namespace tbx {

class TextWord;

class TextPool {
public:
    TextPool() = default;
    ~TextPool();  // deletes the words still in the pool
    TextPool(const TextPool&) = delete;
    TextPool& operator=(const TextPool&) = delete;

    // Bucket index of a baseline, clamped to [minBaseIdx, maxBaseIdx].
    int getBaseIdx(double base) const;
    // Bucket index of a baseline, unclamped (but kept inside int range).
    static int baseIdxOf(double base);
    // Files the word (ownership passes to the pool).
    void addWord(TextWord* word);

    // Head of bucket idx, or null.
    TextWord* getPool(int idx) const;
    // Replaces the head of bucket idx (null empties it).
    void setPool(int idx, TextWord* head);
    // Removes w from bucket idx; prev is the word before it in the bucket or null.
    void unlink(int idx, TextWord* prev, TextWord* w);
    // First non-empty bucket index >= idx, or maxBaseIdx + 1 when none.
    int nextNonEmpty(int idx) const;
    // Last non-empty bucket index <= idx, or minBaseIdx - 1 when none.
    int prevNonEmpty(int idx) const;
    // Number of words in the pool (walks every bucket).
    int wordCount() const;

    int minBaseIdx = 0;
    int maxBaseIdx = -1;

private:
    // Files the words added since the last read into their buckets' chains.
    void settle() const;
    // Only non-empty buckets are stored: a word lifted far off the page by a
    // huge text rise costs one entry, not a run of empty buckets.
    mutable std::map<int, TextWord*> buckets;
    // Words added and not yet filed, with their buckets, in the order added: filing
    // each at once would walk its bucket (a stream drawn many times over
    // stacks thousands of words on one line).
    mutable std::vector<std::pair<int, TextWord*>> pending;
};

}  // namespace tbx
