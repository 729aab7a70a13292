#pragma once
// The program's ends outside the normal flow: out of memory and the SIGINT/SIGTERM/SIGHUP
// exit.
// The cleanup they run (closing the audio device, releasing the module) belongs to
// higher layers, which register it at start-up.

#include <csignal>
#include <signal.h>

/// The text every out-of-memory report carries.
inline constexpr const char *OUT_OF_MEMORY_TEXT = "FATAL ERROR: Not enough memory\n";

/// The number of the SIGINT, SIGTERM or SIGHUP received, 0 while none has arrived. Set only by
/// the signal handler; the main flow acts on it through exit_if_signalled.
extern volatile std::sig_atomic_t exit_signal_number;

/// Registers the function the exits run before the process ends; null for none.
void exit_set_cleanup(void (*cleanup)());

/// Installs the handler for SIGINT, SIGTERM and SIGHUP (a closed terminal window ends the
/// program as SIGTERM does). Blocking reads are interrupted, not restarted, so every
/// waiting place gets to check exit_if_signalled.
void install_exit_signal_handler();

/// Fills set with exactly the signals the exit handler catches, for waits that let them
/// through only while they sleep.
void fill_exit_signal_set(sigset_t *set);

/// While one lives, SIGINT, SIGTERM, SIGHUP and SIGPIPE are only recorded in
/// exit_signal_number, so that the work it guards (an export) can stop at a whole chunk and
/// finish its file before the caller acts on the signal. The actions the four signals had
/// before come back when it ends. For one thread at a time, as the program is.
struct interrupt_recorder {
    interrupt_recorder();
    ~interrupt_recorder();
    interrupt_recorder(const interrupt_recorder &) = delete;
    interrupt_recorder &operator=(const interrupt_recorder &) = delete;
    struct sigaction saved[4];
};

/// When a signal has been recorded: restores the terminal's modes, runs the cleanup, reports
/// "\n[exiting by signal %d]\n" through log_info and exits with status 0. Otherwise returns at
/// once.
void exit_if_signalled();

/// Reports OUT_OF_MEMORY_TEXT through log_error; the caller carries on.
void report_out_of_memory();

/// Reports OUT_OF_MEMORY_TEXT through log_error, restores the terminal's modes, runs the
/// cleanup and exits with status 3.
[[noreturn]] void exit_out_of_memory();
