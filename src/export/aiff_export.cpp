#include "export/aiff_export.h"

#include <cstdint>
#include <memory>

#include <libmodplug/modplug.h>

#include "console/log.h"
#include "console/program_exit.h"
#include "console/text.h"
#include "export/aiff_writer.h"
#include "export/fade_out.h"
#include "export/loop_guard.h"
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

// The decoder takes the 32-bit format only at a load, so the module is loaded again from
// its file; the information table a successful load prints is kept off the console.
void reload_at_32_bits() {
    char *copy = copy_string(module_path);
    if (copy == nullptr)
        exit_out_of_memory();
    unload_module();
    int32_t verbosity = settings.verbosity_level;
    settings.verbosity_level = 0;
    module_path = copy;
    module_path_owned = 1;
    load_module();
    settings.verbosity_level = verbosity;
}

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

int write_to_file(void *file, unsigned char *bytes, size_t size) {
    return aiff_write_samples32(static_cast<aiff_file *>(file),
                                reinterpret_cast<const int32_t *>(bytes), size / BYTES_PER_SAMPLE);
}

// A chunk of a size that is no whole number of samples ends the export, which still
// counts as done: what was written before it is a complete file.
int render_chunks(aiff_file *file, fade_line &fade) {
    for (;;) {
        exit_if_signalled(); // a SIGINT or SIGTERM ends a long export between two chunks
        int got = ModPlug_Read(loaded_module, aiff_buffer, AIFF_CHUNK_BYTES);
        if (got <= 0)
            return 1;
        if (got % BYTES_PER_SAMPLE != 0) {
            log_error("read error!\n");
            return 1;
        }
        auto *bytes = reinterpret_cast<unsigned char *>(aiff_buffer);
        if (!fade_push(fade, bytes, static_cast<size_t>(got), write_to_file, file))
            return 0;
        if (stop_order > 0 && ModPlug_GetCurrentOrder(loaded_module) >= stop_order)
            return 1;
    }
}

// Every chunk goes through the fade, which lets the song's last seconds go at the end.
int write_samples(aiff_file *file) {
    fade_line fade;
    fade_open(fade, fade_frames_at(loaded_format.rate), loaded_format.channels, BYTES_PER_SAMPLE);
    return render_chunks(file, fade) && fade_finish(fade, write_to_file, file);
}

} // namespace

int export_aiff(const char *path, int bits) {
    if (module_path == nullptr || path == nullptr)
        return 0;
    // Checked before anything is reloaded or opened, so the module's file stays intact.
    if (export_loop_is_endless() || output_is_module_file(path) == 1)
        return 0;
    sample_bits = 32;
    reload_at_32_bits();
    if (module_path == nullptr)
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
