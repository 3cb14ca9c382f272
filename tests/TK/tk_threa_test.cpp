// The worker thread, the converter base and the log-file setting.
#include "TK/tk_threa.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "TK/tk_conv.h"
#include "TK/tk_errh.h"
#include "TK/tk_except.h"
#include "TK/tk_log.h"
#include "TK/tk_prof.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unprivileged.h"

namespace {
namespace fs = std::filesystem;

struct counting_job : tk_thread_functor {
    std::atomic<int> steps{0};
    std::atomic<bool> finished{false};
    int limit;
    explicit counting_job(int limit) : limit(limit) {}
    bool is_done() override { return steps >= limit; }
    void step() override { ++steps; }
    void finish() override { finished = true; }
};

struct job_thread : tk_thread {
    tk_thread_functor* job;
    explicit job_thread(tk_thread_functor* j) : job(j) {}
    tk_thread_functor* get_functor() override { return job; }
};

struct throwing_job : tk_thread_functor {
    void run() override { throw 17; }
};

struct null_thread : tk_thread {
    tk_thread_functor* get_functor() override { return nullptr; }
};
}  // namespace

TEST(TkThread, PlainFunctorRunsUntilTheThreadIsStopped) {
    auto begin = std::chrono::steady_clock::now();
    {
        tk_thread t;
        t.start();
        EXPECT_TRUE(t.is_running());
        EXPECT_THROW(t.start(), tk_mail_assertion);
        EXPECT_THROW(t.close(), tk_mail_assertion);
        EXPECT_FALSE(t.wait_finished(50));
    }  // the destructor stops and joins the running worker
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
}

TEST(TkThread, FinishedRunIsClosedOnRestart) {
    counting_job job(3);
    job_thread t(&job);
    EXPECT_THROW(t.terminate(), tk_mail_assertion);
    t.start();
    ASSERT_TRUE(t.wait_finished(5000));
    EXPECT_FALSE(t.is_running());
    EXPECT_EQ(job.steps, 3);
    EXPECT_TRUE(job.finished);
    EXPECT_THROW(t.terminate(), tk_mail_assertion);
    job.limit = 5;
    job.finished = false;
    t.start();
    ASSERT_TRUE(t.wait_finished(5000));
    EXPECT_EQ(job.steps, 5);
    EXPECT_TRUE(job.finished);
}

TEST(TkThread, TerminateStopsWithoutFinishing) {
    counting_job job(1 << 30);
    job_thread t(&job);
    t.start();
    t.terminate();
    EXPECT_FALSE(t.has_thread());
    EXPECT_FALSE(job.finished);
}

TEST(TkThread, MissingFunctorIsInternalError) {
    null_thread t;
    EXPECT_THROW(t.start(), tk_mail_assertion);
}

TEST(TkThreadDeathTest, ExceptionOnTheWorkerGoesToTheHandler) {
    // Without the guard in the thread entry this would be std::terminate (SIGABRT).
    EXPECT_EXIT(
        {
            error_handler h;
            throwing_job job;
            job_thread t(&job);
            t.start();
            t.wait_finished(-1);
            std::exit(3);
        },
        ::testing::ExitedWithCode(255), "");
    throwing_job job;
    job_thread t(&job);
    t.start();  // no handler: reported on stderr, the process goes on
    EXPECT_TRUE(t.wait_finished(5000));
}

namespace {
struct LogFile : temp_dir_test {};
}  // namespace

TEST_F(LogFile, ProfileLogfileWithoutLogInstanceIsKeptOnly) {
    tk_converter conv;
    tk_profile p;
    std::ofstream(dir / "p.ini") << "[Generic settings]\r\nlogfile=" << (dir / "run.log").string()
                                 << "\r\nsrc=a.pdf\r\n";
    ASSERT_TRUE(p.load((dir / "p.ini").string()));
    ASSERT_FALSE(tk_log::exists());
    EXPECT_TRUE(conv.load_profile(p));
    EXPECT_EQ(conv.log_file, (dir / "run.log").string());
    EXPECT_EQ(conv.source, "a.pdf");
    EXPECT_EQ(conv.destination, "");
    EXPECT_FALSE(fs::exists(dir / "run.log"));
}

TEST_F(LogFile, LogfileReachesAnExistingLog) {
    tk_log log;
    log.set_time_stamp(false);
    tk_converter conv;
    conv.set_logfile((dir / "run.log").string());
    tk_log::write(3, "hello");
    std::ifstream in(dir / "run.log");
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "hello\r");
}

TEST_F(LogFile, MissingFolderIsLevel1) {
    tk_converter conv;
    try {
        conv.set_logfile((dir / "none" / "x.log").string());
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.level(), 1);
        EXPECT_STREQ(e.what(), "Logfile path does not exist.\nPlease verify the correct path was given.");
    }
    EXPECT_EQ(conv.log_file, "");
    conv.set_logfile("");
    EXPECT_EQ(conv.log_file, "");
}

TEST_F(LogFile, ReadOnlyFileIsLevel1) {
    const std::string ro = (dir / "ro.log").string();
    std::ofstream(ro) << "x";
    ASSERT_EQ(::chmod(ro.c_str(), 0444), 0);
    EXPECT_EQ(run_unprivileged([&] {
                  tk_converter conv;
                  try {
                      conv.set_logfile(ro);
                  } catch (const tk_exception& e) {
                      return std::to_string(e.level()) + " " + e.what() + " [" + conv.log_file + "]";
                  }
                  return std::string("(accepted)");
              }),
              "1 Logfile name specifies an existing read-only file. []");
}

TEST(TkConverter, StoreProfileWritesEmptyValuesToo) {
    tk_converter conv;
    conv.source = "/in/a.pdf";
    tk_profile p;
    EXPECT_TRUE(conv.store_profile(p));
    EXPECT_EQ(p.get_value("Generic settings", "src"), "/in/a.pdf");
    const auto& keys = p.sections().at("Generic settings");
    EXPECT_EQ(keys.count("dest"), 1u);
    EXPECT_EQ(keys.count("logfile"), 1u);
}
