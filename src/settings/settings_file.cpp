#include "settings/settings_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "console/fd_write.h"
#include "console/file_replace.h"
#include "console/log.h"
#include "console/program_exit.h"
#include "console/text.h"

namespace {
constexpr const char *SETTINGS_FILE_NAME = ".marrowtideb";
}

char *settings_file_path() {
    const char *home = std::getenv("HOME");
    if (home == nullptr)
        return nullptr;
    // A HOME ending in '/' gives a doubled slash, which the system accepts.
    size_t size = std::strlen(home) + 14;
    char *path = static_cast<char *>(std::malloc(size));
    if (path == nullptr)
        exit_out_of_memory();
    std::snprintf(path, size, "%s/%s", home, SETTINGS_FILE_NAME);
    return path;
}

void load_settings(player_settings &record) {
    owned_text path(settings_file_path());
    if (path) {
        // Without blocking: a named pipe or a device there must not hang the start.
        fd_closer file(open(path.get(), O_RDONLY | O_NONBLOCK | O_NOCTTY));
        struct stat status;
        if (file.fd >= 0 && fstat(file.fd, &status) == 0 && S_ISREG(status.st_mode) &&
            read(file.fd, &record, sizeof record) == static_cast<ssize_t>(sizeof record))
            return;
    }
    default_settings(record);
}

void save_settings(const player_settings &record) {
    owned_text path(settings_file_path());
    if (!path)
        return;
    // The record goes to a new file that replaces the old one only once it is complete,
    // so a full disk or a failed write leaves the old settings as they were; a link to
    // the file stays a link.
    file_replacement replacement;
    const char *call = "open";
    bool saved = begin_replacement(replacement, path.get(), 0600, &call) != 0;
    if (saved) {
        bool written = write_all(replacement.fd, &record, sizeof record) != 0;
        if (!written)
            call = "write";
        saved = finish_replacement(replacement, written, &call) != 0;
    }
    if (!saved)
        log_system_error(call, path.get());
}
