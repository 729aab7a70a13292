#include "app/command_line.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "playback/audio_output.h"
#include "playback/module_state.h"
#include "settings/render_options.h"
#include "settings/settings.h"
#include "test_support.h"

namespace {

// Reads words as the command line after a fresh start with default settings.
struct parsed {
    int result;
    std::string err;
};

parsed parse(std::vector<std::string> words) {
    startup = startup_choices{};
    default_settings(settings);
    module_path = nullptr;
    module_path_owned = 0;
    start_order = 0;
    stop_order = -1;
    driver_name = nullptr;
    loop_count = 0;
    fade_seconds = 0;
    words.insert(words.begin(), "marrowtide");
    static std::vector<std::string> storage; // the words outlive the parse, as argv does
    storage = words;
    std::vector<char *> argv;
    for (std::string &word : storage)
        argv.push_back(word.data());
    parsed p{};
    p.err = capture_output([&] {
                p.result = read_command_line(static_cast<int>(argv.size()), argv.data());
            }).err;
    return p;
}

TEST(CommandLineTest, HelpRequestOnlyAlone) {
    struct help_case {
        std::vector<const char *> words;
        int expected;
    } cases[] = {
        {{"marrowtide", "-h"}, 1},
        {{"marrowtide", "--help"}, 1},
        {{"marrowtide", "-hx"}, 0},
        {{"marrowtide", "-h", "song.mod"}, 0},
        {{"marrowtide", "song.mod", "--help"}, 0},
        {{"marrowtide"}, 0},
    };
    for (auto &c : cases) {
        std::vector<char *> argv;
        for (const char *w : c.words)
            argv.push_back(const_cast<char *>(w));
        EXPECT_EQ(is_help_request(static_cast<int>(argv.size()), argv.data()), c.expected)
            << c.words.size() << " words, second " << (c.words.size() > 1 ? c.words[1] : "-");
    }
}

struct option_case {
    std::vector<std::string> words;
    std::function<void()> check;
};

TEST(CommandLineTest, OptionTable) {
    const option_case cases[] = {
        {{"-q"},
         [] {
             EXPECT_EQ(settings.verbosity_level, 0);
             EXPECT_EQ(startup.show_status, 0);
         }},
        {{"-q", "-quiet"}, [] { EXPECT_EQ(settings.verbosity_level, -1); }},
        {{"-i"}, [] { EXPECT_EQ(startup.want_shell, 1); }},
        {{"-w"}, [] { EXPECT_EQ(startup.want_save, 1); }},
        {{"-v", "0"}, [] { EXPECT_EQ(settings.master_volume, 1); }},
        {{"-v", "600"}, [] { EXPECT_EQ(settings.master_volume, 600); }},
        {{"-v", "767"}, [] { EXPECT_EQ(settings.master_volume, 767); }},
        {{"-v", "5000"}, [] { EXPECT_EQ(settings.master_volume, 768); }},
        {{"-v", "-1"}, [] { EXPECT_EQ(settings.master_volume, 768); }},
        {{"-verbose", "42"}, [] { EXPECT_EQ(settings.master_volume, 42); }},
        {{"-c", "0"}, [] { EXPECT_EQ(settings.channel_count, 1); }},
        {{"-c", "1"}, [] { EXPECT_EQ(settings.channel_count, 1); }},
        {{"-c", "7"}, [] { EXPECT_EQ(settings.channel_count, 2); }},
        {{"-r", "22050"}, [] { EXPECT_EQ(settings.sample_rate, 22050); }},
        {{"-r", "11025"}, [] { EXPECT_EQ(settings.sample_rate, 11025); }},
        {{"-r", "22050", "-r", "48000"}, [] { EXPECT_EQ(settings.sample_rate, 44100); }},
        {{"-M", "LINEAR"}, [] { EXPECT_EQ(settings.resampling_mode, 1); }},
        {{"-M", "NO_INTERPOLATE"}, [] { EXPECT_EQ(settings.resampling_mode, 0); }},
        {{"-M", "RESAMPLE"}, [] { EXPECT_EQ(settings.resampling_mode, 0); }},
        {{"-M", "FIR_FILTER"}, [] { EXPECT_EQ(settings.resampling_mode, 3); }},
        {{"-M", "linear"}, [] { EXPECT_EQ(settings.resampling_mode, 2); }},
        {{"+N", "+R", "+B", "+S"}, [] { EXPECT_EQ(settings.effect_flags, 1 | 2 | 4 | 8 | 16); }},
        {{"+R", "+B", "-R"}, [] { EXPECT_EQ(settings.effect_flags, 1 | 8); }},
        {{"+X", "-x", "-", "+", "+q"},
         [] {
             player_settings defaults;
             default_settings(defaults);
             EXPECT_EQ(std::memcmp(&settings, &defaults, sizeof defaults), 0);
             EXPECT_EQ(startup.show_status, 1);
         }},
        {{"-a", "7", "-z", "5"},
         [] {
             EXPECT_EQ(start_order, 7u);
             EXPECT_EQ(stop_order, -1);
         }},
        {{"-z", "5", "-a", "7"},
         [] {
             EXPECT_EQ(start_order, 7u);
             EXPECT_EQ(stop_order, 5);
         }},
        {{"-a", "-3", "-z", "2"},
         [] {
             EXPECT_EQ(start_order, 0u);
             EXPECT_EQ(stop_order, 2);
         }},
        {{"-z", "-4"}, [] { EXPECT_EQ(stop_order, -1); }},
        {{"-v", "300", "-d"}, [] { EXPECT_EQ(settings.master_volume, 128); }},
        {{"-d", "-v", "300"}, [] { EXPECT_EQ(settings.master_volume, 300); }},
        {{"-O", "null"}, [] { EXPECT_STREQ(driver_name, "null"); }},
        {{"-l", "1"}, [] { EXPECT_EQ(loop_count, 1); }},
        {{"-l", "-1"}, [] { EXPECT_EQ(loop_count, -1); }},
        {{"-l", "twice"}, [] { EXPECT_EQ(loop_count, 0); }},
        // Neither is part of the settings record, so -d leaves them.
        {{"-l", "2", "-F", "4", "-d"},
         [] {
             EXPECT_EQ(loop_count, 2);
             EXPECT_EQ(fade_seconds, 4.0);
         }},
        {{"-F", "2.5"}, [] { EXPECT_EQ(fade_seconds, 2.5); }},
        {{"-F", "-3"}, [] { EXPECT_EQ(fade_seconds, 0.0); }},
        {{"-F", "nan"}, [] { EXPECT_EQ(fade_seconds, 0.0); }},
        {{"-F", "1000"}, [] { EXPECT_EQ(fade_seconds, MAX_FADE_SECONDS); }},
        {{"+F", "5", "+l"},
         [] {
             EXPECT_EQ(fade_seconds, 0.0);
             EXPECT_EQ(loop_count, 0);
         }},
        {{"-m", "msg.txt", "-s", "s.txt", "-I", "i.txt"},
         [] {
             EXPECT_STREQ(startup.message_file, "msg.txt");
             EXPECT_STREQ(startup.sample_names_file, "s.txt");
             EXPECT_STREQ(startup.instrument_names_file, "i.txt");
         }},
        {{"one.mod", "two.xm"},
         [] {
             EXPECT_STREQ(module_path, "two.xm");
             EXPECT_EQ(module_path_owned, 0);
         }},
        // An argument is taken whatever it looks like; a missing one ends the reading.
        {{"-o", "-q"},
         [] {
             EXPECT_STREQ(startup.output_path, "-q");
             EXPECT_EQ(settings.verbosity_level, 1);
         }},
        {{"-q", "-v"},
         [] {
             EXPECT_EQ(settings.verbosity_level, 0);
             EXPECT_EQ(settings.master_volume, 128);
         }},
    };
    for (const option_case &c : cases) {
        std::string joined;
        for (const std::string &w : c.words)
            joined += w + " ";
        SCOPED_TRACE(joined);
        EXPECT_EQ(parse(c.words).result, COMMAND_LINE_DONE);
        c.check();
    }
}

TEST(CommandLineTest, VersionStopsReading) {
    parsed p = parse({"song.mod", "-V", "-q"});
    EXPECT_EQ(p.result, COMMAND_LINE_VERSION);
    EXPECT_STREQ(module_path, "song.mod");
    EXPECT_EQ(settings.verbosity_level, 1);
}

TEST(CommandLineTest, ExportKindRules) {
    struct kind_case {
        std::vector<std::string> words;
        int kind;
        int aiff_bits;
    } cases[] = {
        {{"-o", "out.wav"}, EXPORT_WAV, 16},
        {{"-o", "OUT.WAV"}, EXPORT_WAV, 16},
        {{"-o", "out.it"}, EXPORT_IT, 16},
        {{"-o", "out.aif"}, EXPORT_AIFF, 16},
        {{"-o", "out.pcm"}, EXPORT_RAW, 16},
        {{"-o", "out.raw"}, EXPORT_RAW_LE, 16},
        {{"-o", "out.mp2"}, EXPORT_UNKNOWN, 16},
        {{"-f", "wav", "-o", "out.mp2"}, EXPORT_UNKNOWN, 16},
        {{"-o", "out.mp2", "-f", "wav"}, EXPORT_WAV, 16},
        {{"-o", "out.flac"}, EXPORT_FLAC, 16},
        {{"-o", "out.Ogg"}, EXPORT_VORBIS, 16},
        {{"-o", "out.OGA"}, EXPORT_VORBIS, 16},
        {{"-o", "out.opus"}, EXPORT_OPUS, 16},
        {{"-f", "wav", "-o", "out.mp3"}, EXPORT_MP3, 16},
        {{"-o", "out.mp3", "-f", "wav"}, EXPORT_WAV, 16},
        {{"-f", "flac24", "-o", "out.FLAC"}, EXPORT_FLAC, 16},
        {{"-o", "out.flac", "-f", "flac24"}, EXPORT_FLAC24, 16},
        {{"-o", "out.wav", "-f", "flac"}, EXPORT_FLAC, 16},
        {{"-f", "vorbis"}, EXPORT_VORBIS, 16},
        {{"-f", "opus"}, EXPORT_OPUS, 16},
        {{"-f", "mp3"}, EXPORT_MP3, 16},
        {{"-f", "mp3", "-f", "Opus"}, EXPORT_MP3, 16},
        {{"-f", "wav", "-o", "../out"}, EXPORT_UNKNOWN, 16},
        {{"-f", "wav", "-o", "noextension"}, EXPORT_WAV, 16},
        {{"-f", "aiff24", "-o", "song.AIFF"}, EXPORT_AIFF, 16},
        {{"-o", "song.AIFF", "-f", "aiff24"}, EXPORT_AIFF, 24},
        {{"-f", "aiff16"}, EXPORT_AIFF, 16},
        {{"-f", "s16se"}, EXPORT_RAW, 16},
        {{"-f", "s16le"}, EXPORT_RAW_LE, 16},
        {{"-f", "s16be"}, EXPORT_RAW_BE, 16},
        {{"-f", "it"}, EXPORT_IT, 16},
        {{"-f", "WAV"}, EXPORT_UNKNOWN, 16},
        {{"-f", "wav", "-f", "aiff"}, EXPORT_WAV, 16},
    };
    for (const kind_case &c : cases) {
        SCOPED_TRACE(c.words.back());
        parse(c.words);
        EXPECT_EQ(startup.export_kind, c.kind);
        EXPECT_EQ(startup.aiff_bits, c.aiff_bits);
    }
}

TEST(CommandLineTest, InvalidFormatIsReportedPlainly) {
    parsed p = parse({"-f", "aiff"});
    EXPECT_EQ(p.err, "Invalid format -- aiff\n");
    EXPECT_EQ(parse({"-f", "wav"}).err, "");
}

TEST(CommandLineTest, UsageText) {
    std::string expected = "Usage: ./mt [<module file>] [<options>]\n"
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
                           "                     it, wav, aiff, s16se, s16le, s16be\n"
                           "-d : Use the default config scheme.\n"
                           "-w : Save the current config scheme.\n"
                           "-m <output file> : Export module text message to <output file>.\n"
                           "-s <output file> : Export module samplenames to <output file>.\n"
                           "-I <output file> : Export module instrumentnames to <output file>.\n"
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
    captured_output got = capture_output([] { print_usage("./mt"); });
    EXPECT_EQ(got.err, expected);
    EXPECT_EQ(got.out, "");
}

TEST(CommandLineTest, VersionLines) {
    EXPECT_EQ(capture_output([] { print_version(); }).out,
              "Marrowtide B5.1, September 2006\n"
              "compiled by root at Fri Oct 16 10:23:48 UTC 2026 on FreeBSD\n");
}

} // namespace
