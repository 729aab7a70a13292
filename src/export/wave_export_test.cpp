#include "export/wave_export.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>
#include <libmodplug/modplug.h>

#include "module_writer.h"
#include "playback/audio_output.h"
#include "playback/decoder_settings.h"
#include "playback/module_loader.h"
#include "playback/module_state.h"
#include "settings/settings.h"
#include "test_support.h"

namespace {

constexpr int ORDER_COUNT = 4;
constexpr int WAV_CHUNK = 20000;
constexpr int RAW_CHUNK = 10000;

// Four orders of 8 rows at speed 3: 0.48 s each, about 4.2 WAVE chunks at 44100 Hz
// stereo, so order changes fall inside chunks. Every pattern plays other notes on two
// channels, so each order sounds different and the samples are rarely byte-symmetric.
module_description short_song() {
    module_description desc;
    desc.format = module_format::xm;
    desc.name = "Export Test";
    desc.channels = 2;
    desc.speed = 3;
    mw_sample lead;
    lead.name = "lead";
    lead.data = make_wave(mw_wave::saw, 40, 8, 110);
    lead.loop_length = static_cast<int>(lead.data.size());
    desc.samples.push_back(lead);
    mw_sample bass;
    bass.name = "bass";
    bass.data = make_wave(mw_wave::triangle, 64, 4, 90);
    bass.loop_length = static_cast<int>(bass.data.size());
    desc.samples.push_back(bass);
    desc.instruments = {{"lead", {0}}, {"bass", {1}}};
    for (int p = 0; p < ORDER_COUNT; ++p) {
        mw_pattern pattern;
        pattern.rows = 8;
        for (int row = 0; row < 8; row += 2)
            pattern.cells.push_back(
                {.row = row, .channel = 0, .note = mw_note_c4 + 3 * p + row, .instrument = 1});
        pattern.cells.push_back({.row = 0, .channel = 1, .note = 37 + 5 * p, .instrument = 2});
        desc.patterns.push_back(pattern);
        desc.orders.push_back(p);
    }
    return desc;
}

// One chunk the decoder rendered on its own, and the order it stood at after it.
struct decoded_chunk {
    std::string bytes;
    int order_after;
};

// Renders module_file with a decoder module of its own, loaded after the decoder was set
// to 16 bits at rate and channels (the other settings as they stand), read in chunks of
// chunk_bytes from order start.
std::vector<decoded_chunk> decoder_render(const std::string &module_file, int rate, int channels,
                                          int chunk_bytes, int start) {
    std::string data = read_file(module_file);
    ModPlug_Settings decoder;
    ModPlug_GetSettings(&decoder);
    decoder.mBits = 16;
    decoder.mFrequency = rate;
    decoder.mChannels = channels;
    decoder.mLoopCount = 0;
    ModPlug_SetSettings(&decoder);
    ModPlugFile *song = ModPlug_Load(data.data(), static_cast<int>(data.size()));
    EXPECT_NE(song, nullptr);
    std::vector<decoded_chunk> chunks;
    if (song == nullptr)
        return chunks;
    ModPlug_SetMasterVolume(song, static_cast<unsigned>(settings.master_volume));
    ModPlug_SeekOrder(song, start);
    std::vector<char> buffer(static_cast<size_t>(chunk_bytes));
    int got;
    while ((got = ModPlug_Read(song, buffer.data(), chunk_bytes)) > 0)
        chunks.push_back(
            {std::string(buffer.data(), static_cast<size_t>(got)), ModPlug_GetCurrentOrder(song)});
    ModPlug_Unload(song);
    return chunks;
}

// The chunks up to and including the first at whose end the order is stop or later; all
// of them when stop is not positive.
std::string joined_until(const std::vector<decoded_chunk> &chunks, int stop) {
    std::string bytes;
    for (const decoded_chunk &chunk : chunks) {
        bytes += chunk.bytes;
        if (stop > 0 && chunk.order_after >= stop)
            break;
    }
    return bytes;
}

std::string swapped_samples(std::string bytes) {
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        std::swap(bytes[i], bytes[i + 1]);
    return bytes;
}

// value as it lies in memory, its bytes reversed when swapped: the settings' byte order
// differing from the machine's.
template <typename T> std::string stored(T value, bool swapped) {
    std::string bytes(sizeof value, '\0');
    std::memcpy(bytes.data(), &value, sizeof value);
    if (swapped)
        std::reverse(bytes.begin(), bytes.end());
    return bytes;
}

std::string wave_header(uint32_t rate, uint16_t channels, uint32_t data_bytes, bool swapped) {
    return std::string("RIFF") + stored<uint32_t>(data_bytes + 36, swapped) + "WAVE" + "fmt " +
           std::string("\x10\0\0\0", 4) + stored<uint16_t>(1, swapped) +
           stored<uint16_t>(channels, swapped) + stored<uint32_t>(rate, swapped) +
           stored<uint32_t>(rate * channels * 2, swapped) +
           stored<uint16_t>(static_cast<uint16_t>(channels * 2), swapped) +
           stored<uint16_t>(16, swapped) + "data" + stored<uint32_t>(data_bytes, swapped);
}

enum class exporter { wav, raw };

struct wave_export_fixture : ::testing::Test {
    void SetUp() override {
        reset();
        module_file = dir.file("song.xm");
        ASSERT_TRUE(write_module_file(short_song(), module_file));
    }
    void TearDown() override { reset(); }

    static void reset() {
        unload_module();
        default_settings(settings);
        start_order = 0;
        stop_order = -1;
        sample_bits = 0;
    }

    // Loads the fixture in the decoder format the settings and sample_bits ask for now.
    void load() {
        int32_t verbosity = settings.verbosity_level;
        settings.verbosity_level = 0;
        module_path = module_file.data();
        module_path_owned = 0;
        load_module();
        settings.verbosity_level = verbosity;
        ASSERT_NE(module_path, nullptr);
    }

    // Runs one exporter into path; the samples it wrote are the file without the header.
    static uint64_t run(exporter kind, const std::string &path, int raw_flags = 0) {
        return kind == exporter::wav ? export_wav(path.c_str())
                                     : export_raw_pcm(path.c_str(), raw_flags);
    }
    static std::string samples_of(exporter kind, const std::string &file) {
        return kind == exporter::wav ? file.substr(std::min<size_t>(44, file.size())) : file;
    }

    temp_dir dir;
    std::string module_file;
};

TEST_F(wave_export_fixture, WaveHoldsWhatTheDecoderRenders) {
    struct format_case {
        const char *name;
        int load_rate, load_channels, load_bits; // the format the module is loaded in
        int32_t rate, channels, little_endian;   // the settings at the export
        uint32_t start;
        int rendered_rate, rendered_channels;
    } cases[] = {
        {"stereo 44100", 44100, 2, 16, 44100, 2, 1, 0, 44100, 2},
        {"mono 22050", 22050, 1, 16, 22050, 1, 1, 0, 22050, 1},
        {"stereo, settings big-endian", 44100, 2, 16, 44100, 2, 0, 0, 44100, 2},
        {"mono 11025, settings big-endian", 11025, 1, 16, 11025, 1, 0, 0, 11025, 1},
        {"damaged settings", 12345, 7, 16, 12345, 7, 1, 0, 44100, 2},
        // Loaded at 32 bits in another format: the export reloads at 16 bits before it
        // seeks, or the song would start over from order 0.
        {"reloaded, from order 1", 16000, 1, 32, 32000, 2, 1, 1, 32000, 2},
    };
    for (const format_case &c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        settings.verbosity_level = 0;
        settings.sample_rate = c.load_rate;
        settings.channel_count = c.load_channels;
        sample_bits = c.load_bits;
        load();
        settings.sample_rate = c.rate;
        settings.channel_count = c.channels;
        settings.little_endian = c.little_endian;
        start_order = c.start;
        std::string out = dir.file("out.wav");

        uint32_t result = export_wav(out.c_str());

        EXPECT_EQ(sample_bits, 16);
        EXPECT_EQ(loaded_format, (decoder_format{c.rendered_rate, c.rendered_channels, 16}));
        std::string file = read_file(out);
        std::string expected =
            joined_until(decoder_render(module_file, c.rendered_rate, c.rendered_channels,
                                        WAV_CHUNK, static_cast<int>(c.start)),
                         -1);
        ASSERT_GT(expected.size(), 2u * WAV_CHUNK);
        ASSERT_TRUE(expected != swapped_samples(expected)); // or a lost swap goes unseen
        bool swapped = c.little_endian == 0;
        EXPECT_EQ(result, file.size());
        ASSERT_GE(file.size(), 44u);
        EXPECT_EQ(file.substr(0, 44), wave_header(static_cast<uint32_t>(c.rendered_rate),
                                                  static_cast<uint16_t>(c.rendered_channels),
                                                  static_cast<uint32_t>(expected.size()), swapped));
        EXPECT_TRUE(file.substr(44) == (swapped ? swapped_samples(expected) : expected));
    }
}

TEST_F(wave_export_fixture, WaveDefaultHeaderOnThisMachine) {
    if (std::endian::native != std::endian::little)
        GTEST_SKIP() << "the bytes below are those of a little-endian machine";
    settings.verbosity_level = 0;
    load();
    std::string out = dir.file("out.wav");
    ASSERT_GT(export_wav(out.c_str()), 44u);
    std::string file = read_file(out);
    // Offsets 0-19 and 36-39 as they stand; 20-35: tag 1, 2 channels, 44100 Hz,
    // 176400 bytes per second, 4 bytes per frame, 16 bits.
    EXPECT_EQ(file.substr(0, 4), "RIFF");
    EXPECT_EQ(file.substr(8, 28), std::string("WAVEfmt \x10\0\0\0"
                                              "\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0",
                                              28));
    EXPECT_EQ(file.substr(36, 4), "data");
}

TEST_F(wave_export_fixture, WaveAndRawKeepToTheOrderRange) {
    struct range_case {
        exporter kind;
        uint32_t start;
        int32_t stop;
        bool cut; // whether the stop order ends the export before the song does
    } cases[] = {
        {exporter::wav, 0, -1, false}, {exporter::wav, 0, 0, false},  {exporter::wav, 0, 1, true},
        {exporter::wav, 1, 3, true},   {exporter::wav, 2, -1, false}, {exporter::raw, 0, -1, false},
        {exporter::raw, 0, 0, false},  {exporter::raw, 0, 2, true},   {exporter::raw, 1, 2, true},
        {exporter::raw, 3, 0, false},
    };
    settings.verbosity_level = 0;
    load();
    for (const range_case &c : cases) {
        SCOPED_TRACE(::testing::Message() << (c.kind == exporter::wav ? "wav" : "raw") << " from "
                                          << c.start << " to " << c.stop);
        start_order = c.start;
        stop_order = c.stop;
        std::string out = dir.file("range.out");

        uint64_t result = run(c.kind, out);

        std::vector<decoded_chunk> chunks =
            decoder_render(module_file, 44100, 2, c.kind == exporter::wav ? WAV_CHUNK : RAW_CHUNK,
                           static_cast<int>(c.start));
        std::string expected = joined_until(chunks, c.stop);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(expected.size() < joined_until(chunks, -1).size(), c.cut);
        std::string file = read_file(out);
        EXPECT_EQ(result, file.size());
        EXPECT_TRUE(samples_of(c.kind, file) == expected)
            << samples_of(c.kind, file).size() << " bytes of samples, not " << expected.size();
    }
}

TEST_F(wave_export_fixture, WaveProgressCountsTheHeader) {
    load();
    std::string out = dir.file("out.wav");
    uint32_t result = 0;
    captured_output got = capture_output([&] { result = export_wav(out.c_str()); });

    std::string expected = ">>> Exporting audio to WAV ('" + out + "')\n";
    unsigned long total = 44;
    for (const decoded_chunk &chunk : decoder_render(module_file, 44100, 2, WAV_CHUNK, 0)) {
        total += chunk.bytes.size();
        expected += ">>> " + std::to_string(total) + " bytes written  \r";
    }
    expected += ">>> \ndone!\n";
    EXPECT_EQ(got.out.find(">>> 20044 bytes written  \r"), got.out.find('\n') + 1);
    EXPECT_EQ(got.out, expected);
    EXPECT_EQ(got.err, "");
    EXPECT_EQ(result, total);

    settings.verbosity_level = 0;
    captured_output quiet = capture_output([&] { result = export_wav(out.c_str()); });
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(result, total);
}

TEST_F(wave_export_fixture, RawByteOrderFollowsFlagsAndSettings) {
    struct order_case {
        int flags;
        int32_t little_endian;
        bool swaps;
        const char *label;
    } cases[] = {
        {0, 1, false, "little-endian"},  {0, 0, false, "big-endian"},
        {8, 1, false, "little-endian"},  {8, 0, true, "little-endian"},
        {2, 1, true, "big-endian"},      {2, 0, false, "big-endian"},
        {5, 1, false, "little-endian"},  {5, 0, false, "big-endian"},
        {7, 1, true, "big-endian"},      {7, 0, false, "big-endian"},
        {13, 1, false, "little-endian"}, {13, 0, true, "little-endian"},
    };
    settings.sample_rate = 22050;
    load();
    std::string decoded = joined_until(decoder_render(module_file, 22050, 2, RAW_CHUNK, 0), -1);
    ASSERT_TRUE(decoded != swapped_samples(decoded));
    for (const order_case &c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "flags " << c.flags << ", little_endian " << c.little_endian);
        settings.little_endian = c.little_endian;
        std::string out = dir.file("out.raw");
        uint64_t result = 0;
        captured_output got =
            capture_output([&] { result = export_raw_pcm(out.c_str(), c.flags); });
        EXPECT_EQ(got.out, std::string(">>> Exporting audio to raw 16-bit PCM, ") + c.label +
                               ", sampling rate: 22.050 kHz\n>>> done!\n");
        EXPECT_EQ(got.err, "");
        EXPECT_EQ(result, decoded.size());
        EXPECT_TRUE(read_file(out) == (c.swaps ? swapped_samples(decoded) : decoded));
    }
}

TEST_F(wave_export_fixture, RawLabelShowsTheRateRendered) {
    settings.sample_rate = 12345; // as a damaged settings file may hold it
    load();
    std::string out = dir.file("out.raw");
    captured_output got = capture_output([&] { export_raw_pcm(out.c_str(), 0); });
    EXPECT_EQ(got.out.substr(0, got.out.find('\n') + 1),
              ">>> Exporting audio to raw 16-bit PCM, little-endian, sampling rate: "
              "44.100 kHz\n");
}

TEST_F(wave_export_fixture, WaveAndRawOfASongWithoutAudioFail) {
    load();
    // The decoder ignores a seek past the last order: a song already played to its end
    // stays there, and the first read gives nothing.
    static char drain[WAV_CHUNK];
    while (ModPlug_Read(loaded_module, drain, WAV_CHUNK) > 0) {
    }
    start_order = ORDER_COUNT + 5;
    std::string wav = dir.file("empty.wav");
    std::string raw = dir.file("empty.raw");
    uint64_t wav_result = 1;
    uint64_t raw_result = 1;
    captured_output wav_output = capture_output([&] { wav_result = export_wav(wav.c_str()); });
    captured_output raw_output =
        capture_output([&] { raw_result = export_raw_pcm(raw.c_str(), 0); });

    EXPECT_EQ(wav_result, 0u);
    EXPECT_EQ(read_file(wav).substr(0, 45), wave_header(44100, 2, 0, false));
    EXPECT_EQ(wav_output.out.find("done!"), std::string::npos);
    EXPECT_EQ(raw_result, 0u);
    struct stat status;
    ASSERT_EQ(stat(raw.c_str(), &status), 0);
    EXPECT_EQ(status.st_size, 0);
    EXPECT_NE(raw_output.out.find(">>> done!\n"), std::string::npos);
    EXPECT_EQ(wav_output.err + raw_output.err, "");
}

// The exporters say why a file could not be written, the system's reason first; the
// verdict on the export is left to their callers.
TEST_F(wave_export_fixture, WaveAndRawReportWhyOutputCannotBeWritten) {
    ASSERT_EQ(mkdir(dir.file("folder").c_str(), 0755), 0);
    struct stat full;
    bool have_full = stat("/dev/full", &full) == 0 && S_ISCHR(full.st_mode);
    struct failure_case {
        std::string path;
        bool opens; // opened, then every write fails
        std::string reason;
    } cases[] = {
        {dir.file("no-such-dir/out"), false,
         "CAN'T open(\"" + dir.file("no-such-dir/out") + "\"): No such file or directory"},
        {dir.file("folder"), false, "CAN'T open(\"" + dir.file("folder") + "\"): Is a directory"},
        {"/dev/full", true, "CAN'T write(\"/dev/full\"): No space left on device"},
    };
    load();
    for (const failure_case &c : cases) {
        if (c.opens && !have_full)
            continue;
        for (exporter kind : {exporter::wav, exporter::raw}) {
            SCOPED_TRACE(c.path + (kind == exporter::wav ? " wav" : " raw"));
            uint64_t result = 1;
            captured_output got = capture_output([&] { result = run(kind, c.path, 8); });
            EXPECT_EQ(result, 0u);
            EXPECT_EQ(got.err, ">>> ERROR: " + c.reason + "\n");
            if (c.opens)
                EXPECT_EQ(got.out.find("done!"), std::string::npos) << got.out;
            else
                EXPECT_EQ(got.out, "");
        }
    }
}

TEST_F(wave_export_fixture, WaveAndRawRefuseTheModuleFileItself) {
    ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0755), 0);
    std::string link = dir.file("link.xm");
    ASSERT_EQ(::link(module_file.c_str(), link.c_str()), 0);
    const std::string paths[] = {module_file, link, dir.path + "/./sub/../song.xm"};
    std::string original = read_file(module_file);
    load();
    for (const std::string &path : paths) {
        for (exporter kind : {exporter::wav, exporter::raw}) {
            SCOPED_TRACE(path + (kind == exporter::wav ? " wav" : " raw"));
            uint64_t result = 1;
            captured_output got = capture_output([&] { result = run(kind, path); });
            EXPECT_EQ(result, 0u);
            EXPECT_EQ(got.err,
                      ">>> ERROR: CAN'T export onto the module file itself (\"" + path + "\")\n");
            EXPECT_EQ(got.out, "");
            EXPECT_TRUE(read_file(module_file) == original);
        }
    }
}

} // namespace
