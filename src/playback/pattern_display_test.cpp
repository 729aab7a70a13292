#include "playback/pattern_display.h"

#include <gtest/gtest.h>

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
    loaded_format = {44100, 2, 16};
    bytes_played = 1262ull * 8192; // 10 338 304 bytes: 58.6 s
    EXPECT_EQ(elapsed_seconds(2), 58u);
    loaded_format = {22050, 1, 16};
    EXPECT_EQ(elapsed_seconds(2), 234u);
    bytes_played = 0;
    EXPECT_EQ(elapsed_seconds(2), 0u);
    loaded_format = {44100, 2, 16};
}

} // namespace
