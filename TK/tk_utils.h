// File-system and string utilities of the toolkit.
#pragma once

#include <string>
#include <vector>

// Mode of tk_is_file_exist: read and write access; any other value tests reading.
constexpr int tk_file_read_write = 1;
constexpr int tk_file_read = 0x4000;

// Whether the file opens (mode tk_file_read_write: for reading and writing).
// A folder is not a file. Never throws.
bool tk_is_file_exist(const std::string& path, int mode = tk_file_read);
// Whether the folder exists. Never throws.
bool tk_is_path_exist(const std::string& path);

// Switches the current folder for the life of the object (empty path: the
// program's folder) and switches back at the end.
class tk_cur_dir {
public:
    explicit tk_cur_dir(const std::string& path);
    ~tk_cur_dir();
    tk_cur_dir(const tk_cur_dir&) = delete;
    tk_cur_dir& operator=(const tk_cur_dir&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_ = true;
    bool switched_ = false;
    std::string saved_;
};

// The program file's full path; an internal error when it cannot be told.
std::string tk_get_module_file_name();

// Texts of the destination check, all of level 1.
enum common_dest_message {
    dest_msg_is_folder = 0,
    dest_msg_cannot_resolve = 1,
    dest_msg_read_only = 2,
    dest_msg_no_path = 3,
    dest_msg_is_source = 4,
    dest_msg_not_regular = 5,
    dest_msg_foreign_link = 6,
    dest_msg_folder_read_only = 7,
    dest_msg_name_too_long = 8,
    dest_msg_path_too_long = 9,
    dest_msg_foreign_file = 10,
    dest_msg_read_only_fs = 11,
    dest_msg_is_pdf = 12,
    dest_msg_count
};
extern const char* const common_dest_messages[dest_msg_count];

// Returns when a file may be written at the path: an existing regular file
// the user may write, or a new file in a folder the user may write to.
// Throws tk_exception level 1 with read_only_text for an existing read-only
// file, not_file_text for a folder, device, pipe or socket (never opened),
// no_path_text when the path is empty or its folder is missing or closed.
void tk_check_writable_file(const std::string& path, const char* read_only_text, const char* no_path_text,
                            const char* not_file_text);
// Returns when the workbook can be written at the destination, else throws
// tk_exception level 1 with one of common_dest_messages. Everything the
// final write would run into is found here, before any page is converted:
// a folder, a device, pipe or socket, a link another user made in a shared
// (sticky, world-writable) folder, a read-only file, a missing folder, a
// folder that does not allow new files (the workbook is made beside the
// destination and renamed over it), another user's file in a sticky folder,
// a name or path that is too long.
void common_check_dest(const std::string& destination);
// The same, and the destination must not be the source file itself (a
// conversion would otherwise overwrite the document it reads), nor any other
// PDF document (the source and the destination given the wrong way round).
void common_check_dest(const std::string& destination, const std::string& source);
// Throws the level-1 "is the source" error when both paths name one file.
void common_check_not_source(const std::string& destination, const std::string& source);

// Why the source cannot be read, or null when it can: a missing file, a name
// too long, a folder, a device, pipe or socket, a file without read
// permission, a link loop each have their own text.
const char* tk_source_problem(const std::string& source);
// The path made full against the current folder, or as it is where it
// cannot be (empty, or too deep for a full path).
std::string tk_full_path(const std::string& path);
// Where a conversion without a destination writes: beside the source, its
// name with the extension ".xls" (".hidden" gives ".hidden.xls"); the full
// path, or below a folder too deep for one, the source's own spelling.
std::string tk_default_destination(const std::string& source);
// A relative destination is taken in the source's folder (the folder the
// program was started from means nothing to a user who chose the source).
std::string tk_destination_beside_source(const std::string& destination, const std::string& source);

// Only the blank ' ' is trimmed; tabs and line ends are text.
std::string tk_trim_left(const std::string& s);
std::string tk_trim_right(const std::string& s);
std::string tk_trim(const std::string& s);
// Pieces between separators, empty pieces kept; an empty text gives none.
std::vector<std::string> tk_split(const std::string& s, char separator);

// How much two intervals overlap, as a share of the shorter one (of the longer
// one with by_longer): above 0 when they overlap by a length or a point interval
// lies inside the other, 0 when they only touch, below 0 when they are apart.
double tk_overlap_ratio(double a1, double a2, double b1, double b2, bool by_longer = false);
