#include "export/sndfile_writer.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <unistd.h>

#include <sndfile.h>

#include "console/log.h"
#include "console/program_exit.h"
#include "console/utf8_text.h"

struct sound_writer {
    int fd = -1;
    SNDFILE *sound = nullptr;
    const char *path = nullptr;
};

namespace {

void close_writer(sound_writer *writer) {
    if (writer->sound != nullptr)
        sf_close(writer->sound);
    close(writer->fd);
    delete writer;
}

// libsndfile refuses an empty text; a tag that would be empty is left out. Tags are
// UTF-8 in every one of these formats, and a module's bytes need not be: libsndfile's FLAC
// writer even frees memory twice when handed a tag that is not valid UTF-8.
int set_tag(sound_writer *writer, int kind, const char *text) {
    if (text == nullptr || text[0] == '\0')
        return 1;
    std::string tag;
    try {
        append_module_text_utf8(tag, text, std::strlen(text));
    } catch (const std::bad_alloc &) {
        exit_out_of_memory();
    }
    return sf_set_string(writer->sound, kind, tag.c_str()) == 0 ? 1 : 0;
}

int write_result(sound_writer *writer, sf_count_t written, size_t count) {
    if (written == static_cast<sf_count_t>(count))
        return 1;
    log_error("CAN'T write \"%s\": %s\n", writer->path, sf_strerror(writer->sound));
    return 0;
}

} // namespace

sound_writer *sound_writer_open(const char *path, const sound_file_format &format,
                                const char *title, const char *comment) {
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        log_system_error("open", path);
        return nullptr;
    }
    auto *writer = new (std::nothrow) sound_writer;
    if (writer == nullptr) {
        close(fd);
        exit_out_of_memory();
    }
    writer->fd = fd;
    writer->path = path;
    SF_INFO info{};
    info.samplerate = format.rate;
    info.channels = format.channels;
    info.format = format.sf_format;
    // The descriptor stays ours: libsndfile does not close it, close_writer does.
    writer->sound = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (writer->sound == nullptr) {
        log_error("CAN'T write \"%s\": %s\n", path, sf_strerror(nullptr));
        close_writer(writer);
        return nullptr;
    }
    // The encoders take their level and put their tags in the stream's first pages: both
    // are set before any sample.
    double level = format.compression;
    bool level_taken = level < 0 || sf_command(writer->sound, SFC_SET_COMPRESSION_LEVEL, &level,
                                               sizeof level) == SF_TRUE;
    if (!level_taken || !set_tag(writer, SF_STR_TITLE, title) ||
        !set_tag(writer, SF_STR_COMMENT, comment)) {
        log_error("CAN'T write \"%s\": %s\n", path, sf_strerror(writer->sound));
        close_writer(writer);
        return nullptr;
    }
    return writer;
}

int sound_writer_write16(sound_writer *writer, const int16_t *samples, size_t count) {
    static_assert(sizeof(short) == sizeof(int16_t));
    auto items = static_cast<sf_count_t>(count);
    return write_result(writer, sf_write_short(writer->sound, samples, items), count);
}

int sound_writer_write32(sound_writer *writer, const int32_t *samples, size_t count) {
    static_assert(sizeof(int) == sizeof(int32_t));
    auto items = static_cast<sf_count_t>(count);
    return write_result(writer, sf_write_int(writer->sound, samples, items), count);
}

uint64_t sound_writer_bytes(const sound_writer *writer) {
    off_t at = lseek(writer->fd, 0, SEEK_CUR);
    return at < 0 ? 0 : static_cast<uint64_t>(at);
}

int sound_writer_finish(sound_writer *writer) {
    if (writer == nullptr)
        return 1;
    int result = sf_close(writer->sound);
    writer->sound = nullptr;
    int closed = close(writer->fd);
    int error_number = errno;
    writer->fd = -1;
    const char *path = writer->path;
    delete writer;
    if (result != 0) {
        log_error("CAN'T write \"%s\": %s\n", path, sf_error_number(result));
        return 0;
    }
    if (closed != 0) {
        log_error("CAN'T close(\"%s\"): %s\n", path, std::strerror(error_number));
        return 0;
    }
    return 1;
}
