#pragma once
// The one cell text callback that serves every framed table of the program.

#include <cstdint>

/// Table ids: which table fill_table_cell serves.
inline constexpr int32_t CONFIG_TABLE_ID = 0;
inline constexpr int32_t INFO_TABLE_ID = 1;
inline constexpr int32_t ADVANCED_TABLE_ID = 2;

/// The strings of the table being printed; stale outside a print.
extern char **table_values;

/// Writes the text of cell (row, column) of table table_id into text, a buffer of
/// TABLE_CELL_TEXT_SIZE bytes (at most 127 characters and the terminator).
void fill_table_cell(int32_t table_id, int32_t row, int32_t column, char *text);

/// Copies source into a cell buffer, cut to the buffer's 127 characters.
void copy_cell_text(char *text, const char *source);
