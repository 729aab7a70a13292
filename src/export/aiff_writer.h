#pragma once
// Writing AIFF files through libsndfile, in the steps an exporter takes: open, format,
// the NAME and ANNO texts, then the samples. Each step reports its own success, and each
// fails without harm when taken out of turn.

#include <cstddef>
#include <cstdint>

/// One AIFF file being written. Opaque; owned by the caller from aiff_open to aiff_close.
struct aiff_file;

/// Creates (or truncates, mode 0644 before the umask) the file at path for writing and
/// returns its handle, which the caller releases with aiff_close. Null when path is null
/// or the file cannot be created, and when memory runs out.
aiff_file *aiff_open(const char *path);

/// Fixes the sample format: channels (at least 1), rate in Hz (a whole number, at least 1)
/// and bits per stored sample, 16, 24 or 32 (signed PCM). The first step after aiff_open;
/// it succeeds once, a failed call may be repeated. Returns 1 on success, else 0.
int aiff_set_format(aiff_file *file, int channels, double rate, int bits);

/// The longest NAME or ANNO text that libsndfile reads back (its reader gives up on longer
/// chunks); a longer text is stored as its first AIFF_TEXT_LIMIT bytes.
inline constexpr size_t AIFF_TEXT_LIMIT = 8189;

/// Stores text as the NAME chunk, cut to AIFF_TEXT_LIMIT bytes. After aiff_set_format,
/// before aiff_start_samples. An empty text succeeds and writes no chunk: libsndfile
/// refuses empty texts. Returns 1 on success, 0 on failure (out of turn, or a null text).
int aiff_set_name(aiff_file *file, const char *text);

/// Stores text as the ANNO chunk, under the same rules as aiff_set_name.
int aiff_set_annotation(aiff_file *file, const char *text);

/// Ends the header part: from now on only samples are taken. After aiff_set_format, once.
/// Returns 1 on success, 0 when out of turn.
int aiff_start_samples(aiff_file *file);

/// Appends count interleaved samples (a whole number of frames), each the top bits of a
/// signed 32-bit value: shifted right by 16 for 16-bit files, by 8 for 24-bit ones.
/// Between aiff_start_samples and aiff_end_samples. Returns 1 when all were written, else 0
/// (errno tells why; EIO when libsndfile failed without a system error).
int aiff_write_samples32(aiff_file *file, const int32_t *samples, size_t count);

/// Brings the header's sizes up to date with the samples written, so the file on disk is
/// complete; no samples are taken afterwards. Returns 1 when the file is complete, 0 when
/// out of turn or when the header could not be written (errno tells why).
int aiff_end_samples(aiff_file *file);

/// Finishes the file and frees the handle; null is ignored (result 1). A file whose
/// samples were not ended still gets its header written as far as libsndfile got. Returns
/// 1 when every write and the closing succeeded, 0 otherwise (errno tells why).
int aiff_close(aiff_file *file);
