#include "export/export_menu.h"

#include <cstdint>
#include <cstdio>

#include "console/console_question.h"
#include "console/line_reader.h"
#include "console/log.h"
#include "console/program_exit.h"
#include "console/text.h"
#include "export/aiff_export.h"
#include "export/compressed_export.h"
#include "export/compressed_formats.h"
#include "export/wave_export.h"
#include "playback/module_state.h"

namespace {

constexpr const char *EXPORT_FAILED = "Error while exporting!";
constexpr const char *FILENAME_QUESTION = "Export to filename [press enter to cancel]? ";
constexpr const char *FORMAT_QUESTION = "format> ";

constexpr const char *FORMAT_MENU = "\nAvailable formats:\n"
                                    "[select an option, or press ENTER to cancel]\n"
                                    "================ Audio export options =================\n"
                                    "a) Export audio as WAVE (WAV), 16-bit\n"
                                    "b) Export audio as Audio IFF (AIFF), 16-bit\n"
                                    "c) Export audio as Audio IFF (AIFF), 24-bit\n"
                                    "d) Export audio as Audio IFF (AIFF), 32-bit\n"
                                    "e) Export audio as raw system-endian 16-bit PCM\n"
                                    "f) Export audio as raw little-endian 16-bit PCM\n"
                                    "g) Export audio as raw big-endian 16-bit PCM\n\n"
                                    "=============== Module export options =================\n"
                                    "h) Convert to Impulse Tracker (IT)\n\n";

constexpr const char *COMPRESSED_HEADING =
    "=========== Compressed audio export options ============\n";

constexpr const char *MENU_END = "=======================================================\n"
                                 "(audio will be exported using current sound options)\n";

// One line per compressed format, the last followed by a blank line like entries g and h.
void print_compressed_entries() {
    std::fputs(COMPRESSED_HEADING, stdout);
    for (const compressed_format *row = compressed_formats(); row->name != nullptr; ++row)
        std::printf("%c) Export audio as %s\n%s", row->letter, row->label,
                    row[1].name == nullptr ? "\n" : "");
}

// Each entry reports its own failure: the AIFF entries on standard output, the others
// through log_error.
void report_failure() {
    log_error("%s\n", EXPORT_FAILED);
}

// A signal that stopped the export ends the program once the exporter has finished the
// file, before any verdict on the export is printed.
void export_as_wav(const char *path) {
    uint32_t size = export_wav(path);
    exit_if_signalled();
    if (size == 0)
        report_failure();
}

void export_as_aiff(const char *path, int bits) {
    int result = export_aiff(path, bits);
    exit_if_signalled();
    if (result <= 0)
        std::printf("%s\n", EXPORT_FAILED);
}

void export_as_raw(const char *path, int raw_flags) {
    uint64_t count = export_raw_pcm(path, raw_flags);
    exit_if_signalled();
    if (count == 0)
        report_failure();
}

void entry_wav(const char *path) {
    export_as_wav(path);
}
void entry_aiff16(const char *path) {
    export_as_aiff(path, 16);
}
void entry_aiff24(const char *path) {
    export_as_aiff(path, 24);
}
void entry_aiff32(const char *path) {
    export_as_aiff(path, 32);
}
void entry_raw_host(const char *path) {
    export_as_raw(path, 0);
}
void entry_raw_little(const char *path) {
    export_as_raw(path, 8);
}
void entry_raw_big(const char *path) {
    export_as_raw(path, 2);
}

// A signal ends the export with its file finished; the program then ends as on any signal.
void export_as_compressed(const char *path, const compressed_format &format) {
    int result = export_compressed(path, format);
    if (result == COMPRESSED_INTERRUPTED)
        exit_if_signalled();
    if (result != COMPRESSED_DONE)
        report_failure();
}

void entry_it(const char *) {
    log_error("ModPlug compiled without 'save' support\n");
    report_failure();
}

struct menu_entry {
    char letter;
    void (*run)(const char *path);
};

constexpr menu_entry MENU_ENTRIES[] = {
    {'a', entry_wav},     {'b', entry_aiff16},   {'c', entry_aiff24},
    {'d', entry_aiff32},  {'e', entry_raw_host}, {'f', entry_raw_little},
    {'g', entry_raw_big}, {'h', entry_it},       {'\0', nullptr},
};

// The answer to question, written first; without memory for it the program ends.
owned_text ask(const char *question) {
    std::fputs(question, stdout);
    std::fflush(stdout);
    owned_text answer(read_console_line(question));
    if (!answer)
        exit_out_of_memory();
    return answer;
}

} // namespace

void export_menu(const char *) {
    owned_text path(ask_file_name(FILENAME_QUESTION));
    if (!path)
        exit_out_of_memory();
    trim_right(path.get());
    if (path.get()[0] == '\0')
        return;
    for (;;) {
        // The menu always exports the whole song.
        start_order = 0;
        stop_order = 0;
        std::fputs(FORMAT_MENU, stdout);
        print_compressed_entries();
        std::fputs(MENU_END, stdout);
        owned_text answer = ask(FORMAT_QUESTION);
        char letter = answer.get()[0];
        if (letter == '\0')
            return;
        for (const menu_entry *entry = MENU_ENTRIES; entry->run != nullptr; ++entry) {
            if (entry->letter == letter) {
                entry->run(path.get());
                return;
            }
        }
        if (const compressed_format *format = compressed_format_of_letter(letter)) {
            export_as_compressed(path.get(), *format);
            return;
        }
    }
}
