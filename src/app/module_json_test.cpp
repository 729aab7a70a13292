#include "app/module_json.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "module_writer.h"
#include "playback/module_loader.h"
#include "playback/module_state.h"
#include "settings/settings.h"
#include "test_support.h"

namespace {

using json = nlohmann::json;

mw_sample sample(const std::string &name) {
    mw_sample s;
    s.name = name;
    s.data = make_wave(mw_wave::square, 16, 4);
    return s;
}

struct json_case {
    const char *what;
    module_description desc;
    const char *format;
    std::vector<std::string> samples;     ///< as UTF-8
    std::vector<std::string> instruments; ///< as UTF-8
    json message;                         ///< null or the text with LF line ends
    const char *title;                    ///< as UTF-8
};

module_description song(module_format format, const std::string &name,
                        const std::vector<std::string> &sample_names,
                        const std::vector<mw_instrument> &instruments = {},
                        const std::string &message = "") {
    module_description desc;
    desc.format = format;
    desc.name = name;
    for (const std::string &n : sample_names)
        desc.samples.push_back(sample(n));
    desc.instruments = instruments;
    desc.message = message;
    return desc;
}

std::vector<std::string> mod_samples(std::vector<std::string> names) {
    names.resize(31); // the decoder always reports 31 MOD samples
    return names;
}

std::vector<json_case> cases() {
    return {
        {"MOD with empty sample names",
         song(module_format::mod, "Night Drive", {"Kick", "", "Snare"}),
         "Amiga Module (MOD)",
         mod_samples({"Kick", "", "Snare"}),
         {},
         nullptr,
         "Night Drive"},
        {"S3M with ISO-8859-1 texts",
         song(module_format::s3m, "Caf\xe9 Noir", {"Cr\xe8me", "b"}),
         "Scream Tracker 3 (S3M)",
         {"Cr\xc3\xa8me", "b"},
         {},
         nullptr,
         "Caf\xc3\xa9 Noir"},
        {"XM with instruments and UTF-8 texts",
         song(module_format::xm,
              "\xc3\x9c"
              "ber",
              {"lead", "kick", "snare"}, {{"Lead \xe2\x99\xaa", {0}}, {"Drums", {1, 2}}}),
         "Extended Module (XM)",
         {"lead", "kick", "snare"},
         {"Lead \xe2\x99\xaa", "Drums"},
         nullptr,
         "\xc3\x9c"
         "ber"},
        {"IT with a message holding control codes",
         song(module_format::it, "", {"beep"}, {{"Bell", {0}}},
              "First \x01line\nSecond \xff line\n\nlast"),
         "Impulse Tracker (IT)",
         {"beep"},
         {"Bell"},
         "First \x01line\nSecond \xc3\xbf line\n\nlast",
         ""},
        {"IT in sample mode without a message",
         song(module_format::it, "Plain", {"a", "b"}),
         "Impulse Tracker (IT)",
         {"a", "b"},
         {},
         nullptr,
         "Plain"},
    };
}

struct ModuleJsonTest : ::testing::Test {
    temp_dir dir;
    std::string song_path = dir.file("song");

    void SetUp() override {
        default_settings(settings);
        settings.verbosity_level = 0;
        unload_module();
    }
    void TearDown() override {
        unload_module();
        default_settings(settings);
    }

    void load(const module_description &desc) {
        ASSERT_TRUE(write_module_file(desc, song_path));
        module_path = song_path.data();
        module_path_owned = 0;
        load_module();
        ASSERT_NE(module_path, nullptr);
    }
};

TEST_F(ModuleJsonTest, DescribesEachFormatWithTheDecodersFacts) {
    for (const json_case &c : cases()) {
        SCOPED_TRACE(c.what);
        load(c.desc);
        std::string line;
        ASSERT_EQ(describe_loaded_module("dir/song \xe9.mod", line), 1);
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.back(), '\n');
        EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line";
        json got = json::parse(line);
        std::vector<std::string> keys;
        for (auto it = got.begin(); it != got.end(); ++it)
            keys.push_back(it.key());
        std::sort(keys.begin(), keys.end());
        EXPECT_EQ(keys, (std::vector<std::string>{"channels", "file", "format", "instruments",
                                                  "length_ms", "message", "patterns", "samples",
                                                  "title"}));
        EXPECT_EQ(got["file"], "dir/song \xc3\xa9.mod");
        EXPECT_EQ(got["title"], c.title);
        EXPECT_EQ(got["format"], c.format);
        EXPECT_EQ(got["length_ms"], ModPlug_GetLength(loaded_module));
        EXPECT_GT(got["length_ms"].get<int>(), 0);
        EXPECT_EQ(got["channels"], ModPlug_NumChannels(loaded_module));
        EXPECT_EQ(got["patterns"], ModPlug_NumPatterns(loaded_module));
        EXPECT_EQ(got["samples"], json(c.samples));
        EXPECT_EQ(got["instruments"], json(c.instruments));
        EXPECT_TRUE(got["samples"].is_array() && got["instruments"].is_array());
        EXPECT_EQ(got["message"], c.message);
        unload_module();
    }
}

} // namespace
