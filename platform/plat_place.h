// Where a file is to be written: the folder that holds it, kept open, and the
// file's name in that folder. The path is walked one name at a time, so that
// relative paths work below folders of any depth and every symbolic link on
// the way is judged before it is followed.
#pragma once

#include <sys/stat.h>

#include <string>

// Which file a name leads to: none, or its device and inode.
struct plat_file_id {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator==(const plat_file_id& o) const { return exists == o.exists && dev == o.dev && ino == o.ino; }
};

class plat_file_place {
public:
    plat_file_place() = default;
    ~plat_file_place();
    plat_file_place(const plat_file_place&) = delete;
    plat_file_place& operator=(const plat_file_place&) = delete;

    // 0, or the errno that ended the walk (ENOENT or ENOTDIR for a missing
    // folder, ENAMETOOLONG, ELOOP, ...). A link is followed only where the
    // kernel's protected_symlinks rule would follow it: in a sticky folder
    // that everyone may write, the link must belong to the caller or to the
    // folder's owner; any other link gives EACCES with refused_link(). A
    // missing last name is no error: the file can be created there.
    int locate(const std::string& path);

    // Descriptor of the folder (O_PATH); -1 before a successful locate.
    int folder() const { return folder_; }
    // The last name, never a link; "." when the path ends in a folder
    // ("/", "out/").
    const std::string& name() const { return name_; }
    bool refused_link() const { return refused_link_; }
    // The entry's own status; false with errno when it cannot be read (ENOENT
    // for a file still to be made).
    bool status(struct stat& st) const;
    // Whether the caller may use the entry, or its folder, as the access(2)
    // mode asks (R_OK, W_OK, X_OK), judged by the effective ids.
    bool allows(int mode) const;
    bool folder_allows(int mode) const;
    // Whether a new file can really be made beside the entry (made and
    // removed again): a read-only or pseudo file system refuses it although
    // the folder's mode bits allow it.
    bool folder_takes_new_file() const;
    // Whether the folder's sticky bit keeps the caller from replacing the
    // entry of this status: the caller is neither the entry's nor the
    // folder's owner (root may replace any entry); and in a sticky folder
    // that everyone may write, a regular file of neither the caller nor the
    // folder's owner is not written, not even by root, as the kernel's
    // protected_regular rule refuses to open it: whoever planted it there
    // would own what is written in its place.
    bool sticky_keeps(const struct stat& entry) const;
    // The entry's identity (exists false when there is none).
    plat_file_id identity() const;
    // The longest name the folder's file system takes.
    long name_max() const;

private:
    void close();

    int folder_ = -1;
    std::string name_;
    bool refused_link_ = false;
};
