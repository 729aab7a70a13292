#pragma once
// The non-blocking keyboard poll of the play loops.

/// select's count for standard input with a zero timeout, taken with the terminal in
/// raw mode for the moment of the poll: positive when a key is waiting, 0 when none,
/// negative on error. Never blocks and consumes no key. Input that is not a terminal
/// and has reached its end counts as no key, since none can ever come.
int key_pressed();

/// key_pressed, waiting up to seconds for a key: positive when one is waiting (not
/// consumed), 0 when none came, negative when the wait failed or was interrupted.
int wait_for_key_press(int seconds);
