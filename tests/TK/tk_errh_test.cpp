// Single instances, exception levels and the console error handler's output.
#include "TK/tk_errh.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "TK/tk_except.h"
#include "TK/tk_singl.h"

namespace {
struct widget : tk_singleton<widget> {};
}  // namespace

TEST(TkSingleton, AccessBeforeCreationIsLine59Or66) {
    ASSERT_FALSE(widget::exists());
    EXPECT_EQ(widget::find(), nullptr);
    try {
        widget::instance();
        FAIL();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.level(), 2);
        // "tk_singl\59" in hex
        EXPECT_STREQ(e.what(), "Internal error: \ncode=746b5f73696e676c5c3539");
    }
    try {
        widget::instance2();
        FAIL();
    } catch (const tk_mail_assertion& e) {
        EXPECT_STREQ(e.what(), "Internal error: \ncode=746b5f73696e676c5c3636");
    }
}

TEST(TkSingleton, SecondInstanceThrowsAndFirstStays) {
    error_handler first;
    EXPECT_EQ(&error_handler::instance(), &first);
    try {
        error_handler second;
        FAIL();
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.level(), 2);
        EXPECT_EQ(std::string(e.what()).rfind("Internal error: \ncode=", 0), 0u);
    }
    EXPECT_EQ(error_handler::find(), &first);
}

TEST(TkSingleton, RegistrationEndsWithTheObject) {
    {
        widget w;
        EXPECT_EQ(widget::find(), &w);
    }
    EXPECT_FALSE(widget::exists());
    widget again;  // a new one may be made once the first is gone
    EXPECT_TRUE(widget::exists());
}

TEST(TkException, EmptyMessageAndAssertionText) {
    tk_exception e("", 1);
    EXPECT_STREQ(e.what(), "Unknown exception");
    EXPECT_EQ(e.code(), 0);
    tk_mail_assertion a("a.c", 7);
    EXPECT_STREQ(a.what(), "Internal error: \ncode=612e635c37");
    EXPECT_EQ(a.level(), 2);
}

TEST(TkErrorConverter, EmptyTableMissesAndFilledTableHits) {
    tk_error_converter c;
    EXPECT_EQ(c.convert(0), "");
    c.add(-5, "five");
    EXPECT_EQ(c.convert(-5), "five");
    EXPECT_EQ(c.convert(5), "");
}

TEST(TkErrorHandler, Level0PrintsAndReturns) {
    error_handler h;
    testing::internal::CaptureStdout();
    h.handle(tk_exception("first\nsecond", 0), 1);
    // The run goes on: a warning is not called an error.
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Warning:\nfirst second\n");
    // Unknown levels count as warnings.
    testing::internal::CaptureStdout();
    h.handle(tk_exception("odd", 7), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Warning:\nodd\n");
}

TEST(TkErrorHandler, PrefixAndQuiet) {
    error_handler h;
    h.set_prefix("Job");
    testing::internal::CaptureStdout();
    h.handle(tk_exception("broken", 0), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Warning:\nJob: broken\n");
    h.set_quiet(true);
    testing::internal::CaptureStdout();
    h.handle(tk_exception("hidden", 0), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// Runs a handler call in a child whose stdout goes to stderr, so that
// EXPECT_EXIT can match the exact report.
#define HANDLE_IN_CHILD(call)            \
    {                                    \
        std::fflush(stdout);             \
        dup2(2, 1);                      \
        error_handler h;                 \
        call;                            \
    }

TEST(TkErrorHandlerDeathTest, ExactReportsOfLevels1And2) {
    EXPECT_EXIT(HANDLE_IN_CHILD(h.handle(tk_exception("Source file does not exist.\nPlease verify.", 1), 0)),
                ::testing::ExitedWithCode(255), "^Error:\nSource file does not exist. Please verify.\n$");
    EXPECT_EXIT(HANDLE_IN_CHILD(h.handle(tk_mail_assertion("a.c", 7), 0)), ::testing::ExitedWithCode(255),
                "^Internal error: Internal error: \ncode=612e635c37\n$");
    EXPECT_EXIT(HANDLE_IN_CHILD(h.handle_standard(std::runtime_error("bad alloc somewhere"), 1)),
                ::testing::ExitedWithCode(255), "^bad alloc somewhere\n$");
}

TEST(TkInternalError, PlainTextsKeepTheirWords) {
    try {
        throw "Assertion failed: x at line 12";
    } catch (...) {
        tk_exception e = tk_current_as_internal_error("t", 1);
        EXPECT_EQ(e.level(), 2);
        EXPECT_STREQ(e.what(), "Assertion failed: x at line 12");
    }
    try {
        throw std::string("text");
    } catch (...) {
        EXPECT_STREQ(tk_current_as_internal_error("t", 1).what(), "text");
    }
    try {
        throw 42;
    } catch (...) {
        tk_exception e = tk_current_as_internal_error("t", 1);
        EXPECT_EQ(e.level(), 2);
        EXPECT_STREQ(e.what(), "Internal error: \ncode=745c31");
    }
}

namespace {
// Records what reaches it instead of printing and exiting.
struct recording_handler : error_handler {
    std::string seen;
    void handle(const tk_exception& e, int in_job) override {
        seen += "tk:" + e.message() + ":" + std::to_string(in_job);
    }
    void handle_standard(const std::exception& e, int in_job) override {
        seen += std::string("std:") + e.what() + ":" + std::to_string(in_job);
    }
};

template <class E>
void report(E thrown, int in_job) {
    try {
        throw thrown;
    } catch (...) {
        tk_report_current(in_job, "t", 1);
    }
}
}  // namespace

TEST(TkReportCurrent, EachKindReachesItsHandlerEntry) {
    recording_handler h;
    report(tk_exception("level one", 1), 1);
    report(std::runtime_error("standard"), 0);
    report(42, 1);
    report(tk_final_exception(), 1);  // already reported: nothing more
    EXPECT_EQ(h.seen, "tk:level one:1std:standard:0tk:Internal error: \ncode=745c31:1");
}

TEST(TkReportCurrent, WithoutAHandlerTheTextGoesToStandardError) {
    ASSERT_FALSE(error_handler::exists());
    testing::internal::CaptureStderr();
    report(tk_exception("no handler", 1), 1);
    report(tk_final_exception(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "no handler\n");
}
