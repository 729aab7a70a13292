#include "settings/settings_file.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

// Points HOME at a fresh directory (or unsets it) for one test, restoring it after.
struct home_override {
    explicit home_override(const char *home) {
        const char *old = std::getenv("HOME");
        had_home = old != nullptr;
        if (had_home)
            saved = old;
        if (home != nullptr)
            setenv("HOME", home, 1);
        else
            unsetenv("HOME");
    }
    ~home_override() {
        if (had_home)
            setenv("HOME", saved.c_str(), 1);
        else
            unsetenv("HOME");
    }
    bool had_home;
    std::string saved;
};

std::string record_bytes(const player_settings &record) {
    return std::string(reinterpret_cast<const char *>(&record), sizeof record);
}

player_settings sample_record() {
    player_settings record;
    int32_t *fields = reinterpret_cast<int32_t *>(&record);
    for (int i = 0; i < 14; ++i)
        fields[i] = 1000 + i * 7 - (i % 3) * 5000;
    return record;
}

player_settings garbage_record() {
    player_settings record;
    std::memset(&record, 0x5a, sizeof record);
    return record;
}

TEST(SettingsTest, DefaultsInFieldOrder) {
    player_settings record = garbage_record();
    default_settings(record);
    const int32_t expected[14] = {44100, 128, 2, 1, 2, 20, 60, 40, 50, 50, 20, 0, 1, 1};
    EXPECT_EQ(std::memcmp(&record, expected, sizeof expected), 0);
}

TEST(SettingsFileTest, LoadByFileLength) {
    player_settings stored = sample_record();
    std::string bytes = record_bytes(stored);
    player_settings defaults;
    default_settings(defaults);
    struct length_case {
        const char *what;
        std::string content;
        bool create;
        player_settings expected;
    } cases[] = {
        {"no file", "", false, defaults},
        {"empty file", "", true, defaults},
        {"55 bytes", bytes.substr(0, 55), true, defaults},
        {"56 bytes", bytes, true, stored},
        {"57 bytes", bytes + "x", true, stored},
        {"4096 bytes", bytes + std::string(4040, '\x7f'), true, stored},
    };
    for (const length_case &c : cases) {
        SCOPED_TRACE(c.what);
        temp_dir home;
        home_override env(home.path.c_str());
        if (c.create) {
            ASSERT_TRUE(write_file(home.file(".marrowtideb"), c.content));
        }
        player_settings loaded = garbage_record();
        load_settings(loaded);
        EXPECT_EQ(record_bytes(loaded), record_bytes(c.expected));
    }
}

TEST(SettingsFileTest, SaveWritesTheRecordPrivately) {
    temp_dir home;
    home_override env((home.path + "/").c_str()); // a trailing slash doubles, harmlessly
    player_settings stored = sample_record();
    save_settings(stored);
    std::string path = home.file(".marrowtideb");
    EXPECT_EQ(read_file(path), record_bytes(stored));
    struct stat status;
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    // Saving again truncates: a longer old file must not keep a tail.
    ASSERT_TRUE(write_file(path, std::string(100, 'z')));
    save_settings(stored);
    EXPECT_EQ(read_file(path).size(), 56u);

    player_settings loaded = garbage_record();
    load_settings(loaded);
    EXPECT_EQ(record_bytes(loaded), record_bytes(stored));
}

TEST(SettingsFileTest, WithoutHomeLoadGivesDefaultsAndSaveDoesNothing) {
    home_override env(nullptr);
    EXPECT_EQ(settings_file_path(), nullptr);
    player_settings loaded = garbage_record();
    load_settings(loaded);
    player_settings defaults;
    default_settings(defaults);
    EXPECT_EQ(record_bytes(loaded), record_bytes(defaults));
    save_settings(loaded); // must neither crash nor write anywhere
}

TEST(SettingsFileTest, FailedSaveKeepsTheOldFile) {
    temp_dir home;
    home_override env(home.path.c_str());
    player_settings old_record = sample_record();
    save_settings(old_record);
    std::string path = home.file(".marrowtideb");

    // A file size limit below the record's size makes the write fail as a full disk does.
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto old_handler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    player_settings new_record;
    default_settings(new_record);
    save_settings(new_record); // reported, as the end-to-end tests check
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, old_handler);

    EXPECT_EQ(read_file(path), record_bytes(old_record));
    size_t files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(home.path))
        files += entry.path().filename() == ".marrowtideb" ? 1 : 100;
    EXPECT_EQ(files, 1u) << "the new file is removed";
    save_settings(new_record); // with room again the save goes through
    EXPECT_EQ(read_file(path), record_bytes(new_record));
}

TEST(SettingsFileTest, UnwritableHomeIsReported) {
    temp_dir home;
    std::string missing = home.file("does/not/exist");
    home_override env(missing.c_str());
    captured_output got = capture_output([] { save_settings(sample_record()); });
    EXPECT_EQ(got.out, "");
    EXPECT_EQ(got.err, ">>> ERROR: CAN'T open(\"" + missing +
                           "/.marrowtideb\"): No such file or directory\n");
}

// Dotfile managers keep the settings file elsewhere behind a link: the save goes to the
// file the link names and the link stays; an existing file keeps its permission bits.
TEST(SettingsFileTest, SaveWritesThroughLinksAndKeepsPermissions) {
    struct link_case {
        const char *label;
        const char *real;        // the file the save must write, from HOME
        const char *links[2][2]; // {name, text} of the links to make, first the settings file
        mode_t mode;             // of the existing file; 0 when there is none yet
    } cases[] = {
        {"plain file", ".marrowtideb", {}, 0644},
        {"relative link", "dotfiles/settings", {{".marrowtideb", "dotfiles/settings"}}, 0640},
        {"link to a link",
         "dotfiles/settings",
         {{".marrowtideb", "second-link"}, {"second-link", "dotfiles/settings"}},
         0600},
        {"dangling link", "dotfiles/new", {{".marrowtideb", "dotfiles/new"}}, 0},
    };
    for (const link_case &c : cases) {
        SCOPED_TRACE(c.label);
        temp_dir home;
        home_override env(home.path.c_str());
        ASSERT_TRUE(std::filesystem::create_directory(home.file("dotfiles")));
        std::string real = home.file(c.real);
        if (c.mode != 0) {
            ASSERT_TRUE(write_file(real, "old"));
            ASSERT_EQ(chmod(real.c_str(), c.mode), 0);
        }
        for (const auto &link : c.links) {
            if (link[0] != nullptr) {
                ASSERT_EQ(symlink(link[1], home.file(link[0]).c_str()), 0);
            }
        }

        captured_output got = capture_output([] { save_settings(sample_record()); });
        EXPECT_EQ(got.out + got.err, "");
        EXPECT_EQ(read_file(real), record_bytes(sample_record()));
        EXPECT_EQ(std::filesystem::is_symlink(home.file(".marrowtideb")), c.links[0][0] != nullptr);
        struct stat status;
        ASSERT_EQ(stat(real.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, c.mode != 0 ? c.mode : 0600u);
    }
}

} // namespace
