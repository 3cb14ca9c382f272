// Page coalescing: column groups, blocks, primary rotation, reading order, flows.
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <GlobalParams.h>

#include "PDFR/pdf_ulin.h"
#include "tabrixa/TextBlock.h"
#include "tabrixa/TextFlow.h"
#include "tabrixa/TextLine.h"
#include "tabrixa/TextPage.h"
#include "tabrixa/TextWord.h"
#include "page_fixture.h"

using namespace tbx;

namespace {

TextWord* mkWord(const std::string& s, double x0, double x1, double base, double size, int rot = 0) {
    auto* w = new TextWord(rot, base, size);
    w->len = static_cast<int>(s.size());
    for (char c : s) w->text.push_back(static_cast<unsigned char>(c));
    if (rot == 0) {
        w->xMin = x0, w->xMax = x1, w->yMin = base - 0.95 * size, w->yMax = base + 0.35 * size;
    } else {  // rotation 1: along y, base is x
        w->yMin = x0, w->yMax = x1, w->xMin = base - 0.35 * size, w->xMax = base + 0.95 * size;
    }
    for (int i = 0; i <= w->len; ++i) w->edge.push_back(x0 + (x1 - x0) * i / std::max(1, w->len));
    return w;
}

class PageTest : public ::testing::Test {
protected:
    void SetUp() override {
        page_fixture::startLetterPage(page);
    }
    TextWord* add(TextWord* w) {
        page.addWord(w);
        return w;
    }
    std::string blockText(const TextBlock* b) {
        std::string s;
        for (const TextLine* l = b->lines; l; l = l->next) {
            if (!s.empty()) s += '|';
            for (int i = 0; i < l->len; ++i) s += static_cast<char>(l->text[i]);
        }
        return s;
    }
    TextPage page;
};

TEST_F(PageTest, ColumnGroupsNeedFourAlignedWordsOrAMatchingRightEdge) {
    pdf_uline_processor collector(true);
    // four left-aligned words, close enough to keep one run; the fifth far below joins it
    TextWord* a[5];
    double bases[] = {100, 112, 124, 136, 400};
    for (int i = 0; i < 5; ++i) a[i] = add(mkWord("a" + std::to_string(i), 50, 70 + i, bases[i], 10));
    // three aligned words whose right edges differ: no group
    TextWord* b[3];
    for (int i = 0; i < 3; ++i) b[i] = add(mkWord("b" + std::to_string(i), 200, 220 + i, 100 + 12 * i, 10));
    // three aligned words, the last with the first's right edge: a group
    TextWord* c[3];
    double cx[] = {240, 241, 240};
    for (int i = 0; i < 3; ++i) c[i] = add(mkWord("c" + std::to_string(i), 400, 400 + cx[i] - 200, 300 + 12 * i, 10));
    page.coalesce();
    for (TextWord* w : a) EXPECT_EQ(w->colGroup, 1);
    for (TextWord* w : b) EXPECT_EQ(w->colGroup, 0);
    for (TextWord* w : c) EXPECT_EQ(w->colGroup, 2);
    for (TextWord* w : a) EXPECT_EQ(w->cellCode, 0);  // no tables on the page
}

TEST_F(PageTest, FewerThanFourWordsGetNoGroupsAndWithoutCollectorNoneAtAll) {
    {
        pdf_uline_processor collector(true);
        TextWord* w[3];
        for (int i = 0; i < 3; ++i) w[i] = add(mkWord("x", 50, 60, 100 + 12 * i, 10));
        page.coalesce();
        for (TextWord* x : w) EXPECT_EQ(x->colGroup, 0);
    }
    page.startPage();
    page.pageWidth = 612;
    TextWord* w[4];
    for (int i = 0; i < 4; ++i) w[i] = add(mkWord("x", 50, 60, 100 + 12 * i, 10));
    page.coalesce();
    for (TextWord* x : w) EXPECT_EQ(x->colGroup, 0);
}

TEST_F(PageTest, BlockSpacingLimitsAreInclusiveAndSizesMustAgree) {
    add(mkWord("top", 100, 130, 100, 10));
    add(mkWord("next", 100, 140, 115, 10));     // exactly 1.5 sizes below: joins
    add(mkWord("other", 100, 150, 130, 10.6));  // 6 % larger: another block
    page.coalesce();
    ASSERT_EQ(page.blockCount(), 2);
    EXPECT_EQ(blockText(page.blocks[0]), "top|next");
    EXPECT_EQ(blockText(page.blocks[1]), "other");
}

TEST_F(PageTest, EqualCharacterCountsKeepTheLowerRotationPrimary) {
    add(mkWord("ab", 100, 120, 100, 10, 0));
    add(mkWord("cd", 300, 320, 300, 10, 1));
    page.coalesce();
    EXPECT_EQ(page.blockCount(), 2);
    EXPECT_EQ(page.primaryRot, 0);
    page.startPage();
    add(mkWord("ab", 100, 120, 100, 10, 0));
    add(mkWord("cde", 300, 330, 300, 10, 1));
    page.coalesce();
    EXPECT_EQ(page.primaryRot, 1);
}

TEST_F(PageTest, TwoColumnsBecomeTwoFlowsInReadingOrder) {
    for (int i = 0; i < 3; ++i) {
        add(mkWord("left" + std::to_string(i), 50, 250, 100 + 12 * i, 10));
        add(mkWord("right" + std::to_string(i), 320, 520, 100 + 12 * i, 10));
    }
    page.coalesce();
    ASSERT_EQ(page.blockCount(), 2);
    EXPECT_EQ(blockText(page.blocks[0]), "left0|left1|left2");
    EXPECT_EQ(blockText(page.blocks[1]), "right0|right1|right2");
    EXPECT_EQ(page.blocks[1]->firstColumn, page.blocks[0]->firstColumn + page.blocks[0]->columnCount + 3);
    EXPECT_EQ(page.blocks[1]->lines->col[0], page.blocks[1]->firstColumn);
    ASSERT_NE(page.flows, nullptr);
    ASSERT_NE(page.flows->next, nullptr);
    EXPECT_EQ(page.flows->blocks, page.blocks[0]);
    EXPECT_EQ(page.flows->next->blocks, page.blocks[1]);
    EXPECT_EQ(page.flows->next->next, nullptr);
    // each block's free stretch stops at its neighbour
    EXPECT_DOUBLE_EQ(page.blocks[0]->spanMax, 320.0);
    EXPECT_DOUBLE_EQ(page.blocks[1]->spanMin, 250.0);
    EXPECT_TRUE(page.primaryLR);
}

TEST_F(PageTest, SmallerTextBelowContinuesTheFlow) {
    add(mkWord("Heading", 50, 250, 100, 12));
    add(mkWord("body", 50, 250, 125, 10));  // different size: its own block, 16 pt below
    page.coalesce();
    ASSERT_EQ(page.blockCount(), 2);
    ASSERT_NE(page.flows, nullptr);
    EXPECT_EQ(page.flows->next, nullptr);
    EXPECT_EQ(page.flows->blocks, page.blocks[0]);
    EXPECT_EQ(page.flows->lastBlock, page.blocks[1]);

    // larger text below starts a flow of its own
    page.startPage();
    page.pageWidth = 612;
    add(mkWord("small", 50, 250, 100, 10));
    add(mkWord("LARGE", 50, 250, 125, 12));
    page.coalesce();
    ASSERT_NE(page.flows, nullptr);
    EXPECT_NE(page.flows->next, nullptr);
}

TEST_F(PageTest, RightToLeftTextSetsTheReadingDirection) {
    TextWord* w = add(mkWord("xx", 100, 120, 100, 10));
    w->text = {0x05D0, 0x05D1};  // Hebrew letters
    add(mkWord("a", 300, 310, 300, 10));
    page.coalesce();
    EXPECT_FALSE(page.primaryLR);

    // Arabic-Indic digits carry no direction: two Latin letters outweigh them.
    page.startPage();
    page.pageWidth = 612;
    w = add(mkWord("xxxxx", 100, 150, 100, 10));
    w->text = {0x661, 0x662, 0x663, 0x664, 0x665};
    add(mkWord("ab", 300, 310, 300, 10));
    page.coalesce();
    EXPECT_TRUE(page.primaryLR);
}

TEST_F(PageTest, AbsurdSizesNeitherHangNorLoseWords) {
    pdf_uline_processor collector(true);
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    add(mkWord("nan", 100, 130, 100, nan));
    add(mkWord("inf", 100, 130, 200, inf));
    add(mkWord("zero", 100, 140, 300, 0));
    add(mkWord("neg", 100, 130, 400, -5));
    for (int i = 0; i < 4; ++i) add(mkWord("n" + std::to_string(i), 300, 320, 500 + 12 * i, nan));
    page.coalesce();
    int chars = 0;
    for (const TextBlock* b : page.blocks) chars += b->charCount;
    EXPECT_EQ(chars, 3 + 3 + 4 + 3 + 4 * 2);
}

TEST_F(PageTest, EveryPageStartsFromNothing) {
    // The same dense page laid out again and again: nothing of a page is left
    // for the next one.
    int firstBlocks = -1;
    for (int p = 0; p < 50; ++p) {
        page.startPage();
        page.pageWidth = 612;
        page.pageHeight = 792;
        for (int row = 0; row < 60; ++row)
            for (int col = 0; col < 8; ++col)
                add(mkWord("w" + std::to_string(col), 40 + col * 70, 80 + col * 70, 40 + row * 12, 10));
        page.coalesce();
        if (firstBlocks < 0) firstBlocks = page.blockCount();
        ASSERT_EQ(page.blockCount(), firstBlocks);
        ASSERT_EQ(page.wordCount(), 0);  // every word left the pools
    }
    EXPECT_GT(firstBlocks, 0);
}

}  // namespace

TEST_F(PageTest, EachLineAndBlockRuleDecidesItsCase) {
    struct Word {
        const char* text;
        double x0, x1, base, size;
        int colGroup;
    };
    const struct {
        const char* rule;
        bool columnGroups;  // with the collector, so that column groups are numbered
        std::vector<Word> words;
        const char* blocks;  // blocks " / ", lines "|", a line's column group after '#'
    } cases[] = {
        {"a word 1.6 sizes below the block starts another", false,
         {{"top", 100, 130, 100, 10, 0}, {"next", 100, 140, 116, 10, 0}}, "top / next"},
        {"a larger word 2.5 pt (under 0.3 size) after the block joins it", false,
         {{"ab", 100, 110, 100, 10, 0}, {"CD", 112.5, 125.5, 100, 13, 0}}, "ab CD"},
        {"3.5 pt after it, it does not", false, {{"ab", 100, 110, 100, 10, 0}, {"CD", 113.5, 126.5, 100, 13, 0}},
         "CD / ab"},
        {"a word 3 pt (under size / 3) after another takes its column group", false,
         {{"ab", 100, 110, 100, 10, 1}, {"cd", 113, 123, 100, 10, 2}}, "ab cd#1"},
        {"3.6 pt after it, it keeps its own", false, {{"ab", 100, 110, 100, 10, 1}, {"cd", 113.6, 123.6, 100, 10, 2}},
         "ab#1|cd#2"},
        {"an aligned word 45 pt (over 4 sizes) below three restarts the run: no group", true,
         {{"a", 50, 60, 100, 10, 0}, {"b", 50, 61, 112, 10, 0}, {"c", 50, 62, 124, 10, 0}, {"d", 50, 63, 169, 10, 0}},
         "a|b|c / d"},
        {"35 pt below, the four make a group", true,
         {{"a", 50, 60, 100, 10, 0}, {"b", 50, 61, 112, 10, 0}, {"c", 50, 62, 124, 10, 0}, {"d", 50, 63, 159, 10, 0}},
         "a#1|b#1|c#1 / d#1"},
    };
    for (const auto& c : cases) {
        page.startPage();
        page.pageWidth = 612;
        std::unique_ptr<pdf_uline_processor> collector;
        if (c.columnGroups) collector = std::make_unique<pdf_uline_processor>(true);
        for (const Word& w : c.words) add(mkWord(w.text, w.x0, w.x1, w.base, w.size))->colGroup = w.colGroup;
        page.coalesce();
        std::string got;
        for (int i = 0; i < page.blockCount(); ++i) {
            if (i) got += " / ";
            std::string lines;
            for (const TextLine* l = page.blocks[i]->lines; l; l = l->next) {
                if (!lines.empty()) lines += '|';
                for (int k = 0; k < l->len; ++k) lines += static_cast<char>(l->text[k]);
                if (l->colGroup) lines += "#" + std::to_string(l->colGroup);
            }
            got += lines;
        }
        EXPECT_EQ(got, c.blocks) << c.rule;
    }
}
