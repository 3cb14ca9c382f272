// Font classes as a pure function of the font's names and flags.
#include <gtest/gtest.h>

#include "tabrixa/TextFontRef.h"

using namespace tbx;

TEST(FontClassTest, RowsAreTriedInOrderAndKeysMayBeAnywhereInEitherName) {
    FontClass fc = classifyFont("ABCDEF+Arial-Narrow-Bold", "", 0);
    EXPECT_EQ(fc.fontClass, "f11");  // row 0's "Narrow" before row 1's "Arial"
    EXPECT_EQ(fc.winFontName, "Arial Narrow");
    EXPECT_DOUBLE_EQ(fc.spaceRatio, 0.11);
    EXPECT_TRUE(fc.bold);
    EXPECT_FALSE(fc.italic);

    fc = classifyFont("F1", "XYZ+Verdana", 0);  // only the embedded name knows
    EXPECT_EQ(fc.fontClass, "f12");
    EXPECT_EQ(fc.winFontName, "Verdana");
    EXPECT_DOUBLE_EQ(fc.spaceRatio, 0.3);

    fc = classifyFont("Times-Roman", "", 0);
    EXPECT_EQ(fc.fontClass, "f20");
    EXPECT_EQ(fc.winFontName, "Times New Roman");

    fc = classifyFont("CMTI10", "", 0);
    EXPECT_EQ(fc.fontClass, "f50");
    EXPECT_TRUE(fc.italic);

    fc = classifyFont("CMBX12", "", 0);
    EXPECT_EQ(fc.fontClass, "f20");
    EXPECT_TRUE(fc.bold);

    fc = classifyFont("Impact", "", 0);
    EXPECT_EQ(fc.fontClass, "f60");
    EXPECT_EQ(fc.winFontName, "Haettenschweiler");
}

TEST(FontClassTest, NameListsThenFlagsDecideWhenNoKeyMatches) {
    EXPECT_EQ(classifyFont("Georgia", "", 0).fontClass, "f20");          // serif name
    EXPECT_EQ(classifyFont("Trebuchet MS", "", 0).fontClass, "f10");     // sans-serif name
    EXPECT_EQ(classifyFont("Unknown", "", fontFlagFixedPitch).fontClass, "f30");
    EXPECT_EQ(classifyFont("Unknown", "", fontFlagFixedPitch).winFontName, "Courier New");
    EXPECT_EQ(classifyFont("Unknown", "", fontFlagSerif).fontClass, "f20");
    EXPECT_EQ(classifyFont("Unknown", "", fontFlagSerif | fontFlagFixedPitch).fontClass, "f30");
    FontClass plain = classifyFont("Unknown", "", 0);
    EXPECT_EQ(plain.fontClass, "f10");
    EXPECT_DOUBLE_EQ(plain.spaceRatio, 0.145);
    // name tests are case-sensitive
    EXPECT_EQ(classifyFont("courier", "", 0).fontClass, "f10");
}

TEST(FontClassTest, FlagsAndKeysGiveBoldAndItalic) {
    FontClass fc = classifyFont("Helvetica", "", fontFlagItalic | fontFlagForceBold);
    EXPECT_TRUE(fc.bold);
    EXPECT_TRUE(fc.italic);
    fc = classifyFont("Helvetica-Oblique", "", 0);
    EXPECT_TRUE(fc.italic);
    EXPECT_FALSE(fc.bold);
    fc = classifyFont("Helvetica", "", 0);
    EXPECT_FALSE(fc.italic);
    EXPECT_FALSE(fc.bold);
}

TEST(FontClassTest, SymbolEncodedFacesAreMarked) {
    for (const char* name : {"Symbol", "ABCDEF+CMSY10", "CMMI12", "CMEX10", "MSBM10", "ZapfDingbats",
                             "Wingdings-Regular", "Webdings"})
        EXPECT_TRUE(classifyFont(name, "", 0).symbolFace) << name;
    for (const char* name : {"Helvetica", "CMR10", "Times-Roman", "Courier", "TechnicalReport-Bold"})
        EXPECT_FALSE(classifyFont(name, "", 0).symbolFace) << name;
}

TEST(FontClassTest, PrivateUseCodesOfSymbolFacesNameTheirGlyphs) {
    using Codes = FontClass::PrivateCodes;
    EXPECT_EQ(classifyFont("ABCDEF+SymbolMT", "", 0).privateCodes, Codes::symbol);
    EXPECT_EQ(classifyFont("Wingdings-Regular", "", 0).privateCodes, Codes::wingdings);
    EXPECT_EQ(classifyFont("CMSY10", "", 0).privateCodes, Codes::none);
    EXPECT_EQ(privateCodeChar(0xF0B7, Codes::symbol), 0x2022u);     // bullet
    EXPECT_EQ(privateCodeChar(0xF061, Codes::symbol), 0x03B1u);     // alpha
    EXPECT_EQ(privateCodeChar(0xF0A7, Codes::wingdings), 0x25AAu);  // small square
    EXPECT_EQ(privateCodeChar(0xF0B7, Codes::none), 0xF0B7u);
    EXPECT_EQ(privateCodeChar(0x00B7, Codes::symbol), 0x00B7u);
}

TEST(FontClassTest, TextWithoutFontIsPlainArial) {
    FontClass fc = classifyFont("Courier-Bold", "", fontFlagItalic, false);
    EXPECT_EQ(fc.fontClass, "f10");
    EXPECT_EQ(fc.winFontName, "Arial");
    EXPECT_FALSE(fc.bold);
    EXPECT_FALSE(fc.italic);
}

TEST(FontClassTest, CodesAndScreenNamesOfTheTable) {
    ASSERT_EQ(FontClassTableCount, 12);
    EXPECT_EQ(fontClassCode(2), "f12");
    EXPECT_EQ(fontClassCode(3), "f12");
    EXPECT_EQ(fontClassWinName(6), "Palatino Linotype");
    EXPECT_EQ(fontClassWinName(9), "Symbol");
    EXPECT_EQ(fontClassCode(12), "");
}
