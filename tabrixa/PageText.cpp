#include "tabrixa/PageText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <set>
#include <vector>

#include <GfxFont.h>
#include <fribidi.h>

#include "TK/tk_log.h"
#include "XLS/xls_workbook.h"
#include "tabrixa/PageGrid.h"
#include "tabrixa/TextBlock.h"
#include "tabrixa/TextFontRef.h"
#include "tabrixa/TextHelpers.h"
#include "tabrixa/TextLine.h"
#include "tabrixa/TextPage.h"
#include "tabrixa/TextWord.h"

namespace tbx {

namespace {
bool isCSpace(wchar_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// A character that shows nothing in a cell: C white space or a blank.
bool isCellBlank(wchar_t c) { return isCSpace(c) || isBlank(static_cast<Unicode>(c)); }

// Characters of a figure only, a digit among them (see isFigureText).
template <class It>
bool figureChars(It begin, It end) {
    bool digit = false;
    for (; begin != end; ++begin) {
        const Unicode c = static_cast<Unicode>(*begin);
        if (isDigitCode(c))
            digit = true;
        else if (c == 0 || !std::wcschr(L" .,%$()+-/", static_cast<wchar_t>(c)))
            return false;
    }
    return digit;
}
}  // namespace

bool parseCellNumber(const std::wstring& text, double& value) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && isCSpace(text[i])) ++i;
    std::string ascii;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') ascii += '-';
        ++i;
    }
    size_t digits = 0, intDigits = 0;
    // Significant digits run from the first non-zero digit to the last digit.
    size_t firstSignificant = std::string::npos;
    auto takeDigit = [&] {
        if (firstSignificant == std::string::npos && text[i] != '0') firstSignificant = digits;
        ascii += static_cast<char>(text[i++]);
        ++digits;
    };
    while (i < n && isDigitCode(text[i])) takeDigit(), ++intDigits;
    // A zero before another digit (ZIP codes, "007") is part of the text.
    if (intDigits > 1 && ascii[ascii.size() - intDigits] == '0') return false;
    if (i < n && text[i] == '.') {
        ascii += '.';
        ++i;
        while (i < n && isDigitCode(text[i])) takeDigit();
    }
    if (digits == 0) return false;
    // More digits than a double keeps: the value would not show the page's.
    if (firstSignificant != std::string::npos && digits - firstSignificant > maxNumberDigits) return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        std::string exp = "e";
        if (j < n && (text[j] == '+' || text[j] == '-')) exp += static_cast<char>(text[j++]);
        size_t expDigits = 0;
        while (j < n && isDigitCode(text[j])) exp += static_cast<char>(text[j++]), ++expDigits;
        // Without digits the exponent letter is not part of the number.
        if (expDigits > 0) {
            ascii += exp;
            i = j;
        }
    }
    if (i != n) return false;
    double v = 0;
    const auto res = std::from_chars(ascii.data(), ascii.data() + ascii.size(), v);
    if (res.ec != std::errc() || res.ptr != ascii.data() + ascii.size() || !std::isfinite(v)) return false;
    value = v;
    return true;
}

bool isFigureText(const Unicode* text, std::size_t len) { return figureChars(text, text + len); }

void appendCellChar(std::wstring& text, Unicode code) {
    switch (code) {
        case 0x201C: case 0x201D: text += L'"'; return;
        case 0x2013: text += L'-'; return;
        case 0x2018: case 0x2019: text += L'\''; return;
        case 0xFB00: case 11: text += L"ff"; return;
        case 0xFB01: case 12: text += L"fi"; return;
        case 0xFB03: case 14: text += L"ffi"; return;
        // Readers hide a soft hyphen; the page shows it.
        case 0xAD: text += L'-'; return;
        default: break;
    }
    if (isDroppedControl(code)) {
        return;
    } else if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        text += static_cast<wchar_t>(0xFFFD);
    } else if (code > 0xFFFF) {
        const Unicode v = code - 0x10000;
        text += static_cast<wchar_t>(0xD800 + (v >> 10));
        text += static_cast<wchar_t>(0xDC00 + (v & 0x3FF));
    } else {
        text += static_cast<wchar_t>(code);
    }
}

bool fitCellText(std::wstring& text) {
    size_t n = xls_core::max_cell_chars;
    if (text.size() <= n) return false;
    if (text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    text.resize(n);
    return true;
}

bool PageCells::countRow(std::uint32_t row) {
    if (row >= rowsNeeded) rowsNeeded = row + 1;
    return row < xls_core::max_rows;
}

void PageCells::noteFont(std::uint32_t row, double points) {
    if (std::isfinite(points) && points > 0.0) rowFonts[row] = std::max(rowFonts[row], points);
}

namespace {
// The text of a cell that holds something; empty for an empty or missing
// cell. A number cell gives the page's characters it was read from.
std::wstring heldText(const xls_core::worksheet& sheet, const PageCells& cells, std::uint32_t row,
                      std::uint32_t col) {
    const xls_core::cell_t* cell = sheet.GetCell(row, col);
    if (const auto* label = dynamic_cast<const xls_core::label_t*>(cell)) {
        std::wstring out(label->GetText().begin(), label->GetText().end());
        for (wchar_t ch : out)
            if (!isCSpace(ch)) return out;
        return std::wstring();
    }
    if (dynamic_cast<const xls_core::number_t*>(cell)) {
        const auto it = cells.numberTexts.find({row, col});
        if (it != cells.numberTexts.end()) return it->second;
    }
    return std::wstring();
}
}  // namespace

std::size_t uncoverMergedValues(xls_core::worksheet& sheet) {
    auto holds = [&](std::uint32_t row, std::uint32_t col) {
        const xls_core::cell_t* cell = sheet.GetCell(row, col);
        if (dynamic_cast<const xls_core::number_t*>(cell)) return true;
        const auto* label = dynamic_cast<const xls_core::label_t*>(cell);
        if (!label) return false;
        const auto& text = label->GetText();
        return !std::all_of(text.begin(), text.end(), isCellBlank);
    };
    std::size_t narrowed = 0;
    // From the last range down: narrowing may remove a range.
    for (std::size_t i = sheet.Merges().size(); i-- > 0;) {
        const xls_core::range_t m = sheet.Merges()[i];
        std::uint32_t lastCol = m.last_col, lastRow = m.last_row;
        for (std::uint32_t c = m.first_col + 1; c <= m.last_col; ++c)
            if (holds(m.first_row, c)) {
                lastCol = c - 1;
                break;
            }
        for (std::uint32_t r = m.first_row + 1; r <= m.last_row && lastRow == m.last_row; ++r)
            for (std::uint32_t c = m.first_col; c <= lastCol; ++c)
                if (holds(r, c)) {
                    lastRow = r - 1;
                    break;
                }
        if (lastCol == m.last_col && lastRow == m.last_row) continue;
        tk_log::write(1, "merged range (%u,%u,%u,%u) narrowed to (%u,%u): it covered a value", m.first_row,
                      m.first_col, m.last_row, m.last_col, lastRow, lastCol);
        sheet.shrink_merge(i, lastRow, lastCol);
        ++narrowed;
    }
    return narrowed;
}

void trimCellBlanks(std::wstring& text) {
    std::size_t end = text.size();
    while (end > 0 && isCellBlank(text[end - 1])) --end;
    std::size_t begin = 0;
    while (begin < end && isCellBlank(text[begin])) ++begin;
    text = text.substr(begin, end - begin);
}

xls_core::cell_t* putCellText(xls_core::worksheet& sheet, PageCells& cells, std::uint32_t row, std::uint32_t col,
                              std::wstring text, const std::wstring* numberText) {
    if (!cells.countRow(row)) return nullptr;
    // No cell starts or ends with a blank: an exact lookup finds it, and a
    // figure followed by a no-break space is a number.
    trimCellBlanks(text);
    std::wstring trimmedNumber;
    if (numberText) {
        trimmedNumber = *numberText;
        trimCellBlanks(trimmedNumber);
        numberText = &trimmedNumber;
    }
    std::wstring held = heldText(sheet, cells, row, col);
    if (!held.empty()) {
        if (held.back() != L' ') held += L' ';
        text = held + text;
    } else if (numberText) {
        double value = 0;
        if (parseCellNumber(*numberText, value)) {
            cells.numberTexts[{row, col}] = *numberText;
            return sheet.number(row, col, value);
        }
    }
    cells.numberTexts.erase({row, col});
    if (fitCellText(text)) ++cells.cutTexts;
    xls_core::cell_t* out = sheet.label(row, col, text);
    if (figureChars(text.begin(), text.end()))
        cells.figureTexts.insert({row, col});
    else
        cells.figureTexts.erase({row, col});
    return out;
}

xls_core::cell_t* putEmptyCell(xls_core::worksheet& sheet, PageCells& cells, std::uint32_t row, std::uint32_t col) {
    if (!cells.countRow(row) || !heldText(sheet, cells, row, col).empty()) return nullptr;
    return sheet.label(row, col, std::string());
}

double digitWidthPoints(const std::string& fontName, int heightTwips) {
    // Advance of the digits in em, from the fonts' metrics.
    static const struct { const char* name; double em; } digits[] = {
        {"Verdana", 0.6357}, {"Arial", 0.5562}, {"Tahoma", 0.5459}, {"Times New Roman", 0.5},
        {"Courier New", 0.6001}, {"Calibri", 0.5068}, {"Helvetica", 0.556},
    };
    double em = 0.556;
    for (const auto& d : digits)
        if (fontName == d.name) em = d.em;
    const double size = heightTwips > 0 ? heightTwips / 20.0 : 10.0;
    return em * size;
}

unsigned columnWidthUnits(double points, double digitPoints) {
    if (!(points >= 10.0)) points = 10.0;  // also catches NaN
    if (!(digitPoints > 0.0)) digitPoints = digitWidthPoints("Arial", 200);
    const double units = std::floor(points / digitPoints * 256.0 + 0.5);
    return units > xls_core::max_colwidth ? xls_core::max_colwidth : static_cast<unsigned>(units);
}

unsigned figureWidthUnits(const std::wstring& text, double value, const std::string& fontName, int heightTwips,
                          double digitPoints) {
    // Every character as wide as a digit (signs and points are narrower);
    // readers keep a few points of margin inside a cell.
    constexpr double cellMargins = 7.0;
    size_t chars = text.size();
    // Readers show a number's value in their general form, which may be
    // longer than the page's ("1e5" shows as 100000).
    char shown[40];
    const int n = std::isfinite(value) ? std::snprintf(shown, sizeof shown, "%.10g", value) : 0;
    if (n > 0 && static_cast<size_t>(n) > chars) chars = static_cast<size_t>(n);
    return columnWidthUnits(static_cast<double>(chars) * digitWidthPoints(fontName, heightTwips) + cellMargins,
                            digitPoints);
}

unsigned rowHeightTwips(double points) {
    if (!(points > 0.0)) return xls_core::min_rowheight;
    const double tw = std::floor(points * 20.0 + 0.5);
    if (tw < xls_core::min_rowheight) return xls_core::min_rowheight;
    if (tw > xls_core::max_rowheight) return xls_core::max_rowheight;
    return static_cast<unsigned>(tw);
}

int fontHeightTwips(double points) {
    if (!std::isfinite(points) || points <= 0.0) return 0;
    const double tw = std::trunc(points * 20.0);
    if (tw < xls_core::min_font_height) return xls_core::min_font_height;
    if (tw > xls_core::max_font_height) return xls_core::max_font_height;
    return static_cast<int>(tw);
}

const char* fontNameOfClass(const std::string& c) {
    static const struct { const char* cls; const char* name; } table[] = {
        {"f10", "Arial"}, {"f20", "Times New Roman"}, {"f30", "Courier New"}, {"f21", "Garamond"},
        {"f60", "Impact"}, {"f31", "Lucida Console"},
    };
    for (const auto& e : table)
        if (c == e.cls) return e.name;
    return nullptr;
}

// ---------------------------------------------------------------- TextPage pieces

void TextPage::convertChar(std::wstring& text, Unicode code) {
    if (tk_log::active(1)) {
        tk_log::write(1, "TextPage::convertChar(%04X)", code);
        tk_log::write(1, "kod16='%x' kod10='%d' left='%c' right='%c'\n", code, code, (code >> 8) & 0xFF, code & 0xFF);
    }
    appendCellChar(text, code);
}

namespace {
bool hasRightToLeft(const TextLine* line) {
    return std::any_of(line->text.begin(), line->text.begin() + line->len, unicodeTypeR);
}

std::pair<int, int> fontKey(const TextWord* w) {
    const GfxFont* f = w->font ? w->font->font() : nullptr;
    return f ? std::make_pair(f->getID()->num, f->getID()->gen) : std::make_pair(-1, -1);
}
}  // namespace

void TextPage::appendLineText(std::wstring& text, const TextLine* line) {
    const int elsewhere = hasRightToLeft(line) ? shapesElsewhere(line) : 0;
    for (Unicode c : logicalOrder(line->text.data(), line->len, primaryLR, elsewhere)) convertChar(text, c);
}

void TextPage::noteBracketCodes() {
    for (const TextBlock* b : blocks)
        for (const TextLine* l = b->lines; l; l = l->next) {
            if (!hasRightToLeft(l)) continue;
            const int shapes = codesNameShapes(l->text.data(), l->len, primaryLR);
            if (shapes == 0) continue;
            shapeVotes += shapes;
            std::set<std::pair<int, int>> fonts;
            for (const TextWord* w = l->words; w; w = w->next)
                if (std::any_of(w->text.begin(), w->text.begin() + w->len,
                                [](Unicode c) { return fribidi_get_bracket(c) != FRIBIDI_NO_BRACKET; }))
                    fonts.insert(fontKey(w));
            for (const auto& f : fonts) shapeVotesByFont[f] += shapes;
        }
}

int TextPage::shapesElsewhere(const TextLine* line) const {
    // The fonts that drew the line's mirrored characters decide; without
    // brackets of their own anywhere, those of the whole document.
    int byFont = 0;
    bool known = false;
    std::set<std::pair<int, int>> fonts;
    for (const TextWord* w = line->words; w; w = w->next) {
        FriBidiChar mirror;
        if (!std::any_of(w->text.begin(), w->text.begin() + w->len,
                         [&mirror](Unicode c) { return fribidi_get_mirror_char(c, &mirror); }) ||
            !fonts.insert(fontKey(w)).second)
            continue;
        const auto it = shapeVotesByFont.find(fontKey(w));
        if (it != shapeVotesByFont.end() && it->second != 0) {
            byFont += signOf(it->second);
            known = true;
        }
    }
    return signOf(known ? byFont : shapeVotes);
}

void TextPage::setCellFont(TextLine* line, xls_core::cell_t* cell, PageCells& cells) {
    if (!cell || !line || !line->words || line->words->len < 1) return;
    const int h = fontHeightTwips(line->meanFontSize());
    if (h > 0) cell->set_font_height(h);
    cells.noteFont(cell->GetRow(), line->meanFontSize());
    // Cell texts are Unicode: a symbol face would draw them as other glyphs.
    // The first word in a text face names the font; without one the cell
    // keeps the default face.
    const TextWord* face = line->words;
    while (face && (face->symbolFace || face->len < 1)) face = face->next;
    if (face)
        if (const char* name = fontNameOfClass(face->fontClass)) cell->set_font_name(name);
    cell->set_valign(0);
}

bool TextPage::opensNoCell(const TextLine* f) {
    return (f->len == 1 && std::fabs(f->xMin - f->xMax) < 0.3) || !f->words;
}

int TextPage::cellEnd(TextLine* const* lines, int count, int i) const {
    const TextLine* f = lines[i];
    int j = i + 1;
    for (; j < count; ++j) {
        const TextLine* l = lines[j];
        double m = l->meanFontSize();
        if (m == 0.0) m = curFontSize;
        const double dBase = std::fabs(l->base - f->base);
        const double oy = overlapRatio(l->yMin, l->yMax, f->yMin, f->yMax);
        const bool beside = l->xMin > f->xMin && overlapRatio(l->xMin, l->xMax, f->xMin, f->xMax) < 0.3 &&
                            (dBase < 0.6 * m || oy > 0.6);
        if (!(beside || dBase < 0.1 || oy > 0.9)) break;
    }
    return j;
}

int TextPage::dumpLines(xls_core::worksheet* sheet, PageCells& pageCells, PageGrid* grid, int row, double x1,
                        double x2, TextLine** lines, int count) {
    tk_log::write(1, "TextPage::dumpLines");
    if (!sheet || !grid || !lines || count <= 0) return 0;
    int cells = 0;
    int i = 0;
    while (i < count) {
        if (opensNoCell(lines[i])) {
            ++i;
            continue;
        }
        const int j = cellEnd(lines, count, i);
        cells += dumpCell(sheet, pageCells, grid, row + cells, x1, x2, lines + i, j - i);
        i = j;
    }
    return cells;
}

int TextPage::dumpCell(xls_core::worksheet* sheet, PageCells& pageCells, PageGrid* grid, int row, double x1,
                       double x2, TextLine* const* lines, int count) {
    if (!sheet || !grid || !lines || count <= 0) return 0;
    const int first = grid->columnAt(x1 + 3.0);
    const int last = grid->columnAt(x2 - 1.0);
    // Every joined line is written whole, however long the cell text gets.
    std::wstring text;
    for (int k = 0; k < count; ++k) {
        appendLineText(text, lines[k]);
        text += L' ';
    }
    const auto r = static_cast<std::uint32_t>(row);
    if (first < last && pageCells.countRow(r)) {
        tk_log::write(1, "Just before sh->merge (1)");
        sheet->merge(r, static_cast<std::uint32_t>(first), r, static_cast<std::uint32_t>(last));
    }
    const std::wstring numberText = text.substr(0, text.size() - 1);
    if (tk_log::active(1)) tk_log::write_wide(1, L"sh->label1(%d,%d,%s)", static_cast<int>(r), first, text.c_str());
    if (xls_core::cell_t* cell = putCellText(*sheet, pageCells, r, static_cast<std::uint32_t>(first), text, &numberText)) {
        cell->set_halign(1);
        setCellFont(lines[0], cell, pageCells);
    }
    return 1;
}

}  // namespace tbx
