#include "console/fd_write.h"

#include <cerrno>
#include <unistd.h>

fd_closer::~fd_closer() {
    if (fd >= 0)
        close(fd);
}

int write_all(int fd, const void *data, size_t size) {
    const char *next = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t written = write(fd, next, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return 0;
        }
        if (written == 0) {
            // Nothing taken and no error: retrying could go on for ever.
            errno = EIO;
            return 0;
        }
        next += written;
        size -= static_cast<size_t>(written);
    }
    return 1;
}
