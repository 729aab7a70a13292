#include "export/song_text.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/fd_write.h"
#include "console/log.h"
#include "console/program_exit.h"
#include "console/screen_text.h"
#include "console/text.h"
#include "export/output_guard.h"
#include "export/pager.h"
#include "playback/module_state.h"

namespace {

// "%3d. " of any 32-bit number, with the terminator snprintf adds.
constexpr size_t PREFIX_ROOM = 16;
constexpr size_t ENTRY_ROOM = PREFIX_ROOM + LONGEST_LIST_NAME + 1;

using name_getter_of_decoder = unsigned int (*)(ModPlugFile *file, unsigned int number,
                                                char *destination);
using name_getter = unsigned int (*)(unsigned int number, char *destination);

struct name_list_kind {
    unsigned int (*count)(ModPlugFile *file);
    name_getter name;
    const char *none_text;
    const char *export_text;
    const char *write_failed_text;
};

const name_list_kind SAMPLE_NAMES = {ModPlug_NumSamples, sample_list_name, "Song has no samples.",
                                     "Exporting sample names...\n", "write(2) failed\n"};
const name_list_kind INSTRUMENT_NAMES = {ModPlug_NumInstruments, instrument_list_name,
                                         "Song has no instruments.",
                                         "Exporting instrument names...\n", "write(2) failed!\n"};

// The whole list in one block of exactly its length (*length), or null when a name is too
// long or memory runs out.
char *build_name_list(const name_list_kind &kind, unsigned int count, bool for_screen,
                      size_t *length) {
    size_t used = 0;
    char *list = static_cast<char *>(std::malloc(ENTRY_ROOM));
    if (list == nullptr)
        return nullptr;
    for (unsigned int number = 1; number <= count; ++number) {
        char name[LIST_NAME_ROOM];
        if (kind.name(number, name) > LONGEST_LIST_NAME) {
            std::free(list);
            return nullptr;
        }
        int prefix = std::snprintf(list + used, PREFIX_ROOM, "%3u. ", number);
        used += static_cast<size_t>(prefix);
        size_t text_length = std::strlen(name);
        // A name's own line breaks and escapes would break the list's layout on screen.
        if (for_screen)
            text_length = make_screen_safe(name, text_length, 0);
        std::memcpy(list + used, name, text_length);
        used += text_length;
        list[used++] = '\n';
        // Room for one more entry of the largest size.
        char *bigger = static_cast<char *>(std::realloc(list, used + ENTRY_ROOM));
        if (bigger == nullptr) {
            std::free(list);
            return nullptr;
        }
        list = bigger;
    }
    char *exact = static_cast<char *>(std::realloc(list, used));
    if (exact == nullptr) {
        std::free(list);
        return nullptr;
    }
    *length = used;
    return exact;
}

unsigned int list_name(name_getter_of_decoder name, unsigned int number, char *destination) {
    // The decoder may copy more than the name into the destination before the length can be
    // checked: room far beyond the longest name keeps that inside the buffer.
    std::memset(destination, 0, LIST_NAME_ROOM);
    unsigned int length = name(loaded_module, number, destination);
    destination[LONGEST_LIST_NAME] = '\0';
    return length;
}

void list_names(const name_list_kind &kind, int fd, const char *file_name) {
    unsigned int count = kind.count(loaded_module);
    if (count == 0) {
        std::puts(kind.none_text);
        return;
    }
    size_t length = 0;
    char *list = build_name_list(kind, count, fd == 0, &length);
    if (list == nullptr)
        return;
    if (fd == 0) {
        page_text(list, static_cast<int32_t>(length));
        std::free(list);
        return;
    }
    log_info("%s", kind.export_text);
    if (write_all(fd, list, length) == 0) {
        if (file_name != nullptr)
            log_system_error("write", file_name);
        log_error("%s", kind.write_failed_text);
    } else
        log_info("%u bytes written OK...\n", static_cast<unsigned int>(length));
    std::free(list);
}

} // namespace

void show_message(const char *) {
    const char *message = ModPlug_GetMessage(loaded_module);
    if (message == nullptr) {
        std::puts("No message is available...");
        return;
    }
    // Shown without its control characters; its line breaks lay out the pages.
    owned_text shown(screen_safe_copy(message, 1));
    if (!shown)
        exit_out_of_memory();
    page_text(shown.get(), static_cast<int32_t>(std::strlen(shown.get())));
    std::putchar('\n');
}

owned_text song_message_with_line_feeds() {
    const char *message = ModPlug_GetMessage(loaded_module);
    if (message == nullptr)
        return nullptr;
    owned_text copy(copy_string(message));
    if (!copy)
        exit_out_of_memory();
    for (char *at = copy.get(); *at != '\0'; ++at)
        if (*at == '\r')
            *at = '\n';
    return copy;
}

void save_message(const char *path) {
    const char *message = ModPlug_GetMessage(loaded_module);
    log_info("Exporting song text message to '%s'\n", path);
    if (message == nullptr) {
        std::puts("No message is available...");
        return;
    }
    if (output_is_module_file(path))
        return;
    FILE *file = std::fopen(path, "w+");
    if (file == nullptr) {
        log_system_error("open", path);
        std::puts("... file open error!");
        return;
    }
    // Lines in the decoder's message end with CR; the file gets Unix line ends.
    size_t length = std::strlen(message);
    for (size_t i = 0; i < length; ++i)
        std::fputc(message[i] == '\r' ? '\n' : message[i], file);
    // A full disk must not be reported as a saved text.
    bool failed = std::ferror(file) != 0;
    int error_number = errno;
    if (std::fclose(file) != 0 && !failed) {
        failed = true;
        error_number = errno;
    }
    if (failed) {
        errno = error_number;
        log_system_error("write", path);
        std::puts("... file write error!");
        return;
    }
    log_info("%d bytes written\n", static_cast<int>(length));
}

unsigned int sample_list_name(unsigned int number, char *destination) {
    return list_name(ModPlug_SampleName, number, destination);
}

unsigned int instrument_list_name(unsigned int number, char *destination) {
    return list_name(ModPlug_InstrumentName, number, destination);
}

void list_sample_names(int fd) {
    list_names(SAMPLE_NAMES, fd, nullptr);
}

void list_instrument_names(int fd) {
    list_names(INSTRUMENT_NAMES, fd, nullptr);
}

void write_sample_names(int fd, const char *file_name) {
    list_names(SAMPLE_NAMES, fd, file_name);
}

void write_instrument_names(int fd, const char *file_name) {
    list_names(INSTRUMENT_NAMES, fd, file_name);
}
