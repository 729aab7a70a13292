#include "console/console_question.h"

#include <cstdio>
#include <unistd.h>

#include "console/console_input.h"
#include "console/line_editor.h"
#include "console/line_reader.h"

namespace {

enum class line_source { undecided, plain, editor };

line_source source = line_source::undecided;

// The editor needs both ends at the terminal: its redrawing would otherwise land in a
// file or a pipe.
bool at_terminal() {
    if (source == line_source::undecided) {
        bool terminal = console_is_terminal() && isatty(STDOUT_FILENO);
        source = terminal && line_editor_start() ? line_source::editor : line_source::plain;
    }
    return source == line_source::editor;
}

char *ask(const char *prompt, completion_words words, int walk_history) {
    if (at_terminal())
        return line_editor_read(prompt, words, walk_history);
    std::fputs(prompt, stdout);
    std::fflush(stdout);
    return read_console_line(prompt);
}

} // namespace

char *ask_command_line(const char *prompt, completion_words words) {
    return ask(prompt, words, 1);
}

char *ask_file_name(const char *prompt) {
    return ask(prompt, nullptr, 0);
}
