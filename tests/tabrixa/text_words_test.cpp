// Characters into words: synthetic characters through a real graphics state.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <GfxState.h>
#include <Page.h>
#include <GlobalParams.h>

#include "PDFR/pdf_wget.h"
#include "tabrixa/TextBlock.h"
#include "tabrixa/TextLine.h"
#include "tabrixa/TextPage.h"
#include "tabrixa/TextPool.h"
#include "tabrixa/TextWord.h"
#include "page_fixture.h"

using namespace tbx;

namespace {

class WordsTest : public ::testing::Test {
protected:
    void SetUp() override {
        page_fixture::startLetterPage(page);
        st.setFont(nullptr, 10);
        page.curFontSize = st.getTransformedFontSize();
    }

    // One character of a string at user-space (x, y) with advance adv.
    void ch(Unicode c, double x, double y, double adv, int nBytes = 1) {
        page.addChar(&st, x, y, adv, 0, c, nBytes, &c, 1);
    }
    // A whole string drawn left to right, one byte per character.
    void show(const std::string& s, double x, double y, double adv) {
        page.beginWord(&st, x, y);
        for (char c : s) {
            ch(static_cast<unsigned char>(c), x, y, adv);
            x += adv;
        }
        page.endWord();
    }
    // Texts of the words of rotation 0, bucket by bucket, in pool order.
    std::vector<std::string> words(int rot = 0) {
        std::vector<std::string> out;
        TextPool* p = page.pools[rot];
        for (int b = p->nextNonEmpty(p->minBaseIdx); b <= p->maxBaseIdx; b = p->nextNonEmpty(b + 1))
            for (TextWord* w = p->getPool(b); w; w = w->next) out.push_back(text(w));
        return out;
    }
    static std::string text(const TextWord* w) {
        std::string s;
        for (int i = 0; i < w->len; ++i) s += static_cast<char>(w->text[i]);
        return s;
    }
    TextWord* firstWord(int rot = 0) {
        TextPool* p = page.pools[rot];
        int b = p->nextNonEmpty(p->minBaseIdx);
        return b <= p->maxBaseIdx ? p->getPool(b) : nullptr;
    }

    pdf_width_getter wg;
    TextPage page;
    PDFRectangle box{0, 0, 612, 792};
    GfxState st{72, 72, &box, 0, true};
};

TEST_F(WordsTest, GapsAndBackwardStepsBreakWords) {
    // gap 1.0 (= 0.1 x size) keeps the word, 1.5 breaks it
    page.beginWord(&st, 100, 700);
    ch('a', 100, 700, 5);
    ch('b', 105, 700, 5);
    ch('c', 111, 700, 5);
    ch('d', 117.5, 700, 5);
    // a backward step of 2.5 (more than 0.2 x size) breaks too
    ch('e', 120, 700, 5);
    page.endWord();
    EXPECT_EQ(words(), (std::vector<std::string>{"abc", "d", "e"}));
    TextWord* w = firstWord();
    ASSERT_NE(w, nullptr);
    EXPECT_DOUBLE_EQ(w->base, 92.0);  // upside-down device space
    EXPECT_DOUBLE_EQ(w->xMin, 100.0);
    EXPECT_DOUBLE_EQ(w->xMax, 116.0);
    EXPECT_EQ(w->rot, 0);
}

TEST_F(WordsTest, FakeBoldOverlapSplitsIntoSingleWords) {
    page.beginWord(&st, 100, 700);
    ch('A', 100, 700, 6);
    ch('A', 100.5, 700, 6);  // 0.05 x size from the first: drawn twice for bold
    ch('B', 106.5, 700, 6);  // follows the overlap: starts a word too
    page.endWord();
    EXPECT_EQ(words(), (std::vector<std::string>{"A", "A", "B"}));
}

TEST_F(WordsTest, BaselineShiftAndSizeChangeBreakWords) {
    page.beginWord(&st, 100, 700);
    ch('a', 100, 700, 5);
    ch('b', 105, 700.4, 5);  // 0.4 pt: same word
    ch('c', 110, 701.0, 5);  // 0.6 pt from the word's base: new word
    page.curFontSize = 12;   // a font change inside a string
    ch('d', 115, 701.0, 5);
    page.endWord();
    std::vector<std::string> got = words();
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"ab", "c", "d"}));
}

TEST_F(WordsTest, LigatureGivesTwoCharactersOfHalfTheAdvance) {
    page.beginWord(&st, 100, 700);
    Unicode fi[2] = {'f', 'i'};
    page.addChar(&st, 100, 700, 10, 0, 0xFB01, 1, fi, 2);
    page.endWord();
    TextWord* w = firstWord();
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->len, 2);
    EXPECT_EQ(w->text[0], 'f');
    EXPECT_EQ(w->text[1], 'i');
    EXPECT_DOUBLE_EQ(w->edge[0], 100.0);
    EXPECT_DOUBLE_EQ(w->edge[1], 105.0);
    EXPECT_DOUBLE_EQ(w->edge[2], 110.0);
    EXPECT_EQ(w->charLen, 1);
}

TEST_F(WordsTest, NegativeAdvanceSplitsIntoSingleCharacters) {
    page.beginWord(&st, 200, 700);
    ch('c', 200, 700, -5);
    ch('b', 195, 700, -5);
    ch('a', 190, 700, -5);
    page.endWord();
    std::vector<std::string> got = words();
    EXPECT_EQ(got, (std::vector<std::string>{"a", "b", "c"}));  // ordered along the line
    TextWord* w = firstWord();
    EXPECT_DOUBLE_EQ(w->xMin, 185.0);
    EXPECT_DOUBLE_EQ(w->xMax, 190.0);
}

TEST_F(WordsTest, OffPageCharactersAreDroppedButCounted) {
    page.beginWord(&st, -20, 700);
    ch('x', -20, 700, 5, 2);  // ends left of the page
    ch('y', 650, 700, 5, 2);  // right of the page
    ch('z', 300, 800, 5, 2);  // above the page (device y < 0 after the flip... 792-800 = -8)
    page.endWord();
    EXPECT_TRUE(words().empty());
    EXPECT_EQ(page.charPos, 6);
}

TEST_F(WordsTest, LoneBlankEndsTheWordAndCountsInCharLen) {
    page.beginWord(&st, 100, 700);
    ch('a', 100, 700, 5);
    ch(' ', 105, 700, 3);
    page.endWord();  // closes nothing more: the blank ended the word
    page.beginWord(&st, 108, 700);
    ch('b', 108, 700, 5);
    page.endWord();
    EXPECT_EQ(words(), (std::vector<std::string>{"a", "b"}));
    TextWord* a = firstWord();
    EXPECT_EQ(a->charLen, 2);
    EXPECT_EQ(a->next->charPos, 2);
}

TEST_F(WordsTest, NestedStringsKeepOneWordOpen) {
    page.beginWord(&st, 100, 700);
    ch('a', 100, 700, 5);
    page.beginWord(&st, 105, 700);  // a string start while a word is open
    EXPECT_EQ(page.nest, 1);
    ch('b', 105, 700, 5);
    page.endWord();  // only lowers the nest level
    EXPECT_NE(page.curWord, nullptr);
    page.endWord();
    EXPECT_EQ(page.curWord, nullptr);
    EXPECT_EQ(words(), (std::vector<std::string>{"ab"}));
}

TEST_F(WordsTest, BulletNeedsCodeAndUnicode) {
    EXPECT_TRUE(TextPage::isBullet(8226));
    EXPECT_TRUE(TextPage::isBullet(183));
    EXPECT_FALSE(TextPage::isBullet('a'));
    page.beginWord(&st, 100, 700);
    Unicode b = 8226;
    page.addChar(&st, 100, 700, 5, 0, 149, 1, &b, 1);
    page.endWord();
    page.beginWord(&st, 100, 600);
    Unicode a = 8226;
    page.addChar(&st, 100, 600, 5, 0, 'x', 1, &a, 1);
    page.endWord();
    TextWord* w = firstWord();  // base 92: the word at y 700
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->bullet);
    TextPool* p = page.pools[0];
    TextWord* w2 = p->getPool(p->nextNonEmpty(p->nextNonEmpty(p->minBaseIdx) + 1));
    ASSERT_NE(w2, nullptr);
    EXPECT_FALSE(w2->bullet);  // a bullet character under a code that is none
}

TEST_F(WordsTest, WordsWithoutFontTakeTheArialClassAndColour) {
    GfxColor c;
    c.c[0] = 65536;  // white in DeviceGray
    st.setFillColor(&c);
    show("ab", 100, 700, 5);
    TextWord* w = firstWord();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->fontClass, "f10");
    EXPECT_EQ(w->winFontName, "Arial");
    EXPECT_EQ(w->colorR, 257);
    EXPECT_DOUBLE_EQ(w->yMin, 92.0 - 9.5);
    EXPECT_DOUBLE_EQ(w->yMax, 92.0 + 3.5);
    if (wg.has_font()) {
        EXPECT_GT(w->spaceRatio, 0.15);  // a blank of a sans face: about a quarter em
        EXPECT_LT(w->spaceRatio, 0.45);
    }
}

TEST_F(WordsTest, TinyCharactersAreCappedPerPageButNarrowTextIsKept) {
    st.setFont(nullptr, 2);
    page.curFontSize = st.getTransformedFontSize();
    for (int i = 0; i < 50010; ++i) {
        page.beginWord(&st, 10, 700);
        ch('.', 10 + (i % 100) * 5, 700 - (i / 100) * 1.2, 1);
        page.endWord();
    }
    EXPECT_EQ(page.nTinyChars, 50010);
    EXPECT_EQ(page.wordCount(), 50000);
    // After the crowd, an "l" of a 12 pt font is narrower than 3 points yet no tiny character.
    st.setFont(nullptr, 12);
    page.curFontSize = st.getTransformedFontSize();
    show("all", 100, 40, 2.67);
    EXPECT_EQ(page.wordCount(), 50001);
    EXPECT_EQ(text(page.pools[0]->getPool(page.pools[0]->getBaseIdx(752))), "all");
}

TEST(TextPoolTest, BucketsOfFourPointsTruncatedTowardZero) {
    TextPool pool;
    auto* a = new TextWord(0, 10.0, 10);
    auto* b = new TextWord(0, -3.0, 10);
    pool.addWord(a);
    pool.addWord(b);
    EXPECT_EQ(pool.getPool(2), a);
    EXPECT_EQ(pool.getPool(0), b);
    EXPECT_EQ(pool.minBaseIdx, 2 - 128);
    EXPECT_EQ(pool.maxBaseIdx, 2 + 128);
    EXPECT_EQ(pool.getBaseIdx(1e6), pool.maxBaseIdx);
    EXPECT_EQ(pool.getBaseIdx(-1e6), pool.minBaseIdx);
}

TEST(TextPoolTest, WordsInABucketAreOrderedAlongTheLine) {
    TextPool pool;
    double xs[] = {50, 10, 30, 20, 40};
    for (double x : xs) {
        auto* w = new TextWord(0, 100.0, 10);
        w->xMin = x;
        w->xMax = x + 5;
        pool.addWord(w);
    }
    std::vector<double> got;
    for (TextWord* w = pool.getPool(25); w; w = w->next) got.push_back(w->xMin);
    EXPECT_EQ(got, (std::vector<double>{10, 20, 30, 40, 50}));
    // rotation 2 orders by -xMax
    TextPool pool2;
    for (double x : xs) {
        auto* w = new TextWord(2, 100.0, 10);
        w->xMin = x;
        w->xMax = x + 5;
        pool2.addWord(w);
    }
    got.clear();
    for (TextWord* w = pool2.getPool(25); w; w = w->next) got.push_back(w->xMin);
    EXPECT_EQ(got, (std::vector<double>{50, 40, 30, 20, 10}));
    // Words added after a read join the words filed; at one place the word
    // added later comes first, as it would filed one at a time.
    std::vector<TextWord*> same;
    for (double x : {30.0, 5.0, 30.0, 60.0}) {
        auto* w = new TextWord(0, 100.0, 10);
        w->xMin = x;
        w->xMax = x + 5;
        pool.addWord(w);
        same.push_back(w);
    }
    std::vector<TextWord*> order;
    for (TextWord* w = pool.getPool(25); w; w = w->next) order.push_back(w);
    ASSERT_EQ(order.size(), 9u);
    EXPECT_EQ(order[0], same[1]);
    EXPECT_EQ(order[3], same[2]);
    EXPECT_EQ(order[4], same[0]);
    EXPECT_EQ(order[5]->xMin, 30);
    EXPECT_EQ(order[8], same[3]);
}

TEST(TextPoolTest, HugeBaseCostsNoBucketRun) {
    // A text rise can lift a word's base far off the page; the pool must not
    // allocate the buckets in between, and the layout must stay quick.
    TextPage page;
    page.pageWidth = 612;
    page.pageHeight = 792;
    auto* far = new TextWord(0, 1.0e12, 10);
    far->xMin = 10, far->xMax = 20, far->yMin = 1.0e12 - 9.5, far->yMax = 1.0e12 + 3.5;
    far->text = {'x'}, far->edge = {10, 20}, far->len = 1;
    auto* nearW = new TextWord(0, -1.0e12, 10);
    nearW->xMin = 10, nearW->xMax = 20, nearW->yMin = -1.0e12 - 9.5, nearW->yMax = -1.0e12 + 3.5;
    nearW->text = {'y'}, nearW->edge = {10, 20}, nearW->len = 1;
    page.addWord(far);
    page.addWord(nearW);
    auto t0 = std::chrono::steady_clock::now();
    page.coalesce();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(ms, 2000);
    EXPECT_EQ(page.blockCount(), 2);
}

TEST_F(WordsTest, WordStillOpenAtCoalesceIsKept) {
    page.beginWord(&st, 100, 700);
    ch('a', 100, 700, 5);
    ch('b', 105, 700, 5);
    // no endWord: the string never ended
    page.coalesce();
    ASSERT_EQ(page.blockCount(), 1);
    ASSERT_NE(page.blocks[0]->lines, nullptr);
    EXPECT_EQ(page.blocks[0]->lines->len, 2);
    EXPECT_EQ(page.curWord, nullptr);
}

TEST_F(WordsTest, EmptyPageHasNoBlocksAndReadsLeftToRight) {
    page.coalesce();
    EXPECT_EQ(page.blockCount(), 0);
    EXPECT_EQ(page.flows, nullptr);
    EXPECT_EQ(page.primaryRot, -1);
    EXPECT_TRUE(page.primaryLR);
}

}  // namespace
