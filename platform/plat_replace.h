// Small files (profiles, the settings file) written the way workbooks are:
// into a hidden file beside the destination that is renamed over it only
// once complete, so a failed write keeps the old file.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

struct plat_replace_result {
    int error = 0;              // 0, or the errno that stopped the write
    bool refused_link = false;  // the name is a link another user made in a shared folder
    bool refused_file = false;  // another user's file in a sticky folder (plat_file_place::sticky_keeps)
    bool not_regular = false;   // the name is a folder, device, pipe or socket
};

// Replaces the file at path by data. The name is followed as a workbook's
// is: a link leads to its target, which is replaced (the link stays), except
// a link another user planted in a sticky folder that everyone may write.
// Only a regular file is replaced, and none that the folder's sticky bit
// keeps from the caller. A new file gets new_mode; a replaced one
// keeps its owner and group where the caller may give them, and its
// permission bits within keep_mask (never set-id or sticky bits).
plat_replace_result plat_replace_file(const std::string& path, const std::string& data, mode_t new_mode,
                                      mode_t keep_mask = 0777);

// Gives fd, the new file that replaces one of status st, that file's owner
// and group where the caller may give them, else its group alone; false when
// neither could be given (the new file stays the caller's).
bool plat_keep_owner(int fd, const struct stat& st);
