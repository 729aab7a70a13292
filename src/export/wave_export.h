#pragma once
// Rendering the loaded module through the decoder at 16 bits into a WAVE file or a raw
// PCM file. Both export from start_order up to stop_order and leave sample_bits at 16.
// A SIGINT, SIGTERM, SIGHUP or SIGPIPE during an export is only recorded: the samples end
// after the last whole chunk, the file is finished as at the song's end (no "done"), and
// the caller then acts on exit_signal_number. A file that cannot be opened or written is
// reported as "CAN'T <call>(\"<path>\"): <reason>" through log_error.

#include <cstdint>

/// Renders the loaded module into a WAVE file at path (created or truncated, mode 0644):
/// the 44-byte header, then the 16-bit samples; every multi-byte field and sample is in
/// the byte order settings.little_endian names. Reports progress through log_info.
/// Returns the file's size in bytes (header included), or 0 when path is the module's own
/// file (reported by the guard), when it cannot be opened or written, or when the song
/// yields no audio; a file that was opened stays. Needs a loaded module.
uint32_t export_wav(const char *path);

/// Renders the loaded module into a raw 16-bit PCM file at path (created or truncated,
/// mode 0644). Of raw_flags only two bits count: value 2 asks for big-endian samples,
/// value 8 for little-endian, neither for the order settings.little_endian names.
/// Returns the count of sample bytes written, or 0 when path is the module's own file
/// (reported by the guard), when it cannot be opened or written, or when the song yields
/// no audio; a file that was opened stays. Needs a loaded module.
uint64_t export_raw_pcm(const char *path, int raw_flags);
