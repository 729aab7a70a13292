#include "playback/key_poll.h"

#include <cstdio>
#include <sys/ioctl.h>
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
    // An exhausted pipe or file is always "readable": with nothing left to read, it
    // holds no key and must not pause playback after every chunk.
    if (count > 0 && !terminal) {
        int waiting = 0;
        if (ioctl(STDIN_FILENO, FIONREAD, &waiting) == 0 && waiting == 0)
            return 0;
    }
    return count;
}
