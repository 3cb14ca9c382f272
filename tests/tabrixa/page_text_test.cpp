#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cwchar>
#include <cmath>
#include <string>

#include "tabrixa/PageText.h"

using tbx::appendCellChar;
using tbx::parseCellNumber;

namespace {
std::wstring convert(std::initializer_list<unsigned> codes) {
    std::wstring s;
    for (unsigned c : codes) appendCellChar(s, c);
    return s;
}
bool isNumber(const wchar_t* s, double* out = nullptr) {
    double v = -1;
    const bool ok = parseCellNumber(s, v);
    if (out) *out = v;
    return ok;
}
}  // namespace

TEST(CellChars, TypographicFormsAndLigatures) {
    EXPECT_EQ(convert({'o', 0xFB03, 'c', 'e'}), L"office");
    EXPECT_EQ(convert({'d', 'o', 'n', 0x2019, 't'}), L"don't");
    EXPECT_EQ(convert({0x201C, 'a', 0x201D, 0x2013, 0x2018}), L"\"a\"-'");
    EXPECT_EQ(convert({11, 12, 14, 0xFB02}), std::wstring(L"fffiffi") + wchar_t(0xFB02));
}

TEST(CellChars, ControlsAreNeverWrittenAndSoftHyphensShow) {
    // Low codes never become digits that could forge a figure; U+0000 would
    // cut the cell in some readers.
    EXPECT_EQ(convert({'4', 20, 15, 16, 17, 18, 28, '2'}), L"42");
    EXPECT_EQ(convert({'a', 0, 1, 13, 31, 0x7F, 0x85, 0x9F, 'b'}), L"ab");
    EXPECT_EQ(convert({'a', 0xAD, 'b'}), L"a-b");
}

TEST(CellChars, CodesAboveTheBasicPlaneBecomeSurrogatePairs) {
    EXPECT_EQ(convert({0x1D400}), (std::wstring{wchar_t(0xD835), wchar_t(0xDC00)}));
    EXPECT_EQ(convert({0x10FFFF}), (std::wstring{wchar_t(0xDBFF), wchar_t(0xDFFF)}));
    EXPECT_EQ(convert({0x10000}), (std::wstring{wchar_t(0xD800), wchar_t(0xDC00)}));
    EXPECT_EQ(convert({0xFFFF}), std::wstring(1, wchar_t(0xFFFF)));
    // Codes that are no character.
    EXPECT_EQ(convert({0x110000, 0xD800, 0xDFFF, 0xFFFFFFFFu}), std::wstring(4, wchar_t(0xFFFD)));
}

TEST(CellNumbers, FiniteDecimalNumbersOnly) {
    double v;
    EXPECT_TRUE(isNumber(L"42", &v));
    EXPECT_EQ(v, 42.0);
    EXPECT_TRUE(isNumber(L"1234.5", &v));
    EXPECT_EQ(v, 1234.5);
    EXPECT_TRUE(isNumber(L"  -3e2", &v));
    EXPECT_EQ(v, -300.0);
    EXPECT_TRUE(isNumber(L"+.5", &v));
    EXPECT_EQ(v, 0.5);
    EXPECT_TRUE(isNumber(L"7.", &v));
    EXPECT_EQ(v, 7.0);
    for (const wchar_t* s : {L"inf", L"-inf", L"nan", L"NAN", L"Infinity", L"0x1A", L"0X1a", L"12 kg", L"42 %",
                             L"", L"   ", L"1e", L"1e+", L"1e999", L"-1e400", L"1,5", L"1 000", L".", L"-",
                             L"42 ", L"\x0663", L"1\x2212"})
        EXPECT_FALSE(isNumber(s)) << "'" << std::string(s, s + wcslen(s)) << "'";
}

TEST(CellNumbers, DigitsTheValueWouldLoseStayText) {
    double v;
    for (const wchar_t* s : {L"4111111111111111", L"9400111899223197428490", L"1234567890.123456", L"02134",
                             L"007", L"-007", L"00.5"})
        EXPECT_FALSE(isNumber(s)) << "'" << std::string(s, s + wcslen(s)) << "'";
    EXPECT_TRUE(isNumber(L"123456789012345", &v));
    EXPECT_EQ(v, 123456789012345.0);
    EXPECT_TRUE(isNumber(L"0.000123456789012345", &v));
    EXPECT_TRUE(isNumber(L"12.50", &v));
    EXPECT_EQ(v, 12.5);
    EXPECT_TRUE(isNumber(L"0", &v));
    EXPECT_TRUE(isNumber(L"-0.5", &v));
    EXPECT_EQ(v, -0.5);
    EXPECT_TRUE(isNumber(L"1e5", &v));
    EXPECT_EQ(v, 1e5);
}

TEST(CellNumbers, DecimalCommaLocaleChangesNothing) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    bool comma = false;
    for (const char* loc : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, loc)) {
            comma = true;
            break;
        }
    }
    if (!comma) {
        // Compile one from the system's locale sources when none is installed.
        const std::string dir = std::string(TBX_BINARY_DIR) + "/locales";
        const std::string cmd = "mkdir -p '" + dir + "' && localedef -i de_DE -f UTF-8 '" + dir +
                                "/de_DE.UTF-8' >/dev/null 2>&1";
        if (std::system(cmd.c_str()) >= 0) {
            setenv("LOCPATH", dir.c_str(), 1);
            comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
        }
    }
    if (!comma) GTEST_SKIP() << "no locale with a decimal comma available";
    ASSERT_EQ(std::string(localeconv()->decimal_point), ",");
    double v = 0;
    EXPECT_TRUE(isNumber(L"1.5", &v));
    EXPECT_EQ(v, 1.5);
    EXPECT_FALSE(isNumber(L"1,5"));
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(CellChars, TextsLongerThanACellHoldsAreCutBetweenCharacters) {
    std::wstring fits(32767, L'a');
    tbx::fitCellText(fits);
    EXPECT_EQ(fits.size(), 32767u);
    std::wstring longer(40000, L'b');
    tbx::fitCellText(longer);
    EXPECT_EQ(longer.size(), 32767u);
    std::wstring pair(32766, L'c');
    appendCellChar(pair, 0x1F600);  // the pair would straddle the limit
    tbx::fitCellText(pair);
    EXPECT_EQ(pair, std::wstring(32766, L'c'));
}

TEST(CellUnits, PointsBecomeTheWorkbookUnits) {
    // Verdana 10: digits of 6.357 points; 100 points are 15.73 digits.
    const double verdana = tbx::digitWidthPoints("Verdana", 200);
    EXPECT_NEAR(verdana, 6.357, 1e-9);
    EXPECT_NEAR(tbx::digitWidthPoints("Arial", 240), 0.5562 * 12, 1e-9);
    EXPECT_EQ(tbx::columnWidthUnits(100.0, verdana), 4027u);
    EXPECT_EQ(tbx::columnWidthUnits(2.0, verdana), tbx::columnWidthUnits(10.0, verdana));
    EXPECT_EQ(tbx::columnWidthUnits(NAN, verdana), tbx::columnWidthUnits(10.0, verdana));
    EXPECT_LT(tbx::columnWidthUnits(50.0, verdana), tbx::columnWidthUnits(51.0, verdana));
    EXPECT_EQ(tbx::columnWidthUnits(1e6, verdana), 255u * 256u);
    EXPECT_GT(tbx::columnWidthUnits(100.0, 0.0), 0u);
    EXPECT_EQ(tbx::rowHeightTwips(20.0), 400u);
    EXPECT_EQ(tbx::rowHeightTwips(12.34), 247u);
    EXPECT_EQ(tbx::rowHeightTwips(1e6), 8192u);
    EXPECT_EQ(tbx::rowHeightTwips(-3), 2u);
    EXPECT_EQ(tbx::fontHeightTwips(10.5), 210);
    EXPECT_EQ(tbx::fontHeightTwips(NAN), 0);
    EXPECT_EQ(tbx::fontHeightTwips(0.2), 20);
}

TEST(CellFonts, ClassesNameTheirScreenFonts) {
    EXPECT_STREQ(tbx::fontNameOfClass("f10"), "Arial");
    EXPECT_STREQ(tbx::fontNameOfClass("f20"), "Times New Roman");
    EXPECT_STREQ(tbx::fontNameOfClass("f30"), "Courier New");
    EXPECT_STREQ(tbx::fontNameOfClass("f60"), "Impact");
    EXPECT_EQ(tbx::fontNameOfClass("f11"), nullptr);
    EXPECT_EQ(tbx::fontNameOfClass("f50"), nullptr);
}
