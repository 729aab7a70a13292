#include "settings/settings.h"

player_settings settings;

void default_settings(player_settings &record) {
    record = player_settings{
        .sample_rate = 44100,
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
