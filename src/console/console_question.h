#pragma once
// The questions whose answer is a typed line worth editing: the shell's prompt and the
// questions for a file name. At a terminal the line editor reads the answer; otherwise
// the console's plain reader does, after the prompt is written and flushed, and nothing
// else is written. The choice is made once, at the first question.

#include "console/line_completion.h"

/// Asks for a shell line. At a terminal Tab completes the command word from words and a
/// file name after it, and the up and down keys walk the line history. Returns a newly
/// allocated line without its newline (the caller frees it), or null when memory runs out;
/// an empty line when the input has ended (console_input_ended tells).
char *ask_command_line(const char *prompt, completion_words words);

/// Asks for a file name; at a terminal Tab completes it. Otherwise as ask_command_line.
char *ask_file_name(const char *prompt);
