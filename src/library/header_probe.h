#pragma once
// Recognising a module from its first bytes without the decoder, and reading a few header
// fields: what a directory listing shows without loading every file.

#include <cstdint>
#include <sys/types.h>

inline constexpr uint16_t PROBE_UNKNOWN = 1;
inline constexpr uint16_t PROBE_IT = 2;
inline constexpr uint16_t PROBE_S3M = 3;
inline constexpr uint16_t PROBE_MOD = 4;
inline constexpr uint16_t PROBE_XM = 7;

/// The ten four-character tags at offset 1080 that mark a MOD.
inline constexpr char mod_tags[10][5] = {"M.K.", "M!K!", "4CHN", "6CHN", "8CHN",
                                         "CD81", "FLT4", "FLT8", "FTL4", "OCTA"};

/// What probe_header found. header_bytes is the caller's buffer (not copied), which must
/// stay valid while the getters are used; no getter reads at or beyond header_length, so
/// any length (also zero or negative) is safe.
struct header_probe {
    const unsigned char *header_bytes;
    int32_t header_length;
    uint16_t probe_kind; ///< PROBE_*
};

/// "IT", "S3M", "MOD" or "XM" for the four kinds, "???" for every other value. Constant
/// text, never null.
const char *kind_name(uint16_t kind);

/// Reads up to size bytes from the start of the file at path into buffer, in one read and
/// without waiting (O_NONBLOCK): a regular file gives all it has up to size at once, a
/// named pipe without a writer or a device what is there, so nothing can hang a caller.
/// Returns the count read (0 when the read fails), or -1 with errno set when the file
/// cannot be opened.
ssize_t read_file_start(const char *path, unsigned char *buffer, size_t size);

/// Recognises the module whose first length bytes are bytes and records bytes, length and
/// the kind in probe. Checked in this order, a later match replacing an earlier one:
/// "Extended Module: " at 0 (XM, at least 18 bytes), "IMPM" at 0 (IT), "SCRM" at 44 (S3M,
/// at least 49 bytes), one of mod_tags at 1080 (MOD, at least 1085 bytes). Four bytes or
/// fewer are never recognised. IT, S3M and MOD tags are compared through magic_u32, so a
/// settings.little_endian that does not describe this machine leaves them unrecognised.
/// Returns 0 when a kind was recognised, -1 when it is PROBE_UNKNOWN.
int probe_header(header_probe &probe, const unsigned char *bytes, int32_t length);

/// Writes the song title as a zero-terminated text of at most 31 characters: IT the text
/// at 4 (field of 26 bytes), S3M the text at 0 (28 bytes), MOD the 20 bytes at 0, XM the 20
/// bytes at 17. A zero byte, the end of the field or the end of header_length ends the
/// title; trailing blanks stay. For any other kind title is left as it was.
void header_title(const header_probe &probe, char title[32]);

/// IT and S3M: the byte at 34 (at least 37 bytes); MOD: 31; XM: the byte at 72 (at least
/// 75 bytes). 0 otherwise.
int header_instrument_count(const header_probe &probe);

/// IT and S3M: the 16-bit value at 32 through host_u16 (at least 35 bytes); MOD: the byte at
/// 950 (at least 951 bytes); XM: the 16-bit value at 70 through host_u16 (at least 73
/// bytes), which is the pattern count of the XM header. 0 otherwise.
int header_order_count(const header_probe &probe);

/// The kind probe_header recorded.
uint16_t header_kind(const header_probe &probe);
