#pragma once
// The non-blocking keyboard poll of the play loops.

/// 1 when a key is waiting on standard input, 0 when none is; never blocks and consumes
/// no key. A terminal is polled in raw mode for the moment of the poll, and only when
/// this process is in its foreground (a background job never touches the terminal and
/// sees no key). Other input counts as a key only when it has a byte to read: at its end,
/// closed or unreadable, none can ever come.
int key_pressed();

/// key_pressed, waiting up to seconds for a key: 1 when one is waiting (not consumed),
/// 0 when none came. A SIGINT, SIGTERM or SIGHUP during the wait ends the program.
int wait_for_key_press(int seconds);
