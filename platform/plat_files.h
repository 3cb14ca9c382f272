// File-system and process facts the toolkit needs from the operating system.
#pragma once

#include <string>

// Longest path the toolkit accepts once made full.
constexpr std::size_t plat_max_path = 4096;

// Whether the path names something that opens for reading (for_write: for
// reading and writing). A folder is never a file here.
bool plat_file_can_open(const std::string& path, bool for_write);
// Whether the path names an existing plain file (not a folder, device or pipe).
bool plat_is_regular_file(const std::string& path);
// Whether the path names an existing folder.
bool plat_is_folder(const std::string& path);
// What a path that is to be read names, told without opening it (a pipe
// would wait for a writer, a device may never end).
enum class plat_path_kind { regular, missing, folder, special, unreadable, link_loop, too_long };
plat_path_kind plat_reading_kind(const std::string& path);
// The path made absolute against the current folder, "." and ".." removed
// (symbolic links are kept). False for an empty path or a result that is too long.
bool plat_full_path(const std::string& path, std::string& full);
// Whether the system refuses the path for its length alone: the whole path
// or one of its names is longer than a path or a name may be.
bool plat_path_too_long(const std::string& path);
// The running program's own file; empty when it cannot be told.
std::string plat_program_path();
// The user's home folder (an absolute $HOME, else the password database),
// without a trailing '/'; empty when unknown.
std::string plat_home_folder();
// The current folder; false when it cannot be read.
bool plat_get_cwd(std::string& folder);
bool plat_set_cwd(const std::string& folder);
// Whether both paths name the same file: the same inode when both exist,
// else the same full path.
bool plat_same_file(const std::string& a, const std::string& b);

// A full path split the way the toolkit stores it: the drive is always empty
// here, the folder keeps its leading and trailing '/', the extension its '.'.
// A name whose only dot is its first character (".hidden") has no extension.
void plat_split_path(const std::string& full, std::string& drive, std::string& folder, std::string& name,
                     std::string& ext);
// The reverse of plat_split_path: a missing '/' after the folder and a missing
// '.' before the extension are added.
std::string plat_make_path(const std::string& drive, const std::string& folder, const std::string& name,
                           const std::string& ext);

// Writes all of the bytes, going on after interrupted and partial writes;
// false on an error (errno tells which; EIO when nothing more can be written).
bool plat_write_all(int fd, const void* data, std::size_t size);
// Appends what the descriptor holds to text, to its end or until text holds
// more than max bytes (a small file's reader then refuses it); false on a
// read error (errno tells which).
bool plat_read_upto(int fd, std::size_t max, std::string& text);

struct plat_local_time {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
plat_local_time plat_now();
