#pragma once
// The one writer of whole buffers to a descriptor.

#include <cstddef>

/// Closes the descriptor it holds (when not negative) as it goes out of scope.
struct fd_closer {
    explicit fd_closer(int descriptor) : fd(descriptor) {}
    ~fd_closer();
    fd_closer(const fd_closer &) = delete;
    fd_closer &operator=(const fd_closer &) = delete;
    int fd;
};

/// Writes all size bytes of data to fd, retrying short and interrupted writes.
/// Returns 1 when everything was written, 0 on an error (errno tells which; a write that
/// takes no bytes counts as one, EIO).
int write_all(int fd, const void *data, size_t size);
