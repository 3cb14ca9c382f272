// Characters that stand over or beside the words they belong to: raised
// marks and spacing accents, settled into their words' lines before the
// page's words become blocks and lines.
#pragma once

namespace tbx {

class TextPool;

class TextWord;

// A raised mark (a footnote number or letter, an ordinal suffix) beside a
// word: at most three characters, a third to 0.9 of the word's size, drawn
// more than half a point and at most 0.75 of the word's size above the
// word's base line (before or after it was seated there).
bool isRaisedMark(const TextWord& word, const TextWord& mark);

// A raised mark right after a word (within half an em, or an em after a
// figure, whose marks a table may set apart) is moved onto the base line it
// stands on or above (the nearest one below it), so that it neither joins
// the row above nor starts or splits a row of its own. Works on the pool of
// upright text.
void seatRaisedMarks(TextPool& pool);

// A word of one spacing accent (´ ` ˆ ˜ ¨ ¸ ˚ ˘ ˇ ¯ ˙ ˝ ˛) drawn over a letter
// of its line becomes part of that letter (ê, ç: the composed character)
// and leaves the pool; an accent over no letter that takes it stays.
void combineAccents(TextPool& pool);

}  // namespace tbx
