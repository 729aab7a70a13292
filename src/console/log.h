#pragma once
// Console messages: the three channels every subsystem reports through.

/// Writes ">>> " and the formatted text to standard output when verbosity_level
/// is above 0; otherwise nothing. No newline is added.
[[gnu::format(printf, 1, 2)]] void log_info(const char *format, ...);

/// Always writes ">>> WARNING: " and the formatted text to standard error.
[[gnu::format(printf, 1, 2)]] void log_warning(const char *format, ...);

/// Always writes ">>> ERROR: " and the formatted text to standard error.
[[gnu::format(printf, 1, 2)]] void log_error(const char *format, ...);

/// Reports a failed system call on a file through log_error, the reason first as the
/// convention writes it: "CAN'T <call>(\"<object>\"): <the system's text for errno>\n".
/// errno is left as it was.
void log_system_error(const char *call, const char *object);
