#include "export/aiff_export.h"

#include <cstdint>
#include <cstring>

#include <libmodplug/modplug.h>
#include <sndfile.h>

#include "console/log.h"
#include "console/program_exit.h"
#include "console/text.h"
#include "export/fade_out.h"
#include "export/loop_guard.h"
#include "export/output_guard.h"
#include "export/sndfile_writer.h"
#include "export/song_text.h"
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

struct bits_format {
    int bits;
    int subtype;
};

constexpr bits_format BITS_FORMATS[] = {
    {16, SF_FORMAT_PCM_16},
    {24, SF_FORMAT_PCM_24},
    {32, SF_FORMAT_PCM_32},
    {0, 0},
};

// The file's format; any other depth gives a format libsndfile refuses, reported as such.
sound_file_format aiff_format(int bits) {
    const bits_format *row = BITS_FORMATS;
    while (row->bits != 0 && row->bits != bits)
        ++row;
    return {.sf_format = SF_FORMAT_AIFF | row->subtype,
            .channels = loaded_format.channels,
            .rate = loaded_format.rate,
            .compression = -1,
            .text_limit = AIFF_TEXT_LIMIT};
}

// The writer stores a long text cut to what the readers take; the user hears of it.
void warn_if_cut(const char *what, const char *text) {
    size_t length = text == nullptr ? 0 : std::strlen(text);
    if (length > AIFF_TEXT_LIMIT)
        log_warning("the %s has %zu bytes; the AIFF file keeps its first %zu\n", what, length,
                    AIFF_TEXT_LIMIT);
}

// Opens the file with the song name as NAME and the message, its line ends as line
// feeds, as ANNO. Once the file is open the decoder's own message holds the line feeds
// too. Returns null (reported) when the file cannot be opened.
sound_writer *open_file(const char *path, int bits) {
    const char *name = ModPlug_GetName(loaded_module);
    owned_text message = song_message_with_line_feeds();
    sound_writer *file = sound_writer_open(path, aiff_format(bits), name, message.get());
    if (file == nullptr)
        return nullptr;
    warn_if_cut("song name", name);
    if (message != nullptr) {
        std::memcpy(ModPlug_GetMessage(loaded_module), message.get(), std::strlen(message.get()));
        warn_if_cut("song message", message.get());
    }
    return file;
}

int write_to_file(void *file, unsigned char *bytes, size_t size) {
    return sound_writer_write32(static_cast<sound_writer *>(file),
                                reinterpret_cast<const int32_t *>(bytes), size / BYTES_PER_SAMPLE);
}

// A chunk of a size that is no whole number of samples ends the export, which still
// counts as done: what was written before it is a complete file. A recorded signal ends
// the samples after the last whole chunk, and the file is finished as at the song's end.
int render_chunks(sound_writer *file, fade_line &fade) {
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
        auto *bytes = reinterpret_cast<unsigned char *>(aiff_buffer);
        if (!fade_push(fade, bytes, static_cast<size_t>(got), write_to_file, file))
            return 0;
        if (module_reached_stop_order())
            return 1;
    }
}

// Every chunk goes through the fade, which lets the song's last seconds go at the end.
int write_samples(sound_writer *file) {
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
    interrupt_recorder interrupts;
    sample_bits = 32;
    if (!reload_module())
        return 0;
    // The format already matches, so this only sets the master volume.
    sample_bits = 32;
    apply_decoder_settings();
    log_info("Exporting audio as AIFF ('%s')\n", path);

    sound_writer *file = open_file(path, bits);
    if (file == nullptr)
        return 0;
    // The normal end and an interruption take the same way out: the file is finished
    // through the writer, which reports the first failure with its reason.
    ModPlug_SeekOrder(loaded_module, static_cast<int>(start_order));
    bool written = write_samples(file) != 0;
    bool finished = sound_writer_finish(file) != 0;
    if (!written || !finished)
        return 0;
    if (exit_signal_number == 0)
        log_info("done\n");
    return 1;
}
