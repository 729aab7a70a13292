#pragma once
// The interactive shell: prompt, history, tokeniser and dispatch.

/// Runs the shell until a command, a signal or the end of standard input ends the
/// program. Never returns.
[[noreturn]] void shell_loop();

/// Runs line (changed in place: it is cut into command word and argument) as one command.
void run_command_line(char *line);
