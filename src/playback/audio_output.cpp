#include "playback/audio_output.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "playback/decoder_settings.h"
#include "playback/module_loader.h"
#include "playback/module_state.h"
#include "settings/settings.h"

ao_device *audio_device = nullptr;
int audio_active = 0;
uint64_t bytes_played = 0;
int sample_bits = 0;
unsigned char mix_buffer[MIX_BUFFER_SIZE];
const char *driver_name = nullptr;

namespace {

char open_failure[160];

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

void update_decoder_settings() {
    push_decoder_settings();
    reload_module();
    ModPlug_SetMasterVolume(loaded_module, static_cast<unsigned>(settings.master_volume < 1 ? 1
                                                                 : settings.master_volume > 768
                                                                     ? 768
                                                                     : settings.master_volume));
}

void apply_decoder_settings() {
    update_decoder_settings();
    module_rendering_starts();
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
    sample_bits = 16;
    update_decoder_settings();
    // The device takes what the decoder renders, also when a reload could not change it.
    ao_sample_format format{};
    format.bits = loaded_format.bits;
    format.rate = loaded_format.rate;
    format.channels = loaded_format.channels;
    format.byte_format = AO_FMT_NATIVE;
    format.matrix = nullptr;
    errno = 0;
    audio_device = ao_open_live(driver, &format, nullptr);
    if (audio_device == nullptr) {
        ao_info *info = ao_driver_info(driver);
        set_open_failure("%s: %s", info != nullptr ? info->short_name : "?", ao_error_text(errno));
        return 0;
    }
    module_rendering_starts();
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

const char *audio_open_failure() {
    return open_failure;
}
