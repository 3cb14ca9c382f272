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

class TextPage {
public:
    TextPage();
    ~TextPage();
    TextPage(const TextPage&) = delete;
    TextPage& operator=(const TextPage&) = delete;

    // Clears the page for the next one.
    void startPage();

    // Intake, driven by the output device.
    void beginWord(GfxState* state, double x, double y);
    void addChar(GfxState* state, double x, double y, double dx, double dy, CharCode code, int nBytes,
                 const Unicode* u, int uLen);
    void endWord();
    void addWord(TextWord* word);  // ownership passes to the page
    // A marked-content span with /ActualText: its text replaces the glyphs
    // drawn inside, placed where the first of them stands.
    void beginActualText(const Unicode* text, int len);
    // A page that ends inside a span (its marked content left open) passes
    // no state: the span's glyphs are placed with the state of the first.
    void endActualText(GfxState* state);
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
    void convertChar(std::wstring& text, Unicode code);
    // The line's characters in reading order, each through convertChar.
    void appendLineText(std::wstring& text, const TextLine* line);
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
    // A character at its place in device space (x1, y1, advance w1, h1).
    void placeChar(GfxState* state, double x, double y, double dx, double dy, double x1, double y1, double w1,
                   double h1, CharCode code, int nBytes, const Unicode* u, int uLen);
    struct SpanGlyph {
        double x, y, dx, dy, x1, y1, w1, h1;
        CharCode code;
        int nBytes;
        std::vector<Unicode> u;
    };
    void placeSpan(GfxState* state, const std::vector<SpanGlyph>& glyphs);
    int actualTextDepth = 0;
    std::vector<Unicode> actualText;
    std::vector<SpanGlyph> spanGlyphs;  // drawn inside the open span
    std::unique_ptr<GfxState> spanState;  // at the first of them, with its font
    TextFontRef* spanFont = nullptr;
    double spanFontSize = 0;
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
