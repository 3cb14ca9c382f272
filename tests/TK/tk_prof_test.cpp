// Profile files: layout rules, line ends, first value wins, store format.
#include "TK/tk_prof.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "TK/tk_except.h"
#include "tests/support/temp_dir.h"

namespace {
namespace fs = std::filesystem;

struct ProfileFile : temp_dir_test {
    std::string write(const std::string& name, const std::string& text) {
        std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};
}  // namespace

TEST_F(ProfileFile, KeyLinesSectionsAndFirstValueWins) {
    tk_profile p;
    ASSERT_TRUE(p.load(write("a.ini",
                             "\n[Generic settings]\n"
                             "key = value\n"
                             "a=b=c\n"
                             "x=1\n"
                             "x=2\n"
                             "  trailing =  v  \n"
                             ";comment=yes\n"
                             "tab\tkey=t\n"
                             "[ Generic settings ]\n"
                             "x=3\n"
                             "[Generic settings]\n"
                             "late=ok\n")));
    EXPECT_EQ(p.get_value("Generic settings", "key"), "value");
    EXPECT_EQ(p.get_value("Generic settings", "a"), "b=c");
    EXPECT_EQ(p.get_value("Generic settings", "x"), "1");
    EXPECT_EQ(p.get_value("Generic settings", "trailing"), "v");
    EXPECT_EQ(p.get_value("Generic settings", ";comment"), "");  // a comment line
    EXPECT_EQ(p.get_value("Generic settings", "tab\tkey"), "t");
    EXPECT_EQ(p.get_value("Generic settings", "late"), "ok");  // a repeated header continues
    EXPECT_EQ(p.get_value(" Generic settings ", "x"), "3");
    EXPECT_EQ(p.get_value("Generic settings", "missing"), "");
    EXPECT_EQ(p.get_value("No such", "x"), "");
}

TEST_F(ProfileFile, CrLfLinesMeanTheSameAsLf) {
    tk_profile p;
    ASSERT_TRUE(p.load(write("crlf.ini", "[Generic settings]\r\ngraph_tab=1\r\nsrc=a.pdf \r\nbare\r\n")));
    EXPECT_EQ(p.get_value("Generic settings", "graph_tab"), "1");
    EXPECT_EQ(p.get_value("Generic settings", "src"), "a.pdf");
    ASSERT_EQ(p.bare_lines().at("Generic settings").size(), 1u);
    EXPECT_EQ(p.bare_lines().at("Generic settings")[0], "bare");
}

TEST_F(ProfileFile, CommentsAndLinesBeforeTheFirstSectionAreSkippedAlone) {
    tk_profile p;
    EXPECT_TRUE(p.load(write("bad.ini", "; my settings\nsrc=a.pdf\n# note\n[Generic settings]\n"
                                        "\tdest\t=\tb.xls\t\n  ;pages=3\n\t# graph_tab=0\n")));
    EXPECT_EQ(p.get_value("Generic settings", "src"), "");
    EXPECT_EQ(p.get_value("Generic settings", "dest"), "b.xls");
    EXPECT_EQ(p.sections().at("Generic settings").size(), 1u);
}

TEST_F(ProfileFile, ReadAsPeopleWriteThem) {
    // Saved by Windows Notepad: a byte-order mark first; names in any case.
    tk_profile p;
    ASSERT_TRUE(p.load(write("bom.ini", "\xEF\xBB\xBF[generic SETTINGS]\r\nDEST=a.xls\r\nSrc=a.pdf\r\n"
                                        "[Generic settings]\r\ndest=ignored.xls\r\n")));
    EXPECT_EQ(p.get_value("Generic settings", "dest"), "a.xls");
    EXPECT_EQ(p.get_value("GENERIC SETTINGS", "src"), "a.pdf");
    EXPECT_EQ(p.sections().size(), 1u);
}

TEST_F(ProfileFile, WhatIsNoFileIsRefusedAtOnceNamingIt) {
    const auto message = [](const std::string& path) {
        try {
            tk_profile p;
            p.load(path);
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.level(), 1);
            return std::string(e.what());
        }
        return std::string("(loaded)");
    };
    const auto too_large = [](const std::string& path) {
        return "Profile \"" + path +
               "\" is larger than 1 MB: it is not a settings file. Please verify the correct path/name was given.";
    };
    // Reading stops after 1 MB: a huge file, one long line.
    const std::string huge = (dir / "huge.ini").string();
    { std::ofstream(huge) << "[Generic settings]\n"; }
    fs::resize_file(huge, 1ull << 30);
    EXPECT_EQ(message(huge), too_large(huge));
    const std::string line = write("line.ini", "[Generic settings]\nsrc=" + std::string(1100000, 'a') + "\n");
    EXPECT_EQ(message(line), too_large(line));
    // A device, a pipe (no writer: opening it would wait for ever) or a
    // folder is told without opening it.
    const std::string special = "\" is a device, pipe or socket, not a settings file. Please verify the correct "
                                "path/name was given.";
    EXPECT_EQ(message("/dev/zero"), "Profile \"/dev/zero" + special);
    const std::string fifo = (dir / "fifo.ini").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(message(fifo), "Profile \"" + fifo + special);
    EXPECT_EQ(message(dir.string()), "Profile \"" + dir.string() +
                                         "\" is a folder, not a settings file. Please verify the correct path/name "
                                         "was given.");
    const std::string loop = (dir / "loop.ini").string();
    ASSERT_EQ(::symlink(loop.c_str(), loop.c_str()), 0);
    EXPECT_EQ(message(loop), "Profile \"" + loop +
                                 "\" is a symbolic link that leads round in a loop. Please verify the correct "
                                 "path/name was given.");
}

TEST_F(ProfileFile, EmptyFileLoadsAndMissingFileThrows) {
    tk_profile p;
    EXPECT_TRUE(p.load(write("empty.ini", "")));
    ASSERT_EQ(p.sections().size(), 1u);
    EXPECT_EQ(p.sections().begin()->first, "Generic settings");
    try {
        p.load((dir / "nope.ini").string());
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level(), 1);
        EXPECT_STREQ(e.what(), "Profile does not exist. Please verify the correct path/name was given.");
    }
}

TEST_F(ProfileFile, LongLineIsRead) {
    std::string value(10000, 'v');
    tk_profile p;
    ASSERT_TRUE(p.load(write("long.ini", "[S]\nk=" + value + "\nafter=1\n")));
    EXPECT_EQ(p.get_value("S", "k"), value);
    EXPECT_EQ(p.get_value("S", "after"), "1");
}

TEST_F(ProfileFile, StoreWritesSortedKeysThenBareLines) {
    tk_profile p;
    ASSERT_TRUE(p.load(write("in.ini", "[X]\nfoo\nb=2\n[Selected Tables]\nt1\n")));
    p.set_value("Generic settings", "src", "/in/report.pdf");
    p.set_value("Generic settings", "dest", "/out/report.xls");
    p.set_value("Generic settings", "dest", "ignored");
    p.set_value("Generic settings", "logfile", "");
    std::string out = (dir / "out.ini").string();
    ASSERT_TRUE(p.store(out));
    EXPECT_EQ(read(out),
              "[Generic settings]\ndest=/out/report.xls\nlogfile=\nsrc=/in/report.pdf\n\n"
              "[Selected Tables]\nt1\n\n"
              "[X]\nb=2\nfoo=\n\n"
              "[Selected Tables]\nt1\n"
              "[X]\nfoo\n");
    // What was stored loads back to the same values.
    tk_profile back;
    ASSERT_TRUE(back.load(out));
    EXPECT_EQ(back.get_value("Generic settings", "dest"), "/out/report.xls");
    EXPECT_EQ(back.get_value("X", "b"), "2");
}

TEST_F(ProfileFile, StoreIntoMissingFolderFails) {
    tk_profile p;
    EXPECT_FALSE(p.store((dir / "no" / "such.ini").string()));
}

TEST_F(ProfileFile, StoreIsForTheOwnerOnly) {
    tk_profile p;
    p.set_value("Generic settings", "password", "secret");
    // A new file is created private, whatever the umask lets through.
    const mode_t old_mask = ::umask(0);
    std::string fresh = (dir / "new.ini").string();
    const bool stored = p.store(fresh);
    ::umask(old_mask);
    ASSERT_TRUE(stored);
    struct stat st {};
    ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    // An existing readable file is narrowed, and its longer old text replaced.
    std::string old = write("old.ini", std::string(5000, 'x'));
    ASSERT_EQ(::chmod(old.c_str(), 0644), 0);
    ASSERT_TRUE(p.store(old));
    ASSERT_EQ(::stat(old.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(read(old), "[Generic settings]\npassword=secret\n\n");

    // A folder is not a profile file and keeps its mode.
    ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);
    EXPECT_FALSE(p.store(dir.string()));
    ASSERT_EQ(::stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
}
