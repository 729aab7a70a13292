#pragma once
// The start-up sequence: what the process does once the command line has been read.

/// Runs the sequence for the choices in startup and ends the process with its exit status.
[[noreturn]] void run_startup();

/// The cleanup of every exit outside the normal flow: closes the audio device if it is
/// open and releases the loaded module.
void release_everything();

/// Quiet mode's loop for play_with_callback: plays to the song's end, no keys, no status.
void play_until_end();
