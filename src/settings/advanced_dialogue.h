#pragma once
// The questions of `setadvanced`: new values for the effect, appearance and output
// settings, read from standard input.

#include <cstdint>

/// Writes question to standard output (no newline added) and reads one answer line from
/// standard input, asking again while the answer's number lies outside lower..upper. The
/// number is read as atoi does ("42abc" is 42, "abc" is 0); trailing spaces and tabs are
/// ignored. An empty answer (also at the end of input) or a failed read (memory exhausted,
/// reported) leaves field unchanged; otherwise the accepted number is stored in field.
void ask_number(const char *question, int32_t lower, int32_t upper, int32_t &field);

/// Asks the nine advanced questions in order (reverb depth and delay, bass amount and range,
/// surround depth and delay, byte order, table style, verbosity) and stores each accepted
/// answer in settings; an empty answer keeps the value. Changes only the in-memory
/// settings, ends at the end of input, and never ends the program.
void advanced_dialogue();
