#include "TK/tk_prof.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "TK/tk_except.h"
#include "TK/tk_log.h"
#include "TK/tk_texts.h"
#include "TK/tk_utils.h"
#include "platform/plat_files.h"

namespace {
// Lines longer than this are not a profile: stop rather than fill memory
// (a device such as /dev/zero never ends its first line).
constexpr size_t max_line = 1u << 20;

enum class read_result { line, end, too_long };

read_result read_line(std::istream& in, std::string& line) {
    line.clear();
    std::streambuf* buf = in.rdbuf();
    for (;;) {
        int c = buf->sbumpc();
        if (c == std::char_traits<char>::eof()) return line.empty() ? read_result::end : read_result::line;
        if (c == '\n') return read_result::line;
        if (line.size() >= max_line) return read_result::too_long;
        line += static_cast<char>(c);
    }
}
}  // namespace

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
    std::string raw;
    for (;;) {
        read_result r = read_line(in, raw);
        if (r == read_result::end) return true;
        if (r == read_result::too_long) return false;
        // Profiles written by Windows editors end their lines with CR LF.
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        std::string line = tk_trim(raw);
        if (line.empty()) continue;
        if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
            auto it = sections_.emplace(line.substr(1, line.size() - 2), key_map()).first;
            current = &it->first;
            continue;
        }
        if (!current) return false;
        size_t eq = line.find('=');
        if (eq != std::string::npos) {
            sections_[*current].emplace(tk_trim(line.substr(0, eq)), line.substr(eq + 1));
        } else {
            bare_[*current].push_back(raw);
            sections_[*current].emplace(line, std::string());
        }
    }
}

bool tk_profile::store(const std::string& path) const {
    tk_log::write(2, "tk_profile::store(%s)", path.c_str());
    std::ostringstream out;
    for (const auto& section : sections_) {
        out << '[' << section.first << "]\n";
        for (const auto& kv : section.second) {
            if (section.first == "Selected Tables" && kv.second.empty()) out << kv.first << '\n';
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
