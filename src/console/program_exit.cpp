#include "console/program_exit.h"

#include <cstdio>
#include <cstdlib>

#include "console/log.h"
#include "console/terminal_mode.h"

volatile std::sig_atomic_t exit_signal_number = 0;

namespace {

void (*registered_cleanup)() = nullptr;

constexpr int EXIT_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

void run_cleanup() {
    restore_terminal_mode();
    if (registered_cleanup != nullptr)
        registered_cleanup();
}

// Only records the signal: closing the device or freeing the module here could
// interrupt the decoder, libao or stdio in the middle of their work.
void exit_signal_handler(int signal_number) {
    exit_signal_number = signal_number;
}

} // namespace

void exit_set_cleanup(void (*cleanup)()) {
    registered_cleanup = cleanup;
}

void install_exit_signal_handler() {
    struct sigaction action {};
    action.sa_handler = exit_signal_handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a blocked read returns EINTR
    for (int signal_number : EXIT_SIGNALS)
        sigaction(signal_number, &action, nullptr);
}

void fill_exit_signal_set(sigset_t *set) {
    sigemptyset(set);
    for (int signal_number : EXIT_SIGNALS)
        sigaddset(set, signal_number);
}

namespace {
constexpr int RECORDED_SIGNALS[4] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
}

interrupt_recorder::interrupt_recorder() {
    struct sigaction action {};
    action.sa_handler = exit_signal_handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (int i = 0; i < 4; ++i)
        sigaction(RECORDED_SIGNALS[i], &action, &saved[i]);
}

interrupt_recorder::~interrupt_recorder() {
    for (int i = 0; i < 4; ++i)
        sigaction(RECORDED_SIGNALS[i], &saved[i], nullptr);
}

void exit_if_signalled() {
    int signal_number = exit_signal_number;
    if (signal_number == 0)
        return;
    run_cleanup();
    log_info("\n[exiting by signal %d]\n", signal_number);
    std::fflush(stdout);
    std::exit(0);
}

void report_out_of_memory() {
    log_error("%s", OUT_OF_MEMORY_TEXT);
}

void exit_out_of_memory() {
    report_out_of_memory();
    run_cleanup();
    std::exit(3);
}
