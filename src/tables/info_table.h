#pragma once
// The module information table: length, format and counts of the loaded module under
// a title box with the song's name.

#include <cstdint>

/// Prints the information table of the loaded module to standard output, unless
/// verbosity_level is exactly 0. Requires a loaded module. Ends the program with
/// status 3 when memory runs out.
void show_info_table();

/// The display name of the loaded module's format (a constant text, never null).
const char *module_type_name();

/// The display name of a decoder module type value: one bit set names a format,
/// anything else is "Unknown".
const char *module_type_text(int32_t module_type);

/// The song length text for ms milliseconds: minutes and seconds, "%d:%02d", minutes
/// not folded into hours. Newly allocated; ends the program with status 3 when memory runs out.
char *length_text(int32_t ms);

/// fill_table_cell's part for the information table.
void fill_info_cell(int32_t row, int32_t column, char *text);
