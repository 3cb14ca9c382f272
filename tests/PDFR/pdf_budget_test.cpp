// The page budget: what it counts and what it leaves alone.
#include "PDFR/pdf_budget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {
using namespace std::chrono_literals;

// Works on this thread until the budget is spent (or 20 s have passed).
bool spend(pdf_page_budget& b) {
    const auto until = std::chrono::steady_clock::now() + 20s;
    volatile double x = 1;
    while (!b.exceeded() && std::chrono::steady_clock::now() < until)
        for (int i = 0; i < 100000; ++i) x = x * 1.0000001;
    return b.spent();
}
}  // namespace

TEST(PageBudget, CountsThePlayingThreadsProcessorTimeAndTheClockOnlyAgainstStalls) {
    pdf_page_budget::limits l;
    l.seconds = 0.2;
    pdf_page_budget b(l);
    // Waiting (a busy machine, a stopped process) uses no processor time, nor
    // does the work of another thread.
    b.start();
    std::this_thread::sleep_for(300ms);
    std::atomic<bool> done{false};
    std::thread other([&] {
        volatile double x = 1;
        const auto until = std::chrono::steady_clock::now() + 300ms;
        while (std::chrono::steady_clock::now() < until) x = x * 1.0000001;
        done = true;
    });
    other.join();
    EXPECT_TRUE(done);
    EXPECT_FALSE(b.exceeded());
    EXPECT_TRUE(spend(b));
    EXPECT_EQ(b.reason(), "it takes more than 0.2 seconds to read");

    // The clock's own bound, far larger, against a page that stalls.
    l.seconds = 30;
    l.wall_seconds = 0.2;
    b.set_limits(l);
    b.start();
    EXPECT_FALSE(b.exceeded());
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(b.exceeded());
    EXPECT_EQ(b.reason(), "it was not read within 0.2 seconds");
}
