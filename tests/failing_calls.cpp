// A preload library for the end-to-end tests: makes write(2) on files fail with ENOSPC,
// as a full disk does, once MARROWTIDE_FAIL_WRITE_AFTER bytes have been written to
// descriptors above 2. The terminal's descriptors keep working, so messages still show.
// And while the file MARROWTIDE_FAIL_NEW_WHILE names exists, operator new refuses every
// request of 16 KiB or more, as it does when memory has run out (the decoder builds each
// module with one such request).
// With MARROWTIDE_FAIL_WRITE_AS=zero the failing writes take no bytes and report no error
// instead, as a few devices and file systems do.

#include <cerrno>
#include <cstdlib>
#include <dlfcn.h>
#include <new>
#include <unistd.h>

namespace {

using write_function = ssize_t (*)(int, const void *, size_t);

long long budget() {
    static long long left = [] {
        const char *text = std::getenv("MARROWTIDE_FAIL_WRITE_AFTER");
        return text != nullptr ? std::atoll(text) : -1;
    }();
    return left;
}

bool fail_as_zero() {
    static bool zero = [] {
        const char *text = std::getenv("MARROWTIDE_FAIL_WRITE_AS");
        return text != nullptr && text[0] == 'z';
    }();
    return zero;
}

long long written = 0;

} // namespace

extern "C" ssize_t write(int fd, const void *data, size_t size) {
    static auto real_write = reinterpret_cast<write_function>(dlsym(RTLD_NEXT, "write"));
    long long limit = budget();
    if (fd > 2 && limit >= 0) {
        if (written >= limit) {
            if (fail_as_zero())
                return 0;
            errno = ENOSPC;
            return -1;
        }
        if (written + static_cast<long long>(size) > limit)
            size = static_cast<size_t>(limit - written); // a short write, then the failure
    }
    ssize_t done = real_write(fd, data, size);
    if (done > 0 && fd > 2)
        written += done;
    return done;
}

void *operator new(std::size_t size) {
    using new_function = void *(*)(size_t);
    static auto real_new = reinterpret_cast<new_function>(dlsym(RTLD_NEXT, "_Znwm"));
    static const char *flag = std::getenv("MARROWTIDE_FAIL_NEW_WHILE");
    if (flag != nullptr && size >= 16384 && access(flag, F_OK) == 0)
        throw std::bad_alloc();
    return real_new(size);
}
