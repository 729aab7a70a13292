#pragma once
// The shell's commands: one fixed table, searched from the first row, ended by a row
// whose name is null.

/// Every command action takes the argument text of the line, or null when it has none.
using command_action = void (*)(const char *argument);

struct command_entry {
    const char *command_name;
    int needs_module; ///< 1: refused while no module is loaded
    command_action action;
};

extern const command_entry command_table[];

/// The row for name (exact, case-sensitive), or null when no row has it.
const command_entry *find_command(const char *name);

/// Prints the command overview of help and ? to standard output.
void show_help(const char *argument);
