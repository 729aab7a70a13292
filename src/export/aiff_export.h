#pragma once
// Rendering the loaded module through the decoder at 32 bits into an AIFF file.

#include <cstddef>

/// The longest NAME or ANNO text that libsndfile reads back (its reader gives up on longer
/// chunks); a longer text is stored as its first AIFF_TEXT_LIMIT bytes.
inline constexpr size_t AIFF_TEXT_LIMIT = 8189;

/// Renders the loaded module from start_order up to stop_order into an AIFF file at path
/// (created or truncated) in the format the decoder renders (the settings' channels and
/// rate) with bits of 16, 24 or 32 per stored sample; the song name goes into the NAME
/// chunk, the song message with its line ends as line feeds into ANNO (none without a
/// message; an empty text writes no chunk). A text longer than the readers take is stored
/// cut to AIFF_TEXT_LIMIT bytes, with one warning. Reports progress through log_info.
///
/// A SIGINT, SIGTERM, SIGHUP or SIGPIPE during the export is only recorded: the samples end
/// after the last whole chunk and the file is finished as at the song's end (no "done");
/// the caller then acts on exit_signal_number.
///
/// The module is first loaded again, silently, from its file at 32 bits. Afterwards
/// sample_bits is 32, module_path an owned copy (module_path_owned 1), the decoder at the
/// position where the export stopped, and the decoder's message holds line feeds where it
/// held carriage returns. When that reload fails no module is loaded any more.
///
/// Returns 1 on success; 0 without a loaded module, when path is the module's own file
/// (reported by the guard; nothing is touched), when the reload fails, and when the file
/// cannot be opened, written or finished ("CAN'T <call>(\"<path>\"): <reason>" through
/// log_error; a file that was opened stays).
int export_aiff(const char *path, int bits);
