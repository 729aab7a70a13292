#pragma once
// Reading whole lines from the console and from text files.

#include <cstddef>
#include <cstdio>

#include "console/console_input.h"

/// The longest line kept, in bytes without its newline: a longer one is reported and
/// skipped, so no input can make a line take more memory than this.
inline constexpr size_t LINE_LIMIT = 1024 * 1024;

/// Reads one line from stream: every character up to a newline (consumed, not stored)
/// or the end of the stream; carriage returns are kept. An exhausted stream gives an
/// empty text on every call. A line longer than LINE_LIMIT is reported once ("%s: line
/// too long\n" with name, through log_warning) and gives an empty text; the stream is
/// left inside it. Returns a newly allocated text that the caller frees, or null when
/// memory runs out.
char *read_line(FILE *stream, const char *name);

/// The answer to one question from standard input: the bytes up to a newline, or up to
/// the end of the input (console_input_ended then tells). A line longer than LINE_LIMIT
/// is read to its end, reported once naming the question (its text without trailing
/// blanks) and gives the empty answer. Returns a newly allocated text that the caller
/// frees, or null when memory runs out. A SIGINT, SIGTERM or SIGHUP during the wait ends
/// the program.
char *read_console_line(const char *question);

/// What question gets for an answer longer than LINE_LIMIT, from whichever reader took
/// it: the report read_console_line gives, and the empty answer. Returns a newly allocated
/// text that the caller frees, or null when memory runs out.
char *refuse_long_answer(const char *question);

/// One character from standard input (EOF at the end of the input), waiting for it; a
/// SIGINT, SIGTERM or SIGHUP during the wait ends the program. At a terminal, Ctrl-D
/// gives EOF for this call only.
int read_console_char();
