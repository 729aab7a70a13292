// The program's entry: help request, settings file, command line, then the start-up
// sequence, which ends the process.

#include <cstdlib>

#include "app/command_line.h"
#include "app/startup.h"
#include "console/console_input.h"
#include "console/program_exit.h"
#include "console/standard_descriptors.h"
#include "settings/settings.h"
#include "settings/settings_file.h"

int main(int argc, char **argv) {
    open_missing_standard_descriptors();
    if (is_help_request(argc, argv)) {
        print_usage(argv[0]);
        return 0;
    }
    exit_set_cleanup(release_everything);
    prepare_console_input();
    load_settings(settings);
    if (read_command_line(argc, argv) == COMMAND_LINE_VERSION) {
        print_version();
        return 0;
    }
    run_startup();
}
