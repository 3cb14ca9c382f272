// Lines of a block from hand-made words, the overlap measures, the row order
// and the sort that stays defined with tolerance comparators.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include <GlobalParams.h>

#include "tabrixa/TextBlock.h"
#include "tabrixa/TextHelpers.h"
#include "tabrixa/TextLine.h"
#include "tabrixa/TextPage.h"
#include "tabrixa/TextPool.h"
#include "tabrixa/TextWord.h"
#include "page_fixture.h"

using namespace tbx;

namespace {

TextFontRef* const fontA = reinterpret_cast<TextFontRef*>(0x10);

// A rotation-0 word with evenly spaced characters.
TextWord* mkWord(const std::string& s, double x0, double x1, double base, double size, int charPos = 0) {
    auto* w = new TextWord(0, base, size);
    w->font = fontA;
    w->xMin = x0;
    w->xMax = x1;
    w->yMin = base - 0.95 * size;
    w->yMax = base + 0.35 * size;
    w->len = static_cast<int>(s.size());
    for (char c : s) w->text.push_back(static_cast<unsigned char>(c));
    for (int i = 0; i <= w->len; ++i) w->edge.push_back(x0 + (x1 - x0) * i / std::max(1, w->len));
    w->charPos = charPos;
    w->charLen = w->len;
    return w;
}

std::string lineText(const TextLine* l) {
    std::string s;
    for (int i = 0; i < l->len; ++i) s += static_cast<char>(l->text[i]);
    return s;
}

int wordsOf(const TextLine* l) {
    int n = 0;
    for (const TextWord* w = l->words; w; w = w->next) ++n;
    return n;
}

class LinesTest : public ::testing::Test {
protected:
    void SetUp() override {
        page_fixture::startLetterPage(page);
        blk = std::make_unique<TextBlock>(&page, 0);
    }
    void add(TextWord* w) { blk->addWord(w); }
    std::vector<std::string> build() {
        blk->coalesce(globalParams->getTextEncoding());
        std::vector<std::string> out;
        for (TextLine* l = blk->lines; l; l = l->next) out.push_back(lineText(l));
        return out;
    }
    TextPage page;
    std::unique_ptr<TextBlock> blk;
};

TEST_F(LinesTest, FakeBoldCopyIsDroppedButAShiftedCopyStays) {
    add(mkWord("Hello", 100, 125, 100, 10));
    add(mkWord("Hello", 100.5, 125.5, 100, 10));  // 0.05 x size
    EXPECT_EQ(build(), (std::vector<std::string>{"Hello"}));

    blk = std::make_unique<TextBlock>(&page, 0);
    add(mkWord("Hello", 100, 125, 100, 10));
    add(mkWord("Hello", 103, 128, 100, 10));  // 0.3 x size: both kept
    EXPECT_EQ(blk->pool->wordCount(), 2);
    build();
    EXPECT_EQ(blk->charCount, 10);
}

TEST_F(LinesTest, BaselineWindowShrinksForLargeFonts) {
    // 30 pt: +-14.7
    add(mkWord("ab", 100, 130, 100, 30));
    add(mkWord("cd", 140, 170, 114.6, 30));
    add(mkWord("ef", 180, 210, 114.6 + 14.8, 30));
    blk->coalesce(globalParams->getTextEncoding());
    ASSERT_NE(blk->lines, nullptr);
    EXPECT_EQ(blk->lineCount, 2);
    EXPECT_EQ(wordsOf(blk->lines), 2);

    // 20 pt: +-14.0
    blk = std::make_unique<TextBlock>(&page, 0);
    add(mkWord("ab", 100, 120, 100, 20));
    add(mkWord("cd", 125, 145, 113.9, 20));
    add(mkWord("ef", 150, 170, 100 + 14.1, 20));
    build();
    EXPECT_EQ(blk->lineCount, 2);
}

TEST_F(LinesTest, SearchStopsAtStrongOverlapAndWideGaps) {
    add(mkWord("one", 100, 130, 100, 10));
    add(mkWord("two", 126, 150, 100, 10));  // gap -4 < -3.3: not joined
    add(mkWord("far", 166, 190, 100, 10));  // after "two" the gap is 16 >= 15
    std::vector<std::string> got = build();
    EXPECT_EQ(got.size(), 3u);
}

TEST_F(LinesTest, CellsAndColumnGroupsNeverShareALine) {
    TextWord* a = mkWord("a1", 100, 110, 100, 10);
    TextWord* b = mkWord("b2", 112, 122, 100, 10);
    a->cellCode = 10000;
    b->cellCode = 10001;
    add(a);
    add(b);
    EXPECT_EQ(build().size(), 2u);

    blk = std::make_unique<TextBlock>(&page, 0);
    a = mkWord("a1", 100, 110, 100, 10);
    b = mkWord("b2", 114, 124, 100, 10);  // far enough that smoothing keeps its group
    TextWord* c = mkWord("c3", 126, 136, 100, 10);
    a->colGroup = 1;
    b->colGroup = 2;
    c->colGroup = 0;  // close to b: takes b's group
    add(a);
    add(b);
    add(c);
    EXPECT_EQ(build(), (std::vector<std::string>{"a1", "b2 c3"}));
}

TEST_F(LinesTest, AGapEveryRowShowsAtOnePlaceEndsTheLinesThere) {
    // Figures flush right at 120 and 150: the widest of the second column
    // starts 6 points after the first column, within a line's reach.
    auto rows = [&](const std::vector<std::pair<double, double>>& second) {
        blk = std::make_unique<TextBlock>(&page, 0);
        double base = 100;
        for (const auto& [x0, x1] : second) {
            add(mkWord("15.9", 100, 120, base, 10));
            add(mkWord("21", x0, x1, base, 10));
            base += 12;
        }
        return build();
    };
    EXPECT_EQ(rows({{133, 150}, {126, 150}, {130, 150}}),
              (std::vector<std::string>{"15.9", "21", "15.9", "21", "15.9", "21"}));
    // Two rows, or a gap of a word space (4 of 10 points), stay lines.
    EXPECT_EQ(rows({{133, 150}, {126, 150}}).size(), 2u);
    EXPECT_EQ(rows({{133, 150}, {124, 150}, {130, 150}})[1], "15.9 21");
    // Words of a multi-word label beside shorter single words: the gap after
    // "Czech" has no word to its right on the other rows.
    blk = std::make_unique<TextBlock>(&page, 0);
    add(mkWord("Czech", 72, 97, 100, 10));
    add(mkWord("Republic", 103, 140, 100, 10));
    add(mkWord("Italy", 72, 94, 112, 10));
    add(mkWord("Spain", 72, 96, 124, 10));
    add(mkWord("Malta", 72, 95, 136, 10));
    EXPECT_EQ(build()[0], "Czech Republic");
}

TEST_F(LinesTest, AGroupAtTheRightMarginJoinsLinesOnlyAsTheirLastWord) {
    // Justified rows of four words (evenly spaced, 6 points on the first
    // row); the last word of `grouped` rows is in group 2 and ends at the
    // block's right edge, the first words are in group 1. On the first row
    // the gap before the last word is `shift` points wider than the others,
    // or the second word moves `uneven` points left.
    auto rows = [&](int grouped, double shift, double uneven = 0) {
        blk = std::make_unique<TextBlock>(&page, 0);
        for (int i = 0; i < 4; ++i) {
            const double moved = i == 0 ? shift : 0, left = i == 0 ? uneven : 0;
            const double end = 108 + 1.5 * i, gap = (145 - end - 20 - moved) / 3, base = 100 + 12 * i;
            TextWord* a = mkWord("ab", 100, end, base, 10);
            TextWord* d = mkWord("ef", 145, 155, base, 10);
            a->colGroup = 1;
            d->colGroup = i < grouped ? 2 : 0;
            add(a);
            add(mkWord("cd", end + gap - left, end + gap + 10 - left, base, 10));
            add(mkWord("gh", end + 2 * gap + 10, end + 2 * gap + 20, base, 10));
            add(d);
        }
        return build();
    };
    // The same last word of two justified lines.
    EXPECT_EQ(rows(2, 0)[0], "ab cd gh ef");
    // A wider gap than the line's own, a column of four, or a line not
    // evenly spaced: the group stays apart.
    EXPECT_EQ(rows(2, 6)[0], "ab cd gh");
    EXPECT_EQ(rows(4, 0)[0], "ab cd gh");
    EXPECT_EQ(rows(2, 0, 3)[0], "ab cd gh");
    // A fixed-width report (6 points a character): two rows fill the model
    // field, their calibre one space after it at the margin; another row's
    // calibre stands apart in that column; a sentence runs across.
    blk = std::make_unique<TextBlock>(&page, 0);
    for (int i = 0; i < 2; ++i) {
        TextWord* a = mkWord("PT40", 100, 124, 100 + 12 * i, 10);
        TextWord* d = mkWord("40", 190, 202, 100 + 12 * i, 10);
        a->colGroup = 1;
        d->colGroup = 2;
        add(a);
        add(mkWord("PRO", 130, 148, 100 + 12 * i, 10));
        add(mkWord("MILNU", 154, 184, 100 + 12 * i, 10));
        add(d);
    }
    TextWord* nine = mkWord("9", 196, 202, 124, 10);
    nine->colGroup = 3;
    add(mkWord("CZ", 100, 112, 124, 10));
    add(mkWord("75", 118, 130, 124, 10));
    add(nine);
    add(mkWord("The", 100, 118, 136, 10));
    add(mkWord("figures", 124, 176, 136, 10));
    add(mkWord("of", 182, 194, 136, 10));
    EXPECT_EQ(build()[0], "PT40 PRO MILNU");
}

TEST_F(LinesTest, SingleCharacterWordsMergeOnlyInStreamOrder) {
    add(mkWord("a", 100, 105, 100, 10, 0));
    add(mkWord("b", 107, 112, 100, 10, 1));
    add(mkWord("c", 114, 119, 100, 10, 2));
    EXPECT_EQ(build(), (std::vector<std::string>{"abc"}));
    EXPECT_EQ(wordsOf(blk->lines), 1);
    EXPECT_DOUBLE_EQ(blk->lines->edge[3], 119.0);

    blk = std::make_unique<TextBlock>(&page, 0);
    add(mkWord("a", 100, 105, 100, 10, 5));
    add(mkWord("b", 107, 112, 100, 10, 1));
    add(mkWord("c", 114, 119, 100, 10, 9));
    EXPECT_EQ(build(), (std::vector<std::string>{"abc"}));  // threshold 2.6: no blank
    EXPECT_EQ(wordsOf(blk->lines), 3);
}

TEST_F(LinesTest, KernedSingleCharacterWordsKeepTheirWordWhole) {
    // "$51.24" drawn one character per string with kerning gaps of 0.02 to
    // 0.04 points in a 10-point font; then a real gap of 3 points.
    const double gaps[] = {0.04, 0.04, 0.02, 0.04, 0.04, 3.0};
    const std::string chars = "$51.24X";
    double x = 100;
    for (int i = 0; i < 7; ++i) {
        add(mkWord(chars.substr(i, 1), x, x + 5, 100, 10, i));
        if (i < 6) x += 5 + gaps[i];
    }
    EXPECT_EQ(build(), (std::vector<std::string>{"$51.24 X"}));
}

TEST_F(LinesTest, OneCharacterThenTwoUsesATenthOfTheSize) {
    add(mkWord("a", 100, 105, 100, 10, 0));
    add(mkWord("bc", 107, 117, 100, 10, 1));  // gap 2 >= 1.0: a blank
    EXPECT_EQ(build(), (std::vector<std::string>{"a bc"}));
    const TextLine* l = blk->lines;
    EXPECT_DOUBLE_EQ(l->edge[1], 105.0);  // the blank starts at the word's far edge
    EXPECT_DOUBLE_EQ(l->edge[2], 107.0);
    EXPECT_EQ(l->col[4], 4);
}

TEST_F(LinesTest, BulletStartTakesTheNextWordsBaseline) {
    add(mkWord("*", 100, 104, 101.5, 10));
    add(mkWord("Item", 106, 130, 100, 10));
    build();
    ASSERT_NE(blk->lines, nullptr);
    EXPECT_DOUBLE_EQ(blk->lines->base, 100.0);
}

TEST_F(LinesTest, RaisedSmallerWordIsASuperscript) {
    TextWord* p = mkWord("x", 100, 106, 100, 10);
    TextWord* s = mkWord("2", 106.5, 110, 95.5, 6);
    TextLine line(blk.get(), 0, 100);
    line.addWord(p);
    line.addWord(s);
    // sp - sw + P.yMin - w.yMin = 10 - 6 + 90.5 - 89.8 = 4.7
    EXPECT_EQ(s->superscript, 4);
    EXPECT_EQ(p->subscript, 0);
    EXPECT_DOUBLE_EQ(line.xMax, 110.0);
}

TEST_F(LinesTest, ColumnNumbersFollowEarlierLines) {
    add(mkWord("abc", 100, 130, 100, 10));
    add(mkWord("de", 150, 170, 115, 10));  // starts after "abc" ends
    add(mkWord("fgh", 110, 140, 130, 10));  // starts under the second character of "abc"
    build();
    std::vector<const TextLine*> ls;
    for (const TextLine* l = blk->lines; l; l = l->next) ls.push_back(l);
    ASSERT_EQ(ls.size(), 3u);
    EXPECT_EQ(ls[0]->col[0], 0);
    EXPECT_EQ(ls[2]->col[0], 1);  // one character of "abc" lies before x 110
    // "de" starts after both: after "fgh" (columns 1 to 4), plus one
    EXPECT_EQ(ls[1]->col[0], 5);
    EXPECT_EQ(blk->columnCount, 7);
}

TEST(OverlapTest, RatiosOverShorterAndLongerIntervals) {
    EXPECT_DOUBLE_EQ(overlapRatio(0, 10, 5, 30), 0.5);
    EXPECT_DOUBLE_EQ(overlapRatioMin(0, 10, 5, 30), 0.2);
    EXPECT_DOUBLE_EQ(overlapRatio(0, 10, 12, 20), -0.25);
    EXPECT_DOUBLE_EQ(overlapRatio(10, 0, 30, 5), 0.5);  // ends in either order
    EXPECT_DOUBLE_EQ(overlapRatio(5, 5, 0, 10), 1.0);
    EXPECT_DOUBLE_EQ(overlapRatio(5, 5, 10, 0), 0.0);  // a point tests the order passed
    EXPECT_DOUBLE_EQ(overlapRatio(0, 10, 3, 3), 1.0);
}

TEST(CompareLinesTest, RowsByOverlapAndBaseline) {
    TextPage page;
    TextBlock blk(&page, 0);
    TextLine a(&blk, 0, 100), b(&blk, 0, 102), c(&blk, 0, 120);
    a.addWord(mkWord("aaa", 0, 30, 100, 10));
    b.addWord(mkWord("bbb", 50, 80, 102, 10));  // vertical overlap 80 %
    c.addWord(mkWord("ccc", 0, 30, 120, 10));
    EXPECT_EQ(compareLines(&a, &b), 0);
    EXPECT_EQ(compareLines(&a, &c), -1);
    EXPECT_EQ(compareLines(&c, &a), 1);
    EXPECT_EQ(compareLinesInOrder(&a, &b), -1);  // same row: along the line
    EXPECT_EQ(compareLinesInOrder(&b, &a), 1);

    TextLine empty(&blk, 0, 100);  // no characters: NaN size, never equal by size
    EXPECT_NE(compareLines(&empty, &c), 0);
}

TEST(CompareLinesTest, CellKeyFoldsTableIdIntoTheIndex) {
    TextPage page;
    TextBlock blk(&page, 0);
    TextLine a(&blk, 0, 100), b(&blk, 0, 100);
    a.addWord(mkWord("a", 0, 10, 100, 10));
    b.addWord(mkWord("b", 20, 30, 100, 10));
    a.cellCode = 9999;
    b.cellCode = -10000;  // both give the key 9999
    EXPECT_EQ(compareLinesByCell(&a, &b), -1);  // decided along the row
    b.cellCode = 10002;  // key 10001
    EXPECT_EQ(compareLinesByCell(&b, &a), 1);
}

TEST(SortTest, InconsistentComparatorStaysDefinedAndKeepsEveryElement) {
    std::mt19937 rng(7);
    std::vector<int> v(5000);
    std::iota(v.begin(), v.end(), 0);
    std::vector<int*> ptrs;
    for (int& x : v) ptrs.push_back(&x);
    // A comparator that answers at random: no order at all.
    sortWith(ptrs, [&](int*, int*) { return static_cast<int>(rng() % 3) - 1; });
    std::vector<int> seen;
    for (int* p : ptrs) seen.push_back(*p);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, v);
}

TEST(SortTest, ToleranceComparatorIsStableForEqualKeys) {
    TextPage page;
    std::vector<std::unique_ptr<TextWord>> store;
    std::vector<TextWord*> words;
    double xs[] = {10.05, 10.0, 5.0, 10.08};
    double ys[] = {50, 40, 30, 40};
    for (int i = 0; i < 4; ++i) {
        store.emplace_back(mkWord("w", xs[i], xs[i] + 5, ys[i], 10));
        words.push_back(store.back().get());
    }
    sortWith(words, compareWordsXY);
    EXPECT_EQ(words[0], store[2].get());
    EXPECT_EQ(words[1], store[1].get());  // yMin 30.5 before 40.5, equal ones in input order
    EXPECT_EQ(words[2], store[3].get());
    EXPECT_EQ(words[3], store[0].get());
}

}  // namespace

TEST(LogicalOrderTest, RightToLeftRunsReadFromTheRight) {
    const Unicode alef = 0x5D0, bet = 0x5D1, gimel = 0x5D2, dalet = 0x5D3, he = 0x5D4;
    auto order = [](std::vector<Unicode> v, bool preferLR) {
        return logicalOrder(v.data(), static_cast<int>(v.size()), preferLR);
    };
    // Left-to-right text stays as it is.
    EXPECT_EQ(order({'a', 'b', ' ', '1'}, false), (std::vector<Unicode>{'a', 'b', ' ', '1'}));
    // A right-to-left line (page order: "dalet he" is leftmost) reads from the
    // right; its number keeps its digits forward.
    EXPECT_EQ(order({gimel, bet, alef, ' ', '1', '2', ' ', he, dalet}, true),
              (std::vector<Unicode>{dalet, he, ' ', '1', '2', ' ', alef, bet, gimel}));
    // Mostly left-to-right: only the right-to-left word turns, in place.
    EXPECT_EQ(order({'a', 'b', ' ', gimel, bet, alef, ' ', 'c', 'd'}, true),
              (std::vector<Unicode>{'a', 'b', ' ', alef, bet, gimel, ' ', 'c', 'd'}));
    // A tie follows the page's direction.
    EXPECT_EQ(order({'a', 'b', ' ', bet, alef}, true), (std::vector<Unicode>{'a', 'b', ' ', alef, bet}));
    EXPECT_EQ(order({'a', 'b', ' ', bet, alef}, false), (std::vector<Unicode>{alef, bet, ' ', 'a', 'b'}));
    // Arabic-Indic digits are a number, not letters: "raqm 123" keeps 123 forward.
    const Unicode reh = 0x631, qaf = 0x642, meem = 0x645, one = 0x661, two = 0x662, three = 0x663;
    EXPECT_EQ(order({one, two, three, ' ', meem, qaf, reh}, true),
              (std::vector<Unicode>{reh, qaf, meem, ' ', one, two, three}));
    // A Hebrew point (qamats, drawn left of its letter) is no letter: the tie
    // with the two Latin letters keeps the line left-to-right.
    EXPECT_EQ(order({'a', 'b', ' ', bet, 0x5B8, alef}, true),
              (std::vector<Unicode>{'a', 'b', ' ', alef, 0x5B8, bet}));
}
