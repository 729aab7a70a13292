#include "tables/settings_tables.h"

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "settings/settings.h"
#include "tables/table_cells.h"
#include "tables/table_printer.h"
#include "test_support.h"

namespace {

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

// The value cell of a printed cell line, without its padding.
std::string value_of(const std::string &line) {
    size_t first = line.find('|', 1);
    size_t last = line.rfind('|');
    if (first == std::string::npos || last <= first)
        return "<no value cell in " + line + ">";
    std::string value = line.substr(first + 1, last - first - 1);
    return value.substr(0, value.find_last_not_of(' ') + 1);
}

struct settings_tables : ::testing::Test {
    void SetUp() override { default_settings(settings); }
    void TearDown() override { default_settings(settings); }

    // What the table action prints; nothing may go to standard error.
    static std::string printed(void (*show)(const char *), const char *argument = nullptr) {
        captured_output got = capture_output([&] { show(argument); });
        EXPECT_EQ(got.err, "");
        return got.out;
    }

    // The printed line of cell row `row` (rules and cell lines alternate, rule first).
    static std::string row_line(void (*show)(const char *), int row) {
        std::vector<std::string> lines = lines_of(printed(show));
        size_t index = 1 + 2 * static_cast<size_t>(row);
        return index < lines.size() ? lines[index] : "<missing>";
    }
};

const char *const CONFIG_DEFAULT_CLASSIC = "+----------------+----------------+\n"
                                           "|Sampling Rate:  |44.100 kHz      |\n"
                                           "+----------------+----------------+\n"
                                           "|Resampling Mode:|Spline          |\n"
                                           "+----------------+----------------+\n"
                                           "|Noise Reduction:|NO              |\n"
                                           "+----------------+----------------+\n"
                                           "|Reverb:         |NO              |\n"
                                           "+----------------+----------------+\n"
                                           "|Megabass:       |NO              |\n"
                                           "+----------------+----------------+\n"
                                           "|Surround:       |NO              |\n"
                                           "+----------------+----------------+\n"
                                           "|Channels:       |Stereo          |\n"
                                           "+----------------+----------------+\n"
                                           "|Master Volume:  |128             |\n"
                                           "+----------------+----------------+\n";

const char *const ADVANCED_DEFAULT_CLASSIC = "+---------------+---------------+\n"
                                             "|Reverb Depth   |20             |\n"
                                             "+---------------+---------------+\n"
                                             "|Reverb Delay   |60 ms          |\n"
                                             "+---------------+---------------+\n"
                                             "|Bass Amount    |40             |\n"
                                             "+---------------+---------------+\n"
                                             "|Bass Range     |50 Hz          |\n"
                                             "+---------------+---------------+\n"
                                             "|Surround Depth |50             |\n"
                                             "+---------------+---------------+\n"
                                             "|Surround Delay |20 ms          |\n"
                                             "+---------------+---------------+\n"
                                             "|Endianness     |little-endian  |\n"
                                             "+---------------+---------------+\n"
                                             "|Appareance     |classic        |\n"
                                             "+---------------+---------------+\n"
                                             "|Verbosity      |1              |\n"
                                             "+---------------+---------------+\n";

TEST_F(settings_tables, DefaultsInEachStyle) {
    EXPECT_EQ(printed(show_config_table), CONFIG_DEFAULT_CLASSIC);
    EXPECT_EQ(printed(show_advanced_table, "ignored argument"), ADVANCED_DEFAULT_CLASSIC);

    settings.table_style = 1;
    EXPECT_EQ(printed(show_config_table, "ignored argument"),
              "+================+================+\n"
              "|Sampling Rate:  |44.100 kHz      |\n"
              "+================+================+\n"
              "|Resampling Mode:|Spline          |\n"
              "+================+================+\n"
              "|Noise Reduction:|NO              |\n"
              "+================+================+\n"
              "|Reverb:         |NO              |\n"
              "+================+================+\n"
              "|Megabass:       |NO              |\n"
              "+================+================+\n"
              "|Surround:       |NO              |\n"
              "+================+================+\n"
              "|Channels:       |Stereo          |\n"
              "+================+================+\n"
              "|Master Volume:  |128             |\n"
              "+================+================+\n");

    settings.table_style = 2;
    EXPECT_EQ(printed(show_advanced_table), "/---------------+---------------\\\n"
                                            "|Reverb Depth   |20             |\n"
                                            "+---------------+---------------+\n"
                                            "|Reverb Delay   |60 ms          |\n"
                                            "+---------------+---------------+\n"
                                            "|Bass Amount    |40             |\n"
                                            "+---------------+---------------+\n"
                                            "|Bass Range     |50 Hz          |\n"
                                            "+---------------+---------------+\n"
                                            "|Surround Depth |50             |\n"
                                            "+---------------+---------------+\n"
                                            "|Surround Delay |20 ms          |\n"
                                            "+---------------+---------------+\n"
                                            "|Endianness     |little-endian  |\n"
                                            "+---------------+---------------+\n"
                                            "|Appareance     |boxed          |\n"
                                            "+---------------+---------------+\n"
                                            "|Verbosity      |1              |\n"
                                            "\\---------------+---------------/\n");
}

TEST_F(settings_tables, PrintedWhateverTheVerbosity) {
    settings.verbosity_level = 0;
    EXPECT_EQ(printed(show_config_table), CONFIG_DEFAULT_CLASSIC);
    std::string advanced = printed(show_advanced_table);
    ASSERT_EQ(lines_of(advanced).size(), 19u);
    EXPECT_EQ(lines_of(advanced)[17], "|Verbosity      |0              |");
}

TEST_F(settings_tables, UnknownStyleKeepsTheClassicFrame) {
    settings.table_style = 5;
    EXPECT_EQ(printed(show_config_table), CONFIG_DEFAULT_CLASSIC);
    std::string advanced = printed(show_advanced_table);
    std::vector<std::string> lines = lines_of(advanced);
    ASSERT_EQ(lines.size(), 19u);
    EXPECT_EQ(lines.front(), "+---------------+---------------+");
    EXPECT_EQ(lines[15], "|Appareance     |boxed          |");
    EXPECT_EQ(lines.back(), "+---------------+---------------+");
}

// One field changed from the defaults and the cell line it must give.
struct value_case {
    const char *name;
    std::function<void()> change;
    void (*show)(const char *);
    int row;
    const char *line;
};

TEST_F(settings_tables, ValueTexts) {
    const value_case cases[] = {
        {"rate 11025", [] { settings.sample_rate = 11025; }, show_config_table, 0,
         "|Sampling Rate:  |11.025 kHz      |"},
        {"rate 22050", [] { settings.sample_rate = 22050; }, show_config_table, 0,
         "|Sampling Rate:  |22.050 kHz      |"},
        {"rate 0", [] { settings.sample_rate = 0; }, show_config_table, 0,
         "|Sampling Rate:  |0.000 kHz       |"},
        {"nearest", [] { settings.resampling_mode = 0; }, show_config_table, 1,
         "|Resampling Mode:|No Interpolation|"},
        {"linear", [] { settings.resampling_mode = 1; }, show_config_table, 1,
         "|Resampling Mode:|Linear          |"},
        {"fir", [] { settings.resampling_mode = 3; }, show_config_table, 1,
         "|Resampling Mode:|Fir Filter      |"},
        {"mode 4", [] { settings.resampling_mode = 4; }, show_config_table, 1,
         "|Resampling Mode:|Unknown         |"},
        {"mode 9", [] { settings.resampling_mode = 9; }, show_config_table, 1,
         "|Resampling Mode:|Unknown         |"},
        {"mode -1", [] { settings.resampling_mode = -1; }, show_config_table, 1,
         "|Resampling Mode:|Unknown         |"},
        {"mono", [] { settings.channel_count = 1; }, show_config_table, 6,
         "|Channels:       |Mono            |"},
        {"3 channels", [] { settings.channel_count = 3; }, show_config_table, 6,
         "|Channels:       |Invalid         |"},
        {"0 channels", [] { settings.channel_count = 0; }, show_config_table, 6,
         "|Channels:       |Invalid         |"},
        {"volume 768", [] { settings.master_volume = 768; }, show_config_table, 7,
         "|Master Volume:  |768             |"},
        {"volume -1", [] { settings.master_volume = -1; }, show_config_table, 7,
         "|Master Volume:  |4294967295      |"},
        {"depth 100", [] { settings.reverb_depth = 100; }, show_advanced_table, 0,
         "|Reverb Depth   |100            |"},
        {"depth fills its room", [] { settings.reverb_depth = -1234567; }, show_advanced_table, 0,
         "|Reverb Depth   |-123456        |"},
        {"delay fills its room", [] { settings.reverb_delay = 1234; }, show_advanced_table, 1,
         "|Reverb Delay   |1234 ms        |"},
        {"delay cut to its room", [] { settings.reverb_delay = 12345; }, show_advanced_table, 1,
         "|Reverb Delay   |12345 m        |"},
        {"amount cut", [] { settings.bass_amount = 12345678; }, show_advanced_table, 2,
         "|Bass Amount    |1234567        |"},
        {"range", [] { settings.bass_range = 10; }, show_advanced_table, 3,
         "|Bass Range     |10 Hz          |"},
        {"range cut", [] { settings.bass_range = 12345; }, show_advanced_table, 3,
         "|Bass Range     |12345 H        |"},
        {"surround depth cut", [] { settings.surround_depth = 99999999; }, show_advanced_table, 4,
         "|Surround Depth |9999999        |"},
        {"surround delay has more room", [] { settings.surround_delay = -2147483647; },
         show_advanced_table, 5, "|Surround Delay |-2147483647 ms |"},
        {"big-endian", [] { settings.little_endian = 0; }, show_advanced_table, 6,
         "|Endianness     |big-endian     |"},
        {"byte order 7", [] { settings.little_endian = 7; }, show_advanced_table, 6,
         "|Endianness     |little-endian  |"},
        {"byte order -1", [] { settings.little_endian = -1; }, show_advanced_table, 6,
         "|Endianness     |little-endian  |"},
        {"strong", [] { settings.table_style = 1; }, show_advanced_table, 7,
         "|Appareance     |strong         |"},
        {"style -1", [] { settings.table_style = -1; }, show_advanced_table, 7,
         "|Appareance     |boxed          |"},
        {"verbosity 3", [] { settings.verbosity_level = 3; }, show_advanced_table, 8,
         "|Verbosity      |3              |"},
        {"verbosity 1234", [] { settings.verbosity_level = 1234; }, show_advanced_table, 8,
         "|Verbosity      |123            |"},
        {"verbosity -1", [] { settings.verbosity_level = -1; }, show_advanced_table, 8,
         "|Verbosity      |-1             |"},
        {"verbosity -123", [] { settings.verbosity_level = -123; }, show_advanced_table, 8,
         "|Verbosity      |-12            |"},
    };
    for (const value_case &c : cases) {
        default_settings(settings);
        c.change();
        EXPECT_EQ(row_line(c.show, c.row), c.line) << c.name;
    }
}

TEST_F(settings_tables, EffectRowsFollowTheirOwnBits) {
    struct effect_case {
        int32_t flags;
        const char *noise_reduction, *reverb, *megabass, *surround;
    } cases[] = {
        {1, "NO", "NO", "NO", "NO"},
        {30, "YES", "YES", "YES", "YES"},
        {2, "YES", "NO", "NO", "NO"},
        {4, "NO", "YES", "NO", "NO"},
        {8, "NO", "NO", "YES", "NO"},
        {16, "NO", "NO", "NO", "YES"},
        {1 | 4 | 16, "NO", "YES", "NO", "YES"},
        {-32, "NO", "NO", "NO", "NO"},
        {INT32_MAX, "YES", "YES", "YES", "YES"},
    };
    for (const effect_case &c : cases) {
        settings.effect_flags = c.flags;
        std::vector<std::string> lines = lines_of(printed(show_config_table));
        ASSERT_EQ(lines.size(), 17u);
        EXPECT_EQ(value_of(lines[5]), c.noise_reduction) << c.flags;
        EXPECT_EQ(value_of(lines[7]), c.reverb) << c.flags;
        EXPECT_EQ(value_of(lines[9]), c.megabass) << c.flags;
        EXPECT_EQ(value_of(lines[11]), c.surround) << c.flags;
    }
}

void set_every_field(int32_t value) {
    settings = player_settings{value, value, value, value, value, value, value,
                               value, value, value, value, value, value, value};
}

// Every line as wide as the frame, rules where rules belong, and the inner bar in place.
void expect_intact_frame(const std::string &text, size_t rows, size_t cell_width) {
    std::vector<std::string> lines = lines_of(text);
    ASSERT_EQ(lines.size(), 2 * rows + 1);
    for (size_t i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(lines[i].size(), 2 * cell_width + 1) << "line " << i << ": " << lines[i];
        if (i % 2 == 1) {
            EXPECT_EQ(lines[i][0], '|') << lines[i];
            EXPECT_EQ(lines[i][cell_width], '|') << lines[i];
            EXPECT_EQ(lines[i][2 * cell_width], '|') << lines[i];
        }
    }
}

TEST_F(settings_tables, ExtremeValuesKeepTheFrame) {
    set_every_field(INT32_MIN);
    std::string config = printed(show_config_table);
    EXPECT_EQ(config, "+----------------+----------------+\n"
                      "|Sampling Rate:  |-2147483.648 kHz|\n"
                      "+----------------+----------------+\n"
                      "|Resampling Mode:|Unknown         |\n"
                      "+----------------+----------------+\n"
                      "|Noise Reduction:|NO              |\n"
                      "+----------------+----------------+\n"
                      "|Reverb:         |NO              |\n"
                      "+----------------+----------------+\n"
                      "|Megabass:       |NO              |\n"
                      "+----------------+----------------+\n"
                      "|Surround:       |NO              |\n"
                      "+----------------+----------------+\n"
                      "|Channels:       |Invalid         |\n"
                      "+----------------+----------------+\n"
                      "|Master Volume:  |2147483648      |\n"
                      "+----------------+----------------+\n");
    std::string advanced = printed(show_advanced_table);
    EXPECT_EQ(advanced, "+---------------+---------------+\n"
                        "|Reverb Depth   |-214748        |\n"
                        "+---------------+---------------+\n"
                        "|Reverb Delay   |-214748        |\n"
                        "+---------------+---------------+\n"
                        "|Bass Amount    |-214748        |\n"
                        "+---------------+---------------+\n"
                        "|Bass Range     |-214748        |\n"
                        "+---------------+---------------+\n"
                        "|Surround Depth |-214748        |\n"
                        "+---------------+---------------+\n"
                        "|Surround Delay |-2147483648 ms |\n"
                        "+---------------+---------------+\n"
                        "|Endianness     |little-endian  |\n"
                        "+---------------+---------------+\n"
                        "|Appareance     |boxed          |\n"
                        "+---------------+---------------+\n"
                        "|Verbosity      |-21            |\n"
                        "+---------------+---------------+\n");

    set_every_field(INT32_MAX);
    config = printed(show_config_table);
    EXPECT_EQ(config, "+----------------+----------------+\n"
                      "|Sampling Rate:  |2147483.647 kHz |\n"
                      "+----------------+----------------+\n"
                      "|Resampling Mode:|Unknown         |\n"
                      "+----------------+----------------+\n"
                      "|Noise Reduction:|YES             |\n"
                      "+----------------+----------------+\n"
                      "|Reverb:         |YES             |\n"
                      "+----------------+----------------+\n"
                      "|Megabass:       |YES             |\n"
                      "+----------------+----------------+\n"
                      "|Surround:       |YES             |\n"
                      "+----------------+----------------+\n"
                      "|Channels:       |Invalid         |\n"
                      "+----------------+----------------+\n"
                      "|Master Volume:  |2147483647      |\n"
                      "+----------------+----------------+\n");
    advanced = printed(show_advanced_table);
    EXPECT_EQ(advanced, "+---------------+---------------+\n"
                        "|Reverb Depth   |2147483        |\n"
                        "+---------------+---------------+\n"
                        "|Reverb Delay   |2147483        |\n"
                        "+---------------+---------------+\n"
                        "|Bass Amount    |2147483        |\n"
                        "+---------------+---------------+\n"
                        "|Bass Range     |2147483        |\n"
                        "+---------------+---------------+\n"
                        "|Surround Depth |2147483        |\n"
                        "+---------------+---------------+\n"
                        "|Surround Delay |2147483647 ms  |\n"
                        "+---------------+---------------+\n"
                        "|Endianness     |little-endian  |\n"
                        "+---------------+---------------+\n"
                        "|Appareance     |boxed          |\n"
                        "+---------------+---------------+\n"
                        "|Verbosity      |214            |\n"
                        "+---------------+---------------+\n");

    // Other values at the edges of the rooms, and the three drawable styles.
    for (int32_t value : {-1, -9999999, -99999999, 99999999, 999999999, -1000000000}) {
        for (int32_t style : {0, 1, 2}) {
            set_every_field(value);
            settings.table_style = style;
            expect_intact_frame(printed(show_config_table), 8, 17);
            expect_intact_frame(printed(show_advanced_table), 9, 16);
        }
    }
}

TEST_F(settings_tables, CellsOutsideTheTablesAreEmpty) {
    // No print is running: the fillers must not touch table_values for these cells.
    table_values = nullptr;
    struct cell {
        int32_t table_id, row, column;
    } cells[] = {
        {CONFIG_TABLE_ID, 8, 0},    {CONFIG_TABLE_ID, 8, 1},
        {CONFIG_TABLE_ID, -1, 1},   {CONFIG_TABLE_ID, INT32_MIN, 0},
        {CONFIG_TABLE_ID, 0, 2},    {CONFIG_TABLE_ID, 7, -1},
        {ADVANCED_TABLE_ID, 9, 0},  {ADVANCED_TABLE_ID, 9, 1},
        {ADVANCED_TABLE_ID, -1, 0}, {ADVANCED_TABLE_ID, INT32_MAX, 1},
        {ADVANCED_TABLE_ID, 0, 2},  {ADVANCED_TABLE_ID, 8, INT32_MIN},
    };
    for (const cell &c : cells) {
        char text[TABLE_CELL_TEXT_SIZE] = "stale";
        fill_table_cell(c.table_id, c.row, c.column, text);
        EXPECT_STREQ(text, "") << c.table_id << " " << c.row << " " << c.column;
    }
}

TEST_F(settings_tables, SetadvancedShowsTheTableThenAsks) {
    captured_output got = run_with_input("70\n\n\n\n\n\nbig\nboxed\n3\n",
                                         [] { cmd_setadvanced("ignored argument"); });
    EXPECT_EQ(got.out, std::string(ADVANCED_DEFAULT_CLASSIC) +
                           "Reverb Depth [0-100]? "
                           "Reverb Delay in ms. [40-200]? "
                           "Bass Amount [0-100]? "
                           "Bass Range in Hz. [10-100]? "
                           "Surround Depth [0-100]? "
                           "Surround Delay in ms. [5-40]? "
                           "local endianness [little-endian, big-endian]? "
                           "appareance [classic, strong, boxed]? "
                           "verbosity level? ");
    EXPECT_EQ(got.err, "");
    EXPECT_EQ(settings.reverb_depth, 70);
    EXPECT_EQ(settings.little_endian, 0);
    EXPECT_EQ(settings.table_style, 2);
    EXPECT_EQ(settings.verbosity_level, 3);

    // The new values show in the next table.
    std::vector<std::string> lines = lines_of(printed(show_advanced_table));
    ASSERT_EQ(lines.size(), 19u);
    EXPECT_EQ(lines[0], "/---------------+---------------\\");
    EXPECT_EQ(lines[1], "|Reverb Depth   |70             |");
    EXPECT_EQ(lines[13], "|Endianness     |big-endian     |");
}

} // namespace
