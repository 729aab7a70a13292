#pragma once
// The one settings record: every sound, appearance and output choice of the program.

#include <cstdint>

/// Fourteen signed 32-bit fields; the settings file holds exactly these 56 bytes.
/// Values read from the file are taken as they stand, so every reader of a field must
/// be safe with any 32-bit value.
struct player_settings {
    int32_t sample_rate;     ///< output rate in Hz
    int32_t master_volume;   ///< decoder master volume, 1..768
    int32_t channel_count;   ///< 1 mono, 2 stereo
    int32_t effect_flags;    ///< EFFECT_* bits
    int32_t resampling_mode; ///< 0 nearest, 1 linear, 2 spline, 3 FIR filter
    int32_t reverb_depth;
    int32_t reverb_delay;
    int32_t bass_amount;
    int32_t bass_range;
    int32_t surround_depth;
    int32_t surround_delay;
    int32_t table_style;     ///< 0 classic, 1 strong, 2 boxed
    int32_t little_endian;   ///< byte order assumed for this machine: 1 little, 0 big
    int32_t verbosity_level; ///< informational output only when above 0
};
static_assert(sizeof(player_settings) == 56, "the settings file is the record's 56 bytes");

inline constexpr int32_t EFFECT_OVERSAMPLING = 1;
inline constexpr int32_t EFFECT_NOISE_REDUCTION = 2;
inline constexpr int32_t EFFECT_REVERB = 4;
inline constexpr int32_t EFFECT_MEGABASS = 8;
inline constexpr int32_t EFFECT_SURROUND = 16;

extern player_settings settings;

/// The sample rate of the settings when nothing else is asked for.
inline constexpr int32_t DEFAULT_SAMPLE_RATE = 44100;

/// 1 when rate is one of the sample rates the program offers (11025, 16000, 22050, 24000,
/// 32000, 44100 Hz), else 0.
int is_offered_sample_rate(int32_t rate);

/// 1 when record names a little-endian machine: every value but 0 does, so that a damaged
/// field is read one way by every reader of it.
inline int is_little_endian(const player_settings &record) {
    return record.little_endian != 0 ? 1 : 0;
}

/// Fills all fourteen fields of record with the built-in defaults.
void default_settings(player_settings &record);
