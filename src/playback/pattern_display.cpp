#include "playback/pattern_display.h"

#include <cstdio>
#include <cstring>

#include "console/program_exit.h"
#include "console/text.h"
#include "playback/audio_output.h"
#include "playback/key_poll.h"
#include "playback/module_state.h"
#include "playback/play_loop.h"

int32_t first_channel = 0;
int32_t last_channel = 0;

namespace {

constexpr const char *note_names[12] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                        "F#", "G-", "G#", "A-", "A#", "B-"};
constexpr int HEADER_REPEAT = 4; // pattern changes between two headers

char note_cell_text[4];

// Prints one row's notes; 0 when the decoder has no cell data for the pattern.
int print_row(int32_t pattern, int32_t row) {
    unsigned rows = 0;
    ModPlugNote *cells = ModPlug_GetPattern(loaded_module, pattern, &rows);
    if (cells == nullptr)
        return 0;
    // A row the pattern does not have would be read past its cells: show nothing.
    if (row < 0 || static_cast<unsigned>(row) >= rows)
        return 1;
    int32_t channels = static_cast<int32_t>(ModPlug_NumChannels(loaded_module));
    if (last_channel > channels)
        return 1; // the module changed under the view: its cells are not there to read
    const ModPlugNote *cell = cells + static_cast<int64_t>(row) * channels + (first_channel - 1);
    std::printf("%3d", row);
    for (int32_t channel = first_channel; channel <= last_channel; ++channel, ++cell) {
        note_cell_text_of(cell->Note, note_cell_text);
        std::printf(" %s", note_cell_text);
    }
    std::putchar('\n');
    return 1;
}

} // namespace

void note_cell_text_of(uint8_t note, char *text) {
    switch (note) {
    case 0:
        std::memcpy(text, "...", 4);
        return;
    case 253:
        std::memcpy(text, "~~~", 4);
        return;
    case 254:
        std::memcpy(text, "^^^", 4);
        return;
    case 255:
        std::memcpy(text, "===", 4);
        return;
    default:
        // An octave of 10 or more shows its first digit only: the text is three wide.
        std::snprintf(text, 4, "%s%1d", note_names[(note - 1) % 12], (note - 1) / 12);
    }
}

void parse_channel_range(const char *text, int32_t &first, int32_t &last) {
    first = 0;
    last = 0;
    size_t length = std::strlen(text);
    if (length == 0)
        return;
    if (length == 1) {
        first = text_to_int(text);
        return;
    }
    // The leftmost '-' after the first character: a leading '-' is the first number's sign.
    const char *separator = std::strchr(text + 1, '-');
    first = text_to_int(text);
    if (separator != nullptr)
        last = text_to_int(separator + 1);
}

void show_pattern_display(const char *argument) {
    int32_t first = -1;
    int32_t last = -1;
    if (argument != nullptr && argument[0] != '\0')
        parse_channel_range(argument, first, last);
    start_pattern_display(first, last);
}

int start_pattern_display(int32_t first, int32_t last) {
    int32_t channels =
        module_path != nullptr ? static_cast<int32_t>(ModPlug_NumChannels(loaded_module)) : 0;
    first_channel = first >= 1 && first <= channels ? first : 1;
    last_channel = last >= 1 && last <= channels ? last : channels;
    if (first_channel > last_channel)
        first_channel = last_channel; // 5-3 shows channel 3 alone; the range is not swapped
    // A damaged module may report no channels at all: then there is no channel to show,
    // and no cell before the first may be read.
    if (channels < 1) {
        first_channel = 1;
        last_channel = 0;
    }
    print_display_header();
    return play_with_callback(pattern_row_loop);
}

void print_display_header() {
    std::fputs("row", stdout);
    for (int32_t channel = first_channel; channel <= last_channel; ++channel)
        std::printf(" %3d", channel);
    std::putchar('\n');
    for (int32_t group = first_channel; group <= last_channel + 1; ++group)
        std::fputs("----", stdout);
    std::putchar('\n');
}

void pattern_row_loop() {
    play_chunk();
    int32_t previous_pattern = 0;
    int32_t previous_row = -1;
    int pattern_changes = 0;
    while (audio_active) {
        exit_if_signalled();
        if (key_pressed() != 0)
            break;
        int32_t pattern = ModPlug_GetCurrentPattern(loaded_module);
        int32_t row = ModPlug_GetCurrentRow(loaded_module);
        if (pattern != previous_pattern) {
            std::fputs("\n\n\n\n", stdout);
            if (++pattern_changes == HEADER_REPEAT) {
                print_display_header();
                pattern_changes = 0;
            }
            previous_pattern = pattern;
        }
        if (row != previous_row && !print_row(pattern, row))
            break;
        std::fflush(stdout);
        previous_row = row;
        play_chunk();
    }
    close_audio_output();
}
