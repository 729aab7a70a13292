#pragma once
// The shell's line history: the lines typed at the prompt, newest first. The '!' forms
// read its newest line and the line editor's up and down keys walk it, so both always
// agree on what was typed last.

#include <cstddef>

/// The most lines the history keeps; the oldest go first.
inline constexpr size_t HISTORY_LINES = 500;

/// The most bytes the kept lines may take together; the oldest go first, but the newest
/// line is always kept whatever its length.
inline constexpr size_t HISTORY_BYTES = 4u << 20;

/// Remembers a copy of line as the newest. A line equal to the newest is not kept twice,
/// and a newest line that is only blanks (spaces, tabs or nothing) is replaced rather than
/// kept behind the new one. Returns 1, or 0 when memory ran out: then history_newest gives
/// null until a line is remembered again, and the older lines stay.
int history_add(const char *line);

/// The newest line, or null before the first line and after a failed history_add. The
/// text stays owned by the history and valid until the next history_add.
const char *history_newest();

/// How many lines the history holds.
size_t history_count();

/// The line at age (0: the newest), or null past the oldest; owned by the history.
const char *history_line(size_t age);

/// Forgets every line (for the tests).
void history_clear();
