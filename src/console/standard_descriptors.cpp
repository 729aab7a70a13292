#include "console/standard_descriptors.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

int open_missing_standard_descriptors() {
    int all_open = 1;
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free number is taken, and the ones below are open by now: this is fd.
        int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened != fd) {
            if (opened >= 0)
                close(opened);
            all_open = 0;
        }
    }
    return all_open;
}
