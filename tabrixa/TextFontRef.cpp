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
        fc.symbolFace = fontClassCode(row) == "f40" || anyInEither(name, embeddedName, symbolKeys);
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
}

const FontClass& noFontClass() {
    static const FontClass c = classifyFont(std::string(), std::string(), 0, false);
    return c;
}

}  // namespace tbx
