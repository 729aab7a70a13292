#include "console/line_reader.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "console/log.h"
#include "console/program_exit.h"
#include "console/text.h"

namespace {

// A line under construction. Bytes past LINE_LIMIT are counted as an overflow and not
// stored, so memory stays bounded however long the line is.
struct line_text {
    char *text = nullptr;
    size_t length = 0;
    size_t capacity = 0;
    bool too_long = false;

    ~line_text() { std::free(text); }

    // Appends size bytes; false when memory runs out.
    bool append(const char *bytes, size_t size) {
        if (too_long)
            return true;
        if (size > LINE_LIMIT - length) {
            too_long = true;
            return true;
        }
        if (length + size + 1 > capacity) {
            size_t wanted = capacity == 0 ? 128 : capacity;
            while (wanted < length + size + 1)
                wanted *= 2; // geometric growth keeps long lines cheap
            if (wanted > LINE_LIMIT + 1)
                wanted = LINE_LIMIT + 1;
            char *bigger = static_cast<char *>(std::realloc(text, wanted));
            if (bigger == nullptr)
                return false;
            text = bigger;
            capacity = wanted;
        }
        std::memcpy(text + length, bytes, size);
        length += size;
        return true;
    }

    // The finished text, handed to the caller: what was stored, or the empty text for a
    // line too long (reported naming name). Null when memory runs out.
    char *finish(const char *name) {
        if (too_long) {
            log_warning("%s: line too long\n", name);
            return copy_string("");
        }
        if (!append("", 0)) // makes room for the terminator, also in an empty line
            return nullptr;
        text[length] = '\0';
        char *done = text;
        text = nullptr;
        return done;
    }
};

// getc that sits out interrupted reads: a signal that ends the program does so here.
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

char *read_line(FILE *stream, const char *name) {
    line_text line;
    for (;;) {
        int c = next_char(stream);
        if (c == EOF || c == '\n')
            break;
        char byte = static_cast<char>(c);
        if (!line.append(&byte, 1))
            return nullptr;
        if (line.too_long)
            break; // a file that never ends its line (a device) is read no further
    }
    return line.finish(name);
}

char *read_console_line(const char *question) {
    begin_console_answer();
    line_text line;
    const char *bytes;
    while (size_t count = console_input_bytes(&bytes)) {
        const char *newline = static_cast<const char *>(std::memchr(bytes, '\n', count));
        size_t taken = newline != nullptr ? static_cast<size_t>(newline - bytes) : count;
        bool appended = line.append(bytes, taken);
        consume_console_input(newline != nullptr ? taken + 1 : taken);
        if (!appended)
            return nullptr;
        if (newline != nullptr)
            break;
    }
    if (line.too_long)
        return refuse_long_answer(question);
    return line.finish(question);
}

char *refuse_long_answer(const char *question) {
    owned_text name(copy_string(question));
    if (!name)
        return nullptr;
    trim_right(name.get());
    line_text line;
    line.too_long = true;
    return line.finish(name.get());
}

int read_console_char() {
    begin_console_answer();
    const char *bytes;
    if (console_input_bytes(&bytes) == 0)
        return EOF;
    unsigned char c = static_cast<unsigned char>(bytes[0]);
    consume_console_input(1);
    return c;
}
