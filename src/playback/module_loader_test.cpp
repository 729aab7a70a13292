#include "playback/module_loader.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "console/text.h"
#include "module_writer.h"
#include "playback/module_state.h"
#include "settings/settings.h"
#include "test_support.h"

namespace {

module_description small_module(module_format format) {
    module_description desc;
    desc.format = format;
    desc.name = "Loader Test";
    desc.channels = 4;
    mw_sample sample;
    sample.name = "beep";
    for (int i = 0; i < 64; ++i)
        sample.data.push_back(static_cast<int8_t>(i % 16 < 8 ? 60 : -60));
    desc.samples.push_back(sample);
    if (format == module_format::xm || format == module_format::it)
        desc.instruments.push_back({"beeper", {0}});
    mw_pattern pattern;
    pattern.cells.push_back({.row = 0, .channel = 0, .note = 49, .instrument = 1});
    desc.patterns.push_back(pattern);
    desc.orders = {0};
    return desc;
}

struct loader_fixture : ::testing::Test {
    void SetUp() override {
        default_settings(settings);
        settings.verbosity_level = 0; // the table has tests of its own
        unload_module();
    }
    void TearDown() override { unload_module(); }

    // Loads path as a borrowed command-line word would be, returning what was printed.
    captured_output load_borrowed(std::string &path) {
        module_path = path.data();
        module_path_owned = 0;
        return capture_output([] { load_module(); });
    }
    temp_dir dir;
};

TEST_F(loader_fixture, LoadsEachFormatAndTrimsTrailingBlanks) {
    for (module_format format :
         {module_format::mod, module_format::s3m, module_format::xm, module_format::it}) {
        std::string path = dir.file("song");
        ASSERT_TRUE(write_module_file(small_module(format), path));
        std::string word = path + " \t ";
        captured_output got = load_borrowed(word);
        EXPECT_EQ(got.err, "");
        ASSERT_NE(module_path, nullptr);
        EXPECT_STREQ(module_path, path.c_str());
        EXPECT_STREQ(ModPlug_GetName(loaded_module), "Loader Test");
        unload_module();
        EXPECT_EQ(module_path, nullptr);
        EXPECT_EQ(module_path_owned, 0);
    }
}

TEST_F(loader_fixture, FailuresReportAndLeaveNoModule) {
    ASSERT_TRUE(write_file(dir.file("empty.mod"), ""));
    ASSERT_TRUE(write_file(dir.file("text.mod"), "this is not a module at all\n"));
    std::string missing = dir.file("missing.mod");
    struct failure_case {
        std::string path;
        std::string err;
        const char *reason;
    } cases[] = {
        {missing, ">>> ERROR: CAN'T stat(\"" + missing + "\"): No such file or directory\n",
         "No such file or directory"},
        {dir.file("empty.mod"), ">>> ERROR: size of \"" + dir.file("empty.mod") + "\" is zero!\n",
         "the file is empty"},
        {dir.path, ">>> ERROR: CAN'T read(): Is a directory\n", "Is a directory"},
        {dir.file("text.mod"), "", "not a module the decoder can read"},
    };
    for (failure_case &c : cases) {
        SCOPED_TRACE(c.path);
        captured_output got = load_borrowed(c.path);
        EXPECT_EQ(got.err, c.err);
        EXPECT_EQ(got.out, "");
        EXPECT_EQ(module_path, nullptr);
        EXPECT_EQ(module_path_owned, 0);
        EXPECT_STREQ(module_load_failure(), c.reason);
    }
}

TEST_F(loader_fixture, OpenCommandOwnsItsCopy) {
    std::string good = dir.file("good.xm");
    ASSERT_TRUE(write_module_file(small_module(module_format::xm), good));

    captured_output usage = capture_output([] { open_command(nullptr); });
    EXPECT_EQ(usage.err, "usage: open <file>\n");
    EXPECT_EQ(capture_output([] { open_command(""); }).err, "usage: open <file>\n");
    EXPECT_EQ(module_path, nullptr);

    open_command(good.c_str());
    ASSERT_NE(module_path, nullptr);
    EXPECT_NE(module_path, good.c_str());
    EXPECT_EQ(module_path_owned, 1);

    // Without an argument the loaded module stays; a bad file leaves none at all.
    capture_output([] { open_command(nullptr); });
    EXPECT_NE(module_path, nullptr);
    std::string bad = dir.file("nothing-here");
    captured_output failed = capture_output([&] { open_command(bad.c_str()); });
    EXPECT_NE(failed.err.find("CAN'T stat"), std::string::npos);
    EXPECT_EQ(module_path, nullptr);
    EXPECT_EQ(module_path_owned, 0);
}

} // namespace
