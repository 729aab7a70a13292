#pragma once
// The terminal's modes while the program changes them (a key poll's raw mode, the line
// editor's editing mode), and their restoration on every way out.

/// 1 when standard input is a terminal whose foreground process group is this process's
/// own: only then may its modes be changed (from the background, tcsetattr stops the
/// process with SIGTTOU).
int terminal_in_foreground();

/// Saves the terminal's modes before someone else (the line editor) changes them, so that
/// every exit puts them back, until forget_terminal_modes. Returns 1 when saved, 0 when
/// standard input is not a terminal or modes are saved already (nothing changes then).
int save_terminal_modes();

/// Forgets the modes save_terminal_modes saved, once whoever changed them has put them
/// back; the exits then leave the terminal alone.
void forget_terminal_modes();

/// Saves the terminal's modes and switches it to raw mode. Until leave_raw_mode, signals
/// that would end the program without a chance to restore the modes are held back.
/// Returns 1 when raw mode is on, 0 (nothing changed) when standard input is not a
/// terminal, not in the foreground, or its modes are saved already.
int enter_raw_mode();

/// Restores the modes enter_raw_mode saved and lets the held-back signals through.
/// Nothing happens when raw mode is not on.
void leave_raw_mode();

/// Restores the saved modes, if any, as the program ends; safe inside a signal handler.
void restore_terminal_mode();
