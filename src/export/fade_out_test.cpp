#include "export/fade_out.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "settings/render_options.h"

namespace {

// Everything the line lets go, in order.
struct recording {
    std::vector<unsigned char> bytes;
    int calls = 0;
    int fail_at_call = -1; ///< that call (counting from 0) reports failure
};

int record(void *context, unsigned char *bytes, size_t size) {
    auto *out = static_cast<recording *>(context);
    if (out->calls++ == out->fail_at_call)
        return 0;
    out->bytes.insert(out->bytes.end(), bytes, bytes + size);
    return 1;
}

template <typename sample> std::vector<sample> as_samples(const std::vector<unsigned char> &bytes) {
    std::vector<sample> samples(bytes.size() / sizeof(sample));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(sample));
    return samples;
}

// Loud samples of both signs that differ from frame to frame.
template <typename sample> std::vector<sample> test_signal(size_t count) {
    std::vector<sample> samples(count);
    int64_t peak = sizeof(sample) == 2 ? 30000 : 2000000000;
    for (size_t i = 0; i < count; ++i)
        samples[i] =
            static_cast<sample>((i % 2 == 0 ? peak : -peak) - static_cast<int64_t>(i % 97));
    return samples;
}

struct fade_case {
    size_t fade_frames;
    int channels;
    size_t frames;      // of the whole export
    size_t chunk_bytes; // as the exporter reads
};

template <typename sample> void check_case(const fade_case &c) {
    SCOPED_TRACE(::testing::Message()
                 << sizeof(sample) * 8 << "-bit, " << c.channels << " channels, fade "
                 << c.fade_frames << " of " << c.frames << " frames, chunks of " << c.chunk_bytes);
    std::vector<sample> input = test_signal<sample>(c.frames * static_cast<size_t>(c.channels));
    std::vector<unsigned char> bytes(input.size() * sizeof(sample));
    std::memcpy(bytes.data(), input.data(), bytes.size());

    fade_line line;
    fade_open(line, c.fade_frames, c.channels, sizeof(sample));
    recording out;
    for (size_t at = 0; at < bytes.size(); at += c.chunk_bytes) {
        size_t size = std::min(c.chunk_bytes, bytes.size() - at);
        // The exporter's buffer is rendered into again: the line must not keep pointing at it.
        std::vector<unsigned char> chunk(bytes.begin() + static_cast<ptrdiff_t>(at),
                                         bytes.begin() + static_cast<ptrdiff_t>(at + size));
        ASSERT_EQ(fade_push(line, chunk.data(), size, record, &out), 1);
        std::memset(chunk.data(), 0x55, chunk.size());
    }
    ASSERT_EQ(fade_finish(line, record, &out), 1);

    std::vector<sample> output = as_samples<sample>(out.bytes);
    ASSERT_EQ(output.size(), input.size());
    size_t faded = std::min(c.fade_frames, c.frames);
    size_t first = c.frames - faded;
    for (size_t frame = 0; frame < c.frames; ++frame) {
        for (int channel = 0; channel < c.channels; ++channel) {
            size_t i = frame * static_cast<size_t>(c.channels) + static_cast<size_t>(channel);
            if (frame < first) {
                ASSERT_EQ(output[i], input[i]) << "frame " << frame << " before the fade";
                continue;
            }
            // The gain falls from 1 at the fade's first frame to 0 after its last.
            double gain = static_cast<double>(faded - (frame - first)) / static_cast<double>(faded);
            ASSERT_NEAR(static_cast<double>(output[i]), input[i] * gain, 1.0)
                << "frame " << frame << " in the fade";
        }
    }
    if (faded > 0) {
        EXPECT_EQ(output[first * static_cast<size_t>(c.channels)], input[first * c.channels]);
        EXPECT_LE(std::abs(static_cast<double>(output.back())),
                  std::abs(static_cast<double>(input.back())) / static_cast<double>(faded) + 1);
    }
}

TEST(FadeOutTest, OnlyTheLastFramesFadeWhateverTheChunks) {
    const fade_case cases[] = {
        {0, 2, 5000, 20000},    // no fade: everything passes untouched
        {1000, 2, 5000, 20000}, // the fade inside the last chunk
        {1000, 2, 5000, 400},   // chunks much shorter than the fade: the ring wraps often
        {3000, 1, 5000, 1000},  {5000, 2, 5000, 20000}, // as long as the export
        {8000, 2, 5000, 4000},                          // longer than the export: all of it fades
        {7, 2, 5000, 6}, // a fade of a few frames, chunks that are not a power of two
    };
    for (const fade_case &c : cases) {
        check_case<int16_t>(c);
        check_case<int32_t>({c.fade_frames, c.channels, c.frames, c.chunk_bytes * 2});
    }
}

TEST(FadeOutTest, SinkFailureStopsTheLine) {
    std::vector<int16_t> input = test_signal<int16_t>(4000);
    fade_line line;
    fade_open(line, 500, 2, 2);
    recording out;
    out.fail_at_call = 0;
    auto *bytes = reinterpret_cast<unsigned char *>(input.data());
    // The first 500 frames are only held; the next chunk pushes some of them out.
    EXPECT_EQ(fade_push(line, bytes, 2000, record, &out), 1);
    EXPECT_EQ(out.calls, 0);
    EXPECT_EQ(fade_push(line, bytes + 2000, 2000, record, &out), 0);
    recording finish_out;
    finish_out.fail_at_call = 0;
    EXPECT_EQ(fade_finish(line, record, &finish_out), 0);
}

TEST(FadeOutTest, FramesFollowTheSecondsAndTheRate) {
    double saved = fade_seconds;
    set_fade_seconds(10);
    EXPECT_EQ(fade_frames_at(44100), 441000u);
    EXPECT_EQ(fade_frames_at(48000), 480000u);
    set_fade_seconds(0.5);
    EXPECT_EQ(fade_frames_at(11025), 5513u); // rounded to the nearest frame
    set_fade_seconds(0);
    EXPECT_EQ(fade_frames_at(44100), 0u);
    set_fade_seconds(-4);
    EXPECT_EQ(fade_seconds, 0.0);
    set_fade_seconds(MAX_FADE_SECONDS * 2);
    EXPECT_EQ(fade_seconds, MAX_FADE_SECONDS);
    fade_seconds = saved;
}

} // namespace
