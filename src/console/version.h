#pragma once
// The program's version lines, printed by -V and by the shell's version.

/// Writes the two version lines to standard output.
void print_version();
