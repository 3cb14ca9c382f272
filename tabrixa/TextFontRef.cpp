#include "tabrixa/TextFontRef.h"

#include <cstring>

#include <GfxFont.h>

namespace tbx {

const FontClassRow FontClassTable[] = {
    {"{\\f11\\fswiss\\fcharset0 Arial Narrow;}", {"Narrow", "MSTT", "Cond", nullptr}, 0.11},
    {"{\\f10\\fswiss\\fcharset0 Arial;}", {"Arial", "Tahoma", "Helvetica", nullptr}, 0.145},
    {"{\\f12\\fswiss\\fcharset0 Franklin Gothic;}", {"FranklinGothic", nullptr}, 0.14},
    {"{\\f12\\fswiss\\fcharset0 Verdana;}", {"Verdana", nullptr}, 0.3},
    {"{\\f20\\froman\\fcharset0 Times New Roman;}", {"Roman", "Times", "CMR", "CMBX", "CMCSC", nullptr}, 0.14},
    {"{\\f21\\froman\\fcharset0 Garamond;}", {"Garamond", nullptr}, 0.134},
    {"{\\f22\\froman\\fcharset0 Palatino Linotype;}", {"Palatino", nullptr}, 0.15},
    {"{\\f30\\fmodern\\fcharset0 Courier New;}", {"Courier", "CMTT", "Pica", "Elite", nullptr}, 0.323},
    {"{\\f31\\fmodern\\fcharset0 Lucida Console;}", {"Console", nullptr}, 0.31},
    {"{\\f40\\ftech\\fcharset2 Symbol;}", {"Symbol", "CMSY", "Technical", nullptr}, 0.14},
    {"{\\f50\\fscript\\fcharset0 Garamond;}", {"Minion", "Script", "CMMI", "CMTI", "Cursive", nullptr}, 0.1486},
    {"{\\f60 Haettenschweiler;}", {"Haettenschweiler", "Condensed", "Impact", nullptr}, 0.1},
};
const int FontClassTableCount = sizeof(FontClassTable) / sizeof(FontClassTable[0]);

namespace {

const char* const serifNames[] = {"Roman", "CMR", "CMCSC", "CMBX", "Garamond", "Palatino", "Bookman", "Georgia"};
const char* const sansNames[] = {"Arial",     "Century Gothic", "Sans",   "Swiss",   "AvantGarde",
                                 "Helvetica", "FranklinGothic", "Tahoma", "Verdana", "Trebuchet"};
const char* const italicKeys[] = {"CMTI", "CMMI", "Italic", "Oblique", "CMSL"};
const char* const boldKeys[] = {"CMBX", "Bold", "Chicago"};
const char* const symbolKeys[] = {"Symbol", "CMSY", "CMMI", "CMEX", "MSAM", "MSBM", "LASY",
                                  "Dingbats", "Wingdings", "Webdings"};

bool inEither(const std::string& a, const std::string& b, const char* key) {
    return a.find(key) != std::string::npos || b.find(key) != std::string::npos;
}

template <size_t N>
bool anyInEither(const std::string& a, const std::string& b, const char* const (&keys)[N]) {
    for (const char* k : keys)
        if (inEither(a, b, k)) return true;
    return false;
}

int firstRowWhere(bool (*pred)(const char* code)) {
    for (int i = 0; i < FontClassTableCount; ++i)
        if (pred(FontClassTable[i].entry + 2)) return i;
    return 1;
}

}  // namespace

std::string fontClassCode(int row) {
    if (row < 0 || row >= FontClassTableCount) return std::string();
    return std::string(FontClassTable[row].entry + 2, 3);
}

std::string fontClassWinName(int row) {
    if (row < 0 || row >= FontClassTableCount) return std::string();
    const char* e = FontClassTable[row].entry;
    const char* blank = std::strchr(e, ' ');
    if (!blank) return std::string();
    std::string name(blank + 1);
    if (name.size() >= 2) name.resize(name.size() - 2);  // drop ";}"
    return name;
}

FontClass classifyFont(const std::string& name, const std::string& embeddedName, int flags, bool hasFont) {
    FontClass fc;
    int row = -1;
    if (!hasFont) {
        row = firstRowWhere([](const char* code) { return code[2] == '0'; });
    } else {
        fc.italic = (flags & fontFlagItalic) != 0;
        fc.bold = (flags & fontFlagForceBold) != 0;
        for (int i = 0; i < FontClassTableCount && row < 0; ++i) {
            const FontClassRow& r = FontClassTable[i];
            for (int k = 0; k < 5 && r.keys[k]; ++k) {
                if (inEither(name, embeddedName, r.keys[k])) {
                    row = i;
                    break;
                }
            }
        }
        if (row < 0) {
            if (anyInEither(name, embeddedName, serifNames))
                row = firstRowWhere([](const char* code) { return code[1] == '2' && code[2] == '0'; });
            else if (anyInEither(name, embeddedName, sansNames))
                row = firstRowWhere([](const char* code) { return code[1] == '1' && code[2] == '0'; });
            else if (flags & fontFlagFixedPitch)
                row = firstRowWhere([](const char* code) { return code[1] == '3'; });
            else if (flags & fontFlagSerif)
                row = firstRowWhere([](const char* code) { return code[1] == '2'; });
            else
                row = firstRowWhere([](const char* code) { return code[2] == '0'; });
        }
        if (anyInEither(name, embeddedName, italicKeys)) fc.italic = true;
        if (anyInEither(name, embeddedName, boldKeys)) fc.bold = true;
        fc.symbolFace = anyInEither(name, embeddedName, symbolKeys);
        if (inEither(name, embeddedName, "Symbol"))
            fc.privateCodes = FontClass::PrivateCodes::symbol;
        else if (inEither(name, embeddedName, "Wingdings"))
            fc.privateCodes = FontClass::PrivateCodes::wingdings;
    }
    fc.row = row;
    fc.fontClass = fontClassCode(row);
    fc.winFontName = fontClassWinName(row);
    fc.spaceRatio = FontClassTable[row].ratio;
    return fc;
}

TextFontRef::TextFontRef(std::shared_ptr<GfxFont> f) : gfxFont(std::move(f)) {
    if (!gfxFont) {
        cls = noFontClass();
        return;
    }
    const std::optional<std::string>& name = gfxFont->getName();
    const GooString* emb = gfxFont->getEmbeddedFontName();
    cls = classifyFont(name ? *name : std::string(), emb ? emb->toStr() : std::string(), gfxFont->getFlags(), true);
    Ref embedded;
    glyphIndexCodes = gfxFont->isCIDFont() && gfxFont->getEncodingName().rfind("Identity", 0) == 0 &&
                      !gfxFont->getEmbeddedFontID(&embedded);
}

Unicode privateCodeChar(Unicode code, FontClass::PrivateCodes codes) {
    if (code < 0xF020 || code > 0xF0FF) return code;
    if (codes == FontClass::PrivateCodes::wingdings) {
        // The list bullets of word processors.
        static const struct { Unicode code, c; } bullets[] = {
            {0xF06C, 0x25CF}, {0xF06E, 0x25A0}, {0xF071, 0x2751}, {0xF076, 0x2756},
            {0xF0A7, 0x25AA}, {0xF0A8, 0x25FB}, {0xF0D8, 0x27A2}, {0xF0FC, 0x2713},
        };
        for (const auto& b : bullets)
            if (b.code == code) return b.c;
        return code;
    }
    if (codes != FontClass::PrivateCodes::symbol) return code;
    // Codes 0x20..0xFF of the Symbol font's encoding; 0 where the glyph has
    // no character of its own.
    static const unsigned short chars[224] = {
    0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220B, 0x0028, 0x0029, 0x2217, 0x002B,
    0x002C, 0x2212, 0x002E, 0x002F, 0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F, 0x2245, 0x0391, 0x0392, 0x03A7,
    0x2206, 0x0395, 0x03A6, 0x0393, 0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C, 0x039D, 0x039F,
    0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x2126, 0x039E, 0x03A8, 0x0396, 0x005B,
    0x2234, 0x005D, 0x22A5, 0x005F, 0x0000, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3,
    0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x00B5, 0x03BD, 0x03BF, 0x03C0, 0x03B8, 0x03C1, 0x03C3,
    0x03C4, 0x03C5, 0x03D6, 0x03C9, 0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C, 0x007D, 0x223C, 0x0000,
    0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
    0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
    0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x03D2, 0x2032, 0x2264,
    0x2044, 0x221E, 0x0192, 0x2663, 0x2666, 0x2665, 0x2660, 0x2194, 0x2190, 0x2191, 0x2192, 0x2193,
    0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022, 0x00F7, 0x2260, 0x2261, 0x2248,
    0x2026, 0x0000, 0x0000, 0x21B5, 0x2135, 0x2111, 0x211C, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229,
    0x222A, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209, 0x2220, 0x2207, 0x0000, 0x0000,
    0x0000, 0x220F, 0x221A, 0x22C5, 0x00AC, 0x2227, 0x2228, 0x21D4, 0x21D0, 0x21D1, 0x21D2, 0x21D3,
    0x25CA, 0x2329, 0x0000, 0x0000, 0x0000, 0x2211, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
    0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x232A, 0x222B, 0x2320, 0x0000, 0x2321, 0x0000, 0x0000,
    0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000,
    };
    const Unicode c = chars[code - 0xF020];
    return c ? c : code;
}

const FontClass& noFontClass() {
    static const FontClass c = classifyFont(std::string(), std::string(), 0, false);
    return c;
}

}  // namespace tbx
