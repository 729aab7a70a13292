#include "tables/table_printer.h"

#include <cstring>

namespace {

// Positions within one style's six border characters.
constexpr int32_t FIRST_CORNER = 0;
constexpr int32_t SECOND_CORNER = 1;
constexpr int32_t HORIZONTAL = 2;
constexpr int32_t JUNCTION = 3;
constexpr int32_t VERTICAL = 4;
constexpr int32_t TITLE_FILL = 5;

void print_indent(const text_table &table) {
    for (int32_t i = 0; i < table.indent; ++i)
        std::putc(' ', table.table_stream);
}

void print_repeated(char c, int64_t count, FILE *stream) {
    for (int64_t i = 0; i < count; ++i)
        std::putc(c, stream);
}

// Walking column by column instead of testing every position for a multiple of
// cell_width gives the same line and needs no division.
void print_rule(const text_table &table, const char *set, char left_end, char right_end) {
    FILE *stream = table.table_stream;
    print_indent(table);
    std::putc(left_end, stream);
    for (int32_t column = 0; column < table.column_count; ++column) {
        print_repeated(set[HORIZONTAL], table.cell_width - 1, stream);
        std::putc(column + 1 == table.column_count ? right_end : set[JUNCTION], stream);
    }
    std::putc('\n', stream);
}

void print_title_box(const text_table &table, const char *set, int64_t frame_width) {
    FILE *stream = table.table_stream;
    int64_t inner_width = frame_width - 1;
    int64_t title_length = static_cast<int64_t>(std::strlen(table.title));
    // One extra fill char after a title of the other parity centres it exactly.
    bool extra_fill = (title_length % 2) != (inner_width % 2);
    if (extra_fill)
        ++title_length;
    // A title wider than the frame gets no fill; its line is then wider than the frame.
    int64_t fill = inner_width > title_length ? (inner_width - title_length) / 2 : 0;

    print_indent(table);
    std::putc(set[FIRST_CORNER], stream);
    print_repeated(set[HORIZONTAL], inner_width, stream);
    std::putc(set[SECOND_CORNER], stream);
    std::putc('\n', stream);

    print_indent(table);
    std::putc(set[VERTICAL], stream);
    print_repeated(set[TITLE_FILL], fill, stream);
    std::fputs(table.title, stream);
    if (extra_fill)
        std::putc(set[TITLE_FILL], stream);
    print_repeated(set[TITLE_FILL], fill, stream);
    std::putc(set[VERTICAL], stream);
    std::putc('\n', stream);
}

// The precision bounds the read to the buffer even if a callback forgot the NUL;
// the width pads short texts, and longer ones are printed whole.
void print_cell(const text_table &table, const char *text) {
    if (table.right_align != 0)
        std::fprintf(table.table_stream, "%*.*s", table.cell_width - 1, TABLE_CELL_TEXT_SIZE - 1,
                     text);
    else
        std::fprintf(table.table_stream, "%-*.*s", table.cell_width - 1, TABLE_CELL_TEXT_SIZE - 1,
                     text);
}

void print_cell_line(const text_table &table, const char *set, int32_t row, char *text) {
    FILE *stream = table.table_stream;
    print_indent(table);
    for (int32_t column = 0; column < table.column_count; ++column) {
        std::putc(set[VERTICAL], stream);
        table.cell_text_fn(table.table_id, row, column, text);
        print_cell(table, text);
    }
    std::putc(set[VERTICAL], stream);
    std::putc('\n', stream);
}

} // namespace

int table_setup(text_table *table, int32_t table_id, int32_t row_count, int32_t column_count,
                int32_t cell_width, int32_t indent, int32_t right_align) {
    if (table == nullptr)
        return TABLE_NONE;
    if (row_count <= 0 || column_count <= 0 || cell_width < 2 || indent < 0)
        return TABLE_BAD_ARGUMENT;
    table->table_id = table_id;
    table->row_count = row_count;
    table->column_count = column_count;
    table->cell_width = cell_width;
    table->right_align = right_align;
    table->indent = indent;
    table->title = nullptr;
    table->cell_text_fn = nullptr;
    table->border_style = 0;
    table->table_stream = stdout;
    return TABLE_OK;
}

int table_set_title(text_table *table, const char *text) {
    if (table == nullptr)
        return TABLE_NONE;
    // An empty title would draw an empty box; treating it as no title avoids that.
    table->title = (text == nullptr || text[0] == '\0') ? nullptr : text;
    return TABLE_OK;
}

int table_set_style(text_table *table, uint32_t style) {
    if (table == nullptr)
        return TABLE_NONE;
    if (style >= TABLE_BORDER_STYLE_COUNT)
        return TABLE_BAD_ARGUMENT;
    table->border_style = style;
    return TABLE_OK;
}

int table_set_cell_text(text_table *table, table_cell_text_callback callback) {
    if (table == nullptr)
        return TABLE_NONE;
    table->cell_text_fn = callback;
    return TABLE_OK;
}

int table_set_output(text_table *table, FILE *stream) {
    if (table == nullptr)
        return TABLE_NONE;
    if (stream == nullptr)
        return TABLE_BAD_ARGUMENT;
    table->table_stream = stream;
    return TABLE_OK;
}

int table_print(text_table table) {
    if (table.table_stream == nullptr || table.cell_text_fn == nullptr ||
        table.border_style >= TABLE_BORDER_STYLE_COUNT)
        return TABLE_BAD_ARGUMENT;
    const char *set = &border_sets[table.border_style * TABLE_BORDER_SET_SIZE];
    // 64 bits so that a wide table cannot overflow the frame width.
    int64_t frame_width = static_cast<int64_t>(table.cell_width) * table.column_count;
    bool has_title = table.title != nullptr;
    if (has_title)
        print_title_box(table, set, frame_width);

    // Lives on this stack for the whole print; cleared once so that a callback that
    // writes nothing for the first cell leaves an empty text rather than garbage.
    char text[TABLE_CELL_TEXT_SIZE] = {};
    for (int32_t row = 0; row <= table.row_count; ++row) {
        if (row == 0 && !has_title)
            print_rule(table, set, set[FIRST_CORNER], set[SECOND_CORNER]);
        else if (row == table.row_count)
            print_rule(table, set, set[SECOND_CORNER], set[FIRST_CORNER]);
        else
            print_rule(table, set, set[JUNCTION], set[JUNCTION]);
        if (row < table.row_count)
            print_cell_line(table, set, row, text);
    }
    return TABLE_OK;
}

int32_t longest_string_length(const char *const *strings, int32_t count) {
    if (strings == nullptr)
        return 0;
    size_t longest = 0;
    for (int32_t i = 0; i < count; ++i) {
        if (strings[i] == nullptr)
            continue;
        size_t length = std::strlen(strings[i]);
        if (length > longest)
            longest = length;
    }
    return static_cast<int32_t>(longest);
}
