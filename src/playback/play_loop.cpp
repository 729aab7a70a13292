#include "playback/play_loop.h"

#include <cstdio>

#include "console/line_reader.h"
#include "console/log.h"
#include "console/program_exit.h"
#include "console/text.h"
#include "playback/audio_output.h"
#include "playback/decoder_settings.h"
#include "playback/key_poll.h"
#include "playback/module_state.h"

namespace {

constexpr const char *PLAYING_NOTICE = "Playing \n(any key to pause)";
constexpr const char *PAUSE_MENU = "\n\n>>> Paused\nResume => ENTER\nStop   => S\n\noption? ";
// The pause menu's question, as a report about its answer names it.
constexpr const char *PAUSE_QUESTION = "option?";

void report_open_failure() {
    log_error("Error opening audio: %s\n", audio_open_failure());
}

int start_playback() {
    if (module_path == nullptr)
        return 0;
    ao_initialize();
    if (!open_audio_output()) {
        report_open_failure();
        ao_shutdown(); // libao's drivers stay loaded otherwise until the next playback
        return 0;
    }
    bytes_played = 0;
    return 1;
}

void print_status_line(int bytes_per_sample) {
    unsigned long long seconds = elapsed_seconds(bytes_per_sample);
    log_info("{%llu:%02llu}  ord: %d - pat: %d - row: %d - tempo: %d     \r", seconds / 60,
             seconds % 60, ModPlug_GetCurrentOrder(loaded_module),
             ModPlug_GetCurrentPattern(loaded_module), ModPlug_GetCurrentRow(loaded_module),
             ModPlug_GetCurrentTempo(loaded_module));
    std::fflush(stdout);
}

enum pause_choice { PAUSE_RESUME, PAUSE_STOP, PAUSE_ASK_AGAIN };

pause_choice read_pause_choice() {
    log_info("%s", PAUSE_MENU);
    std::fflush(stdout);
    owned_text answer(read_console_line(PAUSE_QUESTION));
    exit_if_signalled();
    if (!answer)
        return PAUSE_STOP;
    // The end of the input is the empty answer, as ENTER: with no key left to come, the
    // song then plays to its end.
    if (answer.get()[0] == '\0')
        return PAUSE_RESUME;
    return answer.get()[0] == 'S' ? PAUSE_STOP : PAUSE_ASK_AGAIN;
}

// The pause: releases the sound card and asks until the answer is resume or stop.
// Returns 1 when playback goes on (the device is open again), 0 when it ends.
int pause_playback() {
    ao_close(audio_device);
    audio_active = 0;
    pause_choice choice;
    while ((choice = read_pause_choice()) == PAUSE_ASK_AGAIN) {
    }
    if (choice == PAUSE_STOP)
        return 0;
    if (!open_audio_output()) {
        report_open_failure();
        return -1;
    }
    log_info("%s\n", PLAYING_NOTICE);
    return 1;
}

} // namespace

unsigned long long elapsed_seconds(int bytes_per_sample) {
    // The format the decoder renders: never zero, whatever the settings file held.
    return bytes_played / static_cast<unsigned>(bytes_per_sample) /
           static_cast<unsigned>(loaded_format.channels) /
           static_cast<unsigned>(loaded_format.rate);
}

int play_interactive() {
    if (!start_playback())
        return 0;
    int bytes_per_sample = sample_bits / 8;
    std::puts(PLAYING_NOTICE);
    while (audio_active) {
        play_chunk();
        if (!audio_active)
            break;
        exit_if_signalled();
        if (key_pressed() != 0) {
            int resumed = pause_playback();
            if (resumed < 0) {
                ao_shutdown();
                std::putchar('\n');
                return 1;
            }
            if (resumed == 0)
                break;
            play_chunk(); // the song may end right here: one more status line, then the end
        }
        print_status_line(bytes_per_sample);
    }
    close_audio_output();
    std::putchar('\n');
    return 1;
}

int play_with_callback(void (*loop)()) {
    if (!start_playback())
        return 0;
    loop();
    return 1;
}

void show_position(const char *) {
    log_info("Order: %d - Pattern: %d - Row: %d\n", ModPlug_GetCurrentOrder(loaded_module),
             ModPlug_GetCurrentPattern(loaded_module), ModPlug_GetCurrentRow(loaded_module));
}
