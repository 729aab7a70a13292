#include "playback/module_loader.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "console/log.h"
#include "console/program_exit.h"
#include "console/text.h"
#include "playback/module_state.h"
#include "tables/info_table.h"

namespace {

// Why the last load failed, for the start-up sequence's report: the system's error
// number where the system gave one, else a description (never a misleading "Success").
int failure_errno = 0;
const char *failure_text = nullptr;

void fail_load(int error_number, const char *text) {
    failure_errno = error_number;
    failure_text = text;
    if (module_path_owned)
        std::free(module_path);
    module_path_owned = 0;
    module_path = nullptr;
}

struct fd_closer {
    int fd;
    ~fd_closer() { close(fd); }
};

struct buffer_freer {
    void *data;
    ~buffer_freer() { std::free(data); }
};

// Reads exactly size bytes; 0 after a report when the file ends early or read fails.
int read_whole_file(int fd, char *buffer, size_t size) {
    size_t have = 0;
    while (have < size) {
        ssize_t got = read(fd, buffer + have, size - have);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            log_error("CAN'T read(): %s\n", got == 0 ? "unexpected end of file" : std::strerror(errno));
            return 0;
        }
        have += static_cast<size_t>(got);
    }
    return 1;
}

} // namespace

void load_module() {
    if (module_path == nullptr)
        return;
    trim_right(module_path);

    struct stat status;
    if (stat(module_path, &status) != 0) {
        int error_number = errno;
        log_error("CAN'T stat(\"%s\"): %s\n", module_path, std::strerror(error_number));
        fail_load(error_number, nullptr);
        return;
    }
    if (status.st_size == 0) {
        log_error("size of \"%s\" is zero!\n", module_path);
        fail_load(0, "the file is empty");
        return;
    }
    // The decoder takes the size as a signed 32-bit count; a larger file would wrap.
    if (status.st_size > INT32_MAX) {
        log_error("size of \"%s\" is too large!\n", module_path);
        fail_load(0, "the file is too large");
        return;
    }
    int fd = open(module_path, O_RDONLY);
    if (fd < 0) {
        int error_number = errno;
        log_error("CAN'T open(\"%s\"): %s\n", module_path, std::strerror(error_number));
        fail_load(error_number, nullptr);
        return;
    }
    auto size = static_cast<size_t>(status.st_size);
    char *buffer = static_cast<char *>(std::malloc(size));
    if (buffer == nullptr)
        exit_out_of_memory();
    {
        fd_closer closer{fd};
        buffer_freer freer{buffer};
        if (!read_whole_file(fd, buffer, size)) {
            fail_load(0, "the file could not be read");
            return;
        }
        loaded_module = ModPlug_Load(buffer, static_cast<int>(size));
    }
    if (loaded_module == nullptr) {
        fail_load(0, "not a module the decoder can read");
        return;
    }
    show_info_table();
}

void unload_module() {
    if (module_path == nullptr)
        return;
    ModPlug_Unload(loaded_module);
    if (module_path_owned)
        std::free(module_path);
    module_path_owned = 0;
    module_path = nullptr;
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
