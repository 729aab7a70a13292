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
    size_t text_limit = 0;
    bool failed = false;          ///< a failure was told
    bool sizes_in_header = false; ///< AIFF: the header is patched with the sizes
};

namespace {

void close_writer(sound_writer *writer) {
    if (writer->sound != nullptr)
        sf_close(writer->sound);
    close(writer->fd);
    delete writer;
}

// Tells that call failed on the file, as every exporter tells it: a system call with errno's
// reason (EIO when libsndfile failed without a system error, so the report never reads
// "Success"). Only a file's first failure is told. Returns 0, for the caller to return.
int report_failure(sound_writer *writer, const char *call) {
    if (!writer->failed) {
        if (errno == 0)
            errno = EIO;
        log_system_error(call, writer->path);
    }
    writer->failed = true;
    return 0;
}

// libsndfile refuses an empty text; a tag that would be empty is left out. Converted, the
// tags are UTF-8, as the compressed formats hold them and a module's bytes need not be:
// libsndfile's FLAC writer even frees memory twice when handed a tag that is not valid
// UTF-8. Kept as given, a text is cut to what the format's readers take.
int set_tag(sound_writer *writer, int kind, const char *text) {
    if (text == nullptr || text[0] == '\0')
        return 1;
    std::string tag;
    try {
        if (writer->text_limit == 0)
            append_module_text_utf8(tag, text, std::strlen(text));
        else
            tag.assign(text, strnlen(text, writer->text_limit));
    } catch (const std::bad_alloc &) {
        exit_out_of_memory();
    }
    return sf_set_string(writer->sound, kind, tag.c_str()) == 0 ? 1 : 0;
}

int write_result(sound_writer *writer, sf_count_t written, size_t count) {
    if (written == static_cast<sf_count_t>(count))
        return 1;
    return report_failure(writer, "write");
}

} // namespace

sound_writer *sound_writer_open(const char *path, const sound_file_format &format,
                                const char *title, const char *comment) {
    // The file is created before libsndfile sees it, so a path that cannot be written
    // fails as the system call it is.
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
    writer->text_limit = format.text_limit;
    writer->sizes_in_header = (format.sf_format & SF_FORMAT_TYPEMASK) == SF_FORMAT_AIFF;
    SF_INFO info{};
    info.samplerate = format.rate;
    info.channels = format.channels;
    info.format = format.sf_format;
    // A format libsndfile cannot write is an invalid argument to the system's way of telling.
    if (sf_format_check(&info) == SF_FALSE) {
        errno = EINVAL;
        report_failure(writer, "write");
        close_writer(writer);
        return nullptr;
    }
    // The descriptor stays ours: libsndfile does not close it, close_writer does.
    errno = 0;
    writer->sound = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (writer->sound == nullptr) {
        report_failure(writer, "write");
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
        report_failure(writer, "write");
        close_writer(writer);
        return nullptr;
    }
    return writer;
}

int sound_writer_write16(sound_writer *writer, const int16_t *samples, size_t count) {
    static_assert(sizeof(short) == sizeof(int16_t));
    auto items = static_cast<sf_count_t>(count);
    errno = 0;
    return write_result(writer, sf_write_short(writer->sound, samples, items), count);
}

int sound_writer_write32(sound_writer *writer, const int32_t *samples, size_t count) {
    static_assert(sizeof(int) == sizeof(int32_t));
    auto items = static_cast<sf_count_t>(count);
    errno = 0;
    return write_result(writer, sf_write_int(writer->sound, samples, items), count);
}

uint64_t sound_writer_bytes(const sound_writer *writer) {
    off_t at = lseek(writer->fd, 0, SEEK_CUR);
    return at < 0 ? 0 : static_cast<uint64_t>(at);
}

int sound_writer_finish(sound_writer *writer) {
    if (writer == nullptr)
        return 1;
    // A header that holds the sizes is a write of its own before the close, so its failure
    // is told as one. The update reports nothing itself; a failed write shows in the error.
    // The encoders' streams have no such header, and the update would break them.
    if (writer->sizes_in_header) {
        errno = 0;
        sf_command(writer->sound, SFC_UPDATE_HEADER_NOW, nullptr, 0);
        if (sf_error(writer->sound) != SF_ERR_NO_ERROR)
            report_failure(writer, "write");
    }
    // sf_close writes the final header (and the encoders' last frames) before it returns.
    errno = 0;
    int result = sf_close(writer->sound);
    int error_number = 0;
    if (result != 0)
        error_number = errno != 0 ? errno : EIO;
    if (close(writer->fd) != 0 && error_number == 0)
        error_number = errno;
    const char *path = writer->path;
    bool told = writer->failed;
    delete writer;
    if (error_number == 0)
        return 1;
    if (told)
        return 0;
    errno = error_number;
    log_system_error("close", path);
    return 0;
}
