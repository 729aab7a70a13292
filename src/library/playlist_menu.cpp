#include "library/playlist_menu.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "console/console_question.h"
#include "console/line_reader.h"
#include "console/log.h"
#include "console/program_exit.h"
#include "console/text.h"
#include "library/playlist.h"
#include "playback/key_poll.h"
#include "playback/module_loader.h"
#include "playback/module_state.h"
#include "playback/play_loop.h"

namespace {

constexpr const char *START_MENU = "[select an option, or press ENTER to cancel]\n"
                                   "a) Import playlist from current dir.\n"
                                   "b) Load a saved playlist\n"
                                   "c) New Playlist\n";

constexpr const char *ITEM_MENU = "[select an option, or press ENTER to cancel]\n"
                                  "p) PLAY\n"
                                  "s) SAVE\n"
                                  "n) NEW ITEM\n"
                                  "d) DELETE ITEM\n"
                                  "m) MOVE ITEM\n"
                                  "v) VIEW ITEMS\n"
                                  "q) QUIT\n";

constexpr const char *OPTION_PROMPT = "option> ";
constexpr const char *FILENAME_PROMPT = "filename> ";
constexpr const char *DELETE_PROMPT =
    "delete item number [first item is 0; press ENTER to cancel]? ";
constexpr const char *MOVE_FROM_PROMPT =
    "move item number [first item is 0; press ENTER to cancel]? ";
constexpr const char *MOVE_TO_PROMPT = "new position for the item [start at 0; ENTER to cancel]? ";
constexpr const char *NO_SUCH_ITEM = "couldn`t find such playlist item!";
constexpr const char *QUIT_QUESTION = "playlist will be deleted. are you sure [y/n]? ";
constexpr const char *STOP_NOTICE = "[press any key to stop playlist]";

// How long the play loop waits for a key between two items.
constexpr time_t KEY_WAIT_SECONDS = 2;
// describe_item reads at most this much of a file's beginning.
constexpr size_t HEADER_BYTES = 1024;

// The directory the command started in; null (and the reason kept) when it is unknown.
struct menu_context {
    const char *directory;
    int directory_error;
};

enum class menu_step { stay, leave };

void show_prompt(const char *prompt) {
    std::fputs(prompt, stdout);
    std::fflush(stdout);
}

// The answer at prompt; null when memory ran out.
owned_text ask(const char *prompt) {
    show_prompt(prompt);
    return owned_text(read_console_line(prompt));
}

// The answer at prompt; without memory for it the program ends.
owned_text ask_or_exit(const char *prompt) {
    owned_text answer = ask(prompt);
    if (!answer)
        exit_out_of_memory();
    return answer;
}

// A file name at FILENAME_PROMPT (Tab completes it at a terminal); null when memory ran out.
owned_text ask_file() {
    return owned_text(ask_file_name(FILENAME_PROMPT));
}

// Waits up to KEY_WAIT_SECONDS for a key (not consumed). Returns 1 when one is waiting,
// 0 when none came (an input at its end, or a background job, has no key to give). An
// exit signal before or during the wait ends the program here, not just the playlist.
int wait_for_key() {
    exit_if_signalled();
    int count = wait_for_key_press(KEY_WAIT_SECONDS);
    exit_if_signalled();
    return count != 0 ? 1 : 0;
}

// --- the first menu: each entry returns true when the item menu follows -------------------

bool start_import(const menu_context &context) {
    if (context.directory == nullptr) {
        log_error("CAN'T get the current directory: %s\n", std::strerror(context.directory_error));
        return true;
    }
    report_playlist_result(import_directory(context.directory), context.directory);
    return true;
}

bool start_load(const menu_context &) {
    owned_text name = ask_file();
    if (!name)
        exit_out_of_memory();
    if (name.get()[0] == '\0')
        return false;
    report_playlist_result(load_playlist(name.get()), name.get());
    return true;
}

bool start_empty(const menu_context &) {
    return true;
}

struct start_entry {
    char letter;
    bool (*run)(const menu_context &context);
};

constexpr start_entry START_ENTRIES[] = {
    {'a', start_import},
    {'b', start_load},
    {'c', start_empty},
    {'\0', nullptr},
};

// --- the item menu ------------------------------------------------------------------------

menu_step play_items(const menu_context &) {
    for (playlist_item *item = item_after(nullptr); item != nullptr; item = item_after(item)) {
        unload_module();
        // The module borrows the item's path; remove_item hands it a copy if need be.
        module_path = item->item_path;
        module_path_owned = 0;
        load_module();
        if (module_path == nullptr)
            continue;
        play_interactive();
        std::puts(STOP_NOTICE);
        std::fflush(stdout);
        usleep(50000);
        if (wait_for_key() != 0)
            break;
    }
    return menu_step::stay;
}

menu_step save_items(const menu_context &) {
    owned_text name = ask_file();
    if (!name) {
        report_out_of_memory();
        return menu_step::stay;
    }
    if (name.get()[0] != '\0')
        report_playlist_result(save_playlist(name.get()), name.get());
    return menu_step::stay;
}

menu_step add_item(const menu_context &context) {
    owned_text name = ask_file();
    if (!name) {
        report_out_of_memory();
        return menu_step::stay;
    }
    if (name.get()[0] == '\0')
        return menu_step::stay;
    trim_right(name.get());
    bool absolute = name.get()[0] == '/';
    if (!absolute && context.directory == nullptr) {
        log_error("\"%s\" is relative and the current directory is unknown\n", name.get());
        return menu_step::stay;
    }
    owned_text path(absolute ? copy_string(name.get()) : join_path(context.directory, name.get()));
    owned_text fall_back(path ? copy_string(path.get()) : nullptr);
    if (!fall_back) {
        report_out_of_memory();
        return menu_step::stay;
    }
    playlist_item *item = append_item();
    if (item == nullptr) {
        report_out_of_memory();
        return menu_step::stay;
    }
    item->item_path = path.release();
    unsigned char header[HEADER_BYTES];
    // A file that cannot be examined adds no item; describe_item has removed it again.
    describe_item(item, fall_back.get(), header, sizeof header);
    return menu_step::stay;
}

menu_step delete_item(const menu_context &) {
    for (;;) {
        owned_text answer = ask(DELETE_PROMPT);
        if (!answer) {
            report_out_of_memory();
            return menu_step::stay;
        }
        // An exhausted input gives an empty answer, which ends this loop too.
        if (answer.get()[0] == '\0')
            return menu_step::stay;
        playlist_item *item = item_at(text_to_int(answer.get()));
        if (item != nullptr) {
            remove_item(item);
            return menu_step::stay;
        }
        std::puts(NO_SUCH_ITEM);
        if (console_input_ended())
            return menu_step::stay;
    }
}

menu_step move_one_item(const menu_context &) {
    owned_text from = ask(MOVE_FROM_PROMPT);
    if (!from) {
        report_out_of_memory();
        return menu_step::stay;
    }
    if (from.get()[0] == '\0')
        return menu_step::stay;
    owned_text to = ask(MOVE_TO_PROMPT);
    if (!to) {
        report_out_of_memory();
        return menu_step::stay;
    }
    if (to.get()[0] == '\0')
        return menu_step::stay;
    report_playlist_result(move_item(text_to_int(from.get()), text_to_int(to.get())), to.get());
    return menu_step::stay;
}

menu_step view_items(const menu_context &) {
    print_playlist();
    return menu_step::stay;
}

menu_step quit_playlist(const menu_context &) {
    log_warning("%s", QUIT_QUESTION);
    std::fflush(stderr);
    owned_text answer(read_console_line(QUIT_QUESTION));
    if (!answer)
        exit_out_of_memory();
    if (answer.get()[0] != 'y')
        return menu_step::stay;
    clear_playlist();
    return menu_step::leave;
}

struct item_entry {
    char letter;
    menu_step (*run)(const menu_context &context);
};

constexpr item_entry ITEM_ENTRIES[] = {
    {'p', play_items},    {'s', save_items}, {'n', add_item},      {'d', delete_item},
    {'m', move_one_item}, {'v', view_items}, {'q', quit_playlist}, {'\0', nullptr},
};

void item_menu(const menu_context &context) {
    for (;;) {
        std::fputs(ITEM_MENU, stdout);
        owned_text answer = ask_or_exit(OPTION_PROMPT);
        char letter = answer.get()[0];
        if (letter == '\0') {
            // No answer can come any more: drop the list as a confirmed q does. Ctrl-D at
            // a terminal only answers this question, and the menu asks again.
            if (console_input_exhausted()) {
                clear_playlist();
                return;
            }
            continue;
        }
        for (const item_entry *entry = ITEM_ENTRIES; entry->run != nullptr; ++entry) {
            if (entry->letter == letter) {
                if (entry->run(context) == menu_step::leave)
                    return;
                break;
            }
        }
    }
}

} // namespace

void playlist_menu(const char *) {
    // getcwd with a null buffer sizes the text itself, so deep directories still work.
    owned_text directory(getcwd(nullptr, 0));
    menu_context context{directory.get(), directory ? 0 : errno};
    std::fputs(START_MENU, stdout);
    owned_text answer = ask_or_exit(OPTION_PROMPT);
    char letter = answer.get()[0];
    for (const start_entry *entry = START_ENTRIES; entry->run != nullptr; ++entry) {
        if (entry->letter == letter) {
            if (!entry->run(context))
                return;
            print_playlist();
            item_menu(context);
            return;
        }
    }
}

void report_playlist_result(unsigned code, const char *text) {
    // Taken first: the report itself may change errno.
    int error_number = errno;
    if (text == nullptr)
        text = "";
    switch (code) {
    case PL_OK:
        return;
    case PL_INTERNAL:
        log_error("Internal error (%s)\n", text);
        return;
    case PL_NO_MEMORY:
        log_error("Memory error: %s\n", std::strerror(error_number));
        return;
    case PL_IO:
        log_error("I/O error: %s: %s\n", text, std::strerror(error_number));
        return;
    case PL_NO_ITEM:
        log_error("%s\n", NO_SUCH_ITEM);
        return;
    case PL_MODULE_FILE:
        log_error("CAN'T save the playlist over the module file %s\n", text);
        return;
    default:
        log_error("Unknown error: %d. Please report this bug.\n", static_cast<int>(code));
        return;
    }
}
