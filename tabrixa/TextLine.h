// A line of a block: words on one baseline, in reading order.
#pragma once

#include <vector>

#include <CharTypes.h>

class UnicodeMap;

namespace tbx {

class TextWord;
class TextBlock;

class TextLine {
public:
    TextLine(TextBlock* blk, int rot, double base);
    ~TextLine();  // deletes the line's words
    TextLine(const TextLine&) = delete;
    TextLine& operator=(const TextLine&) = delete;

    // Appends a word (ownership passes to the line).
    void addWord(TextWord* w);
    // Merges touching words, builds text, edge, col, len, convertedLen, hyphenated.
    void coalesce(const UnicodeMap* uMap);
    // Mean font size weighted by characters; NaN for a line without characters.
    double meanFontSize() const;
    // The mean font size when it is a positive number, else 8 points: the
    // size the row rules measure a line with.
    double sizeOrDefault() const;
    // The line's text is a figure (see isFigureText).
    bool isFigure() const;
    // -1, 0, 1: order of two lines along the reading direction.
    int compareAlong(const TextLine* other) const;
    // Coordinate along the reading direction (xMin, yMin, -xMax, -yMax by rotation).
    double primaryCoord() const;
    int getLength() const { return len; }

    double xMin = 0, xMax = -1;
    double base = 0;
    TextBlock* blk = nullptr;
    int rot = 0;
    double yMin = 0, yMax = -1;
    TextWord* words = nullptr;
    TextWord* lastWord = nullptr;
    std::vector<Unicode> text;
    std::vector<double> edge;  // len + 1 entries
    std::vector<int> col;      // len + 1 entries
    int len = 0;
    int convertedLen = 0;
    bool hyphenated = false;
    TextLine* next = nullptr;
    int colGroup = 0;
    int blockIndex = 0;
    int cellCode = 0;
};

}  // namespace tbx
