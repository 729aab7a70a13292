#include "console/line_reader.h"

#include <cerrno>
#include <cstdlib>

#include "console/program_exit.h"

namespace {

// getc that sits out interrupted reads: a signal that ends the program does so here,
// also one that arrived before the read began, so no wait starts after it.
int next_char(FILE *stream) {
    for (;;) {
        exit_if_signalled();
        errno = 0;
        int c = getc(stream);
        if (c != EOF || !ferror(stream) || errno != EINTR)
            return c;
        clearerr(stream);
    }
}

} // namespace

char *read_line(FILE *stream) {
    size_t capacity = 128;
    size_t length = 0;
    char *line = static_cast<char *>(std::malloc(capacity));
    if (line == nullptr)
        return nullptr;
    for (;;) {
        int c = next_char(stream);
        if (c == EOF || c == '\n')
            break;
        // Keep room for the terminator; grow geometrically so long lines stay cheap.
        if (length + 1 == capacity) {
            char *bigger = static_cast<char *>(std::realloc(line, capacity * 2));
            if (bigger == nullptr) {
                std::free(line);
                return nullptr;
            }
            line = bigger;
            capacity *= 2;
        }
        line[length++] = static_cast<char>(c);
    }
    line[length] = '\0';
    return line;
}

char *read_console_line() {
    return read_line(stdin);
}

int console_input_ended() {
    return feof(stdin) ? 1 : 0;
}
