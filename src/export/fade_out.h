#pragma once
// The fade at the end of an export, in one pass: the last seconds of the rendered audio
// are held back in a ring of bytes, and only when the song has ended are they faded and
// let go. Everything before them leaves the line untouched.

#include <cstddef>
#include <cstdint>
#include <memory>

/// Takes bytes leaving a fade line, oldest first; they are the sink's to change (a byte
/// swap in place, say) and are not looked at again. Returns 1 when it took them all.
using fade_sink = int (*)(void *context, unsigned char *bytes, size_t size);

/// Interleaved signed samples of 2 or 4 bytes in the machine's order, held back until the
/// end. Owns its ring from fade_open until it goes out of scope.
struct fade_line {
    std::unique_ptr<unsigned char[]> ring;
    size_t capacity = 0; ///< bytes held back at most: a whole number of frames
    size_t start = 0;    ///< where the oldest held byte is
    size_t fill = 0;     ///< bytes held
    int channels = 1;
    int sample_bytes = 2;
};

/// The frames the fade takes at rate Hz: fade_seconds of them, 0 without a fade.
size_t fade_frames_at(int32_t rate);

/// Makes line hold back frames frames of channels samples of sample_bytes (2 or 4) bytes;
/// with 0 frames every byte passes straight through. Without memory for the ring the
/// program ends (status 3).
void fade_open(fade_line &line, size_t frames, int channels, int sample_bytes);

/// Puts size bytes from chunk through the line: what no longer fits among the held-back
/// bytes goes to sink, oldest first (the chunk's own bytes may go straight from chunk).
/// Returns 1 when the sink took everything it was given, else 0.
int fade_push(fade_line &line, unsigned char *chunk, size_t size, fade_sink sink, void *context);

/// Fades the held-back bytes, the gain falling linearly from 1 at their first frame to 0
/// after their last, and gives them to sink; the line is empty afterwards. Returns 1 when
/// the sink took them all, else 0.
int fade_finish(fade_line &line, fade_sink sink, void *context);
