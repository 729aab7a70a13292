#include "export/aiff_writer.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <unistd.h>

#include <sndfile.h>

namespace {

// The steps in the order they must be taken; each call checks it is its turn.
enum class aiff_step { format, header, samples, ended };

struct bits_format {
    int bits;
    int subtype;
};

constexpr bits_format BITS_FORMATS[] = {
    {16, SF_FORMAT_PCM_16},
    {24, SF_FORMAT_PCM_24},
    {32, SF_FORMAT_PCM_32},
};

int subtype_of(int bits) {
    for (const bits_format &entry : BITS_FORMATS)
        if (entry.bits == bits)
            return entry.subtype;
    return 0;
}

// Failures inside libsndfile need not come from a system call; errno then says EIO, so
// the report never reads "Success".
int failed_with_reason() {
    if (errno == 0)
        errno = EIO;
    return 0;
}

} // namespace

struct aiff_file {
    int fd = -1;
    SNDFILE *sound = nullptr;
    aiff_step step = aiff_step::format;
};

aiff_file *aiff_open(const char *path) {
    if (path == nullptr)
        return nullptr;
    // The file is created here, as soon as its name is known, so a path that cannot be
    // written fails at the first step; libsndfile takes the descriptor once the format is
    // known, which it needs when it opens.
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return nullptr;
    aiff_file *file = new (std::nothrow) aiff_file;
    if (file == nullptr) {
        close(fd);
        return nullptr;
    }
    file->fd = fd;
    return file;
}

int aiff_set_format(aiff_file *file, int channels, double rate, int bits) {
    if (file == nullptr || file->step != aiff_step::format)
        return 0;
    int subtype = subtype_of(bits);
    // libsndfile keeps whole-number rates only; anything else would be silently changed.
    if (subtype == 0 || channels < 1 || !(rate >= 1 && rate <= INT_MAX) ||
        rate != std::floor(rate)) {
        errno = EINVAL;
        return 0;
    }
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = channels;
    info.format = SF_FORMAT_AIFF | subtype;
    // The descriptor stays ours (closed in aiff_close), whether libsndfile opens or not.
    errno = 0;
    file->sound = sf_open_fd(file->fd, SFM_WRITE, &info, SF_FALSE);
    if (file->sound == nullptr)
        return failed_with_reason();
    file->step = aiff_step::header;
    return 1;
}

namespace {

// libsndfile refuses empty texts; an empty NAME or ANNO is simply left out. A text its
// reader would refuse is cut to what it takes.
int set_text(aiff_file *file, int kind, const char *text) {
    if (file == nullptr || file->step != aiff_step::header || text == nullptr)
        return 0;
    if (text[0] == '\0')
        return 1;
    static char cut[AIFF_TEXT_LIMIT + 1];
    size_t length = strnlen(text, AIFF_TEXT_LIMIT + 1);
    if (length > AIFF_TEXT_LIMIT) {
        std::memcpy(cut, text, AIFF_TEXT_LIMIT);
        cut[AIFF_TEXT_LIMIT] = '\0';
        text = cut;
    }
    return sf_set_string(file->sound, kind, text) == 0 ? 1 : 0;
}

} // namespace

int aiff_set_name(aiff_file *file, const char *text) {
    return set_text(file, SF_STR_TITLE, text);
}

int aiff_set_annotation(aiff_file *file, const char *text) {
    return set_text(file, SF_STR_COMMENT, text);
}

int aiff_start_samples(aiff_file *file) {
    if (file == nullptr || file->step != aiff_step::header)
        return 0;
    file->step = aiff_step::samples;
    return 1;
}

int aiff_write_samples32(aiff_file *file, const int32_t *samples, size_t count) {
    if (file == nullptr || file->step != aiff_step::samples || samples == nullptr)
        return 0;
    if (count == 0)
        return 1;
    // sf_write_int converts to the file's bits itself and refuses partial frames.
    static_assert(sizeof(int) == sizeof(int32_t));
    auto items = static_cast<sf_count_t>(count);
    errno = 0;
    if (sf_write_int(file->sound, reinterpret_cast<const int *>(samples), items) != items)
        return failed_with_reason();
    return 1;
}

int aiff_end_samples(aiff_file *file) {
    if (file == nullptr || file->step != aiff_step::samples)
        return 0;
    errno = 0;
    sf_command(file->sound, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    file->step = aiff_step::ended;
    // The header update reports nothing itself; a failed write shows in the file's error.
    if (sf_error(file->sound) != SF_ERR_NO_ERROR)
        return failed_with_reason();
    return 1;
}

int aiff_close(aiff_file *file) {
    if (file == nullptr)
        return 1;
    // sf_close writes the final header (and any texts not written yet) before it returns.
    errno = 0;
    int error_number = 0;
    if (file->sound != nullptr && sf_close(file->sound) != 0)
        error_number = errno != 0 ? errno : EIO;
    if (close(file->fd) != 0 && error_number == 0)
        error_number = errno;
    delete file;
    if (error_number == 0)
        return 1;
    errno = error_number;
    return 0;
}
