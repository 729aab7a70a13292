#pragma once
// Writing a sound file through libsndfile, whatever its format: open with the format and
// the texts, hand over chunks of samples, finish. The exporters of FLAC, Ogg Vorbis, Ogg
// Opus and MP3 all write through it.

#include <cstddef>
#include <cstdint>

/// One sound file being written. Opaque; owned by the caller from sound_writer_open to
/// sound_writer_finish.
struct sound_writer;

/// What the file holds.
struct sound_file_format {
    int sf_format; ///< libsndfile's major format and subtype, as SF_FORMAT_FLAC | SF_FORMAT_PCM_16
    int channels;
    int rate;           ///< Hz
    double compression; ///< libsndfile's compression level, 0..1; negative: its default
};

/// Creates (or truncates, mode 0644 before the umask) the file at path and opens it for
/// libsndfile in format, with title and comment as its title and comment tags (null or
/// empty: no such tag), as UTF-8 where their bytes are, else byte by byte as ISO-8859-1
/// (append_module_text_utf8). On failure reports why through
/// log_error, leaves whatever file was created, and returns null; memory running out ends
/// the program (status 3).
sound_writer *sound_writer_open(const char *path, const sound_file_format &format,
                                const char *title, const char *comment);

/// Appends count interleaved samples (whole frames) of 16 bits. Returns 1 when libsndfile
/// took them all; else reports why through log_error and returns 0.
int sound_writer_write16(sound_writer *writer, const int16_t *samples, size_t count);

/// As sound_writer_write16 for samples of 32 bits, of which the file keeps the top bits
/// its depth has room for (the top 24 in a 24-bit file).
int sound_writer_write32(sound_writer *writer, const int32_t *samples, size_t count);

/// Bytes of the file written so far (the encoders hold some back until they finish).
uint64_t sound_writer_bytes(const sound_writer *writer);

/// Finishes the file (the encoders' last frames, the headers) and frees writer; null is
/// ignored. Returns 1 when the file was finished cleanly; else reports why through
/// log_error and returns 0.
int sound_writer_finish(sound_writer *writer);
