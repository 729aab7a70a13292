#pragma once
// The command line: help request, options, usage text and version lines.

#include "console/version.h"
#include "export/export_kind.h"

/// What the command line asked for; the texts are the command-line words themselves.
struct startup_choices {
    int show_status = 1;
    int want_shell = 0;
    int want_save = 0;
    const char *output_path = nullptr;
    int export_kind = EXPORT_UNKNOWN;
    int aiff_bits = 16;
    const char *message_file = nullptr;
    const char *sample_names_file = nullptr;
    const char *instrument_names_file = nullptr;
    int describe_module = 0; ///< -j: the module's description as JSON, and nothing else
};

extern startup_choices startup;

/// Results of read_command_line.
enum command_line_result { COMMAND_LINE_DONE = 0, COMMAND_LINE_VERSION = 1 };

/// 1 when the words are exactly one "--help" or "-h", else 0.
int is_help_request(int argc, char **argv);

/// Reads argv[1..argc-1] into settings, the loaded-module state, driver_name and
/// startup. Returns COMMAND_LINE_VERSION as soon as -V is read (later words unread),
/// else COMMAND_LINE_DONE. The words are borrowed, never copied.
int read_command_line(int argc, char **argv);

/// Writes the usage text for program_name to standard error.
void print_usage(const char *program_name);
