#include "shell/shell_commands.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <unistd.h>

#include "console/log.h"
#include "console/text.h"
#include "playback/audio_output.h"
#include "playback/module_loader.h"
#include "playback/module_state.h"
#include "settings/settings.h"
#include "settings/settings_file.h"

namespace {

constexpr const char *RESAMPLING_USAGE =
    "usage: resampling (NO_INTERPOLATE|LINEAR|SPLINE|FIR_FILTER)\n";

bool missing(const char *argument) {
    return argument == nullptr || argument[0] == '\0';
}

void toggle_effect(int32_t bit) {
    settings.effect_flags ^= bit;
}

} // namespace

void cmd_volume(const char *argument) {
    if (missing(argument)) {
        std::printf("volume: %u\n", static_cast<uint32_t>(settings.master_volume));
        return;
    }
    uint32_t volume = text_to_uint(argument);
    if (volume > 768)
        volume = 768; // also every negative number, read as a huge unsigned one
    if (volume == 0)
        volume = 1;
    settings.master_volume = static_cast<int32_t>(volume);
}

void cmd_samplerate(const char *argument) {
    if (missing(argument)) {
        std::fputs("usage: samplerate <rate>\n", stderr);
        return;
    }
    // Cut to 32 bits and read signed, as the warning shows it: no huge value can match.
    auto rate = static_cast<int32_t>(text_to_uint(argument));
    if (is_offered_sample_rate(rate)) {
        settings.sample_rate = rate;
        if (module_path != nullptr)
            update_decoder_settings();
        return;
    }
    log_warning("invalid sampling rate -- %d. not changing.\n", rate);
}

void cmd_resampling(const char *argument) {
    if (missing(argument)) {
        std::fputs(RESAMPLING_USAGE, stderr);
        return;
    }
    struct mode_name {
        const char *name;
        bool any_case;
        int32_t mode;
    };
    static constexpr mode_name MODES[] = {
        {"NO_INTERPOLATE", true, 0}, {"RESAMPLE", false, 0},  {"LINEAR", true, 1},
        {"SPLINE", true, 2},         {"FIR_FILTER", true, 3},
    };
    for (const mode_name &row : MODES) {
        bool same = row.any_case ? strcasecmp(argument, row.name) == 0
                                 : std::strcmp(argument, row.name) == 0;
        if (same) {
            settings.resampling_mode = row.mode;
            return;
        }
    }
    std::fputs(RESAMPLING_USAGE, stderr);
}

void cmd_channels(const char *argument) {
    if (missing(argument)) {
        std::fputs("usage: channels (1|2)\n", stderr);
        return;
    }
    settings.channel_count = argument[0] == '1' ? 1 : 2;
}

void cmd_goto(const char *argument) {
    int32_t order = missing(argument) ? -1 : text_to_int(argument);
    if (order < 0) {
        std::fputs("usage: goto <order>\n", stderr);
        return;
    }
    seek_module_order(order);
}

void cmd_chdir(const char *argument) {
    const char *directory = missing(argument) ? std::getenv("HOME") : argument;
    // A failed change is not reported: the next prompt shows where the shell is.
    if (directory != nullptr) {
        [[maybe_unused]] int ignored = chdir(directory);
    }
}

void cmd_quit(const char *) {
    std::fflush(stdout);
    std::exit(0);
}

void cmd_noise(const char *) {
    toggle_effect(EFFECT_NOISE_REDUCTION);
}
void cmd_reverb(const char *) {
    toggle_effect(EFFECT_REVERB);
}
void cmd_megabass(const char *) {
    toggle_effect(EFFECT_MEGABASS);
}
void cmd_surround(const char *) {
    toggle_effect(EFFECT_SURROUND);
}

void cmd_reset(const char *) {
    default_settings(settings);
}
void cmd_loadconfig(const char *) {
    load_settings(settings);
}
void cmd_saveconfig(const char *) {
    save_settings(settings);
}

void cmd_exec(const char *argument) {
    if (missing(argument)) {
        std::fputs("usage: exec <system command>\n", stderr);
        return;
    }
    std::fflush(stdout);
    [[maybe_unused]] int status = std::system(argument);
}
