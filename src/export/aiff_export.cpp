#include "export/aiff_export.h"

#include <cstdint>
#include <cstring>

#include <libmodplug/modplug.h>

#include "console/log.h"
#include "console/program_exit.h"
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

// The message is changed in the decoder's own copy, over its whole length.
void carriage_returns_to_line_feeds(char *text) {
    for (; *text != '\0'; ++text)
        if (*text == '\r')
            *text = '\n';
}

// The writer stores a long text cut to what the readers take; the user hears of it.
void warn_if_cut(const char *what, const char *text) {
    size_t length = std::strlen(text);
    if (length > AIFF_TEXT_LIMIT)
        log_warning("the %s has %zu bytes; the AIFF file keeps its first %zu\n", what, length,
                    AIFF_TEXT_LIMIT);
}

int write_header(aiff_file *file, int bits) {
    if (!aiff_set_format(file, loaded_format.channels, loaded_format.rate, bits))
        return 0;
    const char *name = ModPlug_GetName(loaded_module);
    if (name == nullptr)
        name = "";
    if (!aiff_set_name(file, name))
        return 0;
    warn_if_cut("song name", name);
    char *message = ModPlug_GetMessage(loaded_module);
    if (message != nullptr) {
        carriage_returns_to_line_feeds(message);
        if (!aiff_set_annotation(file, message))
            return 0;
        warn_if_cut("song message", message);
    }
    return 1;
}

// A chunk of a size that is no whole number of samples ends the export, which still
// counts as done: what was written before it is a complete file. A recorded signal ends
// the samples after the last whole chunk, and the file is finished as at the song's end.
int write_samples(aiff_file *file) {
    for (;;) {
        if (exit_signal_number != 0)
            return 1;
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
    interrupt_recorder interrupts;
    sample_bits = 32;
    if (!reload_module())
        return 0;
    // The format already matches, so this only sets the master volume.
    sample_bits = 32;
    apply_decoder_settings();
    log_info("Exporting audio as AIFF ('%s')\n", path);

    aiff_file *file = aiff_open(path);
    if (file == nullptr) {
        log_system_error("open", path);
        return 0;
    }
    // The normal end and an interruption take the same way out: the samples are ended and
    // the file closed through the writer, and any failure is reported with its reason.
    bool written = write_header(file, bits) != 0;
    if (written) {
        ModPlug_SeekOrder(loaded_module, static_cast<int>(start_order));
        written = aiff_start_samples(file) && write_samples(file) && aiff_end_samples(file);
    }
    if (!written)
        log_system_error("write", path);
    bool closed = aiff_close(file) != 0;
    if (written && !closed)
        log_system_error("close", path);
    if (!written || !closed)
        return 0;
    if (exit_signal_number == 0)
        log_info("done\n");
    return 1;
}
