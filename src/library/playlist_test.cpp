#include "library/playlist.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "console/text.h"
#include "library/header_probe.h"
#include "module_writer.h"
#include "playback/audio_output.h"
#include "playback/decoder_settings.h"
#include "playback/module_loader.h"
#include "playback/module_state.h"
#include "settings/settings.h"
#include "test_support.h"

namespace {

module_description song(module_format format, const std::string &title) {
    module_description desc;
    desc.format = format;
    desc.name = title;
    desc.samples.push_back({"beep", make_wave(mw_wave::square, 16, 4)});
    if (format == module_format::xm || format == module_format::it)
        desc.instruments.push_back({"beeper", {0}});
    mw_pattern pattern;
    pattern.cells.push_back({.row = 0, .channel = 0, .note = mw_note_c4, .instrument = 1});
    desc.patterns.push_back(pattern);
    desc.orders = {0};
    return desc;
}

// The names of directory in the order its stream gives them, those beginning with '.' left
// out, read here independently of the code under test.
std::vector<std::string> visible_stream_order(const std::string &directory) {
    std::vector<std::string> names;
    DIR *stream = opendir(directory.c_str());
    if (stream == nullptr)
        return names;
    while (const dirent *entry = readdir(stream))
        if (entry->d_name[0] != '.')
            names.emplace_back(entry->d_name);
    closedir(stream);
    return names;
}

struct item_view {
    std::string path;
    std::string title;
    uint16_t kind;
    bool operator==(const item_view &) const = default;
};

std::ostream &operator<<(std::ostream &out, const item_view &item) {
    return out << "{" << item.path << ", " << item.title << ", " << item.kind << "}";
}

// Every test starts and ends with an empty list, no module and the default settings, in a
// fresh temporary directory that is also the working directory.
struct playlist_fixture : ::testing::Test {
    void SetUp() override {
        default_settings(settings);
        settings.verbosity_level = 0; // the information table has tests of its own
        unload_module();
        clear_playlist();
        ASSERT_NE(getcwd(saved_cwd, sizeof saved_cwd), nullptr);
        ASSERT_EQ(chdir(dir.path.c_str()), 0);
    }
    void TearDown() override {
        clear_playlist();
        unload_module();
        EXPECT_EQ(chdir(saved_cwd), 0);
        default_settings(settings);
    }

    static playlist_item *add(const std::string &title, const std::string &path = "",
                              uint16_t kind = 0) {
        playlist_item *item = append_item();
        EXPECT_NE(item, nullptr);
        if (item == nullptr)
            return nullptr;
        EXPECT_EQ(item->item_kind, 0);
        EXPECT_EQ(item->item_title, nullptr);
        item->item_title = copy_string(title.c_str());
        item->item_path = copy_string(path.c_str());
        item->item_kind = kind;
        return item;
    }

    // The items from first to last, after checking that walking back from last_item meets
    // the same items and that the ends are closed.
    static std::vector<playlist_item *> walk() {
        std::vector<playlist_item *> forward, backward;
        for (playlist_item *item = first_item; item != nullptr && forward.size() < 100000;
             item = item->next_item)
            forward.push_back(item);
        for (playlist_item *item = last_item; item != nullptr && backward.size() < 100000;
             item = item->prev_item)
            backward.push_back(item);
        std::reverse(backward.begin(), backward.end());
        EXPECT_EQ(forward, backward) << "the prev links disagree with the next links";
        EXPECT_EQ(first_item == nullptr, last_item == nullptr);
        return forward;
    }

    static std::string titles() {
        std::string text;
        for (const playlist_item *item : walk())
            text += item->item_title;
        return text;
    }

    static std::vector<item_view> items() {
        std::vector<item_view> views;
        for (const playlist_item *item : walk())
            views.push_back({item->item_path, item->item_title, item->item_kind});
        return views;
    }

    static void write(const std::string &path, const module_description &desc) {
        ASSERT_TRUE(write_module_file(desc, path)) << path;
    }

    temp_dir dir;
    char saved_cwd[PATH_MAX];
};

TEST_F(playlist_fixture, ItemAtAndItemAfter) {
    for (int32_t index : {INT32_MIN, -3, 0, 1, 2})
        EXPECT_EQ(item_at(index), nullptr) << index;
    EXPECT_EQ(item_after(nullptr), nullptr);

    playlist_item *a = add("A");
    playlist_item *b = add("B");
    struct at_case {
        int32_t index;
        playlist_item *item;
    } cases[] = {{INT32_MIN, a}, {-3, a}, {0, a}, {1, b}, {2, nullptr}, {INT32_MAX, nullptr}};
    for (const at_case &c : cases)
        EXPECT_EQ(item_at(c.index), c.item) << c.index;
    EXPECT_EQ(item_after(nullptr), a);
    EXPECT_EQ(item_after(a), b);
    EXPECT_EQ(item_after(b), nullptr);
}

TEST_F(playlist_fixture, MoveItem) {
    struct move_case {
        int32_t from;
        int32_t to;
        unsigned result;
        const char *order;
    } cases[] = {
        {0, 2, PL_OK, "YZX"},      {2, 0, PL_OK, "ZXY"},      {1, 2, PL_OK, "XZY"},
        {0, 1, PL_OK, "YXZ"},      {1, 0, PL_OK, "YXZ"},      {2, 1, PL_OK, "XZY"},
        {1, 1, PL_OK, "XYZ"},      {-1, 0, PL_OK, "XYZ"},     {-5, 1, PL_OK, "YXZ"},
        {2, -3, PL_OK, "ZXY"},     {0, 3, PL_NO_ITEM, "XYZ"}, {3, 0, PL_NO_ITEM, "XYZ"},
        {7, 7, PL_NO_ITEM, "XYZ"},
    };
    for (const move_case &c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to));
        clear_playlist();
        add("X");
        add("Y");
        add("Z");
        EXPECT_EQ(move_item(c.from, c.to), c.result);
        EXPECT_EQ(titles(), c.order);
        EXPECT_EQ(std::string(first_item->item_title), std::string(1, c.order[0]));
        EXPECT_EQ(std::string(last_item->item_title), std::string(1, c.order[2]));
    }
    clear_playlist();
    EXPECT_EQ(move_item(0, 0), PL_NO_ITEM);
    EXPECT_EQ(walk().size(), 0u);
}

TEST_F(playlist_fixture, RemoveItemJoinsItsNeighbours) {
    const char *left[] = {"YZ", "XZ", "XY"};
    for (int32_t index = 0; index < 3; ++index) {
        SCOPED_TRACE(index);
        clear_playlist();
        add("X");
        add("Y");
        add("Z");
        remove_item(item_at(index));
        EXPECT_EQ(titles(), left[index]);
    }
    clear_playlist();
    remove_item(add("only"));
    EXPECT_EQ(first_item, nullptr);
    EXPECT_EQ(last_item, nullptr);
    // The emptied list takes new items at both ends again.
    playlist_item *again = add("again");
    EXPECT_EQ(first_item, again);
    EXPECT_EQ(last_item, again);
}

TEST_F(playlist_fixture, PrintPlaylistNumbersFromZeroInFourColumns) {
    const uint16_t kinds[] = {PROBE_IT, 0, PROBE_XM, PROBE_S3M, PROBE_MOD, PROBE_UNKNOWN};
    for (int i = 0; i < 11; ++i)
        add("song " + std::to_string(i), "", kinds[i % 6]);
    captured_output got = capture_output([] { print_playlist(); });
    EXPECT_EQ(got.out, "   0: song 0 [IT]\n"
                       "   1: song 1 [???]\n"
                       "   2: song 2 [XM]\n"
                       "   3: song 3 [S3M]\n"
                       "   4: song 4 [MOD]\n"
                       "   5: song 5 [???]\n"
                       "   6: song 6 [IT]\n"
                       "   7: song 7 [???]\n"
                       "   8: song 8 [XM]\n"
                       "   9: song 9 [S3M]\n"
                       "  10: song 10 [MOD]\n");
    EXPECT_EQ(got.err, "");
    clear_playlist();
    EXPECT_EQ(capture_output([] { print_playlist(); }).out, "");
}

// The playlist player lends an item's path to the loaded module. Removing that item must
// leave the module a copy of its own (a freed path would be read by every later use);
// removing another item must leave the module's path alone.
TEST_F(playlist_fixture, RemovingTheLentPathGivesTheModuleItsOwnCopy) {
    const std::string file = dir.file("lent.xm");
    write(file, song(module_format::xm, "Lent"));
    enum class how { remove_lender, clear_all, remove_other };
    for (how way : {how::remove_lender, how::clear_all, how::remove_other}) {
        SCOPED_TRACE(static_cast<int>(way));
        clear_playlist();
        add("before", dir.file("before.xm"));
        playlist_item *lender = add("Lent", file, PROBE_XM);
        playlist_item *other = add("after", dir.file("after.xm"));
        module_path = lender->item_path;
        module_path_owned = 0;
        capture_output([] { load_module(); });
        ASSERT_NE(module_path, nullptr) << "the fixture does not load";
        char *lent = module_path;

        if (way == how::remove_lender)
            remove_item(lender);
        else if (way == how::clear_all)
            clear_playlist();
        else
            remove_item(other);

        ASSERT_NE(module_path, nullptr);
        EXPECT_STREQ(module_path, file.c_str());
        if (way == how::remove_other) {
            EXPECT_EQ(module_path, lent);
            EXPECT_EQ(module_path_owned, 0);
        } else {
            EXPECT_EQ(module_path_owned, 1);
        }
        // The module goes on without the lender: a reload builds it from the kept bytes.
        int bits = sample_bits;
        sample_bits = 32;
        EXPECT_EQ(reload_module(), 1);
        EXPECT_EQ(loaded_format.bits, 32);
        sample_bits = bits;
        unload_module();
        EXPECT_EQ(module_path, nullptr);
    }
}

TEST_F(playlist_fixture, RemovingAnItemLeavesAnOwnedModulePathAlone) {
    const std::string file = dir.file("own.it");
    write(file, song(module_format::it, "Own"));
    playlist_item *item = add("Own", file, PROBE_IT);
    module_path = copy_string(file.c_str());
    module_path_owned = 1;
    capture_output([] { load_module(); });
    ASSERT_NE(module_path, nullptr);
    char *own = module_path;
    remove_item(item);
    EXPECT_EQ(module_path, own);
    EXPECT_EQ(module_path_owned, 1);
}

TEST_F(playlist_fixture, DescribeItemFromTheFile) {
    write(dir.file("lagoon.it"), song(module_format::it, "Lagoon"));
    write(dir.file("tide.xm"), song(module_format::xm, "Tide"));
    write(dir.file("reef.s3m"), song(module_format::s3m, "Reef"));
    write(dir.file("pier.mod"), song(module_format::mod, "Pier")); // tag beyond 512 bytes
    ASSERT_TRUE(write_file(dir.file("notes.txt"), "IMPM"));        // four bytes are not enough
    ASSERT_TRUE(write_file(dir.file("empty"), ""));
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0644), 0);
    struct describe_case {
        const char *name;
        size_t size;
        unsigned result;
        const char *title;
        uint16_t kind;
    } cases[] = {
        {"lagoon.it", 512, PL_OK, "Lagoon", PROBE_IT},
        {"tide.xm", 512, PL_OK, "Tide", PROBE_XM},
        {"reef.s3m", 512, PL_OK, "Reef", PROBE_S3M},
        {"pier.mod", 512, PL_OK, "fall back", 0},
        {"notes.txt", 512, PL_OK, "fall back", 0},
        {"empty", 512, PL_OK, "fall back", 0},
        {"sub", 512, PL_OK, "fall back", 0},
        {"pipe", 512, PL_OK, "fall back", 0},
        // No more than size bytes are read: four bytes of an IT say nothing.
        {"lagoon.it", 4, PL_OK, "fall back", 0},
        {"lagoon.it", 5, PL_OK, "L", PROBE_IT}, // the title starts at 4
        {"missing", 512, PL_IO, nullptr, 0},
    };
    for (const describe_case &c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.size));
        clear_playlist();
        playlist_item *before = add("before");
        playlist_item *item = append_item();
        ASSERT_NE(item, nullptr);
        item->item_path = copy_string(dir.file(c.name).c_str());
        unsigned char buffer[512];
        errno = 0;
        alarm(30); // should the pipe block, SIGALRM ends the test program instead
        const unsigned result = describe_item(item, "fall back", buffer, c.size);
        const int error_number = errno;
        alarm(0);
        EXPECT_EQ(result, c.result);
        if (c.result == PL_OK) {
            EXPECT_EQ(items(), (std::vector<item_view>{{"", "before", 0},
                                                       {dir.file(c.name), c.title, c.kind}}));
        } else {
            EXPECT_EQ(walk(), std::vector<playlist_item *>{before});
            EXPECT_EQ(error_number, ENOENT);
        }
    }
}

TEST_F(playlist_fixture, ImportDirectoryTakesTheVisibleEntriesInStreamOrder) {
    const std::string music = dir.file("music");
    ASSERT_EQ(mkdir(music.c_str(), 0755), 0);
    write(music + "/a.it", song(module_format::it, "Anchor"));
    write(music + "/.hidden", song(module_format::xm, "Hidden"));
    ASSERT_TRUE(write_file(music + "/notes.txt", "some notes\n"));
    ASSERT_EQ(mkdir((music + "/sub").c_str(), 0755), 0);
    add("old", "old.it"); // the import replaces the list

    std::vector<item_view> expected;
    for (const std::string &name : visible_stream_order(music)) {
        if (name == "a.it")
            expected.push_back({music + "/a.it", "Anchor", PROBE_IT});
        else
            expected.push_back({music + "/" + name, name, 0});
    }
    ASSERT_EQ(expected.size(), 3u);
    EXPECT_EQ(import_directory(music.c_str()), PL_OK);
    EXPECT_EQ(items(), expected);
}

TEST_F(playlist_fixture, ImportStopsAtAnEntryThatCannotBeExamined) {
    const std::string music = dir.file("music");
    ASSERT_EQ(mkdir(music.c_str(), 0755), 0);
    for (int i = 0; i < 8; ++i)
        write(music + "/song" + std::to_string(i) + ".s3m",
              song(module_format::s3m, "Song " + std::to_string(i)));
    // stat fails on a link that leads nowhere, even for root.
    ASSERT_EQ(symlink("nowhere", (music + "/broken").c_str()), 0);

    std::vector<item_view> expected;
    for (const std::string &name : visible_stream_order(music)) {
        if (name == "broken")
            break;
        expected.push_back({music + "/" + name, "Song " + name.substr(4, 1), PROBE_S3M});
    }
    errno = 0;
    EXPECT_EQ(import_directory(music.c_str()), PL_IO);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(items(), expected);
}

TEST_F(playlist_fixture, ImportOfADirectoryThatCannotBeOpenedEmptiesTheList) {
    add("old", "old.it");
    EXPECT_EQ(import_directory(dir.file("missing").c_str()), PL_IO);
    EXPECT_EQ(walk().size(), 0u);
    ASSERT_TRUE(write_file(dir.file("plain"), "a file"));
    add("old", "old.it");
    EXPECT_EQ(import_directory(dir.file("plain").c_str()), PL_IO);
    EXPECT_EQ(walk().size(), 0u);
}

// A path of any length names the file the directory holds, through the import and
// through the playlist file.
TEST_F(playlist_fixture, PathLongerThan511CharactersRoundTrips) {
    std::string deep = dir.path;
    for (int level = 0; level < 5; ++level) {
        deep += "/" + std::string(120, static_cast<char>('a' + level));
        ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
    }
    const std::string path = deep + "/abyss.it";
    ASSERT_GT(path.size(), 600u);
    write(path, song(module_format::it, "Abyss"));
    const std::vector<item_view> expected = {{path, "Abyss", PROBE_IT}};

    ASSERT_EQ(import_directory(deep.c_str()), PL_OK);
    EXPECT_EQ(items(), expected);
    ASSERT_EQ(save_playlist("deep.list"), PL_OK);
    EXPECT_EQ(read_file("deep.list"), path + "\n");
    clear_playlist();
    ASSERT_EQ(load_playlist("deep.list"), PL_OK);
    EXPECT_EQ(items(), expected);
}

// Paths go to the file and come back unchanged: blanks and carriage returns are part of
// them, and a path longer than a line buffer of 128 stays whole.
TEST_F(playlist_fixture, SaveThenLoadReproducesThePathsInOrder) {
    const std::string long_name = std::string(150, 'w') + ".xm";
    write(dir.file("one.it"), song(module_format::it, "One"));
    write(dir.file(long_name), song(module_format::xm, "Long"));
    write(dir.file("two words .s3m "), song(module_format::s3m, "Two"));
    ASSERT_TRUE(write_file(dir.file("notes\r"), "plain text"));
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
    const std::vector<item_view> expected = {
        {dir.file("one.it"), "One", PROBE_IT},
        {dir.file(long_name), "Long", PROBE_XM},
        {"two words .s3m ", "Two", PROBE_S3M},
        {dir.file("notes\r"), "notes\r", 0},
        {"sub", "sub", 0},
    };
    for (const item_view &item : expected)
        add(item.title, item.path, item.kind);

    ASSERT_EQ(save_playlist("songs.list"), PL_OK);
    std::string text;
    for (const item_view &item : expected)
        text += item.path + "\n";
    EXPECT_EQ(read_file("songs.list"), text);
    clear_playlist();
    ASSERT_EQ(load_playlist("songs.list"), PL_OK);
    EXPECT_EQ(items(), expected);
    // Saving again overwrites rather than appends.
    ASSERT_EQ(save_playlist("songs.list"), PL_OK);
    EXPECT_EQ(read_file("songs.list"), text);
}

TEST_F(playlist_fixture, LoadPlaylistReadsUpToTheFirstEmptyLine) {
    write(dir.file("x.it"), song(module_format::it, "Ex"));
    write(dir.file("y.xm"), song(module_format::xm, "Why"));
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
    ASSERT_TRUE(write_file(dir.file("sub/notes.txt"), "notes"));
    const item_view x = {"x.it", "Ex", PROBE_IT};
    const item_view y = {"y.xm", "Why", PROBE_XM};
    const item_view notes = {"sub/notes.txt", "notes.txt", 0};
    const item_view sub = {dir.path + "/sub/", "", 0};
    struct load_case {
        const char *label;
        std::string text;
        unsigned result;
        std::vector<item_view> items;
    } cases[] = {
        {"two lines", "x.it\ny.xm\n", PL_OK, {x, y}},
        {"last line without LF", "x.it\ny.xm", PL_OK, {x, y}},
        {"empty line ends the list", "x.it\n\ny.xm\n", PL_OK, {x}},
        {"empty line first", "\nx.it\n", PL_OK, {}},
        {"empty file", "", PL_OK, {}},
        {"fall-back after the last slash",
         "sub/notes.txt\n" + dir.path + "/sub/\n",
         PL_OK,
         {notes, sub}},
        {"missing file stops", "x.it\nmissing.it\ny.xm\n", PL_IO, {x}},
        {"blank kept", "x.it\n x.it\n", PL_IO, {x}},
        {"carriage return kept", "x.it\r\n", PL_IO, {}},
    };
    for (const load_case &c : cases) {
        SCOPED_TRACE(c.label);
        add("old", "old.it"); // the load replaces the list
        ASSERT_TRUE(write_file("songs.list", c.text));
        errno = 0;
        EXPECT_EQ(load_playlist("songs.list"), c.result);
        if (c.result == PL_IO) {
            EXPECT_EQ(errno, ENOENT);
        }
        EXPECT_EQ(items(), c.items);
    }
}

TEST_F(playlist_fixture, PlaylistFileErrors) {
    add("old", "old.it");
    EXPECT_EQ(load_playlist(nullptr), PL_INTERNAL);
    EXPECT_EQ(walk().size(), 0u);
    add("old", "old.it");
    EXPECT_EQ(load_playlist("missing.list"), PL_IO);
    EXPECT_EQ(walk().size(), 0u);

    add("song", "song.it");
    EXPECT_EQ(save_playlist(nullptr), PL_INTERNAL);
    EXPECT_EQ(save_playlist("no/such/directory/songs.list"), PL_IO);
    // A write that fails only when the stream's buffer is flushed is no success either.
    if (access("/dev/full", W_OK) == 0) {
        EXPECT_EQ(save_playlist("/dev/full"), PL_IO);
    }
    clear_playlist();
    ASSERT_EQ(save_playlist("empty.list"), PL_OK);
    EXPECT_EQ(read_file("empty.list"), "");
}

} // namespace
