#include "tabrixa/TextMarks.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <CharTypes.h>

#include "tabrixa/TextHelpers.h"
#include "tabrixa/TextPool.h"
#include "tabrixa/TextWord.h"

namespace tbx {

namespace {

// Along-the-line extent of a word.
double lo(const TextWord* w) { return (w->rot == 0 || w->rot == 2) ? w->xMin : w->yMin; }
double hi(const TextWord* w) { return (w->rot == 0 || w->rot == 2) ? w->xMax : w->yMax; }

// A pool's words, bucket by bucket, sorted by where they start and end along
// the line. A lookup visits at most maxVisits words, so a page holding
// thousands of copies of one word (a form drawn over and over) stays linear.
constexpr std::size_t maxVisits = 64;

class PoolIndex {
public:
    explicit PoolIndex(const TextPool& pool) {
        for (int b = pool.nextNonEmpty(pool.minBaseIdx); b <= pool.maxBaseIdx; b = pool.nextNonEmpty(b + 1)) {
            Bucket& e = buckets[b];
            for (TextWord* w = pool.getPool(b); w; w = w->next) e.byLo.push_back(w);
            e.byHi = e.byLo;
            std::sort(e.byLo.begin(), e.byLo.end(),
                      [](const TextWord* a, const TextWord* c) { return nanFirst(lo(a)) < nanFirst(lo(c)); });
            std::sort(e.byHi.begin(), e.byHi.end(),
                      [](const TextWord* a, const TextWord* c) { return nanFirst(hi(a)) < nanFirst(hi(c)); });
        }
    }

    // Every word, bucket by bucket.
    template <class F>
    void each(F f) const {
        for (const auto& b : buckets)
            for (TextWord* w : b.second.byLo) f(b.first, w);
    }
    // Words of the buckets first..last that start (or end) in [from, to].
    template <class F>
    void startingIn(int first, int last, double from, double to, F f) const {
        visit(first, last, &Bucket::byLo, lo, from, to, f);
    }
    template <class F>
    void endingIn(int first, int last, double from, double to, F f) const {
        visit(first, last, &Bucket::byHi, hi, from, to, f);
    }

private:
    struct Bucket {
        std::vector<TextWord*> byLo, byHi;
    };
    template <class F>
    void visit(int first, int last, std::vector<TextWord*> Bucket::*list, double (*key)(const TextWord*),
               double from, double to, F& f) const {
        for (auto it = buckets.lower_bound(first); it != buckets.end() && it->first <= last; ++it) {
            const std::vector<TextWord*>& v = it->second.*list;
            auto w = std::lower_bound(v.begin(), v.end(), from,
                                      [key](const TextWord* x, double k) { return nanFirst(key(x)) < k; });
            for (std::size_t n = 0; w != v.end() && key(*w) <= to && n < maxVisits; ++w, ++n) f(*w);
        }
    }
    std::map<int, Bucket> buckets;
};

// Takes the words out of their buckets, walking each bucket once.
void takeOut(TextPool& pool, const std::unordered_set<TextWord*>& words) {
    std::vector<int> idxs;
    for (const TextWord* w : words) idxs.push_back(pool.getBaseIdx(w->base));
    std::sort(idxs.begin(), idxs.end());
    idxs.erase(std::unique(idxs.begin(), idxs.end()), idxs.end());
    for (int idx : idxs) {
        TextWord* prev = nullptr;
        for (TextWord* w = pool.getPool(idx); w;) {
            TextWord* next = w->next;
            if (words.count(w))
                pool.unlink(idx, prev, w);
            else
                prev = w;
            w = next;
        }
    }
}

constexpr int maxMarkLen = 3;
constexpr double maxMarkSizeRatio = 0.9;  // mark size / its word's size, at most
constexpr double minMarkSizeRatio = 1.0 / 3.0;
constexpr double minMarkRaise = 0.5;      // points
constexpr double maxMarkRaise = 0.75;     // of its word's size
constexpr double maxMarkDistance = 0.5;   // along the line, of its word's size
constexpr double maxFigureMarkDistance = 1.0;  // after a figure (a table sets its marks apart)
constexpr double maxMarkOverlap = 0.2;    // along the line, of its word's size

// How far a word's base line stands above another's, the way its glyphs stand up.
double baseAbove(const TextWord& word, const TextWord& other) {
    const double d = word.base - other.base;
    return (word.rot == 0 || word.rot == 3) ? -d : d;
}

}  // namespace

bool isRaisedMark(const TextWord& word, const TextWord& mark) {
    const double s = word.fontSize, raise = mark.seatedRaise + baseAbove(mark, word);
    return mark.len <= maxMarkLen && mark.fontSize <= maxMarkSizeRatio * s && mark.fontSize >= minMarkSizeRatio * s &&
           raise > minMarkRaise && raise <= maxMarkRaise * s;
}

void seatRaisedMarks(TextPool& pool) {
    const PoolIndex index(pool);
    std::vector<std::pair<TextWord*, double>> moves;  // mark, its new base line
    std::unordered_set<TextWord*> moving;
    index.each([&](int b, TextWord* m) {
        if (m->len > maxMarkLen || !(m->fontSize > 0)) return;
        // The words a mark may stand beside are at most 1 / minMarkSizeRatio
        // times its size: their base lines and ends lie within these reaches.
        const double big = m->fontSize / minMarkSizeRatio;
        const int last = TextPool::baseIdxOf(m->base + maxMarkRaise * big);
        const TextWord* best = nullptr;
        auto consider = [&](const TextWord* w) {
            if (w == m || !isRaisedMark(*w, *m)) return;
            const double s = w->fontSize, after = lo(m) - hi(w);
            const double reach = w->isFigure() ? maxFigureMarkDistance : maxMarkDistance;
            if (!(after >= -maxMarkOverlap * s && after <= reach * s)) return;  // not beside it
            if (!best || w->base < best->base) best = w;
        };
        index.endingIn(b, last, lo(m) - maxFigureMarkDistance * big, lo(m) + maxMarkOverlap * big, consider);
        if (best && moving.insert(m).second) moves.emplace_back(m, best->base);
    });
    // A mark drawn in pieces ("(1" and ")") moves whole: the pieces of its
    // size on its base line that follow on from it either way go with it.
    const std::size_t seated = moves.size();
    for (std::size_t i = 0; i < seated; ++i) {
        const TextWord* m = moves[i].first;
        const double s = m->fontSize, base = moves[i].second;
        const int b0 = TextPool::baseIdxOf(m->base - 0.5), b1 = TextPool::baseIdxOf(m->base + 0.5);
        auto piece = [&](TextWord* w) {
            return w->len <= maxMarkLen && std::fabs(w->fontSize - s) < 0.05 * s &&
                   std::fabs(w->base - m->base) <= 0.5 && !moving.count(w);
        };
        for (int side = 0; side < 2; ++side) {
            const TextWord* cur = m;
            for (int n = 0; cur && n < 2 * maxMarkLen; ++n) {
                TextWord* next = nullptr;
                auto take = [&](TextWord* w) {
                    if (!next && piece(w)) next = w;
                };
                if (side == 0)
                    index.startingIn(b0, b1, hi(cur) - maxMarkOverlap * s, hi(cur) + maxMarkDistance * s, take);
                else
                    index.endingIn(b0, b1, lo(cur) - maxMarkDistance * s, lo(cur) + maxMarkOverlap * s, take);
                if (next) {
                    moving.insert(next);
                    moves.emplace_back(next, base);
                }
                cur = next;
            }
        }
    }
    takeOut(pool, moving);
    for (auto& [w, base] : moves) {
        w->seatedRaise = base - w->base;  // upright: y grows downwards
        w->base = base;
        pool.addWord(w);
    }
}

namespace {

// Spacing accents and the letters that have a composed character with
// them (TeX's default font encoding draws every accented letter as a letter
// and an accent over it).
struct AccentRow {
    Unicode accent;
    const char32_t* bases;
    const char32_t* composed;
};
const AccentRow accentRows[] = {
    // A letter with one accent takes a second where such a letter exists
    // (Vietnamese stacks a tone mark on a circumflex, a breve or a horn).
    {0x00B4, U"ACEGIKLMNOPRSUWYZacegiklmnoprsuwyzÂÊÔĂƠƯâêôăơư",
     U"ÁĆÉǴÍḰĹḾŃÓṔŔŚÚẂÝŹáćéǵíḱĺḿńóṕŕśúẃýźẤẾỐẮỚỨấếốắớứ"},  // acute
    {0x0060, U"AEINOUWYaeinouwyÂÊÔĂƠƯâêôăơư", U"ÀÈÌǸÒÙẀỲàèìǹòùẁỳẦỀỒẰỜỪầềồằờừ"},  // grave
    {0x02C6, U"ACEGHIJOSUWYZaceghijosuwyzẠẸỌạẹọÁÉÓáéóÀÈÒàèòÃẼÕãẽõ",
     U"ÂĈÊĜĤÎĴÔŜÛŴŶẐâĉêĝĥîĵôŝûŵŷẑẬỆỘậệộẤẾỐấếốẦỀỒầềồẪỄỖẫễỗ"},  // circumflex
    {0x02DC, U"AEINOUVYaeinouvyÂÊÔĂƠƯâêôăơư", U"ÃẼĨÑÕŨṼỸãẽĩñõũṽỹẪỄỖẴỠỮẫễỗẵỡữ"},  // tilde
    {0x00A8, U"AEHIOUWXYaehiotuwxy", U"ÄËḦÏÖÜẄẌŸäëḧïöẗüẅẍÿ"},  // diaeresis
    {0x00B8, U"CDEGHKLNRSTcdeghklnrst", U"ÇḐȨĢḨĶĻŅŖŞŢçḑȩģḩķļņŗşţ"},  // cedilla
    {0x02DA, U"AUauwy", U"ÅŮåůẘẙ"},  // ring
    {0x02D8, U"AEGIOUaegiouẠạÁáÀàÃã", U"ĂĔĞĬŎŬăĕğĭŏŭẶặẮắẰằẴẵ"},  // breve
    {0x02C7, U"ACDEGHIKLNORSTUZacdeghijklnorstuz", U"ǍČĎĚǦȞǏǨĽŇǑŘŠŤǓŽǎčďěǧȟǐǰǩľňǒřšťǔž"},  // caron
    {0x00AF, U"AEGIOUYaegiouy", U"ĀĒḠĪŌŪȲāēḡīōūȳ"},  // macron
    {0x02D9, U"ABCDEFGHIMNOPRSTWXYZabcdefghmnoprstwxyz", U"ȦḂĊḊĖḞĠḢİṀṄȮṖṘṠṪẆẊẎŻȧḃċḋėḟġḣṁṅȯṗṙṡṫẇẋẏż"},  // dot
    {0x02DD, U"OUou", U"ŐŰőű"},  // double acute
    {0x02DB, U"AEIOUaeiou", U"ĄĘĮǪŲąęįǫų"},  // ogonek
};

const AccentRow* accentRow(Unicode c) {
    for (const AccentRow& r : accentRows)
        if (r.accent == c) return &r;
    return nullptr;
}

// The letter with the accent, or 0 when there is no such character. A
// dotless i or j under an accent above is written with its dot.
Unicode withAccent(Unicode letter, const AccentRow& row) {
    if ((letter == 0x131 || letter == 0x237) && row.accent != 0xB8 && row.accent != 0x2DB)
        letter = letter == 0x131 ? 'i' : 'j';
    for (std::size_t i = 0; row.bases[i]; ++i)
        if (row.bases[i] == letter) return row.composed[i];
    return 0;
}

}  // namespace

void combineAccents(TextPool& pool) {
    bool any = false;
    for (int b = pool.nextNonEmpty(pool.minBaseIdx); b <= pool.maxBaseIdx && !any; b = pool.nextNonEmpty(b + 1))
        for (const TextWord* w = pool.getPool(b); w && !any; w = w->next) any = w->len == 1 && accentRow(w->text[0]);
    if (!any) return;  // the common page: no index to build
    const PoolIndex index(pool);
    std::unordered_set<TextWord*> combined;
    index.each([&](int, TextWord* a) {
        const AccentRow* row = a->len == 1 ? accentRow(a->text[0]) : nullptr;
        if (!row || !(a->fontSize > 0)) return;
        const double reach = 0.7 * a->fontSize, a0 = lo(a), a1 = hi(a);
        TextWord* word = nullptr;
        int at = 0;
        double most = 0;
        // The character it overlaps most along the line, of a word of its
        // line (another accent is none).
        auto consider = [&](TextWord* w) {
            if ((w->len == 1 && accentRow(w->text[0])) || std::fabs(w->base - a->base) > reach ||
                std::fabs(w->fontSize - a->fontSize) > 0.5 * a->fontSize || lo(w) >= a1)
                return;
            for (int i = 0; i < w->len; ++i) {
                const double e0 = std::fmin(w->edge[i], w->edge[i + 1]), e1 = std::fmax(w->edge[i], w->edge[i + 1]);
                const double overlap = std::fmin(a1, e1) - std::fmax(a0, e0);
                if (overlap > most) most = overlap, word = w, at = i;
            }
        };
        // Words that end after the accent starts, nearest first.
        index.endingIn(TextPool::baseIdxOf(a->base - reach), TextPool::baseIdxOf(a->base + reach), a0, HUGE_VAL,
                       consider);
        // Only that character takes it; without a composed form the accent
        // stays as drawn.
        const Unicode composed = word ? withAccent(word->text[static_cast<std::size_t>(at)], *row) : 0;
        if (!composed) return;
        word->text[static_cast<std::size_t>(at)] = composed;
        combined.insert(a);
    });
    takeOut(pool, combined);
    for (TextWord* a : combined) delete a;
}

}  // namespace tbx
