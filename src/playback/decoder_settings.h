#pragma once
// What the decoder is told: the settings record turned into decoder settings. The
// decoder takes the output format (rate, channels, bits) only when a module is loaded,
// so the format each module was loaded with is remembered.

#include <cstdint>

/// The decoder's output format.
struct decoder_format {
    int32_t rate;
    int32_t channels;
    int32_t bits;
    bool operator==(const decoder_format &) const = default;
};

/// The format the loaded module renders in; set by every successful decode of a file.
extern decoder_format loaded_format;

/// The sample rate that reaches the decoder, the device and the elapsed-time arithmetic:
/// settings.sample_rate when it is one the program offers, else 44100. The record keeps
/// whatever a damaged settings file held.
int32_t effective_sample_rate();

/// The channel count that reaches the decoder, the device and the arithmetic: 1 or 2
/// from settings.channel_count, 2 for any other value.
int32_t effective_channel_count();

/// The format settings and sample_bits ask for (16 bits while sample_bits is unset).
decoder_format wanted_decoder_format();

/// Hands settings and sample_bits to the decoder, every value inside the range the
/// program itself offers. The format applies to modules loaded from now on.
void push_decoder_settings();

/// The same with format in place of the one the settings ask for.
void push_decoder_settings(decoder_format format);
