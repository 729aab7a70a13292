#include "app/startup.h"

#include <cstdlib>

#include "app/command_line.h"
#include "console/log.h"
#include "playback/module_loader.h"
#include "playback/module_state.h"
#include "settings/settings.h"
#include "settings/settings_file.h"
#include "tables/info_table.h"

void release_everything() { unload_module(); }

void run_startup() {
    if (startup.show_status && settings.verbosity_level > 0)
        print_version();
    if (startup.want_save)
        save_settings(settings);

    bool module_named = module_path != nullptr;
    if (module_named)
        load_module();

    if (!module_named || startup.want_shell)
        std::exit(0);

    if (module_path == nullptr) {
        log_error("file load: %s\n", module_load_failure());
        std::exit(4);
    }
    if (startup.show_status)
        show_info_table();
    unload_module();
    std::exit(0);
}
