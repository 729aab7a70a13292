#include "console/program_exit.h"

#include <cstdio>
#include <cstdlib>

#include "console/log.h"

volatile std::sig_atomic_t exit_signal_number = 0;

namespace {

void (*registered_cleanup)() = nullptr;
void (*terminal_cleanup)() = nullptr;

void run_cleanup() {
    if (registered_cleanup != nullptr)
        registered_cleanup();
    if (terminal_cleanup != nullptr)
        terminal_cleanup();
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

void exit_set_terminal_cleanup(void (*restore)()) {
    terminal_cleanup = restore;
}

void install_exit_signal_handler() {
    struct sigaction action {};
    action.sa_handler = exit_signal_handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a blocked read returns EINTR
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
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
