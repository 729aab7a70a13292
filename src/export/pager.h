#pragma once
// Showing a long text a screenful at a time.

#include <cstdint>

/// Prints the length bytes of text (no terminator needed; a length of 0 or less prints
/// nothing) to standard output, wrapped at 80 columns. A CR or an LF ends a line and is
/// printed as an LF; every other byte is printed as it is, and after the 80th byte of a
/// line an LF is added. Nothing is added at the end.
///
/// After every 23 printed lines, before the next byte, it pauses: the prompt
/// "...press ENTER to continue (P%)" through log_info (P = lines printed * 100 / all
/// lines), a flush of standard output, then one character read from standard input,
/// which blocks until one comes (at the end of the input it returns at once). The pause
/// happens also when the verbosity hides the prompt. A recorded SIGINT/SIGTERM ends the
/// program there (exit_if_signalled); another interruption keeps waiting.
void page_text(const char *text, int32_t length);
