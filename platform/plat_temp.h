// The temporary file a destination is written into before it is renamed
// over the destination: unnamed while it is written where the file system
// allows, else hidden beside the destination. While it has a name, every
// signal whose default action ends the process removes it before it ends
// the process as it otherwise would. A file-size limit never ends the
// process: SIGXFSZ is ignored, so that the write fails with EFBIG.
#pragma once

#include <string>

// Creates ".NAME.XXXXXX" (mode 0600, exclusively) in the folder (a descriptor,
// O_PATH will do). NAME is cut at a character boundary when needed, so the
// temporary name fits whenever the destination's name fits the folder's
// longest name. Returns the descriptor, or -1 with errno; the name made goes
// to temp_name. One temporary file at a time is removed on a signal; a second
// one made meanwhile is simply not.
int plat_create_temp(int folder, const std::string& name, long name_max, std::string& temp_name);
// An unnamed file in the folder (O_TMPFILE, named later through /proc), or
// -1 with errno when the system cannot make one.
int plat_create_unnamed(int folder);
// Gives the unnamed file its hidden name ".NAME.XXXXXX" beside `name`, armed
// as plat_create_temp arms it. 0, or -1 with errno.
int plat_name_unnamed(int fd, int folder, const std::string& name, long name_max, std::string& temp_name);
// Makes SIGXFSZ ignored unless the program set it otherwise (for good).
void plat_ignore_file_size_signal();
// The temporary file is gone (renamed or removed): signals go back to what
// they did before.
void plat_release_temp(const std::string& temp_name);

// An anonymous scratch file for data that would otherwise fill memory: in
// the folder `beside` when one is given and takes it, else in $TMPDIR (else
// /tmp). It has no name from the start (O_TMPFILE) or loses it at once, so
// no end of the process, not even SIGKILL, leaves it behind. Returns the
// descriptor (read and write), or -1 with errno; `folder` receives the
// folder used.
int plat_create_scratch(std::string& folder, const std::string& beside = std::string());
// Gives the file system back the whole blocks of the file's first `bytes`
// (they read as zeros afterwards); the file's size stays. False where the
// file system cannot.
bool plat_release_front(int fd, unsigned long long bytes);
