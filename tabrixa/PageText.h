// Small pieces shared by the page writers: cell numbers, character mapping
// and the units at the workbook's boundary.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>

#include <CharTypes.h>

namespace xls_core {
class worksheet;
class cell_t;
}  // namespace xls_core

namespace tbx {

// A cell text is a number when, read in the "C" locale, it is a finite
// decimal number from its first to its last character (leading blanks,
// sign, fraction and exponent allowed). "inf", "nan", hexadecimal forms,
// an empty text and anything else stay text, and so do numbers whose value
// would not show the page's characters: more than `maxNumberDigits`
// significant digits, or a zero before another digit of the integer part.
constexpr std::size_t maxNumberDigits = 15;
bool parseCellNumber(const std::wstring& text, double& value);

// A figure as a table prints it: at least one digit, and besides digits
// only blanks, signs, separators, brackets, per cent and dollar signs
// ("1,314,000", "(12.5)", "4 %"). Only some figures are numbers.
bool isFigureText(const Unicode* text, std::size_t len);

// Appends the cell text of one Unicode code: typographic quotes and dashes
// become plain ones, ligatures their letters, a soft hyphen a hyphen;
// control codes are dropped (see isDroppedControl); codes above U+FFFF
// become a UTF-16 surrogate pair and invalid codes U+FFFD.
void appendCellChar(std::wstring& text, Unicode code);

// Removes the blanks (see isBlank, and C white space) at both ends of a cell text.
void trimCellBlanks(std::wstring& text);

// Cuts a cell text to the most characters a cell can hold (32767 UTF-16
// units), never between the two halves of a surrogate pair; true when it cut.
bool fitCellText(std::wstring& text);

// What the writers of one sheet keep between cells (owned by the page's
// region writer): the page's characters of the number cells by (row,
// column), so that text joining such a cell keeps what the page shows, and
// what the worksheet's limits cut.
struct PageCells {
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::wstring> numberTexts;
    // The text cells that hold a figure ("12,273"), by (row, column).
    std::set<std::pair<std::uint32_t, std::uint32_t>> figureTexts;
    std::size_t cutTexts = 0;        // texts cut to the most a cell holds
    std::uint32_t rowsNeeded = 0;    // rows the page asked for, beyond the sheet's too
    // Row heights (twips) the writers gave, and the largest font size
    // (points) written in each row; the sheet gets them when the page is done.
    std::map<std::uint32_t, unsigned> rowHeights;
    std::map<std::uint32_t, double> rowFonts;
    // Counts the row as asked for (rowsNeeded) and tells whether it is on the sheet.
    bool countRow(std::uint32_t row);
    void noteFont(std::uint32_t row, double points);
};

// Writes one cell of text. When `numberText` reads as a number (see
// parseCellNumber) the cell is a number cell. When the place already holds
// text or a number of this page (two columns of the page that meet in one
// worksheet column), that cell's page text is kept and the new text follows
// it after a blank, so no word is lost. Returns null for a row beyond the
// sheet's last.
xls_core::cell_t* putCellText(xls_core::worksheet& sheet, PageCells& cells, std::uint32_t row, std::uint32_t col,
                              std::wstring text, const std::wstring* numberText);
// Writes an empty cell unless the place already holds text or a number, or
// lies beyond the sheet's last row; returns null when it wrote nothing.
xls_core::cell_t* putEmptyCell(xls_core::worksheet& sheet, PageCells& cells, std::uint32_t row, std::uint32_t col);

// Readers show only the first cell of a merged range. Narrows every merged
// range of the sheet so that no other cell of it holds text or a number:
// first its columns (up to the first such cell of its first row), then its
// rows; a range left with one cell is no range. Returns the ranges narrowed.
std::size_t uncoverMergedValues(xls_core::worksheet& sheet);

// Width in points of the digit 0 in a font: the worksheet's unit of column
// width is 1/256 of that width in the workbook's default font.
double digitWidthPoints(const std::string& fontName, int heightTwips);
// Column width for the worksheet (1/256 of a digit of the default font,
// `digitPoints` wide) of a column so many points wide; at least 10 points.
unsigned columnWidthUnits(double points, double digitPoints);
// Column width (as columnWidthUnits) that shows a figure whole, as the page
// gives it (and, for a number cell, as readers show its value; NaN for a
// text cell), in a font of that name and height (twips), with the margins
// readers keep inside a cell.
unsigned figureWidthUnits(const std::wstring& text, double value, const std::string& fontName, int heightTwips,
                          double digitPoints);
// Row height for the worksheet (twips) of a row so many points high.
unsigned rowHeightTwips(double points);
// Font height (twips) of a font size in points; 0 when the size is unusable.
int fontHeightTwips(double points);
// Screen font name of a font class ("f10" -> "Arial"), or null for classes
// that keep the cell's font name.
const char* fontNameOfClass(const std::string& fontClass);

}  // namespace tbx
