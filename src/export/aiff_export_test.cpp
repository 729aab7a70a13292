#include "export/aiff_export.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <libmodplug/modplug.h>
#include <sndfile.h>

#include "module_writer.h"
#include "playback/audio_output.h"
#include "playback/decoder_settings.h"
#include "playback/module_loader.h"
#include "playback/module_state.h"
#include "settings/settings.h"
#include "test_support.h"

namespace {

// Every order of the fixture lasts 8 rows of 6 ticks, 2.5 / 125 s each: 0.96 s, 42336
// frames at 44100 Hz. The exporter renders 65536 bytes a chunk: 8192 stereo frames.
constexpr int ORDERS = 4;
constexpr int64_t ORDER_FRAMES = 8 * 6 * 44100 / 50;
constexpr int64_t STEREO_CHUNK_FRAMES = 65536 / 4 / 2;

// A short IT song that sounds in every order, with notes whose 32-bit samples use all
// their bits. In message a '|' stands for a line feed (the writer stores '\n' as '\r').
std::vector<uint8_t> song_bytes(const std::string &name, const std::string &message) {
    module_description desc;
    desc.format = module_format::it;
    desc.name = name;
    desc.channels = 2;
    mw_sample sample;
    sample.name = "saw";
    sample.data = make_wave(mw_wave::saw, 37, 7, 90);
    sample.loop_length = static_cast<int>(sample.data.size());
    desc.samples.push_back(sample);
    for (int p = 0; p < ORDERS; ++p) {
        mw_pattern pattern;
        pattern.rows = 8;
        pattern.cells.push_back(
            {.row = 0, .channel = 0, .note = mw_note_c4 + 3 * p, .instrument = 1});
        pattern.cells.push_back(
            {.row = 4, .channel = 1, .note = mw_note_c5 - 2 * p, .instrument = 1, .volume = 40});
        desc.patterns.push_back(pattern);
        desc.orders.push_back(p);
    }
    desc.message = message;
    std::vector<uint8_t> bytes = write_module(desc);
    std::string stored = message;
    std::replace(stored.begin(), stored.end(), '\n', '\r');
    if (!stored.empty()) {
        auto at = std::search(bytes.begin(), bytes.end(), stored.begin(), stored.end());
        EXPECT_NE(at, bytes.end());
        std::replace(at, at + static_cast<std::ptrdiff_t>(stored.size()), uint8_t{'|'},
                     uint8_t{'\n'});
    }
    return bytes;
}

bool write_song(const std::string &path, const std::string &name = "Aiff Export",
                const std::string &message = "") {
    std::vector<uint8_t> bytes = song_bytes(name, message);
    return write_file(path, std::string(bytes.begin(), bytes.end()));
}

// The song rendered by the decoder itself at 32 bits from order, in the settings the
// exporter left in the decoder and with the same master volume, chunk by chunk to the end.
std::vector<int32_t> render_directly(const std::string &path, int channels, int rate, int order) {
    ModPlug_Settings decoder;
    ModPlug_GetSettings(&decoder);
    decoder.mBits = 32;
    decoder.mChannels = channels;
    decoder.mFrequency = rate;
    ModPlug_SetSettings(&decoder);
    std::string bytes = read_file(path);
    ModPlugFile *module = ModPlug_Load(bytes.data(), static_cast<int>(bytes.size()));
    EXPECT_NE(module, nullptr);
    std::vector<int32_t> samples;
    if (module == nullptr)
        return samples;
    ModPlug_SetMasterVolume(module, static_cast<unsigned>(settings.master_volume));
    ModPlug_SeekOrder(module, order);
    std::vector<int32_t> chunk(65536 / 4);
    int got;
    while ((got = ModPlug_Read(module, chunk.data(), 65536)) > 0)
        samples.insert(samples.end(), chunk.begin(), chunk.begin() + got / 4);
    ModPlug_Unload(module);
    return samples;
}

// The read-back samples are the rendered ones cut to the file's bits (libsndfile returns
// them with the low bits zero); compares the first frames-many of rendered.
::testing::AssertionResult same_top_bits(const std::vector<int> &stored,
                                         const std::vector<int32_t> &rendered, int shift) {
    if (stored.size() > rendered.size())
        return ::testing::AssertionFailure()
               << stored.size() << " samples stored, " << rendered.size() << " rendered";
    for (size_t i = 0; i < stored.size(); ++i) {
        auto expected = static_cast<int32_t>(static_cast<uint32_t>(rendered[i] >> shift) << shift);
        if (stored[i] != expected)
            return ::testing::AssertionFailure() << "sample " << i << ": " << stored[i]
                                                 << " stored, " << rendered[i] << " rendered";
    }
    return ::testing::AssertionSuccess();
}

struct aiff_export_fixture : ::testing::Test {
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    void reset() {
        unload_module();
        default_settings(settings);
        start_order = 0;
        stop_order = -1;
        sample_bits = 16; // as playback leaves it
    }

    // Loads the song at path quietly, as a command-line word (borrowed) is loaded.
    void load_borrowed(const std::string &path) {
        word = path;
        module_path = word.data();
        module_path_owned = 0;
        int32_t verbosity = settings.verbosity_level;
        settings.verbosity_level = 0;
        load_module();
        settings.verbosity_level = verbosity;
        ASSERT_NE(module_path, nullptr);
    }

    int run_export(const std::string &path, int bits) {
        int result = -1;
        printed = capture_output([&] { result = export_aiff(path.c_str(), bits); });
        return result;
    }

    temp_dir dir;
    std::string word;
    captured_output printed;
};
using AiffExportTest = aiff_export_fixture;

TEST_F(AiffExportTest, WritesWhatTheDecoderRendersInEveryDepth) {
    struct depth_case {
        int bits;
        int subtype;
        int shift; // how libsndfile cuts the decoder's 32-bit samples
        int32_t channel_setting;
        int32_t rate_setting;
        int channels; // what the decoder renders for those settings
        int rate;
        int32_t volume;
        int32_t verbosity;
    } cases[] = {
        {16, SF_FORMAT_PCM_16, 16, 2, 44100, 2, 44100, 128, 1},
        {24, SF_FORMAT_PCM_24, 8, 1, 22050, 1, 22050, 300, 1},
        // A rate the program does not offer renders at 44100 Hz, and so is the file.
        {32, SF_FORMAT_PCM_32, 0, 2, 12345, 2, 44100, 64, 0},
    };
    for (const depth_case &c : cases) {
        SCOPED_TRACE(c.bits);
        reset();
        settings.channel_count = c.channel_setting;
        settings.sample_rate = c.rate_setting;
        settings.master_volume = c.volume;
        settings.verbosity_level = c.verbosity;
        std::string song = dir.file("song.it");
        std::string out = dir.file("song.aiff");
        ASSERT_TRUE(write_song(song));
        load_borrowed(song);
        const char *borrowed = module_path;

        ASSERT_EQ(run_export(out, c.bits), 1);
        // Only the exporter's two lines: the silent reload shows no information table.
        EXPECT_EQ(printed.out,
                  c.verbosity > 0 ? ">>> Exporting audio as AIFF ('" + out + "')\n>>> done\n" : "");
        EXPECT_EQ(printed.err, "");
        // The reload rebuilds the same module at 32 bits; its path stays as it was lent.
        EXPECT_EQ(sample_bits, 32);
        EXPECT_EQ(module_path, borrowed);
        EXPECT_EQ(module_path_owned, 0);
        EXPECT_EQ(loaded_format, (decoder_format{c.rate, c.channels, 32}));

        read_back got = read_aiff(out);
        EXPECT_EQ(got.info.format, SF_FORMAT_AIFF | c.subtype);
        EXPECT_EQ(got.info.channels, c.channels);
        EXPECT_EQ(got.info.samplerate, c.rate);
        std::vector<int32_t> rendered = render_directly(song, c.channels, c.rate, 0);
        EXPECT_GE(rendered.size(), static_cast<size_t>(ORDERS * ORDER_FRAMES * c.rate / 44100));
        // The cut to 16 bits is only tested where the low bits carry something.
        EXPECT_TRUE(std::any_of(rendered.begin(), rendered.end(),
                                [](int32_t value) { return (value & 0xffff) != 0; }));
        EXPECT_EQ(got.info.frames, static_cast<sf_count_t>(rendered.size() / c.channels));
        EXPECT_TRUE(same_top_bits(got.samples, rendered, c.shift));
    }
}

TEST_F(AiffExportTest, StartAndStopOrdersLimitTheExport) {
    struct limit_case {
        uint32_t start;
        int32_t stop;
        bool to_end; // no stop, or one the song never reaches
    } cases[] = {
        {0, -1, true}, {0, 0, true},  {1, -1, true}, {2, 9, true}, {0, 1, false},
        {0, 2, false}, {1, 3, false}, {3, 1, false}, // a stop order already passed: one chunk
    };
    std::string song = dir.file("limits.it");
    ASSERT_TRUE(write_song(song));
    for (const limit_case &c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + " to " + std::to_string(c.stop));
        reset();
        settings.verbosity_level = 0;
        load_borrowed(song);
        start_order = c.start;
        stop_order = c.stop;
        std::string out = dir.file("limits.aiff");
        ASSERT_EQ(run_export(out, 32), 1);
        read_back got = read_aiff(out);
        std::vector<int32_t> rendered = render_directly(song, 2, 44100, static_cast<int>(c.start));
        EXPECT_TRUE(same_top_bits(got.samples, rendered, 0));
        if (c.to_end) {
            EXPECT_EQ(got.info.frames, static_cast<sf_count_t>(rendered.size() / 2));
            continue;
        }
        // Whole chunks, up to the first one that ends in the stop order or beyond; the
        // decoder stays there.
        int64_t covered = std::max<int64_t>(c.stop - static_cast<int32_t>(c.start), 0);
        EXPECT_GT(got.info.frames, 0);
        EXPECT_EQ(got.info.frames % STEREO_CHUNK_FRAMES, 0);
        EXPECT_GE(got.info.frames, covered * ORDER_FRAMES);
        EXPECT_LE(got.info.frames, covered * ORDER_FRAMES + STEREO_CHUNK_FRAMES);
        EXPECT_GE(ModPlug_GetCurrentOrder(loaded_module), c.stop);
    }
}

TEST_F(AiffExportTest, NameAndMessageBecomeNameAndAnnoChunks) {
    struct text_case {
        std::string name;
        std::string message; // '\n' is stored as a carriage return, '|' as a line feed
        std::optional<std::string> anno;
    } cases[] = {
        {"Lone Returns", "first line\nsecond line", "first line\nsecond line"},
        {"Pairs", "one\n|two\n|", "one\n\ntwo\n\n"},
        {"No Message", "", std::nullopt},
        {"", "nameless\n", "nameless\n"}, // many songs have no name: no NAME chunk
    };
    for (const text_case &c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        settings.verbosity_level = 0;
        std::string song = dir.file("texts.it");
        std::string out = dir.file("texts.aiff");
        ASSERT_TRUE(write_song(song, c.name, c.message));
        load_borrowed(song);
        const char *message = ModPlug_GetMessage(loaded_module);
        if (c.anno.has_value()) {
            std::string stored = c.message;
            std::replace(stored.begin(), stored.end(), '\n', '\r');
            std::replace(stored.begin(), stored.end(), '|', '\n');
            ASSERT_NE(message, nullptr);
            ASSERT_EQ(std::string(message), stored);
        } else {
            ASSERT_EQ(message, nullptr);
        }

        ASSERT_EQ(run_export(out, 16), 1);
        std::string bytes = read_file(out);
        read_back got = read_aiff(out);
        std::optional<std::string> name;
        if (!c.name.empty())
            name = c.name;
        EXPECT_EQ(aiff_chunk(bytes, "NAME"), name);
        EXPECT_EQ(got.title, name);
        EXPECT_EQ(aiff_chunk(bytes, "ANNO"), c.anno);
        EXPECT_EQ(got.comment, c.anno);
        EXPECT_GT(got.info.frames, 0);
        // The decoder's own message keeps the line feeds.
        message = ModPlug_GetMessage(loaded_module);
        if (c.anno.has_value()) {
            ASSERT_NE(message, nullptr);
            EXPECT_EQ(std::string(message), *c.anno);
        }
    }
}

TEST_F(AiffExportTest, RefusesWithoutAModuleOrOntoTheModuleFile) {
    std::string out = dir.file("none.aiff");
    EXPECT_EQ(run_export(out, 16), 0);
    EXPECT_EQ(printed.out, "");
    EXPECT_EQ(printed.err, "");
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(sample_bits, 16);

    std::string song = dir.file("own.it");
    ASSERT_TRUE(write_song(song));
    std::string before = read_file(song);
    load_borrowed(song);
    const char *borrowed = module_path;
    std::string same_file = dir.path + "/./own.it";
    EXPECT_EQ(run_export(same_file, 16), 0);
    EXPECT_EQ(printed.err,
              ">>> ERROR: CAN'T export onto the module file itself (\"" + same_file + "\")\n");
    EXPECT_EQ(printed.out, "");
    EXPECT_EQ(read_file(song), before);
    // Nothing was reloaded.
    EXPECT_EQ(module_path, borrowed);
    EXPECT_EQ(module_path_owned, 0);
    EXPECT_EQ(sample_bits, 16);
}

TEST_F(AiffExportTest, FailsWhenTheOutputFailsNotWhenTheFileIsGone) {
    // The module stays what was loaded: it is rebuilt from the bytes read at the load.
    std::string song = dir.file("song.it");
    std::string copy = dir.file("copy.it");
    ASSERT_TRUE(write_song(song));
    ASSERT_TRUE(write_song(copy));
    load_borrowed(song);
    ASSERT_EQ(std::remove(song.c_str()), 0);
    std::string out = dir.file("gone.aiff");
    EXPECT_EQ(run_export(out, 32), 1);
    EXPECT_EQ(printed.err, "");
    EXPECT_NE(module_path, nullptr);
    read_back got = read_aiff(out);
    std::vector<int32_t> rendered = render_directly(copy, 2, 44100, 0);
    EXPECT_EQ(got.info.frames, static_cast<sf_count_t>(rendered.size() / 2));
    EXPECT_TRUE(same_top_bits(got.samples, rendered, 0));

    struct output_case {
        std::string out;
        int bits;
        bool stays; // a file that was opened stays
        std::string reason;
    } cases[] = {
        {dir.file("missing/out.aiff"), 16, false,
         "CAN'T open(\"" + dir.file("missing/out.aiff") + "\"): No such file or directory"},
        {dir.file("eight.aiff"), 8, true,
         "CAN'T write(\"" + dir.file("eight.aiff") + "\"): Invalid argument"},
    };
    for (const output_case &c : cases) {
        SCOPED_TRACE(c.out);
        reset();
        ASSERT_TRUE(write_song(song));
        load_borrowed(song);
        EXPECT_EQ(run_export(c.out, c.bits), 0);
        EXPECT_EQ(printed.out, ">>> Exporting audio as AIFF ('" + c.out + "')\n");
        EXPECT_EQ(printed.err, ">>> ERROR: " + c.reason + "\n");
        EXPECT_EQ(std::filesystem::exists(c.out), c.stays);
        EXPECT_NE(module_path, nullptr);
        EXPECT_EQ(module_path_owned, 0);
    }
}

} // namespace
