#include "export/pager.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdio_ext.h>
#include <string>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "console/line_reader.h"
#include "console/program_exit.h"
#include "settings/settings.h"
#include "test_support.h"

namespace {

// Pieces of texts and of what the pager prints for them.
const std::string LINES_1_TO_23 = "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n"
                                  "13\n14\n15\n16\n17\n18\n19\n20\n21\n22\n23\n";
const std::string LINES_24_TO_46 = "24\n25\n26\n27\n28\n29\n30\n31\n32\n33\n34\n35\n"
                                   "36\n37\n38\n39\n40\n41\n42\n43\n44\n45\n46\n";
const std::string X_LINES_22 = "x\nx\nx\nx\nx\nx\nx\nx\nx\nx\nx\nx\nx\nx\nx\nx\nx\nx\nx\nx\nx\nx\n";
const std::string DIGITS_80 =
    "01234567890123456789012345678901234567890123456789012345678901234567890123456789";
const std::string DIGITS_40 = "0123456789012345678901234567890123456789";

// Everything the console reader has left unread on standard input.
std::string rest_of_input() {
    std::string rest;
    for (int c = read_console_char(); c != EOF; c = read_console_char())
        rest += static_cast<char>(c);
    return rest;
}

// A pause that never ends would hang the whole run; the alarm turns that into a killed
// (failed) test binary instead.
struct PagerTest : ::testing::Test {
    void SetUp() override {
        default_settings(settings);
        settings.verbosity_level = 1;
        alarm(20);
    }
    void TearDown() override {
        alarm(0);
        default_settings(settings);
    }
};

struct page_case {
    const char *what;
    std::string text;
    std::string input;
    std::string out;
    std::string left_unread; ///< each pause takes exactly one character
};

TEST_F(PagerTest, WrapsAndPausesEvery23Lines) {
    const page_case cases[] = {
        {"23 lines: the last break ends the text, no pause", LINES_1_TO_23, "ab", LINES_1_TO_23,
         "ab"},
        {"46 lines: one pause", LINES_1_TO_23 + LINES_24_TO_46, "ab",
         LINES_1_TO_23 + ">>> ...press ENTER to continue (50%)" + LINES_24_TO_46, "b"},
        {"47 lines: two pauses", LINES_1_TO_23 + LINES_24_TO_46 + "47\n", "\n\n\n",
         LINES_1_TO_23 + ">>> ...press ENTER to continue (48%)" + LINES_24_TO_46 +
             ">>> ...press ENTER to continue (97%)47\n",
         "\n"},
        {"an unfinished last line is no line of the count", LINES_1_TO_23 + "x", "",
         LINES_1_TO_23 + ">>> ...press ENTER to continue (100%)x", ""},
        {"200 characters: two full lines and a rest without LF", DIGITS_80 + DIGITS_80 + DIGITS_40,
         "", DIGITS_80 + "\n" + DIGITS_80 + "\n" + DIGITS_40, ""},
        {"80 characters and an LF: an empty line follows", DIGITS_80 + "\nz\n", "",
         DIGITS_80 + "\n\nz\n", ""},
        {"a wrapped line counts for the pause and the percentage",
         X_LINES_22 + DIGITS_80 + DIGITS_40 + "\n", "\n",
         X_LINES_22 + DIGITS_80 + "\n>>> ...press ENTER to continue (95%)" + DIGITS_40 + "\n", ""},
        {"the empty line after 80 characters counts too", X_LINES_22 + DIGITS_80 + "\n", "",
         X_LINES_22 + DIGITS_80 + "\n>>> ...press ENTER to continue (95%)\n", ""},
        {"CR, LF and CR LF each end a line", "a\r\nb\rc\nd\n\re", "", "a\n\nb\nc\nd\n\ne", ""},
        {"other bytes go out unchanged", std::string("\0\x1b[1m\t\x7f\xff\x80", 8), "",
         std::string("\0\x1b[1m\t\x7f\xff\x80", 8), ""},
    };
    for (const page_case &c : cases) {
        std::string left;
        captured_output got = run_with_input(c.input, [&] {
            page_text(c.text.data(), static_cast<int32_t>(c.text.size()));
            left = rest_of_input();
        });
        EXPECT_EQ(got.out, c.out) << c.what;
        EXPECT_EQ(got.err, "") << c.what;
        EXPECT_EQ(left, c.left_unread) << c.what;
    }
}

TEST_F(PagerTest, PrintsOnlyTheGivenLength) {
    const char *text = "abc\ndef";
    struct length_case {
        int32_t length;
        const char *out;
    } cases[] = {{0, ""}, {-1, ""}, {INT32_MIN, ""}, {3, "abc"}, {5, "abc\nd"}};
    for (const length_case &c : cases) {
        captured_output got = run_with_input("", [&] { page_text(text, c.length); });
        EXPECT_EQ(got.out, c.out) << c.length;
    }
}

TEST_F(PagerTest, QuietPagerStillWaitsAtEveryPause) {
    settings.verbosity_level = 0;
    const std::string text = LINES_1_TO_23 + LINES_24_TO_46 + "47\n";
    std::string left;
    captured_output got = run_with_input("xyz", [&] {
        page_text(text.data(), static_cast<int32_t>(text.size()));
        left = rest_of_input();
    });
    EXPECT_EQ(got.out, LINES_1_TO_23 + LINES_24_TO_46 + "47\n");
    EXPECT_EQ(left, "z");
}

// Standard input and output on pipes, so that a test sees what the pager has shown while
// it waits, and decides when a key arrives.
struct piped_console {
    int input[2] = {-1, -1};
    int output[2] = {-1, -1};
    int saved_in = -1;
    int saved_out = -1;

    piped_console() {
        fflush(stdout);
        if (pipe(input) != 0 || pipe(output) != 0)
            std::abort();
        saved_in = dup(0);
        saved_out = dup(1);
        __fpurge(stdin);
        dup2(input[0], 0);
        dup2(output[1], 1);
        clearerr(stdin);
        prepare_console_input();
    }
    ~piped_console() {
        fflush(stdout);
        __fpurge(stdin);
        dup2(saved_in, 0);
        dup2(saved_out, 1);
        clearerr(stdin);
        prepare_console_input();
        for (int fd : {input[0], input[1], output[0], output[1], saved_in, saved_out})
            if (fd >= 0)
                close(fd);
    }
    void type(const char *keys) const {
        if (write(input[1], keys, std::strlen(keys)) < 0)
            std::abort();
    }
    // What the pager shows: reads until the text ends with expected or nothing more comes
    // for timeout_ms.
    std::string shown(const std::string &expected, int timeout_ms) const {
        std::string text;
        pollfd ready{output[0], POLLIN, 0};
        while (!text.ends_with(expected) && poll(&ready, 1, timeout_ms) == 1) {
            char buffer[256];
            ssize_t got = read(output[0], buffer, sizeof buffer);
            if (got <= 0)
                break;
            text.append(buffer, static_cast<size_t>(got));
        }
        return text;
    }
};

const std::string TEXT_OF_24_LINES = LINES_1_TO_23 + "24\n";
const std::string SHOWN_AT_PAUSE = LINES_1_TO_23 + ">>> ...press ENTER to continue (95%)";

TEST_F(PagerTest, PauseShowsThePromptAndWaitsForAKey) {
    piped_console console;
    std::string at_pause, while_waiting;
    std::thread user([&] {
        at_pause = console.shown(SHOWN_AT_PAUSE, 5000);
        while_waiting = console.shown("never", 200);
        console.type("\n");
    });
    page_text(TEXT_OF_24_LINES.data(), static_cast<int32_t>(TEXT_OF_24_LINES.size()));
    user.join();
    fflush(stdout);
    std::string after = console.shown("24\n", 5000);
    EXPECT_EQ(at_pause, SHOWN_AT_PAUSE);
    EXPECT_EQ(while_waiting, "");
    EXPECT_EQ(after, "24\n");
}

volatile std::sig_atomic_t other_signal_arrived = 0;
void note_other_signal(int) {
    other_signal_arrived = 1;
}

TEST_F(PagerTest, OtherInterruptionsKeepThePauseWaiting) {
    struct sigaction noting {};
    struct sigaction previous {};
    noting.sa_handler = note_other_signal;
    sigemptyset(&noting.sa_mask);
    noting.sa_flags = 0; // the read is interrupted, not restarted
    sigaction(SIGUSR1, &noting, &previous);
    other_signal_arrived = 0;

    std::string after_interruption, left;
    {
        piped_console console;
        pthread_t pager_thread = pthread_self();
        std::thread user([&] {
            console.shown(SHOWN_AT_PAUSE, 5000);
            usleep(100000); // let the pager block in its read
            pthread_kill(pager_thread, SIGUSR1);
            after_interruption = console.shown("never", 200);
            console.type("xy");
            close(console.input[1]);
            console.input[1] = -1;
        });
        page_text(TEXT_OF_24_LINES.data(), static_cast<int32_t>(TEXT_OF_24_LINES.size()));
        left = rest_of_input();
        user.join();
    }
    sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(other_signal_arrived, 1);
    EXPECT_EQ(after_interruption, "");
    EXPECT_EQ(left, "y");
}

// The exit status of a pager that gets SIGINT while it waits for a key that never comes.
void page_until_interrupted() {
    alarm(5); // a pause that outlives the signal dies of SIGALRM instead
    int input[2];
    if (pipe(input) != 0)
        std::abort();
    dup2(input[0], 0); // the writing end stays open: no key and no end of input
    prepare_console_input();
    int nowhere = open("/dev/null", O_WRONLY);
    dup2(nowhere, 1); // the pages and the exit report are not this test's matter
    install_exit_signal_handler();
    pthread_t pager_thread = pthread_self();
    std::thread user([pager_thread] {
        usleep(200000);
        pthread_kill(pager_thread, SIGINT);
    });
    user.detach();
    page_text(TEXT_OF_24_LINES.data(), static_cast<int32_t>(TEXT_OF_24_LINES.size()));
    std::_Exit(1); // the pause returned instead of ending the program
}

TEST_F(PagerTest, RecordedSignalEndsTheProgramAtThePause) {
    EXPECT_EXIT(page_until_interrupted(), ::testing::ExitedWithCode(0), "");
}

} // namespace
