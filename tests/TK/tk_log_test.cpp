#include "TK/tk_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "tests/support/temp_dir.h"

namespace {
std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct TkLogFile : temp_dir_test {
    std::string temp_log_path(const char* name) const { return (dir / name).string(); }
};
}  // namespace

TEST(TkLog, WithoutInstanceNothingIsWritten) {
    EXPECT_FALSE(tk_log::active(3));
    tk_log::write(3, "never %d", 1);  // must not crash nor make a file
}

TEST_F(TkLogFile, ThresholdDropsEntryButTruncatesFirst) {
    std::string path = temp_log_path("tbx_log_threshold.txt");
    { std::ofstream(path) << "old content"; }
    tk_log log;
    log.set_name(path.c_str());
    log.set_threshold(2);
    log.set_enabled(true);
    log.set_time_stamp(false);
    tk_log::write(1, "dropped");
    EXPECT_EQ(read_file(path), "");
    tk_log::write(2, "kept %s", "here");
    tk_log::write(3, "and %d", 3);
    EXPECT_EQ(read_file(path), "kept here\r\nand 3\r\n");
}

TEST_F(TkLogFile, WideEntryIsUtf8AndTakesWideStrings) {
    std::string path = temp_log_path("tbx_log_wide.txt");
    tk_log log;
    log.set_name(path.c_str());
    log.set_enabled(true);
    log.set_time_stamp(false);
    log.set_line_end(false);
    tk_log::write_wide(1, L"cell %d: %s", 7, L"Gr\u00fc\u00dfe \u20ac");
    EXPECT_EQ(read_file(path), "cell 7: Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac");
}

TEST_F(TkLogFile, TimeStampPrefix) {
    std::string path = temp_log_path("tbx_log_stamp.txt");
    tk_log log;
    log.set_name(path.c_str());
    log.set_enabled(true);
    tk_log::write(1, "x");
    std::string text = read_file(path);
    ASSERT_EQ(text.size(), 9u + 1 + 2);
    EXPECT_EQ(text[2], ':');
    EXPECT_EQ(text[5], ':');
    EXPECT_EQ(text.substr(8), " x\r\n");
}

TEST(TkLog, NullNameIsInternalError) {
    tk_log log;
    EXPECT_THROW(log.set_name(nullptr), tk_mail_assertion);
}

TEST_F(TkLogFile, WideFormatsReadArgumentsAsTheOriginalPlatformDid) {
    std::string path = temp_log_path("tbx_log_wide_forms.txt");
    tk_log log;
    log.set_name(path.c_str());
    log.set_enabled(true);
    log.set_time_stamp(false);
    log.set_line_end(false);
    tk_log::write_wide(1, L"%s|%S|%hs|%ls|%ws|%c|%C|%-4s|%5.2f|%d%%", L"w1", "n1", "n2", L"w2", L"w3", L'x', 'y',
                       L"ab", 1.5, 7);
    EXPECT_EQ(read_file(path), "w1|n1|n2|w2|w3|x|y|ab  | 1.50|7%");
}
