#include "export/sndfile_writer.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sndfile.h>

#include "export/encode_queue.h"
#include "test_support.h"

namespace {

// Values whose every byte differs, the extremes, and negative values with low bits set,
// where rounding to fewer bits would differ from keeping the top ones.
constexpr int32_t PROBES[] = {0,           -1,          1,          0x12345678,
                              -0x12345678, INT32_MAX,   INT32_MIN,  0x00008000,
                              -0x00008001, 0x7fff7fff,  0x000000ff, -0x00000100,
                              0x01020304,  -0x7f010203, 0x00800000, 0x7f7f0000};

std::vector<int32_t> probe_rounds(int rounds) {
    std::vector<int32_t> samples;
    for (int round = 0; round < rounds; ++round)
        samples.insert(samples.end(), std::begin(PROBES), std::end(PROBES));
    return samples;
}

// AIFF as the AIFF export writes it: texts kept as given and cut, failures told as
// failed system calls.
sound_file_format aiff_format(int subtype, int channels, int rate, size_t text_limit = 8189) {
    return {SF_FORMAT_AIFF | subtype, channels, rate, -1, text_limit};
}

// The lossless formats keep the top bits of every sample, in every depth, and the tags.
TEST(SndfileWriterTest, LosslessFormatsKeepEverySampleAndTheTags) {
    struct lossless_case {
        sound_file_format format;
        int bits; // of the samples handed over
        const char *title;
        const char *comment;
    } cases[] = {
        {{SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, 0.5}, 16, "Song Title", "line one\ntwo"},
        {{SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 1, 22050, -1}, 32, "", nullptr},
        {{SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 11025, 1.0}, 16, nullptr, ""},
        {aiff_format(SF_FORMAT_PCM_16, 2, 44100), 32, "Name", "two\n\nlines"},
        {aiff_format(SF_FORMAT_PCM_24, 1, 22050), 32, nullptr, "note"},
        {aiff_format(SF_FORMAT_PCM_32, 3, 8000), 32, "", nullptr},
    };
    for (const lossless_case &c : cases) {
        SCOPED_TRACE(c.format.sf_format);
        int channels = c.format.channels;
        int subtype = c.format.sf_format & SF_FORMAT_SUBMASK;
        temp_dir dir;
        std::string path = dir.file("out");
        std::vector<int32_t> wide = probe_rounds(4 * channels);
        std::vector<int16_t> narrow;
        for (int32_t value : wide)
            narrow.push_back(static_cast<int16_t>(value >> 16));
        captured_output printed = capture_output([&] {
            sound_writer *writer = sound_writer_open(path.c_str(), c.format, c.title, c.comment);
            ASSERT_NE(writer, nullptr);
            // Two writes, so that the file is more than one chunk.
            size_t half = wide.size() / 2;
            if (c.bits == 32) {
                EXPECT_EQ(sound_writer_write32(writer, wide.data(), half), 1);
                EXPECT_EQ(sound_writer_write32(writer, wide.data() + half, wide.size() - half), 1);
            } else {
                EXPECT_EQ(sound_writer_write16(writer, narrow.data(), half), 1);
                EXPECT_EQ(sound_writer_write16(writer, narrow.data() + half, narrow.size() - half),
                          1);
            }
            EXPECT_EQ(sound_writer_finish(writer), 1);
        });
        EXPECT_EQ(printed.err, "");

        read_back got = read_aiff(path);
        EXPECT_EQ(got.info.format, c.format.sf_format);
        EXPECT_EQ(got.info.channels, channels);
        EXPECT_EQ(got.info.samplerate, c.format.rate);
        ASSERT_EQ(got.samples.size(), wide.size());
        int shift = subtype == SF_FORMAT_PCM_32 ? 0 : subtype == SF_FORMAT_PCM_24 ? 8 : 16;
        for (size_t i = 0; i < wide.size(); ++i)
            ASSERT_EQ(got.samples[i],
                      static_cast<int32_t>(static_cast<uint32_t>(wide[i] >> shift) << shift))
                << "sample " << i;
        // An empty or missing text is no tag at all.
        bool has_title = c.title != nullptr && c.title[0] != '\0';
        bool has_comment = c.comment != nullptr && c.comment[0] != '\0';
        EXPECT_EQ(got.title, has_title ? std::optional<std::string>(c.title) : std::nullopt);
        EXPECT_EQ(got.comment, has_comment ? std::optional<std::string>(c.comment) : std::nullopt);
    }
}

TEST(SndfileWriterTest, LossyFormatsHoldTheirFormatAndLength) {
    struct lossy_case {
        int format;
        int channels;
        int rate;
        sf_count_t slack; // frames an encoder may add at the ends
    } cases[] = {
        {SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 44100, 0},
        {SF_FORMAT_OGG | SF_FORMAT_OPUS, 1, 48000, 960},
        {SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 2, 22050, 2 * 1152},
    };
    for (const lossy_case &c : cases) {
        SCOPED_TRACE(c.format);
        temp_dir dir;
        std::string path = dir.file("out");
        // One second of a quiet saw.
        std::vector<int16_t> samples(static_cast<size_t>(c.rate * c.channels));
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<int16_t>((i * 37) % 8000 - 4000);
        sound_writer *writer =
            sound_writer_open(path.c_str(), {c.format, c.channels, c.rate, -1}, "Title", "Comment");
        ASSERT_NE(writer, nullptr);
        EXPECT_EQ(sound_writer_write16(writer, samples.data(), samples.size()), 1);
        EXPECT_GT(sound_writer_bytes(writer), 0u);
        EXPECT_EQ(sound_writer_finish(writer), 1);

        read_back got = read_aiff(path);
        EXPECT_EQ(got.info.format, c.format);
        EXPECT_EQ(got.info.channels, c.channels);
        EXPECT_EQ(got.info.samplerate, c.rate);
        EXPECT_GE(got.info.frames, c.rate);
        EXPECT_LE(got.info.frames, c.rate + c.slack);
        EXPECT_EQ(got.title, "Title");
        EXPECT_EQ(got.comment, "Comment");
    }
}

// Module texts are bytes in any encoding; the tags these formats hold are UTF-8.
TEST(SndfileWriterTest, TagsAreStoredAsUtf8) {
    constexpr int FORMATS[] = {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, SF_FORMAT_OGG | SF_FORMAT_VORBIS};
    for (int format : FORMATS) {
        SCOPED_TRACE(format);
        temp_dir dir;
        std::string path = dir.file("out");
        std::vector<int16_t> samples(4410 * 2, 0);
        sound_writer *writer = sound_writer_open(path.c_str(), {format, 2, 44100, -1},
                                                 "Caf\xe9 caf\xc3\xa9", "\xff line\nlast");
        ASSERT_NE(writer, nullptr);
        EXPECT_EQ(sound_writer_write16(writer, samples.data(), samples.size()), 1);
        EXPECT_EQ(sound_writer_finish(writer), 1);

        read_back got = read_aiff(path);
        EXPECT_EQ(got.title, "Caf\xc3\xa9 caf\xc3\xa9");
        EXPECT_EQ(got.comment, "\xc3\xbf line\nlast");
    }
}

TEST(SndfileWriterTest, FailuresSayWhy) {
    temp_dir dir;
    std::string missing = dir.file("no/such/dir.flac");
    captured_output printed = capture_output([&] {
        EXPECT_EQ(sound_writer_open(missing.c_str(),
                                    {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, -1}, "t", "c"),
                  nullptr);
    });
    EXPECT_EQ(printed.err,
              ">>> ERROR: CAN'T open(\"" + missing + "\"): No such file or directory\n");

    // Opus has no 44.1 kHz: libsndfile refuses the format, and the file stays, empty.
    std::string opus = dir.file("out.opus");
    printed = capture_output([&] {
        EXPECT_EQ(sound_writer_open(opus.c_str(), {SF_FORMAT_OGG | SF_FORMAT_OPUS, 2, 44100, -1},
                                    "t", "c"),
                  nullptr);
    });
    EXPECT_EQ(printed.err.rfind(">>> ERROR: CAN'T write(\"" + opus + "\"): ", 0), 0u)
        << printed.err;
    EXPECT_EQ(read_file(opus), "");
}

// Kept as given, texts are neither converted nor padded: odd and even lengths, bytes that
// are no UTF-8, and texts cut at the limit. An empty or missing text writes no chunk.
TEST(SndfileWriterTest, AiffTextsAreStoredAsGivenCutToTheLimit) {
    struct text_case {
        size_t limit;
        const char *name;
        const char *annotation;
        std::optional<std::string> name_chunk;
        std::optional<std::string> anno_chunk;
    } cases[] = {
        {8189, "Odd", "two\n\nlines", "Odd", "two\n\nlines"},
        {8189, "Even", "", "Even", std::nullopt},
        {8189, "", "only a note", std::nullopt, "only a note"},
        {8189, nullptr, nullptr, std::nullopt, std::nullopt},
        {8189, "Caf\xe9", "\xff\r\x80", "Caf\xe9", "\xff\r\x80"},
        {5, "Long Name", "12345", "Long ", "12345"},
        {1, "ab", "\xe9\xe9", "a", "\xe9"},
    };
    for (const text_case &c : cases) {
        SCOPED_TRACE(c.name_chunk.value_or("-") + "|" + c.anno_chunk.value_or("-"));
        temp_dir dir;
        std::string path = dir.file("texts.aiff");
        const int32_t frames[] = {0x10000, -0x10000, 0x20000, -0x20000};
        sound_writer *writer = sound_writer_open(
            path.c_str(), aiff_format(SF_FORMAT_PCM_16, 2, 44100, c.limit), c.name, c.annotation);
        ASSERT_NE(writer, nullptr);
        EXPECT_EQ(sound_writer_write32(writer, frames, 4), 1);
        EXPECT_EQ(sound_writer_finish(writer), 1);

        std::string bytes = read_file(path);
        EXPECT_EQ(aiff_chunk(bytes, "NAME"), c.name_chunk);
        EXPECT_EQ(aiff_chunk(bytes, "ANNO"), c.anno_chunk);
        read_back got = read_aiff(path);
        EXPECT_EQ(got.info.frames, 2);
        EXPECT_EQ(got.title, c.name_chunk);
        EXPECT_EQ(got.comment, c.anno_chunk);
    }
}

// Told as system calls, a failure names the call and the system's reason, once; after a
// failed write the file still holds what was written before.
TEST(SndfileWriterTest, AiffFailuresAreToldAsSystemCalls) {
    temp_dir dir;
    struct open_case {
        std::string path;
        sound_file_format format;
        bool stays; // a file that was created stays, empty
        std::string report;
    } cases[] = {
        {dir.file("no/such/dir.aiff"), aiff_format(SF_FORMAT_PCM_16, 2, 44100), false,
         "CAN'T open(\"" + dir.file("no/such/dir.aiff") + "\"): No such file or directory"},
        {dir.path, aiff_format(SF_FORMAT_PCM_16, 2, 44100), true,
         "CAN'T open(\"" + dir.path + "\"): Is a directory"},
        // libsndfile writes the header as it opens the file.
        {"/dev/full", aiff_format(SF_FORMAT_PCM_16, 2, 44100), true,
         "CAN'T write(\"/dev/full\"): No space left on device"},
        {dir.file("vorbis.aiff"), aiff_format(SF_FORMAT_VORBIS, 2, 44100), true,
         "CAN'T write(\"" + dir.file("vorbis.aiff") + "\"): Invalid argument"},
        {dir.file("none.aiff"), aiff_format(0, 2, 44100), true,
         "CAN'T write(\"" + dir.file("none.aiff") + "\"): Invalid argument"},
        {dir.file("silent.aiff"), aiff_format(SF_FORMAT_PCM_24, 0, 44100), true,
         "CAN'T write(\"" + dir.file("silent.aiff") + "\"): Invalid argument"},
    };
    for (const open_case &c : cases) {
        SCOPED_TRACE(c.path);
        captured_output printed = capture_output(
            [&] { EXPECT_EQ(sound_writer_open(c.path.c_str(), c.format, "t", "c"), nullptr); });
        EXPECT_EQ(printed.err, ">>> ERROR: " + c.report + "\n");
        EXPECT_EQ(std::filesystem::exists(c.path), c.stays);
        if (c.stays && std::filesystem::is_regular_file(c.path)) {
            EXPECT_EQ(read_file(c.path), "");
        }
    }

    // A write of half a frame fails without a system error.
    std::string path = dir.file("partial.aiff");
    const int32_t frames[] = {1 << 16, 2 << 16, 3 << 16, 4 << 16};
    captured_output printed = capture_output([&] {
        sound_writer *writer =
            sound_writer_open(path.c_str(), aiff_format(SF_FORMAT_PCM_16, 2, 44100), "n", "");
        ASSERT_NE(writer, nullptr);
        EXPECT_EQ(sound_writer_write32(writer, frames, 4), 1);
        EXPECT_EQ(sound_writer_write32(writer, frames, 3), 0);
        sound_writer_finish(writer);
    });
    EXPECT_EQ(printed.err, ">>> ERROR: CAN'T write(\"" + path + "\"): Input/output error\n");
    read_back got = read_aiff(path);
    EXPECT_EQ(got.samples, (std::vector<int>{1 << 16, 2 << 16, 3 << 16, 4 << 16}));
    EXPECT_EQ(got.title, "n");
}

// The queue hands over pieces of any size, the encoder thread writes them in order.
TEST(EncodeQueueTest, EveryPieceArrivesInOrder) {
    for (int bits : {16, 32}) {
        SCOPED_TRACE(bits);
        temp_dir dir;
        std::string path = dir.file("queued.flac");
        int subtype = bits == 16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_24;
        sound_writer *writer = sound_writer_open(
            path.c_str(), {SF_FORMAT_FLAC | subtype, 2, 44100, 0.5}, "q", nullptr);
        ASSERT_NE(writer, nullptr);
        encode_queue *queue = encode_queue_start(writer, bits);
        std::vector<int32_t> sent;
        // Pieces from one frame to several queue chunks long, more than the queue holds.
        const size_t frames_per_piece[] = {1, 700, 5000, 40000, 3, 16384, 90000, 12};
        uint32_t value = 12345;
        for (int round = 0; round < 3; ++round) {
            for (size_t frames : frames_per_piece) {
                std::vector<unsigned char> bytes;
                for (size_t i = 0; i < frames * 2; ++i) {
                    value = value * 1103515245u + 12345u;
                    auto sample = static_cast<int32_t>(value);
                    if (bits == 16) {
                        auto narrow = static_cast<int16_t>(sample >> 16);
                        sent.push_back(static_cast<int32_t>(narrow) * 65536);
                        auto *raw = reinterpret_cast<unsigned char *>(&narrow);
                        bytes.insert(bytes.end(), raw, raw + 2);
                    } else {
                        sent.push_back(
                            static_cast<int32_t>(static_cast<uint32_t>(sample) & 0xffffff00u));
                        auto *raw = reinterpret_cast<unsigned char *>(&sample);
                        bytes.insert(bytes.end(), raw, raw + 4);
                    }
                }
                ASSERT_EQ(encode_queue_push(queue, bytes.data(), bytes.size()), 1);
            }
        }
        EXPECT_EQ(encode_queue_finish(queue), 1);
        EXPECT_EQ(sound_writer_finish(writer), 1);
        read_back got = read_aiff(path);
        ASSERT_EQ(got.samples.size(), sent.size());
        for (size_t i = 0; i < sent.size(); ++i)
            ASSERT_EQ(got.samples[i], sent[i]) << "sample " << i;
    }
}

// A write that fails (here: a partial frame) stops the queue, and every later push says so.
TEST(EncodeQueueTest, AFailedWriteIsReported) {
    temp_dir dir;
    std::string path = dir.file("failed.flac");
    sound_writer *writer =
        sound_writer_open(path.c_str(), {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, -1}, "", "");
    ASSERT_NE(writer, nullptr);
    std::vector<int16_t> samples(3000, 100);
    auto *bytes = reinterpret_cast<const unsigned char *>(samples.data());
    captured_output printed = capture_output([&] {
        encode_queue *queue = encode_queue_start(writer, 16);
        EXPECT_EQ(encode_queue_push(queue, bytes, 6), 1); // three samples: half a frame too many
        int later = 1;
        // The failure reaches the exporter at one of its next pushes at the latest once the
        // thread has taken the piece; the queue ends all the same.
        for (int i = 0; i < 100 && later == 1; ++i)
            later = encode_queue_push(queue, bytes, 4000);
        int finished = encode_queue_finish(queue);
        EXPECT_EQ(finished, 0);
    });
    sound_writer_finish(writer);
    EXPECT_EQ(printed.err, ">>> ERROR: CAN'T write(\"" + path + "\"): Input/output error\n");
}

} // namespace
