#include "PDFR/pdf_budget.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>

namespace {
std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

// Memory is read from the system, which costs more than the clock: not more
// often than this.
constexpr std::chrono::milliseconds memory_interval(50);
}  // namespace

std::size_t pdf_resident_bytes() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0;
    unsigned long size = 0, resident = 0;
    const int got = std::fscanf(f, "%lu %lu", &size, &resident);
    std::fclose(f);
    if (got != 2) return 0;
    const long page = sysconf(_SC_PAGESIZE);
    return static_cast<std::size_t>(resident) * static_cast<std::size_t>(page > 0 ? page : 4096);
}

void pdf_page_budget::start() {
    started_ = std::chrono::steady_clock::now();
    memory_checked_ = started_;
    memory_at_start_ = pdf_resident_bytes();
    running_ = true;
    reason_.clear();
}

void pdf_page_budget::refuse(const std::string& reason) {
    if (reason_.empty()) reason_ = reason;
}

bool pdf_page_budget::exceeded() {
    if (!reason_.empty()) return true;
    if (!running_) return false;
    const auto now = std::chrono::steady_clock::now();
    if (std::chrono::duration<double>(now - started_).count() > limits_.seconds) {
        refuse("it takes more than " + number(limits_.seconds) + " seconds to read");
        return true;
    }
    if (now - memory_checked_ >= memory_interval) {
        memory_checked_ = now;
        const std::size_t resident = pdf_resident_bytes();
        if (resident > memory_at_start_ && resident - memory_at_start_ > limits_.memory_bytes) {
            refuse("it needs more than " + number(static_cast<double>(limits_.memory_bytes) / (1 << 20)) +
                   " MB of memory");
            return true;
        }
    }
    return false;
}

bool pdf_page_budget::allow_shape(double work) {
    if (exceeded()) return false;
    if (!(work <= limits_.shape_work)) {
        refuse("one of its drawings has too many pieces to draw");
        return false;
    }
    return true;
}

bool pdf_page_budget::allow_image(double pixels) {
    if (exceeded()) return false;
    if (!(pixels <= limits_.image_pixels)) {
        refuse("one of its images has more than " + number(limits_.image_pixels) + " pixels");
        return false;
    }
    return true;
}

bool pdf_page_budget::annotation_callback(Annot*, void* data) {
    return !data || !static_cast<pdf_page_budget*>(data)->exceeded();
}
