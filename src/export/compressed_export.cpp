#include "export/compressed_export.h"

#include <cstdint>
#include <cstdio>
#include <memory>

#include <libmodplug/modplug.h>

#include "console/log.h"
#include "console/program_exit.h"
#include "export/compressed_formats.h"
#include "export/encode_queue.h"
#include "export/fade_out.h"
#include "export/loop_guard.h"
#include "export/output_guard.h"
#include "export/sndfile_writer.h"
#include "export/song_text.h"
#include "playback/audio_output.h"
#include "playback/decoder_settings.h"
#include "playback/module_loader.h"
#include "playback/module_state.h"

namespace {

// The chunk sizes of the exporters whose samples these files must match: WAVE's for
// 16 bits, AIFF's for 32. The decoder's output depends on how much each read asks for.
constexpr int CHUNK_BYTES_16 = 20000;
constexpr int CHUNK_BYTES_32 = 65536;

// The one buffer every chunk is rendered into: nothing is allocated per chunk.
int32_t chunk_buffer[CHUNK_BYTES_32 / sizeof(int32_t)];

struct writer_finisher {
    void operator()(sound_writer *writer) const { sound_writer_finish(writer); }
};
using open_writer = std::unique_ptr<sound_writer, writer_finisher>;

struct queue_finisher {
    void operator()(encode_queue *queue) const { encode_queue_finish(queue); }
};
using running_queue = std::unique_ptr<encode_queue, queue_finisher>;

// The decoder in the row's format from the start order on. The 32-bit rows load the
// module afresh, as the AIFF export does; the 16-bit ones only apply the settings, as
// the WAVE export does (which reloads when the format differs). Returns 1 when ready.
int prepare_decoder(const compressed_format &format) {
    sample_bits = format.decoder_bits;
    render_rate = format.rate;
    int ready = format.decoder_bits == 32 ? reload_module() : 1;
    if (ready)
        apply_decoder_settings();
    // Later loads render at the settings' rate again; this module keeps the row's.
    render_rate = 0;
    if (!ready || loaded_format.bits != format.decoder_bits ||
        (format.rate != 0 && loaded_format.rate != format.rate))
        return 0;
    ModPlug_SeekOrder(loaded_module, static_cast<int>(start_order));
    return 1;
}

struct sink_state {
    sound_writer *writer;
    encode_queue *queue;
    uint64_t bytes = 0;
};

// The samples leaving the fade go to the encoding thread.
int write_to_file(void *context, unsigned char *bytes, size_t size) {
    auto *state = static_cast<sink_state *>(context);
    state->bytes += size;
    return encode_queue_push(state->queue, bytes, size);
}

// The render loop: chunk after chunk through the fade into the file, until the song
// ends, the stop order is reached or a signal is recorded (then *interrupted is set).
// Returns 1 when every write succeeded.
int render(sink_state &state, int bits, fade_line &fade, bool &interrupted) {
    int chunk_bytes = bits == 32 ? CHUNK_BYTES_32 : CHUNK_BYTES_16;
    auto *bytes = reinterpret_cast<unsigned char *>(chunk_buffer);
    for (;;) {
        if (exit_signal_number != 0) {
            interrupted = true;
            return 1;
        }
        int got = ModPlug_Read(loaded_module, chunk_buffer, chunk_bytes);
        if (got <= 0)
            return 1;
        if (!fade_push(fade, bytes, static_cast<size_t>(got), write_to_file, &state))
            return 0;
        // The line ends in '\r', not '\n': line-buffered standard output would hold it.
        log_info("%lu bytes written  \r",
                 static_cast<unsigned long>(sound_writer_bytes(state.writer)));
        std::fflush(stdout);
        if (module_reached_stop_order())
            return 1;
    }
}

} // namespace

int export_compressed(const char *path, const compressed_format &format) {
    if (module_path == nullptr || path == nullptr)
        return COMPRESSED_FAILED;
    // Both guards come before anything is reloaded or opened.
    if (export_loop_is_endless() || output_is_module_file(path) == 1)
        return COMPRESSED_FAILED;
    interrupt_recorder interrupts;
    if (!prepare_decoder(format))
        return COMPRESSED_FAILED;
    log_info("Exporting audio as %s%s ('%s')\n", format.label, format.rendering_note, path);

    const char *name = ModPlug_GetName(loaded_module);
    owned_text message = song_message_with_line_feeds();
    sound_file_format file_format{format.sf_format, loaded_format.channels, loaded_format.rate,
                                  format.compression};
    open_writer writer{sound_writer_open(path, file_format, name, message.get())};
    if (writer == nullptr)
        return COMPRESSED_FAILED;

    fade_line fade;
    fade_open(fade, fade_frames_at(loaded_format.rate), loaded_format.channels,
              format.decoder_bits / 8);
    // Declared after the writer, so that on every way out the queue ends first.
    running_queue queue{encode_queue_start(writer.get(), format.decoder_bits)};
    sink_state state{writer.get(), queue.get()};
    bool interrupted = false;
    if (!render(state, format.decoder_bits, fade, interrupted) ||
        !fade_finish(fade, write_to_file, &state))
        return COMPRESSED_FAILED;
    // The one way out for a finished file, whether the song ended or a signal came.
    if (!encode_queue_finish(queue.release()) || !sound_writer_finish(writer.release()))
        return COMPRESSED_FAILED;
    if (interrupted)
        return COMPRESSED_INTERRUPTED;
    // Without audio the file is still a valid, empty one, but the export counts as failed.
    if (state.bytes == 0)
        return COMPRESSED_FAILED;
    log_info("\ndone!\n");
    return COMPRESSED_DONE;
}
