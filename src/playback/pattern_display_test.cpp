#include "playback/pattern_display.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "module_writer.h"
#include "playback/module_loader.h"
#include "playback/module_state.h"
#include "settings/settings.h"
#include "test_support.h"

#include "playback/audio_output.h"
#include "playback/decoder_settings.h"
#include "playback/play_loop.h"

namespace {

TEST(PatternDisplayTest, ChannelRangeReadsLikeAtoi) {
    struct range_case {
        const char *text;
        int32_t first;
        int32_t last;
    } cases[] = {
        {"3-7", 3, 7},   {"3", 3, 0},     {"3-", 3, 0},  {"-7", -7, 0},
        {"3-7-9", 3, 7}, {"-3-7", -3, 7}, {"abc", 0, 0}, {"", 0, 0},
        {"12", 12, 0},   {" 2- 4", 2, 4}, {"x-5", 0, 5},
    };
    for (const range_case &c : cases) {
        int32_t first = 99;
        int32_t last = 99;
        parse_channel_range(c.text, first, last);
        EXPECT_EQ(first, c.first) << c.text;
        EXPECT_EQ(last, c.last) << c.text;
    }
}

TEST(PatternDisplayTest, NoteCellTexts) {
    struct note_case {
        uint8_t note;
        const char *text;
    } cases[] = {
        {0, "..."},  {253, "~~~"}, {254, "^^^"}, {255, "==="}, {1, "C-0"},  {2, "C#0"},
        {49, "C-4"}, {120, "B-9"}, {121, "C-1"}, {252, "B-2"}, {59, "A#4"},
    };
    for (const note_case &c : cases) {
        char text[4] = "xxx";
        note_cell_text_of(c.note, text);
        EXPECT_STREQ(text, c.text) << int(c.note);
    }
}

TEST(PlayLoopTest, ElapsedSecondsTruncate) {
    loaded_format = {44100, 2, 16, 0};
    bytes_played = 1262ull * 8192; // 10 338 304 bytes: 58.6 s
    EXPECT_EQ(elapsed_seconds(2), 58u);
    loaded_format = {22050, 1, 16, 0};
    EXPECT_EQ(elapsed_seconds(2), 234u);
    bytes_played = 0;
    EXPECT_EQ(elapsed_seconds(2), 0u);
    loaded_format = {44100, 2, 16, 0};
}

} // namespace

namespace {

// A damaged IT whose channel settings are zeroed reports no channels at all; the view
// must then show the row numbers alone and read no cell before the pattern's first.
TEST(PatternDisplayTest, ModuleWithoutChannelsShowsNoCells) {
    temp_dir dir;
    module_description desc;
    desc.format = module_format::it;
    desc.name = "No Channels";
    mw_sample sample;
    sample.data = make_wave(mw_wave::square, 16, 4);
    desc.samples.push_back(sample);
    desc.instruments.push_back({"one", {0}});
    mw_pattern pattern;
    pattern.rows = 8;
    pattern.cells.push_back({.row = 0, .channel = 0, .note = 49, .instrument = 1});
    desc.patterns.push_back(pattern);
    std::vector<uint8_t> bytes = write_module(desc);
    std::fill(bytes.begin() + 64, bytes.begin() + 320, 0);
    std::string path = dir.file("zeroed.it");
    ASSERT_TRUE(write_file(path, std::string(bytes.begin(), bytes.end())));

    default_settings(settings);
    settings.verbosity_level = 0;
    unload_module();
    module_path = path.data();
    module_path_owned = 0;
    load_module();
    ASSERT_NE(module_path, nullptr);
    ASSERT_EQ(ModPlug_NumChannels(loaded_module), 0u);
    driver_name = "null";
    captured_output got = run_with_input("", [] { start_pattern_display(-1, -1); });
    driver_name = nullptr;
    EXPECT_EQ(first_channel, 1);
    EXPECT_EQ(last_channel, 0);
    EXPECT_EQ(got.out.substr(0, 12), "row\n----\n  0");
    unload_module();
}

} // namespace
