#include "console/line_editor.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <locale.h>

#include <editline/readline.h>

#include "console/console_input.h"
#include "console/line_history.h"
#include "console/line_reader.h"
#include "console/terminal_mode.h"
#include "console/text.h"

namespace {

// The user's character set for libedit alone, so that typed UTF-8 names stay whole while
// the rest of the program keeps the C locale. Null when the environment names none.
locale_t editor_locale = nullptr;
completion_words current_words = nullptr;

// Keys that edit as a shell's do, where libedit's emacs map differs. A ~/.editrc read
// afterwards still has the last word. The line is split as a shell splits words, so a
// backslash that libedit's key notation needs is written twice.
constexpr const char *KEY_BINDINGS[] = {
    // Ctrl-W: the word before the cursor; Ctrl-U: the line up to the cursor.
    "bind ^W ed-delete-prev-word",
    "bind ^U vi-kill-line-prev",
    // Home and End in the keypad's application mode.
    "bind \\\\eOH ed-move-to-beg",
    "bind \\\\eOF ed-move-to-end",
    nullptr,
};

// libedit's key reader: one character, decoded in the editor's locale, or -1 at the end
// of input or on an error. The keys come through the console's input buffer, the one
// reader of standard input, so that nothing a plain question read ahead (a pasted line,
// keys typed during playback) is lost to the editor; the wait there lets an exit signal
// end the program at once, with the terminal's modes restored. A byte sequence that is
// no character is dropped, as libedit's own reader drops it.
int read_key(FILE *) {
    mbstate_t state{};
    for (;;) {
        const char *bytes;
        if (console_input_bytes(&bytes) == 0)
            return -1;
        char byte = bytes[0];
        consume_console_input(1);
        wchar_t key = 0;
        size_t used = std::mbrtowc(&key, &byte, 1, &state);
        if (used == static_cast<size_t>(-2))
            continue; // more bytes of this character follow
        if (used == static_cast<size_t>(-1)) {
            state = mbstate_t{};
            continue;
        }
        return static_cast<int>(key);
    }
}

// libedit would switch the terminal to its editing mode only at the first key it reads,
// after the prompt is out: a key typed at once would meet the terminal's own line
// editing, which turns a Ctrl-D into an invisible end-of-line mark.
int prepare_terminal() {
    rl_prep_terminal(1);
    return 0;
}

char **complete(const char *text, int, int) {
    // Never fall back to libedit's own file names: they quote blanks with backslashes,
    // which the shell would take as part of the name.
    rl_attempted_completion_over = 1;
    return complete_answer(text, current_words);
}

// libedit's history is only a view of the line history, laid out afresh for each answer,
// so that the up key and the '!' forms always see the same lines. Blank lines are left
// out: recalling one would look like nothing happened.
void show_history(int walk_history) {
    clear_history();
    if (!walk_history)
        return;
    for (size_t age = history_count(); age-- > 0;) {
        const char *line = history_line(age);
        if (line[std::strspn(line, " \t")] != '\0')
            add_history(line);
    }
}

// Runs body with the editor's locale as this thread's.
template <typename Body> auto in_editor_locale(Body body) {
    locale_t previous = editor_locale != nullptr ? uselocale(editor_locale) : nullptr;
    auto result = body();
    if (previous != nullptr)
        uselocale(previous);
    return result;
}

} // namespace

int line_editor_start() {
    editor_locale = newlocale(LC_CTYPE_MASK, "", nullptr);
    rl_readline_name = "marrowtide";
    rl_getc_function = read_key;
    // The program's own handler and waits deal with signals; libedit's would send them
    // on to the whole process group.
    rl_catch_signals = 0;
    rl_attempted_completion_function = complete;
    rl_pre_input_hook = prepare_terminal;
    // The whole answer before the cursor goes to complete(), which finds its own words.
    rl_basic_word_break_characters = "";
    rl_completion_append_character = '\0';
    if (in_editor_locale([] { return rl_initialize(); }) != 0)
        return 0;
    for (const char *const *binding = KEY_BINDINGS; *binding != nullptr; ++binding)
        rl_parse_and_bind(*binding);
    rl_read_init_file(nullptr);
    return 1;
}

char *line_editor_read(const char *prompt, completion_words words, int walk_history) {
    current_words = words;
    show_history(walk_history);
    begin_console_answer();
    std::fflush(stdout);
    // libedit puts the terminal's modes back when the answer is in; until then every
    // exit does.
    int saved = save_terminal_modes();
    char *line = in_editor_locale([prompt] { return readline(prompt); });
    if (saved)
        forget_terminal_modes();
    if (line == nullptr) {
        // Ctrl-D on an empty line, or the terminal's end: the empty answer.
        end_console_answer();
        return copy_string("");
    }
    if (std::strlen(line) > LINE_LIMIT) {
        std::free(line);
        return refuse_long_answer(prompt);
    }
    return line;
}
