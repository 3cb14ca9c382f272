#include "platform/plat_files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

bool plat_file_can_open(const std::string& path, bool for_write) {
    if (path.empty()) return false;
    // Non-blocking, so that probing a FIFO does not wait for a writer.
    int fd = ::open(path.c_str(), (for_write ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
    ::close(fd);
    return ok;
}

bool plat_is_regular_file(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

plat_path_kind plat_reading_kind(const std::string& path) {
    if (path.empty()) return plat_path_kind::missing;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        switch (errno) {
            case ELOOP: return plat_path_kind::link_loop;
            case ENAMETOOLONG: return plat_path_kind::too_long;
            case EACCES: return plat_path_kind::unreadable;
            default: return plat_path_kind::missing;
        }
    }
    if (S_ISDIR(st.st_mode)) return plat_path_kind::folder;
    if (!S_ISREG(st.st_mode)) return plat_path_kind::special;
    const bool readable = ::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0;
    return readable ? plat_path_kind::regular : plat_path_kind::unreadable;
}

bool plat_is_folder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool plat_full_path(const std::string& path, std::string& full) {
    if (path.empty()) return false;
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(path), ec);
    if (ec) return false;
    std::string text = p.lexically_normal().string();
    if (text.empty() || text.size() >= plat_max_path) return false;
    full = text;
    return true;
}

bool plat_path_too_long(const std::string& path) {
    if (path.size() >= PATH_MAX) return true;
    for (size_t start = 0; start < path.size();) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end - start > NAME_MAX) return true;
        start = end + 1;
    }
    return false;
}

std::string plat_program_path() {
    std::vector<char> buf(plat_max_path + 1);
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    // A result that fills the buffer may be cut: treat it as unknown.
    if (n <= 0 || static_cast<size_t>(n) >= buf.size() - 1) return std::string();
    return std::string(buf.data(), static_cast<size_t>(n));
}

bool plat_get_cwd(std::string& folder) {
    std::vector<char> buf(plat_max_path + 1);
    if (!::getcwd(buf.data(), buf.size())) return false;
    folder = buf.data();
    return true;
}

bool plat_set_cwd(const std::string& folder) { return !folder.empty() && ::chdir(folder.c_str()) == 0; }

bool plat_same_file(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    std::string fa, fb;
    return plat_full_path(a, fa) && plat_full_path(b, fb) && fa == fb;
}

void plat_split_path(const std::string& full, std::string& drive, std::string& folder, std::string& name,
                     std::string& ext) {
    drive.clear();
    size_t slash = full.rfind('/');
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    folder = full.substr(0, start);
    std::string base = full.substr(start);
    size_t dot = base.rfind('.');
    // A name that starts with its only dot (".hidden") is all stem.
    if (dot == std::string::npos || dot == 0) {
        name = base;
        ext.clear();
    } else {
        name = base.substr(0, dot);
        ext = base.substr(dot);
    }
}

std::string plat_make_path(const std::string& drive, const std::string& folder, const std::string& name,
                           const std::string& ext) {
    std::string out = drive + folder;
    if (!folder.empty() && out.back() != '/') out += '/';
    out += name;
    if (!ext.empty()) {
        if (ext[0] != '.') out += '.';
        out += ext;
    }
    return out;
}

bool plat_write_all(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    for (std::size_t done = 0; done < size;) {
        ssize_t n = ::write(fd, p + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool plat_read_upto(int fd, std::size_t max, std::string& text) {
    char buf[8192];
    while (text.size() <= max) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    return true;
}

plat_local_time plat_now() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    plat_local_time t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    return t;
}

std::string plat_home_folder() {
    std::string home;
    const char* env = std::getenv("HOME");
    if (env && *env == '/') {
        home = env;
    } else {
        struct passwd pw {};
        struct passwd* found = nullptr;
        std::vector<char> buf(16384);
        if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir)
            home = found->pw_dir;
    }
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home;
}
