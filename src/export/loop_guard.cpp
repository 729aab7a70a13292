#include "export/loop_guard.h"

#include "console/log.h"
#include "settings/render_options.h"

int export_loop_is_endless() {
    if (loop_count >= 0)
        return 0;
    log_error("CAN'T export an endless loop\n");
    return 1;
}
