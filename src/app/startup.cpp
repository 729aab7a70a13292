#include "app/startup.h"

#include <cstdio>
#include <cstdlib>

#include "app/batch_jobs.h"
#include "app/command_line.h"
#include "console/log.h"
#include "console/program_exit.h"
#include "playback/audio_output.h"
#include "playback/module_loader.h"
#include "playback/module_state.h"
#include "playback/play_loop.h"
#include "settings/settings.h"
#include "settings/settings_file.h"
#include "shell/shell_loop.h"
#include "tables/info_table.h"

void release_everything() {
    if (audio_active)
        close_audio_output();
    unload_module();
}

void play_until_end() {
    do {
        play_chunk();
        exit_if_signalled();
    } while (audio_active);
    close_audio_output();
}

void run_startup() {
    bool module_named = module_path != nullptr;
    // A description on standard output must be all there is: no banner, no table and no
    // messages there (the loader's errors still reach standard error).
    bool describe_only = startup.describe_module && module_named && !startup.want_shell;
    if (startup.show_status && settings.verbosity_level > 0 && !describe_only)
        print_version();
    if (startup.want_save)
        save_settings(settings);
    if (describe_only)
        settings.verbosity_level = 0;

    if (module_named) {
        load_module();
        if (module_path != nullptr && !startup.want_shell)
            run_batch_jobs();
    }

    install_exit_signal_handler();

    if (!module_named || startup.want_shell) {
        log_info("Launching the command interpreter...\n");
        log_info("Type 'help' and <ENTER> to get a list of available commands.\n");
        log_info("Configure the advanced features with the 'setadvanced' command.\n");
        shell_loop();
    }

    if (module_path == nullptr) {
        log_error("file load: %s\n", module_load_failure());
        std::exit(4);
    }
    if (startup.show_status) {
        show_info_table();
        play_interactive();
    } else {
        play_with_callback(play_until_end);
    }
    unload_module();
    std::fflush(stdout);
    std::exit(0);
}
