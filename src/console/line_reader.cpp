#include "console/line_reader.h"

#include <cstdlib>

char *read_line(FILE *stream) {
    size_t capacity = 128;
    size_t length = 0;
    char *line = static_cast<char *>(std::malloc(capacity));
    if (line == nullptr)
        return nullptr;
    for (;;) {
        int c = getc(stream);
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

char *read_console_line() { return read_line(stdin); }
