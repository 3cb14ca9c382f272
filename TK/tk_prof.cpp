#include "TK/tk_prof.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <sstream>

#include "TK/tk_except.h"
#include "TK/tk_log.h"
#include "TK/tk_texts.h"
#include "TK/tk_utils.h"
#include "platform/plat_files.h"
#include "platform/plat_replace.h"

namespace {
// A profile is a short text: a larger file is something else, and reading
// stops there.
constexpr size_t max_size = 1u << 20;
const char utf8_bom[] = "\xEF\xBB\xBF";

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Without white space of any kind at both ends (editors indent with tabs).
std::string trim_space(const std::string& s) {
    size_t first = 0, last = s.size();
    while (first < last && is_space(s[first])) ++first;
    while (last > first && is_space(s[last - 1])) --last;
    return s.substr(first, last - first);
}

// The file's bytes, up to one more than max_size; false with errno.
bool read_text(const std::string& path, std::string& text) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st {};
    // Replaced by something else since it was looked at: not read either.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return false;
    }
    const bool read = plat_read_upto(fd, max_size, text);
    const int err = errno;
    ::close(fd);
    errno = err;
    return read;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool same_name(const std::string& a, const std::string& b) { return !tk_nocase_less()(a, b) && !tk_nocase_less()(b, a); }
}  // namespace

bool tk_nocase_less::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return lower(x) < lower(y); });
}

tk_profile::tk_profile() { add_section(tk_text(tk_txt_generic_section)); }

void tk_profile::add_section(const std::string& name) { sections_.emplace(name, key_map()); }

std::string tk_profile::get_value(const std::string& section, const std::string& key) const {
    auto s = sections_.find(section);
    if (s == sections_.end()) return std::string();
    auto k = s->second.find(key);
    return k == s->second.end() ? std::string() : k->second;
}

void tk_profile::set_value(const std::string& section, const std::string& key, const std::string& value) {
    sections_[section].emplace(key, value);
}

bool tk_profile::load(const std::string& path) {
    tk_log::write(2, "tk_profile::load(%s)", path.c_str());
    // Told before anything is opened: a pipe would wait for a writer for ever.
    switch (plat_reading_kind(path)) {
        case plat_path_kind::regular: break;
        case plat_path_kind::folder: throw tk_exception(tk_text(tk_txt_profile_folder, path), tk_level_error);
        case plat_path_kind::special: throw tk_exception(tk_text(tk_txt_profile_special, path), tk_level_error);
        case plat_path_kind::unreadable: throw tk_exception(tk_text(tk_txt_profile_unreadable, path), tk_level_error);
        case plat_path_kind::link_loop: throw tk_exception(tk_text(tk_txt_profile_loop, path), tk_level_error);
        default: throw tk_exception(tk_text(tk_txt_profile_missing), tk_level_error);
    }
    std::string text;
    if (!read_text(path, text)) return false;
    if (text.size() > max_size) throw tk_exception(tk_text(tk_txt_profile_too_large, path), tk_level_error);
    // Windows editors put a byte-order mark before the first line.
    if (text.compare(0, 3, utf8_bom) == 0) text.erase(0, 3);
    const std::string* current = nullptr;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string raw = text.substr(start, end - start);
        start = end + 1;
        // Profiles written by Windows editors end their lines with CR LF.
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        const std::string line = trim_space(raw);
        // Empty lines and comments (";" or "#" first) say nothing.
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
            auto it = sections_.emplace(line.substr(1, line.size() - 2), key_map()).first;
            current = &it->first;
            continue;
        }
        // A line before the first section belongs to none: it alone is skipped.
        if (!current) continue;
        size_t eq = line.find('=');
        if (eq != std::string::npos) {
            sections_[*current].emplace(trim_space(line.substr(0, eq)), trim_space(line.substr(eq + 1)));
        } else {
            bare_[*current].push_back(raw);
            sections_[*current].emplace(line, std::string());
        }
    }
    return true;
}

bool tk_profile::store(const std::string& path) const {
    tk_log::write(2, "tk_profile::store(%s)", path.c_str());
    std::ostringstream out;
    for (const auto& section : sections_) {
        out << '[' << section.first << "]\n";
        for (const auto& kv : section.second) {
            if (same_name(section.first, "Selected Tables") && kv.second.empty()) out << kv.first << '\n';
            else out << kv.first << '=' << kv.second << '\n';
        }
        out << '\n';
    }
    for (const auto& section : bare_) {
        out << '[' << section.first << "]\n";
        for (const std::string& line : section.second) out << line << '\n';
    }
    // Written as workbooks are (beside the file, then renamed over it; a
    // link planted by another user in a shared folder is not followed). A
    // profile may hold a password: a new file is for its owner only, and a
    // replaced one holding a password loses its group and other access.
    const std::string password = get_value(tk_text(tk_txt_generic_section), "password");
    return plat_replace_file(path, out.str(), 0600, password.empty() ? 0777 : 0700).error == 0;
}
