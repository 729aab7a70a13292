// The settings file: arbitrary 56-byte records as $HOME/.marrowtideb (HOME is private),
// read by load_settings, then every consumer that prints or computes with them, down to
// the decoder and the WAVE header of an export of a tiny module.
//
// Input: the record (cut or padded with zeros to 56 bytes), then up to 8 bytes for
// bytes_played (host order) and one byte that picks sample_bits and the raw export flags.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "export/wave_export.h"
#include "fuzz_support.h"
#include "module_writer.h"
#include "playback/audio_output.h"
#include "playback/decoder_settings.h"
#include "playback/module_loader.h"
#include "playback/module_state.h"
#include "playback/play_loop.h"
#include "settings/settings.h"
#include "settings/settings_file.h"
#include "tables/info_table.h"
#include "tables/settings_tables.h"
#include "tiny_module.h"

namespace {

constexpr size_t RECORD_SIZE = sizeof(player_settings);
std::string settings_path;

bool offered_rate(int32_t rate) {
    for (int32_t offered : {11025, 16000, 22050, 24000, 32000, 44100})
        if (rate == offered)
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    fuzz_setup(argc, argv);
    default_settings(settings);
    settings_path = fuzz_home_dir() + "/.marrowtideb";
    module_description description;
    std::string error;
    const std::string module_file = fuzz_file_dir() + "/tiny.xm";
    require(parse_module_description(tiny_module_text, description, error));
    require(write_module_file(description, module_file));
    // Loaded once and kept: a change of the output format rebuilds it from the loaded bytes.
    module_path = strdup(module_file.c_str());
    module_path_owned = 1;
    load_module();
    require(module_path != nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    uint8_t record[RECORD_SIZE] = {};
    std::memcpy(record, data, size < RECORD_SIZE ? size : RECORD_SIZE);
    uint64_t played = 0;
    if (size > RECORD_SIZE)
        std::memcpy(&played, data + RECORD_SIZE,
                    size - RECORD_SIZE < sizeof played ? size - RECORD_SIZE : sizeof played);
    const uint8_t choice = size > RECORD_SIZE + sizeof played ? data[RECORD_SIZE + 8] : 0;

    write_file(settings_path, record, sizeof record);
    default_settings(settings);
    load_settings(settings);
    // A file of 56 bytes is taken as it stands.
    require(std::memcmp(&settings, record, sizeof record) == 0);

    show_config_table(nullptr);
    show_advanced_table(nullptr);
    show_info_table();

    const int bits_choices[] = {0, 16, 32, 8};
    sample_bits = bits_choices[choice % 4];
    require(offered_rate(effective_sample_rate()));
    const int32_t channels = effective_channel_count();
    require(channels == 1 || channels == 2);
    const decoder_format wanted = wanted_decoder_format();
    require(wanted.bits == (sample_bits == 32 ? 32 : 16));
    push_decoder_settings();

    // Applies the settings (reloading the module when the format changed), writes the
    // header with the record's byte order and renders the whole song.
    export_wav("/dev/null");
    require(sample_bits == 16);
    if ((choice & 4) != 0)
        export_raw_pcm("/dev/null", choice >> 3);

    bytes_played = played;
    const unsigned long long seconds = elapsed_seconds(2);
    require(seconds <= played / 2 / 11025);

    default_settings(settings);
    sample_bits = 16;
    bytes_played = 0;
    return 0;
}
