#include "playback/key_poll.h"

#include <cstdio>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

int key_pressed() { return wait_for_key_press(0); }

int wait_for_key_press(int seconds) {
    termios saved;
    bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios raw = saved;
        cfmakeraw(&raw);
        tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    }
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(STDIN_FILENO, &readable);
    timeval limit{seconds, 0};
    int count = select(1, &readable, nullptr, nullptr, &limit);
    if (terminal)
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    // An exhausted pipe or file is always "readable"; peek so that it does not pause
    // playback after every chunk. The character read is pushed back for the menu.
    if (count > 0 && !terminal) {
        int c = getc(stdin);
        if (c == EOF)
            return 0;
        ungetc(c, stdin);
    }
    return count;
}
