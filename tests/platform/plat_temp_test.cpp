// Temporary files: what a signal or a file-size limit leaves behind.
#include "platform/plat_temp.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>

#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

using PlatTemp = temp_dir_test;

namespace {
bool empty(const fs::path& dir) { return fs::directory_iterator(dir) == fs::directory_iterator(); }
}  // namespace

// Every signal whose default action ends the process removes the named
// temporary file first, then ends the process as it would have.
TEST_F(PlatTemp, SignalsThatEndTheProcessRemoveTheNamedFile) {
    for (int sig : {SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2, SIGTERM}) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            struct rlimit no_core = {0, 0};   // SIGQUIT would dump one
            ::setrlimit(RLIMIT_CORE, &no_core);
            const int folder = ::open(dir.c_str(), O_PATH | O_DIRECTORY);
            std::string name;
            if (plat_create_temp(folder, "out.xls", 255, name) < 0) ::_exit(2);
            ::raise(sig);
            ::_exit(3);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << sig << " " << status;
        EXPECT_TRUE(empty(dir)) << sig;
    }
}

// An unnamed file is never seen, not even after SIGKILL; named, it is armed
// like any temporary file. The scratch file has no name at all.
TEST_F(PlatTemp, UnnamedAndScratchFilesLeaveNothing) {
    ::setenv("TMPDIR", dir.c_str(), 1);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int folder = ::open(dir.c_str(), O_PATH | O_DIRECTORY);
        std::string where;
        const int scratch = plat_create_scratch(where);
        const int fd = plat_create_unnamed(folder);
        if (scratch < 0 || fd < 0 || ::write(fd, "x", 1) != 1 || ::write(scratch, "y", 1) != 1) ::_exit(2);
        if (!empty(dir)) ::_exit(3);
        std::string name;
        if (plat_name_unnamed(fd, folder, "out.xls", 255, name) != 0 || !fs::exists(dir / name)) ::_exit(4);
        if (::unlinkat(folder, name.c_str(), 0) != 0) ::_exit(5);
        plat_create_unnamed(folder);
        ::raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_TRUE(empty(dir));
    ::unsetenv("TMPDIR");
}

// Past a file-size limit the write fails with EFBIG instead of ending the process.
TEST_F(PlatTemp, FileSizeLimitFailsTheWrite) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int folder = ::open(dir.c_str(), O_PATH | O_DIRECTORY);
        std::string name;
        const int fd = plat_create_temp(folder, "out.xls", 255, name);
        struct rlimit limit = {4096, 4096};
        if (fd < 0 || ::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(2);
        char block[8192] = {};
        const ssize_t first = ::write(fd, block, sizeof block);
        const bool efbig = ::write(fd, block, sizeof block) < 0 && errno == EFBIG;
        ::_exit(first == 4096 && efbig ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
