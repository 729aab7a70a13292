#pragma once
// The one writer of whole buffers to a descriptor.

#include <cstddef>

/// Writes all size bytes of data to fd, retrying short and interrupted writes.
/// Returns 1 when everything was written, 0 on an error (errno tells which).
int write_all(int fd, const void *data, size_t size);
