#pragma once
// The table printer: framed text grids (an optional title box above rows of cells)
// written to a stream, with the cell texts supplied by a callback.

#include <cstdint>
#include <cstdio>

/// Results of the table functions.
inline constexpr int TABLE_NONE = 0;         // no descriptor given (null pointer)
inline constexpr int TABLE_BAD_ARGUMENT = 1; // an argument out of range; nothing changed
inline constexpr int TABLE_OK = 3;

/// Size of the buffer a cell callback writes into: at most 127 chars and a NUL.
inline constexpr int32_t TABLE_CELL_TEXT_SIZE = 128;

/// Number of border styles (0 classic, 1 strong, 2 boxed) and characters per style.
inline constexpr uint32_t TABLE_BORDER_STYLE_COUNT = 3;
inline constexpr int32_t TABLE_BORDER_SET_SIZE = 6;

/// The border characters of every style, six per style back to back (no terminators),
/// indexed by border_style * 6 + position. Positions: 0 first corner, 1 second corner,
/// 2 horizontal line, 3 junction, 4 vertical line, 5 title fill.
inline constexpr char border_sets[TABLE_BORDER_STYLE_COUNT * TABLE_BORDER_SET_SIZE] = {
    '+', '+',  '-', '+', '|', ' ', // classic
    '+', '+',  '=', '+', '|', '-', // strong
    '/', '\\', '-', '+', '|', ' ', // boxed
};

/// Writes the NUL-terminated text (at most 127 chars) of cell (row, column) of table
/// table_id into text, a TABLE_CELL_TEXT_SIZE buffer owned by table_print. The same buffer
/// serves every cell of one print and is not cleared between cells.
using table_cell_text_callback = void (*)(int32_t table_id, int32_t row, int32_t column,
                                          char *text);

/// What table_print draws. Fill it with table_setup and the table_set_* functions.
struct text_table {
    int32_t table_id;                      // handed to cell_text_fn
    int32_t row_count;                     // >= 1
    int32_t column_count;                  // >= 1
    int32_t cell_width;                    // column width with its left border char, >= 2
    int32_t right_align;                   // 0 left-aligned cells, else right-aligned
    int32_t indent;                        // spaces before every line, >= 0
    const char *title;                     // null for no title box; not owned
    table_cell_text_callback cell_text_fn; // null until set
    uint32_t border_style;                 // index into border_sets: 0, 1 or 2
    FILE *table_stream;                    // where table_print writes
};

/// Stores the five numbers in table and resets the rest (no title, no callback, classic
/// border, output to stdout). Returns TABLE_NONE for a null table; TABLE_BAD_ARGUMENT,
/// leaving table unchanged, when row_count <= 0, column_count <= 0, cell_width < 2 or
/// indent < 0; else TABLE_OK.
int table_setup(text_table *table, int32_t table_id, int32_t row_count, int32_t column_count,
                int32_t cell_width, int32_t indent, int32_t right_align);

/// Stores the title pointer (not a copy; a null or empty text stores null, i.e. no title).
/// Returns TABLE_NONE for a null table, else TABLE_OK.
int table_set_title(text_table *table, const char *text);

/// Stores the border style. Returns TABLE_NONE for a null table; TABLE_BAD_ARGUMENT,
/// leaving table unchanged, for a style above 2; else TABLE_OK.
int table_set_style(text_table *table, uint32_t style);

/// Stores the cell text callback (null accepted). Returns TABLE_NONE for a null table,
/// else TABLE_OK.
int table_set_cell_text(text_table *table, table_cell_text_callback callback);

/// Stores the output stream. Returns TABLE_NONE for a null table; TABLE_BAD_ARGUMENT,
/// leaving table unchanged, for a null stream; else TABLE_OK.
int table_set_output(text_table *table, FILE *stream);

/// Prints the table to its stream: the title box if there is a title, then a rule above,
/// between and below the rows of cells, calling cell_text_fn once per cell, row by row and
/// left to right, just before printing that cell. A cell text longer than cell_width - 1 is
/// printed whole. Expects the numbers table_setup accepts. Returns TABLE_BAD_ARGUMENT,
/// printing nothing, when table_stream or cell_text_fn is null or border_style is above 2;
/// else TABLE_OK.
int table_print(text_table table);

/// The greatest strlen among the first count strings (null entries are skipped), or 0 when
/// count <= 0 or strings is null.
int32_t longest_string_length(const char *const *strings, int32_t count);
