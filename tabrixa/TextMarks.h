// Characters that stand over or beside the words they belong to: raised
// marks and spacing accents, settled into their words' lines before the
// page's words become blocks and lines.
#pragma once

namespace tbx {

class TextPool;

// A raised mark (a footnote number or letter, an ordinal suffix) is a short
// word of a smaller size right after a word, above that word's base line. It is moved onto the base line it stands on or above (the
// nearest one below it), so that it neither joins the row above nor starts
// one of its own. Works on the pool of upright text.
void seatRaisedMarks(TextPool& pool);

// A word of one spacing accent (´ ` ˆ ˜ ¨ ¸ ˚ ˘ ˇ ¯ ˙ ˝ ˛) drawn over a letter
// of its line becomes part of that letter (ê, ç: the composed character)
// and leaves the pool; an accent over no letter that takes it stays.
void combineAccents(TextPool& pool);

}  // namespace tbx
