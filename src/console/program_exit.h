#pragma once
// The program's fatal exits. The cleanup they run (closing the audio device,
// releasing the module) belongs to higher layers, which register it at start-up.

/// The text every out-of-memory report carries.
inline constexpr const char *OUT_OF_MEMORY_TEXT = "FATAL ERROR: Not enough memory\n";

/// Registers the function the fatal exits run before the process ends; null for none.
void exit_set_cleanup(void (*cleanup)());

/// Reports OUT_OF_MEMORY_TEXT through log_error; the caller carries on.
void report_out_of_memory();

/// Reports OUT_OF_MEMORY_TEXT through log_error, runs the cleanup and exits with status 3.
[[noreturn]] void exit_out_of_memory();
