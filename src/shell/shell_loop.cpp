#include "shell/shell_loop.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

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

// Shows the prompt and reads the command line typed at it; null when memory ran out.
char *read_command_line() {
    // getcwd with a null buffer sizes the text itself, so deep directories still show.
    owned_text directory(getcwd(nullptr, 0));
    const char *shown = directory ? directory.get() : "?";
    std::printf("marrowtide[%s]%% ", shown);
    std::fflush(stdout);
    // The prompt names the question when its answer is too long.
    size_t size = std::strlen(shown) + sizeof "marrowtide[]%";
    owned_text prompt(static_cast<char *>(std::malloc(size)));
    if (!prompt)
        return nullptr;
    std::snprintf(prompt.get(), size, "marrowtide[%s]%%", shown);
    return read_console_line(prompt.get());
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
    owned_text last_command;
    for (;;) {
        owned_text line(read_command_line());
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
        if (line.get()[0] == '!') {
            if (!last_command)
                continue;
            if (line.get()[1] == '!')
                run_remembered(last_command.get());
            else
                std::printf("%s\n", last_command.get());
            continue;
        }
        last_command.reset(copy_string(line.get()));
        run_command_line(line.get());
    }
}
