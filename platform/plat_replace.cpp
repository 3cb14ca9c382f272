#include "platform/plat_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/plat_files.h"
#include "platform/plat_place.h"
#include "platform/plat_temp.h"

bool plat_keep_owner(int fd, const struct stat& st) {
    if (st.st_uid == ::geteuid() && st.st_gid == ::getegid()) return true;
    return ::fchown(fd, st.st_uid, st.st_gid) == 0 || ::fchown(fd, static_cast<uid_t>(-1), st.st_gid) == 0;
}

plat_replace_result plat_replace_file(const std::string& path, const std::string& data, mode_t new_mode,
                                      mode_t keep_mask) {
    plat_replace_result result;
    plat_file_place place;
    if (int err = place.locate(path)) {
        result.error = err;
        result.refused_link = place.refused_link();
        return result;
    }
    struct stat st {};
    const bool exists = place.status(st);
    if (!exists && errno != ENOENT) {
        result.error = errno;
        return result;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        result.error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        result.not_regular = true;
        return result;
    }
    if (exists && place.sticky_keeps(st)) {
        result.error = EACCES;
        result.refused_file = true;
        return result;
    }
    std::string temp;
    const int fd = plat_create_temp(place.folder(), place.name(), place.name_max(), temp);
    if (fd < 0) {
        result.error = errno;
        return result;
    }
    mode_t mode = new_mode & 0777;
    if (exists) {
        mode = st.st_mode & keep_mask & 0777;
        (void)plat_keep_owner(fd, st);
    }
    int err = 0;
    if (::fchmod(fd, mode) != 0) err = errno;
    if (!err && !plat_write_all(fd, data.data(), data.size())) err = errno ? errno : EIO;
    if (!err && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && !err) err = errno;
    if (!err && ::renameat(place.folder(), temp.c_str(), place.folder(), place.name().c_str()) != 0) err = errno;
    if (err) ::unlinkat(place.folder(), temp.c_str(), 0);
    plat_release_temp(temp);
    result.error = err;
    return result;
}
