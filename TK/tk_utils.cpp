#include "TK/tk_utils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>

#include "TK/tk_except.h"
#include "TK/tk_fname.h"
#include "TK/tk_log.h"
#include "TK/tk_texts.h"
#include "platform/plat_files.h"
#include "platform/plat_place.h"

const char* const common_dest_messages[dest_msg_count] = {
    "Destination name should specify a file, not folder.",
    "The program cannot resolve the path specified",
    "Destination name specifies an existing read-only file.",
    "Destination path does not exist.\nPlease verify the correct path was given.",
    "Destination name specifies the source file.\nPlease give another destination name.",
    "Destination name specifies a device, pipe or socket, not a file.\nPlease give the name of a regular file.",
    "Destination name is a link that another user made in a shared folder; it is not followed.\n"
    "Please give another destination name.",
    "Destination folder does not allow new files: the workbook is made there before it replaces the "
    "destination.\nPlease choose a folder you may write to.",
    "Destination file name is too long.\nPlease give a shorter name.",
    "Destination path is too long.\nPlease give a shorter path.",
    "Destination name specifies another user's file in a shared folder, which cannot be replaced.\n"
    "Please give another destination name.",
    "Destination is on a read-only file system.\nPlease choose a place you may write to.",
    "Destination name specifies a PDF document, which the workbook would replace.\n"
    "Please give the workbook's name (for example report.xls).",
};

bool tk_is_file_exist(const std::string& path, int mode) {
    tk_log::write(1, "tk_is_file_exist(%s)", path.c_str());
    if (plat_file_can_open(path, mode == tk_file_read_write)) return true;
    tk_log::write(1, "File not exists!");
    return false;
}

bool tk_is_path_exist(const std::string& path) {
    tk_log::write(1, "tk_is_path_exist(%s)", path.c_str());
    // Asked of the file system directly: switching the process's current
    // folder would disturb a worker thread that resolves relative paths.
    return plat_is_folder(path);
}

tk_cur_dir::tk_cur_dir(const std::string& path) {
    std::string target = path;
    if (target.empty()) target = tk_file_name("").get_drive_path();
    ok_ = plat_get_cwd(saved_) && plat_set_cwd(target);
    switched_ = ok_;
}

tk_cur_dir::~tk_cur_dir() {
    if (switched_) plat_set_cwd(saved_);
}

std::string tk_get_module_file_name() {
    std::string path = plat_program_path();
    if (path.empty()) throw tk_mail_assertion("tk_utils", 203);
    return path;
}

void tk_check_writable_file(const std::string& path, const char* read_only_text, const char* no_path_text,
                            const char* not_file_text) {
    tk_log::write(1, "tk_check_writable_file(%s)", path.c_str());
    // Looked at, never opened: opening a device to probe it may act on it.
    plat_file_place place;
    if (path.empty() || place.locate(path) != 0) throw tk_exception(no_path_text, tk_level_error);
    struct stat st {};
    if (place.status(st)) {
        if (!S_ISREG(st.st_mode)) throw tk_exception(not_file_text, tk_level_error);
        if (!place.allows(W_OK)) throw tk_exception(read_only_text, tk_level_error);
        return;
    }
    if (errno != ENOENT || !place.folder_allows(W_OK | X_OK)) throw tk_exception(no_path_text, tk_level_error);
}

const char* tk_source_problem(const std::string& source) {
    switch (plat_reading_kind(source)) {
        case plat_path_kind::regular: return nullptr;
        case plat_path_kind::folder: return tk_text(tk_txt_source_folder);
        case plat_path_kind::special: return tk_text(tk_txt_source_special);
        case plat_path_kind::unreadable: return tk_text(tk_txt_source_unreadable);
        case plat_path_kind::link_loop: return tk_text(tk_txt_source_loop);
        case plat_path_kind::too_long: return tk_text(tk_txt_source_too_long);
        default: return tk_text(plat_path_too_long(source) ? tk_txt_source_too_long : tk_txt_source_missing);
    }
}

std::string tk_full_path(const std::string& path) {
    std::string full;
    return plat_full_path(path, full) ? full : path;
}

std::string tk_default_destination(const std::string& source) {
    std::string drive, folder, name, ext;
    plat_split_path(tk_full_path(source), drive, folder, name, ext);
    return plat_make_path(drive, folder, name, ".xls");
}

std::string tk_destination_beside_source(const std::string& destination, const std::string& source) {
    if (destination.empty() || destination[0] == '/') return destination;
    std::string drive, folder, name, ext;
    plat_split_path(tk_full_path(source), drive, folder, name, ext);
    return tk_full_path(drive + folder + destination);
}

namespace {
// Which text of common_dest_messages the destination earns, or -1.
int dest_problem(const std::string& destination) {
    if (destination.empty()) return dest_msg_no_path;
    plat_file_place place;
    if (int err = place.locate(destination)) {
        if (place.refused_link()) return dest_msg_foreign_link;
        switch (err) {
            case ENOENT:
            case ENOTDIR:
            case EACCES: return dest_msg_no_path;
            case ENAMETOOLONG: return destination.size() >= PATH_MAX ? dest_msg_path_too_long : dest_msg_name_too_long;
            default: return dest_msg_cannot_resolve;
        }
    }
    struct stat st {};
    if (place.status(st)) {
        if (S_ISDIR(st.st_mode)) return dest_msg_is_folder;
        if (!S_ISREG(st.st_mode)) return dest_msg_not_regular;
        if (place.allows(R_OK) && !place.allows(R_OK | W_OK))
            return errno == EROFS ? dest_msg_read_only_fs : dest_msg_read_only;
        if (place.sticky_keeps(st)) return dest_msg_foreign_file;
    } else if (errno != ENOENT) {
        return dest_msg_cannot_resolve;
    } else if (static_cast<long>(place.name().size()) > place.name_max()) {
        return dest_msg_name_too_long;
    }
    if (!place.folder_allows(W_OK | X_OK) || !place.folder_takes_new_file())
        return errno == EROFS ? dest_msg_read_only_fs : dest_msg_folder_read_only;
    return -1;
}

// Whether the destination is an existing PDF document: its header within the
// first kilobyte, where readers look for it. A file that cannot be read tells nothing.
bool dest_is_pdf(const std::string& destination) {
    plat_file_place place;
    if (place.locate(destination) != 0) return false;
    const int fd =
        ::openat(place.folder(), place.name().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    std::string head;
    plat_read_upto(fd, 1024, head);
    ::close(fd);
    return head.find("%PDF-") != std::string::npos;
}
}  // namespace

void common_check_dest(const std::string& destination) {
    tk_log::write(1, "common_check_dest(%s)", destination.c_str());
    const int problem = dest_problem(destination);
    if (problem >= 0) throw tk_exception(common_dest_messages[problem], tk_level_error);
}

void common_check_not_source(const std::string& destination, const std::string& source) {
    if (!destination.empty() && !source.empty() && plat_same_file(destination, source))
        throw tk_exception(common_dest_messages[dest_msg_is_source], tk_level_error);
}

void common_check_dest(const std::string& destination, const std::string& source) {
    common_check_dest(destination);
    common_check_not_source(destination, source);
    if (dest_is_pdf(destination)) throw tk_exception(common_dest_messages[dest_msg_is_pdf], tk_level_error);
}

std::string tk_trim_left(const std::string& s) {
    size_t first = s.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : s.substr(first);
}

std::string tk_trim_right(const std::string& s) {
    size_t last = s.find_last_not_of(' ');
    if (last == std::string::npos) {
        if (!s.empty()) tk_log::write(1, "Special processing for all-spaces-string");
        return std::string();
    }
    return s.substr(0, last + 1);
}

std::string tk_trim(const std::string& s) { return tk_trim_left(tk_trim_right(s)); }

std::vector<std::string> tk_split(const std::string& s, char separator) {
    std::vector<std::string> pieces;
    if (s.empty()) return pieces;
    size_t start = 0;
    for (;;) {
        size_t pos = s.find(separator, start);
        if (pos == std::string::npos) {
            pieces.push_back(s.substr(start));
            return pieces;
        }
        pieces.push_back(s.substr(start, pos - start));
        start = pos + 1;
    }
}

double tk_overlap_ratio(double a1, double a2, double b1, double b2, bool by_longer) {
    if (a1 == a2) return (b1 <= a1 && a1 <= b2) ? 1.0 : 0.0;
    if (b1 == b2) return (a1 <= b1 && b1 <= a2) ? 1.0 : 0.0;
    double aLo = std::fmin(a1, a2), aHi = std::fmax(a1, a2);
    double bLo = std::fmin(b1, b2), bHi = std::fmax(b1, b2);
    double overlap = std::fmin(aHi, bHi) - std::fmax(aLo, bLo);
    double lenA = aHi - aLo, lenB = bHi - bLo;
    return overlap / (by_longer ? std::fmax(lenA, lenB) : std::fmin(lenA, lenB));
}
