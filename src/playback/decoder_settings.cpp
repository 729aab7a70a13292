#include "playback/decoder_settings.h"

#include <libmodplug/modplug.h>

#include "playback/audio_output.h"
#include "settings/settings.h"

decoder_format loaded_format{DEFAULT_SAMPLE_RATE, 2, 16};

namespace {

// Keeps a setting from a damaged file inside the range the dialogue accepts, so the
// decoder only ever sees values the program itself could have set.
int clamp(int32_t value, int32_t lower, int32_t upper) {
    return value < lower ? lower : value > upper ? upper : value;
}

} // namespace

int32_t effective_sample_rate() {
    return is_offered_sample_rate(settings.sample_rate) ? settings.sample_rate
                                                        : DEFAULT_SAMPLE_RATE;
}

int32_t effective_channel_count() {
    return settings.channel_count == 1 ? 1 : 2;
}

decoder_format wanted_decoder_format() {
    return {effective_sample_rate(), effective_channel_count(), sample_bits == 32 ? 32 : 16};
}

void push_decoder_settings() {
    push_decoder_settings(wanted_decoder_format());
}

void push_decoder_settings(decoder_format format) {
    ModPlug_Settings decoder;
    // The record has no value for the stereo separation and the mixing channel limit:
    // they keep what the decoder has.
    ModPlug_GetSettings(&decoder);
    decoder.mFlags = settings.effect_flags & 31;
    decoder.mChannels = format.channels;
    decoder.mBits = format.bits;
    decoder.mFrequency = format.rate;
    decoder.mResamplingMode = settings.resampling_mode >= 0 && settings.resampling_mode <= 3
                                  ? settings.resampling_mode
                                  : MODPLUG_RESAMPLE_SPLINE;
    decoder.mReverbDepth = clamp(settings.reverb_depth, 0, 100);
    decoder.mReverbDelay = clamp(settings.reverb_delay, 40, 200);
    decoder.mBassAmount = clamp(settings.bass_amount, 0, 100);
    decoder.mBassRange = clamp(settings.bass_range, 10, 100);
    decoder.mSurroundDepth = clamp(settings.surround_depth, 0, 100);
    decoder.mSurroundDelay = clamp(settings.surround_delay, 5, 40);
    decoder.mLoopCount = 0; // the song is played once, never looped
    ModPlug_SetSettings(&decoder);
}
