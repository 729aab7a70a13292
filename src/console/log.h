#pragma once
// Console messages: the three channels every subsystem reports through.

/// Writes ">>> " and the formatted text to standard output when verbosity_level
/// is above 0; otherwise nothing. No newline is added.
[[gnu::format(printf, 1, 2)]] void log_info(const char *format, ...);

/// Always writes ">>> WARNING: " and the formatted text to standard error.
[[gnu::format(printf, 1, 2)]] void log_warning(const char *format, ...);

/// Always writes ">>> ERROR: " and the formatted text to standard error.
[[gnu::format(printf, 1, 2)]] void log_error(const char *format, ...);
