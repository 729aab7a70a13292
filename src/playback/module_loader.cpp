#include "playback/module_loader.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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

struct buffer_freer {
    void *data;
    ~buffer_freer() { std::free(data); }
};

// Reads exactly size bytes; 0 after a report when the file ends early or read fails.
int read_whole_file(int fd, char *buffer, size_t size, bool report) {
    size_t have = 0;
    while (have < size) {
        ssize_t got = read(fd, buffer + have, size - have);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (report)
                log_error("CAN'T read(): %s\n",
                          got == 0 ? "unexpected end of file" : std::strerror(errno));
            return 0;
        }
        have += static_cast<size_t>(got);
    }
    return 1;
}

} // namespace

namespace {

// Reads the file at path whole and hands it to the decoder, in the decoder format the
// settings ask for. Failures are reported when report is set (the decoder refusing the
// data never is) and recorded for module_load_failure. Returns the module or null.
ModPlugFile *decode_file(const char *path, bool report) {
    struct stat status;
    if (stat(path, &status) != 0) {
        int error_number = errno;
        if (report)
            log_error("CAN'T stat(\"%s\"): %s\n", path, std::strerror(error_number));
        record_failure(error_number, nullptr);
        return nullptr;
    }
    if (status.st_size == 0) {
        if (report)
            log_error("size of \"%s\" is zero!\n", path);
        record_failure(0, "the file is empty");
        return nullptr;
    }
    // The decoder takes the size as a signed 32-bit count; a larger file would wrap.
    if (status.st_size > INT32_MAX) {
        if (report)
            log_error("size of \"%s\" is too large!\n", path);
        record_failure(0, "the file is too large");
        return nullptr;
    }
    int fd = open(path, O_RDONLY);
    if (fd < 0) {
        int error_number = errno;
        if (report)
            log_error("CAN'T open(\"%s\"): %s\n", path, std::strerror(error_number));
        record_failure(error_number, nullptr);
        return nullptr;
    }
    fd_closer closer{fd};
    auto size = static_cast<size_t>(status.st_size);
    // The decoder's readers of damaged S3M and XM headers read a little past the end of
    // the data they are given; a zeroed tail keeps those reads inside memory of ours.
    buffer_freer freer{std::calloc(size + DECODER_READ_SLACK, 1)};
    if (freer.data == nullptr)
        exit_out_of_memory();
    if (!read_whole_file(fd, static_cast<char *>(freer.data), size, report)) {
        record_failure(0, "the file could not be read");
        return nullptr;
    }
    push_decoder_settings();
    ModPlugFile *module = ModPlug_Load(freer.data, static_cast<int>(size));
    if (module == nullptr) {
        record_failure(0, "not a module the decoder can read");
        return nullptr;
    }
    loaded_format = wanted_decoder_format();
    return module;
}

} // namespace

void load_module() {
    if (module_path == nullptr)
        return;
    trim_right(module_path);
    loaded_module = decode_file(module_path, true);
    if (loaded_module == nullptr) {
        release_path();
        return;
    }
    show_info_table();
}

int reload_module() {
    if (module_path == nullptr)
        return 0;
    ModPlugFile *module = decode_file(module_path, false);
    if (module == nullptr)
        return 0;
    ModPlug_Unload(loaded_module);
    loaded_module = module;
    return 1;
}

void unload_module() {
    if (module_path == nullptr)
        return;
    ModPlug_Unload(loaded_module);
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
