#include "playback/module_loader.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "console/fd_write.h"
#include "console/log.h"
#include "console/program_exit.h"
#include "console/text.h"
#include "playback/decoder_settings.h"
#include "playback/module_state.h"
#include "tables/info_table.h"

namespace {

// Why the last load failed, for the start-up sequence's report: the system's error
// number where the system gave one, else a description (never a misleading "Success").
int failure_errno = 0;
const char *failure_text = nullptr;

// The loaded module's file as it was read: its bytes, then DECODER_READ_SLACK zeroes.
// Kept while the module is loaded, so that a reload builds the module the user opened,
// whatever has become of its path since (a cd, a replaced or a removed file).
unsigned char *kept_bytes = nullptr;
size_t kept_size = 0;

// The order a seek put the module at, as long as nothing has been rendered since: the
// decoder reports its current order only once it has played into it. -1 otherwise.
int sought_order = -1;

void record_failure(int error_number, const char *text) {
    failure_errno = error_number;
    failure_text = text;
}

// A failed load leaves no module: an owned path is freed, a borrowed one forgotten.
void release_path() {
    if (module_path_owned)
        std::free(module_path);
    module_path_owned = 0;
    module_path = nullptr;
}

void forget_kept_bytes() {
    std::free(kept_bytes);
    kept_bytes = nullptr;
    kept_size = 0;
}

struct buffer_freer {
    void *data;
    ~buffer_freer() { std::free(data); }
};

// Reads exactly size bytes; 0 after a report when the file ends early or read fails,
// with the system's reason recorded where there is one.
int read_whole_file(int fd, unsigned char *buffer, size_t size) {
    size_t have = 0;
    while (have < size) {
        ssize_t got = read(fd, buffer + have, size - have);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            int error_number = errno;
            log_error("CAN'T read(): %s\n", std::strerror(error_number));
            record_failure(error_number, nullptr);
            return 0;
        }
        if (got == 0) {
            log_error("CAN'T read(): %s\n", "unexpected end of file");
            record_failure(0, "the file could not be read");
            return 0;
        }
        have += static_cast<size_t>(got);
    }
    return 1;
}

// Reads the file at path whole into a new buffer followed by DECODER_READ_SLACK zeroes
// and sets size to the file's size. Null after a report, with the reason recorded.
unsigned char *read_module_file(const char *path, size_t &size) {
    struct stat status;
    if (stat(path, &status) != 0) {
        int error_number = errno;
        log_error("CAN'T stat(\"%s\"): %s\n", path, std::strerror(error_number));
        record_failure(error_number, nullptr);
        return nullptr;
    }
    // Reported as reading it would, also where the file system gives a directory no size.
    if (S_ISDIR(status.st_mode)) {
        log_error("CAN'T read(): %s\n", std::strerror(EISDIR));
        record_failure(EISDIR, nullptr);
        return nullptr;
    }
    if (status.st_size == 0) {
        log_error("size of \"%s\" is zero!\n", path);
        record_failure(0, "the file is empty");
        return nullptr;
    }
    // The decoder takes the size as a signed 32-bit count; a larger file would wrap.
    if (status.st_size > INT32_MAX) {
        log_error("size of \"%s\" is too large!\n", path);
        record_failure(0, "the file is too large");
        return nullptr;
    }
    int fd = open(path, O_RDONLY);
    if (fd < 0) {
        int error_number = errno;
        log_error("CAN'T open(\"%s\"): %s\n", path, std::strerror(error_number));
        record_failure(error_number, nullptr);
        return nullptr;
    }
    fd_closer closer{fd};
    size = static_cast<size_t>(status.st_size);
    // The decoder's readers of damaged S3M and XM headers read a little past the end of
    // the data they are given; a zeroed tail keeps those reads inside memory of ours.
    buffer_freer freer{std::calloc(size + DECODER_READ_SLACK, 1)};
    if (freer.data == nullptr)
        exit_out_of_memory();
    auto *bytes = static_cast<unsigned char *>(freer.data);
    if (!read_whole_file(fd, bytes, size))
        return nullptr;
    freer.data = nullptr;
    return bytes;
}

// The decoder's module for data, in the format pushed last; null when the decoder
// refuses the data or runs out of memory (its allocations throw).
ModPlugFile *decode(const unsigned char *data, size_t size) {
    try {
        return ModPlug_Load(data, static_cast<int>(size));
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

// Every decoder load, also one that fails, sets the output format of every module, the
// loaded one too. A load of nothing fails at once, after taking the format back.
void restore_decoder_format(decoder_format format) {
    push_decoder_settings(format);
    decode(nullptr, 0);
}

} // namespace

void load_module() {
    if (module_path == nullptr)
        return;
    trim_right(module_path);
    size_t size = 0;
    unsigned char *bytes = read_module_file(module_path, size);
    if (bytes == nullptr) {
        release_path();
        return;
    }
    push_decoder_settings();
    ModPlugFile *module = decode(bytes, size);
    if (module == nullptr) {
        std::free(bytes);
        record_failure(0, "not a module the decoder can read");
        release_path();
        return;
    }
    loaded_module = module;
    loaded_format = wanted_decoder_format();
    forget_kept_bytes();
    kept_bytes = bytes;
    kept_size = size;
    sought_order = -1;
    show_info_table();
}

int reload_module() {
    if (module_path == nullptr)
        return 0;
    decoder_format wanted = wanted_decoder_format();
    if (wanted == loaded_format)
        return 1;
    int order = module_order();
    push_decoder_settings(wanted);
    ModPlugFile *module = decode(kept_bytes, kept_size);
    if (module == nullptr) {
        // The bytes were a module a moment ago: only memory can be missing.
        report_out_of_memory();
        restore_decoder_format(loaded_format);
        return 0;
    }
    ModPlug_Unload(loaded_module);
    loaded_module = module;
    loaded_format = wanted;
    ModPlug_SeekOrder(loaded_module, order);
    sought_order = order;
    return 1;
}

void seek_module_order(int order) {
    ModPlug_SeekOrder(loaded_module, order);
    sought_order = order;
}

int module_order() {
    return sought_order >= 0 ? sought_order : ModPlug_GetCurrentOrder(loaded_module);
}

void module_rendering_starts() {
    sought_order = -1;
}

int module_reached_stop_order() {
    return stop_order > 0 && ModPlug_GetCurrentOrder(loaded_module) >= stop_order ? 1 : 0;
}

void unload_module() {
    if (module_path == nullptr)
        return;
    ModPlug_Unload(loaded_module);
    forget_kept_bytes();
    sought_order = -1;
    release_path();
}

void open_command(const char *argument) {
    if (argument == nullptr || argument[0] == '\0') {
        std::fputs("usage: open <file>\n", stderr);
        return;
    }
    unload_module();
    module_path = copy_string(argument);
    if (module_path == nullptr) {
        report_out_of_memory();
        return;
    }
    module_path_owned = 1;
    load_module();
}

const char *module_load_failure() {
    return failure_text != nullptr ? failure_text : std::strerror(failure_errno);
}
