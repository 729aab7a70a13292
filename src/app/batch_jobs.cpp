#include "app/batch_jobs.h"

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "app/command_line.h"
#include "app/module_json.h"
#include "console/log.h"
#include "console/program_exit.h"
#include "export/aiff_export.h"
#include "export/output_guard.h"
#include "export/song_text.h"
#include "export/wave_export.h"
#include "playback/module_loader.h"

namespace {

// An export a signal stopped has finished its partial file; the job still did not
// complete.
[[noreturn]] void finish_export(bool succeeded) {
    unload_module();
    if (exit_signal_number != 0) {
        log_error("export interrupted\n");
        std::exit(2);
    }
    if (!succeeded) {
        log_error("export failed!\n");
        std::exit(2);
    }
    std::exit(0);
}

[[noreturn]] void run_batch_export() {
    // From here on a signal only stops the export, which then finishes its file; the job
    // reports the interruption itself.
    install_exit_signal_handler();
    const char *path = startup.output_path;
    switch (startup.export_kind) {
    case EXPORT_WAV:
        finish_export(export_wav(path) != 0);
    case EXPORT_AIFF:
        finish_export(export_aiff(path, startup.aiff_bits) != 0);
    case EXPORT_RAW:
    case EXPORT_RAW_BE:
    case EXPORT_RAW_LE:
        // The kind's value carries the byte-order bits the raw exporter reads.
        finish_export(export_raw_pcm(path, startup.export_kind) > 0);
    case EXPORT_IT:
        log_error("ModPlug compiled without 'save' support\n");
        finish_export(false);
    default:
        log_error("CAN'T guess format of <%s>\n", path);
        std::exit(2); // the module is not released first: nothing was started
    }
}

void write_name_list(const char *path, void (*list)(int fd, const char *file_name)) {
    if (output_is_module_file(path))
        return;
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        log_system_error("open", path);
        log_error("file creation error.\n");
        return;
    }
    list(fd, path);
    close(fd);
}

} // namespace

void run_batch_jobs() {
    if (startup.describe_module)
        run_describe_job();
    if (startup.output_path != nullptr)
        run_batch_export();
    if (startup.message_file != nullptr)
        save_message(startup.message_file);
    if (startup.sample_names_file != nullptr)
        write_name_list(startup.sample_names_file, write_sample_names);
    if (startup.instrument_names_file != nullptr)
        write_name_list(startup.instrument_names_file, write_instrument_names);
    if (startup.message_file != nullptr || startup.sample_names_file != nullptr ||
        startup.instrument_names_file != nullptr) {
        unload_module();
        std::exit(0);
    }
}
