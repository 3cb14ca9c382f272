// A block of lines of one rotation, and the flows that chain blocks in reading order.
#pragma once

#include <utility>
#include <vector>

class UnicodeMap;

namespace tbx {

class TextPage;
class TextPool;
class TextLine;
class TextWord;

class TextBlock {
public:
    TextBlock(TextPage* page, int rot);
    ~TextBlock();  // deletes the pool with its words and the lines
    TextBlock(const TextBlock&) = delete;
    TextBlock& operator=(const TextBlock&) = delete;

    // Files a word into the block's pool and widens the box.
    void addWord(TextWord* w);
    // Builds the block's lines from its pool; the pool is empty afterwards.
    void coalesce(const UnicodeMap* uMap);
    // Ends the line after the given word of it; the rest becomes the next line.
    void endLineAfter(TextLine* line, TextWord* word, const UnicodeMap* uMap);
    // This block lies under other within other's free stretch.
    bool liesBelow(const TextBlock* other) const;
    // Narrows spanMin/spanMax by another block of the page.
    void narrowFreeSpan(const TextBlock* other);

    TextPage* page = nullptr;
    int rot = 0;
    double xMin = 0, xMax = -1, yMin = 0, yMax = -1;
    double spanMin = 0, spanMax = 0;
    TextPool* pool = nullptr;
    TextLine* lines = nullptr;
    TextLine* lastLine = nullptr;
    int lineCount = 0;
    int charCount = 0;
    int firstColumn = 0;
    int columnCount = 0;
    // Spans along the line (upright blocks) that every row of the block
    // leaves free between words, set by coalesce: edges between columns.
    std::vector<std::pair<double, double>> columnGaps;
    TextBlock* next = nullptr;
    TextBlock* stackLink = nullptr;

private:
    void numberColumns();
};

}  // namespace tbx
