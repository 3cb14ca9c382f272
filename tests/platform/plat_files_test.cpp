// File probes, full paths, splitting, program path and local time.
#include "platform/plat_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

using PlatFilesOnDisk = temp_dir_test;

TEST_F(PlatFilesOnDisk, FolderIsNeverAFile) {
    std::ofstream(dir / "f") << "x";
    EXPECT_TRUE(plat_file_can_open((dir / "f").string(), false));
    EXPECT_TRUE(plat_file_can_open((dir / "f").string(), true));
    EXPECT_FALSE(plat_file_can_open(dir.string(), false));
    EXPECT_FALSE(plat_file_can_open((dir / "none").string(), false));
    EXPECT_TRUE(plat_is_folder(dir.string()));
    EXPECT_FALSE(plat_is_folder((dir / "f").string()));
    EXPECT_FALSE(plat_is_folder(""));
    // A FIFO is probed without waiting for a writer.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_TRUE(plat_file_can_open((dir / "pipe").string(), false));
}

TEST(PlatFiles, FullPathSplitAndMake) {
    std::string full;
    EXPECT_FALSE(plat_full_path("", full));
    ASSERT_TRUE(plat_full_path("/x/./y/../z.pdf", full));
    EXPECT_EQ(full, "/x/z.pdf");
    ASSERT_TRUE(plat_full_path("rel.pdf", full));
    EXPECT_EQ(full, (fs::current_path() / "rel.pdf").string());
    EXPECT_FALSE(plat_full_path(std::string(plat_max_path + 10, 'a'), full));

    std::string drive = "?", folder, name, ext;
    plat_split_path("/x/y/report.v2.pdf", drive, folder, name, ext);
    EXPECT_EQ(drive, "");
    EXPECT_EQ(folder, "/x/y/");
    EXPECT_EQ(name, "report.v2");
    EXPECT_EQ(ext, ".pdf");
    EXPECT_EQ(plat_make_path("", "/x/y", "a", "xls"), "/x/y/a.xls");
    EXPECT_EQ(plat_make_path("", "/x/y/", "a", ""), "/x/y/a");
}

TEST(PlatFiles, ProgramPathAndTime) {
    std::string exe = plat_program_path();
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(exe[0], '/');
    EXPECT_NE(exe.find("plat_files_test"), std::string::npos);
    plat_local_time t = plat_now();
    EXPECT_GE(t.year, 2020);
    EXPECT_GE(t.month, 1);
    EXPECT_LE(t.month, 12);
    EXPECT_GE(t.day, 1);
    EXPECT_LE(t.second, 60);
}

TEST_F(PlatFilesOnDisk, SameFile) {
    std::ofstream(dir / "a") << "x";
    fs::create_symlink(dir / "a", dir / "b");
    EXPECT_TRUE(plat_same_file((dir / "a").string(), (dir / "b").string()));
    EXPECT_TRUE(plat_same_file((dir / "new").string(), (dir / "." / "new").string()));
    EXPECT_FALSE(plat_same_file((dir / "a").string(), (dir / "new").string()));
}
