#include "TK/tk_prof.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "TK/tk_except.h"
#include "TK/tk_log.h"
#include "TK/tk_texts.h"
#include "TK/tk_utils.h"
#include "platform/plat_files.h"

namespace {
// A profile is a short text: a larger file is something else, and reading
// stops there (a device such as /dev/zero never ends its first line).
constexpr size_t max_size = 1u << 20;
const char utf8_bom[] = "\xEF\xBB\xBF";

enum class read_result { line, end, too_large };

// One line; budget counts down the bytes the file may still hold.
read_result read_line(std::istream& in, std::string& line, size_t& budget) {
    line.clear();
    std::streambuf* buf = in.rdbuf();
    for (;;) {
        int c = buf->sbumpc();
        if (c == std::char_traits<char>::eof()) return line.empty() ? read_result::end : read_result::line;
        if (budget == 0) return read_result::too_large;
        --budget;
        if (c == '\n') return read_result::line;
        line += static_cast<char>(c);
    }
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
    if (!tk_is_file_exist(path, tk_file_read)) throw tk_exception(tk_text(tk_txt_profile_missing), tk_level_error);
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const std::string* current = nullptr;
    // A key line came before the first section: the file is read on only to
    // tell a badly laid out profile (ignored) from a file that is none.
    bool misplaced = false;
    size_t budget = max_size;
    std::string raw;
    for (bool first = true;; first = false) {
        read_result r = read_line(in, raw, budget);
        if (r == read_result::end) break;
        if (r == read_result::too_large) throw tk_exception(tk_text(tk_txt_profile_too_large), tk_level_error);
        // Windows editors put a byte-order mark before the first line.
        if (first && raw.compare(0, 3, utf8_bom) == 0) raw.erase(0, 3);
        // Profiles written by Windows editors end their lines with CR LF.
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        std::string line = tk_trim(raw);
        if (line.empty()) continue;
        if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
            if (misplaced) return false;
            auto it = sections_.emplace(line.substr(1, line.size() - 2), key_map()).first;
            current = &it->first;
            continue;
        }
        if (!current) {
            misplaced = true;
            continue;
        }
        size_t eq = line.find('=');
        if (eq != std::string::npos) {
            sections_[*current].emplace(tk_trim(line.substr(0, eq)), line.substr(eq + 1));
        } else {
            bare_[*current].push_back(raw);
            sections_[*current].emplace(line, std::string());
        }
    }
    if (misplaced) throw tk_exception(tk_text(tk_txt_profile_no_section), tk_level_error);
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
    // A profile may hold a password: the file is for its owner only. An
    // existing file is narrowed before it is emptied, so a file that cannot
    // be narrowed keeps its old text rather than receiving the new one.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::fchmod(fd, 0600) == 0 && ::ftruncate(fd, 0) == 0;
    const std::string text = out.str();
    ok = ok && plat_write_all(fd, text.data(), text.size());
    return ::close(fd) == 0 && ok;
}
