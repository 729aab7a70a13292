#include "console/terminal_mode.h"

#include <csignal>
#include <termios.h>
#include <unistd.h>

namespace {

termios saved_modes;
// Set while saved_modes holds modes that every exit must put back.
volatile std::sig_atomic_t modes_saved = 0;
bool raw_mode_on = false;
sigset_t mask_before_raw;

// Signals whose default action ends the process without running any code of ours: held
// back during raw mode, they arrive just after the modes are back. The exit signals are
// not among them: their handler only records them, and the waits must see them at once.
constexpr int DEADLY_SIGNALS[] = {SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM,
                                  SIGPROF, SIGXCPU, SIGXFSZ, SIGPOLL, SIGTSTP};

} // namespace

int terminal_in_foreground() {
    pid_t group = tcgetpgrp(STDIN_FILENO);
    return group != -1 && group == getpgrp() ? 1 : 0;
}

int save_terminal_modes() {
    if (modes_saved || tcgetattr(STDIN_FILENO, &saved_modes) != 0)
        return 0;
    modes_saved = 1;
    return 1;
}

void forget_terminal_modes() {
    modes_saved = 0;
}

int enter_raw_mode() {
    if (raw_mode_on || !terminal_in_foreground() || !save_terminal_modes())
        return 0;
    sigset_t held;
    sigemptyset(&held);
    for (int signal_number : DEADLY_SIGNALS)
        sigaddset(&held, signal_number);
    sigprocmask(SIG_BLOCK, &held, &mask_before_raw);
    termios raw = saved_modes;
    cfmakeraw(&raw);
    raw_mode_on = true;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    return 1;
}

void leave_raw_mode() {
    if (!raw_mode_on)
        return;
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_modes);
    modes_saved = 0;
    raw_mode_on = false;
    sigprocmask(SIG_SETMASK, &mask_before_raw, nullptr);
}

void restore_terminal_mode() {
    if (modes_saved)
        tcsetattr(STDIN_FILENO, TCSANOW, &saved_modes);
}
