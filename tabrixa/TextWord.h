// A word: characters of one font size on one baseline, one rotation.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include <CharTypes.h>

#include "tabrixa/TextHelpers.h"

class GfxState;

namespace tbx {

class TextFontRef;

// Where a character or a piece of text goes on the word before it, along
// the reading direction: `gap` from the word's end to the new start,
// `baseShift` between the base lines, `edgeDelta` from the word's last
// character start to the new one, all in points, `size` the word's font size.
// A character drawn again on the last one (fake bold) starts a word.
inline bool overstrikesWord(double edgeDelta, double baseShift, double size) {
    return std::fabs(edgeDelta) < 0.1 * size && std::fabs(baseShift) < 0.2 * size;
}
inline bool continuesWordAt(double gap, double baseShift, double edgeDelta, double size) {
    return gap >= -0.2 * size && gap <= wordBreakEms * size && std::fabs(baseShift) <= 0.5 &&
           !overstrikesWord(edgeDelta, baseShift, size);
}

class TextWord;
// A clip edge lies between two words of a line, a before b: one of them was
// cut by its clip at that side (characters of its string hidden there) and
// the other stands beyond that clip. Characters inside a clip and characters
// outside it are never one word, nor one line.
bool clippedApart(const TextWord& a, const TextWord& b);

class TextWord {
public:
    // x, y in user space; charPos is the content-stream position of the first code.
    TextWord(GfxState* state, int rot, double x, double y, int charPos, TextFontRef* fontRef, double fontSize);
    // A word from plain values (no state, no font, no width measurer): used by
    // layout code that builds words itself.
    TextWord(int rot, double base, double fontSize);
    ~TextWord() = default;
    TextWord(const TextWord&) = delete;
    TextWord& operator=(const TextWord&) = delete;

    // x, y, dx, dy in device space; one Unicode code.
    void addChar(GfxState* state, double x, double y, double dx, double dy, Unicode u);
    // Appends w's characters to this word (w stays the caller's).
    void merge(TextWord* w);
    // The word's font writes vertically (a Type 0 font with a vertical CMap).
    bool verticalWriting() const;
    // A glyph of vertical writing that stands on a line of glyphs placed one by
    // one: the word takes the font's upright rotation and spans halfWidth either
    // side of the glyph's centre along that line.
    void turnUpright(double halfWidth);
    // The clip hides the characters of the word's string after it: the word
    // ends where the clip does (its last character may show in part).
    void cutByClip();
    // Gap along the reading direction from the end of this word to the start of other.
    double gapAlong(const TextWord* other) const;
    // The word's text is a figure (see isFigureText).
    bool isFigure() const;
    // Coordinate along the reading direction: xMin, yMin, -xMax, -yMax by rotation.
    double primaryCoord() const;
    // Layout size: the font size when positive, else 0.
    double layoutSize() const { return fontSize > 0 ? fontSize : 0.0; }
    int getLength() const { return len; }

    int rot = 0;
    double xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    double base = 0;
    std::vector<Unicode> text;
    std::vector<double> edge;   // len + 1 entries once the word holds a character
    int len = 0;
    int charPos = 0, charLen = 0;
    TextFontRef* font = nullptr;
    double fontSize = 0;
    double spaceRatio = 0;
    bool spaceAfter = false;
    TextWord* next = nullptr;
    bool bold = false, italic = false;
    bool bullet = false;
    bool underlined = false;
    int superscript = 0, subscript = 0;
    // The clip region's box at the word's start (device space), and whether
    // the clip hid characters of its string before or after the word's.
    struct Box {
        double xMin, xMax, yMin, yMax;
    } clip{-HUGE_VAL, HUGE_VAL, -HUGE_VAL, HUGE_VAL};
    bool clippedBefore = false, clippedAfter = false;
    // How far above the base line it now stands on the word was drawn: a
    // raised mark seated beside its word (see seatRaisedMarks), in points.
    double seatedRaise = 0;
    std::string fontClass;
    std::string winFontName;
    bool symbolFace = false;  // see FontClass::symbolFace
    int colGroup = 0;
    int cellCode = 0;
    int colorR = 0, colorG = 0, colorB = 0;
};

}  // namespace tbx
