#include "console/line_editor.h"

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <locale.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <editline/readline.h>

#include "console/line_history.h"
#include "console/line_reader.h"
#include "console/program_exit.h"
#include "console/text.h"

namespace {

termios saved_modes;
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

void restore_terminal() {
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_modes);
}

// Blocks until standard input has something to read. The exit signals are held while the
// flag is checked and let through only inside pselect, so one that arrives just before
// the wait still ends it at once (the exit restores the terminal first).
void wait_for_key() {
    sigset_t held;
    sigset_t previous;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    sigaddset(&held, SIGHUP);
    sigprocmask(SIG_BLOCK, &held, &previous);
    for (;;) {
        if (exit_signal_number != 0) {
            sigprocmask(SIG_SETMASK, &previous, nullptr);
            exit_if_signalled();
        }
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(STDIN_FILENO, &readable);
        int count = pselect(1, &readable, nullptr, nullptr, nullptr, &previous);
        if (count > 0 || (count < 0 && errno != EINTR))
            break; // something to read, or an error that the read itself will report
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
}

// libedit's key reader: one character, decoded in the editor's locale, or -1 at the end
// of input or on an error. A byte sequence that is no character is dropped, as libedit's
// own reader drops it.
int read_key(FILE *) {
    mbstate_t state{};
    for (;;) {
        wait_for_key();
        char byte;
        ssize_t count = read(STDIN_FILENO, &byte, 1);
        if (count < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (count != 1)
            return -1;
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
    if (tcgetattr(STDIN_FILENO, &saved_modes) != 0)
        return 0;
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
    exit_set_terminal_cleanup(restore_terminal);
    return 1;
}

char *line_editor_read(const char *prompt, completion_words words, int walk_history) {
    current_words = words;
    show_history(walk_history);
    note_console_input_end(0);
    // An earlier end of input typed at a plain question is over: the terminal reads on.
    std::clearerr(stdin);
    std::fflush(stdout);
    char *line = in_editor_locale([prompt] { return readline(prompt); });
    if (line != nullptr)
        return line;
    note_console_input_end(1);
    return copy_string("");
}
