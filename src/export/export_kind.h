#pragma once
// The audio export formats. The raw kinds carry the byte-order bits that the raw
// exporter reads from its flags: bit value 2 big-endian, 8 little-endian, neither host.

enum export_kind : int {
    EXPORT_UNKNOWN = 0,
    EXPORT_WAV = 3,
    EXPORT_AIFF = 4,
    EXPORT_RAW = 5,
    EXPORT_IT = 6,
    EXPORT_RAW_BE = 7,
    EXPORT_RAW_LE = 13,
    // Written through libsndfile; their rows are in the table of compressed formats.
    EXPORT_FLAC = 16,
    EXPORT_FLAC24 = 17,
    EXPORT_VORBIS = 18,
    EXPORT_OPUS = 19,
    EXPORT_MP3 = 20,
};
