#include "playback/key_poll.h"

#include "console/console_input.h"
#include "console/terminal_mode.h"

int key_pressed() {
    return wait_for_key_press(0);
}

int wait_for_key_press(int seconds) {
    if (!console_is_terminal())
        return console_byte_ready(seconds * 1000);
    // In the background the terminal belongs to another job: its keys are not ours.
    if (console_input_exhausted() || !enter_raw_mode())
        return 0;
    int ready = console_byte_ready(seconds * 1000);
    leave_raw_mode();
    return ready;
}
