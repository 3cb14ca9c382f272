#include "platform/plat_place.h"

#include "platform/plat_temp.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <vector>

namespace {
// As many links as the kernel follows in one path.
constexpr int max_links = 40;

int open_folder(int at, const char* name) { return ::openat(at, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }

// The names of a path in order, before those still to walk; "." and empty
// names (from "//") change nothing and are dropped.
void put_names_first(const std::string& path, std::deque<std::string>& names) {
    std::deque<std::string> front;
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string name = path.substr(start, end - start);
        if (!name.empty() && name != ".") front.push_back(std::move(name));
        start = end + 1;
    }
    names.insert(names.begin(), front.begin(), front.end());
}

// The protected_symlinks rule: a link in a sticky folder that everyone may
// write is followed only when it belongs to the caller or to the folder's
// owner, so that no other user can plant one that leads elsewhere.
bool may_follow(int folder, const struct stat& link) {
    if (link.st_uid == ::geteuid()) return true;
    struct stat f {};
    if (::fstat(folder, &f) != 0) return false;
    const bool shared = (f.st_mode & S_ISVTX) && (f.st_mode & S_IWOTH);
    return !shared || f.st_uid == link.st_uid;
}

// The link's text; false with errno.
bool read_link(int folder, const std::string& name, std::string& target) {
    std::vector<char> buf(PATH_MAX);
    ssize_t n = ::readlinkat(folder, name.c_str(), buf.data(), buf.size());
    if (n < 0) return false;
    if (static_cast<size_t>(n) >= buf.size()) {
        errno = ENAMETOOLONG;
        return false;
    }
    target.assign(buf.data(), static_cast<size_t>(n));
    return true;
}
}  // namespace

plat_file_place::~plat_file_place() { close(); }

void plat_file_place::close() {
    if (folder_ >= 0) ::close(folder_);
    folder_ = -1;
    name_.clear();
}

int plat_file_place::locate(const std::string& path) {
    close();
    refused_link_ = false;
    if (path.empty()) return ENOENT;
    // The kernel takes no longer path in one call: neither do we.
    if (path.size() >= PATH_MAX) return ENAMETOOLONG;
    std::deque<std::string> names;
    put_names_first(path, names);
    bool folder_wanted = path.back() == '/';
    int dir = open_folder(AT_FDCWD, path[0] == '/' ? "/" : ".");
    if (dir < 0) return errno;
    int links = 0;
    while (!names.empty()) {
        const std::string name = std::move(names.front());
        names.pop_front();
        const bool last = names.empty();
        struct stat st {};
        if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            const int err = errno;
            if (err == ENOENT && last && !folder_wanted) {
                folder_ = dir;
                name_ = name;
                return 0;
            }
            ::close(dir);
            return err;
        }
        if (S_ISLNK(st.st_mode)) {
            std::string target;
            int err = 0;
            if (++links > max_links) {
                err = ELOOP;
            } else if (!may_follow(dir, st)) {
                err = EACCES;
                refused_link_ = true;
            } else if (!read_link(dir, name, target)) {
                err = errno;
            } else if (target.empty()) {
                err = ENOENT;
            }
            if (err == 0 && target[0] == '/') {
                const int root = open_folder(AT_FDCWD, "/");
                if (root < 0) {
                    err = errno;
                } else {
                    ::close(dir);
                    dir = root;
                }
            }
            if (err != 0) {
                ::close(dir);
                return err;
            }
            if (last && target.back() == '/') folder_wanted = true;
            put_names_first(target, names);
            continue;
        }
        if (last && !folder_wanted) {
            folder_ = dir;
            name_ = name;
            return 0;
        }
        const int next = open_folder(dir, name.c_str());
        const int err = errno;
        ::close(dir);
        if (next < 0) return err;
        dir = next;
    }
    folder_ = dir;
    name_ = ".";
    return 0;
}

bool plat_file_place::status(struct stat& st) const {
    if (folder_ < 0) {
        errno = EBADF;
        return false;
    }
    return ::fstatat(folder_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool plat_file_place::allows(int mode) const {
    return folder_ >= 0 && ::faccessat(folder_, name_.c_str(), mode, AT_EACCESS) == 0;
}

bool plat_file_place::folder_allows(int mode) const {
    return folder_ >= 0 && ::faccessat(folder_, ".", mode, AT_EACCESS) == 0;
}

bool plat_file_place::folder_takes_new_file() const {
    if (folder_ < 0) return false;
    std::string temp;
    const int fd = plat_create_temp(folder_, name_, name_max(), temp);
    if (fd < 0) return false;
    ::close(fd);
    ::unlinkat(folder_, temp.c_str(), 0);
    plat_release_temp(temp);
    return true;
}

bool plat_file_place::sticky_keeps(const struct stat& entry) const {
    struct stat f {};
    if (folder_ < 0 || ::fstat(folder_, &f) != 0 || !(f.st_mode & S_ISVTX)) return false;
    const uid_t me = ::geteuid();
    if (entry.st_uid == me) return false;
    if (me != 0 && f.st_uid != me) return true;
    return S_ISREG(entry.st_mode) && (f.st_mode & S_IWOTH) && entry.st_uid != f.st_uid;
}

plat_file_id plat_file_place::identity() const {
    plat_file_id id;
    struct stat st {};
    if (status(st)) id = plat_file_id{true, st.st_dev, st.st_ino};
    return id;
}

long plat_file_place::name_max() const {
    long n = folder_ >= 0 ? ::fpathconf(folder_, _PC_NAME_MAX) : -1;
    return n > 0 ? n : NAME_MAX;
}
