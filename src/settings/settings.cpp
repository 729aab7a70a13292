#include "settings/settings.h"

player_settings settings;

namespace {
constexpr int32_t OFFERED_SAMPLE_RATES[] = {11025, 16000, 22050, 24000, 32000, 44100};
}

int is_offered_sample_rate(int32_t rate) {
    for (int32_t offered : OFFERED_SAMPLE_RATES)
        if (rate == offered)
            return 1;
    return 0;
}

void default_settings(player_settings &record) {
    record = player_settings{
        .sample_rate = DEFAULT_SAMPLE_RATE,
        .master_volume = 128,
        .channel_count = 2,
        .effect_flags = EFFECT_OVERSAMPLING,
        .resampling_mode = 2,
        .reverb_depth = 20,
        .reverb_delay = 60,
        .bass_amount = 40,
        .bass_range = 50,
        .surround_depth = 50,
        .surround_delay = 20,
        .table_style = 0,
        .little_endian = 1,
        .verbosity_level = 1,
    };
}
