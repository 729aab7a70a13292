#include "export/aiff_writer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sndfile.h>

#include "test_support.h"

namespace {

// Values whose every byte differs, the extremes, and negative values with low bits set,
// where rounding to fewer bits would differ from libsndfile's shift.
constexpr int32_t PROBES[] = {0,          -1,          1,          0x12345678,  -0x12345678,
                              INT32_MAX,  INT32_MIN,   0x00008000, -0x00008001, 0x7fff7fff,
                              0x000000ff, -0x00000100, 0x01020304, -0x7f010203, 0x00800000};

TEST(AiffWriterTest, SamplesKeepTheirTopBitsInEveryDepth) {
    struct depth_case {
        int bits;
        int subtype;
        int channels;
        int rate;
        int shift; // how libsndfile cuts a 32-bit value to the stored bits
    } cases[] = {
        {16, SF_FORMAT_PCM_16, 2, 44100, 16},
        {24, SF_FORMAT_PCM_24, 1, 22050, 8},
        {32, SF_FORMAT_PCM_32, 3, 8000, 0},
    };
    for (const depth_case &c : cases) {
        SCOPED_TRACE(c.bits);
        temp_dir dir;
        std::string path = dir.file("depth.aiff");
        // Three whole rounds of the probes, frames split over two writes.
        std::vector<int32_t> samples;
        for (int round = 0; round < 3 * c.channels; ++round)
            samples.insert(samples.end(), std::begin(PROBES), std::end(PROBES));
        size_t first = (samples.size() / c.channels / 2) * c.channels;

        aiff_file *file = aiff_open(path.c_str());
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(aiff_set_format(file, c.channels, c.rate, c.bits), 1);
        EXPECT_EQ(aiff_start_samples(file), 1);
        EXPECT_EQ(aiff_write_samples32(file, samples.data(), first), 1);
        EXPECT_EQ(aiff_write_samples32(file, samples.data() + first, samples.size() - first), 1);
        aiff_end_samples(file);
        aiff_close(file);

        read_back got = read_aiff(path);
        EXPECT_EQ(got.info.format, SF_FORMAT_AIFF | c.subtype);
        EXPECT_EQ(got.info.channels, c.channels);
        EXPECT_EQ(got.info.samplerate, c.rate);
        ASSERT_EQ(got.info.frames, static_cast<sf_count_t>(samples.size() / c.channels));
        // libsndfile hands stored samples back as 32-bit values with the low bits zero.
        for (size_t i = 0; i < samples.size(); ++i) {
            int32_t stored = samples[i] >> c.shift;
            ASSERT_EQ(got.samples[i],
                      static_cast<int32_t>(static_cast<uint32_t>(stored) << c.shift))
                << "sample " << i << " = " << samples[i];
        }
    }
}

TEST(AiffWriterTest, TextsBecomeNameAndAnnoChunksUnlessEmpty) {
    struct text_case {
        const char *name;
        const char *annotation;
    } cases[] = {
        {"Odd", "two\n\nlines"}, // odd and even lengths: padded and unpadded chunks
        {"Even", ""},
        {"", "only a note"},
        {"", ""},
    };
    for (const text_case &c : cases) {
        SCOPED_TRACE(std::string(c.name) + "|" + c.annotation);
        temp_dir dir;
        std::string path = dir.file("texts.aiff");
        const int32_t frames[] = {0x10000, -0x10000, 0x20000, -0x20000};
        aiff_file *file = aiff_open(path.c_str());
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(aiff_set_format(file, 2, 44100, 16), 1);
        EXPECT_EQ(aiff_set_name(file, c.name), 1);
        EXPECT_EQ(aiff_set_annotation(file, c.annotation), 1);
        EXPECT_EQ(aiff_start_samples(file), 1);
        EXPECT_EQ(aiff_write_samples32(file, frames, 4), 1);
        aiff_end_samples(file);
        aiff_close(file);

        std::string bytes = read_file(path);
        std::optional<std::string> name = aiff_chunk(bytes, "NAME");
        std::optional<std::string> annotation = aiff_chunk(bytes, "ANNO");
        read_back got = read_aiff(path);
        EXPECT_EQ(got.info.frames, 2);
        if (c.name[0] != '\0') {
            EXPECT_EQ(name, c.name);
            EXPECT_EQ(got.title, c.name);
        } else {
            EXPECT_EQ(name, std::nullopt);
            EXPECT_EQ(got.title, std::nullopt);
        }
        if (c.annotation[0] != '\0') {
            EXPECT_EQ(annotation, c.annotation);
            EXPECT_EQ(got.comment, c.annotation);
        } else {
            EXPECT_EQ(annotation, std::nullopt);
            EXPECT_EQ(got.comment, std::nullopt);
        }
    }
}

TEST(AiffWriterTest, OpenAndFormatRefuseWhatTheyCannotWrite) {
    temp_dir dir;
    EXPECT_EQ(aiff_open(nullptr), nullptr);
    EXPECT_EQ(aiff_open(dir.file("missing/out.aiff").c_str()), nullptr);
    EXPECT_EQ(aiff_open(dir.path.c_str()), nullptr); // a directory

    std::string path = dir.file("format.aiff");
    aiff_file *file = aiff_open(path.c_str());
    ASSERT_NE(file, nullptr);
    struct format_case {
        int channels;
        double rate;
        int bits;
    } refused[] = {
        {2, 44100, 8}, {2, 44100, 20},  {2, 44100, 0},    {0, 44100, 16},
        {2, 0, 16},    {2, -44100, 16}, {2, 44100.5, 16}, {2, 1e12, 16},
    };
    for (const format_case &c : refused)
        EXPECT_EQ(aiff_set_format(file, c.channels, c.rate, c.bits), 0)
            << c.channels << " " << c.rate << " " << c.bits;
    // Nothing before the format.
    const int32_t frame[] = {1 << 16, 2 << 16};
    EXPECT_EQ(aiff_set_name(file, "early"), 0);
    EXPECT_EQ(aiff_set_annotation(file, "early"), 0);
    EXPECT_EQ(aiff_start_samples(file), 0);
    EXPECT_EQ(aiff_write_samples32(file, frame, 2), 0);
    // A refused format leaves the file open for a good one, which holds.
    EXPECT_EQ(aiff_set_format(file, 2, 32000, 24), 1);
    EXPECT_EQ(aiff_set_format(file, 1, 44100, 16), 0);
    aiff_close(file);

    read_back got = read_aiff(path);
    EXPECT_EQ(got.info.format, SF_FORMAT_AIFF | SF_FORMAT_PCM_24);
    EXPECT_EQ(got.info.channels, 2);
    EXPECT_EQ(got.info.samplerate, 32000);
    EXPECT_EQ(got.info.frames, 0);
}

TEST(AiffWriterTest, StepsOutOfTurnFailAndLeaveTheFileIntact) {
    temp_dir dir;
    std::string path = dir.file("turns.aiff");
    const int32_t frames[] = {1 << 16, 2 << 16, 3 << 16, 4 << 16};
    aiff_file *file = aiff_open(path.c_str());
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(aiff_set_format(file, 2, 44100, 16), 1);
    EXPECT_EQ(aiff_set_name(file, nullptr), 0);
    EXPECT_EQ(aiff_set_annotation(file, nullptr), 0);
    EXPECT_EQ(aiff_write_samples32(file, frames, 2), 0); // before the start
    EXPECT_EQ(aiff_start_samples(file), 1);
    EXPECT_EQ(aiff_start_samples(file), 0);
    EXPECT_EQ(aiff_set_name(file, "late"), 0);
    EXPECT_EQ(aiff_set_annotation(file, "late"), 0);
    EXPECT_EQ(aiff_write_samples32(file, frames, 3), 0); // one and a half frames
    EXPECT_EQ(aiff_write_samples32(file, frames, 0), 1);
    EXPECT_EQ(aiff_write_samples32(file, frames, 4), 1);
    aiff_end_samples(file);
    EXPECT_EQ(aiff_write_samples32(file, frames, 2), 0); // after the end
    aiff_close(file);

    // Null handles are refused, not followed.
    EXPECT_EQ(aiff_set_format(nullptr, 2, 44100, 16), 0);
    EXPECT_EQ(aiff_set_name(nullptr, "x"), 0);
    EXPECT_EQ(aiff_start_samples(nullptr), 0);
    EXPECT_EQ(aiff_write_samples32(nullptr, frames, 2), 0);
    aiff_end_samples(nullptr);
    aiff_close(nullptr);

    std::string bytes = read_file(path);
    EXPECT_EQ(aiff_chunk(bytes, "NAME"), std::nullopt);
    EXPECT_EQ(aiff_chunk(bytes, "ANNO"), std::nullopt);
    read_back got = read_aiff(path);
    EXPECT_EQ(got.samples, (std::vector<int>{1 << 16, 2 << 16, 3 << 16, 4 << 16}));
}

} // namespace
