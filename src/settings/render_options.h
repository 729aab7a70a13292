#pragma once
// How a song is rendered beyond the settings record: the loop count and the fade at the
// end of an export. They last for the session and are never stored in the settings file.

#include <cstdint>

/// How many more times a song that jumps back is followed: 0 plays it once, a negative
/// count for ever. Read by the decoder at every load.
extern int32_t loop_count;

/// Seconds at the end of every export that fade to silence; 0 for no fade. Always within
/// 0..MAX_FADE_SECONDS.
extern double fade_seconds;

/// The longest fade: the export keeps this much audio in memory.
inline constexpr double MAX_FADE_SECONDS = 60;

/// Stores seconds in fade_seconds: a negative value (or not a number) gives 0, one above
/// MAX_FADE_SECONDS gives MAX_FADE_SECONDS.
void set_fade_seconds(double seconds);

/// Reads text as a decimal number of seconds (a fraction allowed) into seconds. Returns 1
/// when the whole text, leading and trailing blanks aside, is a number that is not
/// negative; else 0 and seconds is unchanged.
int parse_fade_seconds(const char *text, double &seconds);
