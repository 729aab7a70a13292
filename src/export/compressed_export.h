#pragma once
// Rendering the loaded module into a file of one of the compressed formats (FLAC, Ogg
// Vorbis, Ogg Opus, MP3), written through libsndfile.

struct compressed_format;

/// Results of export_compressed.
enum compressed_result {
    COMPRESSED_FAILED = 0,
    COMPRESSED_DONE = 1,
    COMPRESSED_INTERRUPTED = 2, ///< a signal was recorded: the file holds what came before
};

/// Renders the loaded module from start_order up to stop_order into a file of format at
/// path (created or truncated, mode 0644), with the song name as its title tag and the
/// song message, carriage returns as line feeds, as its comment tag. The decoder is read
/// as the format's row says (16 bits in WAVE's chunks, or 32 bits from a fresh load in
/// AIFF's), at the format's rate or the settings' one, with the settings' channels; the
/// loop count applies, and the last fade_seconds fade out. Reports progress through
/// log_info. Leaves sample_bits at the row's bits and the module as the export left it.
///
/// When a signal is recorded (exit_signal_number) the export stops after the last whole
/// chunk, finishes the file and returns COMPRESSED_INTERRUPTED; the caller acts on the
/// signal. Returns COMPRESSED_DONE on success; COMPRESSED_FAILED without a loaded module,
/// for an endless loop count, when path is the module's own file (both reported by their
/// guards; nothing is touched), when the file cannot be written (the reason reported; a
/// file that was opened stays) and when the song yields no audio.
int export_compressed(const char *path, const compressed_format &format);
