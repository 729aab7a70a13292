#pragma once
// The formats written through libsndfile: one row each, naming the format everywhere the
// program offers it (the -o extensions, the -f name, the export menu letter) and how it
// is rendered and stored.

#include <cstdint>

struct compressed_format {
    int kind;                   ///< the export kind (export_kind.h)
    const char *name;           ///< -f name, compared exactly; null ends the table
    const char *extensions[2];  ///< -o extensions, compared without regard to case; null: none
    char letter;                ///< export menu letter
    const char *label;          ///< "Export audio as <label>" in the menu
    const char *rendering_note; ///< said when the export starts; "" for none
    int sf_format;              ///< libsndfile major format and subtype
    /// Bits the decoder renders at, and so how it is read: 16 as the WAVE export reads,
    /// 32 as the AIFF export does (the module loaded afresh), for the 24-bit file.
    int decoder_bits;
    int32_t rate;       ///< the rate the format is rendered at; 0: the settings' rate
    double compression; ///< libsndfile's compression level, 0..1; negative: its default
};

/// The rows, in menu order, ending with a row whose name is null.
const compressed_format *compressed_formats();

/// The row of kind, or null.
const compressed_format *compressed_format_of_kind(int kind);

/// The row whose -f name is name exactly, or null.
const compressed_format *compressed_format_named(const char *name);

/// The row with the -o extension extension (from the '.' on) in any case, or null.
const compressed_format *compressed_format_of_extension(const char *extension);

/// The row of export menu letter letter, or null.
const compressed_format *compressed_format_of_letter(char letter);
