// Measures and orders shared by the layout code: interval overlap, the row
// order of two lines, the sort comparators, a sort that stays defined with
// tolerance comparators, and the left-to-right / right-to-left classifier.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

#include <CharTypes.h>

namespace tbx {

class TextWord;
class TextLine;
class TextBlock;
class TextPage;

// Overlap of two intervals (ends in either order) over the shorter / longer length.
double overlapRatio(double a1, double a2, double b1, double b2);
double overlapRatioMin(double a1, double a2, double b1, double b2);

// -1, 0, 1: row order of two lines (0: same row).
int compareLines(const TextLine* a, const TextLine* b);

// A control code that fonts' maps give for glyphs they cannot name: it shows
// nothing readers could show, so it is never written. A tab is a word break,
// and codes 11, 12 and 14 are the ligatures ff, fi and ffi of fonts without
// a map.
inline bool isDroppedControl(Unicode c) {
    return (c < 32 && c != 9 && c != 11 && c != 12 && c != 14) || (c >= 0x7F && c <= 0x9F);
}
// A character that shows nothing and changes no reading (a soft hyphen,
// zero-width spaces and joiners, direction marks, variation selectors, the
// byte order mark: Unicode's default ignorable code points). A font's own
// soft hyphen is drawn; one in a text that stands for glyphs is not.
bool isInvisibleChar(Unicode c);
// A blank the page shows as a blank: the ordinary one, the no-break space,
// the figure space and the narrow no-break space.
inline bool isBlank(Unicode c) { return c == 32 || c == 0xA0 || c == 0x2007 || c == 0x202F; }

// Gaps between words, in ems of the font size. Characters this close (or
// closer) continue one word; no gap this narrow is a blank.
constexpr double wordBreakEms = 0.1;
// A blank is about a quarter of an em: the room a word needs after the one
// before it.
constexpr double wordSpaceEms = 0.25;
// Words of one phrase stand closer than this (a justified line stretches its
// blanks up to about this much).
constexpr double phraseGapEms = 0.6;
// No word space is this wide: such a gap ends a word whatever the line's
// spacing, and a header's gap this wide that meets a column gap of the
// rows below it parts columns. (Three rows of a justified text may leave a
// common gap up to about half an em wide.)
constexpr double columnGapEms = 0.4;
// Digits grouped by a thin or no-break space stand at most this far apart
// (about a fifth to a quarter of an em): two figures further apart, in a
// row whose others part columns there, are two cells.
constexpr double figureGroupEms = 0.3;

// A decimal digit, what figures are made of (see isFigureText).
inline bool isDigitCode(Unicode c) { return c >= '0' && c <= '9'; }
// A lower-case letter of any script (a word that starts with one continues
// a sentence rather than starting a label).
bool isLowerCaseLetter(Unicode c);

// A coordinate as a sort key: NaN, which orders against nothing, sorts first.
inline double nanFirst(double v) { return v == v ? v : -HUGE_VAL; }

// Sign of a difference; NaN gives 0 so no comparison goes astray.
inline int signOf(double d) { return d < 0 ? -1 : (d > 0 ? 1 : 0); }

// Coordinate of a box along the reading direction of rotation rot: smaller
// comes first (xMin, yMin, -xMax, -yMax for rotations 0 to 3).
inline double primaryOf(int rot, double xMin, double xMax, double yMin, double yMax) {
    switch (rot) {
        default:
        case 0: return xMin;
        case 1: return yMin;
        case 2: return -xMax;
        case 3: return -yMax;
    }
}

// Gap along the reading direction of rotation rot from the end of box a to
// the start of box b (negative when they overlap).
template <class A, class B>
double gapAlongOf(int rot, const A& a, const B& b) {
    switch (rot) {
        default:
        case 0: return b.xMin - a.xMax;
        case 1: return b.yMin - a.yMax;
        case 2: return a.xMin - b.xMax;
        case 3: return a.yMin - b.yMax;
    }
}

// Comparators (-1, 0, 1). The block comparators read the page's primary rotation.
int compareWordsXY(const TextWord* a, const TextWord* b);
int compareBlocksXY(const TextBlock* a, const TextBlock* b, int primaryRot);
int compareBlocksYX(const TextBlock* a, const TextBlock* b, int primaryRot);
int compareLinesAlong(const TextLine* a, const TextLine* b);
int compareLinesInOrder(const TextLine* a, const TextLine* b);
int compareLinesByCell(const TextLine* a, const TextLine* b);

// Sorts with a three-way comparator. A merge sort: it only ever compares
// elements it holds, so comparators with tolerances (which are no strict weak
// order) give some order instead of undefined behaviour; equal keys keep
// their input order.
template <class T, class Cmp>
void sortWith(std::vector<T>& v, Cmp cmp) {
    const std::size_t n = v.size();
    if (n < 2) return;
    std::vector<T> tmp(n);
    for (std::size_t width = 1; width < n; width *= 2) {
        for (std::size_t lo = 0; lo < n; lo += 2 * width) {
            std::size_t mid = lo + width < n ? lo + width : n;
            std::size_t hi = lo + 2 * width < n ? lo + 2 * width : n;
            std::size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi) tmp[k++] = (cmp(v[j], v[i]) < 0) ? v[j++] : v[i++];
            while (i < mid) tmp[k++] = v[i++];
            while (j < hi) tmp[k++] = v[j++];
        }
        v.swap(tmp);
    }
}
template <class T, class Cmp>
void sortWith(T** a, int n, Cmp cmp) {
    if (!a || n < 2) return;
    std::vector<T*> v(a, a + n);
    sortWith(v, cmp);
    for (int i = 0; i < n; ++i) a[i] = v[i];
}

// Widens a box (xMin, xMax, yMin, yMax) to hold another one.
template <class B, class O>
void growBox(B& box, const O& other) {
    if (other.xMin < box.xMin) box.xMin = other.xMin;
    if (other.xMax > box.xMax) box.xMax = other.xMax;
    if (other.yMin < box.yMin) box.yMin = other.yMin;
    if (other.yMax > box.yMax) box.yMax = other.yMax;
}

// growBox, except that an empty box (xMin > xMax) takes the other's.
template <class B, class O>
void widenBox(B& box, const O& other) {
    if (box.xMin > box.xMax) {
        box.xMin = other.xMin, box.xMax = other.xMax, box.yMin = other.yMin, box.yMax = other.yMax;
        return;
    }
    growBox(box, other);
}

// Deletes a chain of records linked through `next` and leaves the head empty.
template <class T>
void deleteChain(T*& head) {
    while (head) {
        T* n = head->next;
        delete head;
        head = n;
    }
}

// Unicode bidirectional classes for the reading direction (GNU FriBidi).
bool unicodeTypeL(Unicode c);  // strong left-to-right
bool unicodeTypeR(Unicode c);  // strong right-to-left (Hebrew, Arabic letters)

// Characters of a line in reading order. Lines hold their characters in page
// order (left to right), which spells right-to-left words backwards. A line
// with more right-to-left than left-to-right letters (ties: preferLR decides)
// reads from the right, otherwise from the left; the runs between are put in
// order by the Unicode bidirectional algorithm, so numbers, European or
// Arabic-Indic, keep their digits forward. A line without right-to-left
// letters stays as it is.
// Brackets and other mirrored characters of right-to-left runs show as their
// mirror images: whether the page's codes name the shapes drawn (and are
// turned back) or the characters read (and stay) shows in the line's own
// brackets, which pair up only one way (codesNameShapes: +1 shapes, -1 read,
// 0 cannot tell). Where they cannot tell, shapesElsewhere decides: what the
// brackets of the same font or document showed; 0 turns brackets only.
int codesNameShapes(const Unicode* text, int len, bool preferLR);
std::vector<Unicode> logicalOrder(const Unicode* text, int len, bool preferLR, int shapesElsewhere = 0);
// The opposite: a text in reading order as it stands on the page, left to
// right (its paragraph direction from its first strong letter). A text
// without right-to-left letters stays as it is.
std::vector<Unicode> visualOrder(const std::vector<Unicode>& text);

}  // namespace tbx
