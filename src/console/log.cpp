#include "console/log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "settings/settings.h"

namespace {

void write_message(FILE *stream, const char *prefix, const char *format, va_list args) {
    fputs(prefix, stream);
    vfprintf(stream, format, args);
}

} // namespace

void log_info(const char *format, ...) {
    if (settings.verbosity_level <= 0)
        return;
    va_list args;
    va_start(args, format);
    write_message(stdout, ">>> ", format, args);
    va_end(args);
}

void log_warning(const char *format, ...) {
    va_list args;
    va_start(args, format);
    write_message(stderr, ">>> WARNING: ", format, args);
    va_end(args);
}

void log_error(const char *format, ...) {
    va_list args;
    va_start(args, format);
    write_message(stderr, ">>> ERROR: ", format, args);
    va_end(args);
}

void log_system_error(const char *call, const char *object) {
    int error_number = errno;
    log_error("CAN'T %s(\"%s\"): %s\n", call, object, std::strerror(error_number));
    errno = error_number;
}
