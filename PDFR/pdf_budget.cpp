#include "PDFR/pdf_budget.h"

#include <pthread.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>

#include "TK/tk_log.h"

namespace {
std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

// Memory and processor time are read from the system, which costs more than
// the clock: not more often than this.
constexpr std::chrono::milliseconds memory_interval(50);
constexpr std::chrono::milliseconds cpu_interval(10);

double seconds_of(clockid_t clock) {
    timespec ts{};
    if (clock_gettime(clock, &ts) != 0) return 0;
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}
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
    cpu_checked_ = started_;
    // The thread's own clock, so that a check from elsewhere would still read it.
    if (pthread_getcpuclockid(pthread_self(), &cpu_clock_) != 0) cpu_clock_ = CLOCK_THREAD_CPUTIME_ID;
    cpu_at_start_ = seconds_of(cpu_clock_);
    memory_at_start_ = pdf_resident_bytes();
    running_ = true;
    reason_.clear();
}

double pdf_page_budget::cpu_seconds() const { return seconds_of(cpu_clock_) - cpu_at_start_; }

void pdf_page_budget::refuse(const std::string& reason) {
    if (reason_.empty()) reason_ = reason;
}

bool pdf_page_budget::exceeded() {
    if (!reason_.empty()) return true;
    if (!running_) return false;
    const auto now = std::chrono::steady_clock::now();
    const double wall = std::chrono::duration<double>(now - started_).count();
    if (wall > limits_.wall_seconds) {
        refuse("it was not read within " + number(limits_.wall_seconds) + " seconds");
        return true;
    }
    // The thread cannot have used more processor time than has passed.
    if (wall > limits_.seconds && now - cpu_checked_ >= cpu_interval) {
        cpu_checked_ = now;
        if (cpu_seconds() > limits_.seconds) {
            refuse("it takes more than " + number(limits_.seconds) + " seconds to read");
            return true;
        }
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
    if (work <= limits_.shape_work) return true;
    tk_log::write(1, "pdf_page_budget: a drawing of %g rows and pixels is not rasterised", work);
    return false;
}

bool pdf_page_budget::allow_image(double pixels) {
    if (exceeded()) return false;
    if (pixels <= limits_.image_pixels) return true;
    tk_log::write(1, "pdf_page_budget: an image of %g pixels is not rasterised", pixels);
    return false;
}

bool pdf_page_budget::annotation_callback(Annot*, void* data) {
    return !data || !static_cast<pdf_page_budget*>(data)->exceeded();
}
