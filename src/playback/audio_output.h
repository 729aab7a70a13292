#pragma once
// The live audio output: the libao device, the decoder settings pushed before playing,
// and one decoded chunk at a time.

#include <cstdint>

#include <ao/ao.h>

/// Bytes the decoder renders per chunk of playback.
inline constexpr int MIX_BUFFER_SIZE = 8192;

/// The open live device; valid while audio_active is 1.
extern ao_device *audio_device;
/// 1 from a successful open until the device is closed (song end, pause, stop, close).
extern int audio_active;
/// Bytes handed to the device since the current playback started.
extern uint64_t bytes_played;
/// Bits per sample asked of the decoder: 16 for playback, WAVE and raw, 32 for AIFF.
extern int sample_bits;
/// What the decoder renders into during playback.
extern unsigned char mix_buffer[MIX_BUFFER_SIZE];
/// libao short name of the driver chosen on the command line; null for libao's default.
extern const char *driver_name;

/// Pushes settings and sample_bits into the decoder and sets the loaded module's master
/// volume. When the output format differs from the one the module renders in, the module
/// is rebuilt from its kept bytes at the order it stands at (reload_module), since the
/// decoder takes a new format only at a load. Needs a loaded module. For a change that no
/// rendering follows at once (the shell's samplerate).
void update_decoder_settings();

/// update_decoder_settings for a caller that renders next (the exporters): from here on
/// the decoder's own order is the module's position.
void apply_decoder_settings();

/// Applies the decoder settings at 16 bits and opens the live device in the format the
/// module renders. libao must be initialised. Returns 1 when open, else 0.
int open_audio_output();

/// Closes the device if it is open, then shuts libao down.
void close_audio_output();

/// Plays one decoded chunk when the device is open; closes it when the song has ended.
void play_chunk();

/// Why the last open_audio_output failed, for "Error opening audio: %s\n": the driver's
/// short name and libao's reason.
const char *audio_open_failure();
