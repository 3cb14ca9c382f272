// Paths, file probes, the destination check, trims and splits.
#include "TK/tk_utils.h"

#include <gtest/gtest.h>
#include <pwd.h>
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

TEST_F(TempDir, DestinationCheckFindsWhatTheWriteWouldMeet) {
    const auto check = [](const fs::path& p) { return message_of([&] { common_check_dest(p.string()); }); };
    // A pipe or a device, also behind a link, is never written.
    const std::string not_regular =
        "Destination name specifies a device, pipe or socket, not a file.\nPlease give the name of a regular file.";
    ASSERT_EQ(::mkfifo((dir / "pipe.xls").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", dir / "null.xls");
    EXPECT_EQ(check(dir / "pipe.xls"), not_regular);
    EXPECT_EQ(check(dir / "null.xls"), not_regular);
    // A name of 255 bytes fits (its temporary name is made to fit too); 256 do not.
    EXPECT_NO_THROW(common_check_dest((dir / (std::string(251, 'n') + ".xls")).string()));
    EXPECT_EQ(check(dir / (std::string(252, 'n') + ".xls")), "Destination file name is too long.\nPlease give a shorter name.");
    std::string deep;
    for (int i = 0; i < 2100; ++i) deep += "x/";
    EXPECT_EQ(check(dir / deep / "a.xls"), "Destination path is too long.\nPlease give a shorter path.");
    // A folder that takes no new files refuses a new workbook and a writable
    // old one alike: the workbook is made beside the old file first.
    fs::create_directories(dir / "ro");
    const std::string old = touch("ro/old.xls");
    ::chmod(old.c_str(), 0666);
    ::chmod((dir / "ro").c_str(), 0555);
    const std::string folder_read_only =
        "Destination folder does not allow new files: the workbook is made there before it replaces the "
        "destination.\nPlease choose a folder you may write to.";
    EXPECT_EQ(run_unprivileged([&] { return check(dir / "ro" / "new.xls") + "|" + check(old); }),
              folder_read_only + "|" + folder_read_only);
}

TEST_F(TempDir, LinksOtherUsersPlantInSharedFoldersAreNotFollowed) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs a second user";
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    const fs::path shared = dir / "shared";
    fs::create_directories(shared);
    ::chmod(shared.c_str(), 01777);
    const std::string target = touch("target.xls");
    const std::string planted = (shared / "report.xls").string();
    // Planted by another user: as a file name and as a folder on the way.
    EXPECT_EQ(run_unprivileged([&] {
                  return std::to_string(::symlink(target.c_str(), planted.c_str()) +
                                        ::symlink(dir.c_str(), (shared / "away").c_str()));
              }),
              "0");
    const std::string refused =
        "Destination name is a link that another user made in a shared folder; it is not followed.\n"
        "Please give another destination name.";
    EXPECT_EQ(message_of([&] { common_check_dest(planted); }), refused);
    EXPECT_EQ(message_of([&] { common_check_dest((shared / "away" / "x.xls").string()); }), refused);
    // The caller's own link is followed, so is the folder owner's, and any in
    // a folder that is not sticky.
    fs::create_symlink(target, shared / "mine.xls");
    EXPECT_NO_THROW(common_check_dest((shared / "mine.xls").string()));
    ASSERT_EQ(::chown(shared.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    EXPECT_NO_THROW(common_check_dest(planted));
    ASSERT_EQ(::chown(shared.c_str(), 0, 0), 0);
    ::chmod(shared.c_str(), 0777);
    EXPECT_NO_THROW(common_check_dest(planted));
    // Another user's file in a sticky folder cannot be replaced, writable or not.
    ::chmod(shared.c_str(), 01777);
    const std::string theirs = touch("shared/theirs.xls");
    ::chmod(theirs.c_str(), 0666);
    const std::string foreign_file =
        "Destination name specifies another user's file in a shared folder, which cannot be replaced.\n"
        "Please give another destination name.";
    EXPECT_EQ(run_unprivileged([&] { return message_of([&] { common_check_dest(theirs); }); }), foreign_file);
    // A file another user planted there is refused to root too (the kernel's
    // protected_regular rule), unless the folder's owner planted it.
    ASSERT_EQ(::chown(theirs.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    EXPECT_EQ(message_of([&] { common_check_dest(theirs); }), foreign_file);
    ASSERT_EQ(::chown(shared.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    EXPECT_NO_THROW(common_check_dest(theirs));
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
    // Nor any other PDF document (e2e: source and destination swapped): a
    // header within the first kilobyte is one, whatever the name.
    std::ofstream(dir / "late.xls") << std::string(900, ' ') << "%PDF-1.7\n";
    std::ofstream(dir / "notes.pdf") << "not a PDF";
    const std::string is_pdf = "Destination name specifies a PDF document, which the workbook would replace.\n"
                               "Please give the workbook's name (for example report.xls).";
    EXPECT_EQ(message_of([&] { common_check_dest((dir / "late.xls").string(), src); }), is_pdf);
    EXPECT_NO_THROW(common_check_dest((dir / "notes.pdf").string(), src));
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
