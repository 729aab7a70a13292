#pragma once
// The loaded module's texts: the song message and the sample and instrument names.
// Every function here needs a loaded module.

#include <cstddef>

#include "console/text.h"

/// The most characters of a name the name lists hold.
inline constexpr unsigned int LONGEST_LIST_NAME = 40;
/// The room a destination of sample_list_name and instrument_list_name must have.
inline constexpr size_t LIST_NAME_ROOM = 256;

/// The shell's message (argument ignored): the song message through page_text, then an
/// LF; "No message is available..." when the module has none.
void show_message(const char *argument);

/// A copy of the song message with every CR as an LF; null without a message. Memory
/// running out ends the program (status 3).
owned_text song_message_with_line_feeds();

/// Writes the song message to path (created or truncated), every CR as an LF and nothing
/// added. Reports "Exporting song text message to '<path>'" first, then "<n> bytes
/// written" through log_info. Without a message it prints "No message is available..."
/// and creates no file; refuses (reported) to write onto the module file itself; prints
/// "... file open error!" when the file cannot be opened, "... file write error!" when it
/// cannot be written, each after the system's reason through log_error.
void save_message(const char *path);

/// The list of sample names, one line each as "%3d. <name>\n" counting from 1 ("  1.
/// Kick"). fd 0 shows it through page_text; any other descriptor gets it written whole
/// (reported through log_info, a failed write through log_error) and stays open. A module
/// without samples prints "Song has no samples." and writes nothing. When a name is longer
/// than 40 characters, or memory runs out, nothing is shown or written.
void list_sample_names(int fd);

/// list_sample_names for the instruments; "Song has no instruments." when there are none.
void list_instrument_names(int fd);

/// The name of sample number (counting from 1) as the sample list holds it: copied into
/// destination (LIST_NAME_ROOM bytes), zero-terminated and cut at LONGEST_LIST_NAME
/// characters. Returns the length the decoder reported; above LONGEST_LIST_NAME the
/// lists are abandoned.
unsigned int sample_list_name(unsigned int number, char *destination);

/// sample_list_name for the instruments.
unsigned int instrument_list_name(unsigned int number, char *destination);

/// list_sample_names into the open file file_name (fd, not 0): a failed write is reported
/// with the system's reason first, "CAN'T write(\"<file_name>\"): <reason>".
void write_sample_names(int fd, const char *file_name);

/// write_sample_names for the instruments.
void write_instrument_names(int fd, const char *file_name);
