#include "export/wave_export.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <libmodplug/modplug.h>

#include "console/fd_write.h"
#include "console/log.h"
#include "console/program_exit.h"
#include "export/fade_out.h"
#include "export/loop_guard.h"
#include "export/output_guard.h"
#include "library/byte_order.h"
#include "playback/audio_output.h"
#include "playback/decoder_settings.h"
#include "playback/module_loader.h"
#include "playback/module_state.h"
#include "settings/settings.h"

namespace {

constexpr int WAV_CHUNK_BYTES = 20000;
constexpr int RAW_CHUNK_BYTES = 10000;
constexpr uint32_t WAV_HEADER_BYTES = 44;
constexpr off_t RIFF_SIZE_OFFSET = 4;
constexpr off_t DATA_SIZE_OFFSET = 40;
constexpr int RAW_BIG_ENDIAN = 2;
constexpr int RAW_LITTLE_ENDIAN = 8;

// The header's fixed parts are stored as bytes, so they never depend on the byte order;
// the sizes in them are patched once the length is known.
constexpr unsigned char RIFF_HEAD[20] = {'R', 'I', 'F', 'F', 0,   0,   0,  0, 'W', 'A',
                                         'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0,   0};
constexpr unsigned char DATA_HEAD[8] = {'d', 'a', 't', 'a', 0, 0, 0, 0};

// Both exporters render into this one buffer: nothing is allocated per chunk.
unsigned char export_buffer[WAV_CHUNK_BYTES];
static_assert(RAW_CHUNK_BYTES <= WAV_CHUNK_BYTES);

// The guards come first, so the module's own file is never truncated.
int open_output(const char *path) {
    if (export_loop_is_endless() || output_is_module_file(path) == 1)
        return -1;
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        log_system_error("open", path);
    return fd;
}

// Writes all of data, reporting why when it cannot.
int write_whole(int fd, const void *data, size_t size, const char *path) {
    if (write_all(fd, data, size))
        return 1;
    log_system_error("write", path);
    return 0;
}

// The settings go to the decoder before the seek: applying them may reload the module,
// which puts the song back at its start.
void prepare_decoder() {
    sample_bits = 16;
    apply_decoder_settings();
    ModPlug_SeekOrder(loaded_module, static_cast<int>(start_order));
}

// A recorded signal ends the samples after the last whole chunk, as the song's end does,
// so the file is finished the same way.
int read_chunk(int size) {
    if (exit_signal_number != 0)
        return 0;
    return ModPlug_Read(loaded_module, export_buffer, size);
}

void put_u16(unsigned char *to, uint16_t value) {
    std::memcpy(to, &value, sizeof value);
}

void put_u32(unsigned char *to, uint32_t value) {
    std::memcpy(to, &value, sizeof value);
}

// Offsets 20-35 of the header, in the format the decoder really renders (a damaged
// settings file may hold values the decoder was never given).
void build_format_body(unsigned char (&body)[16]) {
    auto channels = static_cast<uint16_t>(loaded_format.channels);
    auto rate = static_cast<uint32_t>(loaded_format.rate);
    auto block_align = static_cast<uint16_t>(channels * 2);
    put_u16(body, host_u16(1));
    put_u16(body + 2, host_u16(channels));
    put_u32(body + 4, host_u32(rate));
    put_u32(body + 8, host_u32(rate * block_align));
    put_u16(body + 12, host_u16(block_align));
    put_u16(body + 14, host_u16(16));
}

// Where the samples go once they leave the fade: swapped when asked, then written.
struct sample_file {
    int fd;
    bool swap;
    const char *path;
    uint64_t written = 0;
};

int write_samples(void *context, unsigned char *bytes, size_t size) {
    auto *file = static_cast<sample_file *>(context);
    if (file->swap && size >= 2)
        swap_sample_bytes(bytes, size);
    if (!write_whole(file->fd, bytes, size, file->path))
        return 0;
    file->written += size;
    return 1;
}

// The samples keep the machine's order inside the fade, which works on their values.
void open_fade(fade_line &fade) {
    fade_open(fade, fade_frames_at(loaded_format.rate), loaded_format.channels, 2);
}

// Patches the size field at offset.
int patch_u32(int fd, off_t offset, uint32_t value, const char *path) {
    if (lseek(fd, offset, SEEK_SET) != offset) {
        log_system_error("lseek", path);
        return 0;
    }
    uint32_t stored = host_u32(value);
    return write_whole(fd, &stored, sizeof stored, path);
}

// The one ending of a WAVE file, at the song's end and after an interruption alike: both
// sizes are patched to match the samples written. Without audio the file stays a valid,
// empty WAVE, but the export counts as failed.
uint32_t finish_wav(int fd, uint32_t total, const char *path) {
    if (!patch_u32(fd, RIFF_SIZE_OFFSET, total - 8, path))
        return 0;
    if (total <= WAV_HEADER_BYTES)
        return 0;
    if (!patch_u32(fd, DATA_SIZE_OFFSET, total - WAV_HEADER_BYTES, path))
        return 0;
    if (exit_signal_number == 0)
        log_info("\ndone!\n");
    return total;
}

} // namespace

uint32_t export_wav(const char *path) {
    interrupt_recorder interrupts;
    int fd = open_output(path);
    if (fd < 0)
        return 0;
    fd_closer closer{fd};
    prepare_decoder();
    log_info("Exporting audio to WAV ('%s')\n", path);
    unsigned char body[16];
    build_format_body(body);
    if (!write_whole(fd, RIFF_HEAD, sizeof RIFF_HEAD, path) ||
        !write_whole(fd, body, sizeof body, path) ||
        !write_whole(fd, DATA_HEAD, sizeof DATA_HEAD, path))
        return 0;

    fade_line fade;
    open_fade(fade);
    sample_file samples{fd, !is_little_endian(settings), path};
    int got = read_chunk(WAV_CHUNK_BYTES);
    while (got > 0) {
        if (!fade_push(fade, export_buffer, static_cast<size_t>(got), write_samples, &samples))
            return 0;
        // The line ends in '\r', not '\n': line-buffered standard output would hold it.
        log_info("%lu bytes written  \r",
                 static_cast<unsigned long>(WAV_HEADER_BYTES + samples.written));
        std::fflush(stdout);
        if (module_reached_stop_order())
            break;
        got = read_chunk(WAV_CHUNK_BYTES);
    }
    // An interrupted export is faded and finished like a whole one.
    if (!fade_finish(fade, write_samples, &samples))
        return 0;
    return finish_wav(fd, static_cast<uint32_t>(WAV_HEADER_BYTES + samples.written), path);
}

uint64_t export_raw_pcm(const char *path, int raw_flags) {
    interrupt_recorder interrupts;
    int fd = open_output(path);
    if (fd < 0)
        return 0;
    fd_closer closer{fd};
    prepare_decoder();
    const char *order_name = (raw_flags & RAW_BIG_ENDIAN) != 0      ? "big-endian"
                             : (raw_flags & RAW_LITTLE_ENDIAN) != 0 ? "little-endian"
                             : is_little_endian(settings)           ? "little-endian"
                                                                    : "big-endian";
    log_info("Exporting audio to raw 16-bit PCM, %s, sampling rate: %.3f kHz\n", order_name,
             loaded_format.rate / 1000.0);
    // The samples are in memory in the order the settings name; they are exchanged only
    // when the order asked for is the other one.
    bool little = is_little_endian(settings) != 0;
    bool swap = ((raw_flags & RAW_BIG_ENDIAN) != 0 && little) ||
                ((raw_flags & RAW_LITTLE_ENDIAN) != 0 && !little);

    fade_line fade;
    open_fade(fade);
    sample_file samples{fd, swap, path};
    int got = read_chunk(RAW_CHUNK_BYTES);
    while (got > 0) {
        if (!fade_push(fade, export_buffer, static_cast<size_t>(got), write_samples, &samples))
            return 0;
        if (module_reached_stop_order())
            break;
        got = read_chunk(RAW_CHUNK_BYTES);
    }
    // Raw samples need no header: the fade's tail is all the finishing they take.
    if (!fade_finish(fade, write_samples, &samples))
        return 0;
    if (exit_signal_number == 0)
        log_info("done!\n");
    return samples.written;
}
