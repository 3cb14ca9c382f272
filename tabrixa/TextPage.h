// The text model of the page being played through the output device:
// characters become words in four rotation pools; at the end of the page the
// words become lines, blocks and flows.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <CharTypes.h>

#include "tabrixa/PageText.h"

class GfxState;
class UnicodeMap;

namespace xls_core {
class workbook;
class worksheet;
class cell_t;
}  // namespace xls_core

namespace tbx {

class TextFontRef;
class TextWord;
class TextPool;
class TextLine;
class TextBlock;
class TextFlow;
class PageGrid;

// Rotation (0 to 3) of text drawn now, from the state's font transform.
int textRotation(GfxState* state);

class TextPage {
public:
    TextPage();
    ~TextPage();
    TextPage(const TextPage&) = delete;
    TextPage& operator=(const TextPage&) = delete;

    // Clears the page for the next one.
    void startPage();

    // Intake, driven by the output device: the start and end of a string
    // (x, y in user space), its characters, and finished words.
    void beginWord(GfxState* state, double x, double y);
    void addChar(GfxState* state, double x, double y, double dx, double dy, CharCode code, int nBytes,
                 const Unicode* u, int uLen);
    void endWord();
    void addWord(TextWord* word);  // ownership passes to the page
    // A marked-content span with /ActualText: its text replaces the glyphs
    // drawn inside, over their advance (written in TextSpans.cpp).
    void beginActualText(const Unicode* text, int len);
    // Ends the innermost span; the outermost one places its text.
    void endActualText();
    // Font bookkeeping of the device's updateFont: the entry of the state's font
    // (made on first use) becomes curFont.
    TextFontRef* findOrAddFont(GfxState* state);

    static bool isBullet(CharCode code);

    // Words to lines, blocks and flows (end of page).
    void coalesce();

    // One new worksheet for the page (written by the page-dump code).
    void dump(xls_core::workbook* wb, int pageCount);
    // Shared pieces of the page writers (written by the page-dump code).
    int dumpLines(xls_core::worksheet* sheet, PageCells& cells, PageGrid* grid, int row, double x1, double x2,
                  TextLine** lines, int count);
    // dumpLines' cells: a line that opens none (a sliver of one character, a
    // line without words), and the end of the cell line i opens.
    static bool opensNoCell(const TextLine* line);
    int cellEnd(TextLine* const* lines, int count, int i) const;
    // Writes the lines as one cell at the given row, merged across the
    // columns from x1 to x2 (points); returns the rows used (1).
    int dumpCell(xls_core::worksheet* sheet, PageCells& cells, PageGrid* grid, int row, double x1, double x2,
                 TextLine* const* lines, int count);
    void convertChar(std::wstring& text, Unicode code);
    // The line's characters in reading order, each through convertChar.
    void appendLineText(std::wstring& text, const TextLine* line);
    // Counts what the right-to-left brackets of the page's lines show about
    // their codes (see codesNameShapes), for lines whose own brackets cannot
    // tell (written in PageText.cpp).
    void noteBracketCodes();
    void setCellFont(TextLine* line, xls_core::cell_t* cell, PageCells& cells);

    // Words still in the rotation pools or held (coalescing takes them all out).
    int wordCount() const;

    double pageWidth = 0, pageHeight = 0;
    int pageNumber = 0;  // in the document, for messages; 0 when unknown
    TextWord* curWord = nullptr;
    int charPos = 0;
    TextFontRef* curFont = nullptr;
    double curFontSize = 0;
    int nest = 0;
    int nTinyChars = 0;
    bool lastCharOverlap = false;
    TextPool* pools[4] = {nullptr, nullptr, nullptr, nullptr};
    TextFlow* flows = nullptr;
    std::vector<TextBlock*> blocks;  // reading order; owned by the page
    int blockCount() const { return static_cast<int>(blocks.size()); }
    int primaryRot = -1;
    bool primaryLR = true;
    // Owned; one entry per font dictionary (its reference): forms that bring
    // their own resources hand over a new font object at every drawing.
    std::map<std::pair<int, int>, TextFontRef*> fonts;

private:
    // Words as characters come: a string opens one (nested string starts are
    // counted), a break or the string's end files it.
    void openWord(GfxState* state, double x, double y);
    void finishWord();  // the end of a string, or a break: nested starts first
    void closeWord();
    // A character at its place in device space (x1, y1, advance w1, h1).
    void placeChar(GfxState* state, double x, double y, double dx, double dy, double x1, double y1, double w1,
                   double h1, CharCode code, int nBytes, const Unicode* u, int uLen);
    // ActualText spans (TextSpans.cpp).
    struct SpanGlyph {
        double x, y, dx, dy, x1, y1, w1, h1;
        CharCode code;
        int nBytes;
        std::vector<Unicode> u;
    };
    struct Span {
        std::vector<Unicode> text;  // what the glyphs read, invisible characters dropped
        std::vector<SpanGlyph> glyphs;
        std::unique_ptr<GfxState> state;  // at the first glyph, with its font
        TextFontRef* font = nullptr;
        double fontSize = 0;
        bool blanks() const;  // every glyph shows a blank
        int bytes() const;    // of the glyphs' codes
    };
    void holdSpanGlyph(GfxState* state, double x, double y, double dx, double dy, double x1, double y1, double w1,
                       double h1, CharCode code, int nBytes, const Unicode* u, int uLen);
    void placeSpan(Span& span);
    void placeSpanText(Span& span, const std::vector<Unicode>& text);
    void placeSpanGlyphs(Span& span);
    bool coversSpan(const Span& span);
    bool echoesLastPlaced(const Span& span) const;
    void settleBlankSpan(const Unicode* u, int uLen, double x1, double y1);
    void finishSpans();  // the page's end
    void clearSpans();
    int actualTextDepth = 0;
    Span openSpan;
    // A blank that carries a character of its own waits for the glyph after
    // it: when that glyph shows the same character, the blank adds nothing.
    Span blankSpan;
    bool spanWordOpen = false;   // curWord holds a span's text and may go on with the next span's
    int stringCharPos = 0;  // where the string being drawn starts
    TextWord* lastPlacedWord = nullptr;  // the word that took the last character placed
    // ... and that character is a glyph's own, kept where its span's empty
    // text had nothing before it to stand over it.
    bool lastPlacedForEmptyText = false;
    // What the brackets showed, by font dictionary and in all, from the first
    // page of the document on.
    std::map<std::pair<int, int>, int> shapeVotesByFont;
    int shapeVotes = 0;
    int shapesElsewhere(const TextLine* line) const;
    // One warning for each worksheet limit the page met.
    void warnAboutLimits(int page, int columns, const PageCells& cells) const;
    void clear();
    void fileWord(TextWord* word);
    void fileHeldGlyphs();
    // Words of one glyph of vertical writing, held until the page is coalesced:
    // whether such glyphs run down a column or along a line shows only in where
    // their neighbours stand.
    std::vector<TextWord*> heldGlyphs;
    void clearLayout();  // flows, blocks and the building list
    void assignCellsAndGroups();
    void buildBlocks(const UnicodeMap* uMap);
    void buildFlows();
    TextBlock* blockList = nullptr;  // blocks while they are built, before the array
};

}  // namespace tbx
