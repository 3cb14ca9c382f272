// The hidden temporary file a destination is written into before it is
// renamed over the destination. While it exists, SIGINT and SIGTERM remove it
// before they end the process as they otherwise would.
#pragma once

#include <string>

// Creates ".NAME.XXXXXX" (mode 0600, exclusively) in the folder (a descriptor,
// O_PATH will do). NAME is cut at a character boundary when needed, so the
// temporary name fits whenever the destination's name fits the folder's
// longest name. Returns the descriptor, or -1 with errno; the name made goes
// to temp_name. One temporary file at a time is removed on a signal; a second
// one made meanwhile is simply not.
int plat_create_temp(int folder, const std::string& name, long name_max, std::string& temp_name);
// The temporary file is gone (renamed or removed): signals go back to what
// they did before.
void plat_release_temp(const std::string& temp_name);

// An anonymous scratch file in $TMPDIR (else /tmp) for data that would
// otherwise fill memory: it has no name from the start (O_TMPFILE) or loses
// it at once, so no end of the process, not even SIGKILL, leaves it behind.
// Returns the descriptor (read and write), or -1 with errno; `folder`
// receives the folder used.
int plat_create_scratch(std::string& folder);
