// What playing one page may cost. The core has no limits of its own: a small
// file can ask it for hours of work or gigabytes of memory (forms that draw
// forms, a path of millions of segments, an image of 10^10 pixels). The
// converter starts a budget for every page; the core asks it through the
// abort callback, the devices before every form, annotation and costly shape.
// Once the budget is spent it stays spent until the next page, and the
// devices stop drawing, so the rest of the page plays through quickly.
// A single shape or image beyond its limit spends nothing: it is simply not
// rasterised (it holds no ruling worth finding) and the page goes on.
#pragma once

#include <chrono>
#include <cstddef>
#include <ctime>
#include <string>

class Annot;

class pdf_page_budget {
public:
    struct limits {
        // Processor time of the converting thread for both passes of a page:
        // the same file gives the same workbook on a quiet and on a busy machine.
        double seconds = 30;
        // Time on the clock, only against a page that stalls (a file that
        // cannot be read, a process stopped for long).
        double wall_seconds = 300;
        std::size_t memory_bytes = std::size_t(2) << 30;      // growth of the process while the page plays
        double shape_work = 5e7;                              // rows and pixels the rasteriser walks for one shape
        double image_pixels = 5e8;                            // pixels of one image's source data
        std::size_t stream_bytes = std::size_t(1) << 30;      // what a page's content streams and forms may decode to
    };

    pdf_page_budget() = default;
    explicit pdf_page_budget(const limits& l) : limits_(l) {}

    // A new page, on the thread that plays it: the clocks and the memory count start now.
    void start();
    // Whether the page is over its budget (checks the clocks, and the memory
    // now and then). Cheap enough to ask before every drawing operation.
    bool exceeded();
    // Whether exceeded() found the page over its budget, without checking again.
    bool spent() const { return !reason_.empty(); }
    // A check found the page beyond the limits.
    void refuse(const std::string& reason);
    // Why the page was stopped ("it takes more than 30 seconds to read"); empty while within the budget.
    const std::string& reason() const { return reason_; }

    // Whether one shape or image may be handed to the rasteriser: false once
    // the page is over its budget, or for this one alone when it is beyond
    // its own limit (which leaves the budget as it was).
    bool allow_shape(double work);
    bool allow_image(double pixels);

    const limits& get_limits() const { return limits_; }
    void set_limits(const limits& l) { limits_ = l; }

    // The core's annotation callback (data: a pdf_page_budget, or null for
    // none): annotations are drawn while the page is within its budget.
    static bool annotation_callback(Annot*, void* data);

private:
    // Processor time the playing thread has used since start().
    double cpu_seconds() const;

    limits limits_;
    std::chrono::steady_clock::time_point started_{};
    std::chrono::steady_clock::time_point memory_checked_{}, cpu_checked_{};
    clockid_t cpu_clock_ = CLOCK_THREAD_CPUTIME_ID;
    double cpu_at_start_ = 0;
    std::size_t memory_at_start_ = 0;
    bool running_ = false;
    std::string reason_;
};

// The process's resident memory in bytes (0 where it cannot be read).
std::size_t pdf_resident_bytes();
