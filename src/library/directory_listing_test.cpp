#include "library/directory_listing.h"

#include <climits>
#include <cstdint>
#include <dirent.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "module_writer.h"
#include "settings/settings.h"
#include "test_support.h"

namespace {

// Works in a fresh temporary directory with the default settings; the working directory
// and the settings are restored afterwards.
struct listing_fixture : ::testing::Test {
    void SetUp() override {
        default_settings(settings);
        ASSERT_NE(getcwd(saved_cwd, sizeof saved_cwd), nullptr);
        ASSERT_EQ(chdir(dir.path.c_str()), 0);
    }
    void TearDown() override {
        EXPECT_EQ(chdir(saved_cwd), 0);
        default_settings(settings);
    }

    // The lines list_directory prints, checking that nothing goes to standard error.
    std::vector<std::string> listing() {
        captured_output got = capture_output([] { list_directory("ignored"); });
        EXPECT_EQ(got.err, "");
        EXPECT_TRUE(got.out.empty() || got.out.back() == '\n') << got.out;
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t end; (end = got.out.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(got.out.substr(start, end - start));
        return lines;
    }

    // The names in the order the directory stream gives them, read here independently.
    static std::vector<std::string> stream_order() {
        std::vector<std::string> names;
        DIR *directory = opendir(".");
        if (directory == nullptr)
            return names;
        while (const dirent *entry = readdir(directory))
            names.emplace_back(entry->d_name);
        closedir(directory);
        return names;
    }

    // What the listing must print: each name of the stream, with its expected suffix.
    static std::vector<std::string>
    expected_lines(const std::map<std::string, std::string> &suffix) {
        std::vector<std::string> lines;
        for (const std::string &name : stream_order()) {
            auto found = suffix.find(name);
            lines.push_back("+ " + name + (found != suffix.end() ? found->second : ""));
        }
        return lines;
    }

    temp_dir dir;
    char saved_cwd[PATH_MAX];
};

module_description song(module_format format, const std::string &title, int instruments,
                        int orders) {
    module_description desc;
    desc.format = format;
    desc.name = title;
    desc.samples.push_back({"beep", make_wave(mw_wave::square, 16, 4)});
    if (format == module_format::xm || format == module_format::it)
        for (int i = 0; i < instruments; ++i)
            desc.instruments.push_back({"instrument " + std::to_string(i + 1), {0}});
    for (int p = 0; p < 5; ++p)
        desc.patterns.push_back({});
    for (int i = 0; i < orders; ++i)
        desc.orders.push_back(i % 5);
    return desc;
}

std::string bytes_of(const std::vector<uint8_t> &bytes) {
    return std::string(bytes.begin(), bytes.end());
}

TEST_F(listing_fixture, EmptyDirectoryListsItsDotEntriesPlain) {
    const std::vector<std::string> lines = listing();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines, expected_lines({}));
    // The two lines are "+ ." and "+ ..", whichever comes first.
    EXPECT_TRUE((lines[0] == "+ ." && lines[1] == "+ ..") ||
                (lines[0] == "+ .." && lines[1] == "+ ."));
}

// Everything that is not a recognised header within its first 512 bytes gives the plain
// name; every entry appears once, in stream order, hidden ones and directories included.
TEST_F(listing_fixture, EntriesWithoutARecognisedHeaderArePlain) {
    ASSERT_TRUE(write_file(dir.file("empty"), ""));
    ASSERT_TRUE(write_file(dir.file("short.it"), "IMPM")); // four bytes are never enough
    ASSERT_TRUE(write_file(dir.file("notes.txt"), std::string(2000, 'x')));
    // A MOD's tag lies at 1080, beyond what the listing reads.
    ASSERT_TRUE(write_file(dir.file("tune.mod"),
                           bytes_of(write_module(song(module_format::mod, "Mod Tune", 0, 3)))));
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0); // opens, but read fails (EISDIR)
    // A file that cannot be opened; root opens anything, so then it is just an odd file.
    ASSERT_TRUE(write_file(dir.file("locked.it"), std::string(100, 'y')));
    ASSERT_EQ(chmod(dir.file("locked.it").c_str(), 0), 0);
    ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0644), 0);
    // Far more time than nine entries need: should the pipe block the listing, SIGALRM ends
    // the test program instead of letting it hang.
    alarm(30);
    const std::vector<std::string> lines = listing();
    alarm(0);
    EXPECT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines, expected_lines({}));
}

TEST_F(listing_fixture, RecognisedHeadersShowTitleKindAndCounts) {
    // The IT writer ends the orders with 255: 39 orders fill the field with 40. The XM
    // field shown as orders is the pattern count (5); S3M counts samples as instruments
    // and keeps an even number of orders.
    std::vector<uint8_t> it = write_module(song(module_format::it, "Deep Water", 12, 39));
    ASSERT_EQ(it[32] | it[33] << 8, 40);
    ASSERT_EQ(it[34], 12);
    ASSERT_TRUE(write_file(dir.file("deep.it"), bytes_of(it)));
    ASSERT_TRUE(write_file(dir.file("drift.xm"),
                           bytes_of(write_module(song(module_format::xm, "Drift", 3, 9)))));
    ASSERT_TRUE(write_file(dir.file("reef.s3m"),
                           bytes_of(write_module(song(module_format::s3m, "Reef", 0, 7)))));
    // Hidden files go through the same steps.
    ASSERT_TRUE(write_file(dir.file(".hidden.it"),
                           bytes_of(write_module(song(module_format::it, "", 1, 1)))));
    ASSERT_TRUE(write_file(dir.file("plain"), "not a module"));

    EXPECT_EQ(listing(), expected_lines({
                             {"deep.it", ": <Deep Water> [IT, 12 inst, 40 ords]"},
                             {"drift.xm", ": <Drift> [XM, 3 inst, 5 ords]"},
                             {"reef.s3m", ": <Reef> [S3M, 1 inst, 8 ords]"},
                             {".hidden.it", ": <> [IT, 1 inst, 2 ords]"},
                         }));
}

// The longest suffix a header can give (a 28-character S3M title, 255 instruments, 65535
// orders: 60 characters) fits whole, also after a name far longer than the suffix.
TEST_F(listing_fixture, LongestSuffixFitsWholeAfterAnyName) {
    const std::string title = "Twenty-eight characters long";
    ASSERT_EQ(title.size(), 28u);
    std::vector<uint8_t> s3m = write_module(song(module_format::s3m, title, 0, 3));
    s3m[32] = 0xFF;
    s3m[33] = 0xFF;
    s3m[34] = 0xFF;
    const std::string suffix = ": <" + title + "> [S3M, 255 inst, 65535 ords]";
    ASSERT_EQ(suffix.size(), 60u);
    const std::string long_name = std::string(200, 'n') + ".s3m";
    ASSERT_TRUE(write_file(dir.file("a.s3m"), bytes_of(s3m)));
    ASSERT_TRUE(write_file(dir.file(long_name), bytes_of(s3m)));
    EXPECT_EQ(listing(), expected_lines({{"a.s3m", suffix}, {long_name, suffix}}));
}

} // namespace
