#pragma once
// Reading whole lines from the console and from text files.

#include <cstdio>

/// Reads one line from stream: every character up to a newline (consumed, not stored)
/// or the end of the stream, whatever the length; carriage returns are kept. An
/// exhausted stream gives an empty text on every call. Returns a newly allocated
/// text that the caller frees, or null when memory runs out.
char *read_line(FILE *stream);

/// read_line on standard input.
char *read_console_line();

/// One character from standard input (EOF at its end), waiting for it; a SIGINT or
/// SIGTERM during the wait ends the program.
int read_console_char();

/// Makes standard input unbuffered, so that the console's waits on its descriptor see
/// every character still to be read. Called once at start-up.
void prepare_console_input();

/// 1 when standard input is exhausted: no further line will ever come; also after an
/// answer that the line editor ended with the end of input (note_console_input_end).
int console_input_ended();

/// The line editor's word on its last answer: 1 when Ctrl-D on an empty line (or the end
/// of the terminal's input) ended it, 0 when a line came. Reading a console line clears it.
void note_console_input_end(int ended);
