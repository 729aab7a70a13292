#include "export/aiff_export.h"

#include <cstdint>
#include <memory>

#include <libmodplug/modplug.h>

#include "console/log.h"
#include "console/program_exit.h"
#include "console/text.h"
#include "export/aiff_writer.h"
#include "export/output_guard.h"
#include "playback/audio_output.h"
#include "playback/decoder_settings.h"
#include "playback/module_loader.h"
#include "playback/module_state.h"
#include "settings/settings.h"

namespace {

constexpr int AIFF_CHUNK_BYTES = 65536;
constexpr int BYTES_PER_SAMPLE = 4;

// The one buffer every chunk is rendered into: nothing is allocated per chunk.
int32_t aiff_buffer[AIFF_CHUNK_BYTES / BYTES_PER_SAMPLE];

struct aiff_closer {
    void operator()(aiff_file *file) const { aiff_close(file); }
};
using open_aiff = std::unique_ptr<aiff_file, aiff_closer>;

// The message is changed in the decoder's own copy, over its whole length.
void carriage_returns_to_line_feeds(char *text) {
    for (; *text != '\0'; ++text)
        if (*text == '\r')
            *text = '\n';
}

int write_header(aiff_file *file, int bits) {
    if (!aiff_set_format(file, loaded_format.channels, loaded_format.rate, bits))
        return 0;
    const char *name = ModPlug_GetName(loaded_module);
    if (!aiff_set_name(file, name != nullptr ? name : ""))
        return 0;
    char *message = ModPlug_GetMessage(loaded_module);
    if (message != nullptr) {
        carriage_returns_to_line_feeds(message);
        if (!aiff_set_annotation(file, message))
            return 0;
    }
    return 1;
}

// A chunk of a size that is no whole number of samples ends the export, which still
// counts as done: what was written before it is a complete file.
int write_samples(aiff_file *file) {
    for (;;) {
        exit_if_signalled(); // a SIGINT or SIGTERM ends a long export between two chunks
        int got = ModPlug_Read(loaded_module, aiff_buffer, AIFF_CHUNK_BYTES);
        if (got <= 0)
            return 1;
        if (got % BYTES_PER_SAMPLE != 0) {
            log_error("read error!\n");
            return 1;
        }
        if (!aiff_write_samples32(file, aiff_buffer, static_cast<size_t>(got / BYTES_PER_SAMPLE)))
            return 0;
        if (stop_order > 0 && ModPlug_GetCurrentOrder(loaded_module) >= stop_order)
            return 1;
    }
}

} // namespace

int export_aiff(const char *path, int bits) {
    if (module_path == nullptr || path == nullptr)
        return 0;
    // Checked before anything is reloaded or opened, so the module's file stays intact.
    if (output_is_module_file(path) == 1)
        return 0;
    sample_bits = 32;
    if (!reload_module())
        return 0;
    // The format already matches, so this only sets the master volume.
    sample_bits = 32;
    apply_decoder_settings();
    log_info("Exporting audio as AIFF ('%s')\n", path);

    open_aiff file{aiff_open(path)};
    if (file == nullptr || !write_header(file.get(), bits))
        return 0;
    ModPlug_SeekOrder(loaded_module, static_cast<int>(start_order));
    if (!aiff_start_samples(file.get()) || !write_samples(file.get()))
        return 0;
    aiff_end_samples(file.get());
    file.reset();
    log_info("done\n");
    return 1;
}
