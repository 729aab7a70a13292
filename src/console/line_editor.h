#pragma once
// The console's line reading through libedit, for standard input and output at a
// terminal: the answer is edited in place (arrows, Home/End, Ctrl-A/E/W/U), Tab completes
// (see line_completion.h) and, at the shell prompt, the up and down keys walk the line
// history (line_history.h). Its keys come from the console's input (console_input.h), so
// an exit signal ends the program as at every other wait, with the terminal's modes
// restored first.

#include "console/line_completion.h"

/// Starts the editor on standard input and output, which must be a terminal; called once.
/// Returns 1 when it is ready, 0 when it could not start.
int line_editor_start();

/// Shows prompt and reads one answer through the editor. words: as for complete_answer;
/// walk_history 1 lets the up and down keys walk the line history. Returns a newly
/// allocated line without its newline (the caller frees it), or null when memory runs out.
/// Ctrl-D on an empty line, or the end of the terminal's input, gives an empty text after
/// which console_input_ended reports 1; an answer longer than LINE_LIMIT gives what
/// refuse_long_answer does.
char *line_editor_read(const char *prompt, completion_words words, int walk_history);
