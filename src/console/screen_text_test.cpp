#include "console/screen_text.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

namespace {

std::string made_safe(std::string text, int keep_line_breaks) {
    size_t length = make_screen_safe(text.data(), text.size(), keep_line_breaks);
    return text.substr(0, length);
}

TEST(ScreenTextTest, ControlCharactersBecomeOneQuestionMarkEach) {
    struct text_case {
        std::string text;
        std::string plain; // without line breaks
        std::string paged; // line breaks kept
    } cases[] = {
        {"Plain Title 1", "Plain Title 1", "Plain Title 1"},
        {"\x1b[31mRed\x1b[0m", "?[31mRed?[0m", "?[31mRed?[0m"},
        {"\x1b]0;owned\x07", "?]0;owned?", "?]0;owned?"},
        {"a\r\nb\tc\x7f", "a??b?c?", "a\r\nb?c?"},
        {std::string("nul\0x", 5), "nul?x", "nul?x"},
        // UTF-8 forms of U+0080..U+009F (a C1 CSI among them) shrink to one character;
        // the printable neighbours U+00A0 and U+00E9 stay whole.
        {"\xc2\x80|\xc2\x9b"
         "2J|\xc2\x9f",
         "?|?2J|?", "?|?2J|?"},
        {"caf\xc3\xa9 \xc2\xa0 \xc2\x7f", "caf\xc3\xa9 \xc2\xa0 \xc2?",
         "caf\xc3\xa9 \xc2\xa0 \xc2?"},
        {"cut \xc2", "cut \xc2", "cut \xc2"}, // a lead byte at the end is left alone
        {"", "", ""},
    };
    for (const text_case &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(made_safe(c.text, 0), c.plain);
        EXPECT_EQ(made_safe(c.text, 1), c.paged);
    }
}

TEST(ScreenTextTest, CopyIsTerminatedAndLeavesTheOriginal) {
    const char original[] = "\x1b[2J\xc2\x85name\n";
    char *copy = screen_safe_copy(original, 0);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "?[2J?name?");
    EXPECT_STREQ(original, "\x1b[2J\xc2\x85name\n");
    std::free(copy);
}

} // namespace
