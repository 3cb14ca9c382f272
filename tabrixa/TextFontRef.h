// Fonts met on a page and the font classes that pick a cell's screen font.
#pragma once

#include <memory>
#include <string>

#include <CharTypes.h>

class GfxFont;

namespace tbx {

// One row of the font class table.
struct FontClassRow {
    const char* entry;      // font table entry in RTF form
    const char* keys[7];    // name keys, null-terminated list
    double ratio;           // blank width / font size
};

extern const FontClassRow FontClassTable[];
extern const int FontClassTableCount;

// What a font's names and flags say about its class.
struct FontClass {
    int row = 1;                 // row of FontClassTable
    std::string fontClass;       // "f10".."f60"
    std::string winFontName;     // "Arial", ... possibly empty
    double spaceRatio = 0.145;
    bool bold = false;
    bool italic = false;
    // A symbol-encoded face (Symbol, TeX symbol and math fonts, dingbats):
    // its glyphs are not the letters of the codes, so it is no cell font.
    bool symbolFace = false;
    // The private-use codes U+F020..U+F0FF that a symbol face without a map
    // gives name the glyphs of its own encoding: the Symbol font's, or the
    // Wingdings bullets'.
    enum class PrivateCodes { none, symbol, wingdings } privateCodes = PrivateCodes::none;
};

// The character a private-use code U+F020..U+F0FF of such a face stands for
// (U+F0B7 of Symbol is the bullet); other codes, and codes of glyphs without
// a character of their own, as they are.
Unicode privateCodeChar(Unicode code, FontClass::PrivateCodes codes);

// PDF font descriptor flags used by the classification.
enum : int {
    fontFlagFixedPitch = 1,
    fontFlagSerif = 2,
    fontFlagItalic = 64,
    fontFlagForceBold = 262144,
};

// Pure classification: name and embedded name (empty when absent) and the
// PDF flags of a font. hasFont false gives the class of text without a font.
FontClass classifyFont(const std::string& name, const std::string& embeddedName, int flags, bool hasFont = true);

// Class code and screen font name of a table row.
std::string fontClassCode(int row);
std::string fontClassWinName(int row);

// One entry per font dictionary used on the page, holding the first core
// font object made from it (the page keeps them by the dictionary's
// reference). The font's class is worked out once here rather than for
// every word set in it.
class TextFontRef {
public:
    explicit TextFontRef(std::shared_ptr<GfxFont> f);
    GfxFont* font() const { return gfxFont.get(); }
    const FontClass& fontClass() const { return cls; }
    // The text of a glyph of this font drawn with `code`: glyph indices read
    // as themselves name the glyphs of a font's standard order, in which
    // codes 15 to 28 are ", - . /" and the digits; other codes as given.
    Unicode glyphChar(CharCode code, Unicode u) const {
        return glyphIndexCodes && u == code && code >= 15 && code <= 28 ? static_cast<Unicode>(code + 29) : u;
    }

    std::shared_ptr<GfxFont> gfxFont;

private:
    FontClass cls;
    // A composite font coded by glyph index (Identity encoding) that the
    // file does not carry: readers draw it with the system's font of that
    // name, and without a map its codes come as themselves.
    bool glyphIndexCodes = false;
};

// The class of text without a font.
const FontClass& noFontClass();

}  // namespace tbx
