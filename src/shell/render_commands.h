#pragma once
// The shell's commands for how songs are rendered: the loop count and the fade at the end
// of an export. Each takes the argument text of the line or null (an empty text counts as
// none).

/// loops [<count>]: without a count prints "loops: %d\n"; a whole number (negative: for
/// ever) becomes loop_count; any other text prints "usage: loops [<count>]\n" to standard
/// error and changes nothing.
void cmd_loops(const char *argument);

/// fadeout [<seconds>]: without seconds prints "fadeout: %g\n"; a number that is not
/// negative becomes fade_seconds (at most MAX_FADE_SECONDS); any other text prints
/// "usage: fadeout [<seconds>]\n" to standard error and changes nothing.
void cmd_fadeout(const char *argument);
