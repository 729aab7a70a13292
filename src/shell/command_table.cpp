#include "shell/command_table.h"

#include <cstdio>
#include <cstring>

#include "console/version.h"
#include "export/export_menu.h"
#include "export/song_text.h"
#include "library/directory_listing.h"
#include "library/playlist_menu.h"
#include "playback/module_loader.h"
#include "playback/pattern_display.h"
#include "playback/play_loop.h"
#include "settings/advanced_dialogue.h"
#include "shell/render_commands.h"
#include "shell/shell_commands.h"
#include "tables/info_table.h"
#include "tables/settings_tables.h"

namespace {

void run_info(const char *) {
    show_info_table();
}
void run_play(const char *) {
    play_interactive();
}
void run_version(const char *) {
    print_version();
}
// 0: to the screen through the pager.
void run_instruments(const char *) {
    list_instrument_names(0);
}
void run_samples(const char *) {
    list_sample_names(0);
}

} // namespace

const command_entry command_table[] = {
    {"open", 0, open_command},
    {"load", 0, open_command},
    {"config", 0, show_config_table},
    {"help", 0, show_help},
    {"?", 0, show_help},
    {"volume", 0, cmd_volume},
    {"display", 1, show_pattern_display},
    {"samplerate", 0, cmd_samplerate},
    {"resampling", 0, cmd_resampling},
    {"channels", 0, cmd_channels},
    {"goto", 1, cmd_goto},
    {"chdir", 0, cmd_chdir},
    {"cd", 0, cmd_chdir},
    {"quit", 0, cmd_quit},
    {"exit", 0, cmd_quit},
    {"info", 1, run_info},
    {"play", 1, run_play},
    {"position", 1, show_position},
    {"noise", 0, cmd_noise},
    {"reverb", 0, cmd_reverb},
    {"megabass", 0, cmd_megabass},
    {"surround", 0, cmd_surround},
    {"reset", 0, cmd_reset},
    {"loadconfig", 0, cmd_loadconfig},
    {"saveconfig", 0, cmd_saveconfig},
    {"list", 0, list_directory},
    {"ls", 0, list_directory},
    {"message", 1, show_message},
    {"instruments", 1, run_instruments},
    {"samples", 1, run_samples},
    {"export", 1, export_menu},
    {"advanced", 0, show_advanced_table},
    {"setadvanced", 0, cmd_setadvanced},
    {"playlist", 0, playlist_menu},
    {"exec", 0, cmd_exec},
    {"version", 0, run_version},
    {"loops", 0, cmd_loops},
    {"fadeout", 0, cmd_fadeout},
    {nullptr, 0, nullptr},
};

const command_entry *find_command(const char *name) {
    for (const command_entry *row = command_table; row->command_name != nullptr; ++row)
        if (std::strcmp(row->command_name, name) == 0)
            return row;
    return nullptr;
}

void show_help(const char *) {
    std::fputs("Commands available on interactive mode:\n"
               "\tquit\t\tconfig\t\tplay\n"
               "\tposition\tnoise\t\treverb\n"
               "\tmegabass\tsurround\treset\n"
               "\tloadconfig\tsaveconfig\tinfo\n"
               "\tlist / ls\tmessage\t\tsamples\n"
               "\tinstruments\texport\t\tadvanced\n"
               "\tsetadvanced\tplaylist\tvolume\n"
               "\tdisplay <X>-<Y>\tgoto <ORDER>\tsamplerate <F>\n"
               "\topen <FILE>\tvolume <V>\tsavemessage <FILE>\n"
               "\tresampling <M>\tchannels (1|2) \tcd <DIRECTORY>\n"
               "\texec <command>\tversion\n"
               "\n"
               "Hint: The '!' command prints the last executed command,\n"
               "      and the '!!' command (without quotes) runs it.\n",
               stdout);
}
