#include "tables/table_cells.h"

#include <cstdio>

#include "tables/info_table.h"
#include "tables/settings_tables.h"
#include "tables/table_printer.h"

char **table_values = nullptr;

namespace {

using cell_filler = void (*)(int32_t row, int32_t column, char *text);

struct table_entry {
    int32_t table_id;
    cell_filler fill;
};

constexpr table_entry CELL_FILLERS[] = {
    {CONFIG_TABLE_ID, fill_config_cell},
    {INFO_TABLE_ID, fill_info_cell},
    {ADVANCED_TABLE_ID, fill_advanced_cell},
    {-1, nullptr},
};

} // namespace

void copy_cell_text(char *text, const char *source) {
    std::snprintf(text, TABLE_CELL_TEXT_SIZE, "%s", source);
}

void fill_table_cell(int32_t table_id, int32_t row, int32_t column, char *text) {
    for (const table_entry *entry = CELL_FILLERS; entry->fill != nullptr; ++entry) {
        if (entry->table_id == table_id) {
            entry->fill(row, column, text);
            return;
        }
    }
    // The printer does not clear the buffer between cells, so an unknown table still
    // gets a defined (empty) cell.
    text[0] = '\0';
}
