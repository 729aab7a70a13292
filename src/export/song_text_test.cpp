#include "export/song_text.h"

#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "console/line_reader.h"

#include "module_writer.h"
#include "playback/module_loader.h"
#include "playback/module_state.h"
#include "settings/settings.h"
#include "test_support.h"

namespace {

mw_sample named_sample(const std::string &name) {
    mw_sample sample;
    sample.name = name;
    sample.data = make_wave(mw_wave::square, 16, 4);
    return sample;
}

module_description song(module_format format, const std::vector<std::string> &sample_names,
                        const std::vector<mw_instrument> &instruments = {}) {
    module_description desc;
    desc.format = format;
    desc.name = "Song Text Test";
    for (const std::string &name : sample_names)
        desc.samples.push_back(named_sample(name));
    desc.instruments = instruments;
    return desc;
}

module_description it_with_message(const std::string &message) {
    module_description desc = song(module_format::it, {"beep"});
    desc.message = message;
    return desc;
}

// The 31 sample names of a MOD whose first three samples are Kick, (none) and Snare.
const std::string MOD_SAMPLE_LIST = "  1. Kick\n  2. \n  3. Snare\n  4. \n  5. \n  6. \n  7. \n"
                                    "  8. \n  9. \n 10. \n 11. \n 12. \n 13. \n 14. \n 15. \n"
                                    " 16. \n 17. \n 18. \n 19. \n 20. \n 21. \n 22. \n 23. \n";
const std::string MOD_SAMPLE_LIST_END = " 24. \n 25. \n 26. \n 27. \n 28. \n 29. \n 30. \n 31. \n";

const std::vector<mw_instrument> LEAD_AND_DRUMS = {{"Lead", {0}}, {"Drums", {1, 2}}};

struct SongTextTest : ::testing::Test {
    void SetUp() override {
        default_settings(settings);
        settings.verbosity_level = 0; // the information table has tests of its own
        unload_module();
        alarm(20); // a pager pause that never ends fails the run instead of hanging it
    }
    void TearDown() override {
        alarm(0);
        unload_module();
        default_settings(settings);
    }

    // Writes and loads desc as a module named on the command line, then turns the
    // reports on.
    void load(const module_description &desc) {
        ASSERT_TRUE(write_module_file(desc, song_path));
        module_path = song_path.data();
        module_path_owned = 0;
        capture_output([] { load_module(); });
        ASSERT_NE(module_path, nullptr);
        settings.verbosity_level = 1;
    }

    // Runs list on a descriptor open on a file that already holds a line, writes one more
    // line after it, and returns what the file holds then (in file) and what was printed.
    captured_output list_to_file(void (*list)(int), std::string &file) {
        std::string path = dir.file("names.txt");
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(write(fd, "head\n", 5), 5);
        captured_output got = capture_output([&] { list(fd); });
        // The descriptor stays open, and the list ends where the next write starts.
        EXPECT_EQ(write(fd, "tail\n", 5), 5);
        close(fd);
        file = read_file(path);
        return got;
    }

    temp_dir dir;
    std::string song_path = dir.file("song");
};

struct names_case {
    const char *what;
    module_description desc;
    void (*list)(int);
    std::string written;
    std::string out;
};

TEST_F(SongTextTest, NameListsAreWrittenWholeToTheDescriptor) {
    const names_case cases[] = {
        {"S3M samples", song(module_format::s3m, {"Kick", "", "Snare"}), list_sample_names,
         "  1. Kick\n  2. \n  3. Snare\n",
         ">>> Exporting sample names...\n>>> 27 bytes written OK...\n"},
        {"a MOD always has 31 samples", song(module_format::mod, {"Kick", "", "Snare"}),
         list_sample_names, MOD_SAMPLE_LIST + MOD_SAMPLE_LIST_END,
         ">>> Exporting sample names...\n>>> 195 bytes written OK...\n"},
        {"XM samples are those inside the instruments",
         song(module_format::xm, {"Saw", "Kick", "Snare"}, LEAD_AND_DRUMS), list_sample_names,
         "  1. Saw\n  2. Kick\n  3. Snare\n",
         ">>> Exporting sample names...\n>>> 30 bytes written OK...\n"},
        {"XM instruments", song(module_format::xm, {"Saw", "Kick", "Snare"}, LEAD_AND_DRUMS),
         list_instrument_names, "  1. Lead\n  2. Drums\n",
         ">>> Exporting instrument names...\n>>> 21 bytes written OK...\n"},
        {"IT samples", song(module_format::it, {"Saw", "Kick", "Snare"}, LEAD_AND_DRUMS),
         list_sample_names, "  1. Saw\n  2. Kick\n  3. Snare\n",
         ">>> Exporting sample names...\n>>> 30 bytes written OK...\n"},
        {"IT instruments", song(module_format::it, {"Saw", "Kick", "Snare"}, LEAD_AND_DRUMS),
         list_instrument_names, "  1. Lead\n  2. Drums\n",
         ">>> Exporting instrument names...\n>>> 21 bytes written OK...\n"},
        // The longest name any format holds (S3M's 28 characters) stays whole.
        {"the longest name", song(module_format::s3m, {"Twenty-eight characters, ok."}),
         list_sample_names, "  1. Twenty-eight characters, ok.\n",
         ">>> Exporting sample names...\n>>> 34 bytes written OK...\n"},
    };
    for (const names_case &c : cases) {
        SCOPED_TRACE(c.what);
        unload_module();
        settings.verbosity_level = 0;
        ASSERT_NO_FATAL_FAILURE(load(c.desc));
        std::string file;
        captured_output got = list_to_file(c.list, file);
        EXPECT_EQ(file, "head\n" + c.written + "tail\n");
        EXPECT_EQ(got.out, c.out);
        EXPECT_EQ(got.err, "");
    }
}

TEST_F(SongTextTest, NumbersTakeThreeColumns) {
    std::vector<std::string> names;
    for (int i = 1; i <= 100; ++i)
        names.push_back("s" + std::to_string(i));
    // An XM without instruments gets one per sample, named after it.
    ASSERT_NO_FATAL_FAILURE(load(song(module_format::xm, names)));
    for (void (*list)(int) : {list_sample_names, list_instrument_names}) {
        std::string file;
        list_to_file(list, file);
        ASSERT_EQ(file.size(), 5 + 892 + 5);
        EXPECT_TRUE(file.starts_with("head\n  1. s1\n  2. s2\n  3. s3\n")) << file;
        EXPECT_NE(file.find("\n  9. s9\n 10. s10\n 11. s11\n"), std::string::npos);
        EXPECT_TRUE(file.ends_with("\n 98. s98\n 99. s99\n100. s100\ntail\n")) << file;
    }
}

TEST_F(SongTextTest, NameListInThePager) {
    ASSERT_NO_FATAL_FAILURE(load(song(module_format::mod, {"Kick", "", "Snare"})));
    std::string left;
    captured_output got = run_with_input("\nrest", [&] {
        list_sample_names(0);
        left = std::string(1, static_cast<char>(read_console_char()));
    });
    EXPECT_EQ(got.out,
              MOD_SAMPLE_LIST + ">>> ...press ENTER to continue (74%)" + MOD_SAMPLE_LIST_END);
    EXPECT_EQ(got.err, "");
    EXPECT_EQ(left, "r");
}

TEST_F(SongTextTest, EmptyListsAreReportedAndNothingIsWritten) {
    struct empty_case {
        const char *what;
        module_description desc;
        void (*list)(int);
        const char *out;
    } cases[] = {
        {"XM without samples", song(module_format::xm, {}), list_sample_names,
         "Song has no samples.\n"},
        {"XM without samples", song(module_format::xm, {}), list_instrument_names,
         "Song has no instruments.\n"},
        {"S3M", song(module_format::s3m, {"Kick"}), list_instrument_names,
         "Song has no instruments.\n"},
        {"MOD", song(module_format::mod, {"Kick"}), list_instrument_names,
         "Song has no instruments.\n"},
    };
    for (const empty_case &c : cases) {
        SCOPED_TRACE(c.what);
        unload_module();
        settings.verbosity_level = 0;
        ASSERT_NO_FATAL_FAILURE(load(c.desc));
        std::string file;
        captured_output got = list_to_file(c.list, file);
        EXPECT_EQ(file, "head\ntail\n");
        EXPECT_EQ(got.out, c.out);
        EXPECT_EQ(got.err, "");
        captured_output shown = run_with_input("", [&] { c.list(0); });
        EXPECT_EQ(shown.out, c.out);
    }
}

TEST_F(SongTextTest, FailedWritesAreReported) {
    ASSERT_NO_FATAL_FAILURE(load(song(module_format::xm, {"Saw", "Kick"}, LEAD_AND_DRUMS)));
    std::string path = dir.file("read-only.txt");
    ASSERT_TRUE(write_file(path, ""));
    struct failure_case {
        void (*list)(int);
        const char *out;
        const char *err;
    } cases[] = {
        {list_sample_names, ">>> Exporting sample names...\n", ">>> ERROR: write(2) failed\n"},
        {list_instrument_names, ">>> Exporting instrument names...\n",
         ">>> ERROR: write(2) failed!\n"},
    };
    for (const failure_case &c : cases) {
        int fd = open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        captured_output got = capture_output([&] { c.list(fd); });
        EXPECT_EQ(got.out, c.out);
        EXPECT_EQ(got.err, c.err);
        EXPECT_EQ(close(fd), 0); // still open
    }
}

TEST_F(SongTextTest, MessageInThePager) {
    struct message_case {
        const char *what;
        module_description desc;
        std::string out;
    } cases[] = {
        {"lines", it_with_message("First line\nSecond line"), "First line\nSecond line\n"},
        {"CR LF", it_with_message("a\r\nb"), "a\n\nb\n"},
        {"long enough for a pause",
         it_with_message("1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n16\n17\n18\n19\n"
                         "20\n21\n22\n23\n24\n25\n26\n27\n28\n29\n30"),
         "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n16\n17\n18\n19\n20\n21\n22\n23\n"
         ">>> ...press ENTER to continue (79%)24\n25\n26\n27\n28\n29\n30\n"},
        {"IT without a message", it_with_message(""), "No message is available...\n"},
        {"XM", song(module_format::xm, {"beep"}), "No message is available...\n"},
    };
    for (const message_case &c : cases) {
        SCOPED_TRACE(c.what);
        unload_module();
        settings.verbosity_level = 0;
        ASSERT_NO_FATAL_FAILURE(load(c.desc));
        captured_output got = run_with_input("", [] { show_message(nullptr); });
        EXPECT_EQ(got.out, c.out);
        EXPECT_EQ(got.err, "");
    }
}

TEST_F(SongTextTest, SavedMessageHasUnixLineEnds) {
    ASSERT_NO_FATAL_FAILURE(load(it_with_message("First line\nSecond line\r\nThird")));
    std::string path = dir.file("message.txt");
    ASSERT_TRUE(write_file(path, "an older and much longer text that must not survive\n"));
    captured_output got = capture_output([&] { save_message(path.c_str()); });
    // The writer stores each LF as CR, so the CR LF pair reaches the decoder as CR CR.
    EXPECT_EQ(read_file(path), "First line\nSecond line\n\nThird");
    EXPECT_EQ(got.out, ">>> Exporting song text message to '" + path +
                           "'\n"
                           ">>> 29 bytes written\n");
    EXPECT_EQ(got.err, "");

    settings.verbosity_level = 0;
    std::string quiet_path = dir.file("quiet.txt");
    got = capture_output([&] { save_message(quiet_path.c_str()); });
    EXPECT_EQ(read_file(quiet_path), "First line\nSecond line\n\nThird");
    EXPECT_EQ(got.out, "");
}

TEST_F(SongTextTest, MessageThatCannotBeSaved) {
    std::string missing_dir = dir.file("no/such/dir.txt");
    std::string message_path = dir.file("message.txt");
    struct refusal_case {
        const char *what;
        module_description desc;
        std::string path;
        std::string out;
        std::string err;
    } cases[] = {
        {"no message", song(module_format::s3m, {"beep"}), message_path,
         ">>> Exporting song text message to '" + message_path + "'\nNo message is available...\n",
         ""},
        {"onto the module", it_with_message("text"), song_path,
         ">>> Exporting song text message to '" + song_path + "'\n",
         ">>> ERROR: CAN'T export onto the module file itself (\"" + song_path + "\")\n"},
        {"no such directory", it_with_message("text"), missing_dir,
         ">>> Exporting song text message to '" + missing_dir + "'\n... file open error!\n",
         ">>> ERROR: CAN'T open(\"" + missing_dir + "\"): No such file or directory\n"},
        // Every write fails there: no byte count may claim the text was saved.
        {"a full disk", it_with_message("text"), "/dev/full",
         ">>> Exporting song text message to '/dev/full'\n... file write error!\n",
         ">>> ERROR: CAN'T write(\"/dev/full\"): No space left on device\n"},
    };
    for (const refusal_case &c : cases) {
        SCOPED_TRACE(c.what);
        unload_module();
        settings.verbosity_level = 0;
        ASSERT_NO_FATAL_FAILURE(load(c.desc));
        std::string module_before = read_file(song_path);
        captured_output got = capture_output([&] { save_message(c.path.c_str()); });
        EXPECT_EQ(got.out, c.out);
        EXPECT_EQ(got.err, c.err);
        EXPECT_EQ(read_file(song_path), module_before);
        EXPECT_FALSE(std::filesystem::exists(message_path));
    }
}

} // namespace
