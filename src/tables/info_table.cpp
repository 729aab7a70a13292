#include "tables/info_table.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "console/program_exit.h"
#include "console/screen_text.h"
#include "console/text.h"
#include "playback/module_state.h"
#include "settings/settings.h"
#include "tables/table_cells.h"
#include "tables/table_printer.h"

namespace {

constexpr int INFO_ROWS = 6;
constexpr int INFO_VALUES = 7; // the six shown values and the song's name
constexpr int NAME_VALUE = 6;
constexpr int32_t MIN_CELL_WIDTH = 13;

constexpr const char *INFO_LABELS[INFO_ROWS] = {
    "Length:", "Format:", "Instruments:", "Samples:", "Channels:", "Patterns:",
};

// Indexed by the number of the one bit set in the decoder's type value.
constexpr const char *MODULE_TYPE_NAMES[32] = {
    "Amiga Module (MOD)",
    "Scream Tracker 3 (S3M)",
    "Extended Module (XM)",
    "OctaMED (MED)",
    "MultiTracker (MTM)",
    "Impulse Tracker (IT)",
    "Composer 669 (669)",
    "ULT",
    "Scream Tracker (STM)",
    "Farandole (FAR)",
    "Wave Audio (WAV)",
    "AMF",
    "AMS",
    "DSM",
    "MDL",
    "OKT",
    "MIDI (MID)",
    "DMF",
    "PTM",
    "DBM",
    "MT2",
    "AMF",
    "PSM",
    "J2B",
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    "Unreal Pack (UMX)",
};

constexpr const char *UNKNOWN_TYPE = "Unknown";

[[gnu::format(printf, 1, 2)]] char *format_value(const char *format, ...) {
    va_list args;
    va_start(args, format);
    char probe[1];
    int length = std::vsnprintf(probe, sizeof probe, format, args);
    va_end(args);
    char *value = length < 0 ? nullptr : static_cast<char *>(std::malloc(length + 1));
    if (value == nullptr)
        exit_out_of_memory();
    va_start(args, format);
    std::vsnprintf(value, length + 1, format, args);
    va_end(args);
    return value;
}

} // namespace

const char *module_type_text(int32_t module_type) {
    auto bits = static_cast<uint32_t>(module_type);
    if (bits == 0 || (bits & (bits - 1)) != 0)
        return UNKNOWN_TYPE;
    const char *name = MODULE_TYPE_NAMES[__builtin_ctz(bits)];
    return name != nullptr ? name : UNKNOWN_TYPE;
}

char *length_text(int32_t ms) {
    return format_value("%d:%02d", ms / 60000, (ms / 1000) % 60);
}

const char *module_type_name() {
    return module_type_text(ModPlug_GetModuleType(loaded_module));
}

void fill_info_cell(int32_t row, int32_t column, char *text) {
    if (row < 0 || row >= INFO_ROWS) {
        text[0] = '\0';
        return;
    }
    copy_cell_text(text, column == 0 ? INFO_LABELS[row] : table_values[row]);
}

void show_info_table() {
    if (settings.verbosity_level == 0)
        return;
    auto values = static_cast<char **>(std::malloc(INFO_VALUES * sizeof(char *)));
    if (values == nullptr)
        exit_out_of_memory();
    table_values = values;

    values[0] = length_text(ModPlug_GetLength(loaded_module));
    values[1] = copy_string(module_type_name());
    if (values[1] == nullptr)
        exit_out_of_memory();
    values[2] = format_value("%u instruments", ModPlug_NumInstruments(loaded_module));
    values[3] = format_value("%u samples", ModPlug_NumSamples(loaded_module));
    values[4] = format_value("%u channels", ModPlug_NumChannels(loaded_module));
    values[5] = format_value("%u patterns", ModPlug_NumPatterns(loaded_module));
    const char *name = ModPlug_GetName(loaded_module);
    // The name is the file's own text: shown without its control characters, and
    // measured as shown.
    values[NAME_VALUE] = screen_safe_copy(name != nullptr ? name : "", 0);
    if (values[NAME_VALUE] == nullptr)
        exit_out_of_memory();

    int32_t longest = longest_string_length(values, INFO_VALUES);
    int32_t cell_width = longest < MIN_CELL_WIDTH ? MIN_CELL_WIDTH : longest + 1;

    text_table table;
    table_setup(&table, INFO_TABLE_ID, INFO_ROWS, 2, cell_width, 0, 0);
    table_set_title(&table, values[NAME_VALUE]);
    table_set_style(&table, static_cast<uint32_t>(settings.table_style));
    table_set_cell_text(&table, fill_table_cell);
    table_print(table);

    for (int i = 0; i < INFO_VALUES; ++i)
        std::free(values[i]);
    std::free(values);
}
