#include "console/line_reader.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <sys/select.h>

#include "console/program_exit.h"

namespace {

// The line editor's last answer ended the input; see note_console_input_end.
int input_end_typed = 0;

// Blocks until standard input has something to read (or has ended). SIGINT and SIGTERM
// are held back while the flag is checked and let through only inside pselect, so a
// signal that arrives just before the wait still ends it at once.
void wait_for_console_input() {
    sigset_t held;
    sigset_t previous;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    sigprocmask(SIG_BLOCK, &held, &previous);
    for (;;) {
        if (exit_signal_number != 0) {
            sigprocmask(SIG_SETMASK, &previous, nullptr);
            exit_if_signalled();
        }
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(0, &readable);
        int count = pselect(1, &readable, nullptr, nullptr, nullptr, &previous);
        if (count > 0 || (count < 0 && errno != EINTR))
            break; // something to read, or an error that the read itself will report
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
}

// getc that sits out interrupted reads: a signal that ends the program does so here.
// Standard input is unbuffered (prepare_console_input), so a wait on its descriptor
// never sleeps over characters already read.
int next_char(FILE *stream) {
    for (;;) {
        exit_if_signalled();
        if (stream == stdin)
            wait_for_console_input();
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
    input_end_typed = 0;
    return read_line(stdin);
}

int read_console_char() {
    return next_char(stdin);
}

void prepare_console_input() {
    setvbuf(stdin, nullptr, _IONBF, 0);
}

int console_input_ended() {
    return feof(stdin) || input_end_typed != 0 ? 1 : 0;
}

void note_console_input_end(int ended) {
    input_end_typed = ended;
}
