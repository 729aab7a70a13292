#include "console/line_reader.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/text.h"
#include "test_support.h"

namespace {

// Every line read_line gives for input, until the stream is exhausted, plus one more
// call to show that an exhausted stream keeps giving empty texts.
std::vector<std::string> lines_of(const std::string &input, int extra_calls = 2) {
    temp_dir dir;
    std::string path = dir.file("input");
    EXPECT_TRUE(write_file(path, input));
    FILE *stream = fopen(path.c_str(), "r");
    std::vector<std::string> lines;
    while (!feof(stream) || extra_calls-- > 0) {
        owned_text line(read_line(stream));
        lines.emplace_back(line.get());
    }
    fclose(stream);
    return lines;
}

TEST(LineReaderTest, LinesOfEveryLengthComeWhole) {
    std::string long_line(5000, 'x');
    long_line[127] = 'A'; // the character the old 127-byte reader dropped
    struct line_case {
        std::string input;
        std::vector<std::string> lines;
    } cases[] = {
        {"one\ntwo\n", {"one", "two", "", "", ""}},
        {"no newline at the end", {"no newline at the end", "", ""}},
        {"\n\n", {"", "", "", "", ""}},
        {"carriage\r\nreturn\r", {"carriage\r", "return\r", "", ""}},
        {std::string(127, 'a') + "\n" + std::string(128, 'b') + "\n",
         {std::string(127, 'a'), std::string(128, 'b'), "", "", ""}},
        {long_line + "\nnext\n", {long_line, "next", "", "", ""}},
        {"", {"", "", ""}},
    };
    for (const line_case &c : cases) {
        SCOPED_TRACE(c.input.substr(0, 40));
        EXPECT_EQ(lines_of(c.input), c.lines);
    }
}

TEST(LineReaderTest, ConsoleLineReadsStandardInput) {
    captured_output got = run_with_input("typed line\n", [] {
        owned_text line(read_console_line());
        std::fputs(line.get(), stdout);
        EXPECT_FALSE(console_input_ended());
        owned_text rest(read_console_line());
        EXPECT_STREQ(rest.get(), "");
        EXPECT_TRUE(console_input_ended());
    });
    EXPECT_EQ(got.out, "typed line");
}

TEST(TextTest, TrimRightAndConversions) {
    char text[] = "song.mod \t \t";
    trim_right(text);
    EXPECT_STREQ(text, "song.mod");
    char inner[] = " a b\n";
    trim_right(inner); // only spaces and tabs go
    EXPECT_STREQ(inner, " a b\n");

    struct number_case {
        const char *text;
        int32_t as_int;
        uint32_t as_uint;
    } cases[] = {
        {"42", 42, 42u},         {"  42abc", 42, 42u},
        {"-1", -1, 4294967295u}, {"abc", 0, 0u},
        {"+7", 7, 7u},           {"", 0, 0u},
        {"4294967296", 0, 0u},   {"99999999999999999999", -1, 4294967295u},
    };
    for (const number_case &c : cases) {
        EXPECT_EQ(text_to_int(c.text), c.as_int) << c.text;
        EXPECT_EQ(text_to_uint(c.text), c.as_uint) << c.text;
    }
}

} // namespace
