#pragma once
// The two settings tables: the sound settings (`config`) and the advanced effect,
// appearance and output settings (`advanced`, and the first step of `setadvanced`).

#include <cstdint>

/// Prints the sound settings table (eight label/value rows, no title) to standard output in
/// the current table style, whatever the verbosity. argument is ignored (null accepted).
void show_config_table(const char *argument);

/// Prints the advanced settings table (nine label/value rows, no title) to standard output
/// in the current table style, whatever the verbosity. argument is ignored (null accepted).
/// Ends the program with status 3 when memory runs out.
void show_advanced_table(const char *argument);

/// The `setadvanced` action: show_advanced_table, then advanced_dialogue. argument is
/// ignored (null accepted).
void cmd_setadvanced(const char *argument);

/// fill_table_cell's part for the sound settings table: column 0 the label, column 1 the
/// value of settings; any other cell is empty.
void fill_config_cell(int32_t row, int32_t column, char *text);

/// fill_table_cell's part for the advanced settings table: column 0 the label, column 1 the
/// value text show_advanced_table prepared in table_values; any other cell is empty.
void fill_advanced_cell(int32_t row, int32_t column, char *text);
