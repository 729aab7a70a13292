#pragma once
// Playing the loaded module: the interactive loop with its status line and pause menu,
// the entry for callers' own loops, and the position report.

/// Plays the loaded module with a status line per chunk; any key pauses (the device is
/// released) and opens the pause menu: ENTER resumes, S stops. Returns 0 when no module
/// is loaded or the device cannot be opened (reported), else 1 when playback has ended.
int play_interactive();

/// Opens the device and runs loop, which plays with play_chunk, watches audio_active
/// and calls close_audio_output before it returns. Returns 0 when no module is loaded
/// or the device cannot be opened (reported, loop not called), else 1.
int play_with_callback(void (*loop)());

/// The action of the shell's position: the decoder's order, pattern and row.
void show_position(const char *argument);

/// The status line's elapsed whole seconds for bytes_played at bytes_per_sample.
unsigned long long elapsed_seconds(int bytes_per_sample);
