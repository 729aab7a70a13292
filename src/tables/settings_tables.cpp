#include "tables/settings_tables.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "console/program_exit.h"
#include "settings/advanced_dialogue.h"
#include "settings/settings.h"
#include "tables/table_cells.h"
#include "tables/table_printer.h"

namespace {

constexpr int32_t CONFIG_ROWS = 8;
constexpr int32_t ADVANCED_ROWS = 9;
constexpr int32_t ADVANCED_CELL_WIDTH = 16;

constexpr const char *CONFIG_LABELS[CONFIG_ROWS] = {
    "Sampling Rate:", "Resampling Mode:", "Noise Reduction:", "Reverb:",
    "Megabass:",      "Surround:",        "Channels:",        "Master Volume:",
};

constexpr const char *ADVANCED_LABELS[ADVANCED_ROWS] = {
    "Reverb Depth",   "Reverb Delay", "Bass Amount", "Bass Range", "Surround Depth",
    "Surround Delay", "Endianness",   "Appareance",  "Verbosity",
};

constexpr const char *RESAMPLING_NAMES[] = {"No Interpolation", "Linear", "Spline", "Fir Filter"};
constexpr int32_t RESAMPLING_NAME_COUNT = sizeof RESAMPLING_NAMES / sizeof RESAMPLING_NAMES[0];

// Rows 2 to 5 of the sound table, in row order; the oversampling bit has no row.
constexpr int32_t FIRST_EFFECT_ROW = 2;
constexpr int32_t EFFECT_ROW_BITS[] = {EFFECT_NOISE_REDUCTION, EFFECT_REVERB, EFFECT_MEGABASS,
                                       EFFECT_SURROUND};
constexpr int32_t EFFECT_ROW_COUNT = sizeof EFFECT_ROW_BITS / sizeof EFFECT_ROW_BITS[0];

// The rooms the original program gave the six numeric value texts; a longer text is cut
// to its room, so a damaged settings file cannot widen the table beyond them.
constexpr size_t NUMBER_ROOMS[] = {8, 8, 8, 8, 8, 16};
constexpr int32_t NUMBER_ROWS = sizeof NUMBER_ROOMS / sizeof NUMBER_ROOMS[0];
constexpr int32_t BYTE_ORDER_ROW = 6;
constexpr int32_t STYLE_ROW = 7;
constexpr int32_t VERBOSITY_ROW = 8;

// Three digits (or a sign and two) and the terminator.
char verbosity_text[4];

// A newly allocated text of exactly room bytes holding the formatted value, cut to fit.
[[gnu::format(printf, 2, 3)]] char *room_text(size_t room, const char *format, ...) {
    auto text = static_cast<char *>(std::malloc(room));
    if (text == nullptr)
        exit_out_of_memory();
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, room, format, args);
    va_end(args);
    return text;
}

const char *resampling_text(int32_t mode) {
    return mode >= 0 && mode < RESAMPLING_NAME_COUNT ? RESAMPLING_NAMES[mode] : "Unknown";
}

const char *channels_text(int32_t count) {
    if (count == 2)
        return "Stereo";
    return count == 1 ? "Mono" : "Invalid";
}

const char *byte_order_text(const player_settings &record) {
    return is_little_endian(record) ? "little-endian" : "big-endian";
}

const char *style_text(int32_t style) {
    if (style == 0)
        return "classic";
    return style == 1 ? "strong" : "boxed";
}

void fill_config_value(int32_t row, char *text) {
    if (row == 0) {
        std::snprintf(text, TABLE_CELL_TEXT_SIZE, "%.3f kHz", settings.sample_rate / 1000.0);
    } else if (row == 1) {
        copy_cell_text(text, resampling_text(settings.resampling_mode));
    } else if (row < FIRST_EFFECT_ROW + EFFECT_ROW_COUNT) {
        bool on = (settings.effect_flags & EFFECT_ROW_BITS[row - FIRST_EFFECT_ROW]) != 0;
        copy_cell_text(text, on ? "YES" : "NO");
    } else if (row == 6) {
        copy_cell_text(text, channels_text(settings.channel_count));
    } else {
        std::snprintf(text, TABLE_CELL_TEXT_SIZE, "%u",
                      static_cast<uint32_t>(settings.master_volume));
    }
}

void print_settings_table(int32_t table_id, int32_t rows, int32_t cell_width) {
    text_table table;
    table_setup(&table, table_id, rows, 2, cell_width, 0, 0);
    // A damaged style is refused by the setter, which leaves the classic frame.
    table_set_style(&table, static_cast<uint32_t>(settings.table_style));
    table_set_cell_text(&table, fill_table_cell);
    table_print(table);
}

} // namespace

void fill_config_cell(int32_t row, int32_t column, char *text) {
    if (row < 0 || row >= CONFIG_ROWS || column < 0 || column > 1) {
        text[0] = '\0';
        return;
    }
    if (column == 0)
        copy_cell_text(text, table_values[row]);
    else
        fill_config_value(row, text);
}

void fill_advanced_cell(int32_t row, int32_t column, char *text) {
    if (row < 0 || row >= ADVANCED_ROWS || column < 0 || column > 1) {
        text[0] = '\0';
        return;
    }
    copy_cell_text(text, column == 0 ? ADVANCED_LABELS[row] : table_values[row]);
}

void show_config_table(const char *) {
    // The labels are only read through table_values; the cast does not make them writable.
    table_values = const_cast<char **>(CONFIG_LABELS);
    int32_t cell_width = longest_string_length(CONFIG_LABELS, CONFIG_ROWS) + 1;
    print_settings_table(CONFIG_TABLE_ID, CONFIG_ROWS, cell_width);
}

void show_advanced_table(const char *) {
    auto values = static_cast<char **>(std::malloc(ADVANCED_ROWS * sizeof(char *)));
    if (values == nullptr)
        exit_out_of_memory();
    table_values = values;

    values[0] = room_text(NUMBER_ROOMS[0], "%d", settings.reverb_depth);
    values[1] = room_text(NUMBER_ROOMS[1], "%d ms", settings.reverb_delay);
    values[2] = room_text(NUMBER_ROOMS[2], "%d", settings.bass_amount);
    values[3] = room_text(NUMBER_ROOMS[3], "%d Hz", settings.bass_range);
    values[4] = room_text(NUMBER_ROOMS[4], "%d", settings.surround_depth);
    values[5] = room_text(NUMBER_ROOMS[5], "%d ms", settings.surround_delay);
    values[BYTE_ORDER_ROW] = const_cast<char *>(byte_order_text(settings));
    values[STYLE_ROW] = const_cast<char *>(style_text(settings.table_style));
    std::snprintf(verbosity_text, sizeof verbosity_text, "%d", settings.verbosity_level);
    values[VERBOSITY_ROW] = verbosity_text;

    print_settings_table(ADVANCED_TABLE_ID, ADVANCED_ROWS, ADVANCED_CELL_WIDTH);

    for (int32_t i = 0; i < NUMBER_ROWS; ++i)
        std::free(values[i]);
    std::free(values);
}

void cmd_setadvanced(const char *argument) {
    show_advanced_table(argument);
    advanced_dialogue();
}
