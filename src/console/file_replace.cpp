#include "console/file_replace.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "console/program_exit.h"
#include "console/text.h"

namespace {

constexpr int MAX_LINKS = 40; // as the system's own path resolution allows

char *copy_or_exit(const char *text) {
    char *copy = copy_string(text);
    if (copy == nullptr)
        exit_out_of_memory();
    return copy;
}

// The file path leads to, its links followed one by one; a link to a file that does not
// exist yet gives that file's path. Null with errno set when a link cannot be read or
// they go round in a circle.
char *follow_links(const char *path) {
    char *current = copy_or_exit(path);
    for (int links = 0; links < MAX_LINKS; ++links) {
        struct stat status;
        if (lstat(current, &status) != 0 || !S_ISLNK(status.st_mode))
            return current; // a missing file is created under this name
        char link[PATH_MAX];
        ssize_t length = readlink(current, link, sizeof link - 1);
        if (length < 0) {
            int error_number = errno;
            std::free(current);
            errno = error_number;
            return nullptr;
        }
        link[length] = '\0';
        char *next;
        const char *slash = std::strrchr(current, '/');
        if (link[0] == '/' || slash == nullptr) {
            next = copy_or_exit(link);
        } else {
            // A relative link is read from the directory that holds it.
            std::string directory(current, static_cast<size_t>(slash - current));
            next = join_path(directory.c_str(), link);
            if (next == nullptr)
                exit_out_of_memory();
        }
        std::free(current);
        current = next;
    }
    std::free(current);
    errno = ELOOP;
    return nullptr;
}

// target's directory and a name of its own there: "<dir>/.<name>.XXXXXX" for mkstemp.
char *temporary_template(const char *target) {
    const char *slash = std::strrchr(target, '/');
    size_t directory_length = slash != nullptr ? static_cast<size_t>(slash - target) + 1 : 0;
    const char *name = target + directory_length;
    size_t size = directory_length + 1 + std::strlen(name) + 8;
    char *text = static_cast<char *>(std::malloc(size));
    if (text == nullptr)
        exit_out_of_memory();
    std::memcpy(text, target, directory_length);
    std::snprintf(text + directory_length, size - directory_length, ".%s.XXXXXX", name);
    return text;
}

mode_t without_umask(mode_t mode) {
    mode_t mask = umask(0);
    umask(mask);
    return mode & ~mask;
}

void release(file_replacement &replacement) {
    std::free(replacement.target);
    std::free(replacement.temporary);
    replacement.target = nullptr;
    replacement.temporary = nullptr;
    replacement.fd = -1;
}

} // namespace

int begin_replacement(file_replacement &replacement, const char *path, mode_t new_mode,
                      const char **call) {
    replacement = file_replacement{};
    *call = "open";
    replacement.target = follow_links(path);
    if (replacement.target == nullptr)
        return 0;
    mode_t mode = without_umask(new_mode);
    struct stat status;
    bool exists = stat(replacement.target, &status) == 0;
    if (exists && !S_ISREG(status.st_mode)) {
        // A device or a pipe is written in place: renaming over it would put a plain file
        // where the device was.
        replacement.fd = open(replacement.target, O_WRONLY | O_TRUNC);
        if (replacement.fd < 0) {
            int error_number = errno;
            release(replacement);
            errno = error_number;
            return 0;
        }
        return 1;
    }
    if (exists) {
        // The user's own say on the file: a read-only file is not replaced behind it.
        if (access(replacement.target, W_OK) != 0) {
            int error_number = errno;
            release(replacement);
            errno = error_number;
            return 0;
        }
        mode = status.st_mode & 07777;
    }
    replacement.temporary = temporary_template(replacement.target);
    replacement.fd = mkstemp(replacement.temporary);
    if (replacement.fd < 0 || fchmod(replacement.fd, mode) != 0) {
        int error_number = errno;
        if (replacement.fd >= 0) {
            close(replacement.fd);
            unlink(replacement.temporary);
        }
        release(replacement);
        errno = error_number;
        return 0;
    }
    return 1;
}

int finish_replacement(file_replacement &replacement, int keep, const char **call) {
    bool kept = keep != 0;
    int error_number = 0;
    if (replacement.temporary == nullptr) { // written in place
        if (close(replacement.fd) != 0 && kept) {
            error_number = errno;
            *call = "write";
            kept = false;
        }
        release(replacement);
        if (error_number != 0)
            errno = error_number;
        return kept ? 1 : 0;
    }
    if (kept && fsync(replacement.fd) != 0) {
        error_number = errno;
        *call = "write";
        kept = false;
    }
    if (close(replacement.fd) != 0 && kept) {
        error_number = errno;
        *call = "write";
        kept = false;
    }
    if (kept && rename(replacement.temporary, replacement.target) != 0) {
        error_number = errno;
        *call = "rename";
        kept = false;
    }
    if (!kept)
        unlink(replacement.temporary);
    release(replacement);
    if (!kept && error_number != 0)
        errno = error_number;
    return kept ? 1 : 0;
}
