#pragma once
// Replacing a file whole or not at all: the new content goes to a file of its own beside
// the one it replaces and is renamed over it only once it is complete, so a full disk or
// an interruption leaves the old file as it was. Safe with many copies of the program
// saving at once: each new file has a name of its own.

#include <sys/types.h>

/// One replacement under way, from begin_replacement to finish_replacement.
struct file_replacement {
    char *target = nullptr;    ///< the file replaced: the path with its symbolic links followed
    char *temporary = nullptr; ///< the new file beside it, under a unique name; null when
                               ///< the target is written in place
    int fd = -1;               ///< open for writing on temporary
};

/// Starts replacing the file path names. A symbolic link is followed, so the file it
/// points at is replaced and the link stays. The new file gets the existing file's
/// permission bits, or new_mode less the umask when there is none yet. Refuses a file the
/// user may not write (EACCES). An existing file that is no regular file (a device, a
/// pipe) is opened and written in place instead, never replaced. Returns 1 with replacement.fd open
/// for writing, or 0 with errno set and *call naming what failed ("open", "access"...); nothing is
/// left behind. Ends the program with status 3 when memory runs out.
int begin_replacement(file_replacement &replacement, const char *path, mode_t new_mode,
                      const char **call);

/// With keep 1: makes the new content durable and renames the new file over the target;
/// returns 1, or 0 with errno set and *call naming what failed. With keep 0 (or after a
/// failure) the new file is removed and the target stays untouched. Always closes the
/// descriptor and frees the texts.
int finish_replacement(file_replacement &replacement, int keep, const char **call);
