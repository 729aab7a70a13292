#pragma once
// The program's ends outside the normal flow: out of memory and the SIGINT/SIGTERM exit.
// The cleanup they run (closing the audio device, releasing the module) belongs to
// higher layers, which register it at start-up.

#include <csignal>

/// The text every out-of-memory report carries.
inline constexpr const char *OUT_OF_MEMORY_TEXT = "FATAL ERROR: Not enough memory\n";

/// The number of the SIGINT or SIGTERM received, 0 while none has arrived. Set only by
/// the signal handler; the main flow acts on it through exit_if_signalled.
extern volatile std::sig_atomic_t exit_signal_number;

/// Registers the function the exits run before the process ends; null for none.
void exit_set_cleanup(void (*cleanup)());

/// Registers the function that gives the terminal back the modes it had before the line
/// editor changed them; the exits run it after the cleanup and before their message, so
/// the message and the shell after the program find the terminal as it was. Null for none.
void exit_set_terminal_cleanup(void (*restore)());

/// Installs the handler for SIGINT and SIGTERM. Blocking reads are interrupted, not
/// restarted, so every waiting place gets to check exit_if_signalled.
void install_exit_signal_handler();

/// When a signal has been recorded: runs the cleanup, reports "\n[exiting by signal %d]\n"
/// through log_info and exits with status 0. Otherwise returns at once.
void exit_if_signalled();

/// Reports OUT_OF_MEMORY_TEXT through log_error; the caller carries on.
void report_out_of_memory();

/// Reports OUT_OF_MEMORY_TEXT through log_error, runs the cleanup and exits with status 3.
[[noreturn]] void exit_out_of_memory();
