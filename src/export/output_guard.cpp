#include "export/output_guard.h"

#include <sys/stat.h>

#include "console/log.h"
#include "playback/module_state.h"

int output_is_module_file(const char *path) {
    if (module_path == nullptr)
        return 0;
    struct stat output;
    struct stat module;
    if (stat(path, &output) != 0 || stat(module_path, &module) != 0)
        return 0;
    if (output.st_dev != module.st_dev || output.st_ino != module.st_ino)
        return 0;
    log_error("CAN'T export onto the module file itself (\"%s\")\n", path);
    return 1;
}
