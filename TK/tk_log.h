// The process-wide trace. Every write is silent unless the single log
// instance exists and is enabled, so callers never check first; callers that
// would build an expensive argument ask tk_log::active() before doing so.
#pragma once

#include <string>

#include "TK/tk_singl.h"

class tk_log : public tk_singleton<tk_log> {
public:
    tk_log() = default;

    static void write(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
    // In wide formats %s and %c take wide arguments and %S and %C narrow ones
    // (Microsoft's wide printf convention). The entry is written as UTF-8.
    static void write_wide(int level, const wchar_t* format, ...);
    // True when an entry of this level would reach the file.
    static bool active(int level = 1);

    void set_name(const char* name);
    const std::string& name() const { return name_; }
    void set_threshold(int level) { threshold_ = level; }
    void set_line_end(bool on) { add_line_end_ = on; }
    void set_enabled(bool on) { enabled_ = on; }
    void set_time_stamp(bool on) { time_stamp_ = on; }
    bool enabled() const { return enabled_; }

private:
    void truncate_once();
    // Opens the file for one entry after the checks; null when nothing is written.
    std::FILE* begin_entry(int level);
    void end_entry(std::FILE* f);

    std::string name_;
    int threshold_ = 0;
    bool add_line_end_ = true;
    bool enabled_ = false;
    bool truncated_ = false;
    bool time_stamp_ = true;
};
