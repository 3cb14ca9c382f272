#include "platform/plat_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <map>
#include <vector>

#include "platform/plat_files.h"
#include "platform/plat_replace.h"

struct plat_reg_root {
    int id;
};
namespace {
const plat_reg_root current_user_root{1};
}
const plat_reg_root* const plat_hkey_current_user = &current_user_root;

namespace {
struct value_t {
    unsigned long type = plat_reg_type_none;
    std::string data;  // string bytes (no zero), or the decimal number
};
using value_map = std::map<std::string, value_t>;
}  // namespace

// The file is read once, when the key is opened: its values are kept here.
struct plat_reg_handle {
    std::string file;
    value_map values;
};

namespace {
// A settings file is small; a larger file is refused rather than read (a
// stray huge file would stall the start and fill the memory).
constexpr size_t max_file_size = 1u << 20;

long from_errno(int err) {
    switch (err) {
        case ENOENT: case ENOTDIR: return plat_reg_not_found;
        case EACCES: case EPERM: case EROFS: return plat_reg_access_denied;
        default: return plat_reg_write_fault;
    }
}

std::string escape(const std::string& s, bool is_name) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (is_name && c == '=') out += "\\=";
        else if (c < 0x20 || c == 0x7f) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else out += static_cast<char>(c);
    }
    return out;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads escaped text from pos up to an unescaped stop character (0: to the end).
bool unescape(const std::string& line, size_t& pos, char stop, std::string& out) {
    out.clear();
    while (pos < line.size()) {
        char c = line[pos];
        if (stop && c == stop) return true;
        ++pos;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (pos >= line.size()) return false;
        char e = line[pos++];
        if (e == 'n') out += '\n';
        else if (e == 'r') out += '\r';
        else if (e == 'x') {
            if (pos + 2 > line.size()) return false;
            int h = hex_value(line[pos]), l = hex_value(line[pos + 1]);
            if (h < 0 || l < 0) return false;
            out += static_cast<char>(h * 16 + l);
            pos += 2;
        } else out += e;
    }
    return stop == 0;
}

// Lines "sz NAME=VALUE" or "dword NAME=NUMBER"; other lines are skipped.
value_map parse(const std::string& text) {
    value_map values;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        size_t blank = line.find(' ');
        if (line.empty() || line[0] == '#' || blank == std::string::npos) continue;
        std::string kind = line.substr(0, blank);
        size_t pos = blank + 1;
        std::string name, data;
        if (!unescape(line, pos, '=', name) || pos >= line.size()) continue;
        ++pos;
        if (!unescape(line, pos, 0, data)) continue;
        value_t v;
        if (kind == "sz") {
            v.type = plat_reg_type_sz;
        } else if (kind == "dword") {
            char* stop = nullptr;
            errno = 0;
            unsigned long n = std::strtoul(data.c_str(), &stop, 10);
            if (data.empty() || *stop || errno || n > 0xFFFFFFFFul) continue;
            v.type = plat_reg_type_dword;
        } else {
            continue;
        }
        v.data = data;
        values.emplace(name, v);  // the first line of a name wins
    }
    return values;
}

long read_file(const std::string& file, std::string& text) {
    int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return errno == ENOENT ? plat_reg_ok : from_errno(errno);
    text.clear();
    const bool read = plat_read_upto(fd, max_file_size, text);
    ::close(fd);
    if (!read) return plat_reg_read_fault;
    return text.size() > max_file_size ? plat_reg_invalid_data : plat_reg_ok;
}

// The values of a key file; a missing file holds none.
long read_values(const std::string& file, value_map& values) {
    std::string text;
    long rc = read_file(file, text);
    if (rc == plat_reg_ok) values = parse(text);
    return rc;
}

long write_file(const std::string& file, const value_map& values) {
    std::string text = "# Tabrixa settings: TYPE NAME=VALUE\n";
    for (const auto& kv : values)
        text += (kv.second.type == plat_reg_type_dword ? "dword " : "sz ") + escape(kv.first, true) + "=" +
                escape(kv.second.data, false) + "\n";
    // As a workbook is written: a link (a dotfile manager's) keeps leading to
    // its target, which is replaced; a replaced file keeps its owner (root
    // running with a user's configuration folder leaves the file the user's).
    const plat_replace_result r = plat_replace_file(file, text, 0600);
    if (r.refused_link || r.refused_file || r.not_regular) return plat_reg_access_denied;
    return r.error ? from_errno(r.error) : plat_reg_ok;
}

long make_folders(const std::string& folder) {
    // Every missing part is made private to the user.
    for (size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos != folder.size() && folder[pos] != '/') continue;
        std::string part = folder.substr(0, pos);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return from_errno(errno);
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return plat_reg_access_denied;
    return plat_reg_ok;
}


}  // namespace

std::string plat_reg_root_folder(const plat_reg_root* root) {
    if (root != plat_hkey_current_user) return std::string();
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG rules say.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && *xdg == '/') {
        base = xdg;
    } else {
        std::string home = plat_home_folder();
        if (home.empty()) return std::string();
        base = home + "/.config";
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base;
}

std::string plat_reg_key_file(const plat_reg_root* root, const std::string& sub_key) {
    std::string base = plat_reg_root_folder(root);
    if (base.empty()) return std::string();
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = 0; i <= sub_key.size(); ++i) {
        if (i == sub_key.size() || sub_key[i] == '\\' || sub_key[i] == '/') {
            if (part == "." || part == "..") return std::string();
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += sub_key[i];
        }
    }
    // Under "Software" the registry keeps programs; the configuration folder already is that place.
    if (!parts.empty() && strcasecmp(parts[0].c_str(), "Software") == 0) parts.erase(parts.begin());
    if (parts.empty()) return std::string();
    std::string file = base;
    for (const std::string& p : parts) file += "/" + p;
    return file + "/settings";
}

long plat_reg_create(const plat_reg_root* root, const std::string& sub_key, plat_reg_handle** key,
                     unsigned long* disposition) {
    if (!key) return plat_reg_invalid_parameter;
    std::string file = plat_reg_key_file(root, sub_key);
    if (file.empty()) return plat_reg_invalid_parameter;
    long rc = make_folders(file.substr(0, file.rfind('/')));
    if (rc != plat_reg_ok) return rc;
    unsigned long disp = plat_reg_opened_existing_key;
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        rc = write_file(file, value_map());
        if (rc != plat_reg_ok) return rc;
        disp = plat_reg_created_new_key;
    } else if (!S_ISREG(st.st_mode)) {
        return plat_reg_access_denied;
    }
    value_map values;
    if (disp == plat_reg_opened_existing_key) {
        rc = read_values(file, values);
        if (rc != plat_reg_ok) return rc;
    }
    if (disposition) *disposition = disp;
    *key = new plat_reg_handle{file, std::move(values)};
    return plat_reg_ok;
}

long plat_reg_close(plat_reg_handle* key) {
    if (!key) return plat_reg_invalid_handle;
    delete key;
    return plat_reg_ok;
}

long plat_reg_query(plat_reg_handle* key, const std::string& name, unsigned long* type, unsigned char* data,
                    unsigned long* size) {
    if (!key) return plat_reg_invalid_handle;
    if (data && !size) return plat_reg_invalid_parameter;
    const value_map& values = key->values;
    auto it = values.find(name);
    if (it == values.end()) return plat_reg_not_found;
    std::string bytes;
    if (it->second.type == plat_reg_type_dword) {
        uint32_t n = static_cast<uint32_t>(std::strtoul(it->second.data.c_str(), nullptr, 10));
        bytes.assign(reinterpret_cast<const char*>(&n), sizeof n);
    } else {
        bytes = it->second.data;
        bytes += '\0';
    }
    if (type) *type = it->second.type;
    unsigned long needed = static_cast<unsigned long>(bytes.size());
    if (!size) return plat_reg_ok;
    if (data) {
        if (*size < needed) {
            *size = needed;
            return plat_reg_more_data;
        }
        std::memcpy(data, bytes.data(), bytes.size());
    }
    *size = needed;
    return plat_reg_ok;
}

long plat_reg_set(plat_reg_handle* key, const std::string& name, unsigned long type, const unsigned char* data,
                  unsigned long size) {
    if (!key) return plat_reg_invalid_handle;
    if (!data && size) return plat_reg_invalid_parameter;
    value_t v;
    v.type = type;
    if (type == plat_reg_type_dword) {
        if (size != 4) return plat_reg_invalid_parameter;
        uint32_t n;
        std::memcpy(&n, data, 4);
        v.data = std::to_string(n);
    } else if (type == plat_reg_type_sz) {
        const char* p = reinterpret_cast<const char*>(data);
        v.data.assign(p, p ? strnlen(p, size) : 0);
    } else {
        return plat_reg_invalid_parameter;
    }
    value_map values = key->values;
    values[name] = v;
    const long rc = write_file(key->file, values);
    if (rc == plat_reg_ok) key->values = std::move(values);
    return rc;
}

long plat_reg_delete(plat_reg_handle* key, const std::string& name) {
    if (!key) return plat_reg_invalid_handle;
    value_map values = key->values;
    if (values.erase(name) == 0) return plat_reg_ok;
    const long rc = write_file(key->file, values);
    if (rc == plat_reg_ok) key->values = std::move(values);
    return rc;
}
