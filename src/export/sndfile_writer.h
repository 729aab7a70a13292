#pragma once
// Writing a sound file through libsndfile, whatever its format: open with the format and
// the texts, hand over chunks of samples, finish. The exporters of AIFF, FLAC, Ogg Vorbis,
// Ogg Opus and MP3 all write through it.

#include <cstddef>
#include <cstdint>

/// One sound file being written. Opaque; owned by the caller from sound_writer_open to
/// sound_writer_finish.
struct sound_writer;

/// What the file holds, and how its texts are stored.
struct sound_file_format {
    int sf_format; ///< libsndfile's major format and subtype, as SF_FORMAT_FLAC | SF_FORMAT_PCM_16
    int channels;
    int rate;           ///< Hz
    double compression; ///< libsndfile's compression level, 0..1; negative: its default
    /// 0: the texts become UTF-8 tags (append_module_text_utf8). Otherwise they are stored
    /// byte for byte as given, each cut to its first text_limit bytes.
    size_t text_limit = 0;
};

/// Creates (or truncates, mode 0644 before the umask) the file at path and opens it for
/// libsndfile in format, with title and comment as its title and comment tags (null or
/// empty: no such tag), stored as format.text_limit says. Failures here and in the calls
/// below are reported as failed system calls with the system's reason (log_system_error
/// "open", "write" or "close"; EINVAL for a format libsndfile cannot write, EIO where it
/// failed without a system error), only the first of a file. On failure it
/// leaves whatever file was created, and returns null; memory running out ends the
/// program (status 3).
sound_writer *sound_writer_open(const char *path, const sound_file_format &format,
                                const char *title, const char *comment);

/// Appends count interleaved samples (whole frames) of 16 bits. Returns 1 when libsndfile
/// took them all; else reports why and returns 0.
int sound_writer_write16(sound_writer *writer, const int16_t *samples, size_t count);

/// As sound_writer_write16 for samples of 32 bits, of which the file keeps the top bits
/// its depth has room for (the top 16 in a 16-bit file, the top 24 in a 24-bit one).
int sound_writer_write32(sound_writer *writer, const int32_t *samples, size_t count);

/// Bytes of the file written so far (the encoders hold some back until they finish).
uint64_t sound_writer_bytes(const sound_writer *writer);

/// Finishes the file (the encoders' last frames, the headers) and frees writer; null is
/// ignored. A file whose writes failed is still finished as far as libsndfile got.
/// Returns 1 when the file was finished cleanly; else reports why (unless a failure was
/// told already) and returns 0.
int sound_writer_finish(sound_writer *writer);
