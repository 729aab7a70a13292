#include "export/fade_out.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "console/program_exit.h"
#include "settings/render_options.h"

size_t fade_frames_at(int32_t rate) {
    if (rate <= 0 || fade_seconds <= 0)
        return 0;
    return static_cast<size_t>(std::llround(fade_seconds * rate));
}

void fade_open(fade_line &line, size_t frames, int channels, int sample_bytes) {
    line.channels = channels < 1 ? 1 : channels;
    line.sample_bytes = sample_bytes == 4 ? 4 : 2;
    line.capacity = frames * static_cast<size_t>(line.channels * line.sample_bytes);
    line.start = 0;
    line.fill = 0;
    line.ring.reset();
    if (line.capacity == 0)
        return;
    line.ring.reset(new (std::nothrow) unsigned char[line.capacity]);
    if (line.ring == nullptr)
        exit_out_of_memory();
}

namespace {

// Gives size held bytes from the oldest on to sink: the ring may wrap, so in two pieces.
int release_held(fade_line &line, size_t size, fade_sink sink, void *context) {
    while (size > 0) {
        size_t piece = std::min(size, line.capacity - line.start);
        if (!sink(context, line.ring.get() + line.start, piece))
            return 0;
        line.start = (line.start + piece) % line.capacity;
        line.fill -= piece;
        size -= piece;
    }
    return 1;
}

void hold(fade_line &line, const unsigned char *bytes, size_t size) {
    while (size > 0) {
        size_t end = (line.start + line.fill) % line.capacity;
        size_t piece = std::min(size, line.capacity - end);
        std::memcpy(line.ring.get() + end, bytes, piece);
        line.fill += piece;
        bytes += piece;
        size -= piece;
    }
}

template <typename sample> void fade_samples(fade_line &line) {
    size_t count = line.fill / sizeof(sample);
    auto channels = static_cast<size_t>(line.channels);
    auto frames = static_cast<int64_t>((count + channels - 1) / channels);
    for (size_t i = 0; i < count; ++i) {
        size_t at = (line.start + i * sizeof(sample)) % line.capacity;
        sample value;
        std::memcpy(&value, line.ring.get() + at, sizeof value);
        auto frame = static_cast<int64_t>(i / channels);
        value = static_cast<sample>(static_cast<int64_t>(value) * (frames - frame) / frames);
        std::memcpy(line.ring.get() + at, &value, sizeof value);
    }
}

} // namespace

int fade_push(fade_line &line, unsigned char *chunk, size_t size, fade_sink sink, void *context) {
    if (line.fill + size > line.capacity) {
        size_t leaving = line.fill + size - line.capacity;
        size_t from_ring = std::min(leaving, line.fill);
        if (!release_held(line, from_ring, sink, context))
            return 0;
        size_t from_chunk = leaving - from_ring;
        if (from_chunk > 0 && !sink(context, chunk, from_chunk))
            return 0;
        chunk += from_chunk;
        size -= from_chunk;
    }
    hold(line, chunk, size);
    return 1;
}

int fade_finish(fade_line &line, fade_sink sink, void *context) {
    if (line.fill == 0)
        return 1;
    if (line.sample_bytes == 4)
        fade_samples<int32_t>(line);
    else
        fade_samples<int16_t>(line);
    return release_held(line, line.fill, sink, context);
}
