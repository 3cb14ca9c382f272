// The text-width measurer on fontconfig and FreeType at 96 pixels per inch.
#include <gtest/gtest.h>

#include <string>

#include "PDFR/pdf_wget.h"
#include "TK/tk_except.h"

TEST(WidthGetterTest, HeightRuleAtNinetySixPixelsPerInch) {
    EXPECT_EQ(pdf_width_getter::height_for(12.0f), -16);
    EXPECT_EQ(pdf_width_getter::height_for(10.0f), -13);  // -13.33 truncated toward zero
    EXPECT_EQ(pdf_width_getter::height_for(0.0f), 0);
    EXPECT_EQ(pdf_width_getter::height_for(1.0e30f), -1000000000);  // absurd sizes stay in range
}

TEST(WidthGetterTest, SingleInstance) {
    pdf_width_getter wg;
    EXPECT_EQ(tk_singleton<pdf_width_getter>::find(), &wg);
    EXPECT_THROW(pdf_width_getter second, tk_mail_assertion);
}

TEST(WidthGetterTest, BlankOfASansFaceAndTheEmptyString) {
    pdf_width_getter wg;
    EXPECT_DOUBLE_EQ(wg.get_width(" "), 0.0);  // nothing selected yet
    wg.set_font("Arial", 12.0f, false, false);
    ASSERT_TRUE(wg.has_font()) << "no sans font installed";
    EXPECT_EQ(wg.height(), -16);
    EXPECT_EQ(wg.weight(), 0);
    // a blank of a 16-pixel sans face is 4 or 5 pixels
    double blank = wg.get_width(" ");
    EXPECT_GE(blank, 4.0 / 96);
    EXPECT_LE(blank, 5.0 / 96);
    EXPECT_DOUBLE_EQ(wg.get_width(""), 0.0);
    // widths add up per character, in whole pixels
    double m = wg.get_width("M");
    EXPECT_DOUBLE_EQ(wg.get_width("MMMM"), 4 * m);
    EXPECT_DOUBLE_EQ(m * 96, static_cast<int>(m * 96));
}

TEST(WidthGetterTest, LaterFontsReplaceEarlierOnes) {
    pdf_width_getter wg;
    wg.set_font("Arial", 12.0f, false, false);
    double regular = wg.get_width("rrrrtttt");
    wg.set_font("Arial", 12.0f, true, false);
    EXPECT_EQ(wg.weight(), 700);
    double bold = wg.get_width("rrrrtttt");  // r and t are wider in the bold face
    EXPECT_GT(bold, regular);
    wg.set_font("Arial", 24.0f, false, true);
    EXPECT_TRUE(wg.italic());
    EXPECT_EQ(wg.height(), -32);
    EXPECT_GT(wg.get_width("rrrrtttt"), 1.8 * regular);
    // a monospaced face: every character as wide as the next
    wg.set_font("Courier New", 10.0f, false, false);
    EXPECT_DOUBLE_EQ(wg.get_width("iiii"), wg.get_width("MMMM"));
}

TEST(WidthGetterTest, LongFaceNamesAreCutToTheField) {
    pdf_width_getter wg;
    std::string longName(80, 'x');
    wg.set_font(longName, 10.0f, false, false);
    EXPECT_EQ(wg.face_name().size(), 31u);
    // fontconfig still substitutes a face, as the screen would
    EXPECT_TRUE(wg.has_font());
    EXPECT_GT(wg.get_width("x"), 0.0);
}
