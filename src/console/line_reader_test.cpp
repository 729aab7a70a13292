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
        owned_text line(read_line(stream, "input"));
        lines.emplace_back(line.get());
    }
    fclose(stream);
    return lines;
}

TEST(LineReaderTest, LinesOfEveryLengthComeWhole) {
    std::string long_line(5000, 'x');
    long_line[127] = 'A'; // the character the old 127-byte reader dropped
    std::string longest(LINE_LIMIT, 'y');
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
        {longest + "\nnext", {longest, "next", "", ""}},
        {"", {"", "", ""}},
    };
    for (const line_case &c : cases) {
        SCOPED_TRACE(c.input.substr(0, 40));
        EXPECT_EQ(lines_of(c.input), c.lines);
    }
}

// A file line one byte over the limit gives the empty text, reported once with the name;
// the file is not read past it (a device may never end the line).
TEST(LineReaderTest, FileLineOverTheLimitIsReportedOnce) {
    temp_dir dir;
    std::string path = dir.file("list");
    ASSERT_TRUE(write_file(path, std::string(LINE_LIMIT + 1, 'z') + "\nnext\n"));
    FILE *stream = fopen(path.c_str(), "r");
    std::string line;
    captured_output got = capture_output([&] {
        owned_text text(read_line(stream, "list.txt"));
        line = text.get();
    });
    long position = ftell(stream);
    fclose(stream);
    EXPECT_EQ(line, "");
    EXPECT_EQ(got.err, ">>> WARNING: list.txt: line too long\n");
    EXPECT_LE(position, static_cast<long>(LINE_LIMIT + 1));
}

// Answers from standard input: every line, a line over the limit skipped to its end and
// reported naming the question, and the end of the input as the empty answer from then on.
TEST(LineReaderTest, ConsoleAnswersAndTheEndOfInput) {
    std::string input = "typed line\n" + std::string(LINE_LIMIT + 70000, 'q') + "\nafter\n" +
                        std::string(LINE_LIMIT, 'k') + "\npartial";
    struct answer {
        std::string text;
        bool ended;
    };
    std::vector<answer> answers;
    captured_output got = run_with_input(input, [&] {
        for (int i = 0; i < 7; ++i) {
            owned_text line(read_console_line("option? "));
            answers.push_back({line.get(), console_input_ended() != 0});
        }
        EXPECT_TRUE(console_input_exhausted());
        EXPECT_EQ(read_console_char(), EOF);
    });
    std::vector<std::pair<std::string, bool>> seen;
    for (const answer &a : answers)
        seen.emplace_back(a.text.size() > 20 ? a.text.substr(0, 3) + "..." : a.text, a.ended);
    std::vector<std::pair<std::string, bool>> expected = {
        {"typed line", false}, {"", false}, {"after", false}, {"kkk...", false},
        {"partial", true},     {"", true},  {"", true}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(answers[3].text.size(), LINE_LIMIT);
    EXPECT_EQ(got.err, ">>> WARNING: option?: line too long\n");
}

// The pager's reader takes one character per call from the same buffer as the lines.
TEST(LineReaderTest, ConsoleCharactersShareTheLineBuffer) {
    run_with_input("ab\nrest\n", [] {
        EXPECT_EQ(read_console_char(), 'a');
        owned_text line(read_console_line("q"));
        EXPECT_STREQ(line.get(), "b");
        EXPECT_EQ(read_console_char(), 'r');
        EXPECT_FALSE(console_input_ended());
    });
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
