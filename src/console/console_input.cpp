#include "console/console_input.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "console/program_exit.h"

namespace {

// One read takes up to this much: a terminal gives one line per read whatever the size, a
// pipe or file fills it, so long lines cost few system calls.
constexpr size_t BUFFER_SIZE = 64 * 1024;

char buffer[BUFFER_SIZE];
size_t first_unread = 0;
size_t buffered_end = 0;
bool is_terminal = false;
bool answer_ended = false;
bool exhausted = false;

size_t unread_count() {
    return buffered_end - first_unread;
}

void note_end(bool for_good) {
    answer_ended = true;
    if (for_good || !is_terminal)
        exhausted = true;
}

int milliseconds_until(const timespec &deadline) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    long long left =
        (deadline.tv_sec - now.tv_sec) * 1000LL + (deadline.tv_nsec - now.tv_nsec) / 1000000;
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits up to timeout_ms (negative: without limit) for descriptor 0 to become readable;
// returns 1 when it is (or the wait failed, which the read then reports) with its poll
// events in *events, 0 when the time ran out. The exit signals are held back while the
// flag is checked and let through only inside ppoll, so one that arrives just before the
// wait still ends it at once; other held-back signals stay held.
int wait_readable(int timeout_ms, short *events) {
    sigset_t exit_signals;
    sigset_t previous;
    fill_exit_signal_set(&exit_signals);
    sigprocmask(SIG_BLOCK, &exit_signals, &previous);
    sigset_t during = previous;
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
        if (sigismember(&exit_signals, signal_number) == 1)
            sigdelset(&during, signal_number);
    }
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += timeout_ms / 1000;
    deadline.tv_nsec += (timeout_ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    int result;
    for (;;) {
        if (exit_signal_number != 0) {
            sigprocmask(SIG_SETMASK, &previous, nullptr);
            exit_if_signalled();
        }
        pollfd input{STDIN_FILENO, POLLIN, 0};
        timespec limit{};
        if (timeout_ms > 0) {
            int left = milliseconds_until(deadline);
            limit.tv_sec = left / 1000;
            limit.tv_nsec = (left % 1000) * 1000000L;
        }
        int count = ppoll(&input, 1, timeout_ms < 0 ? nullptr : &limit, &during);
        if (count < 0 && errno == EINTR)
            continue; // an exit signal ends the program above; any other waits on
        *events = count > 0 ? input.revents : 0;
        result = count != 0 ? 1 : 0;
        break;
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return result;
}

// Keeps what one read of descriptor 0 gave (the buffer is empty at the call) and notes
// an end. Returns 1 when bytes came, 0 at an end, -1 when the read would have blocked.
int take_read(ssize_t got, int error, short events) {
    if (got > 0) {
        first_unread = 0;
        buffered_end = static_cast<size_t>(got);
        return 1;
    }
    if (got == 0) {
        // A hung-up terminal gives end of file on every read: no user is left to answer.
        note_end((events & POLLHUP) != 0);
        return 0;
    }
    if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR)
        return -1;
    note_end(true); // EBADF, EIO, EISDIR...: nothing will ever be read
    return 0;
}

// One read that never blocks, even on an input whose descriptor blocks: the flag is set
// for the moment of the read only, since the open file may be shared with other processes.
// Returns what take_read does.
int read_now(short events) {
    int flags = fcntl(STDIN_FILENO, F_GETFL);
    bool set_here = flags >= 0 && (flags & O_NONBLOCK) == 0;
    if (set_here)
        fcntl(STDIN_FILENO, F_SETFL, flags | O_NONBLOCK);
    ssize_t got;
    do
        got = read(STDIN_FILENO, buffer, BUFFER_SIZE);
    while (got < 0 && errno == EINTR);
    int error = errno;
    if (set_here)
        fcntl(STDIN_FILENO, F_SETFL, flags);
    return take_read(got, error, events);
}

// Fills the empty buffer, waiting for input. Returns 1 when bytes came, 0 at an end. The
// read after the wait never blocks: what made the input readable may be gone by then (a
// Ctrl-C empties the terminal's queue as its SIGINT arrives), and a blocking read would
// sleep through the signal; the wait is asked again instead, and it sees the signal.
int fill_buffer() {
    for (;;) {
        short events = 0;
        wait_readable(-1, &events);
        int taken = read_now(events);
        if (taken >= 0)
            return taken;
    }
}

// At the end of the program a seekable input gets back what was read ahead, so that
// whoever reads it next (the shell that started a script) carries on after the last
// line this program took.
void return_unread_input() {
    if (unread_count() > 0 &&
        lseek(STDIN_FILENO, -static_cast<off_t>(unread_count()), SEEK_CUR) >= 0)
        first_unread = buffered_end;
}

} // namespace

void prepare_console_input() {
    static bool registered = false;
    if (!registered) {
        std::atexit(return_unread_input);
        registered = true;
    }
    is_terminal = isatty(STDIN_FILENO) == 1;
    first_unread = buffered_end = 0;
    answer_ended = exhausted = false;
}

int console_is_terminal() {
    return is_terminal ? 1 : 0;
}

int console_input_ended() {
    return answer_ended || exhausted ? 1 : 0;
}

int console_input_exhausted() {
    return exhausted ? 1 : 0;
}

void begin_console_answer() {
    answer_ended = exhausted;
}

void end_console_answer() {
    note_end(false);
}

size_t console_input_bytes(const char **bytes) {
    if (unread_count() == 0 && (answer_ended || exhausted || !fill_buffer()))
        return 0;
    *bytes = buffer + first_unread;
    return unread_count();
}

void consume_console_input(size_t count) {
    first_unread += count < unread_count() ? count : unread_count();
}

int console_byte_ready(int timeout_ms) {
    if (unread_count() > 0)
        return 1;
    if (exhausted)
        return 0;
    short events = 0;
    if (!wait_readable(timeout_ms, &events))
        return 0;
    if (is_terminal)
        return 1;
    return read_now(events) > 0 ? 1 : 0;
}
