#include "shell/shell_loop.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "console/console_question.h"
#include "console/line_history.h"
#include "console/line_reader.h"
#include "console/log.h"
#include "console/program_exit.h"
#include "console/text.h"
#include "playback/module_state.h"
#include "shell/command_table.h"
#include "shell/shell_commands.h"

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

constexpr const char *PROMPT_FORMAT = "marrowtide[%s]%% ";

// The prompt text with the current directory, newly allocated; null when memory runs out.
char *make_prompt() {
    // getcwd with a null buffer sizes the text itself, so deep directories still show.
    owned_text directory(getcwd(nullptr, 0));
    const char *shown = directory ? directory.get() : "?";
    int length = std::snprintf(nullptr, 0, PROMPT_FORMAT, shown);
    char *prompt = static_cast<char *>(std::malloc(static_cast<size_t>(length) + 1));
    if (prompt != nullptr)
        std::snprintf(prompt, static_cast<size_t>(length) + 1, PROMPT_FORMAT, shown);
    return prompt;
}

// The words Tab completes at the start of a line: the command table's names.
const char *command_word(size_t index) {
    return command_table[index].command_name;
}

owned_text ask_line() {
    owned_text prompt(make_prompt());
    return owned_text(ask_command_line(prompt ? prompt.get() : "marrowtide[?]% ", command_word));
}

// Runs the remembered line on a copy, so that it stays as it was typed.
void run_remembered(const char *remembered) {
    owned_text copy(copy_string(remembered));
    if (!copy) {
        report_out_of_memory();
        return;
    }
    run_command_line(copy.get());
}

} // namespace

void run_command_line(char *line) {
    trim_right(line);
    char *argument = nullptr;
    char *end = line;
    while (*end != '\0' && !is_blank(*end) && *end != '#')
        ++end;
    if (*end == '#') {
        *end = '\0';
    } else if (is_blank(*end) && end != line) {
        *end++ = '\0';
        while (is_blank(*end))
            ++end;
        argument = end; // never empty: the trailing blanks are gone
    }
    if (line[0] == '\0')
        return;
    const command_entry *command = find_command(line);
    if (command == nullptr) {
        log_warning("%s: invalid command\nTry: `help'\n", line);
        return;
    }
    if (command->needs_module && module_path == nullptr) {
        log_warning("%s: no module loaded\n", line);
        return;
    }
    command->action(argument);
}

void shell_loop() {
    for (;;) {
        owned_text line = ask_line();
        exit_if_signalled();
        if (!line) {
            std::fputs(OUT_OF_MEMORY_TEXT, stderr);
            continue;
        }
        // At the end of the input no command can come any more: end as quit does.
        if (line.get()[0] == '\0' && console_input_ended()) {
            std::putchar('\n');
            cmd_quit(nullptr);
        }
        // The history's newest line is the one the '!' forms repeat; a line that begins
        // with '!' is never remembered.
        if (line.get()[0] == '!') {
            const char *last_command = history_newest();
            if (last_command == nullptr)
                continue;
            if (line.get()[1] == '!')
                run_remembered(last_command);
            else
                std::printf("%s\n", last_command);
            continue;
        }
        history_add(line.get());
        run_command_line(line.get());
    }
}
