#include "TK/tk_log.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "platform/plat_files.h"
#include "platform/plat_text.h"

void tk_log::set_name(const char* name) {
    if (!name) throw tk_mail_assertion("tk_log", 82);
    name_ = name;
}

bool tk_log::active(int level) {
    tk_log* log = find();
    return log && log->enabled_ && level >= log->threshold_;
}

void tk_log::truncate_once() {
    if (truncated_) return;
    if (std::FILE* f = std::fopen(name_.c_str(), "wb")) std::fclose(f);
    truncated_ = true;
}

std::FILE* tk_log::begin_entry(int level) {
    truncate_once();
    if (level < threshold_) return nullptr;
    std::FILE* f = std::fopen(name_.c_str(), "ab");
    if (!f) return nullptr;
    if (time_stamp_) {
        plat_local_time now = plat_now();
        std::fprintf(f, "%02d:%02d:%02d ", now.hour, now.minute, now.second);
    }
    return f;
}

void tk_log::end_entry(std::FILE* f) {
    if (add_line_end_) std::fputs("\r\n", f);
    std::fclose(f);
}

void tk_log::write(int level, const char* format, ...) {
    tk_log* log = find();
    if (!log || !log->enabled_) return;
    std::FILE* f = log->begin_entry(level);
    if (!f) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(f, format, args);
    va_end(args);
    log->end_entry(f);
}

void tk_log::write_wide(int level, const wchar_t* format, ...) {
    tk_log* log = find();
    if (!log || !log->enabled_) return;
    std::FILE* f = log->begin_entry(level);
    if (!f) return;
    // glibc reads %s in a wide format as a narrow string; this log's formats
    // take %s/%c as wide and %S/%C as narrow, an 'h' forcing narrow and an
    // 'l' forcing wide. Rewrite every string and character conversion so
    // glibc reads the same arguments.
    std::wstring fmt;
    for (const wchar_t* p = format; *p; ++p) {
        fmt += *p;
        if (*p != L'%') continue;
        ++p;
        std::wstring mods;
        while (*p && std::wcschr(L"-+ #0123456789.*lhwLqjzt", *p)) mods += *p++;
        if (!*p) {
            fmt += mods;
            break;
        }
        wchar_t conv = *p;
        bool is_text = conv == L's' || conv == L'c' || conv == L'S' || conv == L'C';
        if (!is_text) {
            fmt += mods;
            fmt += conv;
            continue;
        }
        bool wide = conv == L's' || conv == L'c';
        std::wstring kept;
        for (wchar_t m : mods) {
            if (m == L'h') wide = false;
            else if (m == L'l' || m == L'w') wide = true;
            else kept += m;
        }
        fmt += kept;
        if (wide) fmt += L'l';
        fmt += (conv == L's' || conv == L'S') ? L's' : L'c';
    }
    std::vector<wchar_t> buf(10240);
    va_list args;
    va_start(args, format);
    int n = std::vswprintf(buf.data(), buf.size(), fmt.c_str(), args);
    va_end(args);
    // A result longer than the buffer is cut at its end.
    buf.back() = L'\0';
    if (n < 0) n = static_cast<int>(std::wcslen(buf.data()));
    std::string utf8 = plat_wide_to_utf8(std::wstring(buf.data(), static_cast<size_t>(n)));
    if (utf8.size() > 10240) utf8.resize(10240);
    std::fwrite(utf8.data(), 1, utf8.size(), f);
    log->end_entry(f);
}
