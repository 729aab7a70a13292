#include "shell/render_commands.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "settings/render_options.h"

namespace {

bool missing(const char *argument) {
    return argument == nullptr || argument[0] == '\0';
}

// A whole number and nothing else (the shell has trimmed the blanks after it).
bool read_count(const char *text, int32_t &count) {
    char *end = nullptr;
    errno = 0;
    long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE || value < INT32_MIN || value > INT32_MAX)
        return false;
    count = static_cast<int32_t>(value);
    return true;
}

} // namespace

void cmd_loops(const char *argument) {
    if (missing(argument)) {
        std::printf("loops: %d\n", static_cast<int>(loop_count));
        return;
    }
    int32_t count;
    if (!read_count(argument, count)) {
        std::fputs("usage: loops [<count>]\n", stderr);
        return;
    }
    loop_count = count;
}

void cmd_fadeout(const char *argument) {
    if (missing(argument)) {
        std::printf("fadeout: %g\n", fade_seconds);
        return;
    }
    double seconds;
    if (!parse_fade_seconds(argument, seconds)) {
        std::fputs("usage: fadeout [<seconds>]\n", stderr);
        return;
    }
    set_fade_seconds(seconds);
}
