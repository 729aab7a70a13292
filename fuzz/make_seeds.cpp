// make_seeds OUTPUT_DIR: writes the seed corpus of every fuzz target into
// OUTPUT_DIR/<target>/. The modules come from the test module writer; the playlists name
// the module seeds by their absolute paths, so they must be made where they are used.

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "module_writer.h"
#include "settings/settings.h"
#include "tiny_module.h"

namespace {

struct seed_module {
    const char *name;
    const char *text;
};

// A few small songs of each format: plain ones, messages, instruments, many channels,
// empty patterns, and the effects that move the song position.
const seed_module seed_modules[] = {
    {"mod_basic.mod", R"(format mod
name mod basic
channels 4
sample square 16 8 loop lead
sample saw 16 8 bass
pattern 0 16
note 0 0 C-4 1 C40
note 4 1 C-3 2 A04
note 8 0 G-4 1 037
note 12 1 === -
)"},
    {"mod_8ch.mod", R"(format mod
name eight channels
channels 8
samples 31
pattern 0 8
seq 0 0 1 1 C-4 D-4 E-4 F-4 G-4 A-4 B-4 C-5
seq 7 0 2 31 C-3 . G-3 .
pattern 1 8
note 0 5 C-5 9 F03
order 0 1 0
)"},
    {"mod_32ch_empty.mod", R"(format mod
name wide and empty
channels 32
sample triangle 8 16 loop pad
patterns 3
pattern 1
note 0 31 A-4 1
order 0 1 2 1 0
)"},
    {"mod_jumps.mod", R"(format mod
name jumps
channels 4
sample square 16 8 loop a
sample sine 16 8 b
pattern 0 16
note 0 0 C-4 1 E60
note 2 0 D-4 1 E63
note 4 1 C-3 2 304
note 6 1 G-3 2 446
note 8 2 C-4 1 902
note 15 3 --- - B02
pattern 1 4
note 0 0 E-4 2 D02
pattern 2 8
note 0 0 F-4 1 F01
order 0 1 2
)"},
    {"s3m_basic.s3m", R"(format s3m
name s3m basic
channels 4
speed 3
tempo 150
sample square 16 8 loop lead
sample noise 1 64 decay snare
pattern 0 16
note 0 0 C-4 1 v48 A04
note 4 1 C-5 2 T7D
note 8 0 E-4 1 D04
note 12 0 ^^^ -
)"},
    {"s3m_16ch.s3m", R"(format s3m
name sixteen channels
channels 16
samples 20
sample saw 32 4 loop c5=22050 fast
pattern 0 4
seq 15 0 1 21 C-4 E-4 G-4 C-5
seq 0 0 1 3 v10 C-2 C-3 C-4 C-5
)"},
    {"s3m_empty.s3m", R"(format s3m
name empty patterns
channels 8
sample sine 16 8 loop tone
patterns 4
pattern 2 16
note 0 3 A-4 1
order 0 2 1 3 2
)"},
    {"s3m_jumps.s3m", R"(format s3m
name s3m jumps
channels 4
sample square 16 8 loop a
pattern 0 16
note 0 0 C-4 1 SB0
note 3 0 D-4 1 SB2
note 5 1 C-5 1 Q03
note 7 1 G-4 1 O01
note 9 2 C-4 1 G04
note 15 3 --- - B01
pattern 1 8
note 0 0 E-4 1 C04
order 0 1
)"},
    {"xm_basic.xm", tiny_module_text},
    {"xm_instruments.xm", R"(format xm
name xm instruments
channels 6
sample square 32 8 loop vol=40 lead
sample triangle 32 8 loop pad
sample noise 1 128 decay hat
instrument 1 2 Lead and pad
instrument 3 Hat
pattern 0 16
note 0 0 C-4 1 v40 F03
note 2 1 E-4 1 v20 A04
note 4 2 C-6 2
note 8 0 === -
note 12 5 G-3 1 300
)"},
    {"xm_32ch.xm", R"(format xm
name thirty-two channels
channels 32
samples 12
instruments 12
pattern 0 8
seq 31 0 1 12 C-4 D-4 E-4 F-4 G-4 A-4 B-4 C-5
seq 0 0 2 1 C-3 . G-3 .
patterns 2 256
order 0 1 2 0
)"},
    {"xm_jumps.xm", R"(format xm
name xm jumps
channels 4
speed 2
sample saw 16 8 loop a
instrument 1 a
pattern 0 32
note 0 0 C-4 1 E60
note 3 0 D-4 1 E62
note 5 1 C-5 1 E93
note 7 1 G-4 1 901
note 9 2 C-4 1 B02
pattern 1 1
note 0 0 C-4 1 D00
pattern 2 4
note 0 0 C-4 1 F00
order 0 1 2 1
)"},
    {"it_samples.it", R"(format it
name it sample mode
channels 4
sample square 16 8 loop lead
sample saw 16 8 loop c5=16000 bass
pattern 0 16
note 0 0 C-5 1 v64 A03
note 4 1 C-4 2 T80
note 8 0 ~~~ -
note 12 1 ^^^ -
)"},
    {"it_message.it", R"(format it
name it message
channels 4
sample square 16 8 loop lead
sample triangle 16 8 loop pad
instrument 1 Lead
instrument 2 1 Pad
pattern 0 8
note 0 0 C-5 1
note 4 1 E-5 2 v32
message First line of the message
message second line\nthird line
message 
message a line that is rather long, longer than the eighty columns of the pager's screen, to be wrapped
)"},
    {"it_64ch.it", R"(format it
name sixty-four channels
channels 64
samples 8
instruments 8
pattern 0 4
seq 63 0 1 8 C-5 D-5 E-5 F-5
seq 0 0 1 1 C-4 C-4 C-4 C-4
patterns 2
order 0 1 2 1
message wide
)"},
    {"it_jumps.it", R"(format it
name it jumps
channels 4
sample sine 16 8 loop a
instrument 1 a
pattern 0 16
note 0 0 C-5 1 SB0
note 3 0 D-5 1 SB2
note 5 1 C-6 1 Q03
note 7 1 G-5 1 O01
note 9 2 C-5 1 C05
pattern 1 4
note 0 0 E-5 1 B00
pattern 2 4
order 0 1 2 1 0
)"},
};

std::string output_root;

[[noreturn]] void fail(const std::string &what) {
    std::fprintf(stderr, "make_seeds: %s\n", what.c_str());
    std::exit(1);
}

void make_dir(const std::string &path) {
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        fail("cannot create " + path);
}

void write_seed(const std::string &target, const std::string &name, const void *data, size_t size) {
    const std::string path = output_root + "/" + target + "/" + name;
    FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        fail("cannot write " + path);
}

void write_seed(const std::string &target, const std::string &name, const std::string &text) {
    write_seed(target, name, text.data(), text.size());
}

// The probe target's input: a byte for the claimed byte order, then the header bytes.
void write_probe_seed(const std::string &name, uint8_t order, const std::vector<uint8_t> &bytes) {
    std::vector<uint8_t> seed{order};
    seed.insert(seed.end(), bytes.begin(), bytes.end());
    write_seed("probe", name, seed.data(), seed.size());
}

// The settings target's input: the record, bytes_played, the choice byte.
void write_settings_seed(const std::string &name, const player_settings &record,
                         uint64_t played = 44100 * 4 * 61, uint8_t choice = 0) {
    std::vector<uint8_t> seed(sizeof record + sizeof played + 1);
    std::memcpy(seed.data(), &record, sizeof record);
    std::memcpy(seed.data() + sizeof record, &played, sizeof played);
    seed.back() = choice;
    write_seed("settings", name, seed.data(), seed.size());
}

std::vector<std::string> write_module_seeds() {
    std::vector<std::string> paths;
    for (const seed_module &seed : seed_modules) {
        module_description description;
        std::string error;
        if (!parse_module_description(seed.text, description, error))
            fail(std::string(seed.name) + ": " + error);
        const std::vector<uint8_t> bytes = write_module(description);
        write_seed("module", seed.name, bytes.data(), bytes.size());
        write_probe_seed(seed.name, 1, bytes);
        char absolute[PATH_MAX];
        const std::string path = output_root + "/module/" + seed.name;
        if (realpath(path.c_str(), absolute) == nullptr)
            fail("cannot resolve " + path);
        paths.push_back(absolute);
    }
    return paths;
}

void write_probe_extras() {
    const std::string xm = "Extended Module: ";
    std::vector<uint8_t> short_xm(xm.begin(), xm.end());
    short_xm.push_back(0);
    write_probe_seed("short_xm", 1, short_xm);
    write_probe_seed("impm", 1, {'I', 'M', 'P', 'M', 'x'});
    write_probe_seed("impm_big_endian", 0, {'M', 'P', 'M', 'I', 'x', 'y'});
    std::vector<uint8_t> scrm(49, ' ');
    std::memcpy(scrm.data() + 44, "SCRM", 4);
    write_probe_seed("scrm_unknown_order", 2, scrm);
    std::vector<uint8_t> mod(1085, 0);
    std::memcpy(mod.data() + 1080, "FLT8", 4);
    write_probe_seed("flt8", 1, mod);
    write_probe_seed("empty", 1, {});
}

void write_playlist_seeds(const std::vector<std::string> &modules) {
    std::string all;
    for (const std::string &path : modules)
        all += path + "\n";
    write_seed("playlist", "modules", all);
    write_seed("playlist", "directories", "/\n.\n..\n" + output_root + "/module\n/dev/null\n");
    write_seed("playlist", "crlf", modules[0] + "\r\n" + modules[1] + "\r\n");
    write_seed("playlist", "empty_line", modules[2] + "\n\n" + modules[3] + "\n");
    write_seed("playlist", "missing_first", "no such module.xm\n" + modules[4] + "\n");
    write_seed("playlist", "no_final_newline", modules[5] + "\n" + modules[6]);
    std::string repeated;
    for (int i = 0; i < 12; ++i)
        repeated += modules[static_cast<size_t>(i) % modules.size()] + "\n";
    write_seed("playlist", "twelve", repeated);
}

void write_settings_seeds() {
    player_settings record;
    default_settings(record);
    write_settings_seed("defaults", record);
    write_settings_seed("defaults_aiff_bits", record, 0, 1);
    write_settings_seed("defaults_raw", record, UINT64_MAX, 4 | (2 << 3));
    for (int32_t rate : {11025, 22050, 32000, 48000, 0, -1}) {
        default_settings(record);
        record.sample_rate = rate;
        record.channel_count = rate == 22050 ? 1 : 2;
        write_settings_seed("rate_" + std::to_string(rate), record);
    }
    default_settings(record);
    record.effect_flags = 31;
    record.resampling_mode = 3;
    record.table_style = 2;
    record.little_endian = 0;
    write_settings_seed("every_effect_big_endian", record, 1234567, 4 | (8 << 3));
    default_settings(record);
    record.effect_flags = -1;
    record.resampling_mode = 4;
    record.channel_count = 3;
    record.table_style = 3;
    record.little_endian = 2;
    record.verbosity_level = -1;
    write_settings_seed("out_of_range", record, 99);
    int32_t fields[14];
    for (int32_t &field : fields)
        field = INT32_MIN;
    std::memcpy(&record, fields, sizeof record);
    write_settings_seed("all_minimum", record, UINT64_MAX, 5);
    for (int32_t &field : fields)
        field = INT32_MAX;
    std::memcpy(&record, fields, sizeof record);
    write_settings_seed("all_maximum", record, 0, 2);
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <output directory>\n");
        return 1;
    }
    output_root = argv[1];
    make_dir(output_root);
    for (const char *target : {"probe", "playlist", "settings", "module"})
        make_dir(output_root + "/" + target);
    const std::vector<std::string> modules = write_module_seeds();
    write_probe_extras();
    write_playlist_seeds(modules);
    write_settings_seeds();
    return 0;
}
