#include "console/line_history.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::vector<std::string> lines_newest_first() {
    std::vector<std::string> lines;
    for (size_t age = 0; const char *line = history_line(age); ++age)
        lines.emplace_back(line);
    return lines;
}

struct HistoryTest : ::testing::Test {
    void SetUp() override { history_clear(); }
    void TearDown() override { history_clear(); }
};

TEST_F(HistoryTest, NewestIsTheLastLineAndRepeatsAndBlanksDoNotPileUp) {
    struct history_case {
        std::vector<std::string> added;
        std::vector<std::string> kept; // newest first
    } cases[] = {
        {{"open a", "info"}, {"info", "open a"}},
        {{"info", "info", "info"}, {"info"}},
        {{"info", "open a", "info"}, {"info", "open a", "info"}},
        {{"info", ""}, {"", "info"}},
        {{"info", "", "  \t", "# note"}, {"# note", "info"}},
        {{"info", "", "info"}, {"info"}},
    };
    for (const history_case &c : cases) {
        history_clear();
        for (const std::string &line : c.added)
            EXPECT_EQ(history_add(line.c_str()), 1);
        EXPECT_EQ(lines_newest_first(), c.kept) << c.added.size() << " lines";
        ASSERT_NE(history_newest(), nullptr);
        EXPECT_EQ(history_newest(), c.added.back()) << "the newest is what '!' shows";
    }
}

TEST_F(HistoryTest, TheOldestLinesGoWhenTheLimitsAreReached) {
    for (size_t i = 0; i < HISTORY_LINES + 10; ++i)
        history_add(("volume " + std::to_string(i)).c_str());
    EXPECT_EQ(history_count(), HISTORY_LINES);
    EXPECT_STREQ(history_line(0), ("volume " + std::to_string(HISTORY_LINES + 9)).c_str());
    EXPECT_STREQ(history_line(HISTORY_LINES - 1), "volume 10");

    history_clear();
    std::string mebibyte(1u << 20, 'x');
    for (char tag : std::string("abcde"))
        history_add((tag + mebibyte).c_str());
    EXPECT_EQ(history_count(), 3u) << "three lines of a MiB fit in the byte limit, four not";
    EXPECT_EQ(history_line(0)[0], 'e');
    EXPECT_EQ(history_line(2)[0], 'c');

    std::string huge(HISTORY_BYTES + 1, 'y');
    history_add(huge.c_str());
    EXPECT_EQ(history_count(), 1u) << "a line over the limit is kept alone";
    EXPECT_EQ(history_newest(), huge);
}

} // namespace
