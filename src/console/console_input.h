#pragma once
// Standard input as the console reads it: one buffer filled in blocks, one notion of
// "input has ended" that every question asks, and the waits that a signal ends at once.

#include <cstddef>

/// Notes whether standard input is a terminal and forgets any buffered bytes and any end
/// seen. Called once at start-up, and again whenever descriptor 0 is replaced.
void prepare_console_input();

/// 1 when standard input was a terminal at prepare_console_input.
int console_is_terminal();

/// 1 when the last answer read from standard input was cut short by the end of the input:
/// end of file (at a terminal, Ctrl-D), hang-up or a read error. The question then got the
/// empty answer, or the bytes that came before the end. At a terminal the next question
/// waits for the user again; elsewhere every later answer is cut short too.
int console_input_ended();

/// 1 once standard input can give nothing more: the end of an input that is not a
/// terminal, a terminal hung up, or a read error. A question asked in a loop leaves it.
int console_input_exhausted();

/// Starts a new answer: forgets an end that only cut the previous answer short (Ctrl-D at
/// a terminal). Every reader of an answer calls it first.
void begin_console_answer();

/// Ends the current answer as Ctrl-D at a terminal does, for a reader that sees that key
/// as a byte (the line editor, whose terminal mode does not turn it into an end of file):
/// console_input_ended reports 1 until the next answer begins.
void end_console_answer();

/// The bytes waiting in the buffer, filled from standard input when empty (waiting for
/// it; a SIGINT, SIGTERM or SIGHUP during the wait ends the program). Sets *bytes and
/// returns their count; 0 when the input has ended for this answer.
size_t console_input_bytes(const char **bytes);

/// Takes count bytes (at most what console_input_bytes returned) out of the buffer.
void consume_console_input(size_t count);

/// 1 when a byte of standard input is ready within timeout_ms milliseconds (0: no wait):
/// one is buffered, or the descriptor has one. An input that is not a terminal is read
/// without blocking to tell a byte from its end, and what comes is kept for the next
/// reader; a terminal is only polled. 0 when none came or the input has ended. An exit
/// signal during the wait ends the program.
int console_byte_ready(int timeout_ms);
