#include "library/directory_listing.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "console/screen_text.h"
#include "console/text.h"
#include "library/header_probe.h"

namespace {

constexpr size_t header_read_size = 512;
// Room for the suffix after the name, its terminating zero included.
constexpr size_t suffix_size = 64;

struct directory_closer {
    DIR *directory;
    ~directory_closer() { closedir(directory); }
};

// Appends the module suffix to line (which holds the name, length characters) when the
// entry's first bytes are a recognised header.
void append_module_suffix(char *line, size_t length) {
    unsigned char buffer[header_read_size];
    ssize_t got = read_file_start(line, buffer, sizeof buffer);
    if (got <= 0)
        return;
    header_probe probe{};
    if (probe_header(probe, buffer, static_cast<int32_t>(got)) < 0)
        return;
    char title[32] = "";
    header_title(probe, title);
    title[make_screen_safe(title, std::strlen(title), 0)] = '\0';
    // At most 64 bytes: a longer suffix is cut rather than written past the line.
    std::snprintf(line + length, suffix_size, ": <%s> [%s, %d inst, %d ords]", title,
                  kind_name(header_kind(probe)), header_instrument_count(probe),
                  header_order_count(probe));
}

} // namespace

void list_directory(const char * /*argument*/) {
    DIR *directory = opendir(".");
    if (directory == nullptr)
        return;
    directory_closer closer{directory};
    while (const dirent *entry = readdir(directory)) {
        size_t length = std::strlen(entry->d_name);
        owned_text line(static_cast<char *>(std::malloc(length + suffix_size)));
        if (line == nullptr)
            continue; // no room for this line; the listing goes on silently
        std::memcpy(line.get(), entry->d_name, length + 1);
        append_module_suffix(line.get(), length);
        std::printf("+ %s\n", line.get());
    }
}
