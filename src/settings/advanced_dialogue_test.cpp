#include "settings/advanced_dialogue.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "settings/settings.h"
#include "test_support.h"

namespace {

const std::string PROMPTS[9] = {
    "Reverb Depth [0-100]? ",
    "Reverb Delay in ms. [40-200]? ",
    "Bass Amount [0-100]? ",
    "Bass Range in Hz. [10-100]? ",
    "Surround Depth [0-100]? ",
    "Surround Delay in ms. [5-40]? ",
    "local endianness [little-endian, big-endian]? ",
    "appareance [classic, strong, boxed]? ",
    "verbosity level? ",
};
constexpr int BYTE_ORDER_QUESTION = 6;
constexpr int STYLE_QUESTION = 7;

// The dialogue's output when question `repeated` is asked `times` times and every other
// question once.
std::string prompts_with(int repeated, int times) {
    std::string text;
    for (int i = 0; i < 9; ++i)
        for (int n = 0; n < (i == repeated ? times : 1); ++n)
            text += PROMPTS[i];
    return text;
}

bool same_settings(const player_settings &a, const player_settings &b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A question that never ends would hang the whole run; the alarm turns that into a
// killed (failed) test binary instead.
struct dialogue : ::testing::Test {
    void SetUp() override {
        default_settings(settings);
        alarm(20);
    }
    void TearDown() override {
        alarm(0);
        default_settings(settings);
    }
};

TEST_F(dialogue, EndOfInputAsksEveryQuestionOnceAndKeepsEverything) {
    for (const char *input : {"", "\n\n\n\n\n\n\n\n\n", " \t\n\t\n \n\n\n\n"}) {
        player_settings before = settings;
        captured_output got = run_with_input(input, advanced_dialogue);
        EXPECT_EQ(got.out, "Reverb Depth [0-100]? "
                           "Reverb Delay in ms. [40-200]? "
                           "Bass Amount [0-100]? "
                           "Bass Range in Hz. [10-100]? "
                           "Surround Depth [0-100]? "
                           "Surround Delay in ms. [5-40]? "
                           "local endianness [little-endian, big-endian]? "
                           "appareance [classic, strong, boxed]? "
                           "verbosity level? ")
            << '"' << input << '"';
        EXPECT_EQ(got.err, "");
        EXPECT_TRUE(same_settings(settings, before)) << '"' << input << '"';
    }
}

TEST_F(dialogue, EveryAnswerGoesToItsOwnField) {
    temp_dir home;
    const char *old_home = std::getenv("HOME");
    std::string saved_home = old_home != nullptr ? old_home : "";
    setenv("HOME", home.path.c_str(), 1);

    player_settings expected = settings;
    expected.reverb_depth = 11;
    expected.reverb_delay = 199;
    expected.bass_amount = 33;
    expected.bass_range = 10;
    expected.surround_depth = 0;
    expected.surround_delay = 40;
    expected.little_endian = 0;
    expected.table_style = 1;
    expected.verbosity_level = 2;
    captured_output got =
        run_with_input("11\n199\n33\n10\n0\n40\nbig-endian\nstrong\n2\n", advanced_dialogue);

    if (old_home != nullptr)
        setenv("HOME", saved_home.c_str(), 1);
    else
        unsetenv("HOME");

    EXPECT_EQ(got.out, prompts_with(-1, 0));
    EXPECT_EQ(got.err, "");
    EXPECT_TRUE(same_settings(settings, expected));
    // Only the in-memory settings change: no settings file appears.
    EXPECT_TRUE(std::filesystem::is_empty(home.path));
}

struct number_case {
    const char *input;
    int32_t lower, upper;
    int32_t expected; // the field starts at 77
    int prompt_count;
};

TEST_F(dialogue, NumberAnswers) {
    const number_case cases[] = {
        {"", 0, 100, 77, 1},
        {"\n", 0, 100, 77, 1},
        {" \t \n", 0, 100, 77, 1},
        {"42\n", 0, 100, 42, 1},
        {"42", 0, 100, 42, 1},
        {"  42\n", 0, 100, 42, 1},
        {"42abc\n", 0, 100, 42, 1},
        {"42 \t\n", 0, 100, 42, 1},
        {"+9\n", 0, 100, 9, 1},
        {"abc\n", 0, 100, 0, 1},
        {"0\n", 0, 100, 0, 1},
        {"100\n", 0, 100, 100, 1},
        {"101\n", 0, 100, 77, 2},
        {"-1\n", 0, 100, 77, 2},
        {"101\n-1\n50\n", 0, 100, 50, 3},
        {"101\n\n55\n", 0, 100, 77, 2},
        {"abc\n", 40, 200, 77, 2},
        {"abc\n40\n", 40, 200, 40, 2},
        {"39\n201\n200\n", 40, 200, 200, 3},
        {"4\n-1\n3\n", 0, 3, 3, 3},
        {"99999999999\n2\n", 0, 3, 2, 2},
    };
    for (const number_case &c : cases) {
        int32_t field = 77;
        captured_output got =
            run_with_input(c.input, [&] { ask_number("Q? ", c.lower, c.upper, field); });
        EXPECT_EQ(field, c.expected) << '"' << c.input << '"';
        std::string prompts;
        for (int i = 0; i < c.prompt_count; ++i)
            prompts += "Q? ";
        EXPECT_EQ(got.out, prompts) << '"' << c.input << '"';
        EXPECT_EQ(got.err, "");
    }
}

TEST_F(dialogue, NumberQuestionReadsOnlyItsOwnLine) {
    int32_t first = 0, second = 0;
    captured_output got = run_with_input("12\n34\n", [&] {
        ask_number("A? ", 0, 100, first);
        ask_number("B? ", 0, 100, second);
    });
    EXPECT_EQ(first, 12);
    EXPECT_EQ(second, 34);
    EXPECT_EQ(got.out, "A? B? ");
}

// An answer to one word question, with the six number questions answered empty before it
// and end of input after; the field starts at 5, which no answer gives.
struct word_case {
    const char *answers;
    int32_t expected;
    int prompt_count;
};

void expect_word_answers(int question, int32_t player_settings::*field, const word_case &c) {
    default_settings(settings);
    settings.*field = 5;
    std::string input(question, '\n');
    input += c.answers;
    captured_output got = run_with_input(input, advanced_dialogue);
    EXPECT_EQ(settings.*field, c.expected) << '"' << c.answers << '"';
    EXPECT_EQ(got.out, prompts_with(question, c.prompt_count)) << '"' << c.answers << '"';
    EXPECT_EQ(got.err, "");
}

TEST_F(dialogue, ByteOrderAnswersMatchByPrefix) {
    const word_case cases[] = {
        {"little-endian\n", 1, 1},
        {"little\n", 1, 1},
        {"littlefoot\n", 1, 1},
        {"little \n", 1, 1},
        {"big-endian\n", 0, 1},
        {"big\n", 0, 1},
        {"bigger\n", 0, 1},
        {"bigX", 0, 1},
        {"\n", 5, 1},
        {"LITTLE\nbig\n", 0, 2},
        {" little\nlittle\n", 1, 2},
        {"b\n\n", 5, 2},
        {"   \n", 5, 2},
        {"Big\nlittl\nlittle\n", 1, 3},
    };
    for (const word_case &c : cases)
        expect_word_answers(BYTE_ORDER_QUESTION, &player_settings::little_endian, c);
}

TEST_F(dialogue, StyleAnswersMustBeTheWholeLine) {
    const word_case cases[] = {
        {"classic\n", 0, 1},
        {"strong\n", 1, 1},
        {"boxed\n", 2, 1},
        {"boxed", 2, 1},
        {"\n", 5, 1},
        {"boxed \nstrong\n", 1, 2},
        {"Boxed\n\n", 5, 2},
        {"classic\r\nclassic\n", 0, 2},
        {"class\nclassicx\n strong\n", 5, 4},
        {"   \n", 5, 2},
    };
    for (const word_case &c : cases)
        expect_word_answers(STYLE_QUESTION, &player_settings::table_style, c);
}

TEST_F(dialogue, EachQuestionHasItsOwnRange) {
    // Answers just outside every range are refused (each question is asked again, and
    // the empty line that follows keeps the value).
    for (const char *input : {"101\n\n39\n\n-1\n\n9\n\n101\n\n4\n\nendian\n\nround\n\n4\n\n",
                              "-1\n\n201\n\n101\n\n101\n\n-1\n\n41\n\nl\n\nstrongly\n\n-1\n\n"}) {
        default_settings(settings);
        player_settings before = settings;
        captured_output got = run_with_input(input, advanced_dialogue);
        std::string twice;
        for (const std::string &prompt : PROMPTS)
            twice += prompt + prompt;
        EXPECT_EQ(got.out, twice) << input;
        EXPECT_TRUE(same_settings(settings, before)) << input;
    }

    // The bounds themselves are accepted.
    struct bounds_case {
        const char *input;
        int32_t depth, delay, amount, range, surround_depth, surround_delay, verbosity;
    } cases[] = {
        {"0\n40\n0\n10\n0\n5\n\n\n0\n", 0, 40, 0, 10, 0, 5, 0},
        {"100\n200\n100\n100\n100\n40\n\n\n3\n", 100, 200, 100, 100, 100, 40, 3},
    };
    for (const bounds_case &c : cases) {
        default_settings(settings);
        player_settings expected = settings;
        expected.reverb_depth = c.depth;
        expected.reverb_delay = c.delay;
        expected.bass_amount = c.amount;
        expected.bass_range = c.range;
        expected.surround_depth = c.surround_depth;
        expected.surround_delay = c.surround_delay;
        expected.verbosity_level = c.verbosity;
        captured_output got = run_with_input(c.input, advanced_dialogue);
        EXPECT_EQ(got.out, prompts_with(-1, 0)) << c.input;
        EXPECT_TRUE(same_settings(settings, expected)) << c.input;
    }
}

} // namespace
