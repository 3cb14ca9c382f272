// Paths, file probes, the destination check, trims and splits.
#include "TK/tk_utils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>

#include "TK/tk_except.h"
#include "TK/tk_fname.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unprivileged.h"

namespace {
namespace fs = std::filesystem;

struct TempDir : temp_dir_test {
    fs::path saved_cwd;
    void SetUp() override {
        temp_dir_test::SetUp();
        saved_cwd = fs::current_path();
    }
    void TearDown() override {
        fs::current_path(saved_cwd);
        temp_dir_test::TearDown();
    }
    std::string touch(const std::string& name) {
        std::string p = (dir / name).string();
        std::ofstream(p) << "x";
        return p;
    }
};

std::string message_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level(), 1);
        return e.what();
    }
    return "(nothing thrown)";
}
}  // namespace

TEST_F(TempDir, FileNameSplitsFullPathAndChangesExtension) {
    fs::current_path(dir);
    tk_file_name f("report.pdf");
    EXPECT_EQ(f.get_drive(), "");
    EXPECT_EQ(f.get_path(), dir.string() + "/");
    EXPECT_EQ(f.get_name(), "report");
    EXPECT_EQ(f.get_ext(), ".pdf");
    EXPECT_EQ(f.get_drive_path(), dir.string() + "/");
    f.set_ext("xls");
    EXPECT_EQ(f.get_full_path(), dir.string() + "/report.xls");
    f.set_ext(".csv");
    EXPECT_EQ(f.get_full_path(), dir.string() + "/report.csv");
    f.set_ext("");
    EXPECT_EQ(f.get_full_path(), dir.string() + "/report");
}

TEST(FileName, DotsAreResolvedAndOnlyTheLastDotSplits) {
    tk_file_name f("/a/b/../c/./x.tar.gz");
    EXPECT_EQ(f.get_path(), "/a/c/");
    EXPECT_EQ(f.get_name(), "x.tar");
    EXPECT_EQ(f.get_ext(), ".gz");
    tk_file_name g("/data/noext");
    EXPECT_EQ(g.get_name(), "noext");
    EXPECT_EQ(g.get_ext(), "");
    g.set_ext("xls");
    EXPECT_EQ(g.get_full_path(), "/data/noext.xls");
}

TEST(FileName, EmptyTextIsTheProgramFolderWithoutName) {
    tk_file_name f("");
    std::string exe = tk_get_module_file_name();
    EXPECT_EQ(f.get_name(), "");
    EXPECT_EQ(f.get_drive_path(), fs::path(exe).parent_path().string() + "/");
    EXPECT_THROW(tk_file_name(static_cast<const char*>(nullptr)), tk_mail_assertion);
}

TEST_F(TempDir, ProbesTellFilesFromFolders) {
    std::string file = touch("f.txt");
    EXPECT_TRUE(tk_is_file_exist(file));
    EXPECT_TRUE(tk_is_file_exist(file, tk_file_read_write));
    EXPECT_FALSE(tk_is_file_exist(dir.string()));
    EXPECT_FALSE(tk_is_file_exist(dir.string(), tk_file_read_write));
    EXPECT_FALSE(tk_is_file_exist((dir / "missing").string()));
    EXPECT_FALSE(tk_is_file_exist(""));
    EXPECT_TRUE(tk_is_path_exist(dir.string()));
    EXPECT_FALSE(tk_is_path_exist(file));
    EXPECT_FALSE(tk_is_path_exist((dir / "missing").string()));
    std::string before = fs::current_path().string();
    tk_is_path_exist(dir.string());
    EXPECT_EQ(fs::current_path().string(), before);
}

TEST_F(TempDir, CurDirSwitchesAndComesBack) {
    std::string before = fs::current_path().string();
    {
        tk_cur_dir cd(dir.string());
        EXPECT_TRUE(cd.ok());
        EXPECT_EQ(fs::current_path(), fs::canonical(dir));
    }
    EXPECT_EQ(fs::current_path().string(), before);
    tk_cur_dir bad((dir / "missing").string());
    EXPECT_FALSE(bad.ok());
    EXPECT_EQ(fs::current_path().string(), before);
}

TEST_F(TempDir, DestinationCheckRows) {
    // Row 0 for a folder, even one whose name could be a file.
    fs::create_directories(dir / "out.xls");
    EXPECT_EQ(message_of([&] { common_check_dest((dir / "out.xls").string()); }),
              "Destination name should specify a file, not folder.");
    EXPECT_EQ(message_of([&] { common_check_dest((dir / "none" / "a.xls").string()); }),
              "Destination path does not exist.\nPlease verify the correct path was given.");
    // A new file in an existing folder and an existing writable file pass.
    EXPECT_NO_THROW(common_check_dest((dir / "new.xls").string()));
    EXPECT_NO_THROW(common_check_dest(touch("old.xls")));
    std::string ro = touch("ro.xls");
    ::chmod(ro.c_str(), 0444);
    EXPECT_EQ(run_unprivileged([&] { return message_of([&] { common_check_dest(ro); }); }),
              "Destination name specifies an existing read-only file.");
}

TEST_F(TempDir, DestinationMustNotBeTheSource) {
    std::string src = touch("doc.pdf");
    EXPECT_EQ(message_of([&] { common_check_dest(src, src); }),
              "Destination name specifies the source file.\nPlease give another destination name.");
    // Another spelling of the same file, and a hard link to it.
    fs::current_path(dir);
    EXPECT_THROW(common_check_dest("./doc.pdf", src), tk_exception);
    fs::create_hard_link(src, dir / "link.xls");
    EXPECT_THROW(common_check_dest((dir / "link.xls").string(), src), tk_exception);
    EXPECT_NO_THROW(common_check_dest((dir / "doc.xls").string(), src));
}

TEST(Trim, OnlyBlanksAreTrimmed) {
    EXPECT_EQ(tk_trim("   "), "");
    EXPECT_EQ(tk_trim(" a b "), "a b");
    EXPECT_EQ(tk_trim_left("  a "), "a ");
    EXPECT_EQ(tk_trim_right("  a "), "  a");
    EXPECT_EQ(tk_trim("\ta\t"), "\ta\t");
    EXPECT_EQ(tk_trim(""), "");
}

TEST(Split, EmptyPiecesAreKept) {
    using v = std::vector<std::string>;
    EXPECT_EQ(tk_split("", ','), v{});
    EXPECT_EQ(tk_split("1-", '-'), (v{"1", ""}));
    EXPECT_EQ(tk_split("a,,b", ','), (v{"a", "", "b"}));
    EXPECT_EQ(tk_split(",", ','), (v{"", ""}));
    EXPECT_EQ(tk_split("abc", ','), (v{"abc"}));
}
