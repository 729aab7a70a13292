#include "tables/info_table.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "module_writer.h"
#include "playback/module_loader.h"
#include "playback/module_state.h"
#include "settings/settings.h"
#include "test_support.h"

namespace {

// 8 instruments over 12 samples, 8 channels, 20 one-after-the-other patterns of 64 rows
// at speed 6 and tempo 125: 20 * 64 * 6 * 2.5 / 125 s = 153.6 s, which the decoder
// reports rounded to whole seconds, 154 s.
module_description night_drive(module_format format, const std::string &name) {
    module_description desc;
    desc.format = format;
    desc.name = name;
    desc.channels = 8;
    for (int i = 0; i < 12; ++i) {
        mw_sample sample;
        sample.name = "sample " + std::to_string(i + 1);
        sample.data.assign(32, static_cast<int8_t>(i * 5));
        desc.samples.push_back(sample);
    }
    if (format == module_format::xm || format == module_format::it) {
        for (int i = 0; i < 8; ++i) {
            mw_instrument instrument{"instrument " + std::to_string(i + 1), {i}};
            if (i == 7)
                instrument.samples = {7, 8, 9, 10, 11};
            desc.instruments.push_back(instrument);
        }
    }
    for (int p = 0; p < 20; ++p) {
        mw_pattern pattern;
        pattern.cells.push_back({.row = 0, .channel = p % 8, .note = 49, .instrument = 1});
        desc.patterns.push_back(pattern);
        desc.orders.push_back(p);
    }
    return desc;
}

struct info_fixture : ::testing::Test {
    void SetUp() override {
        default_settings(settings);
        unload_module();
    }
    void TearDown() override { unload_module(); }

    // Loads the module quietly and returns what show_info_table prints.
    std::string table_of(const module_description &desc, int32_t style, int32_t verbosity = 1) {
        path = dir.file("fixture");
        EXPECT_TRUE(write_module_file(desc, path));
        unload_module(); // the loader expects callers to release the previous module
        settings.verbosity_level = 0;
        module_path = path.data();
        module_path_owned = 0;
        load_module();
        EXPECT_NE(module_path, nullptr);
        settings.table_style = style;
        settings.verbosity_level = verbosity;
        captured_output got = capture_output([] { show_info_table(); });
        EXPECT_EQ(got.err, "");
        return got.out;
    }
    temp_dir dir;
    std::string path;
};

TEST_F(info_fixture, WorkedLayoutInEveryStyle) {
    struct style_case {
        int32_t style;
        std::string expected;
    } cases[] = {
        {0, "+-----------------------------------------+\n"
            "|               Night Drive               |\n"
            "+--------------------+--------------------+\n"
            "|Length:             |2:34                |\n"
            "+--------------------+--------------------+\n"
            "|Format:             |Extended Module (XM)|\n"
            "+--------------------+--------------------+\n"
            "|Instruments:        |8 instruments       |\n"
            "+--------------------+--------------------+\n"
            "|Samples:            |12 samples          |\n"
            "+--------------------+--------------------+\n"
            "|Channels:           |8 channels          |\n"
            "+--------------------+--------------------+\n"
            "|Patterns:           |20 patterns         |\n"
            "+--------------------+--------------------+\n"},
        {1, "+=========================================+\n"
            "|---------------Night Drive---------------|\n"
            "+====================+====================+\n"
            "|Length:             |2:34                |\n"
            "+====================+====================+\n"
            "|Format:             |Extended Module (XM)|\n"
            "+====================+====================+\n"
            "|Instruments:        |8 instruments       |\n"
            "+====================+====================+\n"
            "|Samples:            |12 samples          |\n"
            "+====================+====================+\n"
            "|Channels:           |8 channels          |\n"
            "+====================+====================+\n"
            "|Patterns:           |20 patterns         |\n"
            "+====================+====================+\n"},
        {2, "/-----------------------------------------\\\n"
            "|               Night Drive               |\n"
            "+--------------------+--------------------+\n"
            "|Length:             |2:34                |\n"
            "+--------------------+--------------------+\n"
            "|Format:             |Extended Module (XM)|\n"
            "+--------------------+--------------------+\n"
            "|Instruments:        |8 instruments       |\n"
            "+--------------------+--------------------+\n"
            "|Samples:            |12 samples          |\n"
            "+--------------------+--------------------+\n"
            "|Channels:           |8 channels          |\n"
            "+--------------------+--------------------+\n"
            "|Patterns:           |20 patterns         |\n"
            "\\--------------------+--------------------/\n"},
    };
    for (const style_case &c : cases) {
        SCOPED_TRACE(c.style);
        EXPECT_EQ(table_of(night_drive(module_format::xm, "Night Drive"), c.style), c.expected);
    }
}

TEST_F(info_fixture, EveryFormatNamesItself) {
    struct format_case {
        module_format format;
        const char *line;
    } cases[] = {
        {module_format::mod, "|Format:           |Amiga Module (MOD)|\n"},
        {module_format::s3m, "|Format:               |Scream Tracker 3 (S3M)|\n"},
        {module_format::xm, "|Format:             |Extended Module (XM)|\n"},
        {module_format::it, "|Format:             |Impulse Tracker (IT)|\n"},
    };
    for (const format_case &c : cases) {
        SCOPED_TRACE(c.line);
        std::string table = table_of(night_drive(c.format, "Night Drive"), 0);
        EXPECT_NE(table.find(c.line), std::string::npos) << table;
    }
}

TEST_F(info_fixture, EmptyNameHasNoTitleBox) {
    module_description desc = night_drive(module_format::mod, "");
    desc.channels = 4;
    desc.samples.resize(1);
    desc.patterns.resize(1);
    desc.orders = {0};
    // One pattern: 7.68 s, reported as 8 s. "Amiga Module (MOD)" is the longest value:
    // cell width 19.
    EXPECT_EQ(table_of(desc, 2), "/------------------+------------------\\\n"
                                 "|Length:           |0:08              |\n"
                                 "+------------------+------------------+\n"
                                 "|Format:           |Amiga Module (MOD)|\n"
                                 "+------------------+------------------+\n"
                                 "|Instruments:      |0 instruments     |\n"
                                 "+------------------+------------------+\n"
                                 "|Samples:          |31 samples        |\n"
                                 "+------------------+------------------+\n"
                                 "|Channels:         |4 channels        |\n"
                                 "+------------------+------------------+\n"
                                 "|Patterns:         |1 patterns        |\n"
                                 "\\------------------+------------------/\n");
}

TEST_F(info_fixture, LongNameWidensBothColumns) {
    // 26 characters, the most an IT name holds: cell width 27, frame 55 wide. The
    // name's length and the 53 inner characters differ in parity: one fill goes right.
    std::string table = table_of(night_drive(module_format::it, "Twenty-Six Characters Long"), 0);
    std::string rule = "+--------------------------+--------------------------+\n";
    EXPECT_EQ(table.substr(0, 2 * 56 + rule.size()),
              "+-----------------------------------------------------+\n"
              "|             Twenty-Six Characters Long              |\n" +
                  rule);
    EXPECT_NE(table.find("|Format:                   |Impulse Tracker (IT)      |\n"),
              std::string::npos)
        << table;
}

TEST_F(info_fixture, OnlyVerbosityZeroSilencesTheTable) {
    module_description desc = night_drive(module_format::xm, "Night Drive");
    EXPECT_EQ(table_of(desc, 0, 0), "");
    EXPECT_NE(table_of(desc, 0, -1), "");
    // A damaged settings file may hold any style: the table falls back to classic.
    EXPECT_EQ(table_of(desc, 0, 1), table_of(desc, 7, 1));
}

TEST(InfoTableTest, LengthText) {
    struct length_case {
        int32_t ms;
        const char *text;
    } cases[] = {
        {0, "0:00"},      {59999, "0:59"},    {60000, "1:00"},         {125000, "2:05"},
        {221500, "3:41"}, {3600000, "60:00"}, {INT32_MAX, "35791:23"},
    };
    for (const length_case &c : cases) {
        char *text = length_text(c.ms);
        EXPECT_STREQ(text, c.text) << c.ms;
        std::free(text);
    }
}

TEST(InfoTableTest, ModuleTypeNames) {
    struct type_case {
        int32_t value;
        const char *name;
    } cases[] = {
        {1 << 0, "Amiga Module (MOD)"},
        {1 << 1, "Scream Tracker 3 (S3M)"},
        {1 << 2, "Extended Module (XM)"},
        {1 << 5, "Impulse Tracker (IT)"},
        {1 << 11, "AMF"},
        {1 << 21, "AMF"},
        {1 << 23, "J2B"},
        {1 << 24, "Unknown"},
        {1 << 30, "Unknown"},
        {INT32_MIN, "Unreal Pack (UMX)"},
        {0, "Unknown"},
        {(1 << 2) | (1 << 5), "Unknown"},
        {-1, "Unknown"},
    };
    for (const type_case &c : cases)
        EXPECT_STREQ(module_type_text(c.value), c.name) << c.value;
}

} // namespace
