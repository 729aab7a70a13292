#pragma once
// The live pattern view of display: the rows of the playing pattern, one line per row,
// with the notes of a range of channels.

#include <cstdint>

/// 1-based first and last channel shown; set by every display command.
extern int32_t first_channel;
extern int32_t last_channel;

/// The display action: argument "<X>-<Y>" (or null for every channel).
void show_pattern_display(const char *argument);

/// Reads the first and last channel out of text ("3-7", "3", "-7", ...) as atoi does.
void parse_channel_range(const char *text, int32_t &first, int32_t &last);

/// Clamps the channels into the module's range, prints the header and plays with the
/// row loop. Returns play_with_callback's result.
int start_pattern_display(int32_t first, int32_t last);

/// Prints the header line and the rule for first_channel..last_channel.
void print_display_header();

/// The loop function of the view, handed to play_with_callback.
void pattern_row_loop();

/// The three-character text of a cell's note byte into text (4 bytes).
void note_cell_text_of(uint8_t note, char *text);
