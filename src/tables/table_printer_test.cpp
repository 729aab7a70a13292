#include "tables/table_printer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Cell texts for the layout tests, chosen by table_id so the callback stays a plain function
// (and a printer that does not hand table_id on picks the wrong texts).
struct cell_grid {
    const char *const *cells;
    int32_t column_count;
};

constexpr const char *demo_cells[] = {"ab", "1", "cd", "22"};
constexpr const char *one_column_cells[] = {"x", "yz", "abc"};
constexpr const char *long_text_cells[] = {"abcdef", "xy"};
constexpr const char *narrow_cells[] = {"a", "b", "c"};

enum : int32_t { DEMO_GRID, ONE_COLUMN_GRID, LONG_TEXT_GRID, NARROW_GRID };

constexpr cell_grid grids[] = {
    {demo_cells, 2},
    {one_column_cells, 1},
    {long_text_cells, 2},
    {narrow_cells, 3},
};

void grid_cell_text(int32_t table_id, int32_t row, int32_t column, char *text) {
    const cell_grid &grid = grids[table_id];
    std::snprintf(text, TABLE_CELL_TEXT_SIZE, "%s", grid.cells[row * grid.column_count + column]);
}

// An in-memory stream whose text can be read after the printing.
struct memory_stream {
    char *data = nullptr;
    size_t size = 0;
    FILE *stream = open_memstream(&data, &size);
    memory_stream() = default;
    memory_stream(const memory_stream &) = delete;
    memory_stream &operator=(const memory_stream &) = delete;
    ~memory_stream() {
        if (stream != nullptr)
            std::fclose(stream);
        std::free(data);
    }
    std::string text() {
        std::fflush(stream);
        return std::string(data, size);
    }
};

struct printed {
    int result;
    std::string text;
};

// Prints table to a memory stream set through table_set_output.
printed print_to_text(text_table table) {
    memory_stream output;
    EXPECT_EQ(table_set_output(&table, output.stream), TABLE_OK);
    int result = table_print(table);
    return {result, output.text()};
}

bool same_table(const text_table &a, const text_table &b) {
    return a.table_id == b.table_id && a.row_count == b.row_count &&
           a.column_count == b.column_count && a.cell_width == b.cell_width &&
           a.right_align == b.right_align && a.indent == b.indent && a.title == b.title &&
           a.cell_text_fn == b.cell_text_fn && a.border_style == b.border_style &&
           a.table_stream == b.table_stream;
}

// A descriptor with a value in every field that table_setup would not store.
text_table filled_table() {
    static const char title[] = "old";
    text_table table{};
    table.table_id = 7;
    table.row_count = 5;
    table.column_count = 6;
    table.cell_width = 9;
    table.right_align = 1;
    table.indent = 4;
    table.title = title;
    table.cell_text_fn = grid_cell_text;
    table.border_style = 2;
    table.table_stream = stderr;
    return table;
}

struct layout_case {
    const char *name;
    int32_t grid;
    int32_t row_count;
    int32_t column_count;
    int32_t cell_width;
    int32_t indent;
    int32_t right_align;
    uint32_t style;
    const char *title;
    const char *expected;
};

constexpr layout_case layout_cases[] = {
    {"classic with title", DEMO_GRID, 2, 2, 8, 0, 0, 0, "Demo",
     "+---------------+\n"
     "|     Demo      |\n"
     "+-------+-------+\n"
     "|ab     |1      |\n"
     "+-------+-------+\n"
     "|cd     |22     |\n"
     "+-------+-------+\n"},
    {"strong with title", DEMO_GRID, 2, 2, 8, 0, 0, 1, "Demo",
     "+===============+\n"
     "|-----Demo------|\n"
     "+=======+=======+\n"
     "|ab     |1      |\n"
     "+=======+=======+\n"
     "|cd     |22     |\n"
     "+=======+=======+\n"},
    {"boxed with title", DEMO_GRID, 2, 2, 8, 0, 0, 2, "Demo",
     "/---------------\\\n"
     "|     Demo      |\n"
     "+-------+-------+\n"
     "|ab     |1      |\n"
     "+-------+-------+\n"
     "|cd     |22     |\n"
     "\\-------+-------/\n"},
    {"boxed without title", DEMO_GRID, 2, 2, 8, 0, 0, 2, nullptr,
     "/-------+-------\\\n"
     "|ab     |1      |\n"
     "+-------+-------+\n"
     "|cd     |22     |\n"
     "\\-------+-------/\n"},
    {"right-aligned, indented, title of the frame's parity", DEMO_GRID, 2, 2, 8, 2, 1, 0, "Odd",
     "  +---------------+\n"
     "  |      Odd      |\n"
     "  +-------+-------+\n"
     "  |     ab|      1|\n"
     "  +-------+-------+\n"
     "  |     cd|     22|\n"
     "  +-------+-------+\n"},
    {"empty title is no title", DEMO_GRID, 2, 2, 8, 0, 0, 2, "",
     "/-------+-------\\\n"
     "|ab     |1      |\n"
     "+-------+-------+\n"
     "|cd     |22     |\n"
     "\\-------+-------/\n"},
    {"title one short of the frame takes only the extra fill", DEMO_GRID, 2, 2, 8, 0, 0, 1,
     "Fourteen chars",
     "+===============+\n"
     "|Fourteen chars-|\n"
     "+=======+=======+\n"
     "|ab     |1      |\n"
     "+=======+=======+\n"
     "|cd     |22     |\n"
     "+=======+=======+\n"},
    {"title wider than the frame, other parity", ONE_COLUMN_GRID, 3, 1, 4, 0, 0, 1, "Longer",
     "+===+\n"
     "|Longer-|\n"
     "+===+\n"
     "|x  |\n"
     "+===+\n"
     "|yz |\n"
     "+===+\n"
     "|abc|\n"
     "+===+\n"},
    {"title wider than the frame, same parity, one right-aligned column", ONE_COLUMN_GRID, 3, 1, 4,
     0, 1, 2, "Longest",
     "/---\\\n"
     "|Longest|\n"
     "+---+\n"
     "|  x|\n"
     "+---+\n"
     "| yz|\n"
     "+---+\n"
     "|abc|\n"
     "\\---/\n"},
    {"long left-aligned text is not cut", LONG_TEXT_GRID, 1, 2, 4, 0, 0, 0, nullptr,
     "+---+---+\n"
     "|abcdef|xy |\n"
     "+---+---+\n"},
    {"long right-aligned text is not cut", LONG_TEXT_GRID, 1, 2, 4, 0, 1, 0, nullptr,
     "+---+---+\n"
     "|abcdef| xy|\n"
     "+---+---+\n"},
    {"narrowest cells, one row, indented", NARROW_GRID, 1, 3, 2, 1, 0, 2, nullptr,
     " /-+-+-\\\n"
     " |a|b|c|\n"
     " \\-+-+-/\n"},
};

TEST(TablePrinterLayout, PrintsTheFramedGrid) {
    for (const layout_case &test : layout_cases) {
        SCOPED_TRACE(test.name);
        text_table table{};
        ASSERT_EQ(table_setup(&table, test.grid, test.row_count, test.column_count, test.cell_width,
                              test.indent, test.right_align),
                  TABLE_OK);
        ASSERT_EQ(table_set_title(&table, test.title), TABLE_OK);
        ASSERT_EQ(table_set_style(&table, test.style), TABLE_OK);
        ASSERT_EQ(table_set_cell_text(&table, grid_cell_text), TABLE_OK);
        printed output = print_to_text(table);
        EXPECT_EQ(output.result, TABLE_OK);
        EXPECT_EQ(output.text, test.expected);
    }
}

// The callback test records every call with where the stream stood at that moment.
struct cell_call {
    int32_t table_id;
    int32_t row;
    int32_t column;
    long stream_offset;
    bool operator==(const cell_call &) const = default;
};

std::vector<cell_call> recorded_calls;
std::vector<const char *> recorded_buffers;
FILE *recorded_stream = nullptr;

void recording_cell_text(int32_t table_id, int32_t row, int32_t column, char *text) {
    recorded_calls.push_back({table_id, row, column, std::ftell(recorded_stream)});
    recorded_buffers.push_back(text);
    std::snprintf(text, TABLE_CELL_TEXT_SIZE, "%d%d", static_cast<int>(row),
                  static_cast<int>(column));
}

TEST(TablePrinterCallback, CalledOncePerCellInOrderJustBeforeItsCell) {
    recorded_calls.clear();
    recorded_buffers.clear();
    memory_stream output;
    recorded_stream = output.stream;
    text_table table{};
    ASSERT_EQ(table_setup(&table, 42, 2, 3, 3, 0, 0), TABLE_OK);
    ASSERT_EQ(table_set_cell_text(&table, recording_cell_text), TABLE_OK);
    ASSERT_EQ(table_set_output(&table, output.stream), TABLE_OK);
    EXPECT_EQ(table_print(table), TABLE_OK);
    recorded_stream = nullptr;

    EXPECT_EQ(output.text(), "+--+--+--+\n"
                             "|00|01|02|\n"
                             "+--+--+--+\n"
                             "|10|11|12|\n"
                             "+--+--+--+\n");
    // Lines are 11 bytes with the newline; each call comes right after its cell's left border.
    const std::vector<cell_call> expected = {
        {42, 0, 0, 12}, {42, 0, 1, 15}, {42, 0, 2, 18},
        {42, 1, 0, 34}, {42, 1, 1, 37}, {42, 1, 2, 40},
    };
    EXPECT_EQ(recorded_calls, expected);
}

// Writes a text for the first column only, so the other cells show what the buffer held.
void first_column_cell_text(int32_t, int32_t row, int32_t column, char *text) {
    recorded_buffers.push_back(text);
    if (column == 0)
        std::snprintf(text, TABLE_CELL_TEXT_SIZE, "%s", row == 0 ? "one" : "two");
}

TEST(TablePrinterCallback, SharesOneBufferNotClearedBetweenCells) {
    recorded_buffers.clear();
    text_table table{};
    ASSERT_EQ(table_setup(&table, 0, 2, 2, 5, 0, 0), TABLE_OK);
    ASSERT_EQ(table_set_cell_text(&table, first_column_cell_text), TABLE_OK);
    printed output = print_to_text(table);
    EXPECT_EQ(output.result, TABLE_OK);
    EXPECT_EQ(output.text, "+----+----+\n"
                           "|one |one |\n"
                           "+----+----+\n"
                           "|two |two |\n"
                           "+----+----+\n");
    ASSERT_EQ(recorded_buffers.size(), 4u);
    for (const char *buffer : recorded_buffers)
        EXPECT_EQ(buffer, recorded_buffers[0]);
}

TEST(TablePrinterSetup, StoresNumbersAndResetsTheRest) {
    struct setup_case {
        int32_t table_id, row_count, column_count, cell_width, indent, right_align;
    };
    constexpr setup_case cases[] = {
        {3, 4, 5, 6, 7, 1}, {-9, 1, 1, 2, 0, 0}, // the smallest accepted sizes
    };
    for (const setup_case &test : cases) {
        SCOPED_TRACE(test.cell_width);
        text_table table = filled_table();
        ASSERT_EQ(table_setup(&table, test.table_id, test.row_count, test.column_count,
                              test.cell_width, test.indent, test.right_align),
                  TABLE_OK);
        EXPECT_EQ(table.table_id, test.table_id);
        EXPECT_EQ(table.row_count, test.row_count);
        EXPECT_EQ(table.column_count, test.column_count);
        EXPECT_EQ(table.cell_width, test.cell_width);
        EXPECT_EQ(table.indent, test.indent);
        EXPECT_EQ(table.right_align, test.right_align);
        EXPECT_EQ(table.title, nullptr);
        EXPECT_EQ(table.cell_text_fn, nullptr);
        EXPECT_EQ(table.border_style, 0u);
        EXPECT_EQ(table.table_stream, stdout);
    }
}

TEST(TablePrinterSetup, RejectsOutOfRangeSizesAndLeavesTheTable) {
    struct bad_case {
        const char *name;
        int32_t row_count, column_count, cell_width, indent;
    };
    constexpr bad_case cases[] = {
        {"no rows", 0, 1, 2, 0},
        {"negative rows", -1, 1, 2, 0},
        {"no columns", 1, 0, 2, 0},
        {"negative columns", 1, -3, 2, 0},
        {"cell width 1", 1, 1, 1, 0},
        {"cell width 0", 1, 1, 0, 0},
        {"negative cell width", 1, 1, -5, 0},
        {"negative indent", 1, 1, 2, -1},
    };
    for (const bad_case &test : cases) {
        SCOPED_TRACE(test.name);
        text_table table = filled_table();
        EXPECT_EQ(table_setup(&table, 1, test.row_count, test.column_count, test.cell_width,
                              test.indent, 0),
                  TABLE_BAD_ARGUMENT);
        EXPECT_TRUE(same_table(table, filled_table()));
    }
}

TEST(TablePrinterSetters, NullTableGivesNone) {
    EXPECT_EQ(table_setup(nullptr, 1, 1, 1, 2, 0, 0), TABLE_NONE);
    EXPECT_EQ(table_set_title(nullptr, "title"), TABLE_NONE);
    EXPECT_EQ(table_set_style(nullptr, 1), TABLE_NONE);
    EXPECT_EQ(table_set_cell_text(nullptr, grid_cell_text), TABLE_NONE);
    EXPECT_EQ(table_set_output(nullptr, stderr), TABLE_NONE);
}

TEST(TablePrinterSetters, TitleKeepsThePointerOrStoresNull) {
    static const char title[] = "Tracks";
    text_table table = filled_table();
    EXPECT_EQ(table_set_title(&table, title), TABLE_OK);
    EXPECT_EQ(table.title, title);
    EXPECT_EQ(table_set_title(&table, ""), TABLE_OK);
    EXPECT_EQ(table.title, nullptr);
    table = filled_table();
    EXPECT_EQ(table_set_title(&table, nullptr), TABLE_OK);
    EXPECT_EQ(table.title, nullptr);
}

TEST(TablePrinterSetters, StyleAboveTwoIsRejected) {
    for (uint32_t style : {0u, 1u, 2u}) {
        text_table table = filled_table();
        EXPECT_EQ(table_set_style(&table, style), TABLE_OK);
        EXPECT_EQ(table.border_style, style);
    }
    for (uint32_t style : {3u, 0x80000000u, UINT32_MAX}) {
        SCOPED_TRACE(style);
        text_table table = filled_table();
        ASSERT_EQ(table_set_style(&table, 1), TABLE_OK);
        EXPECT_EQ(table_set_style(&table, style), TABLE_BAD_ARGUMENT);
        EXPECT_EQ(table.border_style, 1u);
    }
}

TEST(TablePrinterSetters, CellTextAcceptsNull) {
    text_table table = filled_table();
    EXPECT_EQ(table_set_cell_text(&table, nullptr), TABLE_OK);
    EXPECT_EQ(table.cell_text_fn, nullptr);
    EXPECT_EQ(table_set_cell_text(&table, recording_cell_text), TABLE_OK);
    EXPECT_EQ(table.cell_text_fn, recording_cell_text);
}

TEST(TablePrinterSetters, OutputRejectsNullStream) {
    text_table table = filled_table();
    EXPECT_EQ(table_set_output(&table, stdout), TABLE_OK);
    EXPECT_EQ(table.table_stream, stdout);
    EXPECT_EQ(table_set_output(&table, nullptr), TABLE_BAD_ARGUMENT);
    EXPECT_EQ(table.table_stream, stdout);
}

int counted_calls = 0;

void counting_cell_text(int32_t, int32_t, int32_t, char *text) {
    ++counted_calls;
    text[0] = '\0';
}

TEST(TablePrinterPrint, RejectsIncompleteTableAndPrintsNothing) {
    struct bad_case {
        const char *name;
        void (*spoil)(text_table &table);
    };
    constexpr bad_case cases[] = {
        {"no callback", [](text_table &table) { table.cell_text_fn = nullptr; }},
        {"no stream", [](text_table &table) { table.table_stream = nullptr; }},
        {"style 3", [](text_table &table) { table.border_style = 3; }},
        {"style -1", [](text_table &table) { table.border_style = UINT32_MAX; }},
    };
    for (const bad_case &test : cases) {
        SCOPED_TRACE(test.name);
        counted_calls = 0;
        memory_stream output;
        text_table table{};
        ASSERT_EQ(table_setup(&table, 0, 2, 2, 4, 0, 0), TABLE_OK);
        ASSERT_EQ(table_set_title(&table, "Title"), TABLE_OK);
        ASSERT_EQ(table_set_cell_text(&table, counting_cell_text), TABLE_OK);
        ASSERT_EQ(table_set_output(&table, output.stream), TABLE_OK);
        test.spoil(table);
        EXPECT_EQ(table_print(table), TABLE_BAD_ARGUMENT);
        EXPECT_EQ(output.text(), "");
        EXPECT_EQ(counted_calls, 0);
    }
}

TEST(TablePrinterLongestString, GreatestLengthAmongTheFirstCount) {
    static constexpr const char *strings[] = {"abc", "", "abcdefg", "ab", "abcdefghij"};
    static constexpr const char *with_null[] = {"ab", nullptr, "abcd"};
    struct length_case {
        const char *name;
        const char *const *strings;
        int32_t count;
        int32_t expected;
    };
    constexpr length_case cases[] = {
        {"zero strings", strings, 0, 0},
        {"negative count", strings, -1, 0},
        {"null array", nullptr, 0, 0},
        {"first only", strings, 1, 3},
        {"longest in the middle", strings, 4, 7},
        {"longest last", strings, 5, 10},
        {"empty string", strings + 1, 1, 0},
        {"null entry skipped", with_null, 3, 4},
    };
    for (const length_case &test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(longest_string_length(test.strings, test.count), test.expected);
    }
}

} // namespace
