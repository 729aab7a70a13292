#include "playback/audio_output.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "playback/module_state.h"
#include "settings/settings.h"

ao_device *audio_device = nullptr;
int audio_active = 0;
uint64_t bytes_played = 0;
int sample_bits = 0;
unsigned char mix_buffer[MIX_BUFFER_SIZE];
const char *driver_name = nullptr;

namespace {

constexpr int32_t OFFERED_SAMPLE_RATES[] = {11025, 16000, 22050, 24000, 32000, 44100};
constexpr int32_t DEFAULT_SAMPLE_RATE = 44100;

char open_failure[160];

// Keeps a setting from a damaged file inside the range the dialogue accepts, so the
// decoder only ever sees values the program itself could have set.
int clamp(int32_t value, int32_t lower, int32_t upper) {
    return value < lower ? lower : value > upper ? upper : value;
}

[[gnu::format(printf, 1, 2)]] void set_open_failure(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(open_failure, sizeof open_failure, format, args);
    va_end(args);
}

const char *ao_error_text(int error_number) {
    switch (error_number) {
    case AO_ENODRIVER:
        return "no such driver";
    case AO_ENOTLIVE:
        return "not a live output driver (it writes files)";
    case AO_EBADOPTION:
        return "a driver option has a bad value";
    case AO_EOPENDEVICE:
        return "the device cannot be opened (no sound card, or the sound server is not running)";
    case AO_EBADFORMAT:
        return "the device does not take this sample format";
    default:
        return "the driver failed";
    }
}

} // namespace

int32_t effective_sample_rate() {
    for (int32_t rate : OFFERED_SAMPLE_RATES)
        if (settings.sample_rate == rate)
            return rate;
    return DEFAULT_SAMPLE_RATE;
}

int32_t effective_channel_count() { return settings.channel_count == 1 ? 1 : 2; }

void apply_decoder_settings() {
    ModPlug_Settings decoder;
    // The record has no value for the stereo separation and the mixing channel limit:
    // they keep what the decoder has.
    ModPlug_GetSettings(&decoder);
    decoder.mFlags = settings.effect_flags & 31;
    decoder.mChannels = effective_channel_count();
    decoder.mBits = sample_bits;
    decoder.mFrequency = effective_sample_rate();
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
    ModPlug_SetMasterVolume(loaded_module, static_cast<unsigned>(clamp(settings.master_volume, 1, 768)));
}

int open_audio_output() {
    int driver = driver_name != nullptr ? ao_driver_id(driver_name) : ao_default_driver_id();
    if (driver < 0) {
        if (driver_name != nullptr)
            set_open_failure("%s: no such libao driver", driver_name);
        else
            set_open_failure("no default libao driver could be found");
        return 0;
    }
    ao_sample_format format{};
    format.bits = 16;
    format.rate = effective_sample_rate();
    format.channels = effective_channel_count();
    format.byte_format = AO_FMT_NATIVE;
    format.matrix = nullptr;
    errno = 0;
    audio_device = ao_open_live(driver, &format, nullptr);
    if (audio_device == nullptr) {
        ao_info *info = ao_driver_info(driver);
        set_open_failure("%s: %s", info != nullptr ? info->short_name : "?", ao_error_text(errno));
        return 0;
    }
    sample_bits = format.bits;
    apply_decoder_settings();
    audio_active = 1;
    return 1;
}

void close_audio_output() {
    if (audio_active) {
        ao_close(audio_device);
        audio_active = 0;
    }
    ao_shutdown();
}

void play_chunk() {
    if (!audio_active)
        return;
    int rendered = ModPlug_Read(loaded_module, mix_buffer, MIX_BUFFER_SIZE);
    if (rendered > 0) {
        // Always the whole buffer; the tail of a short last chunk would still hold the
        // previous chunk's sound, so it is silenced.
        if (rendered < MIX_BUFFER_SIZE)
            std::memset(mix_buffer + rendered, 0, MIX_BUFFER_SIZE - rendered);
        ao_play(audio_device, reinterpret_cast<char *>(mix_buffer), MIX_BUFFER_SIZE);
        bytes_played += MIX_BUFFER_SIZE;
    } else {
        ao_close(audio_device);
        audio_active = 0;
    }
}

const char *audio_open_failure() { return open_failure; }
