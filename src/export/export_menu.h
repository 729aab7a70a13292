#pragma once
// The shell's export: asks for a file name and a format and runs one export of the
// whole song with the current sound settings.

/// The action of export (argument ignored). Ends the program with status 3 when memory
/// runs out while reading an answer.
void export_menu(const char *argument);
