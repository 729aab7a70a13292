#include "export/compressed_export.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <libmodplug/modplug.h>
#include <sndfile.h>

#include "console/program_exit.h"
#include "export/aiff_export.h"
#include "export/compressed_formats.h"
#include "export/export_kind.h"
#include "export/wave_export.h"
#include "module_writer.h"
#include "playback/audio_output.h"
#include "playback/decoder_settings.h"
#include "playback/module_loader.h"
#include "playback/module_state.h"
#include "settings/render_options.h"
#include "settings/settings.h"
#include "test_support.h"

namespace {

// An intro order, then two orders that the last one's B01 jumps back to: a song that
// loops. Every order lasts 8 rows of 6 ticks at tempo 125: 0.96 s.
constexpr double ORDER_SECONDS = 0.96;

bool write_looping_song(const std::string &path) {
    module_description desc;
    desc.format = module_format::it;
    desc.name = "Looping Song";
    desc.channels = 2;
    desc.message = "Made for the loop\nand the fade";
    mw_sample sample;
    sample.name = "saw";
    sample.data = make_wave(mw_wave::saw, 37, 7, 90);
    sample.loop_length = static_cast<int>(sample.data.size());
    desc.samples.push_back(sample);
    for (int p = 0; p < 3; ++p) {
        mw_pattern pattern;
        pattern.rows = 8;
        for (int row = 0; row < 8; row += 2)
            pattern.cells.push_back({.row = row,
                                     .channel = row % 4 / 2,
                                     .note = mw_note_c4 + 3 * p + row,
                                     .instrument = 1});
        desc.patterns.push_back(pattern);
        desc.orders.push_back(p);
    }
    desc.patterns[2].cells.push_back({.row = 7, .channel = 1, .effect = 'B', .param = 1});
    std::vector<uint8_t> bytes = write_module(desc);
    return write_file(path, std::string(bytes.begin(), bytes.end()));
}

struct compressed_export_fixture : ::testing::Test {
    void SetUp() override {
        reset();
        ASSERT_TRUE(write_looping_song(song));
    }
    void TearDown() override { reset(); }
    void reset() {
        unload_module();
        default_settings(settings);
        settings.verbosity_level = 0;
        start_order = 0;
        stop_order = -1;
        sample_bits = 16;
        loop_count = 0;
        fade_seconds = 0;
    }

    // Loads the song afresh, quietly, as a command-line word is loaded: every export of a
    // comparison starts from the same decoder state, as in a batch run.
    void load() {
        unload_module();
        word = song;
        module_path = word.data();
        module_path_owned = 0;
        load_module();
        ASSERT_NE(module_path, nullptr);
    }

    int compressed(int kind, const std::string &path) {
        int result = -1;
        printed = capture_output(
            [&] { result = export_compressed(path.c_str(), *compressed_format_of_kind(kind)); });
        return result;
    }

    temp_dir dir;
    std::string song = dir.file("loop.it");
    std::string word;
    captured_output printed;
};
using CompressedExportTest = compressed_export_fixture;

TEST_F(CompressedExportTest, FlacHoldsExactlyTheWaveAndAiffSamples) {
    struct setting_case {
        int32_t channels;
        int32_t rate;
        uint32_t start;
        int32_t stop;
        int32_t loops;
    } cases[] = {
        {2, 44100, 0, -1, 0},
        {1, 22050, 0, -1, 1},
        {2, 32000, 1, 2, 0},
    };
    for (const setting_case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.channels << " channels at " << c.rate);
        reset();
        settings.channel_count = c.channels;
        settings.sample_rate = c.rate;
        loop_count = c.loops;
        auto run = [&](const std::function<void()> &body) {
            load();
            start_order = c.start;
            stop_order = c.stop;
            capture_output(body);
        };
        std::string wav = dir.file("out.wav"), flac = dir.file("out.flac");
        std::string aiff = dir.file("out.aiff"), flac24 = dir.file("out24.flac");
        run([&] { EXPECT_GT(export_wav(wav.c_str()), 0u); });
        run([&] { EXPECT_EQ(export_aiff(aiff.c_str(), 24), 1); });
        load();
        start_order = c.start;
        stop_order = c.stop;
        ASSERT_EQ(compressed(EXPORT_FLAC, flac), COMPRESSED_DONE);
        load();
        start_order = c.start;
        stop_order = c.stop;
        ASSERT_EQ(compressed(EXPORT_FLAC24, flac24), COMPRESSED_DONE);

        read_back wave_samples = read_aiff(wav), flac_samples = read_aiff(flac);
        EXPECT_EQ(flac_samples.info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
        EXPECT_EQ(flac_samples.info.channels, c.channels);
        EXPECT_EQ(flac_samples.info.samplerate, c.rate);
        EXPECT_GT(flac_samples.samples.size(), 0u);
        EXPECT_TRUE(flac_samples.samples == wave_samples.samples);
        read_back aiff_samples = read_aiff(aiff), flac24_samples = read_aiff(flac24);
        EXPECT_EQ(flac24_samples.info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
        EXPECT_GT(flac24_samples.samples.size(), 0u);
        EXPECT_TRUE(flac24_samples.samples == aiff_samples.samples);
    }
}

TEST_F(CompressedExportTest, LossyFormatsTheirRateChannelsLengthAndTags) {
    struct lossy_case {
        int kind;
        int format;
        int32_t channels;
        int rate; // of the file
        const char *says;
    } cases[] = {
        {EXPORT_VORBIS, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 44100, "Ogg Vorbis"},
        {EXPORT_OPUS, SF_FORMAT_OGG | SF_FORMAT_OPUS, 1, 48000, "Ogg Opus, rendered at 48 kHz"},
        {EXPORT_MP3, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 2, 44100, "MP3"},
    };
    for (const lossy_case &c : cases) {
        SCOPED_TRACE(c.says);
        reset();
        settings.verbosity_level = 1;
        settings.channel_count = c.channels;
        load();
        std::string out = dir.file("lossy");
        ASSERT_EQ(compressed(c.kind, out), COMPRESSED_DONE);
        EXPECT_EQ(printed.out.rfind(">>> Exporting audio as " + std::string(c.says) + " ('" + out +
                                        "')\n>>> ",
                                    0),
                  0u)
            << printed.out;
        EXPECT_TRUE(printed.out.ends_with(" bytes written  \r>>> \ndone!\n")) << printed.out;
        EXPECT_EQ(printed.err, "");
        read_back got = read_aiff(out);
        EXPECT_EQ(got.info.format, c.format);
        EXPECT_EQ(got.info.channels, c.channels);
        EXPECT_EQ(got.info.samplerate, c.rate);
        // The three orders, give or take the last chunk and the encoder's frames.
        double seconds = static_cast<double>(got.info.frames) / c.rate;
        EXPECT_GT(seconds, 3 * ORDER_SECONDS - 0.01);
        EXPECT_LT(seconds, 3 * ORDER_SECONDS + 0.3);
        EXPECT_EQ(got.title, "Looping Song");
        EXPECT_EQ(got.comment, "Made for the loop\nand the fade");
        // The decoder's own message keeps its carriage returns.
        EXPECT_STREQ(ModPlug_GetMessage(loaded_module), "Made for the loop\rand the fade");
    }
    // The next playback or export renders at the settings' rate again.
    EXPECT_EQ(wanted_decoder_format().rate, 44100);
}

// The loop count reaches the decoder: the export is what the decoder renders with that
// loop count itself, read in the same chunks.
TEST_F(CompressedExportTest, LoopCountIsTheDecodersOwn) {
    std::vector<size_t> lengths;
    for (int32_t loops : {0, 1, 2}) {
        SCOPED_TRACE(loops);
        loop_count = loops;
        load();
        std::string flac = dir.file("loops.flac");
        ASSERT_EQ(compressed(EXPORT_FLAC, flac), COMPRESSED_DONE);
        read_back got = read_aiff(flac);

        ModPlug_Settings decoder;
        ModPlug_GetSettings(&decoder);
        decoder.mLoopCount = loops;
        ModPlug_SetSettings(&decoder);
        std::string bytes = read_file(song);
        ModPlugFile *module = ModPlug_Load(bytes.data(), static_cast<int>(bytes.size()));
        ASSERT_NE(module, nullptr);
        ModPlug_SetMasterVolume(module, static_cast<unsigned>(settings.master_volume));
        std::vector<int> rendered;
        std::vector<int16_t> chunk(10000);
        int got_bytes;
        while ((got_bytes = ModPlug_Read(module, chunk.data(), 20000)) > 0)
            for (int i = 0; i < got_bytes / 2; ++i)
                rendered.push_back(chunk[static_cast<size_t>(i)] * 65536);
        ModPlug_Unload(module);
        EXPECT_TRUE(got.samples == rendered);
        lengths.push_back(got.samples.size());
    }
    // Each loop adds the two looped orders, give or take a chunk.
    for (size_t i = 1; i < lengths.size(); ++i) {
        double added = static_cast<double>(lengths[i] - lengths[i - 1]) / 2 / 44100;
        EXPECT_NEAR(added, 2 * ORDER_SECONDS, 20000.0 / 4 / 44100);
    }
}

// With a fade every exporter writes the same samples as without it, up to the fade, and
// the fade's gain falls linearly to nothing.
TEST_F(CompressedExportTest, FadeChangesOnlyTheLastSeconds) {
    struct exporter_case {
        const char *name;
        std::function<bool(const std::string &)> run;
        int shift; // of the samples as libsndfile reads them back: 16 for 16-bit files
    } cases[] = {
        {"WAVE", [](const std::string &p) { return export_wav(p.c_str()) > 0; }, 16},
        {"AIFF 24", [](const std::string &p) { return export_aiff(p.c_str(), 24) == 1; }, 8},
        {"FLAC 16",
         [](const std::string &p) {
             return export_compressed(p.c_str(), *compressed_format_of_kind(EXPORT_FLAC)) ==
                    COMPRESSED_DONE;
         },
         16},
    };
    for (const exporter_case &c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        loop_count = 1;
        std::string plain = dir.file("plain"), faded = dir.file("faded");
        load();
        capture_output([&] { ASSERT_TRUE(c.run(plain)); });
        set_fade_seconds(1.5);
        load();
        capture_output([&] { ASSERT_TRUE(c.run(faded)); });
        read_back without = read_aiff(plain), with = read_aiff(faded);
        ASSERT_EQ(with.samples.size(), without.samples.size());
        ASSERT_GT(without.samples.size(), 2u * 44100 * 2);
        size_t fade_frames = 44100 * 3 / 2;
        size_t first = without.samples.size() / 2 - fade_frames;
        for (size_t i = 0; i < first * 2; ++i)
            ASSERT_EQ(with.samples[i], without.samples[i]) << "sample " << i << " before the fade";
        double step = static_cast<double>(1 << c.shift);
        for (size_t i = first * 2; i < with.samples.size(); ++i) {
            double gain = static_cast<double>(fade_frames - (i / 2 - first)) /
                          static_cast<double>(fade_frames);
            ASSERT_NEAR(with.samples[i], without.samples[i] * gain, step)
                << "sample " << i << " in the fade";
        }
    }
}

TEST_F(CompressedExportTest, EveryExporterRefusesAnEndlessLoop) {
    struct exporter_case {
        const char *name;
        std::function<bool(const std::string &)> fails;
    } cases[] = {
        {"WAVE", [](const std::string &p) { return export_wav(p.c_str()) == 0; }},
        {"raw", [](const std::string &p) { return export_raw_pcm(p.c_str(), 0) == 0; }},
        {"AIFF", [](const std::string &p) { return export_aiff(p.c_str(), 16) == 0; }},
        {"FLAC",
         [](const std::string &p) {
             return export_compressed(p.c_str(), *compressed_format_of_kind(EXPORT_FLAC)) ==
                    COMPRESSED_FAILED;
         }},
        {"MP3",
         [](const std::string &p) {
             return export_compressed(p.c_str(), *compressed_format_of_kind(EXPORT_MP3)) ==
                    COMPRESSED_FAILED;
         }},
    };
    for (const exporter_case &c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        load();
        loop_count = -1;
        std::string out = dir.file("endless");
        printed = capture_output([&] { EXPECT_TRUE(c.fails(out)); });
        EXPECT_EQ(printed.err, ">>> ERROR: CAN'T export an endless loop\n");
        EXPECT_EQ(printed.out, "");
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

// A signal that arrives in the middle of an export: the song loops for far longer than
// the export can last, and the signal is recorded as soon as the file has grown.
TEST_F(CompressedExportTest, ASignalFinishesTheFileAndSaysSo) {
    loop_count = 100000;
    load();
    std::string out = dir.file("cut.flac");
    std::atomic<bool> done{false};
    std::thread signaller([&] {
        std::error_code error;
        while (!done && (!std::filesystem::exists(out, error) ||
                         std::filesystem::file_size(out, error) < 100000))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        exit_signal_number = SIGTERM;
    });
    int result = compressed(EXPORT_FLAC, out);
    done = true;
    signaller.join();
    exit_signal_number = 0;
    EXPECT_EQ(result, COMPRESSED_INTERRUPTED);
    EXPECT_EQ(printed.out, "");
    EXPECT_EQ(printed.err, "");
    // A complete file of whole chunks, as long as a part of the song.
    read_back got = read_aiff(out);
    EXPECT_EQ(got.info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    EXPECT_GT(got.info.frames, 0);
    EXPECT_EQ(got.info.frames % (20000 / 4), 0);
    EXPECT_EQ(got.title, "Looping Song");
}

TEST_F(CompressedExportTest, RefusesWithoutAModuleOrOntoTheModuleFile) {
    std::string out = dir.file("none.flac");
    EXPECT_EQ(compressed(EXPORT_FLAC, out), COMPRESSED_FAILED);
    EXPECT_EQ(printed.err, "");
    EXPECT_FALSE(std::filesystem::exists(out));

    std::string before = read_file(song);
    load();
    std::string same_file = dir.path + "/./loop.it";
    EXPECT_EQ(compressed(EXPORT_OPUS, same_file), COMPRESSED_FAILED);
    EXPECT_EQ(printed.err,
              ">>> ERROR: CAN'T export onto the module file itself (\"" + same_file + "\")\n");
    EXPECT_EQ(read_file(song), before);

    std::string unwritable = dir.file("missing/out.ogg");
    EXPECT_EQ(compressed(EXPORT_VORBIS, unwritable), COMPRESSED_FAILED);
    EXPECT_EQ(printed.err,
              ">>> ERROR: CAN'T open(\"" + unwritable + "\"): No such file or directory\n");
}

} // namespace
