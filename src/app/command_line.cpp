#include "app/command_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "console/text.h"
#include "playback/audio_output.h"
#include "playback/module_state.h"
#include "settings/settings.h"
#include "settings/settings_file.h"

startup_choices startup;

namespace {

// The first line names the program; it is printed with its own format.
constexpr const char *USAGE_OPTIONS =
    "\n"
    "Options\n"
    "-V : print the Marrowtide version and exit.\n"
    "-i : Interactive mode (this is the default mode\n"
    "     when no module file is given on command line.\n"
    "-q : Quiet; Do not print the status bar.\n"
    "-a <pos> : Start playback/export at order position <pos>.\n"
    "-z <pos> : End playback/export at order position <pos>.\n"
    "-o <output file> : Export loaded module to <output file>.\n"
    "-f <output format> : Select a format to export loaded module.\n"
    "                     Available formats:\n"
    "                     it, wav, aiff, s16se, s16le, s16be\n";

constexpr const char *USAGE_FILES =
    "-d : Use the default config scheme.\n"
    "-w : Save the current config scheme.\n"
    "-m <output file> : Export module text message to <output file>.\n"
    "-s <output file> : Export module samplenames to <output file>.\n"
    "-I <output file> : Export module instrumentnames to <output file>.\n";

constexpr const char *USAGE_AUDIO =
    "Audio options:\n"
    "-v <level> : Volume level (1-512)\n"
    "-c <channels> : N. of channels. Possible values\n"
    "                1 = mono ; 2 = stereo\n"
    "-O <driver> : audio driver\n"
    "              alsa09, alsa, oss, sun, macosx, arts, irix, esd, null\n"
    "-r <rate> : Sampling rate in Hz. Available values:\n"
    "            11025, 16000, 22050, 24000, 32000, 44100\n"
    "-M <mode> : Resampling mode. Available modes:\n"
    "            NO_INTERPOLATE, LINEAR, SPLINE, FIR_FILTER\n"
    "+N,+R,+B,+S : Enable Noise Reduction, reverb, megabass\n"
    "              & surround.\n"
    "-N,-R,-B,-S : Disable Noise Reduction, reverb, megabass\n"
    "              & surround.\n";

struct format_name {
    const char *name;
    int kind;
    int aiff_bits; ///< 0 leaves aiff_bits alone
};

constexpr format_name EXPORT_FORMATS[] = {
    {"it", EXPORT_IT, 0},        {"wav", EXPORT_WAV, 0},       {"aiff16", EXPORT_AIFF, 16},
    {"aiff24", EXPORT_AIFF, 24}, {"s16se", EXPORT_RAW, 0},     {"s16le", EXPORT_RAW_LE, 0},
    {"s16be", EXPORT_RAW_BE, 0}, {nullptr, EXPORT_UNKNOWN, 0},
};

constexpr format_name EXPORT_EXTENSIONS[] = {
    {".it", EXPORT_IT, 0},        {".wav", EXPORT_WAV, 0}, {".aiff", EXPORT_AIFF, 16},
    {".aif", EXPORT_AIFF, 16},    {".pcm", EXPORT_RAW, 0}, {".raw", EXPORT_RAW_LE, 0},
    {nullptr, EXPORT_UNKNOWN, 0},
};

void choose_format(const format_name &format) {
    startup.export_kind = format.kind;
    if (format.aiff_bits != 0)
        startup.aiff_bits = format.aiff_bits;
}

// The extension runs from the last '.' of the whole path, also one inside a directory
// name; a path without any '.' leaves the kind as it was.
void kind_from_output_path(const char *path) {
    const char *dot = std::strrchr(path, '.');
    if (dot == nullptr)
        return;
    for (const format_name *row = EXPORT_EXTENSIONS; row->name != nullptr; ++row) {
        if (strcasecmp(dot, row->name) == 0) {
            choose_format(*row);
            return;
        }
    }
    startup.export_kind = EXPORT_UNKNOWN;
}

void kind_from_format_name(const char *name) {
    for (const format_name *row = EXPORT_FORMATS; row->name != nullptr; ++row) {
        if (std::strcmp(name, row->name) == 0) {
            choose_format(*row);
            return;
        }
    }
    std::fprintf(stderr, "Invalid format -- %s\n", name);
}

void set_effect(char sign, int32_t bit) {
    if (sign == '+')
        settings.effect_flags |= bit;
    else
        settings.effect_flags &= ~bit;
}

// Each option handler gets the option's sign ('-' or '+') and its argument word (null
// for options without one).
using option_handler = void (*)(char sign, const char *argument);

void option_shell(char, const char *) {
    startup.want_shell = 1;
}

void option_quiet(char, const char *) {
    // Each -q lowers the level once more, also below 0.
    settings.verbosity_level -= 1;
    startup.show_status = 0;
}

void option_defaults(char, const char *) {
    default_settings(settings);
}
void option_save(char, const char *) {
    startup.want_save = 1;
}

void option_start(char, const char *argument) {
    int32_t position = text_to_int(argument);
    start_order = position < 1 ? 0 : static_cast<uint32_t>(position);
}

void option_stop(char, const char *argument) {
    int32_t position = text_to_int(argument);
    // Compared with the start as it stands now: a later -a is not compared.
    stop_order = static_cast<int64_t>(position) > static_cast<int64_t>(start_order) ? position : -1;
}

void option_output(char, const char *argument) {
    startup.output_path = argument;
    kind_from_output_path(argument);
}

void option_format(char, const char *argument) {
    kind_from_format_name(argument);
}
void option_message(char, const char *argument) {
    startup.message_file = argument;
}
void option_samples(char, const char *argument) {
    startup.sample_names_file = argument;
}
void option_instruments(char, const char *argument) {
    startup.instrument_names_file = argument;
}
void option_describe(char, const char *) {
    startup.describe_module = 1;
}

void option_volume(char, const char *argument) {
    auto level = static_cast<uint32_t>(std::strtol(argument, nullptr, 10));
    if (level == 0)
        level = 1;
    else if (level >= 768)
        level = 768; // also every negative level, read as unsigned
    settings.master_volume = static_cast<int32_t>(level);
}

void option_channels(char, const char *argument) {
    settings.channel_count = text_to_int(argument) < 2 ? 1 : 2;
}

void option_driver(char, const char *argument) {
    driver_name = argument;
}

void option_rate(char, const char *argument) {
    int32_t rate = text_to_int(argument);
    settings.sample_rate = is_offered_sample_rate(rate) ? rate : DEFAULT_SAMPLE_RATE;
}

void option_resampling(char, const char *argument) {
    struct mode_name {
        const char *name;
        int32_t mode;
    };
    static constexpr mode_name MODES[] = {
        {"NO_INTERPOLATE", 0}, {"RESAMPLE", 0}, {"LINEAR", 1}, {"SPLINE", 2}, {"FIR_FILTER", 3},
    };
    for (const mode_name &row : MODES)
        if (std::strcmp(argument, row.name) == 0)
            settings.resampling_mode = row.mode;
}

void option_noise(char sign, const char *) {
    set_effect(sign, EFFECT_NOISE_REDUCTION);
}
void option_reverb(char sign, const char *) {
    set_effect(sign, EFFECT_REVERB);
}
void option_megabass(char sign, const char *) {
    set_effect(sign, EFFECT_MEGABASS);
}
void option_surround(char sign, const char *) {
    set_effect(sign, EFFECT_SURROUND);
}

struct option_entry {
    char letter;
    int plus_allowed; ///< 1 when the option also exists with '+'
    int takes_argument;
    option_handler handler; ///< null for -V, which read_command_line handles itself
};

constexpr char VERSION_LETTER = 'V';

constexpr option_entry OPTION_TABLE[] = {
    {'V', 0, 0, nullptr},         {'i', 0, 0, option_shell},      {'q', 0, 0, option_quiet},
    {'d', 0, 0, option_defaults}, {'w', 0, 0, option_save},       {'a', 0, 1, option_start},
    {'z', 0, 1, option_stop},     {'o', 0, 1, option_output},     {'f', 0, 1, option_format},
    {'m', 0, 1, option_message},  {'s', 0, 1, option_samples},    {'I', 0, 1, option_instruments},
    {'v', 0, 1, option_volume},   {'c', 0, 1, option_channels},   {'O', 0, 1, option_driver},
    {'r', 0, 1, option_rate},     {'M', 0, 1, option_resampling}, {'N', 1, 0, option_noise},
    {'R', 1, 0, option_reverb},   {'B', 1, 0, option_megabass},   {'S', 1, 0, option_surround},
    {'j', 0, 0, option_describe}, {'\0', 0, 0, nullptr},
};

const option_entry *find_option(const char *word) {
    char sign = word[0];
    char letter = word[1];
    if (letter == '\0')
        return nullptr;
    for (const option_entry *row = OPTION_TABLE; row->letter != '\0'; ++row)
        if (row->letter == letter && (sign == '-' || row->plus_allowed))
            return row;
    return nullptr;
}

} // namespace

int is_help_request(int argc, char **argv) {
    return argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0);
}

int read_command_line(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        char *word = argv[i];
        if (word[0] != '-' && word[0] != '+') {
            module_path = word;
            module_path_owned = 0;
            continue;
        }
        const option_entry *option = find_option(word);
        if (option == nullptr)
            continue;
        if (option->letter == VERSION_LETTER)
            return COMMAND_LINE_VERSION;
        const char *argument = nullptr;
        if (option->takes_argument) {
            if (i + 1 >= argc)
                break; // an option missing its argument does nothing
            argument = argv[++i];
        }
        option->handler(word[0], argument);
    }
    return COMMAND_LINE_DONE;
}

void print_usage(const char *program_name) {
    std::fprintf(stderr, "Usage: %s [<module file>] [<options>]\n", program_name);
    std::fputs(USAGE_OPTIONS, stderr);
    std::fputs(USAGE_FILES, stderr);
    std::fputs(USAGE_AUDIO, stderr);
}
