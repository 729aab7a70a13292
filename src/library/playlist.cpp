#include "library/playlist.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "console/file_replace.h"
#include "console/line_reader.h"
#include "console/program_exit.h"
#include "console/screen_text.h"
#include "console/text.h"
#include "library/header_probe.h"
#include "playback/module_state.h"

playlist_item *first_item = nullptr;
playlist_item *last_item = nullptr;

namespace {

constexpr size_t header_read_size = 512;
// Enough of a file's beginning for every header the probe knows, MOD's tag at 1080 too.
constexpr size_t MODULE_HEADER_BYTES = 1085;

struct directory_closer {
    DIR *directory;
    ~directory_closer() { closedir(directory); }
};

// Closes the playlist file on every way out of load_playlist, keeping errno as the
// failing call left it for the caller's message.
struct file_closer {
    FILE *file;
    ~file_closer() {
        int saved = errno;
        std::fclose(file);
        errno = saved;
    }
};

// Takes item out of the list without freeing it.
void unlink_item(playlist_item *item) {
    if (item->prev_item != nullptr)
        item->prev_item->next_item = item->next_item;
    else
        first_item = item->next_item;
    if (item->next_item != nullptr)
        item->next_item->prev_item = item->prev_item;
    else
        last_item = item->prev_item;
    item->prev_item = nullptr;
    item->next_item = nullptr;
}

void link_after(playlist_item *item, playlist_item *target) {
    item->prev_item = target;
    item->next_item = target->next_item;
    if (target->next_item != nullptr)
        target->next_item->prev_item = item;
    else
        last_item = item;
    target->next_item = item;
}

void link_before(playlist_item *item, playlist_item *target) {
    item->next_item = target;
    item->prev_item = target->prev_item;
    if (target->prev_item != nullptr)
        target->prev_item->next_item = item;
    else
        first_item = item;
    target->prev_item = item;
}

// Removes item but leaves errno as the failing call set it, for the caller's message.
void remove_keeping_errno(playlist_item *item) {
    int saved = errno;
    remove_item(item);
    errno = saved;
}

} // namespace

playlist_item *append_item() {
    auto *item = static_cast<playlist_item *>(std::calloc(1, sizeof(playlist_item)));
    if (item == nullptr)
        return nullptr;
    item->prev_item = last_item;
    if (last_item != nullptr)
        last_item->next_item = item;
    else
        first_item = item;
    last_item = item;
    return item;
}

playlist_item *item_at(int32_t index) {
    playlist_item *item = first_item;
    for (int32_t i = 0; i < index && item != nullptr; ++i)
        item = item->next_item;
    return item;
}

playlist_item *item_after(playlist_item *item) {
    return item != nullptr ? item->next_item : first_item;
}

void remove_item(playlist_item *item) {
    if (item == nullptr)
        return;
    unlink_item(item);
    // The playlist player lends the item's path to the loaded module: the module keeps a
    // copy of its own, so that it never uses the text freed here.
    if (module_path != nullptr && module_path == item->item_path && !module_path_owned) {
        module_path = copy_string(item->item_path);
        if (module_path == nullptr)
            exit_out_of_memory();
        module_path_owned = 1;
    }
    std::free(item->item_path);
    std::free(item->item_title);
    std::free(item);
}

unsigned move_item(int32_t from, int32_t to) {
    playlist_item *moved = item_at(from);
    if (moved == nullptr)
        return PL_NO_ITEM;
    // The target is found in the list as it is before the move.
    playlist_item *target = item_at(to);
    if (target == nullptr)
        return PL_NO_ITEM;
    if (target == moved)
        return PL_OK;
    unlink_item(moved);
    if (to > from)
        link_after(moved, target);
    else
        link_before(moved, target);
    return PL_OK;
}

void print_playlist() {
    int position = 0;
    for (const playlist_item *item = first_item; item != nullptr; item = item->next_item) {
        // Titles come from the files' headers: shown without their control characters.
        owned_text title(screen_safe_copy(item->item_title != nullptr ? item->item_title : "", 0));
        if (!title)
            exit_out_of_memory();
        std::printf("%4d: %s [%s]\n", position++, title.get(), kind_name(item->item_kind));
    }
}

void clear_playlist() {
    while (last_item != nullptr)
        remove_item(last_item);
}

unsigned describe_item(playlist_item *item, const char *fall_back, unsigned char *buffer,
                       size_t size) {
    unsigned result = PL_OK;
    struct stat status;
    if (stat(item->item_path, &status) != 0) {
        result = PL_IO;
    } else if (S_ISDIR(status.st_mode)) {
        item->item_title = copy_string(fall_back);
        item->item_kind = 0;
        if (item->item_title == nullptr)
            result = PL_NO_MEMORY;
    } else {
        ssize_t got = read_file_start(item->item_path, buffer, size);
        if (got < 0) {
            result = PL_IO;
        } else {
            header_probe probe{};
            int32_t length = got > INT32_MAX ? INT32_MAX : static_cast<int32_t>(got);
            if (probe_header(probe, buffer, length) < 0) {
                item->item_title = copy_string(fall_back);
                item->item_kind = 0;
            } else {
                char title[32] = "";
                header_title(probe, title);
                item->item_title = copy_string(title);
                item->item_kind = header_kind(probe);
            }
            if (item->item_title == nullptr)
                result = PL_NO_MEMORY;
        }
    }
    if (result != PL_OK)
        remove_keeping_errno(item);
    return result;
}

unsigned import_directory(const char *directory) {
    clear_playlist();
    DIR *stream = opendir(directory);
    if (stream == nullptr)
        return PL_IO;
    directory_closer closer{stream};
    unsigned char buffer[header_read_size];
    while (const dirent *entry = readdir(stream)) {
        if (entry->d_name[0] == '.')
            continue;
        playlist_item *item = append_item();
        if (item == nullptr)
            return PL_NO_MEMORY;
        item->item_path = join_path(directory, entry->d_name);
        if (item->item_path == nullptr) {
            remove_item(item);
            return PL_NO_MEMORY;
        }
        unsigned result = describe_item(item, entry->d_name, buffer, sizeof buffer);
        if (result != PL_OK)
            return result; // the items described before stay
    }
    return PL_OK;
}

namespace {

// The first bytes of the file at path are a module header the probe knows. A file that
// cannot be read is no module; its own failure shows when it is replaced.
bool names_module_file(const char *path) {
    unsigned char buffer[MODULE_HEADER_BYTES];
    ssize_t got = read_file_start(path, buffer, sizeof buffer);
    header_probe probe{};
    return got > 0 && probe_header(probe, buffer, static_cast<int32_t>(got)) == 0;
}

} // namespace

unsigned save_playlist(const char *path) {
    if (path == nullptr)
        return PL_INTERNAL;
    if (names_module_file(path))
        return PL_MODULE_FILE;
    // The list goes to a new file that replaces the old one only once it is complete, so a
    // full disk leaves the old playlist whole.
    file_replacement replacement;
    const char *call = "open";
    if (!begin_replacement(replacement, path, 0666, &call))
        return PL_IO;
    // The stream writes through a descriptor of its own; the replacement keeps the other.
    int stream_fd = dup(replacement.fd);
    FILE *file = stream_fd >= 0 ? fdopen(stream_fd, "w") : nullptr;
    if (file == nullptr) {
        int error_number = errno;
        if (stream_fd >= 0)
            close(stream_fd);
        finish_replacement(replacement, 0, &call);
        errno = error_number;
        return PL_IO;
    }
    for (const playlist_item *item = first_item; item != nullptr; item = item->next_item) {
        std::fputs(item->item_path, file);
        std::fputc('\n', file);
    }
    // A full disk shows only in the error flag or when the buffer is flushed at the close:
    // either must not pass for a saved playlist.
    bool failed = std::ferror(file) != 0;
    int error_number = errno;
    if (std::fclose(file) != 0 && !failed) {
        failed = true;
        error_number = errno;
    }
    if (!finish_replacement(replacement, failed ? 0 : 1, &call)) {
        if (failed)
            errno = error_number;
        return PL_IO;
    }
    return PL_OK;
}

unsigned load_playlist(const char *path) {
    clear_playlist();
    if (path == nullptr)
        return PL_INTERNAL;
    FILE *file = std::fopen(path, "r");
    if (file == nullptr)
        return PL_IO;
    file_closer closer{file};
    unsigned char buffer[header_read_size];
    while (!std::feof(file)) {
        playlist_item *item = append_item();
        if (item == nullptr)
            return PL_NO_MEMORY;
        item->item_path = read_line(file, path);
        if (item->item_path == nullptr) {
            remove_item(item);
            return PL_NO_MEMORY;
        }
        // The first empty line ends the list; the end of the file reads as one too.
        if (item->item_path[0] == '\0') {
            remove_item(item);
            return PL_OK;
        }
        const char *slash = std::strrchr(item->item_path, '/');
        owned_text fall_back(copy_string(slash != nullptr ? slash + 1 : item->item_path));
        if (fall_back == nullptr) {
            remove_item(item);
            return PL_NO_MEMORY;
        }
        unsigned result = describe_item(item, fall_back.get(), buffer, sizeof buffer);
        if (result != PL_OK)
            return result;
    }
    return PL_OK;
}
